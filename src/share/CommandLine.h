#pragma once

#include "share/ShareFlow.h"

#include <QtGlobal>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace telvanto::share {

// sendora [--no-gui] [--clipboard] [--remote-port N] [--] [ITEM...]
struct CommandLine {
    bool gui = true;
    bool clipboard = false;
    bool help = false;
    quint16 port = linksender::LinkSender::defaultPort;
    std::vector<std::string> items; // as given; "-" is standard input

    static constexpr std::string_view usage =
        "Usage: sendora [--no-gui] [--clipboard] [--remote-port N] [--] [ITEM...]\n"
        "Sends the first web link in the shared items to the paired TV.\n"
        "  ITEM              a web address, a file (.url and .desktop link files give their\n"
        "                    address), '-' for standard input, or any text\n"
        "  --clipboard       share what the clipboard holds, after the items\n"
        "  --no-gui          print the outcome instead of showing the status sheet (so does\n"
        "                    a run without a display)\n"
        "  --remote-port N   the TV's remote port (default 6466)\n"
        "Exit status: 0 sent, 1 no link, 2 not paired, 3 TV unreachable, 4 no answer in time,\n"
        "5 closed while sending, 64 bad usage, 70 status sheet missing.\n";

    struct UsageError {
        std::string message;
    };
    // The arguments after the program name.
    static std::variant<CommandLine, UsageError> parse(const std::vector<std::string>& arguments);
};

// The Qt platforms for the status sheet and the clipboard. Qt aborts the process when its
// platform reaches no display, so this is decided before QGuiApplication exists.
struct GuiPlatform {
    // For QT_QPA_PLATFORM: the display platforms to try, then "offscreen", which Qt falls
    // back to when none of them answers.
    std::string candidates;
    // The user chose the offscreen platform, so it counts as a display.
    bool offscreenAsked = false;

    // From the environment (QT_QPA_PLATFORM, WAYLAND_DISPLAY, XDG_SESSION_TYPE, DISPLAY);
    // none when there is no display to try at all.
    static std::optional<GuiPlatform> choose(const std::function<std::string(const char* name)>& environment);
};

// What sendora reports to the shell.
enum class ExitStatus {
    sent = 0,
    noLink = 1,
    notPaired = 2,
    unreachable = 3,
    timeout = 4,
    interrupted = 5, // the sheet was closed before the outcome was known
    usage = 64,      // EX_USAGE
    software = 70,   // EX_SOFTWARE: the status sheet could not be loaded
};

ExitStatus exitStatus(const ShareFlow& flow);

} // namespace telvanto::share
