#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"

#include "EventLoop.h"
#include "TlsListener.h"
#include "TempDir.h"
#include "TestIdentities.h"
#include "VirtualScheduler.h"
#include "protocol/Varint.h"

#include <QProcess>
#include <QSslSocket>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <fstream>

using namespace telvanto;
using namespace telvanto::transport;
using telvanto::testing::testIdentity;
using telvanto::testing::waitUntil;
using Kind = TLSChannel::Error::Kind;

namespace {

// A loopback TLS server whose every accepted connection runs the test's script.
struct Server {
    explicit Server(std::function<void(QSslSocket*)> script = {}, int identity = 100)
        : listener({testIdentity(identity), true, {}, QSsl::TlsV1_2OrLater})
    {
        QObject::connect(&listener, &tvsim::TlsListener::clientReady, [this, script](QSslSocket* socket) {
            ++connections;
            QObject::connect(socket, &QSslSocket::readyRead, socket, [this, socket] { received += socket->readAll(); });
            QObject::connect(socket, &QSslSocket::disconnected, [this] { ++disconnects; });
            if (script) script(socket);
        });
        QObject::connect(&listener, &tvsim::TlsListener::handshakeFailed, [this] { ++failedHandshakes; });
        listener.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return listener.serverPort(); }
    identity::RSAPublicKey key() const { return testIdentity(100).publicKey(); }

    tvsim::TlsListener listener;
    QByteArray received;
    int connections = 0;
    int disconnects = 0;
    int failedHandshakes = 0;
};

// Opens a channel and records its events.
struct Client {
    Client(quint16 port, std::optional<identity::RSAPublicKey> pin, core::Scheduler& scheduler, QString host = "127.0.0.1")
        : channel(new TLSChannel(host, port, testIdentity(1), std::move(pin), scheduler))
    {
        channel->onEvent = [this](const TLSChannel::Event& e) { events.push_back(e); };
    }
    Client(quint16 port, std::optional<identity::RSAPublicKey> pin = std::nullopt) : Client(port, std::move(pin), qtScheduler) {}

    bool ready() const { return count<TLSChannel::Ready>() > 0; }
    bool closed() const { return count<TLSChannel::Closed>() > 0; }
    template <class T> int count() const
    {
        int n = 0;
        for (const auto& e : events) n += std::holds_alternative<T>(e) ? 1 : 0;
        return n;
    }
    std::optional<TLSChannel::Error> closeError() const
    {
        for (const auto& e : events) {
            if (const auto* c = std::get_if<TLSChannel::Closed>(&e)) return c->error;
        }
        ADD_FAILURE() << "not closed";
        return std::nullopt;
    }
    std::vector<Bytes> messages() const
    {
        std::vector<Bytes> out;
        for (const auto& e : events) {
            if (const auto* m = std::get_if<TLSChannel::Message>(&e)) out.push_back(m->payload);
        }
        return out;
    }

    static inline QtScheduler qtScheduler;
    ChannelPtr channel;
    std::vector<TLSChannel::Event> events;
};

QByteArray frameOf(const Bytes& payload)
{
    const Bytes f = protocol::framed(payload);
    return QByteArray(reinterpret_cast<const char*>(f.data()), static_cast<qsizetype>(f.size()));
}

} // namespace

TEST(TLSChannel, PinnedKeyThatMatchesIsReady)
{
    Server server;
    Client client(server.port(), server.key());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.ready() || client.closed(); }));
    EXPECT_TRUE(client.ready());
    EXPECT_EQ(client.channel->serverKey(), server.key());
    EXPECT_FALSE(client.channel->keyBox().pinMismatch);
}

TEST(TLSChannel, NoPinAcceptsAnyReadableKey)
{
    Server server;
    Client client(server.port());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.ready() || client.closed(); }));
    EXPECT_TRUE(client.ready());
    EXPECT_EQ(client.channel->serverKey(), server.key());
}

