#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace telvanto::linksender {

// A web address the TV may be asked to open. parse is the only way to make one, so nothing
// but an "http" or "https" link can ever reach the wire.
class WebLink {
public:
    // The TV drops frames over 256 KiB and would then look like it had taken the link; no
    // address a person shares comes near this.
    static constexpr std::size_t maxLength = 65536;

    // The scheme must be exactly "http" or "https" (lower case: the TV matches schemes
    // case-sensitively). None for anything else, for text that is no valid URL, and for links
    // longer than maxLength once encoded.
    static std::optional<WebLink> parse(std::string_view text);

    // The absolute, percent-encoded form (printable ASCII only): what the TV receives.
    const std::string& text() const { return text_; }
    // The host as people read it; empty when the link has none.
    const std::string& host() const { return host_; }

    bool operator==(const WebLink&) const = default;

private:
    WebLink(std::string text, std::string host) : text_(std::move(text)), host_(std::move(host)) {}

    std::string text_;
    std::string host_;
};

} // namespace telvanto::linksender
