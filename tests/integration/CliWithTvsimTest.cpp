// telvanto-cli, the program, against the simulated TV over real TLS on loopback.
#include "Simulator.h"
#include "identity/ClientIdentity.h"
#include "transport/QtScheduler.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "Tvsim.h"

#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace telvanto;
using namespace std::chrono_literals;
using telvanto::testing::waitUntil;

namespace {

struct Rig {
    Rig() : tv(telvanto::testing::startTvsim(dir / "tv", scheduler)) {}

    void makeIdentity()
    {
        identity::CredentialStore store(dir / "client");
        identity::loadOrCreateIdentity(store, "desk");
    }

    // The client identity and the TV's key, as a finished pairing leaves them.
    void pair()
    {
        identity::CredentialStore store(dir / "client");
        const auto client = identity::loadOrCreateIdentity(store, "desk");
        ASSERT_EQ(telvanto::testing::pairWithTvsim(*tv, client), protocol::PairingMsg::Reply{protocol::PairingMsg::reply::SecretAck{}});
        store.storePinnedKey(tv->publicKey());
    }

    // Starts telvanto-cli with its own stores and no mDNS daemon: nothing leaves loopback.
    void start(const QStringList& args, const QString& systemBus = QStringLiteral("unix:path=/nonexistent/telvanto-test-bus"))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TELVANTO_DATA_DIR", QString::fromStdString(dir / "client"));
        env.insert("TELVANTO_CONFIG_DIR", QString::fromStdString(dir / "config"));
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", systemBus);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TELVANTO_BIN_DIR "/telvanto-cli"), args);
        ASSERT_TRUE(process.waitForStarted());
    }
    QStringList toTv(const QStringList& args)
    {
        return QStringList{"--host", "127.0.0.1", "--pair-port", QString::number(tv->pairingPort()), "--remote-port",
                           QString::number(tv->remotePort())} +
               args;
    }
    bool exited(std::chrono::milliseconds within) { return waitUntil([&] { return process.state() == QProcess::NotRunning; }, within); }
    int finish()
    {
        EXPECT_TRUE(exited(20s));
        out = QString::fromUtf8(process.readAllStandardOutput());
        err = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    telvanto::testing::TempDir dir;
    transport::QtScheduler scheduler;
    std::unique_ptr<tvsim::Simulator> tv;
    QProcess process;
    QString out, err;
};

// A port on loopback where nobody listens.
quint16 closedPort()
{
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    return server.serverPort();
}

} // namespace

// The person reading the code needs longer than the deadline: the command waits for them.
TEST(CliWithTvsim, PairingWaitsForTheCodeLongerThanTheDeadline)
{
    Rig rig;
    rig.makeIdentity(); // no key to make: the deadline is for the TV alone
    rig.start(rig.toTv({"--timeout", "4", "pair"}));
    ASSERT_TRUE(waitUntil([&] { return !rig.tv->code().isEmpty(); })) << "the TV never showed a code";
    EXPECT_FALSE(rig.exited(5s)) << "gave up while the person was reading the code: "
                                     << rig.process.readAllStandardError().toStdString();
    rig.process.write((rig.tv->code() + "\n").toUtf8());
    EXPECT_EQ(rig.finish(), 0) << rig.err.toStdString();
    EXPECT_EQ(rig.out, "paired with 127.0.0.1\n");
}

TEST(CliWithTvsim, InputEndingBeforeTheCodeEndsPairing)
{
    const struct {
        const char* name;
        QByteArray typed;
        int exit;
    } rows[] = {
        {"nothing typed", "", 7},
        {"a code that cannot be the TV's", "ZZZZZZ\n", 7},
        {"the code without a line end", "", 0}, // the TV's code is filled in below
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.start(rig.toTv({"pair"}));
        ASSERT_TRUE(waitUntil([&] { return !rig.tv->code().isEmpty(); }));
        rig.process.write(row.exit == 0 ? rig.tv->code().toUtf8() : row.typed);
        rig.process.closeWriteChannel();
        EXPECT_EQ(rig.finish(), row.exit) << rig.err.toStdString();
        if (row.exit != 0) {
            EXPECT_TRUE(rig.err.endsWith("telvanto-cli: the input ended before the code the TV shows was typed\n"))
                << rig.err.toStdString();
        }
    }
}

