// mDNS against real avahi-daemons in a private two-host network (tests/integration/mdns).
#include "mirroring/MirrorController.h"
#include "platform/AvahiMdns.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"
#include "tv/Discovery.h"
#include "tv/TVController.h"

#include "EventLoop.h"
#include "FakeDirectoryWatcher.h"
#include "FakeDisplays.h"
#include "FakeMirroring.h"
#include "FakeNetworkMonitor.h"
#include "TempDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using telvanto::testing::waitUntil;
using namespace std::chrono_literals;

namespace {

const QString tvType = QStringLiteral("_androidtvremote2._tcp");

QString lab() { return qEnvironmentVariable("TELVANTO_LAB"); }

void labCommand(const QStringList& args)
{
    QProcess::execute(qEnvironmentVariable("TELVANTO_LAB_SCRIPT"), QStringList{args[0], lab()} + args.mid(1));
}

// tvsim announcing itself on the TV's side of the lab; stopped by its PID.
struct AnnouncedTv {
    explicit AnnouncedTv(const QString& name, const QStringList& more = {})
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(qEnvironmentVariable("TELVANTO_LAB_SCRIPT"),
                      QStringList{"exec", lab(), "tv", qEnvironmentVariable("TVSIM"), "--mdns", "--bind", "10.77.0.1",
                                  "--state-dir", lab() + "/tv/state", "--name", name, "--code-file", codeFile()} +
                          more);
        started.start();
    }
    static QString codeFile() { return lab() + "/tv/code"; }
    ~AnnouncedTv()
    {
        process.kill();
        process.waitForFinished();
    }
    QProcess process;
    QElapsedTimer started;
};

class MdnsLab : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (lab().isEmpty()) GTEST_SKIP() << "runs inside the mDNS lab (ctest starts it through run-in-lab.sh)";
    }
    telvanto::transport::QtScheduler scheduler;
};

} // namespace

TEST_F(MdnsLab, AnnouncedTvIsFoundAndResolvedToItsAddress)
{
    telvanto::platform::AvahiMdns mdns(scheduler);
    telvanto::tv::Discovery discovery(mdns, scheduler);
    // Names arrive exactly as announced: spaces, dots, diacritics.
    const QString name = QString::fromUtf8("Obývačka TV. Čierna (2)");
    QStringList names;
    discovery.browse(tvType, [&](const QStringList& n) { names = n; });
    AnnouncedTv tv(name);
    ASSERT_TRUE(waitUntil([&] { return names.contains(name); }, 15s)) << names.join(", ").toStdString();
    const qint64 foundAfter = tv.started.elapsed();

    std::optional<QString> host;
    bool done = false;
    discovery.resolve(tvType, name, [&](std::optional<QString> h) { host = h; done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }, 10s));
    EXPECT_EQ(host, QString("10.77.0.1"));
    std::printf("figure: announcement to found %lld ms (tvsim start included)\n", static_cast<long long>(foundAfter));
}

TEST_F(MdnsLab, AirPlayReceiverIsAnnouncedWhileAirScreenIsInFront)
{
    telvanto::platform::AvahiMdns mdns(scheduler);
    QStringList receivers;
    mdns.browse("_airplay._tcp", [&](const QStringList& n) { receivers = n; });
    AnnouncedTv tv("Kuchyňa");
    QByteArray said;
    ASSERT_TRUE(waitUntil([&] { said += tv.process.readAll(); return said.contains("listening"); }));
    tv.process.write("launch com.ionitech.airscreen\n");
    ASSERT_TRUE(waitUntil([&] { return receivers.contains(QString::fromUtf8("Kuchyňa")); }, 15s));
    tv.process.write("launch com.google.android.tvlauncher\n");
    ASSERT_TRUE(waitUntil([&] { return receivers.isEmpty(); }, 15s)) << "withdrawn when another app comes to the front";
}

TEST_F(MdnsLab, UnknownNameResolvesToNothingWithinTheLimit)
{
    telvanto::platform::AvahiMdns mdns(scheduler);
    telvanto::tv::Discovery discovery(mdns, scheduler);
    ASSERT_TRUE(waitUntil([&] { return mdns.isRunning(); }));
    bool done = false;
    std::optional<QString> host = "unset";
    discovery.resolve(tvType, "No Such TV", [&](std::optional<QString> h) { host = h; done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }, 8s));
    EXPECT_EQ(host, std::nullopt);
}

TEST_F(MdnsLab, DiscoveryComesBackWhenTheDaemonDoes)
{
    telvanto::platform::AvahiMdns mdns(scheduler);
    QStringList names;
    mdns.browse(tvType, [&](const QStringList& n) { names = n; });
    AnnouncedTv tv("Spálňa");
    ASSERT_TRUE(waitUntil([&] { return names.contains("Spálňa"); }, 15s));

    labCommand({"stop-avahi", "app"});
    ASSERT_TRUE(waitUntil([&] { return !mdns.isRunning(); }, 10s));
    names.clear();
    labCommand({"start-avahi", "app"});
    ASSERT_TRUE(waitUntil([&] { return mdns.isRunning() && names.contains("Spálňa"); }, 20s));
}


namespace {

// telvanto-cli on this side of the lab, with its own stores; standard input may be fed.
struct Cli {
    QProcess process;
    QString out, err;

