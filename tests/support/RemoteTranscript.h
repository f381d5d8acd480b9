#pragma once

#include "FakeChannel.h"
#include "TvMsg.h"

#include <string>
#include <vector>

namespace telvanto::testing {

// What the remote sent, one readable line per frame: "configure 615", "key 224",
// "appLink https://…", so tests compare whole conversations.
inline std::string describeRemoteFrame(const Bytes& frame)
{
    namespace from = tvsim::TvMsg::from;
    const auto message = tvsim::TvMsg::decodeRemote(payloadOf(frame));
    if (const auto* m = std::get_if<from::Configure>(&message)) return "configure " + std::to_string(m->features);
    if (const auto* m = std::get_if<from::SetActive>(&message)) return "setActive " + std::to_string(m->value);
    if (const auto* m = std::get_if<from::PingResponse>(&message)) return "ping " + std::to_string(m->value);
    if (const auto* m = std::get_if<from::Key>(&message))
        return "key " + std::to_string(m->code) + " " + std::to_string(m->direction);
    if (const auto* m = std::get_if<from::AppLink>(&message)) return "appLink " + m->link;
    return "unknown";
}

inline std::vector<std::string> transcript(const std::vector<Bytes>& frames)
{
    std::vector<std::string> lines;
    for (const Bytes& frame : frames) lines.push_back(describeRemoteFrame(frame));
    return lines;
}

} // namespace telvanto::testing
