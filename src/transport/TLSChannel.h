#pragma once

#include "core/Scheduler.h"
#include "transport/Channel.h"
#include "identity/ClientIdentity.h"
#include "identity/RSAPublicKey.h"
#include "protocol/FrameBuffer.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <optional>

class QSslSocket;

namespace telvanto::transport {

// The channel on QSslSocket: client certificate, the TV's key captured during the handshake
// and optionally checked against a pinned key, inbound bytes cut into frames.
class TLSChannel final : public QObject, public Channel {
    Q_OBJECT

public:
    static constexpr std::chrono::seconds connectTimeout{6};
    static constexpr int keepAliveIdleSeconds = 10;
    static constexpr int keepAliveIntervalSeconds = 5;
    static constexpr int keepAliveProbes = 3;
    // The most bytes read from the socket in one go.
    static constexpr qint64 maxReadChunk = 65536;
    // How long a dropped channel may take to hand its last bytes to the TV.
    static constexpr std::chrono::milliseconds disposeGrace{1000};

    // Channels that still exist, dropped ones included until they are gone: a program that
    // ends runs its event loop until this is zero, so its last frames reach the TV.
    static int instances() { return instances_; }
    // For a program about to end: runs the event loop until every dropped channel is gone, for
    // at most a little longer than the grace a channel takes.
    static void letDroppedChannelsFinish();

    // Builds the channel; nothing happens before start. Without an identity no client
    // certificate is presented.
    TLSChannel(QString host, quint16 port, std::optional<identity::ClientIdentity> identity,
               std::optional<identity::RSAPublicKey> pinned, core::Scheduler& scheduler);
    ~TLSChannel() override;

    void start() override;
    void send(ByteView frame) override;
    void cancel() override;
    const std::optional<identity::RSAPublicKey>& serverKey() const override { return serverKey_; }
    const KeyBox& keyBox() const override { return keyBox_; }
    const QString& host() const override { return host_; }
    void dispose() override;

    quint16 port() const { return port_; }
    bool isClosed() const { return closed_; }

private:
    void onConnected();
    void onEncrypted();
    void onSocketError();
    void onDisconnected();
    bool acceptPeer();
    void readAvailable();
    void close(std::optional<Error> error);
    void deliver(Event event);
    void releaseHeld();

    // Counts the owner's calls into the channel in progress.
    struct OwnerCall {
        explicit OwnerCall(int& depth) : depth_(depth) { ++depth_; }
        ~OwnerCall() { --depth_; }
        OwnerCall(const OwnerCall&) = delete;
        OwnerCall& operator=(const OwnerCall&) = delete;
        int& depth_;
    };

    QString host_;
    quint16 port_;
    std::optional<identity::RSAPublicKey> pinned_;
    core::Scheduler& scheduler_;
    QSslSocket* socket_;
    protocol::FrameBuffer frames_;
    KeyBox keyBox_;
    std::optional<identity::RSAPublicKey> serverKey_;
    core::TaskHandle connectTimer_;
    Bytes unsent_; // frames sent before start
    std::deque<Event> held_; // raised during an owner's call, delivered from the event loop
    int ownerCalls_ = 0;
    bool started_ = false;
    bool tcpConnected_ = false;
    bool encrypted_ = false;
    bool receivedAny_ = false;
    bool closed_ = false;
    static inline int instances_ = 0;
};

// Opens real TLS channels.
class TLSChannelFactory final : public ChannelFactory {
public:
    explicit TLSChannelFactory(core::Scheduler& scheduler) : scheduler_(scheduler) {}
    ChannelPtr open(const QString& host, quint16 port, std::optional<identity::ClientIdentity> identity,
                    std::optional<identity::RSAPublicKey> pinned) override
    {
        return ChannelPtr(new TLSChannel(host, port, std::move(identity), std::move(pinned), scheduler_));
    }

private:
    core::Scheduler& scheduler_;
};

} // namespace telvanto::transport
