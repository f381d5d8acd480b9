#include "protocol/ProtoWriter.h"

#include "protocol/Varint.h"

namespace telvanto::protocol {

void appendVarintField(Bytes& out, std::uint64_t field, std::int64_t value)
{
    appendVarint(out, field << 3 | 0);
    appendVarint(out, static_cast<std::uint64_t>(value));
}

void appendBytesField(Bytes& out, std::uint64_t field, ByteView bytes)
{
    appendVarint(out, field << 3 | 2);
    appendVarint(out, bytes.size());
    append(out, bytes);
}

void appendBytesField(Bytes& out, std::uint64_t field, std::string_view text)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    appendBytesField(out, field, ByteView(data, text.size()));
}

Bytes framedMessage(std::uint64_t field, ByteView inner)
{
    Bytes message;
    appendBytesField(message, field, inner);
    return framed(message);
}

} // namespace telvanto::protocol
