#include "identity/CredentialStore.h"
#include "platform/HostName.h"
#include "platform/NetlinkMonitor.h"
#include "platform/QtDirectoryWatcher.h"
#include "platform/Settings.h"

#include "EventLoop.h"
#include "OwnNetNamespace.h"
#include "TempDir.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSysInfo>

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <net/if.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace telvanto::platform;
using namespace telvanto::testing;
using telvanto::identity::CredentialStore;

const unsigned up = IFF_UP | IFF_RUNNING;
static std::uint32_t v4(const char* address) { in_addr a{}; ::inet_pton(AF_INET, address, &a); return ntohl(a.s_addr); }

// The file is shared by the programs and rewritten only when a value really changes; a value
// another process wrote meanwhile is not mistaken for ours.
TEST(Settings, WritesOnlyChangesAndSurvivesAReopen)
{
    TempDir temp;
    const auto file = temp / "telvanto.conf";
    const QString path = QString::fromStdString(file), name = QString::fromUtf8("Obývačka – Mi Box");
    Settings settings(path);
    EXPECT_EQ(settings.tvHost(), std::nullopt);
    const auto otherProcess = [&] { std::ofstream(temp / "other") << "[General]\ntvHost=192.168.100.100\ntvName=Kuchyňa\ntvKey=not a key\n"; std::filesystem::rename(temp / "other", file); };
    const struct { const char* name; std::function<void()> act; bool rewritten; const char* host; /* read back */ } rows[] = {
        {"first value", [&] { settings.setTvHost("10.0.0.6"); }, true, "10.0.0.6"},
        {"same value 1000 times", [&] { for (int i = 0; i < 1000; ++i) settings.setTvHost("10.0.0.6"); }, false, "10.0.0.6"},
        {"another process changed it", otherProcess, true, "192.168.100.100"}, {"ours again", [&] { settings.setTvHost("10.0.0.6"); }, true, "10.0.0.6"},
        {"name and mirror mode", [&] { settings.setTvName(name), settings.setMirrorMode("extend"); }, true, "10.0.0.6"},
        {"a key an earlier version kept here moved out", [&] { EXPECT_EQ(settings.legacyTvKey(), "not a key"); settings.removeLegacyTvKey(); }, true, "10.0.0.6"}};
    for (const auto& row : rows) {
        // Every write replaces the file; holding the old one open shows whether it was replaced.
        const int before = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        row.act();
        struct stat st {};
        EXPECT_EQ(before < 0 || (::fstat(before, &st) == 0 && st.st_nlink == 0), row.rewritten) << row.name;
        if (before >= 0) ::close(before);
        EXPECT_EQ(Settings(path).tvHost(), QString::fromUtf8(row.host)) << row.name;
    }
    EXPECT_EQ(Settings(path).tvName(), name);
    EXPECT_EQ(Settings(path).mirrorMode(), QString("extend"));
    EXPECT_EQ(Settings(path).legacyTvKey(), std::nullopt);
    qputenv("TELVANTO_CONFIG_DIR", "/tmp/profile2"); // a profile of its own
    EXPECT_EQ(Settings::defaultFilePath(), QString("/tmp/profile2/telvanto.conf"));
    qunsetenv("TELVANTO_CONFIG_DIR");
    EXPECT_TRUE(Settings::defaultFilePath().endsWith("/telvanto/telvanto.conf"));
}

TEST(HostName, PrettyHostNameElseTheHostName)
{
    const struct { const char *text, *name; } rows[] = {
        {"ICON_NAME=computer-laptop\nPRETTY_HOSTNAME=Obýváčka' \"PC\"'\nCHASSIS=laptop\n", "Obýváčka \"PC\""},
        {"  PRETTY_HOSTNAME = \"with \\\"quotes\\\" \\\\ and more\"  ", "with \"quotes\" \\ and more"},
        {"# PRETTY_HOSTNAME=\"commented\"\nPRETTY_HOSTNAMES=\"other key\"\nPRETTY_HOSTNAME=\"  \"\n", ""}};
    for (const auto& row : rows) EXPECT_EQ(prettyHostName(QString::fromUtf8(row.text)), QString::fromUtf8(row.name)) << row.text;
    TempDir dir;
    const QString file = QString::fromStdString(dir / "machine-info");
    EXPECT_EQ(deviceName(file), QSysInfo::machineHostName()); // no file
    std::ofstream(file.toStdString()) << "PRETTY_HOSTNAME=\"Obývačka\"\n";
    EXPECT_EQ(deviceName(file), QString::fromUtf8("Obývačka"));
}

