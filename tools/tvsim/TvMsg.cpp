#include "TvMsg.h"

#include "protocol/PairingMsg.h"
#include "protocol/ProtoFields.h"
#include "protocol/ProtoWriter.h"
#include "protocol/Varint.h"

namespace telvanto::tvsim::TvMsg {

using namespace telvanto::protocol;

namespace {

Bytes pairingOuter(std::int64_t status, std::uint64_t field, const Bytes& payload)
{
    Bytes message;
    appendVarintField(message, 1, PairingMsg::protocolVersion);
    appendVarintField(message, 2, status);
    if (field) appendBytesField(message, field, payload);
    return framed(message);
}

} // namespace

Bytes configure(std::int64_t features, std::string_view model, std::string_view vendor)
{
    Bytes device;
    appendBytesField(device, 1, model);
    appendBytesField(device, 2, vendor);
    appendVarintField(device, 3, 1);
    appendBytesField(device, 4, std::string_view("1"));
    appendBytesField(device, 5, std::string_view("com.google.android.tv.remote.service"));
    appendBytesField(device, 6, std::string_view("5.2.473254133"));
    Bytes body;
    appendVarintField(body, 1, features);
    appendBytesField(body, 2, device);
    return framedMessage(1, body);
}

Bytes setActive() { return framedMessage(2, {}); }

Bytes ping(std::int64_t value)
{
    Bytes body;
    appendVarintField(body, 1, value);
    return framedMessage(8, body);
}

Bytes start(bool on)
{
    Bytes body;
    appendVarintField(body, 1, on ? 1 : 0);
    return framedMessage(40, body);
}

Bytes volume(std::int64_t level, std::int64_t max, bool muted)
{
    Bytes body;
    appendVarintField(body, 1, 0);
    appendBytesField(body, 2, std::string_view("TV"));
    appendVarintField(body, 6, max);
    appendVarintField(body, 7, level);
    appendVarintField(body, 8, muted ? 1 : 0);
    return framedMessage(50, body);
}

Bytes currentApp(std::string_view package)
{
    Bytes appInfo;
    appendVarintField(appInfo, 1, 0);
    appendBytesField(appInfo, 12, package);
    Bytes inject;
    appendBytesField(inject, 1, appInfo);
    return framedMessage(20, inject);
}

Bytes imeBatch(std::int64_t ime, std::int64_t field)
{
    Bytes body;
    appendVarintField(body, 1, ime);
    appendVarintField(body, 2, field);
    return framedMessage(21, body);
}

Bytes error() { return framedMessage(3, {}); }

Bytes pairingRequestAck(std::string_view serverName)
{
    Bytes payload;
    appendBytesField(payload, 1, serverName);
    return pairingOuter(PairingMsg::statusOk, 11, payload);
}

Bytes pairingOption(bool emptyAck)
{
    Bytes payload;
    if (!emptyAck) {
        Bytes encoding;
        appendVarintField(encoding, 1, 3); // hexadecimal
        appendVarintField(encoding, 2, 6);
        appendBytesField(payload, 2, encoding); // output encodings: the TV shows the code
        appendVarintField(payload, 3, 1);
    }
    return pairingOuter(PairingMsg::statusOk, 20, payload);
}

Bytes pairingConfigurationAck() { return pairingOuter(PairingMsg::statusOk, 31, {}); }

Bytes pairingSecretAck(ByteView secret)
{
    Bytes payload;
    appendBytesField(payload, 1, secret);
    return pairingOuter(PairingMsg::statusOk, 41, payload);
}

Bytes pairingFailure(std::int64_t status) { return pairingOuter(status, 0, {}); }

FromRemote decodeRemote(ByteView payload)
{
    const auto m = ProtoFields::parse(payload);
    if (!m) return from::Unknown{};
    if (const auto c = m->message(1)) {
        from::Configure configure{c->integer(1).value_or(0), {}};
        if (const auto d = c->message(2)) configure.deviceName = d->string(5).value_or("");
        return configure;
    }
    if (const auto a = m->message(2)) return from::SetActive{a->integer(1).value_or(0)};
    if (const auto p = m->message(9)) return from::PingResponse{p->integer(1).value_or(0)};
    if (const auto k = m->message(10)) return from::Key{k->integer(1).value_or(0), k->integer(2).value_or(0)};
    if (const auto b = m->message(21)) {
        from::ImeBatch batch{b->integer(1).value_or(0), b->integer(2).value_or(0), {}};
        if (const auto edit = b->message(3)) {
            if (const auto text = edit->message(2)) batch.text = text->string(3).value_or("");
        }
        return batch;
    }
    if (const auto l = m->message(90)) return from::AppLink{l->string(1).value_or("")};
    return from::Unknown{};
}

FromPairing decodePairing(ByteView payload)
{
    const auto m = ProtoFields::parse(payload);
    if (!m) return pairing::Unknown{};
    if (const auto r = m->message(10)) return pairing::Request{r->string(1).value_or(""), r->string(2).value_or("")};
    if (m->has(20)) return pairing::Option{};
    if (m->has(30)) return pairing::Configuration{};
    if (const auto s = m->message(40)) {
        const auto it = s->bytes.find(1);
        if (it == s->bytes.end()) return pairing::Secret{};
        return pairing::Secret{Bytes(it->second.front().begin(), it->second.front().end())};
    }
    return pairing::Unknown{};
}

} // namespace telvanto::tvsim::TvMsg
