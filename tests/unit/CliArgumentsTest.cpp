#include "RemoteCli.h"

#include <gtest/gtest.h>

using telvanto::cli::Request;
using Command = Request::Command;

namespace {
quint16 pairPort, remotePort;
auto parse(const QStringList& args) { return telvanto::cli::parseArguments(args, &(pairPort = 6467), &(remotePort = 6466)); }
} // namespace

TEST(CliArguments, Table)
{
    const struct {
        const char* line;
        std::optional<Command> command; // none: a usage error
        int args = 0;
        int timeoutMs = 10000;
    } cases[] = {
        {"status", Command::status}, {"status --json", Command::status}, {"--host 10.0.0.5 status", Command::status},
        {"key up down center", Command::key, 3}, {"key delete volumeUp wakeUp", Command::key, 3}, {"key jump", {}}, {"key", {}}, {"text", {}},
        {"text ahoj", Command::text, 1}, {"link https://example.com/a?b=c", Command::link, 1}, {"link not-a-link", {}},
        {"pair --code 1A2B3C", Command::pair}, {"pair extra", {}}, {"--code 123456 pair", {}}, // pair's option before the command
        {"status --pair-port 0", {}}, {"status --remote-port 70000", {}}, {"status --timeout 0", {}}, {"status --timeout 2.5", Command::status, 0, 2500},
        {"--host", {}}, {"teleport", {}}, {"", {}}, {"watch", Command::watch}, {"launch netflix", Command::launch, 1},
        // discover waits 3 s unless told, 10 s included
        {"discover", Command::discover, 0, 3000}, {"discover --timeout 10", Command::discover, 0, 10000}, {"--timeout 0.5 discover", Command::discover, 0, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = parse(QString::fromLatin1(c.line).split(' ', Qt::SkipEmptyParts));
        const auto* request = std::get_if<Request>(&parsed);
        ASSERT_EQ(request ? std::optional(request->command) : std::nullopt, c.command);
        if (request) { EXPECT_EQ(request->args.size(), c.args); EXPECT_EQ(request->timeout.count(), c.timeoutMs); }
    }
    const auto request = std::get<Request>(parse({"--host", "tv.local", "--pair-port", "7001", "--remote-port", "7002", "--timeout", "1.5", "pair", "--code", "abc123"}));
    EXPECT_EQ(std::tuple(request.host, request.code, request.timeout.count(), pairPort, remotePort),
              std::tuple(QString("tv.local"), QString("abc123"), 1500, 7001, 7002));
}

// launch takes a catalogue name or an Android package; anything else would reach the TV as a
// broken store link.
TEST(CliArguments, LaunchNames)
{
    const std::pair<const char*, const char*> cases[] = { // name, package (none: a usage error)
        {"YouTube", "com.google.android.youtube.tv"}, {"Disney+", "com.disney.disneyplus"}, {"com.example.player", "com.example.player"},
        {"org.Example_2.tv9", "org.Example_2.tv9"}, {"Nonexistent App", nullptr}, {"player", nullptr}, {"com..player", nullptr},
        {"com.2example", nullptr}, {"com._example", nullptr}, {"com.example player", nullptr}, {"com.example\n", nullptr},
        {"https://example.com", nullptr},
    };
    for (const auto& [name, package] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(telvanto::cli::packageFor(QString::fromUtf8(name)), package ? std::optional(QString::fromUtf8(package)) : std::nullopt);
        EXPECT_EQ(std::holds_alternative<Request>(parse({"launch", QString::fromUtf8(name)})), package != nullptr);
    }
}
