#include "platform/NetlinkMonitor.h"

#include "EventLoop.h"
#include "OwnNetNamespace.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <arpa/inet.h>
#include <net/if.h>

#include <cstdlib>

using telvanto::platform::NetlinkMonitor;
using Interfaces = std::vector<NetlinkMonitor::Interface>;

namespace {

const unsigned up = IFF_UP | IFF_RUNNING;

std::uint32_t v4(const char* address) { in_addr a{}; ::inet_pton(AF_INET, address, &a); return ntohl(a.s_addr); }

} // namespace

// Usable means an interface besides loopback that is up, has carrier and an IPv4 address. A
// burst is reported only when it changed usability or the usable addresses.
TEST(NetlinkMonitor, ReportsOnlyWhatARemoteCaresAbout)
{
    const NetlinkMonitor::Interface lo{"lo", up | IFF_LOOPBACK, {v4("127.0.0.1")}}, wifi{"wlan0", up, {v4("192.0.2.5")}};
    const NetlinkMonitor::Interface noCarrier{"eth0", IFF_UP, {v4("198.51.100.9")}};
    const struct { const char* name; Interfaces before, after; bool usable, reported; } rows[] = {
        {"nothing", {}, {}, false, false}, {"loopback comes up", {}, {lo}, false, false},
        {"interface without carrier gets an address", {wifi}, {wifi, noCarrier}, true, false},
        {"down interface", {}, {{"eth0", IFF_RUNNING, {v4("192.0.2.5")}}}, false, false},
        {"no IPv4 address", {}, {{"wlan0", up, {}}}, false, false},
        {"DHCP renewal keeps the address", {lo, wifi}, {lo, wifi}, true, false},
        {"Wi-Fi scan: same interfaces in another order", {wifi, lo}, {lo, wifi}, true, false},
        {"interface without carrier loses its address", {wifi, noCarrier}, {wifi, {"eth0", IFF_UP, {}}}, true, false},
        {"same address twice", {wifi}, {wifi, {"wlan0:1", up, {v4("192.0.2.5")}}}, true, false},
        {"Wi-Fi joins", {lo}, {lo, wifi}, true, true}, {"Wi-Fi leaves", {lo, wifi}, {lo}, false, true},
        {"new address after roaming", {wifi}, {{"wlan0", up, {v4("192.0.2.77")}}}, true, true},
        {"second address", {wifi}, {{"wlan0", up, {v4("192.0.2.5"), v4("192.0.2.6")}}}, true, true},
        {"cable plugged in beside Wi-Fi", {wifi}, {wifi, {"eth0", up, {v4("198.51.100.9")}}}, true, true},
        {"carrier lost", {wifi}, {{"wlan0", IFF_UP, {v4("192.0.2.5")}}}, false, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NetlinkMonitor::usable(row.after), row.usable) << row.name;
        EXPECT_EQ(NetlinkMonitor::reachability(row.after).usable, row.usable) << row.name;
        EXPECT_EQ(NetlinkMonitor::reachability(row.before) != NetlinkMonitor::reachability(row.after), row.reported) << row.name;
    }
}

// The kernel's own messages, in a network namespace of the test's own: nothing is reported on
// start, and each step changes the network with ip(8) and must be reported or not.
TEST(NetlinkMonitor, RealChangesInAnOwnNamespace)
{
    const auto host = NetlinkMonitor::interfaces();
    EXPECT_TRUE(std::any_of(host.begin(), host.end(), [](const auto& i) {
        return i.name == "lo" && std::find(i.ipv4.begin(), i.ipv4.end(), v4("127.0.0.1")) != i.ipv4.end();
    }));
    const telvanto::testing::OwnNetNamespace isolated;
    if (!isolated.entered()) GTEST_SKIP() << "needs root for a network namespace";
    int argc = 0;
    QCoreApplication app(argc, nullptr); // the socket notifier needs one
    telvanto::testing::VirtualScheduler scheduler;
    NetlinkMonitor monitor(scheduler);
    std::vector<bool> reports;
    monitor.start([&](bool usable) { reports.push_back(usable); });
    const struct { const char* name; const char* commands; std::vector<bool> reports; } steps[] = {
        {"loopback up", "ip link set lo up", {}},
        {"a network with an address", "ip link add t0 type veth peer name t1 && ip addr add 192.0.2.1/24 dev t0 && ip link set t1 up && ip link set t0 up", {true}},
        {"a change that keeps the address", "ip link set t0 mtu 1400", {}},
        {"another address", "ip addr add 192.0.2.2/24 dev t0", {true}},
        {"carrier lost", "ip link set t1 down", {false}},
    };
    for (const auto& step : steps) { // a report made by start itself would show in the first step
        ASSERT_EQ(std::system(step.commands), 0) << step.name;
        // Carrier changes reach the kernel's listeners a moment later: keep settling bursts
        // until the expected reports are in, or a burst settled without reports expected.
        bool settled = false;
        for (int round = 0; round < 20 && !(settled && reports.size() >= step.reports.size()); ++round) {
            if (!telvanto::testing::waitUntil([&] { return scheduler.pending() > 0; }, std::chrono::milliseconds(250))) continue;
            scheduler.advance(NetlinkMonitor::settleTime);
            settled = true;
        }
        EXPECT_TRUE(settled) << step.name << ": no message from the kernel";
        EXPECT_EQ(reports, step.reports) << step.name;
        reports.clear();
    }
    monitor.stop();
    monitor.stop();
}
