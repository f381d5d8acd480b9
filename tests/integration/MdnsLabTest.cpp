// mDNS against real avahi-daemons in a private two-host network (tests/integration/mdns).
#include "platform/AvahiMdns.h"
#include "transport/QtScheduler.h"
#include "tv/Discovery.h"

#include "EventLoop.h"

#include <QElapsedTimer>
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
    explicit AnnouncedTv(const QString& name)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(qEnvironmentVariable("TELVANTO_LAB_SCRIPT"),
                      {"exec", lab(), "tv", qEnvironmentVariable("TVSIM"), "--mdns", "--bind", "10.77.0.1", "--state-dir",
                       lab() + "/tv/state", "--name", name});
        started.start();
    }
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

