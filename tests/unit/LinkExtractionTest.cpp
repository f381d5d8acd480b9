#include "linksender/LinkSender.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::linksender;
using namespace std::string_literals;
using Item = LinkSender::Item;

namespace {

Item url(std::string text) { return LinkSender::UrlItem{std::move(text)}; }
Item bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }
// About a megabyte of the unit: a finder that went quadratic on it would not finish.
std::string huge(std::string_view unit)
{
    std::string out;
    while (out.size() < (1u << 20)) out += unit;
    return out;
}

} // namespace

// Text (a std::string item) is searched for its first web link; a URL item, and bytes that
// form a URL, are that URL and nothing else; the scheme must be exactly "http" or "https".
TEST(LinkExtraction, FirstWebLinkOfEachItem)
{
    const std::string limit(WebLink::maxLength - 18, 'a');
    const struct {
        Item item;
        std::string link; // "-": none
    } cases[] = {
        {"Pozri si toto: https://example.com/a?b=c."s, "https://example.com/a?b=c"},
        {"(viac na https://a.example/x)"s, "https://a.example/x"},
        {"(https://sk.wikipedia.org/wiki/Dunaj_(rieka))"s, "https://sk.wikipedia.org/wiki/Dunaj_(rieka)"},
        {"<https://a.example/x>"s, "https://a.example/x"},
        {"„https://a.example/x“ a ďalej"s, "https://a.example/x"},
        {"Link:https://a.example"s, "https://a.example"},
        {"www.example.sk/cesta!"s, "http://www.example.sk/cesta"},
        {"WWW.EXAMPLE.SK"s, "http://www.example.sk"},
        {"www.čaj.sk"s, "http://www.xn--aj-dma.sk"},
        {"wwwx www.example"s, "-"},
        {"awww.example.sk"s, "-"},
        {"Napíš na jan@example.sk alebo pozri https://example.sk/kontakt"s, "https://example.sk/kontakt"},
        {"info@www.example.sk-."s, "-"},
        {"www.info@example.sk"s, "-"},
        {"HTTPS://A.EXAMPLE a https://b.example"s, "https://b.example"},
        {"xhttps://evil.example"s, "-"},
        {"git+ssh.x-y://a.example https://b.example"s, "https://b.example"},
        {"1://a 2https://a.example"s, "https://a.example"},
        {"https:// a.example"s, "-"},
        {"http://[::1]:8080/x"s, "http://[::1]:8080/x"},
        {"https://münchen.de/straße"s, "https://xn--mnchen-3ya.de/stra%C3%9Fe"},
        {"https://a.example/x\xff"s, "https://a.example/x"},
        {"😀https://a.example/😀"s, "https://a.example/%F0%9F%98%80"},
        {"https://a.example/%zz"s, "https://a.example/%25zz"},
        {huge("www.a("), "-"},
        {huge("a") + "@b.example", "-"},
        {"https://a.example/" + huge(")"), "https://a.example/"},
        {huge("https://"), "-"},
        {"https://a.example/" + huge("x") + " https://b.example", "https://b.example"},
        {Item(), "-"},
        {url("https://a.example/x"), "https://a.example/x"},
        {url("https:video"), "https:video"}, // no host, still sent
        {url("HTTPS://A.EXAMPLE"), "-"},
        {url("file:///home/jan/a.html"), "-"},
        {url("pozri https://a.example"), "-"},
        {url("https://a.example/" + limit), "https://a.example/" + limit},
        {url("https://a.example/a" + limit), "-"},
        {url("http:"), "-"},
        {url("https://a.example/\r\nX: 1"), "https://a.example/%0D%0AX:%201"},
        {bytes("https://a.example/x."), "https://a.example/x."},
        {bytes("https://a.example/x\n"), "https://a.example/x"},
        {bytes("Pozri https://a.example"), "https://a.example"},
        {bytes("<https://a.example>"), "https://a.example"},
        {bytes("a_b:https://a.example"), "https://a.example"},
        {bytes("www.a.example"), "http://www.a.example"},
        {bytes("\xe0\xa0\x80\xed\x9f\xbf\xf0\x90\x80\x80 https://a.example"), "https://a.example"},
        {bytes("Note:https://a.example"), "-"},
        {bytes("x+1.b-c:https://a.example"), "-"},
        {bytes("Note: https://a.example"), "https://a.example"},
        {"Note:https://a.example"s, "https://a.example"},
        {bytes("\xff\xfe https://a.example"), "-"},
        {bytes("\x80 https://a.example"), "-"},
    };
    for (const auto& c : cases) {
        const auto found = LinkSender::linkFrom(c.item);
        EXPECT_EQ(found ? found->text() : "-", c.link) << "row " << &c - cases;
    }
}
