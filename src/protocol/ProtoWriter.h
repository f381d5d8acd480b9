#pragma once

#include "core/Bytes.h"

#include <cstdint>
#include <string_view>

namespace telvanto::protocol {

// The two protobuf field writers. Messages are built innermost first and nested with
// appendBytesField.
void appendVarintField(Bytes& out, std::uint64_t field, std::int64_t value);
void appendBytesField(Bytes& out, std::uint64_t field, ByteView bytes);
void appendBytesField(Bytes& out, std::uint64_t field, std::string_view text);

// A remote message whose only field holds the given inner message, as one ready frame.
Bytes framedMessage(std::uint64_t field, ByteView inner);

} // namespace telvanto::protocol
