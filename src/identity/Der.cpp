#include "identity/Der.h"

#include <cassert>

namespace telvanto::identity::der {

std::optional<ByteView> Reader::read(std::uint8_t expectedTag)
{
    if (pos_ >= input_.size() || input_[pos_] != expectedTag) return std::nullopt;
    ++pos_;
    if (pos_ >= input_.size()) return std::nullopt;
    const std::uint8_t first = input_[pos_++];
    std::size_t length = 0;
    if (first > 0x80) {
        const std::size_t n = first & 0x7F;
        if (n > maxLengthBytes || input_.size() - pos_ < n) return std::nullopt;
        for (std::size_t i = 0; i < n; ++i) length = length << 8 | input_[pos_++];
    } else if (first < 0x80) {
        length = first;
    } // 0x80 reads as length 0
    if (input_.size() - pos_ < length) return std::nullopt;
    const ByteView content = input_.subspan(pos_, length);
    pos_ += length;
    return content;
}

std::optional<std::uint8_t> Reader::peekTag() const
{
    if (atEnd()) return std::nullopt;
    return input_[pos_];
}

Bytes stripLeadingZeros(ByteView bytes)
{
    std::size_t first = 0;
    while (first < bytes.size() && bytes[first] == 0) ++first;
    if (first == bytes.size()) return Bytes{0x00};
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(first), bytes.end());
}

Bytes length(std::size_t length)
{
    if (length < 0x80) return Bytes{static_cast<std::uint8_t>(length)};
    Bytes digits;
    for (std::size_t rest = length; rest > 0; rest >>= 8) digits.insert(digits.begin(), static_cast<std::uint8_t>(rest));
    Bytes out{static_cast<std::uint8_t>(0x80 + digits.size())};
    append(out, digits);
    return out;
}

Bytes element(std::uint8_t tag, ByteView content)
{
    Bytes out{tag};
    append(out, length(content.size()));
    append(out, content);
    return out;
}

Bytes integer(ByteView bigEndian)
{
    Bytes content = stripLeadingZeros(bigEndian);
    if (content.front() & 0x80) content.insert(content.begin(), 0x00);
    return element(tag::integer, content);
}

Bytes objectIdentifier(std::initializer_list<std::uint32_t> arcs)
{
    assert(arcs.size() >= 2);
    auto arc = arcs.begin();
    Bytes content{static_cast<std::uint8_t>(40 * arc[0] + arc[1])};
    for (arc += 2; arc != arcs.end(); ++arc) {
        Bytes groups{static_cast<std::uint8_t>(*arc & 0x7F)};
        for (std::uint32_t rest = *arc >> 7; rest > 0; rest >>= 7) {
            groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (rest & 0x7F)));
        }
        append(content, groups);
    }
    return element(tag::objectIdentifier, content);
}

Bytes null() { return Bytes{tag::null, 0x00}; }

Bytes bitString(ByteView bytes)
{
    Bytes content{0x00}; // no unused bits
    append(content, bytes);
    return element(tag::bitString, content);
}

namespace {
Bytes text(std::uint8_t tag, std::string_view text)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    return element(tag, ByteView(data, text.size()));
}

Bytes constructed(std::uint8_t tag, std::initializer_list<ByteView> members)
{
    Bytes content;
    for (ByteView member : members) append(content, member);
    return element(tag, content);
}
} // namespace

Bytes utf8String(std::string_view value) { return text(tag::utf8String, value); }
Bytes utcTime(std::string_view value) { return text(tag::utcTime, value); }
Bytes generalizedTime(std::string_view value) { return text(tag::generalizedTime, value); }
Bytes sequence(std::initializer_list<ByteView> members) { return constructed(tag::sequence, members); }
Bytes set(std::initializer_list<ByteView> members) { return constructed(tag::set, members); }
Bytes context0(ByteView member) { return element(tag::context0, member); }

} // namespace telvanto::identity::der
