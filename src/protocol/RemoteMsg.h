#pragma once

#include "core/Bytes.h"
#include "protocol/TVKey.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

// Messages of the remote connection (port 6466). Every encoder returns one ready frame.
namespace telvanto::protocol::RemoteMsg {

Bytes configure(std::int64_t features);
Bytes setActive(std::int64_t value);
Bytes pingResponse(std::int64_t value);
Bytes key(TVKey key);
// A batch edit that replaces the field's text; the cursor goes after the last scalar.
Bytes imeBatch(std::string_view text, std::int64_t ime, std::int64_t field);
Bytes appLink(std::string_view link);

// The link that opens an app by its package name.
std::string marketLink(std::string_view package);

namespace in {
struct Configure {
    std::int64_t features = 0;
    std::string model;
    std::string vendor;
    bool operator==(const Configure&) const = default;
};
struct Ping {
    std::int64_t value = 0;
    bool operator==(const Ping&) const = default;
};
struct Start {
    bool on = false;
    bool operator==(const Start&) const = default;
};
struct Volume {
    std::int64_t level = 0;
    std::int64_t max = 0;
    bool muted = false;
    bool operator==(const Volume&) const = default;
};
struct CurrentApp {
    std::string package;
    bool operator==(const CurrentApp&) const = default;
};
struct ImeBatch {
    std::int64_t ime = 0;
    std::int64_t field = 0;
    bool operator==(const ImeBatch&) const = default;
};
struct SetActive {
    bool operator==(const SetActive&) const = default;
};
struct Error {
    bool operator==(const Error&) const = default;
};
// Anything not recognised, including a message that does not parse.
struct Other {
    bool operator==(const Other&) const = default;
};
} // namespace in

using Incoming = std::variant<in::Configure, in::Ping, in::Start, in::Volume, in::CurrentApp,
                              in::ImeBatch, in::SetActive, in::Error, in::Other>;

// Decodes the payload of one frame (without its length header). Never fails.
Incoming decode(ByteView payload);

} // namespace telvanto::protocol::RemoteMsg
