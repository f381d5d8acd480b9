#include "RemoteCli.h"

#include <gtest/gtest.h>

using telvanto::cli::packageFor;
using telvanto::cli::parseArguments;
using telvanto::cli::Request;

TEST(CliArguments, Table)
{
    const struct {
        const char* line;
        bool valid;
        Request::Command command = Request::Command::status;
        int args = 0;
        int timeoutMs = 10000;
    } cases[] = {
        {"status", true, Request::Command::status},
        {"status --json", true, Request::Command::status},
        {"--host 10.0.0.5 status", true, Request::Command::status},
        {"key up down center", true, Request::Command::key, 3},
        {"key delete volumeUp wakeUp", true, Request::Command::key, 3},
        {"key jump", false},
        {"key", false},
        {"text", false},
        {"text ahoj", true, Request::Command::text, 1},
        {"launch YouTube", true, Request::Command::launch, 1},
        {"link https://example.com/a?b=c", true, Request::Command::link, 1},
        {"link not-a-link", false},
        {"pair --code 1A2B3C", true, Request::Command::pair},
        {"pair extra", false},
        {"--code 123456 pair", false}, // pair's option before the command
        {"status --pair-port 0", false},
        {"status --remote-port 70000", false},
        {"status --timeout 0", false},
        {"status --timeout 2.5", true, Request::Command::status, 0, 2500},
        {"--host", false},
        {"teleport", false},
        {"", false},
        {"watch", true, Request::Command::watch},
        {"discover --timeout 3", true, Request::Command::discover, 0, 3000},
        {"discover", true, Request::Command::discover, 0, 3000},
        {"discover --timeout 10", true, Request::Command::discover, 0, 10000}, // not the default taken for none
        {"--timeout 0.5 discover", true, Request::Command::discover, 0, 500},
        {"launch com.example.player", true, Request::Command::launch, 1},
        {"launch netflix", true, Request::Command::launch, 1},
        {"launch Nonexistent", false},
    };
    for (const auto& c : cases) {
        quint16 pairPort = 6467, remotePort = 6466;
        const QStringList args = QString::fromLatin1(c.line).split(' ', Qt::SkipEmptyParts);
        const auto parsed = parseArguments(args, &pairPort, &remotePort);
        const auto* request = std::get_if<Request>(&parsed);
        ASSERT_EQ(request != nullptr, c.valid) << c.line << ": " << (request ? "" : std::get<QString>(parsed).toStdString());
        if (request) {
            EXPECT_EQ(request->command, c.command) << c.line;
            EXPECT_EQ(request->args.size(), c.args) << c.line;
            EXPECT_EQ(request->timeout.count(), c.timeoutMs) << c.line;
        }
    }
}

TEST(CliArguments, OptionsTakeEffect)
{
    quint16 pairPort = 6467, remotePort = 6466;
    const auto parsed = parseArguments({"--host", "tv.local", "--pair-port", "7001", "--remote-port", "7002", "--timeout", "1.5",
                                        "pair", "--code", "abc123"},
                                       &pairPort, &remotePort);
    const auto& request = std::get<Request>(parsed);
    EXPECT_EQ(request.host, QString("tv.local"));
    EXPECT_EQ(request.code, QString("abc123"));
    EXPECT_EQ(request.timeout.count(), 1500);
    EXPECT_EQ(pairPort, 7001);
    EXPECT_EQ(remotePort, 7002);
}

// launch takes a catalogue name or an Android package; anything else would reach the TV as a
// broken store link.
TEST(CliArguments, LaunchNames)
{
    const struct {
        const char* name;
        const char* package; // none: a usage error
    } cases[] = {
        {"YouTube", "com.google.android.youtube.tv"},
        {"Disney+", "com.disney.disneyplus"},
        {"com.example.player", "com.example.player"},
        {"org.Example_2.tv9", "org.Example_2.tv9"},
        {"Nonexistent App", nullptr},
        {"player", nullptr},
        {"com..player", nullptr},
        {"com.2example", nullptr},
        {"com._example", nullptr},
        {"com.example player", nullptr},
        {"com.example\n", nullptr},
        {"https://example.com", nullptr},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        EXPECT_EQ(packageFor(name), c.package ? std::optional<QString>(QString::fromUtf8(c.package)) : std::nullopt) << c.name;
        quint16 pairPort = 6467, remotePort = 6466;
        const auto parsed = parseArguments({"launch", name}, &pairPort, &remotePort);
        EXPECT_EQ(std::holds_alternative<Request>(parsed), c.package != nullptr) << c.name;
    }
}
