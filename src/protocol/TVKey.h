#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace telvanto::protocol {

// The remote keys, valued by their Android key codes.
enum class TVKey {
    home = 3,
    back = 4,
    up = 19,
    down = 20,
    left = 21,
    right = 22,
    center = 23,
    volumeUp = 24,
    volumeDown = 25,
    power = 26,
    enter = 66,
    deleteKey = 67, // "delete" is a C++ keyword; the key is named "delete" in text
    menu = 82,
    playPause = 85,
    next = 87,
    previous = 88,
    rewind = 89,
    fastForward = 90,
    mute = 164,
    settings = 176,
    sleep = 223,
    wakeUp = 224,
};

// Every key, in declaration order.
inline constexpr std::array allTVKeys = {
    TVKey::home, TVKey::back, TVKey::up, TVKey::down, TVKey::left, TVKey::right,
    TVKey::center, TVKey::volumeUp, TVKey::volumeDown, TVKey::power, TVKey::enter,
    TVKey::deleteKey, TVKey::menu, TVKey::playPause, TVKey::next, TVKey::previous,
    TVKey::rewind, TVKey::fastForward, TVKey::mute, TVKey::settings, TVKey::sleep,
    TVKey::wakeUp,
};

constexpr int keyCode(TVKey key) { return static_cast<int>(key); }

// None for a code outside the table.
std::optional<TVKey> tvKeyFromCode(long long code);

// The key's name as written in the protocol tables ("home", "volumeUp", "delete").
std::string_view tvKeyName(TVKey key);
std::optional<TVKey> tvKeyFromName(std::string_view name);

} // namespace telvanto::protocol
