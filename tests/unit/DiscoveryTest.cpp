#include "tv/Discovery.h"

#include "FakeMdns.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using telvanto::testing::FakeMdns;
using telvanto::testing::VirtualScheduler;
using telvanto::tv::Discovery;

namespace {
const QString type = QStringLiteral("_androidtvremote2._tcp");
}

TEST(Discovery, EachResolutionEndsExactlyOnce)
{
    using Step = std::function<void(FakeMdns&, VirtualScheduler&)>;
    const Step none = [](FakeMdns&, VirtualScheduler&) {};
    const struct {
        const char* name;
        Step steps;
        std::vector<std::optional<QString>> expected;
        std::optional<std::optional<QString>> atOnce = {}; // the backend reports inside resolve
    } cases[] = {
        {"address", [](FakeMdns& m, VirtualScheduler&) { m.answer("TV", "10.0.0.5"); }, {"10.0.0.5"}},
        {"reported twice", [](FakeMdns& m, VirtualScheduler&) { m.answer("TV", "10.0.0.5"); m.answer("TV", "10.0.0.6"); }, {"10.0.0.5"}},
        {"failure then result", [](FakeMdns& m, VirtualScheduler&) { m.answer("TV", std::nullopt); m.answer("TV", "10.0.0.6"); }, {std::nullopt}},
        {"no IPv4 address", [](FakeMdns& m, VirtualScheduler&) { m.answer("TV", std::nullopt); }, {std::nullopt}},
        {"silence until just before the limit", [](FakeMdns& m, VirtualScheduler& s) { s.advance(4999ms); m.answer("TV", "10.0.0.7"); }, {"10.0.0.7"}},
        {"silence until the limit", [](FakeMdns& m, VirtualScheduler& s) { s.advance(5000ms); m.answer("TV", "10.0.0.7"); }, {std::nullopt}},
        {"address known at once", none, {"10.0.0.4"}, std::optional<QString>("10.0.0.4")},
        {"failure known at once", none, {std::nullopt}, std::optional<QString>()},
        {"known at once, then more", [](FakeMdns& m, VirtualScheduler&) { m.answer("TV", "10.0.0.6"); }, {"10.0.0.4"}, std::optional<QString>("10.0.0.4")},
    };
    for (const auto& c : cases) {
        FakeMdns mdns;
        VirtualScheduler scheduler;
        if (c.atOnce) mdns.answersAtOnce["TV"] = *c.atOnce;
        Discovery discovery(mdns, scheduler);
        std::vector<std::optional<QString>> results;
        discovery.resolve(type, "TV", [&](std::optional<QString> host) { results.push_back(host); });
        EXPECT_EQ(discovery.liveResolvers(), c.atOnce ? 0u : 1u) << c.name;
        c.steps(mdns, scheduler);
        scheduler.advance(10s);
        EXPECT_EQ(results, c.expected) << c.name;
        EXPECT_EQ(discovery.liveResolvers(), 0u) << c.name;
        EXPECT_EQ(mdns.openRequests("TV"), 0u) << c.name << ": the backend request must be stopped";
    }
}

TEST(Discovery, NothingArrivesAfterDiscoveryIsGone)
{
    FakeMdns mdns;
    VirtualScheduler scheduler;
    int calls = 0;
    {
        Discovery discovery(mdns, scheduler);
        discovery.resolve(type, "TV", [&](std::optional<QString>) { ++calls; });
    }
    mdns.answer("TV", "10.0.0.5");
    scheduler.advance(10s);
    EXPECT_EQ(calls, 0);
}