TEST(TLSChannel, OtherKeyIsRefusedAndQueuedBytesNeverLeave)
{
    Server server;
    Client client(server.port(), testIdentity(2).publicKey());
    client.channel->send(toBytes("sent before start"));
    client.channel->start();
    client.channel->send(toBytes("queued during the handshake"));
    ASSERT_TRUE(waitUntil([&] { return client.closed(); }));
    // The server sees the connection end; give it the chance to read whatever arrived.
    waitUntil([&] { return server.disconnects + server.failedHandshakes > 0; }, std::chrono::seconds(3));
    telvanto::testing::drainEvents();

    EXPECT_FALSE(client.ready());
    EXPECT_EQ(client.count<TLSChannel::Closed>(), 1);
    EXPECT_TRUE(client.channel->keyBox().pinMismatch);
    EXPECT_EQ(client.closeError()->kind, Kind::tls);
    EXPECT_EQ(client.channel->keyBox().key, server.key());
    EXPECT_TRUE(server.received.isEmpty()) << server.received.toStdString();
}

TEST(TLSChannel, FramesAreCutAcrossChunks)
{
    const Bytes a = toBytes("first"), b = toBytes("second"), c = Bytes(300, 0x41);
    const QByteArray third = frameOf(c);
    Server server([&](QSslSocket* socket) {
        socket->write(frameOf(a) + frameOf(b) + third.left(100)); // two and a half frames
        socket->flush();
        QTimer::singleShot(50, socket, [socket, third] { socket->write(third.mid(100)); });
    });
    Client client(server.port(), server.key());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.messages().size() == 3 || client.closed(); }));
    EXPECT_EQ(client.messages(), (std::vector<Bytes>{a, b, c}));
}

TEST(TLSChannel, EndOfStreamDeliversItsFramesThenClosesCleanly)
{
    Server server([](QSslSocket* socket) {
        socket->write(frameOf(toBytes("one")) + frameOf(toBytes("two")));
        socket->disconnectFromHost();
    });
    Client client(server.port(), server.key());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.closed(); }));
    EXPECT_EQ(client.messages(), (std::vector<Bytes>{toBytes("one"), toBytes("two")}));
    EXPECT_TRUE(std::holds_alternative<TLSChannel::Closed>(client.events.back()));
    EXPECT_EQ(client.closeError(), std::nullopt);
}

TEST(TLSChannel, OversizedHeaderClosesAndNothingFollows)
{
    Server server([](QSslSocket* socket) {
        const Bytes header = protocol::encodeVarint(262145);
        socket->write(frameOf(toBytes("ok")) + QByteArray(reinterpret_cast<const char*>(header.data()), static_cast<qsizetype>(header.size())));
        socket->flush();
        QTimer::singleShot(20, socket, [socket] { socket->write(frameOf(toBytes("after"))); });
    });
    Client client(server.port(), server.key());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.closed(); }));
    waitUntil([] { return false; }, std::chrono::milliseconds(100)); // anything more would arrive now
    EXPECT_EQ(client.closeError()->kind, Kind::oversized);
    EXPECT_TRUE(std::holds_alternative<TLSChannel::Closed>(client.events.back()));
    EXPECT_EQ(client.count<TLSChannel::Closed>(), 1);
}

TEST(TLSChannel, CancelReportsOnceAndNeverAgain)
{
    Server server;
    Client client(server.port(), server.key());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.ready(); }));
    client.channel->cancel();
    EXPECT_FALSE(client.closed()) << "reported from inside the owner's call";
    ASSERT_TRUE(waitUntil([&] { return client.closed(); }));
    EXPECT_EQ(client.closeError(), std::nullopt);
    client.channel->cancel();
    client.channel->send(toBytes("late"));
    waitUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(client.count<TLSChannel::Closed>(), 1);
}

TEST(TLSChannel, ClosedPortIsAConnectionError)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    Client client(port, std::nullopt);
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.closed(); }));
    EXPECT_EQ(client.closeError()->kind, Kind::connection);
    EXPECT_FALSE(client.channel->keyBox().pinMismatch);
}

