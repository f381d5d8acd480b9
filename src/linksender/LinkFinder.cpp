#include "linksender/LinkFinder.h"

#include <array>
#include <utility>

namespace telvanto::linksender {

namespace {

bool isAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isAlnum(unsigned char c) { return isAlpha(c) || isDigit(c); }
bool isSchemeChar(unsigned char c) { return isAlnum(c) || c == '+' || c == '-' || c == '.'; }
bool isMailLocalChar(unsigned char c)
{
    return isAlnum(c) || c == '.' || c == '_' || c == '%' || c == '+' || c == '-';
}
bool isMailDomainChar(unsigned char c) { return isAlnum(c) || c == '.' || c == '-'; }
bool isOneOf(unsigned char c, std::string_view set) { return c != 0 && set.find(static_cast<char>(c)) != std::string_view::npos; }

// Characters that glue a "www." to the word before it (a path, a mail address, a host).
bool gluesToWww(unsigned char c) { return isAlnum(c) || isOneOf(c, "._-@/:%+~=&#?\\"); }

// Strict UTF-8: the code point and its length, or length 0 for an invalid sequence.
std::pair<char32_t, std::size_t> decodeUtf8(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return {0, 0};
    }
    if (i + length > text.size()) return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80) return {0, 0};
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {0, 0};
    return {cp, length};
}

// Non-ASCII characters that end a link: spaces and invisible marks, typographic quotes,
// ellipsis, CJK punctuation, the replacement character of text that was not UTF-8.
bool endsLink(char32_t cp)
{
    static constexpr std::array<std::pair<char32_t, char32_t>, 18> ranges{{
        {0x0080, 0x00A0}, {0x00AB, 0x00AB}, {0x00BB, 0x00BB}, {0x1680, 0x1680}, {0x2000, 0x200F},
        {0x2018, 0x201F}, {0x2026, 0x2026}, {0x2028, 0x202F}, {0x2039, 0x203A}, {0x205F, 0x206F},
        {0x3000, 0x3002}, {0x3008, 0x3011}, {0xFE50, 0xFE6F}, {0xFEFF, 0xFEFF}, {0xFF01, 0xFF01},
        {0xFF08, 0xFF0C}, {0xFF1A, 0xFF1F}, {0xFFF9, 0xFFFD},
    }};
    for (const auto& [first, last] : ranges) {
        if (cp >= first && cp <= last) return true;
    }
    return false;
}

} // namespace

std::optional<LinkFinder::Match> LinkFinder::next()
{
    for (std::size_t i = pos_; i < text_.size(); ++i) {
        std::optional<Match> match;
        switch (text_[i]) {
        case ':':
            match = schemeLink(i);
            break;
        case 'w':
        case 'W':
            match = wwwLink(i);
            break;
        case '@':
            match = mailAddress(i);
            break;
        default:
            break;
        }
        if (match) {
            pos_ = floor_ = match->end;
            return match;
        }
    }
    pos_ = text_.size();
    return std::nullopt;
}

std::size_t LinkFinder::linkCharLength(std::size_t i) const
{
    const auto c = static_cast<unsigned char>(text_[i]);
    if (c < 0x80) return (c <= 0x20 || c == 0x7F || isOneOf(c, "<>\"`")) ? 0 : 1;
    const auto [cp, length] = decodeUtf8(text_, i);
    return (length == 0 || endsLink(cp)) ? 0 : length;
}

std::size_t LinkFinder::linkEnd(std::size_t from) const
{
    std::size_t end = from;
    // Brackets are counted once, so trimming a long run of closers stays linear.
    std::array<std::ptrdiff_t, 3> balance{}; // () [] {}: closers minus openers
    static constexpr std::string_view openers = "([{";
    static constexpr std::string_view closers = ")]}";
    while (end < text_.size()) {
        const std::size_t length = linkCharLength(end);
        if (length == 0) break;
        if (length == 1) {
            if (auto k = openers.find(text_[end]); k != std::string_view::npos) --balance[k];
            if (auto k = closers.find(text_[end]); k != std::string_view::npos) ++balance[k];
        }
        end += length;
    }
    while (end > from) {
        const char last = text_[end - 1];
        if (isOneOf(static_cast<unsigned char>(last), ".,:;!?'*")) {
            --end;
            continue;
        }
        if (auto k = closers.find(last); k != std::string_view::npos && balance[k] > 0) {
            --balance[k];
            --end;
            continue;
        }
        break;
    }
    return end;
}

