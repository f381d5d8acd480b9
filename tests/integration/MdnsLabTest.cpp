// mDNS against real avahi-daemons in a private two-host network (tests/integration/mdns): one
// announced tvsim, found, paired by telvanto-cli, connected to by the controller, mirrored.
#include "mirroring/MirrorController.h"
#include "platform/AvahiMdns.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"
#include "tv/TVController.h"

#include "EventLoop.h"
#include "FakeDisplays.h"
#include "FakeMirroring.h"
#include "FakePlatform.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace telvanto;
using telvanto::testing::waitUntil;
using namespace std::chrono_literals;

namespace {

QString lab() { return qEnvironmentVariable("TELVANTO_LAB"); }
QString labPath(const char* path) { return lab() + path; }
void labScript(const QStringList& args) { QProcess::execute(qEnvironmentVariable("TELVANTO_LAB_SCRIPT"), args); }

} // namespace

TEST(MdnsLab, FindsPairsAndMirrorsTheAnnouncedTv)
{
    if (lab().isEmpty()) GTEST_SKIP() << "runs inside the mDNS lab (ctest starts it through run-in-lab.sh)";
    transport::QtScheduler scheduler;
    platform::AvahiMdns mdns(scheduler);
    tv::Discovery discovery(mdns, scheduler);
    const QString tvType = QStringLiteral("_androidtvremote2._tcp"), name = QString::fromUtf8("Obývačka TV. Čierna (2)");
    QStringList names;
    discovery.browse(tvType, [&](const QStringList& n) { names = n; });
    ASSERT_TRUE(waitUntil([&] { return mdns.isRunning(); }));
    std::optional<std::optional<QString>> unknown;
    discovery.resolve(tvType, "No Such TV", [&](std::optional<QString> h) { unknown = h; });

    QProcess tvsim;
    tvsim.start(qEnvironmentVariable("TELVANTO_LAB_SCRIPT"), {"exec", lab(), "tv", qEnvironmentVariable("TVSIM"), "--mdns", "--bind", "10.77.0.1", "--state-dir", labPath("/tv/state"),
                  "--name", name, "--code-file", labPath("/tv/code"), "--log", labPath("/tv/events.jsonl")});
    // Names arrive exactly as announced: spaces, dots, diacritics.
    ASSERT_TRUE(waitUntil([&] { return names.contains(name); }, 15s)) << names.join(", ").toStdString();
    std::optional<QString> host = "unset";
    discovery.resolve(tvType, name, [&](std::optional<QString> h) { host = h; });
    ASSERT_TRUE(waitUntil([&] { return host != "unset" && unknown; }, 10s));
    EXPECT_EQ(host, QString("10.77.0.1"));
    EXPECT_EQ(*unknown, std::nullopt) << "an unknown name resolves to nothing within the limit";

    // telvanto-cli on this side of the lab, and later the remote as the application holds it, with
    // stores of their own: the TV found is chosen.
    qputenv("TELVANTO_DATA_DIR", labPath("/app/client").toUtf8());
    qputenv("TELVANTO_CONFIG_DIR", labPath("/app/config").toUtf8());
    QString out;
    // Runs telvanto-cli to its end (after `during`) and says whether it exited 0; `out` is what it printed.
    const auto cli = [&](const QStringList& args, const std::function<void(QProcess&)>& during = {}) {
        QProcess process;
        process.start(qEnvironmentVariable("TELVANTO_CLI"), args);
        out.clear();
        if (during) during(process);
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30s));
        out += QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return process.exitCode() == 0;
    };
    // A second TV announced while it lists: each TV is still listed once.
    const QString secondName = QString::fromUtf8("Druhá TV");
    core::TaskHandle second;
    EXPECT_TRUE(cli({"discover", "--timeout", "6"}, [&](QProcess& discover) {
        ASSERT_TRUE(waitUntil([&] { return (out += QString::fromUtf8(discover.readAllStandardOutput())).contains(name); }));
        second = mdns.publish(tvType, secondName, 6466);
    }) && out.count(name + "\t10.77.0.1") == 1 && out.contains(secondName + "\t10.77.0.2")) << out.toStdString();
    second.reset();
    ASSERT_TRUE(waitUntil([&] { return !names.contains(secondName); })) << "withdrawn before pairing";
    QFile::remove(labPath("/tv/code"));
    EXPECT_TRUE(cli({"pair", "--timeout", "20"}, [](QProcess& pair) { // the code the TV shows, as a line
        QFile code(labPath("/tv/code"));
        ASSERT_TRUE(waitUntil([&] { return code.size() > 0; }, 20s) && code.open(QIODevice::ReadOnly)) << "the TV never showed a code";
        pair.write(code.readAll());
    }) && out.contains("paired with 10.77.0.1")) << out.toStdString();
    EXPECT_TRUE(cli({"status"}) && out.contains("status: connected") && out.contains("tv: " + name + " (10.77.0.1)")) << out.toStdString();

    // The remote on the pairing telvanto-cli stored.
    transport::TLSChannelFactory channels{scheduler};
    identity::CredentialStore credentials{identity::CredentialStore::defaultDirectory()};
    platform::Settings settings;
    tv::NullTVLookup lookup;
    telvanto::testing::FakeNetworkMonitor network;
    telvanto::testing::FakeDirectoryWatcher credentialWatch;
    tv::TVController remote(scheduler, channels, credentials, settings, lookup, network, credentialWatch, "desk");
    remote.start();
    ASSERT_TRUE(waitUntil([&] { return !remote.verifiedHost().isEmpty(); }, 20s));

    // Mirroring over real mDNS; the panel and the displays are stand-ins. The AirPlay receiver on
    // the TV's address is announced only while AirScreen is in front.
    telvanto::testing::FakeDisplays displays;
    telvanto::testing::FakeReceiverSelector selector(scheduler);
    telvanto::testing::FakeAccessibility access;
    mirroring::MirrorController mirror(scheduler, settings, discovery, displays, selector, access);
    mirror.setTvHost(remote.verifiedHost());
    mirroring::ControllerTV asTv(remote);
    mirror.start(asTv);
    ASSERT_TRUE(waitUntil([&] { return !selector.calls.isEmpty(); }, 15s)) << mirror.messageText().toStdString();
    EXPECT_EQ(selector.calls, QStringList{"on " + name});
    displays.plug(5, {}, "AirPlay " + name); // the receiver's display comes online while the start waits for it
    ASSERT_TRUE(waitUntil([&] { return !mirror.busy(); }, 5s));
    EXPECT_TRUE(mirror.isMirroring() && !mirror.message());
    tvsim.write("launch com.google.android.tvlauncher\n");
    ASSERT_TRUE(waitUntil([&] { return !mirror.receiverName(); }, 15s)) << "withdrawn when another app comes to the front";

    // Discovery comes back when the daemon does.
    labScript({"stop-avahi", lab(), "app"});
    ASSERT_TRUE(waitUntil([&] { return !mdns.isRunning(); }, 10s));
    names.clear();
    labScript({"start-avahi", lab(), "app"});
    ASSERT_TRUE(waitUntil([&] { return mdns.isRunning() && names.contains(name); }, 20s));
}
