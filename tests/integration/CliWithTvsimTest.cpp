// telvanto-cli, the program, against the simulated TV over real TLS on loopback.
#include "Tvsim.h"

using namespace std::chrono_literals;
using namespace telvanto::testing;

namespace {
const QString cli = TELVANTO_BIN_DIR "/telvanto-cli";
QStringList toTv(TvsimRig& r, const QStringList& args)
{
    return QStringList{"--host", "127.0.0.1", "--pair-port", QString::number(r.tv->pairingPort()), "--remote-port", QString::number(r.tv->remotePort())} + args;
}
} // namespace

// The person reading the code may take longer than the deadline; the input ending before a
// code ends the command; a signal ends it as no success, except watch, which ends that way.
TEST(CliWithTvsim, PairingWaitsForThePersonAndEndsWithTheInput)
{
    TvsimRig rig;
    rig.pair();
    const QString paired = "paired with 127.0.0.1\n", inputEnded = "telvanto-cli: the input ended before the code the TV shows was typed\n";
    const struct {
        const char* name;
        const char* args;
        const char* person; // once a code shows (watch: once connected): "wait" 5 s, type "code" or a line "end", "eof", "term"
        int exit;
        QString out, err; // out: none not checked; err: how standard error ends
    } rows[] = {
        {"the code typed after the 4 s deadline", "--timeout 4 pair", "wait code end", 0, paired, ""},
        {"nothing typed", "pair", "eof", 7, "", inputEnded},
        {"the code without a line end", "pair", "code eof", 0, paired, ""},
        {"pair interrupted", "pair", "term", 130, {}, ""},
        {"watch interrupted", "watch", "term", 0, {}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string data = row.args == QString("watch") ? "client" : std::string("fresh ") + row.name;
        if (data != "client") std::filesystem::copy(identityFolder(1).path(), rig.dir / data); // no key to make
        rig.tv->runCommand("restart"); // no code shown
        rig.start(cli, toTv(rig, QString(row.args).split(' ')), data);
        ASSERT_TRUE(waitUntil([&] { return !rig.tv->code().isEmpty() || rig.process.peek(4096).contains("status connected"); }));
        for (const QString& step : QString(row.person).split(' ')) {
            if (step == "wait") { EXPECT_FALSE(rig.exited(5s)) << "gave up while the person was reading the code"; }
            rig.process.write(step == "code" ? rig.tv->code().toUtf8() : QByteArray(step == "end" ? "\n" : ""));
            if (step == "eof") rig.process.closeWriteChannel();
            if (step == "term") rig.process.terminate();
        }
        EXPECT_EQ(rig.finish(), row.exit) << rig.err.toStdString();
        if (!row.out.isNull()) { EXPECT_EQ(rig.out, row.out); }
        EXPECT_TRUE(row.err.isEmpty() || rig.err.endsWith(row.err)) << rig.err.toStdString();
    }
}

// One line on standard error, with the cause, and an exit status a script can use.
TEST(CliWithTvsim, FailuresEndOnOneLineThatSaysWhy)
{
    TvsimRig rig;
    rig.pair();
    QProcess bus; // a system bus that answers, with no avahi-daemon on it
    const QString busAddress = "unix:path=" + QString::fromStdString(rig.dir / "bus");
    bus.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address", "--address=" + busAddress});
    ASSERT_TRUE(bus.waitForStarted() && waitUntil([&] { return bus.canReadLine(); })) << "dbus-daemon did not start";
    const std::string busEnv = "DBUS_SYSTEM_BUS_ADDRESS=" + busAddress.toStdString();
    const QString noAvahi = "telvanto-cli: no avahi-daemon reachable, so no TV can be searched for: give --host";
    const struct {
        const char* name;
        const char* data;
        QStringList args;
        const char* forTv; // a command for the TV first, or NAME=value for the program
        int exit;
        QString err;
    } rows[] = {
        {"refused", "client", {"--host", "127.0.0.1", "--remote-port", QString::number(closedPort()), "key", "home"}, "", 4,
         "telvanto-cli: gave up: the TV cannot be reached (Connection refused)"},
        {"not paired", "none", toTv(rig, {"key", "home"}), "", 3, "telvanto-cli: not paired with this TV: run 'telvanto-cli pair'"},
        {"unknown app", "client", toTv(rig, {"launch", "Nonexistent App"}), "", 2,
         "telvanto-cli: 'Nonexistent App' is neither an app of the catalogue nor an Android package name (see --help)"},
        {"unknown command", "none", {"teleport"}, "", 2, "telvanto-cli: unknown command 'teleport' (see --help)"},
        {"discover without mDNS", "none", {"discover", "--timeout", "30"}, "", 4, noAvahi},
        {"pair without an address or mDNS", "none", {"pair"}, "", 4, noAvahi},
        {"discover, a bus without avahi", "none", {"discover"}, busEnv.c_str(), 4, noAvahi},
        {"the TV forgot us", "client", toTv(rig, {"status"}), "forget", 3,
         QString::fromUtf8("telvanto-cli: TV toto zariadenie už nepozná – stlač Spárovať znova (TLS refused by the TV: ")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool env = QString(row.forTv).contains('=');
        if (*row.forTv && !env) rig.tv->runCommand(row.forTv);
        rig.start(cli, row.args, row.data, env ? QStringList{row.forTv} : QStringList{});
        EXPECT_EQ(rig.finish(), row.exit) << rig.err.toStdString();
        EXPECT_TRUE(rig.err.startsWith(row.err) && rig.err.count('\n') == 1 && !rig.err.contains(QString::fromUtf8("skúšam znova"))) << rig.err.toStdString();
        EXPECT_TRUE(rig.out.isEmpty()) << rig.out.toStdString();
    }
    bus.kill(), bus.waitForFinished();
}
