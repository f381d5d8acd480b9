// The simulated TV, driven over real TLS by the project's own channel and encoders.
#include "protocol/Varint.h"

#include "Tvsim.h"

using namespace telvanto;
using namespace telvanto::protocol;
using namespace telvanto::testing;
using namespace std::chrono_literals;
using In = RemoteMsg::Incoming;
namespace in = RemoteMsg::in;

// A remote pairs, meets the TV's opening, drives it and gets its pings; then each fault and
// control command as a remote meets it: a remote connection is opened after the command, and
// the fault switched off again.
TEST(TvSimulator, AsARemoteMeetsIt)
{
    TvsimRig rig(true);
    tvsim::Simulator& tv = *rig.tv;
    rig.pair();

    Peer kept(tv.remotePort(), testIdentity(1), tv.publicKey(), true);
    ASSERT_TRUE(kept.gets<in::ImeBatch>());
    EXPECT_EQ(kept.remote, (std::vector<In>{in::Configure{622, "tvsim", "Telvanto"}, in::SetActive{}, in::Start{true}, in::Volume{10, 100, false},
                                            in::CurrentApp{"com.google.android.tvlauncher"}, in::ImeBatch{1, 1}}));
    const std::pair<Bytes, In> reactions[] = {
        {RemoteMsg::key(TVKey::mute), in::Volume{10, 100, true}},
        {RemoteMsg::appLink("https://www.youtube.com/watch?v=x"), in::CurrentApp{"com.google.android.youtube.tv"}},
        {RemoteMsg::key(TVKey::home), in::CurrentApp{"com.google.android.tvlauncher"}},
    };
    for (const auto& [frame, report] : reactions) EXPECT_EQ(RemoteMsg::decode(kept.ask(frame)), report);

    // Each insertion lands at the end of the field; delete takes back the last character.
    const std::pair<Bytes, const char*> typing[] = {{RemoteMsg::imeBatch("ab", 1, 1), "ab"},
                                                    {RemoteMsg::imeBatch("c 😀", 1, 1), "abc 😀"},
                                                    {RemoteMsg::key(TVKey::deleteKey), "abc "}};
    for (const auto& [frame, expected] : typing) {
        kept.channel->send(frame);
        const QString field = QString::fromUtf8(expected); // a lambda may not capture a structured binding in clang 14
        EXPECT_TRUE(waitUntil([&] { return tv.textField() == field; })) << tv.textField().toStdString();
    }
    EXPECT_TRUE(tv.runCommand("state").contains(QString::fromUtf8(R"("text":"abc ")")));
    rig.pings.advance(5s);
    EXPECT_TRUE(waitUntil([&] { return kept.got<in::Ping>(); }));

    Peer broken(tv.remotePort(), testIdentity(1), tv.publicKey(), true);
    ASSERT_TRUE(broken.gets<in::Start>());
    broken.channel->send(encodeVarint(FrameBuffer::maxFrameLength + 1));
    ASSERT_TRUE(broken.ends());
    EXPECT_EQ(RemoteMsg::decode(kept.ask(RemoteMsg::key(TVKey::volumeDown))), In{(in::Volume{9, 100, false})}) << "a broken remote loses only its own";

    const auto oldKey = tv.publicKey();
    const struct {
        const char* command;
        const char* off;
        std::function<void(Peer&)> check;
    } cases[] = {
        // A start would come before the volume; so would anything sent while silent.
        {"no-start", "no-start off", [](Peer& l) { ASSERT_TRUE(l.gets<in::SetActive>()); l.ask(RemoteMsg::key(TVKey::volumeUp));
                                               EXPECT_TRUE(l.got<in::Volume>() && !l.got<in::Start>()); }},
        {"silent", "silent off", [&](Peer& l) { // what it sent while silent would come first
             rig.received.clear(), l.channel->send(RemoteMsg::configure(615));
             ASSERT_TRUE(waitUntil([&] { return rig.received.contains("configure"); }) && tv.runCommand("silent off") == "ok");
             l.ask(RemoteMsg::configure(615)); EXPECT_TRUE(std::holds_alternative<in::SetActive>(l.remote.at(0))); }},
        {"no-pings", "no-pings off", [&](Peer& l) { // pings would come before the volume
             ASSERT_TRUE(l.gets<in::Start>()); rig.pings.advance(20s); l.ask(RemoteMsg::key(TVKey::volumeUp));
             EXPECT_TRUE(l.got<in::Volume>() && !l.got<in::Ping>()); }},
        // Frames before the end of the stream still arrive; an orderly end.
        {"close-after 2", "close-after off", [](Peer& l) { ASSERT_TRUE(l.ends()); EXPECT_EQ(l.remote.size(), 2u); EXPECT_EQ(l.said.back(), "closed"); }},
        {"close-mid-frame", "close-mid-frame off", [](Peer& l) { ASSERT_TRUE(l.ends()); EXPECT_TRUE(l.remote.empty()); }},
        // More bytes follow the oversized header: no events after it.
        {"oversized", "oversized off", [](Peer& l) { ASSERT_TRUE(l.ends()); EXPECT_TRUE(l.said.back() == "closed oversized" && l.remote.empty()); }},
        {"garbage", "garbage off", [](Peer& l) { ASSERT_TRUE(l.gets<in::Start>()); EXPECT_TRUE(std::holds_alternative<in::Other>(l.remote.front())); }},
        {"trickle", "trickle off", [](Peer& l) { EXPECT_TRUE(l.gets<in::ImeBatch>()); }},
        {"refuse", "refuse off", [](Peer& l) { ASSERT_TRUE(l.ends()); EXPECT_EQ(l.said.back(), "closed connection"); }},
        {"reject-pairing 403", "reject-pairing off", [&](Peer&) {
             Peer pairing(tv.pairingPort(), testIdentity(2), std::nullopt);
             EXPECT_EQ(PairingMsg::decode(pairing.ask(PairingMsg::request("x"))), PairingMsg::Reply{PairingMsg::reply::Failed{403}}); }},
        {"forget", nullptr, [&](Peer& l) {
             ASSERT_TRUE(l.ends() && l.said.back() == "closed tls" && !l.tls->keyBox().pinMismatch);
             rig.pair(); }},
        {"new-identity", nullptr, [&](Peer&) { Peer stranger(tv.remotePort(), testIdentity(1), oldKey); EXPECT_TRUE(stranger.ends() && stranger.tls->keyBox().pinMismatch); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_EQ(tv.runCommand(c.command), "ok");
        Peer link(tv.remotePort(), testIdentity(1), tv.publicKey(), true);
        c.check(link);
        if (c.off) { ASSERT_EQ(tv.runCommand(c.off), "ok"); }
    }
}
