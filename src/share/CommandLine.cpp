#include "share/CommandLine.h"

#include <algorithm>
#include <charconv>

namespace telvanto::share {

std::variant<CommandLine, CommandLine::UsageError> CommandLine::parse(const std::vector<std::string>& arguments)
{
    CommandLine line;
    bool options = true;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!options || argument == "-" || !argument.starts_with("-")) {
            line.items.push_back(argument);
        } else if (argument == "--") {
            options = false;
        } else if (argument == "--no-gui") {
            line.gui = false;
        } else if (argument == "--clipboard") {
            line.clipboard = true;
        } else if (argument == "-h" || argument == "--help") {
            line.help = true;
        } else if (argument == "--remote-port" || argument.starts_with("--remote-port=")) {
            std::string value;
            if (argument == "--remote-port") {
                if (i + 1 == arguments.size()) return UsageError{"--remote-port needs a port number"};
                value = arguments[++i];
            } else {
                value = argument.substr(std::string_view("--remote-port=").size());
            }
            unsigned port = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
            if (error != std::errc() || end != value.data() + value.size() || port == 0 || port > 65535)
                return UsageError{"not a port number: " + value};
            line.port = static_cast<quint16>(port);
        } else {
            return UsageError{"unknown option: " + argument};
        }
    }
    return line;
}

std::optional<GuiPlatform> GuiPlatform::choose(const std::function<std::string(const char*)>& environment)
{
    constexpr std::string_view offscreen = "offscreen";
    if (const std::string asked = environment("QT_QPA_PLATFORM"); !asked.empty()) {
        // The user's list comes first; only an abort is kept from it. An offscreen entry of
        // their own is a display they chose.
        bool offscreenListed = false;
        for (std::size_t start = 0; start <= asked.size();) {
            const std::size_t end = std::min(asked.find(';', start), asked.size());
            const std::string_view entry = std::string_view(asked).substr(start, end - start);
            offscreenListed = offscreenListed || entry.substr(0, entry.find(':')) == offscreen;
            start = end + 1;
        }
        return GuiPlatform{offscreenListed ? asked : asked + ";" + std::string(offscreen), offscreenListed};
    }
    const bool wayland = !environment("WAYLAND_DISPLAY").empty();
    const bool x11 = !environment("DISPLAY").empty();
    if (!wayland && !x11) return std::nullopt;
    // Qt's own order: Wayland in a Wayland session, then X11.
    std::string candidates;
    if (wayland || environment("XDG_SESSION_TYPE") == "wayland") candidates += "wayland;";
    if (x11) candidates += "xcb;";
    return GuiPlatform{candidates + std::string(offscreen), false};
}

ExitStatus exitStatus(const ShareFlow& flow)
{
    switch (flow.state().kind) {
    case ShareFlow::State::Kind::sending:
        return ExitStatus::interrupted;
    case ShareFlow::State::Kind::done:
        return ExitStatus::sent;
    case ShareFlow::State::Kind::failed:
        break;
    }
    switch (flow.failure().value_or(ShareFlow::Failure::noLink)) {
    case ShareFlow::Failure::noLink:
        return ExitStatus::noLink;
    case ShareFlow::Failure::notPaired:
        return ExitStatus::notPaired;
    case ShareFlow::Failure::unreachable:
        return ExitStatus::unreachable;
    case ShareFlow::Failure::timeout:
        return ExitStatus::timeout;
    }
    return ExitStatus::noLink;
}

} // namespace telvanto::share
