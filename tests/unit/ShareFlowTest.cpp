#include "share/CommandLine.h"
#include "share/ShareFlow.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::share;
using Item = linksender::LinkSender::Item;

namespace {

InputItem item(std::vector<Attachment> attachments) { return {std::move(attachments)}; }

} // namespace

TEST(ShareFlow, SearchesUrlsAcrossAllItemsBeforeText)
{
    const Attachment failedLoads{{{ItemType::url, std::nullopt}, {ItemType::plainText, std::nullopt}}};
    const Attachment textAndUrl{{{ItemType::plainText, std::string("https://first.example")}, {ItemType::url, Item(linksender::LinkSender::UrlItem{"https://second.example"})}}};
    const struct {
        std::vector<InputItem> items;
        std::string link;
    } cases[] = {
        {{item({Attachment::text("pozri https://text.example"), Attachment::url("https://url.example")})}, "https://url.example"},
        {{item({Attachment::url("file:///home/jan/a.html"), Attachment::text("https://text.example")})}, "https://text.example"},
        {{item({failedLoads, {{{ItemType::url, Item()}}}, Attachment::url("https://url.example")})}, "https://url.example"}, // skipped
        {{item({textAndUrl})}, "https://second.example"}, // the URL offer first, whatever the order of offers
    };
    for (const auto& c : cases) {
        const auto link = ShareFlow::findLink(c.items);
        EXPECT_EQ(link ? link->text() : "-", c.link) << "row " << &c - cases;
    }
}

TEST(CommandLine, ParsesOptionsAndItems)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "gui port=6466"},
        {{"https://a.example", "-", "a b"}, "gui port=6466 [https://a.example] [-] [a b]"},
        {{"--no-gui", "--clipboard", "--remote-port", "7000", "x"}, "no-gui clipboard port=7000 [x]"},
        {{"--remote-port=1", "--help"}, "gui help port=1"},
        {{"--", "--no-gui", "-x"}, "gui port=6466 [--no-gui] [-x]"},
        {{"--remote-port"}, "usage error"}, {{"--remote-port=0"}, "usage error"}, {{"--remote-port=65536"}, "usage error"},
        {{"--remote-port=80x"}, "usage error"}, {{"--remote-port=-1"}, "usage error"}, {{"--bogus"}, "usage error"},
    };
    for (const auto& c : cases) {
        const auto parsed = CommandLine::parse(c.first);
        const auto* line = std::get_if<CommandLine>(&parsed);
        std::string out = !line ? "usage error" : std::string(line->gui ? "gui" : "no-gui") + (line->clipboard ? " clipboard" : "") +
                                                      (line->help ? " help" : "") + " port=" + std::to_string(line->port);
        for (const auto& item : line ? line->items : std::vector<std::string>{}) out += " [" + item + "]";
        EXPECT_EQ(out, c.second) << "row " << &c - cases;
    }
}

// Qt aborts when its platform reaches no display: the choice is made from the environment
// first, with "offscreen" as the last resort that tells there was none ("asked": chosen by the user).
TEST(CommandLine, GuiPlatformFromTheEnvironment)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "none"},
        {"XDG_SESSION_TYPE=wayland", "none"}, // a session type alone is no display
        {"DISPLAY=:0", "xcb;offscreen"},
        {"WAYLAND_DISPLAY=wayland-0", "wayland;offscreen"},
        {"XDG_SESSION_TYPE=wayland DISPLAY=:1", "wayland;xcb;offscreen"},
        {"QT_QPA_PLATFORM=xcb", "xcb;offscreen"},
        {"QT_QPA_PLATFORM=offscreen:fontengine=freetype", "offscreen:fontengine=freetype asked"},
        {"QT_QPA_PLATFORM=xcb;offscreen:x=1 DISPLAY=:0", "xcb;offscreen:x=1 asked"},
        {"QT_QPA_PLATFORM=offscreenx", "offscreenx;offscreen"},
    };
    for (const auto& [env, expected] : cases) {
        const auto chosen = GuiPlatform::choose([&env](const char* name) {
            const std::string all = " " + env + " ", key = " " + std::string(name) + "=";
            const auto at = all.find(key), from = at + key.size();
            return at == std::string::npos ? std::string() : all.substr(from, all.find(' ', from) - from);
        });
        EXPECT_EQ(chosen ? chosen->candidates + (chosen->offscreenAsked ? " asked" : "") : "none", expected) << env;
    }
}
