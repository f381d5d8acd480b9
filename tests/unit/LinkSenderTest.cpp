// The link sender as the share flow drives it, over a scripted TV in virtual time.
#include "linksender/LinkSender.h"
#include "share/CommandLine.h"

#include "RemoteTranscript.h"
#include "ShareRig.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::linksender;
using namespace telvanto::share;
using namespace telvanto::testing;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

const std::string notPaired = "Najprv otvor Telvanto a spáruj ho s TV.";
const std::string unreachable = "TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?";
const std::string timeout = "TV neodpovedala včas, skús to znova.";
const std::string wakeUp = "key 224 3";
const Lines sentLink{wakeUp, "appLink https://www.example.com/watch?v=42"};

} // namespace

// Each row plays the TV; exactly one outcome follows, at its time, and a success asks to close
// the sheet 1 s later. The feature mask confirmed is the TV's AND 615, or 615 for none.
TEST(LinkSender, OneOutcomePerSend)
{
    const struct {
        const char* script;
        Lines sent;
        Lines events;
        int exit;
        std::string lastLine;
    } cases[] = {
        {"2000 conf start", {"configure 615", sentLink[0], sentLink[1]}, {"done@2800", "close@3800"}, 0, "remote started, sending link"},
        {"1000 off 1500 start", sentLink, {"done@1800", "close@2800"}, 0, "remote started, sending link"}, // once
        {"1000 noise start", sentLink, {"done@1800", "close@2800"}, 0, "remote started, sending link"},
        {"1000 start 1100 close:io", sentLink, {"done@1100", "close@2100"}, 0, "closed sent=1 error=io(\"io\")"},
        {"3000 close:conn", {}, {unreachable + "@3000"}, 3, "closed sent=0 error=connection(\"conn\")"},
        {"1000 close:tls", {}, {notPaired + "@1000"}, 2, "closed sent=0 error=tls(\"tls\")"}, // forgot us, or another TV
        {"1000 close:big", {}, {unreachable + "@1000"}, 3, "closed sent=0 error=oversized(\"big\")"},
        {"0 conf=0 1000 close", {"configure 615"}, {unreachable + "@1000"}, 3, "closed sent=0 error=none"},
        {"0 active conf=65535 active ping=-3", {"setActive 615", "configure 615", "setActive 615", "ping -3"}, {timeout + "@10000"}, 4,
         "send to www.example.com: identity=1 pin=1 tv=1"},
        {"0 conf=4096 active 9999 ping=1", {"configure 0", "setActive 0", "ping 1"}, {timeout + "@10000"}, 4,
         "send to www.example.com: identity=1 pin=1 tv=1"},
        {"9500 start", sentLink, {"done@10300", "close@11300"}, 0, "remote started, sending link"},
        {"9500 start 10100 close", sentLink, {"done@10100", "close@11100"}, 0, "closed sent=1 error=none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        ShareRig rig;
        rig.play(std::string("share ") + c.script);
        rig.scheduler.advance(1min);
        rig.play("start ping=9"); // too late: goes nowhere
        EXPECT_EQ(rig.events, c.events);
        EXPECT_EQ(static_cast<int>(exitStatus(rig.flow)), c.exit);
        EXPECT_EQ(transcript(rig.tv().sent), c.sent);
        EXPECT_EQ(rig.log.lines.back(), c.lastLine);
        EXPECT_TRUE(rig.tv().disposed);
        EXPECT_EQ(rig.tv().cancelled, c.exit != 0); // a sent link is left to go out, the rest is cut off
        EXPECT_EQ(rig.scheduler.pending(), 0u);
    }
    using State = ShareFlow::State;
    EXPECT_TRUE(State::done() == State::done() && State::failed("a") == State::failed("a") && State::failed("a") != State::failed("b"));
}

// What is stored decides whether a connection is tried at all; without a link nothing is.
TEST(LinkSender, StartsOnlyWithStoredCredentialsAndALink)
{
    const std::string shared = "share items=1 link found=1 site=www.example.com";
    const std::string sendTo = "send to www.example.com: identity=";
    const struct {
        PairedStore::Items stored;
        const char* script;
        Lines log;
        std::string shown;
        int exit;
    } cases[] = {
        {{true, true, nullptr}, "share", {shared, sendTo + "1 pin=1 tv=0"}, notPaired, 2},
        {{true, true, ""}, "share", {shared, sendTo + "1 pin=1 tv=0"}, notPaired, 2},
        {{true, false, "tv.local"}, "share", {shared, sendTo + "1 pin=0 tv=1"}, notPaired, 2},
        {{false, true, "tv.local"}, "share", {shared, sendTo + "0 pin=1 tv=1"}, notPaired, 2},
        {{}, "nothing", {"share items=0 link found=0 site=-"}, "V zdieľanom obsahu nie je žiadny odkaz.", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log.back());
        ShareRig rig(c.stored);
        rig.play(c.script);
        EXPECT_EQ(rig.events, (Lines{c.shown + "@0"})); // before start returned
        rig.play("share=https://second.example");        // a flow runs once
        EXPECT_EQ(rig.log.lines, c.log);
        EXPECT_EQ(static_cast<int>(exitStatus(rig.flow)), c.exit);
        EXPECT_TRUE(rig.channels.opened.empty());
        EXPECT_EQ(rig.scheduler.pending(), 0u);
    }
    ShareRig rig; // a link without a host goes out too, with what was stored
    rig.play("share=https:video start");
    EXPECT_EQ(rig.log.lines, (Lines{"share items=1 link found=1 site=-", "send to -: identity=1 pin=1 tv=1", "remote started, sending link"}));
    EXPECT_TRUE(rig.tv().started && rig.tv().host() == "192.168.1.20" && rig.tv().port == 16466);
    EXPECT_EQ(rig.tv().identity->certificateDer, PairedStore::clientIdentity().certificateDer);
    EXPECT_EQ(rig.tv().pinned, PairedStore::tvKey());
    EXPECT_EQ(transcript(rig.tv().sent), (Lines{wakeUp, "appLink https:video"}));
    EXPECT_EQ(static_cast<int>(exitStatus(rig.flow)), 5); // still sending
}

// The owner may let go of a sender at any time, even from inside its completion; a sender
// serves one link.
TEST(LinkSender, ADroppedSenderStaysSilent)
{
    for (const bool inCompletion : {false, true}) {
        ShareRig rig;
        auto sender = std::make_unique<LinkSender>(rig.services());
        int calls = 0;
        sender->send(*WebLink::parse("https://a.example"), [&](LinkSender::Result) { ++calls, sender.reset(); });
        sender->send(*WebLink::parse("https://b.example"), [&](LinkSender::Result) { ++calls; });
        rig.play("start");
        if (!inCompletion) sender.reset();
        rig.play("close 60000");
        EXPECT_EQ(calls, inCompletion ? 1 : 0);
        EXPECT_EQ(transcript(rig.tv().sent), (Lines{wakeUp, "appLink https://a.example"}));
        EXPECT_TRUE(rig.tv().disposed);
        EXPECT_EQ(rig.scheduler.pending(), 0u);
    }
}
