#include "share/CommandLine.h"
#include "share/ShareFlow.h"

#include "FakeChannel.h"
#include "PairedStore.h"
#include "RecordingLog.h"
#include "RemoteTranscript.h"
#include "TvMsg.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <map>

using namespace telvanto;
using namespace telvanto::share;
using namespace telvanto::testing;
using namespace std::chrono_literals;
using State = ShareFlow::State;
namespace TvMsg = tvsim::TvMsg;

namespace {

InputItem item(std::vector<Attachment> attachments) { return {std::move(attachments)}; }
Attachment failedLoad(ItemType type) { return {{{type, std::nullopt}}}; }
Attachment nothingLoaded(ItemType type) { return {{{type, linksender::LinkSender::Item()}}}; }

const std::string noLink = "V zdieľanom obsahu nie je žiadny odkaz.";

struct Rig {
    explicit Rig(PairedStore::Items items = {}) : paired(items), channels(scheduler)
    {
        QObject::connect(&flow, &ShareFlow::stateChanged, [this] { changes.push_back(flow.state()); });
        flow.onFinish = [this] { finishedAt.push_back(scheduler.now() - start); };
    }
    FakeChannel& tv() { return channels.last(); }

    PairedStore paired;
    VirtualScheduler scheduler;
    FakeChannelFactory channels;
    RecordingLog log;
    ShareFlow flow{{paired.store, channels, scheduler, log, 6466}};
    core::TimePoint start = scheduler.now();
    std::vector<State> changes;
    std::vector<core::Duration> finishedAt;
};

} // namespace

TEST(ShareFlow, SearchesUrlsAcrossAllItemsBeforeText)
{
    const struct {
        const char* name;
        std::vector<InputItem> items;
        std::string link;
    } cases[] = {
        {"url after text wins",
         {item({Attachment::text("pozri https://text.example"), Attachment::url("https://url.example")})},
         "https://url.example"},
        {"url in a later item wins",
         {item({Attachment::text("https://text.example")}), item({Attachment::url("https://url.example")})},
         "https://url.example"},
        {"file url skipped, text supplies",
         {item({Attachment::url("file:///home/jan/a.html"), Attachment::text("https://text.example")})},
         "https://text.example"},
        {"capital scheme skipped, text supplies",
         {item({Attachment::url("HTTPS://URL.EXAMPLE"), Attachment::text("https://text.example")})},
         "https://text.example"},
        {"failed loads skipped",
         {item({failedLoad(ItemType::url), nothingLoaded(ItemType::url), failedLoad(ItemType::plainText),
                Attachment::url("https://url.example")})},
         "https://url.example"},
        {"url bytes",
         {item({Attachment::text("https://text.example"), Attachment::bytes(ItemType::url, toBytes("https://b.example"))})},
         "https://b.example"},
        {"text bytes", {item({Attachment::bytes(ItemType::plainText, toBytes("Pozri www.b.example!"))})},
         "http://www.b.example"},
        {"mail before web in text", {item({Attachment::text("jan@a.example, https://web.example")})},
         "https://web.example"},
        {"text offer of a url attachment comes second",
         {item({{{{ItemType::plainText, std::string("https://first.example")},
                  {ItemType::url, linksender::LinkSender::UrlItem{"https://second.example"}}}}})},
         "https://second.example"},
        {"nothing usable", {item({Attachment::url("mailto:jan@a.example"), Attachment::text("ahoj")})}, "-"},
        {"item without attachments", {item({})}, "-"},
        {"no items", {}, "-"},
    };
    for (const auto& c : cases) {
        const auto link = ShareFlow::findLink(c.items);
        EXPECT_EQ(link ? link->text() : "-", c.link) << c.name;
    }
}

