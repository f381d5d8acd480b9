#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telvanto {

// Owned bytes (frames, keys, digests) and a borrowed view of them.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline Bytes toBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline std::string toString(ByteView bytes) { return std::string(bytes.begin(), bytes.end()); }

inline void append(Bytes& out, ByteView more) { out.insert(out.end(), more.begin(), more.end()); }

inline bool equal(ByteView a, ByteView b) { return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin()); }

// Lower-case hex without separators, for logs and tests.
std::string toHex(ByteView bytes);

// Parses hex digits, ignoring spaces; returns an empty result for odd or invalid input.
Bytes fromHex(std::string_view hex);

} // namespace telvanto
