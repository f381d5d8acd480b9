// telvanto-cli, the program, against the simulated TV over real TLS on loopback.
#include "Tvsim.h"

using namespace std::chrono_literals;
using namespace telvanto::testing;

// The person reading the code may take longer than the deadline; the input ending before a
// code ends the command; a signal ends it as no success, except watch, which ends that way.
// A failure ends on one line of standard error that says why, with a status a script can use.
TEST(CliWithTvsim, AsAPersonOrAScriptMeetsIt)
{
    TvsimRig rig;
    rig.pair();
    QProcess bus; // a system bus that answers, with no avahi-daemon on it
    bus.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address", "--address=unix:path=" + QString::fromStdString(rig.dir / "bus")});
    ASSERT_TRUE(bus.waitForStarted() && waitUntil([&] { return bus.canReadLine(); })) << "dbus-daemon did not start";
    const std::string busEnv = "DBUS_SYSTEM_BUS_ADDRESS=" + bus.readLine().trimmed().toStdString();
    const QString tv = QString("--host 127.0.0.1 --pair-port %1 --remote-port %2 ").arg(rig.tv->pairingPort()).arg(rig.tv->remotePort());
    const char* noAvahi = "no avahi-daemon reachable, so no TV can be searched for: give --host";
    const struct {
        const char* name;
        const char* data; // the data folder: "client" (paired), "none", "fresh …" (an identity of its own)
        QString args;
        const char* before; // a command for the TV first ("restart": no code left on screen), or NAME=value for the program
        const char* person; // once a code shows (watch: once connected): "wait" 5 s, type "code" or a line "end", "eof", "term"
        int exit;
        QString out;     // none: not checked
        const char* err; // the one line on standard error after the program's name; "": not checked
    } rows[] = {
        {"the code typed after the 4 s deadline", "fresh 1", tv + "--timeout 4 pair", "restart", "wait code end", 0, "paired with 127.0.0.1\n", ""},
        {"nothing typed", "fresh 2", tv + "pair", "restart", "eof", 7, "", "the input ended before the code the TV shows was typed"},
        {"the code without a line end", "fresh 3", tv + "pair", "restart", "code eof", 0, "paired with 127.0.0.1\n", ""},
        {"pair interrupted", "fresh 4", tv + "pair", "restart", "term", 130, {}, ""},
        {"watch interrupted", "client", tv + "watch", "restart", "term", 0, {}, ""},
        {"unknown command", "none", "teleport", "", "", 2, "", "unknown command 'teleport' (see --help)"},
        {"pair without an address or mDNS", "none", "pair", "", "", 4, "", noAvahi},
        {"discover, a bus without avahi", "none", "discover --timeout 30", busEnv.c_str(), "", 4, "", noAvahi},
        {"the TV forgot us", "client", tv + "status", "forget", "", 3, "", "TV toto zariadenie už nepozná – stlač Spárovať znova (TLS refused by the TV: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool env = QString(row.before).contains('=');
        if (std::string(row.data).starts_with("fresh")) std::filesystem::copy(identityFolder(1).path(), rig.dir / row.data); // no key to make
        if (*row.before && !env) rig.tv->runCommand(row.before);
        rig.start(TELVANTO_BIN_DIR "/telvanto-cli", row.args.split(' '), row.data, env ? QStringList{row.before} : QStringList{});
        ASSERT_TRUE(!*row.person || waitUntil([&] { return !rig.tv->code().isEmpty() || rig.process.peek(4096).contains("status connected"); }));
        for (const QString& step : QString(row.person).split(' ', Qt::SkipEmptyParts)) {
            if (step == "wait") { EXPECT_FALSE(rig.exited(5s)) << "gave up while the person was reading the code"; }
            rig.process.write(step == "code" ? rig.tv->code().toUtf8() : QByteArray(step == "end" ? "\n" : ""));
            if (step == "eof") rig.process.closeWriteChannel();
            if (step == "term") rig.process.terminate();
        }
        EXPECT_EQ(rig.finish(), row.exit) << rig.err.toStdString();
        if (!row.out.isNull()) { EXPECT_EQ(rig.out, row.out); }
        EXPECT_TRUE(!*row.err || (rig.err.startsWith("telvanto-cli: " + QString::fromUtf8(row.err)) && rig.err.count('\n') == 1)) << rig.err.toStdString();
    }
    bus.kill(), bus.waitForFinished();
}
