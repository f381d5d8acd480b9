// Shared items are anyone's bytes: the finder must stay inside the text, move forward, and
// whatever it yields must be a sendable web link.
#include "linksender/LinkFinder.h"
#include "linksender/LinkSender.h"

#include <algorithm>

using namespace telvanto;
using namespace telvanto::linksender;

namespace {

void check(bool condition)
{
    if (!condition) __builtin_trap();
}

void checkSendable(const std::optional<WebLink>& link)
{
    if (!link) return;
    const std::string& text = link->text();
    check(text.starts_with("http:") || text.starts_with("https:"));
    check(text.size() <= WebLink::maxLength);
    check(std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7f; }));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    LinkFinder finder(text);
    std::size_t last = 0;
    while (auto match = finder.next()) {
        check(match->begin >= last && match->begin < match->end && match->end <= size);
        last = match->end;
    }
    checkSendable(LinkSender::linkIn(text));
    checkSendable(LinkSender::linkFrom(Bytes(data, data + size)));
    checkSendable(LinkSender::linkFrom(LinkSender::UrlItem{std::string(text)}));
    return 0;
}
