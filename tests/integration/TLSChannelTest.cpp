// The channel over real TLS on loopback: against the simulated TV and openssl s_server, and in a
// network namespace without routes.
#include "OwnNetNamespace.h"
#include "Tvsim.h"

#include <QSslConfiguration>
#include <netinet/in.h>
#include <netinet/tcp.h>

using namespace telvanto;
using namespace telvanto::transport;
using namespace telvanto::testing;
using namespace telvanto::protocol;

// Against the simulated TV we are paired with. With the pinned key: what was sent before and
// during the handshake goes out once the channel is ready. Ended by its owner: cancel reports
// once, from the event loop; a dropped channel still hands over what was sent. With another key,
// found once encrypted when the TLS layer was told to go on: nothing sent reaches the TV. (No pin
// at all is how every pairing with tvsim starts; a key refused in the handshake is tvsim's new
// identity.)
TEST(TLSChannel, AgainstThePairedTv)
{
    TvsimRig rig;
    rig.pair();
    const auto theirs = rig.tv->publicKey();
    Peer dropped(rig.tv->remotePort(), testIdentity(1), theirs, false, false);
    dropped.channel->send(RemoteMsg::key(TVKey::home));
    dropped.channel->start();
    dropped.channel->send(RemoteMsg::key(TVKey::mute));
    ASSERT_TRUE(waitUntil([&] { return !dropped.said.empty(); }));
    // TLS 1.2 at least; keep-alive 10 s idle, then 3 probes 5 s apart; no Nagle delay.
    const QSslSocket* socket = dropped.tls->findChild<QSslSocket*>();
    EXPECT_EQ(socket->sslConfiguration().protocol(), QSsl::TlsV1_2OrLater);
    for (const auto& [level, option, value] : {std::array{SOL_SOCKET, SO_KEEPALIVE, 1}, {IPPROTO_TCP, TCP_KEEPIDLE, 10}, {IPPROTO_TCP, TCP_KEEPINTVL, 5},
                                               {IPPROTO_TCP, TCP_KEEPCNT, 3}, {IPPROTO_TCP, TCP_NODELAY, 1}}) {
        int set = -1;
        socklen_t size = sizeof set;
        EXPECT_EQ(::getsockopt(static_cast<int>(socket->socketDescriptor()), level, option, &set, &size), 0);
        EXPECT_EQ(set, value) << "option " << option;
    }
    dropped.channel->send(RemoteMsg::key(TVKey::back)), dropped.channel.reset();
    EXPECT_TRUE(waitUntil([&] { return rig.received == QStringList{"key home", "key mute", "key back"}; })) << rig.received.join(", ").toStdString();

    Peer cancelled(rig.tv->remotePort(), testIdentity(1), theirs);
    ASSERT_TRUE(waitUntil([&] { return !cancelled.said.empty(); }));
    cancelled.channel->cancel();
    EXPECT_EQ(cancelled.said, std::vector<std::string>{"ready"}) << "reported from inside the owner's call";
    ASSERT_TRUE(cancelled.ends());
    cancelled.channel->cancel(), cancelled.channel->send(toBytes("late")), drainEvents();
    EXPECT_EQ(cancelled.said, (std::vector<std::string>{"ready", "closed"}));
    cancelled.channel.reset();
    EXPECT_TRUE(waitUntil([] { return TLSChannel::instances() == 0; }));

    rig.received.clear();
    Peer other(rig.tv->remotePort(), testIdentity(1), testIdentity(2).publicKey(), false, false);
    QSslSocket* otherSocket = other.tls->findChild<QSslSocket*>();
    QObject::connect(otherSocket, &QSslSocket::sslErrors, otherSocket, [otherSocket] { otherSocket->ignoreSslErrors(); });
    other.channel->send(RemoteMsg::key(TVKey::home));
    other.channel->start();
    other.channel->send(RemoteMsg::key(TVKey::mute));
    ASSERT_TRUE(other.ends());
    drainEvents();
    EXPECT_EQ(other.said, std::vector<std::string>{"closed tls"});
    EXPECT_TRUE(other.tls->keyBox().pinMismatch);
    EXPECT_EQ(other.tls->keyBox().key, theirs);
    EXPECT_TRUE(rig.received.isEmpty()) << rig.received.join(", ").toStdString();
}

// An independent TLS implementation: openssl s_server with the key we pin, asking for our
// certificate. The channel becomes ready, presents its certificate, and what it sends arrives whole.
TEST(TLSChannel, MeetsOpenSslServer)
{
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    const auto pem = identityFolder(100).path() / identity::CredentialStore::identityItem; // the key, then the certificate
    server.start("openssl", {"s_server", "-accept", "127.0.0.1:0", "-Verify", "1", "-cert", QString::fromStdString(pem)});
    QByteArray output;
    const auto shows = [&](const char* text) { return waitUntil([&] { return (output += server.readAll()).contains(text); }); };
    ASSERT_TRUE(shows("ACCEPT 127.0.0.1:")) << output.toStdString();
    Peer client(output.split(':').last().trimmed().toUShort(), testIdentity(1), testIdentity(100).publicKey());
    client.channel->send(toBytes("sent before the handshake"));
    EXPECT_TRUE(shows("sent before the handshake")) << output.toStdString();
    EXPECT_TRUE(output.contains("depth=0 CN = test 1\n")) << output.toStdString();
    EXPECT_EQ(client.said, std::vector<std::string>{"ready"});
    server.kill(), server.waitForFinished();
}

TEST(TLSChannel, ConnectTimeoutAtSixSeconds)
{
    // Nothing is served at this port; the event loop never runs, so only the timer can end it.
    VirtualScheduler scheduler;
    Peer client(9, testIdentity(1), std::nullopt, false, true, scheduler);
    for (const auto& [ms, said] : {std::pair{5999, std::vector<std::string>{}}, {1, {"closed connection"}}}) {
        scheduler.advance(std::chrono::milliseconds(ms));
        EXPECT_EQ(client.said, said);
    }
}

// A connect that fails inside the connect call itself (no route): the owner hears of it only
// from the event loop, after its own call returned, and may drop the channel right there.
TEST(UnreachableAtOnce, ReportedFromTheEventLoop)
{
    for (const bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "dropped in its handler" : "kept");
        std::optional<Peer> client;
        {
            const OwnNetNamespace isolated;
            if (!isolated.entered()) GTEST_SKIP() << "needs root for a network namespace";
            client.emplace(9, testIdentity(1), std::nullopt, false, false);
            if (dropped) client->channel->onEvent = [&, heard = client->channel->onEvent](const Channel::Event& e) { heard(e), client->channel.reset(); };
            client->channel->start();
            EXPECT_TRUE(client->said.empty()) << "heard inside start()";
        }
        ASSERT_TRUE(client->ends());
        drainEvents();
        EXPECT_EQ(client->said, std::vector<std::string>{"closed connection"});
    }
}
