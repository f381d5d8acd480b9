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
        {"status", Command::status}, {"teleport", {}}, {"", {}}, {"--host", {}}, {"--code 123456 pair", {}}, // pair's option before the command
        {"key up down center", Command::key, 3}, {"key jump", {}}, {"key", {}}, {"text", {}}, {"link not-a-link", {}}, {"pair extra", {}},
        {"status --pair-port 0", {}}, {"status --remote-port 70000", {}}, {"status --timeout 0", {}},
        // launch takes a catalogue name or an Android package; anything else would reach the TV as a broken store link
        {"launch youtube", Command::launch, 1}, {"launch org.Example_2.tv9", Command::launch, 1}, {"launch Nonexistent", {}},
        {"launch com..player", {}}, {"launch com.2example", {}}, {"launch com.example\n", {}},
        // discover waits 3 s unless told, 10 s included
        {"discover", Command::discover, 0, 3000}, {"discover --timeout 10", Command::discover, 0, 10000},
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
    EXPECT_EQ(telvanto::cli::packageFor("youtube"), QString("com.google.android.youtube.tv")) << "a catalogue name, in any case, is its package";
}
