#include "linksender/LinkSender.h"

#include "FakeChannel.h"
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
using Error = transport::Channel::Error;
namespace TvMsg = tvsim::TvMsg;

namespace {

std::string describe(const LinkSender::Result& result)
{
    if (std::holds_alternative<LinkSender::Success>(result)) return "success";
    return std::string(LinkSender::description(std::get<LinkSender::Failure>(result)));
}

const std::string notPaired = "Najprv otvor Telvanto a spáruj ho s TV.";
const std::string unreachable = "TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?";
const std::string timeout = "TV neodpovedala včas, skús to znova.";
const std::string wakeUp = "key 224 3";
const std::string appLink = "appLink https://www.example.com/watch?v=42";

// A sender over a scripted TV, in virtual time.
struct Rig {
    explicit Rig(PairedStore::Items items = {}, quint16 port = LinkSender::defaultPort)
        : paired(items), channels(scheduler),
          sender(std::make_unique<LinkSender>(LinkSender::Services{paired.store, channels, scheduler, log, port}))
    {
    }
    void send(const char* link = "https://www.example.com/watch?v=42")
    {
        sender->send(*WebLink::parse(link), [this](LinkSender::Result result) {
            results.push_back(describe(result));
            at.push_back(scheduler.now() - start);
        });
    }
    FakeChannel& tv() { return channels.last(); }
    void advanceTo(core::Duration sinceStart)
    {
        if (start + sinceStart > scheduler.now()) scheduler.advance(start + sinceStart - scheduler.now());
    }

    PairedStore paired;
    VirtualScheduler scheduler;
    FakeChannelFactory channels;
    RecordingLog log;
    std::unique_ptr<LinkSender> sender;
    core::TimePoint start = scheduler.now();
    std::vector<std::string> results;
    std::vector<core::Duration> at;
};

using Play = std::function<void(FakeChannel&)>;
Play frames(std::vector<Bytes> list)
{
    return [list](FakeChannel& tv) {
        for (const Bytes& frame : list) tv.receiveFrame(frame);
    };
}
Play closing(std::optional<Error> error, bool pinMismatch = false)
{
    return [=](FakeChannel& tv) { tv.close(error, pinMismatch); };
}

} // namespace

TEST(LinkSender, ConfirmsTheFeatureMaskAndAnswersTheTV)
{
    const struct {
        std::int64_t offered;
        std::string confirmed;
    } cases[] = {{0, "615"}, {0xFFFF, "615"}, {0x1000, "0"}, {1, "1"}, {0x267 | 0x1000, "615"}, {-1, "615"}};
    for (const auto& c : cases) {
        Rig rig;
        rig.send();
        frames({TvMsg::setActive(), TvMsg::configure(c.offered, "m", "v"), TvMsg::setActive(), TvMsg::ping(-3)})(rig.tv());
        EXPECT_EQ(transcript(rig.tv().sent),
                  (std::vector<std::string>{"setActive 615", "configure " + c.confirmed, "setActive " + c.confirmed, "ping -3"}))
            << c.offered;
    }
}

