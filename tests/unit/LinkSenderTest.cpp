#include "linksender/LinkSender.h"

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
using namespace telvanto::linksender;
using namespace telvanto::testing;
using namespace std::chrono_literals;
using Failure = LinkSender::Failure;
using Kind = transport::Channel::Error::Kind;
namespace TvMsg = tvsim::TvMsg;

namespace {

std::string describe(const LinkSender::Result& result)
{
    if (std::holds_alternative<LinkSender::Success>(result)) return "success";
    switch (std::get<Failure>(result)) {
    case Failure::notPaired:
        return "notPaired";
    case Failure::unreachable:
        return "unreachable";
    case Failure::timeout:
        return "timeout";
    }
    return "?";
}

const WebLink sharedLink = *WebLink::parse("https://www.example.com/watch?v=42");

// A sender over a scripted TV, in virtual time.
struct Rig {
    explicit Rig(PairedStore::Items items = {}, quint16 port = LinkSender::defaultPort)
        : paired(items), channels(scheduler),
          sender(std::make_unique<LinkSender>(LinkSender::Services{paired.store, channels, scheduler, log, port}))
    {
    }

    void send(const WebLink& what = sharedLink)
    {
        sender->send(what, [this](LinkSender::Result result) {
            results.push_back(describe(result));
            at.push_back(scheduler.now() - start);
        });
    }
    FakeChannel& tv() { return channels.last(); }
    std::vector<std::string> sent() { return transcript(tv().sent); }
    void advance(core::Duration by) { scheduler.advance(by); }
    core::Duration elapsed() const { return scheduler.now() - start; }

    PairedStore paired;
    VirtualScheduler scheduler;
    FakeChannelFactory channels;
    RecordingLog log;
    std::unique_ptr<LinkSender> sender;
    core::TimePoint start = scheduler.now();
    std::vector<std::string> results;
    std::vector<core::Duration> at;
};

const std::string wakeUp = "key 224 3";
const std::string appLink = "appLink https://www.example.com/watch?v=42";

} // namespace

TEST(LinkSender, AnswersTheHandshakeWithTheFeatureMask)
{
    const struct {
        std::int64_t offered;
        std::int64_t confirmed;
    } cases[] = {
        {0, 615}, {0xFFFF, 615}, {0x1000, 0}, {615, 615}, {1, 1}, {0x267 | 0x1000, 615}, {-1, 615},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.send();
        rig.tv().receiveFrame(TvMsg::configure(c.offered, "BRAVIA", "Sony"));
        rig.tv().receiveFrame(TvMsg::setActive());
        rig.tv().receiveFrame(TvMsg::ping(7));
        rig.tv().receiveFrame(TvMsg::ping(-3));
        const auto f = std::to_string(c.confirmed);
        EXPECT_EQ(rig.sent(), (std::vector<std::string>{"configure " + f, "setActive " + f, "ping 7", "ping -3"}))
            << c.offered;
        EXPECT_TRUE(rig.results.empty());
    }
}

TEST(LinkSender, SetActiveBeforeConfigureCarriesTheDefaultMask)
{
    Rig rig;
    rig.send();
    rig.tv().receiveFrame(TvMsg::setActive());
    EXPECT_EQ(rig.sent(), (std::vector<std::string>{"setActive 615"}));
}

TEST(LinkSender, OpensOneChannelToTheStoredTVWithItsCredentials)
{
    const struct {
        quint16 port;
    } cases[] = {{LinkSender::defaultPort}, {16466}};
    for (const auto& c : cases) {
        Rig rig({}, c.port);
        rig.send();
        ASSERT_EQ(rig.channels.opened.size(), 1u);
        const FakeChannel& tv = rig.tv();
        EXPECT_EQ(tv.host(), "192.168.1.20");
        EXPECT_EQ(tv.port, c.port);
        EXPECT_TRUE(tv.started);
        ASSERT_TRUE(tv.identity);
        EXPECT_EQ(tv.identity->certificateDer, PairedStore::clientIdentity().certificateDer);
        EXPECT_EQ(tv.pinned, PairedStore::tvKey());
        EXPECT_EQ(rig.log.lines, (std::vector<std::string>{"send to www.example.com: identity=1 pin=1 tv=1"}));
    }
    EXPECT_EQ(LinkSender::defaultPort, 6466);
}

