#pragma once

#include "core/Bytes.h"
#include "core/Scheduler.h"
#include "identity/ClientIdentity.h"
#include "identity/RSAPublicKey.h"
#include "protocol/FrameBuffer.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

class QSslSocket;

namespace telvanto::transport {

// One TLS connection to a TV, for one attempt: client certificate, the TV's key captured
// and optionally checked against a pinned key, inbound bytes cut into frames, everything
// reported through onEvent. Closing is reported exactly once, with the first cause.
class TLSChannel : public QObject {
    Q_OBJECT

public:
    struct Error {
        enum class Kind {
            connection, // refused, unreachable, name not found, timed out: no TCP connection
            tls,        // the TLS handshake failed or the peer ended it (includes a pin mismatch)
            oversized,  // a frame header announced too much
            io,         // the established connection failed
        };
        Kind kind;
        std::string description;
        bool operator==(const Error&) const = default;
    };

    struct Message {
        Bytes payload;
    };
    struct Closed {
        std::optional<Error> error; // none: an orderly end
    };
    struct Ready {};
    using Event = std::variant<Message, Closed, Ready>;

    // What the handshake saw of the TV's certificate.
    struct KeyBox {
        std::optional<identity::RSAPublicKey> key;
        bool pinMismatch = false;
    };

    static constexpr std::chrono::seconds connectTimeout{6};
    static constexpr int keepAliveIdleSeconds = 10;
    static constexpr int keepAliveIntervalSeconds = 5;
    static constexpr int keepAliveProbes = 3;
    // The most bytes read from the socket in one go.
    static constexpr qint64 maxReadChunk = 65536;

    // Builds the channel; nothing happens before start. Without an identity no client
    // certificate is presented.
    TLSChannel(QString host, quint16 port, std::optional<identity::ClientIdentity> identity,
               std::optional<identity::RSAPublicKey> pinned, core::Scheduler& scheduler);
    ~TLSChannel() override;

    // Set before start. Events are delivered on the event loop, never from inside a call
    // the owner makes into the channel.
    std::function<void(const Event&)> onEvent;

    void start();
    // Writes one frame. Frames sent before the handshake completes go out only after the
    // TV's key has been accepted.
    void send(ByteView frame);
    // Ends the connection; reports closed(none) unless the channel had already closed.
    void cancel();

    // The TV's key, once ready.
    const std::optional<identity::RSAPublicKey>& serverKey() const { return serverKey_; }
    const KeyBox& keyBox() const { return keyBox_; }
    const QString& host() const { return host_; }
    quint16 port() const { return port_; }
    bool isClosed() const { return closed_; }

    // For owners: stops all events and deletes the channel once control is back in the
    // event loop, so a channel may be dropped from inside its own event handler.
    struct Deleter {
        void operator()(TLSChannel* channel) const;
    };

private:
    void onConnected();
    void onEncrypted();
    void onSocketError();
    void onDisconnected();
    bool acceptPeer();
    void readAvailable();
    void close(std::optional<Error> error);
    void closeLater(std::optional<Error> error);
    void deliver(const Event& event);

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
    bool started_ = false;
    bool tcpConnected_ = false;
    bool encrypted_ = false;
    bool receivedAny_ = false;
    bool closed_ = false;
};

using ChannelPtr = std::unique_ptr<TLSChannel, TLSChannel::Deleter>;

} // namespace telvanto::transport