// Each row runs one flow; the TV is played after send. onFinish runs once, 1.0 s after done.
TEST(ShareFlow, OutcomesStatesAndClosing)
{
    const auto url = [] { return std::vector<InputItem>{item({Attachment::text("a")}), item({Attachment::url("https://www.example.com/v")})}; };
    const struct {
        const char* name;
        PairedStore::Items paired;
        std::vector<InputItem> items;
        std::function<void(Rig&)> tv;
        std::string log;
        std::vector<State> changes;
        ExitStatus status;
        std::vector<core::Duration> finishedAt;
    } cases[] = {
        {"no items", {}, {}, [](Rig&) {}, "share items=0 link found=0 site=-", {State::failed(noLink)},
         ExitStatus::noLink, {}},
        {"success", {}, url(),
         [](Rig& rig) {
             rig.scheduler.advance(1s);
             rig.tv().receiveFrame(TvMsg::start(true));
         },
         "share items=2 link found=1 site=www.example.com", {State::done()}, ExitStatus::sent, {2800ms}},
        {"not paired", {true, true, nullptr}, url(), [](Rig&) {}, "share items=2 link found=1 site=www.example.com",
         {State::failed("Najprv otvor Telvanto a spáruj ho s TV.")}, ExitStatus::notPaired, {}},
        {"unreachable", {}, url(),
         [](Rig& rig) { rig.tv().close(transport::Channel::Error{transport::Channel::Error::Kind::connection, "refused"}); },
         "share items=2 link found=1 site=www.example.com",
         {State::failed("TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?")}, ExitStatus::unreachable, {}},
        {"the TV forgot us", {}, url(),
         [](Rig& rig) { rig.tv().close(transport::Channel::Error{transport::Channel::Error::Kind::tls, "refused"}); },
         "share items=2 link found=1 site=www.example.com", {State::failed("Najprv otvor Telvanto a spáruj ho s TV.")},
         ExitStatus::notPaired, {}},
        {"timeout", {}, url(), [](Rig& rig) { rig.scheduler.advance(10s); }, "share items=2 link found=1 site=www.example.com",
         {State::failed("TV neodpovedala včas, skús to znova.")}, ExitStatus::timeout, {}},
    };
    for (const auto& c : cases) {
        Rig rig(c.paired);
        rig.flow.start(c.items);
        rig.flow.start(url()); // runs once
        EXPECT_EQ(rig.log.lines.at(0), c.log) << c.name;
        c.tv(rig);
        rig.scheduler.advance(1799ms);
        EXPECT_TRUE(rig.finishedAt.empty()) << c.name;
        rig.scheduler.advance(1min);
        EXPECT_EQ(rig.changes, c.changes) << c.name;
        EXPECT_EQ(rig.flow.status().toStdString(), c.changes.at(0).kind == State::Kind::done ? "done" : "failed") << c.name;
        EXPECT_EQ(rig.flow.message().toStdString(), c.changes.at(0).message) << c.name;
        EXPECT_EQ(exitStatus(rig.flow), c.status) << c.name;
        EXPECT_EQ(rig.finishedAt, c.finishedAt) << c.name;
        EXPECT_EQ(rig.channels.opened.size(), c.paired.host && !c.items.empty() ? 1u : 0u) << c.name;
    }
    Rig sending;
    sending.flow.start(url());
    EXPECT_EQ(sending.flow.status(), "sending");
    EXPECT_EQ(exitStatus(sending.flow), ExitStatus::interrupted);
    EXPECT_NE(State::failed("a"), State::failed("b"));
}

TEST(CommandLine, ParsesOptionsAndItems)
{
    const auto parse = [](std::vector<std::string> args) -> std::string {
        const auto parsed = CommandLine::parse(args);
        if (std::holds_alternative<CommandLine::UsageError>(parsed)) return "usage error";
        const auto& line = std::get<CommandLine>(parsed);
        std::string out = std::string(line.gui ? "gui" : "no-gui") + (line.clipboard ? " clipboard" : "") +
                          (line.help ? " help" : "") + " port=" + std::to_string(line.port);
        for (const auto& item : line.items) out += " [" + item + "]";
        return out;
    };
    EXPECT_EQ(parse({}), "gui port=6466");
    EXPECT_EQ(parse({"https://a.example", "-", "a b"}), "gui port=6466 [https://a.example] [-] [a b]");
    EXPECT_EQ(parse({"--no-gui", "--clipboard", "--remote-port", "7000", "x"}), "no-gui clipboard port=7000 [x]");
    EXPECT_EQ(parse({"--remote-port=1", "--help"}), "gui help port=1");
    EXPECT_EQ(parse({"--", "--no-gui", "-x"}), "gui port=6466 [--no-gui] [-x]");
    for (const char* bad : {"--remote-port", "--remote-port=0", "--remote-port=65536", "--remote-port=80x",
                            "--remote-port=-1", "--bogus", "-x"}) {
        EXPECT_EQ(parse({bad}), "usage error") << bad;
    }
}

// Qt aborts when its platform reaches no display: the choice is made from the environment
// first, with "offscreen" as the last resort that tells there was none.
TEST(CommandLine, GuiPlatformFromTheEnvironment)
{
    const struct {
        const char* qpa;
        const char* wayland;
        const char* session;
        const char* x11;
        const char* candidates; // none: no display at all
        bool offscreenAsked = false;
    } cases[] = {
        {"", "", "", "", nullptr},
        {"", "", "wayland", "", nullptr}, // a session type alone is no display
        {"", "", "", ":0", "xcb;offscreen"},
        {"", "wayland-0", "", "", "wayland;offscreen"},
        {"", "wayland-0", "wayland", ":1", "wayland;xcb;offscreen"},
        {"", "", "wayland", ":1", "wayland;xcb;offscreen"},
        {"", "", "x11", ":1", "xcb;offscreen"},
        {"xcb", "", "", "", "xcb;offscreen"},
        {"wayland;xcb", "", "", ":0", "wayland;xcb;offscreen"},
        {"offscreen", "", "", "", "offscreen", true},
        {"offscreen:fontengine=freetype", "", "", "", "offscreen:fontengine=freetype", true},
        {"xcb;offscreen", "", "", "", "xcb;offscreen", true},
        {"xcb;offscreen:x=1", "", "", "", "xcb;offscreen:x=1", true},
        {"offscreenx", "", "", "", "offscreenx;offscreen"},
    };
    for (const auto& c : cases) {
        const std::map<std::string, std::string> env{
            {"QT_QPA_PLATFORM", c.qpa}, {"WAYLAND_DISPLAY", c.wayland}, {"XDG_SESSION_TYPE", c.session}, {"DISPLAY", c.x11}};
        const auto chosen = GuiPlatform::choose([&](const char* name) { return env.at(name); });
        const std::string row = std::string(c.qpa) + "|" + c.wayland + "|" + c.session + "|" + c.x11;
        ASSERT_EQ(chosen.has_value(), c.candidates != nullptr) << row;
        if (!chosen) continue;
        EXPECT_EQ(chosen->candidates, c.candidates) << row;
        EXPECT_EQ(chosen->offscreenAsked, c.offscreenAsked) << row;
    }
}
