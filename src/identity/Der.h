#pragma once

#include "core/Bytes.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

// The small DER subset the client certificate and RSA keys need.
namespace telvanto::identity::der {

namespace tag {
inline constexpr std::uint8_t integer = 0x02;
inline constexpr std::uint8_t bitString = 0x03;
inline constexpr std::uint8_t null = 0x05;
inline constexpr std::uint8_t objectIdentifier = 0x06;
inline constexpr std::uint8_t utf8String = 0x0C;
inline constexpr std::uint8_t utcTime = 0x17;
inline constexpr std::uint8_t generalizedTime = 0x18;
inline constexpr std::uint8_t sequence = 0x30;
inline constexpr std::uint8_t set = 0x31;
inline constexpr std::uint8_t context0 = 0xA0;
} // namespace tag

// Reads elements one after another from borrowed bytes.
class Reader {
public:
    // Long-form lengths may take at most this many bytes.
    static constexpr std::size_t maxLengthBytes = 4;

    explicit Reader(ByteView input) : input_(input) {}

    // The content of the element at the position when it has the expected tag; the position
    // moves past it. None (position unspecified) when the tag differs or the element is cut.
    std::optional<ByteView> read(std::uint8_t expectedTag);

    // The tag of the next element, if any byte is left.
    std::optional<std::uint8_t> peekTag() const;
    bool atEnd() const { return pos_ >= input_.size(); }

private:
    ByteView input_;
    std::size_t pos_ = 0;
};

// Leading zero bytes dropped; all-zero or empty input gives the single byte 0x00.
Bytes stripLeadingZeros(ByteView bytes);

Bytes length(std::size_t length);
Bytes element(std::uint8_t tag, ByteView content);
Bytes integer(ByteView bigEndian);
Bytes objectIdentifier(std::initializer_list<std::uint32_t> arcs);
Bytes null();
Bytes bitString(ByteView bytes);
Bytes utf8String(std::string_view text);
Bytes utcTime(std::string_view text);         // "yyMMddHHmmssZ", years 1950-2049
Bytes generalizedTime(std::string_view text); // "yyyyMMddHHmmssZ", any other year
Bytes sequence(std::initializer_list<ByteView> members);
Bytes set(std::initializer_list<ByteView> members);
Bytes context0(ByteView member);

} // namespace telvanto::identity::der