    void start(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TELVANTO_DATA_DIR", lab() + "/app/client");
        env.insert("TELVANTO_CONFIG_DIR", lab() + "/app/config");
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("TELVANTO_CLI"), args);
    }
    int finish()
    {
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30s));
        out = QString::fromUtf8(process.readAllStandardOutput());
        err = QString::fromUtf8(process.readAllStandardError());
        return process.exitCode();
    }
};

} // namespace

TEST_F(MdnsLab, TheCliFindsPairsAndControlsTheAnnouncedTv)
{
    AnnouncedTv tv("Obývačka TV");
    Cli discover;
    discover.start({"discover", "--timeout", "6"});
    EXPECT_EQ(discover.finish(), 0) << discover.err.toStdString();
    EXPECT_TRUE(discover.out.contains(QString::fromUtf8("Obývačka TV\t10.77.0.1"))) << discover.out.toStdString();

    // No address given: the TV found is chosen, and its code is typed in.
    QFile::remove(AnnouncedTv::codeFile());
    Cli pair;
    pair.start({"pair", "--timeout", "20"});
    QFile code(AnnouncedTv::codeFile());
    ASSERT_TRUE(waitUntil([&] { return code.exists() && code.size() > 0; }, 20s)) << "the TV never showed a code";
    ASSERT_TRUE(code.open(QIODevice::ReadOnly));
    pair.process.write(code.readAll());
    EXPECT_EQ(pair.finish(), 0) << pair.err.toStdString();
    EXPECT_TRUE(pair.out.contains("paired with 10.77.0.1")) << pair.out.toStdString();

    Cli status;
    status.start({"status"});
    EXPECT_EQ(status.finish(), 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains("status: connected")) << status.out.toStdString();
    EXPECT_TRUE(status.out.contains(QString::fromUtf8("tv: Obývačka TV (10.77.0.1)"))) << status.out.toStdString();
}

TEST_F(MdnsLab, MirroringStartsAirScreenAndPicksTheTVsReceiver)
{
    using namespace telvanto;
    const QString name = QString::fromUtf8("Obývačka");
    const QString log = lab() + "/tv/events.jsonl";
    AnnouncedTv tvsim(name, {"--log", log});

    // The remote paired with the TV across the lab, as the application holds it.
    telvanto::testing::TempDir dir;
    transport::TLSChannelFactory channels{scheduler};
    identity::CredentialStore credentials{dir / "client"};
    platform::Settings settings{QString::fromStdString(dir / "telvanto.conf")};
    tv::NullTVLookup lookup;
    telvanto::testing::FakeNetworkMonitor network;
    telvanto::testing::FakeDirectoryWatcher credentialWatch;
    tv::TVController tv(scheduler, channels, credentials, settings, lookup, network, credentialWatch, "desk");
    QFile::remove(AnnouncedTv::codeFile());
    QByteArray said;
    ASSERT_TRUE(waitUntil([&] { said += tvsim.process.readAll(); return said.contains("listening"); }));
    tv.selectTV(name, "10.77.0.1");
    tv.startPairing();
    QFile code(AnnouncedTv::codeFile());
    ASSERT_TRUE(waitUntil([&] { return code.exists() && code.size() > 0; }, 20s)) << "the TV never showed a code";
    ASSERT_TRUE(code.open(QIODevice::ReadOnly));
    ASSERT_TRUE(tv.submitCode(QString::fromLatin1(code.readAll()).trimmed()));
    ASSERT_TRUE(waitUntil([&] { return !tv.verifiedHost().isEmpty(); }, 20s));

    // Mirroring over real mDNS; the panel and the displays are stand-ins.
    platform::AvahiMdns mdns(scheduler);
    tv::Discovery discovery(mdns, scheduler);
    telvanto::testing::FakeDisplays displays;
    telvanto::testing::FakeReceiverSelector selector(scheduler);
    telvanto::testing::FakeAccessibility access;
    mirroring::MirrorController mirror(scheduler, settings, discovery, displays, selector, access);
    mirror.setTvHost(tv.verifiedHost());
    EXPECT_FALSE(mirror.receiverName()) << "no receiver before AirScreen runs";

    mirroring::ControllerTV remote(tv);
    mirror.start(remote);
    ASSERT_TRUE(waitUntil([&] { return !selector.calls.isEmpty(); }, 15s)) << mirror.messageText().toStdString();
    EXPECT_EQ(selector.calls, QStringList{"on " + name}) << "the receiver on the TV's address";
    EXPECT_EQ(tv.currentApp(), mirroring::MirrorController::airScreenPackage);
    QFile events(log);
    ASSERT_TRUE(events.open(QIODevice::ReadOnly));
    const QByteArray heard = events.readAll();
    EXPECT_TRUE(heard.contains("wakeUp")) << heard.constData();
    EXPECT_LT(heard.indexOf("wakeUp"), heard.indexOf("com.ionitech.airscreen")) << "woken, then AirScreen";

    displays.plug(5, {}, "AirPlay " + name); // the receiver's display comes online
    ASSERT_TRUE(waitUntil([&] { return !mirror.busy(); }, 5s));
    EXPECT_TRUE(mirror.isMirroring());
    EXPECT_FALSE(mirror.message());
}
