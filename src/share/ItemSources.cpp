#include "share/ItemSources.h"

#include <QMimeData>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telvanto::share::sources {

namespace {

std::string_view trim(std::string_view text)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// A desktop entry value with its escapes (\s \n \t \r \\) resolved.
std::string unescapeDesktopValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        default: out += value[i]; break;
        }
    }
    return out;
}

// An argument that is a URL as a whole: a scheme, then no white space or control characters.
bool looksLikeUrl(std::string_view text)
{
    const auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (text.empty() || !isAlpha(text[0])) return false;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = text[i];
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    }
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 0x20 && c != 0x7f; });
}

Attachment urlAndText(std::string text)
{
    return {{{ItemType::url, linksender::LinkSender::UrlItem{text}}, {ItemType::plainText, std::move(text)}}};
}

// The content of a regular file, none for anything else (directories, pipes, devices):
// opened without blocking and checked after opening, so a swapped-in pipe cannot stall us.
std::optional<Bytes> readRegularFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<Bytes> content;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) content = readStream(fd, maxItemSize, std::chrono::milliseconds(0));
    ::close(fd);
    return content;
}

Attachment fileAttachment(const std::string& path, const Bytes& content)
{
    const std::string_view text(reinterpret_cast<const char*>(content.data()), content.size());
    std::optional<std::string> url;
    if (endsWithIgnoringCase(path, ".url")) url = linkFileUrl(text, LinkFile::internetShortcut);
    if (endsWithIgnoringCase(path, ".desktop")) url = linkFileUrl(text, LinkFile::desktopEntry);
    if (url) return Attachment::url(std::move(*url));
    return Attachment::text(textFromBytes(content));
}

// At most maxItemSize bytes of UTF-8, cut at a character boundary.
std::string capped(std::string text)
{
    if (text.size() <= maxItemSize) return text;
    std::size_t cut = maxItemSize;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text;
}

} // namespace

std::optional<std::string> linkFileUrl(std::string_view content, LinkFile kind)
{
    if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
    std::string_view section;
    std::optional<std::string> url;
    bool isLink = false;
    while (!content.empty()) {
        const std::size_t newline = content.find('\n');
        const std::string_view line = trim(content.substr(0, newline));
        content.remove_prefix(newline == std::string_view::npos ? content.size() : newline + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[') {
            section = line.back() == ']' ? line.substr(1, line.size() - 2) : std::string_view();
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = trim(line.substr(0, equals));
        const std::string_view value = trim(line.substr(equals + 1));
        switch (kind) {
        case LinkFile::internetShortcut:
            if (!url && equalsIgnoringCase(section, "InternetShortcut") && equalsIgnoringCase(key, "URL"))
                url = std::string(value);
            isLink = true;
            break;
        case LinkFile::desktopEntry:
            if (section != "Desktop Entry") break;
            if (key == "URL" && !url) url = unescapeDesktopValue(value);
            if (key == "Type") isLink = value == "Link";
            break;
        }
    }
    if (!isLink || !url || url->empty()) return std::nullopt;
    return url;
}

Bytes readStream(int fd, std::size_t maxBytes, std::chrono::milliseconds idleLimit)
{
    Bytes out;
    if (fd < 0) return out; // poll would wait out the limit on it
    std::array<std::uint8_t, 65536> buffer{};
    while (out.size() < maxBytes) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(idleLimit.count()));
        if (ready == 0) break;
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        const ssize_t n = ::read(fd, buffer.data(), std::min(buffer.size(), maxBytes - out.size()));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN && idleLimit.count() > 0) continue;
            break;
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    return out;
}

std::string textFromBytes(ByteView bytes)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()))
        .toStdString();
}

std::vector<InputItem> itemsFromArguments(const std::vector<std::string>& arguments, int stdinFd,
                                          std::chrono::milliseconds idleLimit)
{
    std::vector<InputItem> items;
    for (const std::string& argument : arguments) {
        if (argument == "-") {
            items.push_back({{Attachment::bytes(ItemType::plainText, readStream(stdinFd, maxItemSize, idleLimit))}});
            continue;
        }
        std::string path = argument;
        if (argument.starts_with("file:")) {
            const QUrl url(QString::fromStdString(argument));
            if (url.isLocalFile()) path = url.toLocalFile().toStdString();
        }
        if (auto content = readRegularFile(path)) {
            items.push_back({{fileAttachment(path, *content)}});
        } else if (looksLikeUrl(argument)) {
            items.push_back({{urlAndText(argument)}});
        } else {
            items.push_back({{Attachment::text(argument)}});
        }
    }
    return items;
}

std::optional<InputItem> itemFromMimeData(const QMimeData& data)
{
    InputItem item;
    if (data.hasFormat(QStringLiteral("text/uri-list"))) {
        const QByteArray list = data.data(QStringLiteral("text/uri-list")).left(static_cast<qsizetype>(maxItemSize));
        for (const QByteArray& raw : list.split('\n')) {
            const std::string_view line = trim(std::string_view(raw.constData(), static_cast<std::size_t>(raw.size())));
            if (!line.empty() && line.front() != '#') item.attachments.push_back(Attachment::url(std::string(line)));
        }
    }
    // Not hasText(): it also answers for a bare URI list, whose text would repeat it.
    if (data.hasFormat(QStringLiteral("text/plain"))) {
        std::string text = capped(data.text().toStdString());
        const std::string_view alone = trim(text);
        if (looksLikeUrl(alone)) {
            item.attachments.push_back(urlAndText(std::string(alone)));
        } else {
            item.attachments.push_back(Attachment::text(std::move(text)));
        }
    }
    if (item.attachments.empty()) return std::nullopt;
    return item;
}

} // namespace telvanto::share::sources