TEST(LinkSender, SendsWakeUpAndTheLinkOnceThenSucceedsAfterEightTenths)
{
    const struct {
        const char* name;
        std::vector<Bytes> script;
        std::vector<std::string> sent;
    } cases[] = {
        {"start on", {TvMsg::configure(615, "m", "v"), TvMsg::start(true)}, {"configure 615", wakeUp, appLink}},
        {"start off still sends", {TvMsg::start(false)}, {wakeUp, appLink}},
        {"two starts send once",
         {TvMsg::configure(0, "m", "v"), TvMsg::start(true), TvMsg::start(true)},
         {"configure 615", wakeUp, appLink}},
        {"noise is ignored",
         {TvMsg::volume(5, 100, false), TvMsg::currentApp("com.x"), TvMsg::imeBatch(1, 2), TvMsg::error(),
          toBytes("\x03\xff\xff\xff"), TvMsg::start(true)},
         {wakeUp, appLink}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.send();
        rig.advance(2s);
        for (const Bytes& frame : c.script) rig.tv().receiveFrame(frame);
        EXPECT_EQ(rig.sent(), c.sent) << c.name;
        rig.advance(799ms);
        EXPECT_TRUE(rig.results.empty()) << c.name;
        rig.advance(1ms);
        EXPECT_EQ(rig.results, (std::vector<std::string>{"success"})) << c.name;
        EXPECT_EQ(rig.at.at(0), 2800ms) << c.name;
        EXPECT_TRUE(rig.tv().cancelled) << c.name;
        EXPECT_TRUE(rig.tv().disposed) << c.name;
        EXPECT_EQ(rig.scheduler.pending(), 0u) << c.name; // no timer of ours left
        rig.advance(20s);
        EXPECT_EQ(rig.results.size(), 1u) << c.name;
    }
}

TEST(LinkSender, RemoteStartedIsLoggedForEveryStart)
{
    Rig rig;
    rig.send();
    rig.tv().receiveFrame(TvMsg::start(true));
    rig.tv().receiveFrame(TvMsg::start(true));
    EXPECT_EQ(rig.log.lines, (std::vector<std::string>{"send to www.example.com: identity=1 pin=1 tv=1",
                                                       "remote started, sending link", "remote started, sending link"}));
}

TEST(LinkSender, CloseAfterTheLinkIsOneSuccess)
{
    Rig rig;
    rig.send();
    rig.tv().receiveFrame(TvMsg::start(true));
    rig.advance(100ms);
    rig.tv().close(transport::Channel::Error{Kind::io, "Connection reset by peer"});
    EXPECT_EQ(rig.results, (std::vector<std::string>{"success"}));
    EXPECT_EQ(rig.at.at(0), 100ms);
    EXPECT_EQ(rig.log.lines.back(), "closed sent=1 error=io(\"Connection reset by peer\")");
    rig.advance(1s); // the 0.8 s timer
    rig.advance(10s); // the timeout
    EXPECT_EQ(rig.results.size(), 1u);
}

TEST(LinkSender, CloseBeforeTheLinkIsUnreachable)
{
    const struct {
        const char* name;
        std::optional<transport::Channel::Error> error;
        bool pinMismatch;
        bool configured;
        std::string line;
    } cases[] = {
        {"refused", transport::Channel::Error{Kind::connection, "Connection refused"}, false, false,
         "closed sent=0 error=connection(\"Connection refused\")"},
        {"pin mismatch", transport::Channel::Error{Kind::tls, "pin mismatch"}, true, false,
         "closed sent=0 error=tls(\"pin mismatch\")"},
        {"oversized frame", transport::Channel::Error{Kind::oversized, ""}, false, true,
         "closed sent=0 error=oversized(\"\")"},
        {"orderly close after configure", std::nullopt, false, true, "closed sent=0 error=none"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.send();
        if (c.configured) rig.tv().receiveFrame(TvMsg::configure(615, "m", "v"));
        rig.advance(3s);
        rig.tv().close(c.error, c.pinMismatch);
        EXPECT_EQ(rig.results, (std::vector<std::string>{"unreachable"})) << c.name;
        EXPECT_EQ(rig.log.lines.back(), c.line) << c.name;
        EXPECT_EQ(rig.scheduler.pending(), 0u) << c.name; // the timeout is gone
    }
}

TEST(LinkSender, NoStartWithinTenSecondsIsATimeoutAtTenSeconds)
{
    Rig rig;
    rig.send();
    rig.tv().ready(PairedStore::tvKey());
    rig.tv().receiveFrame(TvMsg::configure(615, "m", "v"));
    rig.advance(9999ms);
    rig.tv().receiveFrame(TvMsg::ping(1));
    EXPECT_TRUE(rig.results.empty());
    rig.advance(1ms);
    EXPECT_EQ(rig.results, (std::vector<std::string>{"timeout"}));
    EXPECT_EQ(rig.at.at(0), 10s);
    EXPECT_TRUE(rig.tv().cancelled);
    // Whatever the TV does next goes nowhere.
    rig.tv().receiveFrame(TvMsg::start(true));
    EXPECT_EQ(rig.sent(), (std::vector<std::string>{"configure 615", "ping 1"}));
    rig.advance(1min);
    EXPECT_EQ(rig.results.size(), 1u);
}

TEST(LinkSender, ALinkSentJustBeforeTheTimeoutCountsAsDelivered)
{
    Rig rig;
    rig.send();
    rig.advance(9500ms);
    rig.tv().receiveFrame(TvMsg::start(true));
    rig.advance(500ms);
    EXPECT_EQ(rig.results, (std::vector<std::string>{"success"}));
    EXPECT_EQ(rig.at.at(0), 10s);
    rig.advance(1s);
    EXPECT_EQ(rig.results.size(), 1u);
}

TEST(LinkSender, MissingCredentialsAreNotPairedAtOnceWithoutNetwork)
{
    const struct {
        const char* name;
        PairedStore::Items items;
        std::string line;
    } cases[] = {
        {"no host", {true, true, nullptr}, "identity=1 pin=1 tv=0"},
        {"empty host", {true, true, ""}, "identity=1 pin=1 tv=0"},
        {"no pin", {true, false, "tv.local"}, "identity=1 pin=0 tv=1"},
        {"no identity", {false, true, "tv.local"}, "identity=0 pin=1 tv=1"},
        {"nothing", {false, false, nullptr}, "identity=0 pin=0 tv=0"},
    };
    for (const auto& c : cases) {
        Rig rig(c.items);
        rig.send();
        EXPECT_EQ(rig.results, (std::vector<std::string>{"notPaired"})) << c.name; // before send returned
        EXPECT_TRUE(rig.channels.opened.empty()) << c.name;
        EXPECT_EQ(rig.scheduler.pending(), 0u) << c.name;
        EXPECT_EQ(rig.log.lines, (std::vector<std::string>{"send to www.example.com: " + c.line})) << c.name;
    }
}

TEST(LinkSender, UnreadableCredentialsCountAsMissing)
{
    Rig rig;
    rig.paired.store.write(identity::CredentialStore::identityItem, toBytes("-----BEGIN nonsense"));
    rig.send();
    EXPECT_EQ(rig.results, (std::vector<std::string>{"notPaired"}));
    EXPECT_TRUE(rig.channels.opened.empty());
}

TEST(LinkSender, ALinkWithoutHostStillGoesOutAndLogsADash)
{
    Rig rig;
    rig.send(*WebLink::parse("https:video"));
    rig.tv().receiveFrame(TvMsg::start(true));
    EXPECT_EQ(rig.log.lines.front(), "send to -: identity=1 pin=1 tv=1");
    EXPECT_EQ(rig.sent(), (std::vector<std::string>{wakeUp, "appLink https:video"}));
}

TEST(LinkSender, ADroppedSenderNeverReports)
{
    const struct {
        const char* name;
        bool linkSent;
    } cases[] = {{"while connecting", false}, {"after sending", true}};
    for (const auto& c : cases) {
        Rig rig;
        rig.send();
        if (c.linkSent) rig.tv().receiveFrame(TvMsg::start(true));
        rig.sender.reset();
        EXPECT_TRUE(rig.tv().disposed) << c.name;
        EXPECT_EQ(rig.scheduler.pending(), 0u) << c.name;
        rig.tv().close();
        rig.advance(1min);
        EXPECT_TRUE(rig.results.empty()) << c.name;
    }
}

TEST(LinkSender, TheOwnerMayDropTheSenderInsideItsCompletion)
{
    Rig rig;
    int calls = 0;
    rig.sender->send(sharedLink, [&](LinkSender::Result) {
        ++calls;
        rig.sender.reset();
    });
    rig.tv().receiveFrame(TvMsg::start(true));
    rig.tv().close();
    rig.advance(1min);
    EXPECT_EQ(calls, 1);
}

TEST(LinkSender, ASecondSendIsIgnored)
{
    Rig rig;
    rig.send();
    rig.send(*WebLink::parse("https://other.example"));
    EXPECT_EQ(rig.channels.opened.size(), 1u);
    rig.tv().receiveFrame(TvMsg::start(true));
    rig.advance(1s);
    EXPECT_EQ(rig.sent(), (std::vector<std::string>{wakeUp, appLink}));
    EXPECT_EQ(rig.results, (std::vector<std::string>{"success"}));
}

TEST(LinkSender, FailureTextsAreTheSlovakOnes)
{
    EXPECT_EQ(LinkSender::description(Failure::notPaired), "Najprv otvor Telvanto a spáruj ho s TV.");
    EXPECT_EQ(LinkSender::description(Failure::unreachable), "TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?");
    EXPECT_EQ(LinkSender::description(Failure::timeout), "TV neodpovedala včas, skús to znova.");
}
