#include "RemoteCli.h"

#include "TVRig.h"

using namespace telvanto;
using namespace telvanto::testing;
using telvanto::cli::Exit;
using telvanto::cli::RemoteCli;
using telvanto::cli::Request;

namespace {

// telvanto-cli's command over a controller with scripted channels, in virtual time.
struct CliRig {
    TVRig rig;
    std::vector<std::string> out, err;
    std::optional<Exit> exit;
    core::Duration exitAt{};
    std::unique_ptr<RemoteCli> cli;

    // setup: TVRig words for the stores; args: the command line; script: TVRig words and
    //   type typo eof                       the person types the right code, a wrong one, ends the input
    //   refused tls-refused other-tv oversized   the last channel closes for this cause
    void run(const std::string& setup, const char* args, const std::string& script)
    {
        using Error = transport::Channel::Error;
        rig.run(setup);
        rig.make();
        quint16 pairPort = 0, remotePort = 0;
        auto request = std::get<Request>(cli::parseArguments(QString::fromUtf8(args).split(' '), &pairPort, &remotePort));
        const core::TimePoint start = rig.scheduler.now();
        cli = std::make_unique<RemoteCli>(
            *rig.tv, rig.scheduler, request, [this](const QString& line) { out.push_back(line.toStdString()); },
            [this](const QString& line) { err.push_back(line.toStdString()); });
        cli->run([this, start](Exit code) {
            EXPECT_FALSE(exit) << "done twice";
            exit = code;
            exitAt = rig.scheduler.now() - start;
        });
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            if (w == "type") cli->codeEntered(QString::fromStdString(rig.validCode()));
            else if (w == "typo") cli->codeEntered("ZZZZZZ");
            else if (w == "eof") cli->inputEnded();
            else if (w == "refused") rig.last().close(Error{Kind::connection, "Connection refused"});
            else if (w == "tls-refused") rig.last().close(Error{Kind::tls, "connection ended right after the handshake"});
            else if (w == "other-tv") rig.last().close(Error{Kind::tls, "server key does not match"}, true);
            else if (w == "oversized") rig.last().close(Error{Kind::oversized, "frame too large"});
            else rig.run(w);
        }
    }
};

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const auto& line : lines) all += (all.empty() ? "" : " | ") + line;
    return all;
}

} // namespace