// Usable means an interface besides loopback that is up, has carrier and an IPv4 address. A
// burst is reported only when it changed usability or the usable addresses.
TEST(NetlinkMonitor, ReportsOnlyWhatARemoteCaresAbout)
{
    const NetlinkMonitor::Interface lo{"lo", up | IFF_LOOPBACK, {v4("127.0.0.1")}}, wifi{"wlan0", up, {v4("192.0.2.5")}};
    const NetlinkMonitor::Interface noCarrier{"eth0", IFF_UP, {v4("198.51.100.9")}};
    const struct { const char* name; std::vector<NetlinkMonitor::Interface> before, after; bool usable, reported; } rows[] = {
        {"loopback comes up", {}, {lo}, false, false}, {"interface without carrier gets an address", {wifi}, {wifi, noCarrier}, true, false},
        {"down interface", {}, {{"eth0", IFF_RUNNING, {v4("192.0.2.5")}}}, false, false}, {"no IPv4 address", {}, {{"wlan0", up, {}}}, false, false},
        {"DHCP renewal keeps the address", {lo, wifi}, {lo, wifi}, true, false}, {"Wi-Fi scan: same interfaces in another order", {wifi, lo}, {lo, wifi}, true, false},
        {"same address twice", {wifi}, {wifi, {"wlan0:1", up, {v4("192.0.2.5")}}}, true, false},
        {"Wi-Fi joins", {lo}, {lo, wifi}, true, true}, {"new address after roaming", {wifi}, {{"wlan0", up, {v4("192.0.2.77")}}}, true, true}};
    for (const auto& row : rows) {
        EXPECT_EQ(NetlinkMonitor::reachability(row.after).usable, row.usable) << row.name;
        EXPECT_EQ(NetlinkMonitor::reachability(row.before) != NetlinkMonitor::reachability(row.after), row.reported) << row.name;
    }
}

// The kernel's own messages, in a network namespace of the test's own: nothing is reported on
// start, and each step changes the network with ip(8) and must be reported or not.
TEST(NetlinkMonitor, RealChangesInAnOwnNamespace)
{
    EXPECT_TRUE(std::ranges::any_of(NetlinkMonitor::interfaces(), [](const auto& i) { return i.name == "lo" && std::ranges::count(i.ipv4, v4("127.0.0.1")); }));
    const OwnNetNamespace isolated;
    if (!isolated.entered()) GTEST_SKIP() << "needs root for a network namespace";
    int argc = 0;
    QCoreApplication app(argc, nullptr); // the socket notifier needs one
    VirtualScheduler scheduler;
    NetlinkMonitor monitor(scheduler);
    std::vector<bool> reports;
    monitor.start([&](bool usable) { reports.push_back(usable); });
    const struct { const char* name; const char* commands; std::vector<bool> reports; } steps[] = {
        {"loopback up", "ip link set lo up", {}},
        {"a network with an address", "ip link add t0 type veth peer name t1 && ip addr add 192.0.2.1/24 dev t0 && ip link set t1 up && ip link set t0 up", {true}},
        {"another address", "ip addr add 192.0.2.2/24 dev t0", {true}}, {"carrier lost", "ip link set t1 down", {false}}};
    for (const auto& step : steps) { // a report made by start itself would show in the first step
        ASSERT_EQ(std::system(step.commands), 0) << step.name;
        // Carrier changes reach the kernel's listeners a moment later: keep settling bursts
        // until the expected reports are in, or a burst settled without reports expected.
        bool settled = false;
        for (int round = 0; round < 20 && !(settled && reports.size() >= step.reports.size()); ++round) {
            if (waitUntil([&] { return scheduler.pending() > 0; }, 250ms)) { scheduler.advance(NetlinkMonitor::settleTime); settled = true; }
        }
        EXPECT_TRUE(settled) << step.name << ": no message from the kernel";
        EXPECT_EQ(reports, step.reports) << step.name;
        reports.clear();
    }
    for (int i = 0; i < 2; ++i) monitor.stop(); // stopping again is harmless
}

// One watcher through a timeline: it watches the nearest directory that exists until the
// credential directory appears, then that directory itself.
TEST(QtDirectoryWatcher, ReportsEachBurstOfChangesOnce)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr); // inotify is read through the event loop
    TempDir temp;
    const CredentialStore store(temp / "share/telvanto");
    VirtualScheduler scheduler;
    QtDirectoryWatcher watcher(scheduler, QString::fromStdString(store.directory()));
    int reports = 0;
    watcher.start([&] { ++reports; });
    const struct { const char* name; std::function<void()> act; int reports; } steps[] = {
        {"start", [] {}, 0}, {"the directory made", [&] { store.storeHost("10.0.0.5"); }, 1}, {"reads", [&] { store.loadHost(), store.loadPinnedKey(); }, 0},
        {"two items written", [&] { store.storeHost("10.0.0.6"), store.write("x", {}); }, 1}, {"an item removed", [&] { store.remove("x"); }, 1},
        {"a write after stop", [&] { watcher.stop(), store.storeHost("10.0.0.7"); }, 0}};
    for (const auto& step : steps) {
        reports = 0;
        step.act();
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(); // what inotify queued while the step ran
        scheduler.advance(QtDirectoryWatcher::settleTime - 1ms);
        EXPECT_EQ(reports, 0) << step.name;
        scheduler.advance(1ms);
        EXPECT_EQ(reports, step.reports) << step.name;
    }
}
