#include "protocol/TVKey.h"

namespace telvanto::protocol {

std::optional<TVKey> tvKeyFromCode(long long code)
{
    for (TVKey key : allTVKeys) {
        if (keyCode(key) == code) return key;
    }
    return std::nullopt;
}

std::string_view tvKeyName(TVKey key)
{
    switch (key) {
    case TVKey::home: return "home";
    case TVKey::back: return "back";
    case TVKey::up: return "up";
    case TVKey::down: return "down";
    case TVKey::left: return "left";
    case TVKey::right: return "right";
    case TVKey::center: return "center";
    case TVKey::volumeUp: return "volumeUp";
    case TVKey::volumeDown: return "volumeDown";
    case TVKey::power: return "power";
    case TVKey::enter: return "enter";
    case TVKey::deleteKey: return "delete";
    case TVKey::menu: return "menu";
    case TVKey::playPause: return "playPause";
    case TVKey::next: return "next";
    case TVKey::previous: return "previous";
    case TVKey::rewind: return "rewind";
    case TVKey::fastForward: return "fastForward";
    case TVKey::mute: return "mute";
    case TVKey::settings: return "settings";
    case TVKey::sleep: return "sleep";
    case TVKey::wakeUp: return "wakeUp";
    }
    return "";
}

std::optional<TVKey> tvKeyFromName(std::string_view name)
{
    for (TVKey key : allTVKeys) {
        if (tvKeyName(key) == name) return key;
    }
    return std::nullopt;
}

} // namespace telvanto::protocol
