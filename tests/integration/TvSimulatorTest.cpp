// The simulated TV, driven over real TLS by the project's own channel and encoders.
#include "protocol/RemoteMsg.h"
#include "protocol/Varint.h"

#include "TestIdentities.h"
#include "Tvsim.h"

using namespace telvanto;
using namespace telvanto::protocol;
using namespace std::chrono_literals;
using telvanto::testing::pairWithTvsim;
using telvanto::testing::testIdentity;
using telvanto::testing::waitUntil;
using Kind = transport::Channel::Error::Kind;
using In = RemoteMsg::Incoming;
namespace in = RemoteMsg::in;

namespace {

const PairingMsg::Reply accepted = PairingMsg::reply::SecretAck{};

// A connection to one of the TV's ports, recording what arrives; it answers the TV's
// configure, setActive and pings as a remote does.
struct Link {
    Link(quint16 port, int identity, std::optional<identity::RSAPublicKey> pin)
        : channel(new transport::TLSChannel("127.0.0.1", port, testIdentity(identity), std::move(pin), scheduler))
    {
        channel->onEvent = [this](const transport::Channel::Event& e) {
            const auto* c = std::get_if<transport::Channel::Closed>(&e);
            if (c) error = c->error;
            closed = closed || c;
            ready = ready || std::holds_alternative<transport::Channel::Ready>(e);
            const auto* m = std::get_if<transport::Channel::Message>(&e);
            if (!m) return;
            remote.push_back(RemoteMsg::decode(m->payload));
            pairing.push_back(PairingMsg::decode(m->payload));
            if (std::holds_alternative<in::Configure>(remote.back())) channel->send(RemoteMsg::configure(615));
            if (std::holds_alternative<in::SetActive>(remote.back())) channel->send(RemoteMsg::setActive(615));
            if (const auto* p = std::get_if<in::Ping>(&remote.back())) channel->send(RemoteMsg::pingResponse(p->value));
        };
        channel->start();
    }
    template <class T> bool got() const
    {
        return std::any_of(remote.begin(), remote.end(), [](const In& m) { return std::holds_alternative<T>(m); });
    }
    bool ends() { return waitUntil([&] { return closed; }); }
    template <class T> bool gets() { return waitUntil([&] { return got<T>() || closed; }) && got<T>(); }
    // Sends a frame and returns the TV's next message.
    std::optional<In> ask(const Bytes& frame)
    {
        const std::size_t before = remote.size();
        channel->send(frame);
        if (!waitUntil([&] { return remote.size() > before || closed; }) || remote.size() == before) return std::nullopt;
        return remote[before];
    }

    static inline transport::QtScheduler scheduler;
    transport::ChannelPtr channel;
    std::vector<In> remote;
    std::vector<PairingMsg::Reply> pairing;
    bool ready = false, closed = false;
    std::optional<transport::Channel::Error> error;
};

} // namespace

TEST(TvSimulator, PairingThenTheRemoteDialogue)
{
    telvanto::testing::TvsimRig rig(true);
    tvsim::Simulator& tv = *rig.tv;
    Link unpaired(tv.remotePort(), 1, tv.publicKey());
    ASSERT_TRUE(waitUntil([&] { return unpaired.closed; }));
    EXPECT_TRUE(unpaired.remote.empty());
    EXPECT_EQ(unpaired.error->kind, Kind::tls) << "refused during the handshake";

    EXPECT_EQ(pairWithTvsim(tv, testIdentity(1), true), PairingMsg::Reply{PairingMsg::reply::Failed{402}});
    EXPECT_EQ(tv.pairedClients(), 0);
    EXPECT_EQ(pairWithTvsim(tv, testIdentity(1)), accepted);
    EXPECT_EQ(tv.pairedClients(), 1);

    Link link(tv.remotePort(), 1, tv.publicKey());
    ASSERT_TRUE(waitUntil([&] { return link.got<in::ImeBatch>() || link.closed; }));
    ASSERT_EQ(link.remote.size(), 6u);
    EXPECT_TRUE(std::holds_alternative<in::Configure>(link.remote[0]) && std::holds_alternative<in::SetActive>(link.remote[1]));
    EXPECT_EQ(std::vector<In>(link.remote.begin() + 2, link.remote.end() - 1),
              (std::vector<In>{in::Start{true}, in::Volume{10, 100, false}, in::CurrentApp{"com.google.android.tvlauncher"}}));
    const struct {
        Bytes frame;
        In report;
    } reactions[] = {
        {RemoteMsg::key(TVKey::volumeUp), in::Volume{11, 100, false}},
        {RemoteMsg::key(TVKey::mute), in::Volume{11, 100, true}},
        {RemoteMsg::appLink("market://launch?id=com.example.tv"), in::CurrentApp{"com.example.tv"}},
        {RemoteMsg::appLink("https://www.youtube.com/watch?v=x"), in::CurrentApp{"com.google.android.youtube.tv"}},
        {RemoteMsg::key(TVKey::home), in::CurrentApp{"com.google.android.tvlauncher"}},
        {RemoteMsg::key(TVKey::power), in::Start{false}},
        {RemoteMsg::key(TVKey::wakeUp), in::Start{true}},
    };
    for (const auto& r : reactions) EXPECT_EQ(link.ask(r.frame), r.report);

    link.channel->send(RemoteMsg::imeBatch("ahoj 😀", 1, 1));
    link.channel->send(RemoteMsg::key(TVKey::deleteKey));
    EXPECT_TRUE(waitUntil([&] { return tv.textField() == QString::fromUtf8("ahoj "); }));
    rig.pings.advance(5s);
    EXPECT_TRUE(waitUntil([&] { return link.got<in::Ping>(); }));
}

