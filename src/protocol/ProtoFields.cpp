#include "protocol/ProtoFields.h"

#include "core/Utf8.h"
#include "protocol/Varint.h"

namespace telvanto::protocol {

namespace {

// Reads one varint at pos; none when it runs past the end or past ten bytes.
std::optional<std::uint64_t> readVarint(ByteView in, std::size_t& pos)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < maxVarintLength; ++i) {
        if (pos >= in.size()) return std::nullopt;
        const std::uint8_t b = in[pos++];
        value |= static_cast<std::uint64_t>(b & 0x7F) << (7 * i);
        if ((b & 0x80) == 0) return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<ProtoFields> ProtoFields::parse(ByteView in)
{
    ProtoFields fields;
    std::size_t pos = 0;
    while (pos < in.size()) {
        const auto tag = readVarint(in, pos);
        if (!tag) return std::nullopt;
        const std::uint64_t field = *tag >> 3;
        switch (*tag & 7) {
        case 0: {
            const auto value = readVarint(in, pos);
            if (!value) return std::nullopt;
            fields.varints[field].push_back(static_cast<std::int64_t>(*value));
            break;
        }
        case 2: {
            const auto length = readVarint(in, pos);
            if (!length || *length > maxFieldLength || *length > in.size() - pos) return std::nullopt;
            fields.bytes[field].push_back(in.subspan(pos, *length));
            pos += *length;
            break;
        }
        case 1:
        case 5: {
            const std::size_t width = (*tag & 7) == 1 ? 8 : 4;
            if (in.size() - pos < width) return std::nullopt;
            pos += width;
            break;
        }
        default: // 3, 4 (groups), 6, 7 (undefined)
            return std::nullopt;
        }
    }
    return fields;
}

std::optional<ProtoFields> ProtoFields::message(std::uint64_t field) const
{
    const auto it = bytes.find(field);
    if (it == bytes.end()) return std::nullopt;
    return parse(it->second.front());
}

std::optional<std::int64_t> ProtoFields::integer(std::uint64_t field) const
{
    const auto it = varints.find(field);
    if (it == varints.end()) return std::nullopt;
    return it->second.front();
}

std::optional<std::string> ProtoFields::string(std::uint64_t field) const
{
    const auto it = bytes.find(field);
    if (it == bytes.end()) return std::nullopt;
    std::string text = toString(it->second.front());
    if (!isValidUtf8(text)) return std::nullopt;
    return text;
}

std::optional<bool> ProtoFields::boolean(std::uint64_t field) const
{
    const auto value = integer(field);
    if (!value) return std::nullopt;
    return *value != 0;
}

} // namespace telvanto::protocol