TEST(TLSChannel, ServerRefusingOurCertificateIsATlsError)
{
    Server server;
    server.listener.setAcceptClient([](const QSslCertificate&) { return false; });
    Client client(server.port(), server.key());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.closed(); }));
    EXPECT_EQ(client.closeError()->kind, Kind::tls);
    EXPECT_FALSE(client.channel->keyBox().pinMismatch);
}

TEST(TLSChannel, ConnectTimeoutAtSixSeconds)
{
    // Nothing is served at this port; the event loop never runs, so only the timer can end it.
    telvanto::testing::VirtualScheduler scheduler;
    Client client(9, std::nullopt, scheduler);
    client.channel->start();
    scheduler.advance(std::chrono::milliseconds(5999));
    EXPECT_FALSE(client.closed());
    scheduler.advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(client.closed());
    EXPECT_EQ(client.closeError()->kind, Kind::connection);
}

namespace {

// openssl s_server on a loopback port with the given extra arguments; stopped on destruction.
struct OpenSslServer {
    explicit OpenSslServer(const QStringList& extra)
    {
        const auto& id = testIdentity(100);
        auto write = [&](const std::string& name, const Bytes& der, const char* kind) {
            const auto path = dir / name;
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(der.data()), static_cast<std::streamsize>(der.size()));
            QProcess::execute("openssl", {kind, "-inform", "DER", "-in", QString::fromStdString(path), "-out", QString::fromStdString(path) + ".pem"});
        };
        write("cert", id.certificateDer, "x509");
        write("key", id.privateKeyDer, "pkey");
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("openssl", QStringList{"s_server", "-accept", "127.0.0.1:" + QString::number(port),
                                             "-cert", QString::fromStdString(dir / "cert.pem"),
                                             "-key", QString::fromStdString(dir / "key.pem")} + extra);
        waitUntil([&] { output += process.readAll(); return output.contains("ACCEPT"); });
    }
    ~OpenSslServer()
    {
        process.kill();
        process.waitForFinished();
    }
    telvanto::testing::TempDir dir;
    QProcess process;
    QByteArray output;
    quint16 port = 0;
};

} // namespace

TEST(TLSChannel, OpenSslServerSeesOurClientCertificate)
{
    OpenSslServer server({"-Verify", "1"});
    ASSERT_TRUE(server.output.contains("ACCEPT")) << server.output.toStdString();
    Client client(server.port, testIdentity(100).publicKey());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.ready() || client.closed(); }));
    EXPECT_TRUE(client.ready());
    const std::string cn = "CN = " + testIdentity(1).subjectSummary();
    EXPECT_TRUE(waitUntil([&] { server.output += server.process.readAll(); return server.output.contains(cn.c_str()); }))
        << server.output.toStdString();
}

TEST(TLSChannel, OldProtocolServerIsRefused)
{
    OpenSslServer server({"-tls1_1", "-cipher", "DEFAULT:@SECLEVEL=0"});
    ASSERT_TRUE(server.output.contains("ACCEPT")) << server.output.toStdString();
    Client client(server.port, std::nullopt);
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.closed(); }));
    EXPECT_FALSE(client.ready());
    EXPECT_EQ(client.closeError()->kind, Kind::tls);
}

TEST(TLSChannel, DroppedChannelStillDeliversWhatWasSent)
{
    Server server;
    Client client(server.port(), server.key());
    client.channel->start();
    ASSERT_TRUE(waitUntil([&] { return client.ready(); }));
    const QByteArray last = frameOf(toBytes("last words"));
    client.channel->send(Bytes(last.begin(), last.end()));
    client.channel.reset(); // the owner is done at once
    ASSERT_TRUE(waitUntil([&] { return server.received == last && server.disconnects == 1; }));
    EXPECT_TRUE(waitUntil([] { return TLSChannel::instances() == 0; }));
}
