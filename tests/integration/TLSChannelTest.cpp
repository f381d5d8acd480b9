// The channel over real TLS on loopback: against our own listener, openssl s_server, and in a
// network namespace without routes.
#include "OwnNetNamespace.h"
#include "Tvsim.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

using namespace telvanto;
using namespace telvanto::transport;
using namespace telvanto::testing;

namespace {

// A loopback TLS server (identity 100) that records what arrives.
struct Server {
    Server() : listener({testIdentity(100), true, {}, QSsl::TlsV1_2OrLater})
    {
        QObject::connect(&listener, &tvsim::TlsListener::clientReady, [this](QSslSocket* s) {
            QObject::connect(s, &QSslSocket::readyRead, s, [this, s] { received += s->readAll(); }), QObject::connect(s, &QSslSocket::disconnected, [this] { ++ended; });
        });
        QObject::connect(&listener, &tvsim::TlsListener::handshakeFailed, [this] { ++ended; });
        listener.listen(QHostAddress::LocalHost, 0);
    }
    tvsim::TlsListener listener;
    QByteArray received;
    int ended = 0; // connections closed or refused
};

// openssl s_server (identity 100) on a loopback port with the given arguments.
struct OpenSslServer {
    explicit OpenSslServer(const QStringList& extra) : port(closedPort())
    {
        const auto pem = identityFolder(100).path() / identity::CredentialStore::identityItem; // the key, then the certificate
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("openssl", QStringList{"s_server", "-accept", "127.0.0.1:" + QString::number(port), "-cert", QString::fromStdString(pem)} + extra);
        EXPECT_TRUE(waitUntil([&] { return (output += process.readAll()).contains("ACCEPT"); })) << output.toStdString();
    }
    ~OpenSslServer() { process.kill(), process.waitForFinished(); }
    quint16 port;
    QProcess process;
    QByteArray output;
};

} // namespace

// With the pinned key: what was sent before and during the handshake goes out once the channel
// is ready. Ended by its owner: cancel reports once, from the event loop; a dropped channel
// still hands over what was sent.
TEST(TLSChannel, ReadyCancelledAndDropped)
{
    Server server;
    const auto theirs = testIdentity(100).publicKey();
    Peer dropped(server.listener.serverPort(), testIdentity(1), theirs, false, false);
    dropped.channel->send(toBytes("sent before start, "));
    dropped.channel->start();
    dropped.channel->send(toBytes("during the handshake"));
    ASSERT_TRUE(waitUntil([&] { return !dropped.said.empty(); }));
    EXPECT_EQ(dropped.tls->serverKey(), theirs);
    // Keep-alive 10 s idle, then 3 probes 5 s apart; no Nagle delay.
    const int socket = static_cast<int>(dropped.tls->findChild<QSslSocket*>()->socketDescriptor());
    for (const auto& [level, option, value] : {std::array{SOL_SOCKET, SO_KEEPALIVE, 1}, {IPPROTO_TCP, TCP_KEEPIDLE, 10}, {IPPROTO_TCP, TCP_KEEPINTVL, 5},
                                               {IPPROTO_TCP, TCP_KEEPCNT, 3}, {IPPROTO_TCP, TCP_NODELAY, 1}}) {
        int set = -1;
        socklen_t size = sizeof set;
        EXPECT_EQ(::getsockopt(socket, level, option, &set, &size), 0);
        EXPECT_EQ(set, value) << "option " << option;
    }
    dropped.channel->send(toBytes(", last words")), dropped.channel.reset();
    ASSERT_TRUE(waitUntil([&] { return server.received == "sent before start, during the handshake, last words" && server.ended == 1; }));

    Peer cancelled(server.listener.serverPort(), testIdentity(1), theirs);
    ASSERT_TRUE(waitUntil([&] { return !cancelled.said.empty(); }));
    cancelled.channel->cancel();
    EXPECT_EQ(cancelled.said, std::vector<std::string>{"ready"}) << "reported from inside the owner's call";
    ASSERT_TRUE(cancelled.ends());
    cancelled.channel->cancel(), cancelled.channel->send(toBytes("late")), drainEvents();
    EXPECT_EQ(cancelled.said, (std::vector<std::string>{"ready", "closed"}));
    cancelled.channel.reset();
    EXPECT_TRUE(waitUntil([] { return TLSChannel::instances() == 0; }));
}

// A TV whose key is not the pinned one, found once encrypted when the TLS layer was told to go
// on; a TV without TLS 1.2. Nothing sent reaches it. (No pin at all is how every pairing with
// tvsim starts; a key refused in the handshake is tvsim's new identity.)
TEST(TLSChannel, RefusedTable)
{
    const auto theirs = testIdentity(100).publicKey(), other = testIdentity(2).publicKey();
    const struct {
        const char* name;
        const char* openssl; // s_server's arguments; none: our own listener
        identity::RSAPublicKey pin;
        bool errorsIgnored; // by the TLS layer, after the channel's own check: the handshake finishes
    } rows[] = {
        {"other pin, checked again once encrypted", nullptr, other, true},
        {"openssl speaks TLS 1.1 only", "-tls1_1 -cipher DEFAULT:@SECLEVEL=0", theirs, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<Server> server;
        std::optional<OpenSslServer> openssl;
        if (row.openssl) openssl.emplace(QString(row.openssl).split(' '));
        else server.emplace();
        Peer client(server ? server->listener.serverPort() : openssl->port, testIdentity(1), row.pin, false, false);
        QSslSocket* socket = client.tls->findChild<QSslSocket*>();
        if (row.errorsIgnored) QObject::connect(socket, &QSslSocket::sslErrors, socket, [socket] { socket->ignoreSslErrors(); });
        client.channel->send(toBytes("sent before start, "));
        client.channel->start();
        client.channel->send(toBytes("during the handshake"));
        ASSERT_TRUE(client.ends());
        EXPECT_EQ(client.said, std::vector<std::string>{"closed tls"});
        EXPECT_EQ(client.tls->keyBox().pinMismatch, row.pin == other);
        if (row.pin == other) { EXPECT_EQ(client.tls->keyBox().key, theirs); }
        if (server) waitUntil([&] { return server->ended > 0; }), drainEvents();
        EXPECT_TRUE(!server || server->received.isEmpty()) << server->received.toStdString();
    }
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
