#include "share/CommandLine.h"
#include "share/ShareFlow.h"

// FakeChannel's constructor parameters shadow its members.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include "FakeChannel.h"
#pragma GCC diagnostic pop
#include "PairedStore.h"
#include "RecordingLog.h"
#include "RemoteTranscript.h"
#include "TvMsg.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

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

TEST(ShareFlow, NoItemsShowTheNoLinkMessageAtOnce)
{
    Rig rig;
    rig.flow.start({});
    EXPECT_EQ(rig.log.lines, (std::vector<std::string>{"share items=0 link found=0 site=-"}));
    EXPECT_EQ(rig.flow.state(), State::failed(noLink));
    EXPECT_EQ(rig.flow.failure(), ShareFlow::Failure::noLink);
    EXPECT_EQ(rig.flow.status(), "failed");
    EXPECT_EQ(rig.flow.message().toStdString(), noLink);
    EXPECT_TRUE(rig.channels.opened.empty());
    rig.scheduler.advance(1min);
    EXPECT_TRUE(rig.finishedAt.empty());
}

TEST(ShareFlow, SuccessShowsDoneAndClosesOneSecondLater)
{
    Rig rig;
    rig.flow.start({item({Attachment::text("a")}), item({Attachment::url("https://www.example.com/v")})});
    EXPECT_EQ(rig.log.lines.front(), "share items=2 link found=1 site=www.example.com");
    EXPECT_EQ(rig.flow.state(), State::sending());
    EXPECT_EQ(rig.flow.status(), "sending");

    rig.scheduler.advance(1s);
    rig.tv().receiveFrame(TvMsg::configure(615, "m", "v"));
    rig.tv().receiveFrame(TvMsg::start(true));
    EXPECT_EQ(transcript(rig.tv().sent),
              (std::vector<std::string>{"configure 615", "key 224 3", "appLink https://www.example.com/v"}));
    rig.scheduler.advance(800ms);
    EXPECT_EQ(rig.changes, (std::vector<State>{State::done()}));
    EXPECT_EQ(rig.flow.status(), "done");
    rig.scheduler.advance(999ms);
    EXPECT_TRUE(rig.finishedAt.empty());
    rig.scheduler.advance(1ms);
    EXPECT_EQ(rig.finishedAt, (std::vector<core::Duration>{2800ms}));
    rig.scheduler.advance(1min);
    EXPECT_EQ(rig.finishedAt.size(), 1u);
    EXPECT_EQ(exitStatus(rig.flow), ExitStatus::sent);
}

TEST(ShareFlow, SenderFailuresShowTheirTextsAndStayOpen)
{
    const struct {
        const char* name;
        PairedStore::Items items;
        std::function<void(Rig&)> tv;
        std::string message;
        ShareFlow::Failure failure;
        ExitStatus status;
    } cases[] = {
        {"not paired", {true, true, nullptr}, [](Rig&) {}, "Najprv otvor Telvanto a spáruj ho s TV.",
         ShareFlow::Failure::notPaired, ExitStatus::notPaired},
        {"unreachable", {},
         [](Rig& rig) { rig.tv().close(transport::Channel::Error{transport::Channel::Error::Kind::connection, "refused"}); },
         "TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?", ShareFlow::Failure::unreachable,
         ExitStatus::unreachable},
        {"timeout", {}, [](Rig& rig) { rig.scheduler.advance(10s); }, "TV neodpovedala včas, skús to znova.",
         ShareFlow::Failure::timeout, ExitStatus::timeout},
    };
    for (const auto& c : cases) {
        Rig rig(c.items);
        rig.flow.start({item({Attachment::url("https://a.example")})});
        c.tv(rig);
        EXPECT_EQ(rig.changes, (std::vector<State>{State::failed(c.message)})) << c.name;
        EXPECT_EQ(rig.flow.message().toStdString(), c.message) << c.name;
        EXPECT_EQ(rig.flow.failure(), c.failure) << c.name;
        EXPECT_EQ(exitStatus(rig.flow), c.status) << c.name;
        rig.scheduler.advance(1min);
        EXPECT_TRUE(rig.finishedAt.empty()) << c.name;
    }
}

TEST(ShareFlow, StartRunsOnce)
{
    Rig rig;
    rig.flow.start({});
    rig.flow.start({item({Attachment::url("https://a.example")})});
    EXPECT_EQ(rig.log.lines.size(), 1u);
    EXPECT_TRUE(rig.channels.opened.empty());
}

TEST(ShareFlow, StatesCompareByKindAndFailureMessage)
{
    EXPECT_EQ(State::sending(), State::sending());
    EXPECT_EQ(State::done(), State::done());
    EXPECT_EQ(State::failed("a"), State::failed("a"));
    EXPECT_NE(State::failed("a"), State::failed("b"));
    EXPECT_NE(State::failed(""), State::sending());
    EXPECT_NE(State::done(), State::sending());
    EXPECT_EQ((State{State::Kind::done, "ignored"}), State::done());
}

TEST(ShareFlow, ExitStatusWhileSendingIsInterrupted)
{
    Rig rig;
    rig.flow.start({item({Attachment::url("https://a.example")})});
    EXPECT_EQ(exitStatus(rig.flow), ExitStatus::interrupted);
}

TEST(CommandLine, ParsesOptionsAndItems)
{
    using Args = std::vector<std::string>;
    const struct {
        const char* name;
        Args args;
        bool gui;
        bool clipboard;
        quint16 port;
        Args items;
    } cases[] = {
        {"nothing", {}, true, false, 6466, {}},
        {"items", {"https://a.example", "-", "notes.txt"}, true, false, 6466, {"https://a.example", "-", "notes.txt"}},
        {"options", {"--no-gui", "--clipboard", "--remote-port", "7000", "x"}, false, true, 7000, {"x"}},
        {"port with equals", {"--remote-port=1"}, true, false, 1, {}},
        {"options end", {"--", "--no-gui", "-x"}, true, false, 6466, {"--no-gui", "-x"}},
    };
    for (const auto& c : cases) {
        const auto parsed = CommandLine::parse(c.args);
        ASSERT_TRUE(std::holds_alternative<CommandLine>(parsed)) << c.name;
        const auto& line = std::get<CommandLine>(parsed);
        EXPECT_EQ(line.gui, c.gui) << c.name;
        EXPECT_EQ(line.clipboard, c.clipboard) << c.name;
        EXPECT_EQ(line.port, c.port) << c.name;
        EXPECT_EQ(line.items, c.items) << c.name;
    }
    EXPECT_TRUE(std::get<CommandLine>(CommandLine::parse({"--help"})).help);

    for (const Args& bad : {Args{"--remote-port"}, Args{"--remote-port", "0"}, Args{"--remote-port", "65536"},
                            Args{"--remote-port", "80x"}, Args{"--remote-port=-1"}, Args{"--bogus"}, Args{"-x"}}) {
        EXPECT_TRUE(std::holds_alternative<CommandLine::UsageError>(CommandLine::parse(bad))) << bad.back();
    }
}
