#include "core/Utf8.h"

#include <cstdint>

namespace telvanto {

namespace {

// Length of the well-formed sequence starting at i, or 0 when it is not well formed.
std::size_t sequenceLength(std::string_view s, std::size_t i)
{
    auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t b0 = byte(i);
    if (b0 < 0x80) return 1;
    std::size_t len;
    std::uint8_t lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;      // overlong
        if (b0 == 0xED) hi = 0x9F;      // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;      // overlong
        if (b0 == 0xF4) hi = 0x8F;      // above U+10FFFF
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    }
    return len;
}

} // namespace

bool isValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = sequenceLength(text, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::size_t countScalars(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        std::size_t len = sequenceLength(text, i);
        i += len == 0 ? 1 : len;
    }
    return count;
}

} // namespace telvanto
