#pragma once

#include "core/Bytes.h"

#include <cstdint>

namespace telvanto::protocol {

// The longest varint: ten groups of seven bits cover 64 bits.
inline constexpr std::size_t maxVarintLength = 10;

// Protobuf base-128 varint, least significant group first. Signed values are written as
// their 64-bit two's complement by the caller's cast, so negatives take ten bytes.
Bytes encodeVarint(std::uint64_t value);
void appendVarint(Bytes& out, std::uint64_t value);

// One frame: the varint of the message length followed by the message.
Bytes framed(ByteView message);

} // namespace telvanto::protocol
