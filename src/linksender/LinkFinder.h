#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace telvanto::linksender {

// Finds links in free text the way people paste them, in order of appearance: scheme links
// ("https://…", "ftp://…", kept as written), "www." addresses (read as "http://www.…") and
// mail addresses (read as "mailto:…"). A link ends at white space, at quotes and angle
// brackets, at typographic quotes and ellipses, and at bytes that are not UTF-8; trailing
// punctuation and closing brackets without their opening partner are left out.
//
// One pass over the text, whatever it holds: every byte is looked at a bounded number of
// times, so megabytes of hostile text cost milliseconds.
class LinkFinder {
public:
    struct Match {
        std::size_t begin = 0; // bytes of the text the link was read from
        std::size_t end = 0;
        std::string url;
        bool operator==(const Match&) const = default;
    };

    // Longer local parts and domains are no mail addresses (RFC 5321 limits).
    static constexpr std::size_t maxMailLocalPart = 64;
    static constexpr std::size_t maxMailDomain = 255;
    // Longer "schemes" are words glued to a link, not a scheme.
    static constexpr std::size_t maxSchemeLength = 32;

    // The finder keeps a view: the text must outlive it.
    explicit LinkFinder(std::string_view text) : text_(text) {}

    // The next link, or none when the text has no more.
    std::optional<Match> next();

private:
    std::optional<Match> schemeLink(std::size_t colon) const;
    std::optional<Match> wwwLink(std::size_t at) const;
    std::optional<Match> mailAddress(std::size_t at) const;
    // The end of a link whose body starts at from, trailing punctuation left out.
    std::size_t linkEnd(std::size_t from) const;
    // Length of the UTF-8 character at i when it may be part of a link, else 0.
    std::size_t linkCharLength(std::size_t i) const;

    std::string_view text_;
    std::size_t pos_ = 0;   // where scanning goes on
    std::size_t floor_ = 0; // end of the last match: no later match reaches back before it
};

} // namespace telvanto::linksender
