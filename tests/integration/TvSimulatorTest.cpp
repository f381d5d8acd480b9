// The simulated TV, driven over real TLS by the project's own channel and encoders.
#include "Simulator.h"
#include "TvMsg.h"
#include "identity/PairingSecret.h"
#include "protocol/PairingMsg.h"
#include "protocol/RemoteMsg.h"
#include "protocol/Varint.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"

#include "EventLoop.h"
#include "Tvsim.h"
#include "TempDir.h"
#include "TestIdentities.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::protocol;
using telvanto::testing::testIdentity;
using telvanto::testing::waitUntil;
using transport::Channel;
using Kind = Channel::Error::Kind;

namespace {

// A connection to one of the TV's ports, recording what arrives.
struct Link {
    Link(quint16 port, int identity, std::optional<identity::RSAPublicKey> pin)
        : channel(new transport::TLSChannel("127.0.0.1", port, testIdentity(identity), std::move(pin), scheduler))
    {
        channel->onEvent = [this](const Channel::Event& e) {
            if (const auto* m = std::get_if<Channel::Message>(&e)) {
                remote.push_back(RemoteMsg::decode(m->payload));
                pairing.push_back(PairingMsg::decode(m->payload));
                if (onMessage) onMessage(m->payload);
            } else if (const auto* c = std::get_if<Channel::Closed>(&e)) {
                closed = true;
                error = c->error;
            } else {
                ready = true;
            }
        };
        channel->start();
    }
    template <class T> bool gotRemote() const
    {
        return std::any_of(remote.begin(), remote.end(), [](const auto& m) { return std::holds_alternative<T>(m); });
    }
    template <class T> bool gotPairing() const
    {
        return std::any_of(pairing.begin(), pairing.end(), [](const auto& m) { return std::holds_alternative<T>(m); });
    }

    static inline transport::QtScheduler scheduler;
    transport::ChannelPtr channel;
    std::vector<RemoteMsg::Incoming> remote;
    std::vector<PairingMsg::Reply> pairing;
    std::function<void(const Bytes&)> onMessage;
    bool ready = false;
    bool closed = false;
    std::optional<Channel::Error> error;
};

struct Tv {
    Tv() : simulator(telvanto::testing::startTvsim(dir / "tv", pings)) {}

    PairingMsg::Reply pair(int clientIdentity, bool mistype = false)
    {
        return telvanto::testing::pairWithTvsim(*simulator, testIdentity(clientIdentity), mistype);
    }

    // Opens the remote port and answers the TV's handshake as a remote does.
    std::unique_ptr<Link> connect(int clientIdentity)
    {
        auto link = std::make_unique<Link>(simulator->remotePort(), clientIdentity, simulator->publicKey());
        Link* raw = link.get();
        raw->onMessage = [raw](const Bytes& payload) {
            const auto m = RemoteMsg::decode(payload);
            if (std::holds_alternative<RemoteMsg::in::Configure>(m)) raw->channel->send(RemoteMsg::configure(615));
            if (std::holds_alternative<RemoteMsg::in::SetActive>(m)) raw->channel->send(RemoteMsg::setActive(615));
            if (const auto* p = std::get_if<RemoteMsg::in::Ping>(&m)) raw->channel->send(RemoteMsg::pingResponse(p->value));
        };
        return link;
    }

    telvanto::testing::TempDir dir;
    telvanto::testing::VirtualScheduler pings; // the TV's pings come when the test says
    std::unique_ptr<tvsim::Simulator> simulator;
};

} // namespace

TEST(TvSimulator, PairsWithTheCodeItShows)
{
    Tv tv;
    EXPECT_EQ(tv.pair(1), PairingMsg::Reply{PairingMsg::reply::SecretAck{}});
    EXPECT_EQ(tv.simulator->pairedClients(), 1);
}

TEST(TvSimulator, WrongSecretIsAnswered402)
{
    Tv tv;
    EXPECT_EQ(tv.pair(1, true), PairingMsg::Reply{PairingMsg::reply::Failed{402}});
    EXPECT_EQ(tv.simulator->pairedClients(), 0);
}

