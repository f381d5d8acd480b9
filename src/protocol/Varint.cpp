#include "protocol/Varint.h"

namespace telvanto::protocol {

void appendVarint(Bytes& out, std::uint64_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

Bytes encodeVarint(std::uint64_t value)
{
    Bytes out;
    appendVarint(out, value);
    return out;
}

Bytes framed(ByteView message)
{
    Bytes out;
    out.reserve(message.size() + 3);
    appendVarint(out, message.size());
    append(out, message);
    return out;
}

} // namespace telvanto::protocol
