#pragma once

#include "core/Bytes.h"
#include "identity/ClientIdentity.h"
#include "identity/RSAPublicKey.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace telvanto::transport {

// One connection attempt to a TV, as its owners see it. TLSChannel is the real one; tests
// use a scripted fake. Closing is reported exactly once, with the first cause, and always
// from the event loop, never from inside a call the owner makes into the channel.
class Channel {
public:
    struct Error {
        enum class Kind {
            connection, // refused, unreachable, name not found, timed out: no TCP connection
            tls,        // the TLS handshake failed or the peer refused us (includes a pin mismatch)
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

    virtual ~Channel() = default;

    // Set before start.
    std::function<void(const Event&)> onEvent;

    virtual void start() = 0;
    // Writes one frame; frames sent before the handshake completes wait for it.
    virtual void send(ByteView frame) = 0;
    // Ends the connection at once, dropping bytes not yet handed to the TV; reports
    // closed(none) unless the channel had already closed.
    virtual void cancel() = 0;

    virtual const std::optional<identity::RSAPublicKey>& serverKey() const = 0; // once ready
    virtual const KeyBox& keyBox() const = 0;
    virtual const QString& host() const = 0;

    // Stops all events and frees the channel once control is back in the event loop, so an
    // owner may drop a channel from inside its own event handler. An open connection first
    // delivers what was sent and closes politely.
    virtual void dispose() = 0;

    struct Disposer {
        void operator()(Channel* channel) const
        {
            if (channel) channel->dispose();
        }
    };
};

using ChannelPtr = std::unique_ptr<Channel, Channel::Disposer>;

// Opens channels; the controller and the link sender take one so tests can script the TV.
class ChannelFactory {
public:
    virtual ~ChannelFactory() = default;
    virtual ChannelPtr open(const QString& host, quint16 port, std::optional<identity::ClientIdentity> identity,
                            std::optional<identity::RSAPublicKey> pinned) = 0;
};

} // namespace telvanto::transport