TEST(TvSimulator, RemoteSequenceUpToStartAndReactions)
{
    Tv tv;
    ASSERT_EQ(tv.pair(1), PairingMsg::Reply{PairingMsg::reply::SecretAck{}});
    auto link = tv.connect(1);
    ASSERT_TRUE(waitUntil([&] { return link->gotRemote<RemoteMsg::in::ImeBatch>() || link->closed; }));
    ASSERT_GE(link->remote.size(), 6u);
    EXPECT_TRUE(std::holds_alternative<RemoteMsg::in::Configure>(link->remote[0]));
    EXPECT_TRUE(std::holds_alternative<RemoteMsg::in::SetActive>(link->remote[1]));
    EXPECT_EQ(link->remote[2], RemoteMsg::Incoming{RemoteMsg::in::Start{true}});
    EXPECT_EQ(link->remote[3], RemoteMsg::Incoming{(RemoteMsg::in::Volume{10, 100, false})});
    EXPECT_EQ(link->remote[4], RemoteMsg::Incoming{RemoteMsg::in::CurrentApp{"com.google.android.tvlauncher"}});

    const struct {
        Bytes frame;
        RemoteMsg::Incoming report;
    } reactions[] = {
        {RemoteMsg::key(TVKey::volumeUp), RemoteMsg::in::Volume{11, 100, false}},
        {RemoteMsg::key(TVKey::mute), RemoteMsg::in::Volume{11, 100, true}},
        {RemoteMsg::appLink("market://launch?id=com.example.tv"), RemoteMsg::in::CurrentApp{"com.example.tv"}},
        {RemoteMsg::appLink("https://www.youtube.com/watch?v=x"), RemoteMsg::in::CurrentApp{"com.google.android.youtube.tv"}},
        {RemoteMsg::key(TVKey::home), RemoteMsg::in::CurrentApp{"com.google.android.tvlauncher"}},
        {RemoteMsg::key(TVKey::power), RemoteMsg::in::Start{false}},
        {RemoteMsg::key(TVKey::wakeUp), RemoteMsg::in::Start{true}},
    };
    for (const auto& r : reactions) {
        const std::size_t before = link->remote.size();
        link->channel->send(r.frame);
        ASSERT_TRUE(waitUntil([&] { return link->remote.size() > before || link->closed; }));
        EXPECT_EQ(link->remote.back(), r.report);
    }

    link->channel->send(RemoteMsg::imeBatch("ahoj 😀", 1, 1));
    link->channel->send(RemoteMsg::key(TVKey::deleteKey));
    EXPECT_TRUE(waitUntil([&] { return tv.simulator->textField() == QString::fromUtf8("ahoj "); }));

    tv.pings.advance(std::chrono::seconds(5));
    EXPECT_TRUE(waitUntil([&] { return link->gotRemote<RemoteMsg::in::Ping>(); }));
}

TEST(TvSimulator, UnpairedRemoteIsRefusedDuringTheHandshake)
{
    Tv tv;
    auto link = tv.connect(1);
    ASSERT_TRUE(waitUntil([&] { return link->closed; }));
    EXPECT_TRUE(link->remote.empty());
    EXPECT_EQ(link->error->kind, Kind::tls);
}

TEST(TvSimulator, FaultsAsTheRemoteSeesThem)
{
    Tv tv;
    ASSERT_EQ(tv.pair(1), PairingMsg::Reply{PairingMsg::reply::SecretAck{}});
    using Check = std::function<void(Tv&, Link&)>;
    const struct {
        const char* command;
        Check check;
    } cases[] = {
        {"no-start", [](Tv&, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.gotRemote<RemoteMsg::in::SetActive>(); }));
             waitUntil([] { return false; }, std::chrono::milliseconds(100));
             EXPECT_FALSE(l.gotRemote<RemoteMsg::in::Start>());
         }},
        {"silent", [](Tv&, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.ready; }));
             waitUntil([] { return false; }, std::chrono::milliseconds(100));
             EXPECT_TRUE(l.remote.empty());
         }},
        {"no-pings", [](Tv& t, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.gotRemote<RemoteMsg::in::Start>(); }));
             t.pings.advance(std::chrono::seconds(20));
             waitUntil([] { return false; }, std::chrono::milliseconds(100));
             EXPECT_FALSE(l.gotRemote<RemoteMsg::in::Ping>());
         }},
        {"close-after 2", [](Tv&, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.closed; }));
             EXPECT_EQ(l.remote.size(), 2u);
         }},
        {"close-mid-frame", [](Tv&, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.closed; }));
             EXPECT_TRUE(l.remote.empty());
         }},
        {"oversized", [](Tv&, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.closed; }));
             EXPECT_EQ(l.error->kind, Kind::oversized);
         }},
        {"garbage", [](Tv&, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.gotRemote<RemoteMsg::in::Start>() || l.closed; }));
             EXPECT_TRUE(std::holds_alternative<RemoteMsg::in::Other>(l.remote.front()));
         }},
        {"trickle", [](Tv&, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.gotRemote<RemoteMsg::in::ImeBatch>() || l.closed; }));
             EXPECT_FALSE(l.closed);
         }},
        {"refuse", [](Tv&, Link& l) {
             ASSERT_TRUE(waitUntil([&] { return l.closed; }));
             EXPECT_EQ(l.error->kind, Kind::connection);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_EQ(tv.simulator->runCommand(c.command), "ok");
        auto link = tv.connect(1);
        c.check(tv, *link);
        const QString off = QString::fromLatin1(c.command).section(' ', 0, 0) + " off";
        ASSERT_EQ(tv.simulator->runCommand(off), "ok");
    }
}

