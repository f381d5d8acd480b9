#pragma once

#include "FakeChannel.h"
#include "TvMsg.h"

#include <string>
#include <vector>

namespace telvanto::testing {

// What the remote sent, one readable line per frame: "configure 615", "key 224 3",
// "appLink https://…", so tests compare whole conversations.
inline std::vector<std::string> transcript(const std::vector<Bytes>& frames)
{
    using namespace tvsim::TvMsg::from;
    using std::to_string;
    std::vector<std::string> lines;
    for (const Bytes& frame : frames) {
        const auto m = tvsim::TvMsg::decodeRemote(payloadOf(frame));
        if (const auto* c = std::get_if<Configure>(&m)) lines.push_back("configure " + to_string(c->features));
        else if (const auto* a = std::get_if<SetActive>(&m)) lines.push_back("setActive " + to_string(a->value));
        else if (const auto* p = std::get_if<PingResponse>(&m)) lines.push_back("ping " + to_string(p->value));
        else if (const auto* k = std::get_if<Key>(&m)) lines.push_back("key " + to_string(k->code) + " " + to_string(k->direction));
        else if (const auto* l = std::get_if<AppLink>(&m)) lines.push_back("appLink " + l->link);
        else lines.push_back("unknown");
    }
    return lines;
}

} // namespace telvanto::testing
