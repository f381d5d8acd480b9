// The channel over real TLS on loopback: against our own listener, openssl s_server, and in a
// network namespace without routes.
#include "linksender/LinkSender.h"

#include "OwnNetNamespace.h"
#include "PairedStore.h"
#include "RecordingLog.h"
#include "Tvsim.h"

#include <fstream>
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
        for (const auto& [name, der] : {std::pair{"cert", testIdentity(100).certificateDer}, {"key", testIdentity(100).privateKeyDer}})
            std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(der.data()), static_cast<std::streamsize>(der.size()));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("openssl", QStringList{"s_server", "-accept", "127.0.0.1:" + QString::number(port), "-certform", "DER", "-cert",
                                             QString::fromStdString(dir / "cert"), "-keyform", "DER", "-key", QString::fromStdString(dir / "key")} + extra);
        EXPECT_TRUE(said("ACCEPT")) << output.toStdString();
    }
    ~OpenSslServer() { process.kill(), process.waitForFinished(); }
    bool said(const std::string& text) { return waitUntil([&] { return (output += process.readAll()).contains(text.c_str()); }); }
    TempDir dir;
    quint16 port;
    QProcess process;
    QByteArray output;
};

} // namespace

// Who may talk to whom: the TV's key against the pin, our certificate against the TV's
// judgement, the protocol version. Bytes sent before the handshake reach only an accepted TV.
TEST(TLSChannel, HandshakeTable)
{
    const auto theirs = testIdentity(100).publicKey(), other = testIdentity(2).publicKey();
    const struct {
        const char* name;
        const char* peer; // ours, refusing (ours, refusing our certificate), closed, or openssl's arguments
        std::optional<identity::RSAPublicKey> pin;
        bool errorsIgnored; // by the TLS layer, after the channel's own check: the handshake finishes
        const char* outcome;
    } rows[] = {
        {"pin matches", "ours", theirs, false, "ready"},
        {"no pin takes any readable key", "ours", std::nullopt, false, "ready"},
        {"other pin", "ours", other, false, "closed tls"},
        {"other pin, checked again once encrypted", "ours", other, true, "closed tls"},
        {"our certificate refused", "refusing", theirs, false, "closed tls"},
        {"nobody listening", "closed", std::nullopt, false, "closed connection"},
        {"openssl asks for our certificate", "-Verify 1", theirs, false, "ready"},
        {"openssl speaks TLS 1.1 only", "-tls1_1 -cipher DEFAULT:@SECLEVEL=0", std::nullopt, false, "closed tls"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString peer = row.peer;
        std::optional<Server> server;
        std::optional<OpenSslServer> openssl;
        if (peer.startsWith('-')) openssl.emplace(peer.split(' '));
        if (peer == "ours" || peer == "refusing") server.emplace();
        if (peer == "refusing") server->listener.setAcceptClient([](const QSslCertificate&) { return false; });
        Peer client(server ? server->listener.serverPort() : openssl ? openssl->port : closedPort(), testIdentity(1), row.pin, false, false);
        QSslSocket* socket = client.tls->findChild<QSslSocket*>();
        if (row.errorsIgnored) QObject::connect(socket, &QSslSocket::sslErrors, socket, [socket] { socket->ignoreSslErrors(); });
        client.channel->send(toBytes("sent before start, "));
        client.channel->start();
        client.channel->send(toBytes("during the handshake"));
        const bool ready = std::string(row.outcome) == "ready";
        ASSERT_TRUE(waitUntil([&] { return client.closed() || (ready && !client.said.empty()); }));
        EXPECT_EQ(client.said.back(), row.outcome);
        // With TLS 1.3 a TV judges our certificate after the handshake: its refusal may follow "ready".
        if (peer != "refusing") { EXPECT_EQ(client.said.size(), 1u); }
        const bool mismatch = row.pin == other;
        EXPECT_EQ(client.tls->keyBox().pinMismatch, mismatch);
        if (mismatch) { EXPECT_EQ(client.tls->keyBox().key, theirs); }
        if (!ready && server) waitUntil([&] { return server->ended > 0; }), drainEvents();
        if (!ready) { EXPECT_TRUE(!server || server->received.isEmpty()) << server->received.toStdString(); continue; }
        EXPECT_EQ(client.tls->serverKey(), theirs);
        if (server) { EXPECT_TRUE(waitUntil([&] { return server->received == "sent before start, during the handshake"; })); }
        if (openssl) { EXPECT_TRUE(openssl->said("CN = " + testIdentity(1).subjectSummary())) << openssl->output.toStdString(); }
        // Keep-alive 10 s idle, then 3 probes 5 s apart; no Nagle delay.
        for (const auto& [level, option, value] : {std::array{SOL_SOCKET, SO_KEEPALIVE, 1}, {IPPROTO_TCP, TCP_KEEPIDLE, 10}, {IPPROTO_TCP, TCP_KEEPINTVL, 5},
                                                   {IPPROTO_TCP, TCP_KEEPCNT, 3}, {IPPROTO_TCP, TCP_NODELAY, 1}}) {
            int set = -1;
            socklen_t size = sizeof set;
            EXPECT_EQ(::getsockopt(static_cast<int>(socket->socketDescriptor()), level, option, &set, &size), 0);
            EXPECT_EQ(set, value) << "option " << option;
        }
    }
}

// Ended by its owner: cancel reports once, from the event loop; a dropped channel still
// hands over what was sent.
TEST(TLSChannel, CancelAndDrop)
{
    Server server;
    Peer cancelled(server.listener.serverPort(), testIdentity(1), testIdentity(100).publicKey());
    ASSERT_TRUE(waitUntil([&] { return !cancelled.said.empty(); }));
    cancelled.channel->cancel();
    EXPECT_EQ(cancelled.said, std::vector<std::string>{"ready"}) << "reported from inside the owner's call";
    ASSERT_TRUE(cancelled.ends());
    cancelled.channel->cancel(), cancelled.channel->send(toBytes("late")), drainEvents();
    EXPECT_EQ(cancelled.said, (std::vector<std::string>{"ready", "closed"}));
    cancelled.channel.reset();

    Peer dropped(server.listener.serverPort(), testIdentity(1), testIdentity(100).publicKey());
    ASSERT_TRUE(waitUntil([&] { return dropped.ready(); }));
    server.received.clear();
    dropped.channel->send(toBytes("last words")), dropped.channel.reset();
    ASSERT_TRUE(waitUntil([&] { return server.received == "last words" && server.ended == 2; }));
    EXPECT_TRUE(waitUntil([] { return TLSChannel::instances() == 0; }));
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
// from the event loop, after its own call returned, and may drop the object right there.
TEST(UnreachableAtOnce, ReportedFromTheEventLoop)
{
    using linksender::LinkSender;
    PairedStore paired({true, true, "127.0.0.1"});
    TLSChannelFactory channels(qtScheduler());
    RecordingLog log;
    for (const std::string owner : {"channel", "channel dropped in its handler", "link sender dropped in its completion"}) {
        SCOPED_TRACE(owner);
        ChannelPtr channel;
        std::unique_ptr<LinkSender> sender;
        std::vector<bool> heard; // each: the cause is "unreachable"
        bool inCall = true, heardInCall = false;
        auto hear = [&](bool unreachable) {
            heardInCall = heardInCall || inCall, heard.push_back(unreachable);
            if (owner != "channel") channel.reset(), sender.reset();
        };
        {
            const OwnNetNamespace isolated;
            if (!isolated.entered()) GTEST_SKIP() << "needs root for a network namespace";
            if (owner.starts_with("link")) {
                sender = std::make_unique<LinkSender>(LinkSender::Services{paired.store, channels, qtScheduler(), log, 9});
                sender->send(*linksender::WebLink::parse("https://example.com"),
                             [&](LinkSender::Result r) { hear(r == LinkSender::Result{LinkSender::Failure::unreachable}); });
            } else {
                channel = channels.open("127.0.0.1", 9, testIdentity(1), std::nullopt);
                channel->onEvent = [&](const Channel::Event& e) {
                    const auto* closed = std::get_if<Channel::Closed>(&e);
                    hear(closed && closed->error && closed->error->kind == Channel::Error::Kind::connection);
                };
                channel->start();
            }
            inCall = false;
        }
        EXPECT_FALSE(heardInCall);
        ASSERT_TRUE(waitUntil([&] { return !heard.empty(); }));
        drainEvents();
        EXPECT_EQ(heard, std::vector<bool>{true});
    }
}