// A person reads the code off the TV and types it: no deadline meanwhile, and none of its
// ends (the input closing, a typo, a refused first connection) leaves the command hanging. A
// one-shot command gives up at the first failure, says so and why, and never ends on a text
// that promises another try. watch prints each status once, with its cause; status waits for
// the TV's reports at most the settle time.
TEST(RemoteCli, Table)
{
    const struct {
        const char* setup;
        const char* args;
        const char* script;
        std::optional<Exit> exit; // none: still running after a minute
        core::Duration at;
        const char* out; // lines joined with " | "
        const char* err;
    } rows[] = {
        {"id host", "--host 10.0.0.5 pair", "ready req opt conf +13s type secret ready tv:start", Exit::ok, 13s, "paired with 10.0.0.5", ""},
        {"id host", "--host 10.0.0.5 pair", "ready req opt conf +30s typo +30s type +9s secret ready tv:start", Exit::ok, 69s,
         "paired with 10.0.0.5", "That is not the code the TV shows; try again."},
        {"id host", "--host 10.0.0.5 pair", "ready req opt conf type secret refused +1s ready tv:start", Exit::ok, 1s, "paired with 10.0.0.5", ""},
        {"id host", "--host 10.0.0.5 pair", "ready req opt conf +5s type secret refused +20s", Exit::timeout, 15s, "",
         "telvanto-cli: paired with 10.0.0.5, but the TV did not take the remote connection in time (Connection refused)"},
        {"id host", "--host 10.0.0.5 pair", "ready req opt conf +40s eof", Exit::noCode, 40s, "",
         "telvanto-cli: the input ended before the code the TV shows was typed"},
        {"id host", "--host 10.0.0.5 pair", "ready req opt conf type eof secret ready tv:start", Exit::ok, 0s, "paired with 10.0.0.5", ""},
        {"id host", "--host 10.0.0.5 pair", "eof ready req opt conf +60s type secret ready tv:start", Exit::ok, 1min, "paired with 10.0.0.5", ""},
        {"id host", "--host 10.0.0.5 pair", "ready req +20s", Exit::timeout, 10s, "", "telvanto-cli: no answer from the TV in time (pairing)"},
        {"id host", "--host 10.0.0.5 pair", "ready req opt conf +60s type +20s", Exit::timeout, 70s, "",
         "telvanto-cli: no answer from the TV in time (waitingForCode)"},
        {"id host", "--host 10.0.0.5 pair", "ready req opt conf type refuse=402", Exit::wrongCode, 0s, "", "telvanto-cli: Nesprávny kód, skús znova"},
        {"id host", "--host 10.0.0.5 pair --code ZZZZZZ", "ready req opt conf", Exit::wrongCode, 0s, "",
         "telvanto-cli: 'ZZZZZZ' is not the code the TV shows"},
        {"id host", "--host 10.0.0.5 pair", "refused", Exit::unreachable, 0s, "", "telvanto-cli: Párovanie sa prerušilo (Connection refused)"},
        {"id host", "pair", "ready req opt conf +15s type secret ready tv:start", Exit::ok, 15s, "paired with 10.0.0.5", ""},
        {"id paired", "key home", "refused", Exit::unreachable, 0s, "", "telvanto-cli: gave up: the TV cannot be reached (Connection refused)"},
        {"id paired", "key home", "close", Exit::unreachable, 0s, "", "telvanto-cli: gave up: the TV cannot be reached"},
        {"id paired", "status", "ready tv:start oversized", Exit::unreachable, 0s, "",
         "telvanto-cli: gave up: the connection to the TV broke (malformed frame from the TV: frame too large)"},
        {"id paired", "text ahoj", "tls-refused", Exit::notPaired, 0s, "",
         "telvanto-cli: TV toto zariadenie už nepozná – stlač Spárovať znova (TLS refused by the TV: connection ended right after the handshake)"},
        {"id paired", "launch YouTube", "other-tv", Exit::notPaired, 0s, "",
         "telvanto-cli: Iné zariadenie než spárovaná TV – spáruj znova (TLS refused by the TV: server key does not match)"},
        {"id paired", "link https://example.com", "+12s", Exit::timeout, 10s, "", "telvanto-cli: no answer from the TV in time (connecting)"},
        {"id host", "key home", "", Exit::notPaired, 0s, "", "telvanto-cli: not paired with this TV: run 'telvanto-cli pair'"},
        {"id paired", "key home", "ready tv:start", Exit::ok, 0s, "", ""},
        {"id paired", "status --json", "ready tv:start", Exit::ok, 300ms, R"({"app":"","host":"10.0.0.5","name":"Mi Box","power":"on","status":"connected"})", ""},
        {"id paired", "watch", "ready tv:start tv:volume refused +1s refused +2s other-tv", std::nullopt, 0s,
         "status connecting | status connected | volume 12/100 muted | "
         "status failed: Spojenie sa prerušilo, pripájam znova… (Connection refused) | status connecting | "
         "status failed: TV nedostupná, skúšam znova… (Connection refused) | status connecting | "
         "status failed: Iné zariadenie než spárovaná TV – spáruj znova (TLS refused by the TV: server key does not match)", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.args) + " / " + row.script);
        CliRig c;
        c.run(row.setup, row.args, row.script);
        c.rig.scheduler.advance(1min);
        EXPECT_EQ(c.exit, row.exit);
        if (c.exit) { EXPECT_EQ(c.exitAt, core::Duration(row.at)); }
        EXPECT_EQ(joined(c.out), row.out);
        EXPECT_EQ(joined(c.err), row.err);
    }
}
