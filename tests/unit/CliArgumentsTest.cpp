#include "RemoteCli.h"

#include <gtest/gtest.h>

using telvanto::cli::Request;
using Command = Request::Command;

TEST(CliArguments, Table)
{
    const struct {
        const char* line;
        std::optional<Command> command; // none: a usage error
        int args = 0;
        int timeoutMs = 10000;
    } cases[] = {
        {"status", Command::status},
        {"status --json", Command::status},
        {"--host 10.0.0.5 status", Command::status},
        {"key up down center", Command::key, 3},
        {"key delete volumeUp wakeUp", Command::key, 3},
        {"key jump", {}},
        {"key", {}},
        {"text", {}},
        {"text ahoj", Command::text, 1},
        {"link https://example.com/a?b=c", Command::link, 1},
        {"link not-a-link", {}},
        {"pair --code 1A2B3C", Command::pair},
        {"pair extra", {}},
        {"--code 123456 pair", {}}, // pair's option before the command
        {"status --pair-port 0", {}},
        {"status --remote-port 70000", {}},
        {"status --timeout 0", {}},
        {"status --timeout 2.5", Command::status, 0, 2500},
        {"--host", {}},
        {"teleport", {}},
        {"", {}},
        {"watch", Command::watch},
        {"discover --timeout 3", Command::discover, 0, 3000},
        {"discover", Command::discover, 0, 3000},
        {"discover --timeout 10", Command::discover, 0, 10000}, // not the default taken for none
        {"--timeout 0.5 discover", Command::discover, 0, 500},
        {"launch netflix", Command::launch, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        quint16 pairPort = 6467, remotePort = 6466;
        const auto parsed = telvanto::cli::parseArguments(QString::fromLatin1(c.line).split(' ', Qt::SkipEmptyParts), &pairPort, &remotePort);
        const auto* request = std::get_if<Request>(&parsed);
        ASSERT_EQ(request ? std::optional(request->command) : std::nullopt, c.command);
        if (!request) continue;
        EXPECT_EQ(request->args.size(), c.args);
        EXPECT_EQ(request->timeout.count(), c.timeoutMs);
    }
    quint16 pairPort = 6467, remotePort = 6466;
    const auto request = std::get<Request>(telvanto::cli::parseArguments(
        {"--host", "tv.local", "--pair-port", "7001", "--remote-port", "7002", "--timeout", "1.5", "pair", "--code", "abc123"}, &pairPort, &remotePort));
    EXPECT_EQ(std::tuple(request.host, request.code, request.timeout.count(), pairPort, remotePort),
              std::tuple(QString("tv.local"), QString("abc123"), 1500, 7001, 7002));
}

// launch takes a catalogue name or an Android package; anything else would reach the TV as a
// broken store link.
TEST(CliArguments, LaunchNames)
{
    const struct {
        const char* name;
        const char* package; // none: a usage error
    } cases[] = {
        {"YouTube", "com.google.android.youtube.tv"}, {"Disney+", "com.disney.disneyplus"}, {"com.example.player", "com.example.player"},
        {"org.Example_2.tv9", "org.Example_2.tv9"}, {"Nonexistent App", nullptr}, {"player", nullptr}, {"com..player", nullptr},
        {"com.2example", nullptr}, {"com._example", nullptr}, {"com.example player", nullptr}, {"com.example\n", nullptr},
        {"https://example.com", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromUtf8(c.name);
        EXPECT_EQ(telvanto::cli::packageFor(name), c.package ? std::optional(QString::fromUtf8(c.package)) : std::nullopt);
        quint16 pairPort = 6467, remotePort = 6466;
        EXPECT_EQ(std::holds_alternative<Request>(telvanto::cli::parseArguments({"launch", name}, &pairPort, &remotePort)), c.package != nullptr);
    }
}