// Each fault and control command as a remote meets it; a remote connection is opened after
// the command, and the fault switched off again.
TEST(TvSimulator, FaultsAsTheRemoteSeesThem)
{
    telvanto::testing::TvsimRig rig(true);
    tvsim::Simulator& tv = *rig.tv;
    ASSERT_EQ(pairWithTvsim(tv, testIdentity(1)), accepted);
    Link kept(tv.remotePort(), 1, tv.publicKey());
    ASSERT_TRUE(waitUntil([&] { return kept.got<in::Start>(); }));
    {
        Link broken(tv.remotePort(), 1, tv.publicKey());
        ASSERT_TRUE(waitUntil([&] { return broken.got<in::Start>(); }));
        broken.channel->send(encodeVarint(FrameBuffer::maxFrameLength + 1));
        ASSERT_TRUE(waitUntil([&] { return broken.closed; }));
        EXPECT_EQ(kept.ask(RemoteMsg::key(TVKey::volumeDown)), In{(in::Volume{9, 100, false})}) << "a broken remote loses only its own";
    }
    const auto oldKey = tv.publicKey();
    const struct {
        const char* command;
        const char* off;
        std::function<void(Link&)> check;
    } cases[] = {
        {"restart", nullptr, [&](Link& l) { EXPECT_TRUE(kept.ends()); EXPECT_TRUE(l.gets<in::Start>()) << "paired remotes survive a restart"; }},
        {"no-start", "no-start off", [](Link& l) { // a start would come before the volume
             ASSERT_TRUE(l.gets<in::SetActive>() && l.ask(RemoteMsg::key(TVKey::volumeUp)));
             EXPECT_FALSE(l.got<in::Start>());
         }},
        {"silent", "silent off", [](Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.ready; }));
             waitUntil([] { return false; }, 100ms);
             EXPECT_TRUE(l.remote.empty());
         }},
        {"no-pings", "no-pings off", [&](Link& l) { // pings would come before the volume
             ASSERT_TRUE(l.gets<in::Start>());
             rig.pings.advance(20s);
             ASSERT_TRUE(l.ask(RemoteMsg::key(TVKey::volumeUp)));
             EXPECT_FALSE(l.got<in::Ping>());
         }},
        // Frames before the end of the stream still arrive; an orderly end.
        {"close-after 2", "close-after off", [](Link& l) { ASSERT_TRUE(l.ends()); EXPECT_EQ(l.remote.size(), 2u); EXPECT_EQ(l.error, std::nullopt); }},
        {"close-mid-frame", "close-mid-frame off", [](Link& l) { ASSERT_TRUE(l.ends()); EXPECT_TRUE(l.remote.empty()); }},
        // More bytes follow the oversized header: no events after it.
        {"oversized", "oversized off", [](Link& l) { ASSERT_TRUE(l.ends()); EXPECT_EQ(l.error->kind, Kind::oversized); EXPECT_TRUE(l.remote.empty()); }},
        {"garbage", "garbage off", [](Link& l) { ASSERT_TRUE(l.gets<in::Start>()); EXPECT_TRUE(std::holds_alternative<in::Other>(l.remote.front())); }},
        {"trickle", "trickle off", [](Link& l) { EXPECT_TRUE(l.gets<in::ImeBatch>()); }},
        {"refuse", "refuse off", [](Link& l) { ASSERT_TRUE(l.ends()); EXPECT_EQ(l.error->kind, Kind::connection); }},
        {"reject-pairing 403", "reject-pairing off", [&](Link&) {
             Link pairing(tv.pairingPort(), 2, std::nullopt);
             ASSERT_TRUE(waitUntil([&] { return pairing.ready; }));
             pairing.channel->send(PairingMsg::request("x"));
             ASSERT_TRUE(waitUntil([&] { return !pairing.pairing.empty(); }));
             EXPECT_EQ(pairing.pairing.front(), PairingMsg::Reply{PairingMsg::reply::Failed{403}});
         }},
        {"forget", nullptr, [&](Link& l) {
             ASSERT_TRUE(l.ends());
             EXPECT_TRUE(l.error->kind == Kind::tls && !l.channel->keyBox().pinMismatch);
             ASSERT_EQ(pairWithTvsim(tv, testIdentity(1)), accepted);
         }},
        {"new-identity", nullptr, [&](Link&) {
             Link stranger(tv.remotePort(), 1, oldKey);
             EXPECT_TRUE(stranger.ends() && stranger.channel->keyBox().pinMismatch);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_EQ(tv.runCommand(c.command), "ok");
        Link link(tv.remotePort(), 1, tv.publicKey());
        c.check(link);
        if (c.off) { ASSERT_EQ(tv.runCommand(c.off), "ok"); }
    }
}