// Each row plays the TV at given instants after send; exactly one result must follow, at its time.
TEST(LinkSender, OneOutcomePerSend)
{
    const struct {
        const char* name;
        std::vector<std::pair<core::Duration, Play>> script;
        std::vector<std::string> sent;
        std::string result;
        core::Duration at;
        std::string lastLine;
    } cases[] = {
        {"success 0.8 s after start", {{2s, frames({TvMsg::configure(615, "m", "v"), TvMsg::start(true)})}},
         {"configure 615", wakeUp, appLink}, "success", 2800ms, "remote started, sending link"},
        {"start off sends too, once",
         {{1s, frames({TvMsg::start(false)})}, {1500ms, frames({TvMsg::start(true)})}}, {wakeUp, appLink}, "success",
         1800ms, "remote started, sending link"},
        {"noise ignored",
         {{1s, frames({TvMsg::volume(5, 100, false), TvMsg::currentApp("x"), TvMsg::imeBatch(1, 2), TvMsg::error(),
                       toBytes("\x03\xff\xff\xff"), TvMsg::start(true)})}},
         {wakeUp, appLink}, "success", 1800ms, "remote started, sending link"},
        {"TV closes 0.1 s after the link", {{1s, frames({TvMsg::start(true)})}, {1100ms, closing(Error{Error::Kind::io, "reset"})}},
         {wakeUp, appLink}, "success", 1100ms, "closed sent=1 error=io(\"reset\")"},
        {"refused", {{3s, closing(Error{Error::Kind::connection, "Connection refused"})}}, {}, unreachable, 3s,
         "closed sent=0 error=connection(\"Connection refused\")"},
        {"pin mismatch: another TV", {{1s, closing(Error{Error::Kind::tls, "pin"}, true)}}, {}, notPaired, 1s,
         "closed sent=0 error=tls(\"pin\")"},
        {"the TV refuses our certificate", {{1s, closing(Error{Error::Kind::tls, "ended after the handshake"})}}, {}, notPaired,
         1s, "closed sent=0 error=tls(\"ended after the handshake\")"},
        {"broken frame", {{1s, closing(Error{Error::Kind::oversized, "frame too large"})}}, {}, unreachable, 1s,
         "closed sent=0 error=oversized(\"frame too large\")"},
        {"orderly close before start", {{0s, frames({TvMsg::configure(0, "m", "v")})}, {1s, closing(std::nullopt)}},
         {"configure 615"}, unreachable, 1s, "closed sent=0 error=none"},
        {"no start: timeout at 10 s, not before",
         {{0s, frames({TvMsg::configure(615, "m", "v")})}, {9999ms, frames({TvMsg::ping(1)})}},
         {"configure 615", "ping 1"}, timeout, 10s, "send to www.example.com: identity=1 pin=1 tv=1"},
        {"link out at 9.5 s still gets its 0.8 s", {{9500ms, frames({TvMsg::start(true)})}}, {wakeUp, appLink}, "success",
         10300ms, "remote started, sending link"},
        {"TV closes after the late link", {{9500ms, frames({TvMsg::start(true)})}, {10100ms, closing(std::nullopt)}},
         {wakeUp, appLink}, "success", 10100ms, "closed sent=1 error=none"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.send();
        for (const auto& [when, play] : c.script) {
            rig.advanceTo(when);
            EXPECT_TRUE(rig.results.empty()) << c.name;
            play(rig.tv());
        }
        rig.advanceTo(c.at - 1ms);
        EXPECT_EQ(rig.results.empty(), rig.scheduler.now() < rig.start + c.at) << c.name;
        rig.scheduler.advance(1min);
        frames({TvMsg::start(true), TvMsg::ping(9)})(rig.tv()); // too late: goes nowhere
        EXPECT_EQ(rig.results, (std::vector<std::string>{c.result})) << c.name;
        EXPECT_EQ(rig.at, (std::vector<core::Duration>{c.at})) << c.name;
        EXPECT_EQ(transcript(rig.tv().sent), c.sent) << c.name;
        EXPECT_EQ(rig.log.lines.back(), c.lastLine) << c.name;
        EXPECT_TRUE(rig.tv().disposed) << c.name;
        // Cancelling drops what is still buffered; a sent link is left to go out.
        EXPECT_EQ(rig.tv().cancelled, c.result != "success") << c.name;
        EXPECT_EQ(rig.scheduler.pending(), 0u) << c.name;
    }
}

TEST(LinkSender, ConnectsWithTheStoredCredentialsOrReportsNotPairedWithoutNetwork)
{
    const struct {
        const char* name;
        PairedStore::Items items;
        quint16 port;
        std::string flags;
    } cases[] = {
        {"paired", {}, 6466, "identity=1 pin=1 tv=1"},
        {"paired, other port", {}, 16466, "identity=1 pin=1 tv=1"},
        {"no host", {true, true, nullptr}, 6466, "identity=1 pin=1 tv=0"},
        {"empty host", {true, true, ""}, 6466, "identity=1 pin=1 tv=0"},
        {"no pin", {true, false, "tv.local"}, 6466, "identity=1 pin=0 tv=1"},
        {"no identity", {false, true, "tv.local"}, 6466, "identity=0 pin=1 tv=1"},
        {"nothing", {false, false, nullptr}, 6466, "identity=0 pin=0 tv=0"},
    };
    for (const auto& c : cases) {
        Rig rig(c.items, c.port);
        rig.send();
        EXPECT_EQ(rig.log.lines, (std::vector<std::string>{"send to www.example.com: " + c.flags})) << c.name;
        if (c.flags != "identity=1 pin=1 tv=1") {
            EXPECT_EQ(rig.results, (std::vector<std::string>{notPaired})) << c.name; // before send returned
            EXPECT_TRUE(rig.channels.opened.empty()) << c.name;
            EXPECT_EQ(rig.scheduler.pending(), 0u) << c.name;
            continue;
        }
        ASSERT_EQ(rig.channels.opened.size(), 1u) << c.name;
        EXPECT_TRUE(rig.tv().started);
        EXPECT_EQ(rig.tv().host(), "192.168.1.20");
        EXPECT_EQ(rig.tv().port, c.port);
        EXPECT_EQ(rig.tv().identity->certificateDer, PairedStore::clientIdentity().certificateDer);
        EXPECT_EQ(rig.tv().pinned, PairedStore::tvKey());
    }
    Rig garbled;
    garbled.paired.store.write(identity::CredentialStore::identityItem, toBytes("-----BEGIN nonsense"));
    garbled.send();
    EXPECT_EQ(garbled.results, (std::vector<std::string>{notPaired}));
}

TEST(LinkSender, HostlessLinksGoOutAndSecondSendsAreIgnored)
{
    Rig rig;
    rig.send("https:video");
    rig.send();
    EXPECT_EQ(rig.channels.opened.size(), 1u);
    rig.tv().receiveFrame(TvMsg::start(true));
    EXPECT_EQ(rig.log.lines.front(), "send to -: identity=1 pin=1 tv=1");
    EXPECT_EQ(transcript(rig.tv().sent), (std::vector<std::string>{wakeUp, "appLink https:video"}));
}

TEST(LinkSender, ADroppedSenderStaysSilent)
{
    for (const bool inCompletion : {false, true}) {
        Rig rig;
        int calls = 0;
        rig.sender->send(*WebLink::parse("https://a.example"), [&](LinkSender::Result) {
            ++calls;
            rig.sender.reset(); // the owner lets go from inside the completion
        });
        rig.tv().receiveFrame(TvMsg::start(true));
        if (!inCompletion) rig.sender.reset();
        rig.tv().close();
        rig.scheduler.advance(1min);
        EXPECT_EQ(calls, inCompletion ? 1 : 0);
        EXPECT_TRUE(rig.tv().disposed);
        EXPECT_EQ(rig.scheduler.pending(), 0u);
    }
}
