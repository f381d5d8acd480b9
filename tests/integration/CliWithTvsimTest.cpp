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
    const QString paired = "paired with 127.0.0.1\n";
    const struct {
        const char* name;
        const char* args;
        const char* person; // once a code shows (watch: once connected): "wait" 5 s, type "code" or a line "end", "eof", "term"
        int exit;
        QString out, err; // out: none not checked; err: how standard error ends
    } rows[] = {
        {"the code typed after the 4 s deadline", "--timeout 4 pair", "wait code end", 0, paired, ""},
        {"nothing typed", "pair", "eof", 7, "", "telvanto-cli: the input ended before the code the TV shows was typed\n"},
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
    ProgramRun run;
    QProcess bus; // a system bus that answers, with no avahi-daemon on it
    const QString busAddress = "unix:path=" + QString::fromStdString(run.dir / "bus");
    bus.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address", "--address=" + busAddress});
    ASSERT_TRUE(bus.waitForStarted() && waitUntil([&] { return bus.canReadLine(); })) << "dbus-daemon did not start";
    const QString noAvahi = "telvanto-cli: no avahi-daemon reachable, so no TV can be searched for: give --host";
    const struct {
        QStringList args;
        QStringList env;
        int exit;
        QString err;
    } rows[] = {
        {{"launch", "Nonexistent App"}, {}, 2, "telvanto-cli: 'Nonexistent App' is neither an app of the catalogue nor an Android package name (see --help)"},
        {{"teleport"}, {}, 2, "telvanto-cli: unknown command 'teleport' (see --help)"},
        {{"discover", "--timeout", "30"}, {}, 4, noAvahi},
        {{"pair"}, {}, 4, noAvahi},
        {{"discover"}, {"DBUS_SYSTEM_BUS_ADDRESS=" + busAddress}, 4, noAvahi},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE((row.args + row.env).join(' ').toStdString());
        run.start(cli, row.args, "data", row.env);
        EXPECT_EQ(run.finish(), row.exit) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(row.err) && run.err.count('\n') == 1 && !run.err.contains(QString::fromUtf8("skúšam znova"))) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
    bus.kill(), bus.waitForFinished();
}
