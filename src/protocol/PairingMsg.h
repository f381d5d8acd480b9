#pragma once

#include "core/Bytes.h"

#include <cstdint>
#include <string_view>
#include <variant>

// Messages of the pairing connection (port 6467). Every encoder returns one ready frame.
namespace telvanto::protocol::PairingMsg {

inline constexpr std::int64_t protocolVersion = 2;
inline constexpr std::int64_t statusOk = 200;

Bytes request(std::string_view clientName);
Bytes option();
Bytes configuration();
Bytes secret(ByteView secret);

namespace reply {
// The reply's status is not 200 (a missing status counts as 0).
struct Failed {
    std::int64_t status = 0;
    bool operator==(const Failed&) const = default;
};
struct RequestAck {
    bool operator==(const RequestAck&) const = default;
};
struct Option {
    bool operator==(const Option&) const = default;
};
struct ConfigurationAck {
    bool operator==(const ConfigurationAck&) const = default;
};
struct SecretAck {
    bool operator==(const SecretAck&) const = default;
};
struct Other {
    bool operator==(const Other&) const = default;
};
} // namespace reply

using Reply = std::variant<reply::Failed, reply::RequestAck, reply::Option, reply::ConfigurationAck,
                           reply::SecretAck, reply::Other>;

// Decodes the payload of one frame. Never fails; the status is checked before any payload.
Reply decode(ByteView payload);

} // namespace telvanto::protocol::PairingMsg