TEST(TvSimulator, ForgettingRestartingAndBecomingAnotherTv)
{
    Tv tv;
    ASSERT_EQ(tv.pair(1), PairingMsg::Reply{PairingMsg::reply::SecretAck{}});

    auto first = tv.connect(1);
    ASSERT_TRUE(waitUntil([&] { return first->gotRemote<RemoteMsg::in::Start>(); }));
    tv.simulator->restart();
    ASSERT_TRUE(waitUntil([&] { return first->closed; }));
    auto again = tv.connect(1);
    ASSERT_TRUE(waitUntil([&] { return again->gotRemote<RemoteMsg::in::Start>(); })) << "paired remotes survive a restart";

    tv.simulator->runCommand("reject-pairing 403");
    Link pairing(tv.simulator->pairingPort(), 2, std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return pairing.ready; }));
    pairing.channel->send(PairingMsg::request("x"));
    ASSERT_TRUE(waitUntil([&] { return !pairing.pairing.empty(); }));
    EXPECT_EQ(pairing.pairing.back(), PairingMsg::Reply{PairingMsg::reply::Failed{403}});
    tv.simulator->runCommand("reject-pairing off");

    tv.simulator->runCommand("forget");
    auto forgotten = tv.connect(1);
    ASSERT_TRUE(waitUntil([&] { return forgotten->closed; }));
    EXPECT_EQ(forgotten->error->kind, Kind::tls);
    EXPECT_FALSE(forgotten->channel->keyBox().pinMismatch);

    ASSERT_EQ(tv.pair(1), PairingMsg::Reply{PairingMsg::reply::SecretAck{}});
    const auto oldKey = tv.simulator->publicKey();
    tv.simulator->runCommand("new-identity");
    EXPECT_NE(tv.simulator->publicKey(), oldKey);
    Link stranger(tv.simulator->remotePort(), 1, oldKey);
    ASSERT_TRUE(waitUntil([&] { return stranger.closed; }));
    EXPECT_TRUE(stranger.channel->keyBox().pinMismatch);
}

TEST(TvSimulator, BrokenClientLosesOnlyItsOwnConnection)
{
    Tv tv;
    ASSERT_EQ(tv.pair(1), PairingMsg::Reply{PairingMsg::reply::SecretAck{}});
    auto good = tv.connect(1);
    ASSERT_TRUE(waitUntil([&] { return good->gotRemote<RemoteMsg::in::Start>(); }));

    auto bad = tv.connect(1);
    ASSERT_TRUE(waitUntil([&] { return bad->gotRemote<RemoteMsg::in::Start>(); }));
    bad->channel->send(encodeVarint(FrameBuffer::maxFrameLength + 1));
    ASSERT_TRUE(waitUntil([&] { return bad->closed; }));

    const std::size_t before = good->remote.size();
    good->channel->send(RemoteMsg::key(TVKey::volumeDown));
    ASSERT_TRUE(waitUntil([&] { return good->remote.size() > before; }));
    EXPECT_EQ(good->remote.back(), RemoteMsg::Incoming{(RemoteMsg::in::Volume{9, 100, false})});
    EXPECT_FALSE(good->closed);
}