// One line on standard error, with the cause, and an exit status a script can use.
TEST(CliWithTvsim, FailuresEndOnOneLineThatSaysWhy)
{
    const QString noBus = QStringLiteral("unix:path=/nonexistent/telvanto-test-bus");
    const struct {
        const char* name;
        bool paired;
        std::function<QStringList(Rig&)> args;
        std::function<void(Rig&)> before;
        int exit;
        QString err;
    } rows[] = {
        {"refused", true,
         [](Rig&) { return QStringList{"--host", "127.0.0.1", "--remote-port", QString::number(closedPort()), "key", "home"}; },
         nullptr, 4, "telvanto-cli: gave up: the TV cannot be reached (Connection refused)"},
        {"the TV forgot us", true, [](Rig& r) { return r.toTv({"status"}); }, [](Rig& r) { r.tv->runCommand("forget"); }, 3,
         QString::fromUtf8("telvanto-cli: TV toto zariadenie už nepozná – stlač Spárovať znova (TLS refused by the TV: ")},
        {"not paired", false, [](Rig& r) { return r.toTv({"key", "home"}); }, nullptr, 3,
         "telvanto-cli: not paired with this TV: run 'telvanto-cli pair'"},
        {"unknown app", true, [](Rig& r) { return r.toTv({"launch", "Nonexistent App"}); }, nullptr, 2,
         "telvanto-cli: 'Nonexistent App' is neither an app of the catalogue nor an Android package name (see --help)"},
        {"unknown command", false, [](Rig&) { return QStringList{"teleport"}; }, nullptr, 2,
         "telvanto-cli: unknown command 'teleport' (see --help)"},
        {"discover without mDNS", false, [](Rig&) { return QStringList{"discover", "--timeout", "30"}; }, nullptr, 4,
         "telvanto-cli: no avahi-daemon reachable, so no TV can be searched for: give --host"},
        {"pair without an address or mDNS", false, [](Rig&) { return QStringList{"pair"}; }, nullptr, 4,
         "telvanto-cli: no avahi-daemon reachable, so no TV can be searched for: give --host"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        if (row.paired) rig.pair();
        if (row.before) row.before(rig);
        rig.start(row.args(rig));
        EXPECT_EQ(rig.finish(), row.exit) << rig.err.toStdString();
        EXPECT_TRUE(rig.err.startsWith(row.err)) << rig.err.toStdString();
        EXPECT_EQ(rig.err.count('\n'), 1) << rig.err.toStdString();
        EXPECT_FALSE(rig.err.contains(QString::fromUtf8("skúšam znova"))) << rig.err.toStdString();
        EXPECT_TRUE(rig.out.isEmpty()) << rig.out.toStdString();
    }
}

// A system bus that answers, with no avahi-daemon on it, is as good as none.
TEST(CliWithTvsim, ABusWithoutAvahiIsNoWayToSearch)
{
    Rig rig;
    const QString bus = QString::fromStdString(rig.dir / "bus");
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address", "--address=unix:path=" + bus});
    ASSERT_TRUE(daemon.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return daemon.canReadLine(); })) << "dbus-daemon did not start";
    rig.start({"discover"}, "unix:path=" + bus);
    EXPECT_EQ(rig.finish(), 4) << rig.err.toStdString();
    EXPECT_EQ(rig.err, "telvanto-cli: no avahi-daemon reachable, so no TV can be searched for: give --host\n");
    daemon.kill();
    daemon.waitForFinished();
}

// Stopped by a signal: watch ends as it should, a command that was not done is no success.
TEST(CliWithTvsim, AnInterruptedCommandIsNoSuccess)
{
    const struct {
        QStringList args;
        std::function<bool(Rig&)> running;
        int exit;
    } rows[] = {
        {{"pair"}, [](Rig& r) { return !r.tv->code().isEmpty(); }, 130},
        {{"watch"}, [](Rig& r) { return r.process.peek(4096).contains("status connected"); }, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        Rig rig;
        rig.pair();
        rig.start(rig.toTv(row.args));
        ASSERT_TRUE(waitUntil([&] { return row.running(rig); }));
        rig.process.terminate();
        EXPECT_EQ(rig.finish(), row.exit) << rig.err.toStdString();
    }
}
