#include "RemoteCli.h"

#include "TVRig.h"

using namespace telvanto;
using namespace telvanto::testing;
using telvanto::cli::Exit;
using Error = transport::Channel::Error;

// A person reads the code off the TV and types it: no deadline meanwhile, and none of its
// ends (the input closing, a typo, a refused first connection) leaves the command hanging. A
// one-shot command gives up at the first failure, says so and why, and never ends on a text
// that promises another try. watch prints each status once, with its cause; status waits for
// the TV's reports at most the settle time.
TEST(RemoteCli, Table)
{
    const char *pair = "--host 10.0.0.5 pair", *paired = "paired with 10.0.0.5";
    const struct {
        const char* setup; // TVRig words for the stores ("host" or "paired"; an identity always)
        const char* args;
        // TVRig words, and: type typo eof (the person types the right code, a wrong one, ends the input);
        // refused other-tv oversized (the last channel closes for this cause)
        const char* script;
        std::optional<Exit> exit; // none: still running after a minute
        core::Duration at;
        const char* out; // lines joined with " | "
        const char* err; // the same, "telvanto-cli: " left out
    } rows[] = {
        {"host", pair, "ready req opt conf +30s typo +30s type +9s secret ready tv:start", Exit::ok, 69s, paired, "That is not the code the TV shows; try again."},
        {"host", pair, "ready req opt conf type secret refused +1s ready tv:start", Exit::ok, 1s, paired, ""},
        {"paired", pair, "ready req opt conf type secret ready tv:start", Exit::ok, 0s, paired, ""}, // pairing again replaces the pairing
        {"host", pair, "ready req opt conf +5s type secret refused +20s", Exit::timeout, 15s, "",
         "paired with 10.0.0.5, but the TV did not take the remote connection in time (Connection refused)"},
        {"host", pair, "ready req opt conf +40s eof", Exit::noCode, 40s, "", "the input ended before the code the TV shows was typed"},
        {"host", pair, "ready req opt conf +60s type +20s", Exit::timeout, 70s, "", "no answer from the TV in time (waitingForCode)"},
        {"host", pair, "ready req opt conf type refuse=402", Exit::wrongCode, 0s, "", "Nesprávny kód, skús znova"},
        {"host", "--host 10.0.0.5 pair --code ZZZZZZ", "ready req opt conf", Exit::wrongCode, 0s, "", "'ZZZZZZ' is not the code the TV shows"},
        {"host", pair, "refused", Exit::unreachable, 0s, "", "Párovanie sa prerušilo (Connection refused)"},
        {"paired", "key home", "close", Exit::unreachable, 0s, "", "gave up: the TV cannot be reached"},
        {"paired", "status", "ready tv:start oversized", Exit::unreachable, 0s, "", "gave up: the connection to the TV broke (malformed frame from the TV: frame too large)"},
        {"paired", "launch YouTube", "other-tv", Exit::notPaired, 0s, "", "Iné zariadenie než spárovaná TV – spáruj znova (TLS refused by the TV: server key does not match)"},
        {"paired", "link https://example.com", "+12s", Exit::timeout, 10s, "", "no answer from the TV in time (connecting)"},
        {"host", "key home", "", Exit::notPaired, 0s, "", "not paired with this TV: run 'telvanto-cli pair'"},
        {"paired", "text ahoj", "ready tv:start", Exit::ok, 0s, "", ""},
        {"paired", "status --json", "ready tv:start", Exit::ok, 300ms, R"({"app":"","host":"10.0.0.5","name":"Mi Box","power":"on","status":"connected"})", ""},
        {"paired", "watch", "ready tv:start tv:volume refused +1s refused +2s other-tv", std::nullopt, 0s,
         "status connecting | status connected | volume 12/100 muted | status failed: Spojenie sa prerušilo, pripájam znova… (Connection refused) | "
         "status connecting | status failed: TV nedostupná, skúšam znova… (Connection refused) | status connecting | "
         "status failed: Iné zariadenie než spárovaná TV – spáruj znova (TLS refused by the TV: server key does not match)", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.args) + " / " + row.script);
        TVRig rig;
        rig.run(std::string("id ") + row.setup);
        rig.make();
        std::string out, err;
        auto add = [](std::string& to, const QString& line) { to += (to.empty() ? "" : " | ") + line.toStdString(); };
        std::optional<Exit> exit;
        core::Duration at{};
        quint16 pairAt = 0, remoteAt = 0; // ports on the command line: none in these rows
        const auto request = std::get<cli::Request>(cli::parseArguments(QString::fromUtf8(row.args).split(' '), &pairAt, &remoteAt));
        const core::TimePoint start = rig.scheduler.now();
        cli::RemoteCli cli(*rig.tv, rig.scheduler, request, [&](const QString& line) { add(out, line); }, [&](const QString& line) { add(err, line); });
        cli.run([&](Exit code) {
            EXPECT_FALSE(exit) << "done twice";
            exit = code, at = rig.scheduler.now() - start;
        });
        std::istringstream words(row.script);
        for (std::string w; words >> w;) {
            const std::map<std::string, std::pair<Error, bool>> closes = {{"refused", {{Kind::connection, "Connection refused"}, false}},
                {"other-tv", {{Kind::tls, "server key does not match"}, true}}, {"oversized", {{Kind::oversized, "frame too large"}, false}}};
            if (w == "type" || w == "typo") cli.codeEntered(w == "type" ? QString::fromStdString(rig.validCode()) : "ZZZZZZ");
            else if (w == "eof") cli.inputEnded();
            else if (closes.contains(w)) rig.last().close(closes.at(w).first, closes.at(w).second);
            else rig.run(w);
        }
        rig.scheduler.advance(1min);
        EXPECT_EQ(exit, row.exit);
        if (exit) { EXPECT_EQ(at, core::Duration(row.at)); }
        EXPECT_EQ(out, row.out);
        // A success's standard error holds only hints; a failure ends on the program's name and the cause.
        EXPECT_EQ(err, std::string(row.exit == Exit::ok || !*row.err ? "" : "telvanto-cli: ") + row.err);
    }
}
