#pragma once

#include "core/Bytes.h"
#include "protocol/TVKey.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

// The TV's side of the protocol: what a TV sends (each a ready frame) and what it reads
// from a remote.
namespace telvanto::tvsim::TvMsg {

// Remote connection, TV to remote.
Bytes configure(std::int64_t features, std::string_view model, std::string_view vendor);
Bytes setActive();
Bytes ping(std::int64_t value);
Bytes start(bool on);
Bytes volume(std::int64_t level, std::int64_t max, bool muted);
Bytes currentApp(std::string_view package);
Bytes imeBatch(std::int64_t ime, std::int64_t field);
Bytes error();

// Pairing connection, TV to remote.
Bytes pairingRequestAck(std::string_view serverName);
Bytes pairingOption(bool emptyAck); // empty: only the field; otherwise the TV's own encodings
Bytes pairingConfigurationAck();
Bytes pairingSecretAck(ByteView secret);
Bytes pairingFailure(std::int64_t status);

// Remote connection, remote to TV.
namespace from {
struct Configure {
    std::int64_t features = 0;
    std::string deviceName;
};
struct SetActive {
    std::int64_t value = 0;
};
struct PingResponse {
    std::int64_t value = 0;
};
struct Key {
    std::int64_t code = 0;
    std::int64_t direction = 0;
};
struct ImeBatch {
    std::int64_t ime = 0;
    std::int64_t field = 0;
    std::string text;
};
struct AppLink {
    std::string link;
};
struct Unknown {};
} // namespace from
using FromRemote = std::variant<from::Configure, from::SetActive, from::PingResponse, from::Key, from::ImeBatch,
                                from::AppLink, from::Unknown>;
FromRemote decodeRemote(ByteView payload);

// Pairing connection, remote to TV.
namespace pairing {
struct Request {
    std::string serviceName;
    std::string clientName;
};
struct Option {};
struct Configuration {};
struct Secret {
    Bytes secret;
};
struct Unknown {};
} // namespace pairing
using FromPairing = std::variant<pairing::Request, pairing::Option, pairing::Configuration, pairing::Secret, pairing::Unknown>;
FromPairing decodePairing(ByteView payload);

} // namespace telvanto::tvsim::TvMsg
