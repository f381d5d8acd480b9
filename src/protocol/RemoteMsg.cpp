#include "protocol/RemoteMsg.h"

#include "core/Utf8.h"
#include "protocol/ProtoFields.h"
#include "protocol/ProtoWriter.h"
#include "protocol/Varint.h"

#include <algorithm>

namespace telvanto::protocol::RemoteMsg {

Bytes configure(std::int64_t features)
{
    Bytes deviceInfo;
    appendVarintField(deviceInfo, 3, 1);
    appendBytesField(deviceInfo, 4, std::string_view("1"));
    appendBytesField(deviceInfo, 5, std::string_view("Telvanto"));
    appendBytesField(deviceInfo, 6, std::string_view("1.0.0"));
    Bytes body;
    appendVarintField(body, 1, features);
    appendBytesField(body, 2, deviceInfo);
    return framedMessage(1, body);
}

Bytes setActive(std::int64_t value)
{
    Bytes body;
    appendVarintField(body, 1, value);
    return framedMessage(2, body);
}

Bytes pingResponse(std::int64_t value)
{
    Bytes body;
    appendVarintField(body, 1, value);
    return framedMessage(9, body);
}

Bytes key(TVKey key)
{
    Bytes body;
    appendVarintField(body, 1, keyCode(key));
    appendVarintField(body, 2, 3); // short press
    return framedMessage(10, body);
}

Bytes imeBatch(std::string_view text, std::int64_t ime, std::int64_t field)
{
    const std::size_t scalars = countScalars(text);
    const auto position = static_cast<std::int64_t>(scalars > 0 ? scalars - 1 : 0);
    Bytes textObject;
    appendVarintField(textObject, 1, position);
    appendVarintField(textObject, 2, position);
    appendBytesField(textObject, 3, text);
    Bytes edit;
    appendVarintField(edit, 1, 1);
    appendBytesField(edit, 2, textObject);
    Bytes body;
    appendVarintField(body, 1, ime);
    appendVarintField(body, 2, field);
    appendBytesField(body, 3, edit);
    return framedMessage(21, body);
}

Bytes appLink(std::string_view link)
{
    Bytes body;
    appendBytesField(body, 1, link);
    return framedMessage(90, body);
}

std::string marketLink(std::string_view package)
{
    return "market://launch?id=" + std::string(package);
}

Incoming decode(ByteView payload)
{
    const auto m = ProtoFields::parse(payload);
    if (!m) return in::Other{};

    if (const auto c = m->message(1)) {
        in::Configure configure{c->integer(1).value_or(0), {}, {}};
        if (const auto d = c->message(2)) {
            configure.model = d->string(1).value_or("");
            configure.vendor = d->string(2).value_or("");
        }
        return configure;
    }
    if (m->has(2)) return in::SetActive{};
    if (m->has(3)) return in::Error{};
    if (const auto p = m->message(8)) return in::Ping{p->integer(1).value_or(0)};
    if (const auto s = m->message(40)) return in::Start{s->boolean(1).value_or(false)};
    if (const auto v = m->message(50)) {
        return in::Volume{v->integer(7).value_or(0), v->integer(6).value_or(0), v->boolean(8).value_or(false)};
    }
    if (const auto inject = m->message(20)) {
        if (const auto appInfo = inject->message(1)) {
            if (auto package = appInfo->string(12)) return in::CurrentApp{std::move(*package)};
        }
    }
    if (const auto b = m->message(21)) return in::ImeBatch{b->integer(1).value_or(0), b->integer(2).value_or(0)};
    return in::Other{};
}

} // namespace telvanto::protocol::RemoteMsg
