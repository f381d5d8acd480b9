#pragma once

#include "core/Bytes.h"
#include "share/SharedItems.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMimeData;

namespace telvanto::share {

// Where sendora's shared items come from: its arguments, standard input, the clipboard.
namespace sources {

// A shared link is in the first megabytes of what was shared or nowhere that matters; the
// rest is not read, so a huge file or an endless pipe costs nothing.
inline constexpr std::size_t maxItemSize = 4u << 20;
// Standard input that stays silent this long is taken as complete.
inline constexpr std::chrono::milliseconds stdinIdleLimit{10000};

enum class LinkFile { internetShortcut, desktopEntry };

// The URL a link file names: the URL key of [InternetShortcut] in a .url file, or of a
// [Desktop Entry] of Type=Link in a .desktop file.
std::optional<std::string> linkFileUrl(std::string_view content, LinkFile kind);

// Reads until end of file, maxBytes, an error, or idleLimit without data.
Bytes readStream(int fd, std::size_t maxBytes, std::chrono::milliseconds idleLimit);

// Text from bytes of unknown quality: invalid UTF-8 becomes U+FFFD.
std::string textFromBytes(ByteView bytes);

// One item per argument: "-" is standard input (bytes); a regular file or a local file: URL
// gives its content as text, or, for a .url or .desktop link file, its URL; an argument that
// looks like a URL is offered as one and as text; anything else is text.
std::vector<InputItem> itemsFromArguments(const std::vector<std::string>& arguments, int stdinFd = 0,
                                          std::chrono::milliseconds idleLimit = stdinIdleLimit);

// The clipboard as one item: each entry of a URI list as a URL, and the text (as a URL too
// when it is one address alone). None when it holds neither.
std::optional<InputItem> itemFromMimeData(const QMimeData& data);

} // namespace sources
} // namespace telvanto::share
