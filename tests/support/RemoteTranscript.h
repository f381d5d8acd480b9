#pragma once

#include "FakeChannel.h"
#include "TvMsg.h"

#include <string>
#include <vector>

namespace telvanto::testing {

// What reached the TV on a remote channel, one word per frame: "configure:615", "active:615",
// "ping:7", "key:19", "del", "ime:<text>@<ime>/<field>", "link:<link>", "?" (undecodable).
inline std::vector<std::string> received(const FakeChannel& channel)
{
    using namespace tvsim::TvMsg::from;
    using std::to_string;
    std::vector<std::string> out;
    for (const Bytes& frame : channel.sent) {
        const auto m = tvsim::TvMsg::decodeRemote(payloadOf(frame));
        if (const auto* c = std::get_if<Configure>(&m)) out.push_back("configure:" + to_string(c->features));
        else if (const auto* a = std::get_if<SetActive>(&m)) out.push_back("active:" + to_string(a->value));
        else if (const auto* p = std::get_if<PingResponse>(&m)) out.push_back("ping:" + to_string(p->value));
        else if (const auto* k = std::get_if<Key>(&m)) out.push_back(k->code == 67 ? "del" : "key:" + to_string(k->code));
        else if (const auto* i = std::get_if<ImeBatch>(&m)) out.push_back("ime:" + i->text + "@" + to_string(i->ime) + "/" + to_string(i->field));
        else if (const auto* l = std::get_if<AppLink>(&m)) out.push_back("link:" + l->link);
        else out.push_back("?");
    }
    return out;
}

} // namespace telvanto::testing
