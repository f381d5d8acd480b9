#include "protocol/PairingMsg.h"

#include "protocol/ProtoFields.h"
#include "protocol/ProtoWriter.h"
#include "protocol/Varint.h"

namespace telvanto::protocol::PairingMsg {

namespace {

constexpr std::int64_t encodingHexadecimal = 3;
constexpr std::int64_t symbolLength = 6;
constexpr std::int64_t roleInput = 1; // the user types the code shown on the TV

Bytes outer(std::uint64_t payloadField, const Bytes& payload)
{
    Bytes message;
    appendVarintField(message, 1, protocolVersion);
    appendVarintField(message, 2, statusOk);
    appendBytesField(message, payloadField, payload);
    return framed(message);
}

Bytes hexEncoding()
{
    Bytes encoding;
    appendVarintField(encoding, 1, encodingHexadecimal);
    appendVarintField(encoding, 2, symbolLength);
    return encoding;
}

} // namespace

Bytes request(std::string_view clientName)
{
    Bytes payload;
    appendBytesField(payload, 1, std::string_view("atvremote"));
    appendBytesField(payload, 2, clientName);
    return outer(10, payload);
}

Bytes option()
{
    Bytes payload;
    appendBytesField(payload, 1, hexEncoding());
    appendVarintField(payload, 3, roleInput);
    return outer(20, payload);
}

Bytes configuration()
{
    Bytes payload;
    appendBytesField(payload, 1, hexEncoding());
    appendVarintField(payload, 2, roleInput);
    return outer(30, payload);
}

Bytes secret(ByteView secret)
{
    Bytes payload;
    appendBytesField(payload, 1, secret);
    return outer(40, payload);
}

Reply decode(ByteView payload)
{
    const auto m = ProtoFields::parse(payload);
    if (!m) return reply::Other{};
    const std::int64_t status = m->integer(2).value_or(0);
    if (status != statusOk) return reply::Failed{status};
    if (m->has(11)) return reply::RequestAck{};
    if (m->has(20)) return reply::Option{};
    if (m->has(31)) return reply::ConfigurationAck{};
    if (m->has(41)) return reply::SecretAck{};
    return reply::Other{};
}

} // namespace telvanto::protocol::PairingMsg