std::optional<LinkFinder::Match> LinkFinder::schemeLink(std::size_t colon) const
{
    if (text_.substr(colon, 3) != "://") return std::nullopt;
    std::size_t begin = colon;
    while (begin > floor_ && colon - begin < maxSchemeLength && isSchemeChar(static_cast<unsigned char>(text_[begin - 1])))
        --begin;
    if (begin > floor_ && isSchemeChar(static_cast<unsigned char>(text_[begin - 1]))) return std::nullopt;
    // A scheme starts with a letter: "2https://" is a digit before a link.
    while (begin < colon && !isAlpha(static_cast<unsigned char>(text_[begin]))) ++begin;
    if (begin == colon) return std::nullopt;

    const std::size_t body = colon + 3;
    if (body >= text_.size()) return std::nullopt;
    const auto first = static_cast<unsigned char>(text_[body]);
    if (!isAlnum(first) && first != '[' && first < 0x80) return std::nullopt; // no host
    const std::size_t end = linkEnd(body);
    if (end == body) return std::nullopt;
    return Match{begin, end, std::string(text_.substr(begin, end - begin))};
}

std::optional<LinkFinder::Match> LinkFinder::wwwLink(std::size_t at) const
{
    if (text_.size() - at < 4) return std::nullopt;
    for (std::size_t k = 0; k < 3; ++k) {
        if ((text_[at + k] | 0x20) != 'w') return std::nullopt;
    }
    if (text_[at + 3] != '.') return std::nullopt;
    if (at > floor_ && gluesToWww(static_cast<unsigned char>(text_[at - 1]))) return std::nullopt;

    // The host alone first: a rejected candidate must not cost a scan of what follows it.
    std::size_t hostEnd = at + 4;
    while (hostEnd < text_.size()) {
        const auto c = static_cast<unsigned char>(text_[hostEnd]);
        if (isAlnum(c) || c == '-' || c == '.') {
            ++hostEnd;
        } else if (const std::size_t length = c >= 0x80 ? linkCharLength(hostEnd) : 0; length > 0) {
            hostEnd += length;
        } else {
            break;
        }
    }
    if (hostEnd < text_.size() && text_[hostEnd] == '@') return std::nullopt; // a mail address
    std::string_view host = text_.substr(at + 4, hostEnd - at - 4);
    while (!host.empty() && (host.back() == '.' || host.back() == '-')) host.remove_suffix(1);
    // A label, a dot, a label: "www.sme.sk", not "www.sme".
    const std::size_t dot = host.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || host.find("..") != std::string_view::npos) return std::nullopt;

    const std::size_t end = linkEnd(at);
    return Match{at, end, "http://" + std::string(text_.substr(at, end - at))};
}

std::optional<LinkFinder::Match> LinkFinder::mailAddress(std::size_t at) const
{
    std::size_t begin = at;
    while (begin > floor_ && at - begin < maxMailLocalPart && isMailLocalChar(static_cast<unsigned char>(text_[begin - 1])))
        --begin;
    if (begin > floor_ && isMailLocalChar(static_cast<unsigned char>(text_[begin - 1]))) return std::nullopt;
    while (begin < at && text_[begin] == '.') ++begin;
    if (begin == at) return std::nullopt;

    std::size_t end = at + 1;
    while (end < text_.size() && end - at - 1 <= maxMailDomain && isMailDomainChar(static_cast<unsigned char>(text_[end])))
        ++end;
    if (end - at - 1 > maxMailDomain) return std::nullopt;
    while (end > at + 1 && (text_[end - 1] == '.' || text_[end - 1] == '-')) --end;
    const std::string_view domain = text_.substr(at + 1, end - at - 1);
    const std::size_t dot = domain.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || domain.find("..") != std::string_view::npos) return std::nullopt;
    const std::string_view top = domain.substr(dot + 1);
    bool letters = top.size() >= 2;
    for (char c : top) letters = letters && isAlpha(static_cast<unsigned char>(c));
    if (!letters && !top.starts_with("xn--")) return std::nullopt;
    return Match{begin, end, "mailto:" + std::string(text_.substr(begin, end - begin))};
}

} // namespace telvanto::linksender
