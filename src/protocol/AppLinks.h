#pragma once

#include "protocol/RemoteMsg.h"

#include <array>
#include <string>
#include <string_view>

namespace telvanto::protocol {

// The link an app-link launch sends to open an app. Since a Play Store update in August 2026
// current Google TV devices ignore "market://launch?id=…", while links that an app itself
// handles still open it; so apps with a publicly documented link are opened by that link.
struct AppLink {
    std::string_view package;
    std::string_view link;
};

inline constexpr std::array appLinks = {
    // YouTube's pages are Android App Links of the YouTube apps; youtube.com lists the apps it
    // vouches for at https://www.youtube.com/.well-known/assetlinks.json.
    AppLink{"com.google.android.youtube.tv", "https://www.youtube.com"},
    // Title links, the form netflix.com shares (https://www.netflix.com/title/<id>).
    AppLink{"com.netflix.ninja", "https://www.netflix.com/title"},
    // The web player's address, https://play.hbomax.com, which the app takes over.
    AppLink{"com.wbd.stream", "https://play.hbomax.com"},
    // The service's own site, https://www.disneyplus.com, which the app takes over.
    AppLink{"com.disney.disneyplus", "https://www.disneyplus.com"},
    // "The Spotify app registers the spotify: URI scheme":
    // https://developer.spotify.com/documentation/android/tutorials/content-linking
    AppLink{"com.spotify.tv.android", "spotify:"},
};

// The documented link of a package in the table, else the market link by package name.
inline std::string launchLink(std::string_view package)
{
    for (const AppLink& entry : appLinks) {
        if (entry.package == package) return std::string(entry.link);
    }
    return RemoteMsg::marketLink(package);
}

} // namespace telvanto::protocol
