#include "tv/Discovery.h"

#include "FakeMdns.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace std::chrono_literals;
using namespace telvanto::testing;
using telvanto::tv::Discovery;

// Each row: what the backend does (an address, "none": failure or no IPv4 address, +MS: time passes,
// now: 10.0.0.4 answered from inside resolve, gone: the discovery is destroyed), and what the caller got.
TEST(Discovery, EachResolutionEndsExactlyOnce)
{
    const std::pair<std::string, std::string> rows[] = {
        {"10.0.0.5 none", "10.0.0.5"}, {"+4999 10.0.0.7", "10.0.0.7"}, {"+5000 10.0.0.7", "none"},
        {"now 10.0.0.6", "10.0.0.4"}, {"gone 10.0.0.5", ""},
    };
    for (const auto& [script, expected] : rows) {
        SCOPED_TRACE(script);
        FakeMdns mdns;
        VirtualScheduler scheduler;
        if (script.starts_with("now")) mdns.answersAtOnce["TV"] = "10.0.0.4";
        auto discovery = std::make_unique<Discovery>(mdns, scheduler);
        std::string results;
        discovery->resolve("_androidtvremote2._tcp", "TV", [&](std::optional<QString> host) { results += host.value_or("none").toStdString(); });
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            if (w == "gone") discovery.reset();
            else if (w[0] == '+') scheduler.advance(std::chrono::milliseconds(std::stoi(w.substr(1))));
            else if (w != "now") mdns.answer("TV", w == "none" ? std::nullopt : std::optional(QString::fromStdString(w)));
        }
        scheduler.advance(10s);
        EXPECT_EQ(results, expected);
        EXPECT_EQ(discovery ? discovery->liveResolvers() : 0u, 0u);
        for (const auto& request : mdns.requests) EXPECT_TRUE(request->stopped) << "the backend request must be stopped";
    }
}
