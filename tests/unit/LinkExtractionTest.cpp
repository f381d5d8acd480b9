#include "linksender/LinkFinder.h"
#include "linksender/LinkSender.h"
#include "linksender/WebLink.h"

#include <gtest/gtest.h>

#include <random>

using namespace telvanto;
using namespace telvanto::linksender;
using namespace std::string_literals;

namespace {

std::string found(const std::optional<WebLink>& link) { return link ? link->text() : "-"; }

std::vector<std::string> allMatches(std::string_view text)
{
    std::vector<std::string> urls;
    LinkFinder finder(text);
    while (auto match = finder.next()) urls.push_back(match->url);
    return urls;
}

bool isSendable(const std::string& text)
{
    return (text.starts_with("http:") || text.starts_with("https:")) && !text.ends_with(':') &&
           std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

} // namespace

TEST(LinkExtraction, FirstWebLinkInText)
{
    const struct {
        const char* name;
        std::string text;
        std::string link; // "-": none
    } cases[] = {
        {"bare", "https://example.com", "https://example.com"},
        {"sentence end", "Pozri si toto: https://example.com/a?b=c.", "https://example.com/a?b=c"},
        {"comma list", "https://a.example, https://b.example", "https://a.example"},
        {"in parentheses", "(viac na https://a.example/x)", "https://a.example/x"},
        {"balanced parentheses kept", "(https://sk.wikipedia.org/wiki/Dunaj_(rieka))",
         "https://sk.wikipedia.org/wiki/Dunaj_(rieka)"},
        {"angle brackets", "<https://a.example/x>", "https://a.example/x"},
        {"single quotes", "'https://a.example/x'", "https://a.example/x"},
        {"slovak quotes", "„https://a.example/x“", "https://a.example/x"},
        {"ellipsis", "https://a.example/x… a ďalej", "https://a.example/x"},
        {"glued to a label", "Link:https://a.example", "https://a.example"},
        {"www", "www.example.sk/cesta!", "http://www.example.sk/cesta"},
        {"www upper case", "WWW.EXAMPLE.SK", "http://www.example.sk"},
        {"www without domain", "www.example", "-"},
        {"www inside a word", "awww.example.sk", "-"},
        {"mail before web", "Napíš na jan@example.sk alebo pozri https://example.sk/kontakt",
         "https://example.sk/kontakt"},
        {"mail with www domain", "info@www.example.sk", "-"},
        {"mail with www local part", "www.info@example.sk", "-"},
        {"mailto", "mailto:jan@example.sk", "-"},
        {"upper-case scheme skipped", "HTTPS://A.EXAMPLE a https://b.example", "https://b.example"},
        {"other scheme first", "ftp://files.example a https://a.example", "https://a.example"},
        {"javascript", "javascript:alert(1) https://ok.example", "https://ok.example"},
        {"longer scheme", "xhttps://evil.example", "-"},
        {"no host", "https:// a.example", "-"},
        {"ipv6 and port", "http://[::1]:8080/x", "http://[::1]:8080/x"},
        {"idn host and path", "https://münchen.de/straße", "https://xn--mnchen-3ya.de/stra%C3%9Fe"},
        {"zero-width space ends", "https://a.example/x\u200by", "https://a.example/x"},
        {"nul ends", "https://a.example/x\0y"s, "https://a.example/x"},
        {"invalid utf-8 ends", "https://a.example/x\xff", "https://a.example/x"},
        {"emoji around", "😀https://a.example/😀", "https://a.example/%F0%9F%98%80"},
        {"percent signs", "https://a.example/%zz", "https://a.example/%25zz"},
        {"empty", "", "-"},
        {"too long skipped", "https://a.example/" + std::string(WebLink::maxLength, 'a') + " https://b.example",
         "https://b.example"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(found(LinkSender::linkIn(c.text)), c.link) << c.name;
    }
}

TEST(LinkExtraction, FinderReportsEveryKindInOrder)
{
    EXPECT_EQ(allMatches("Kontakt jan@a.example, web „www.b.example“ a ftp://c.example/x. x@y"),
              (std::vector<std::string>{"mailto:jan@a.example", "http://www.b.example", "ftp://c.example/x"}));
    LinkFinder finder("pred „www.a.example“");
    EXPECT_EQ(finder.next(), (LinkFinder::Match{8, 21, "http://www.a.example"}));
}

TEST(LinkExtraction, ItemsFollowTheExactSchemeRule)
{
    using Item = LinkSender::Item;
    const auto bytes = [](std::string s) { return Item(Bytes(s.begin(), s.end())); };
    const auto url = [](std::string s) { return Item(LinkSender::UrlItem{std::move(s)}); };
    const struct {
        const char* name;
        Item item;
        std::string link;
    } cases[] = {
        {"no item", Item(), "-"},
        {"url https", url("https://a.example/x"), "https://a.example/x"},
        {"url http", url("http://a.example"), "http://a.example"},
        {"url without host still goes", url("https:video"), "https:video"},
        {"url upper-case scheme", url("HTTPS://A.EXAMPLE"), "-"},
        {"url file", url("file:///home/jan/a.html"), "-"},
        {"url is not searched as text", url("pozri https://a.example"), "-"},
        {"url at the length limit", url("https://a.example/" + std::string(WebLink::maxLength - 18, 'a')),
         "https://a.example/" + std::string(WebLink::maxLength - 18, 'a')},
        {"url over the length limit", url("https://a.example/" + std::string(WebLink::maxLength - 17, 'a')), "-"},
        {"url scheme alone", url("http:"), "-"},
        {"url control characters encoded", url("https://a.example/\r\nX: 1"), "https://a.example/%0D%0AX:%201"},
        {"url idn", url("https://münchen.de:8443/a?b=c#d"), "https://xn--mnchen-3ya.de:8443/a?b=c#d"},
        {"bytes url", bytes("https://a.example/x."), "https://a.example/x."},
        {"bytes url with newline", bytes("https://a.example/x\n"), "https://a.example/x"},
        {"bytes www", bytes("www.a.example"), "http://www.a.example"},
        {"bytes text", bytes("Pozri https://a.example"), "https://a.example"},
        {"bytes url of another scheme", bytes("Note:https://a.example"), "-"},
        {"bytes mail url", bytes("mailto:jan@a.example?body=https://b.example"), "-"},
        {"bytes text with a scheme-like word", bytes("Note: https://a.example"), "https://a.example"},
        {"text url of another scheme", Item(std::string("Note:https://a.example")), "https://a.example"},
        {"bytes upper-case scheme", bytes("HTTPS://A.EXAMPLE"), "-"},
        {"bytes not utf-8", bytes("\xff\xfe https://a.example"), "-"},
        {"text", Item(std::string("Pozri https://a.example.")), "https://a.example"},
        {"text mail then web", Item(std::string("jan@a.example www.b.example")), "http://www.b.example"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(found(LinkSender::linkFrom(c.item)), c.link) << c.name;
    }
}

// Shapes that would make a careless finder quadratic or make it read out of bounds; each is
// megabytes long, and finishes at once when the scan is linear.
TEST(LinkExtraction, HostileTextIsScannedSafely)
{
    const auto repeat = [](std::string_view unit, std::size_t bytes) {
        std::string out;
        out.reserve(bytes + unit.size());
        while (out.size() < bytes) out += unit;
        return out;
    };
    constexpr std::size_t size = 1u << 20;
    std::mt19937 random(7);
    std::string noise(size, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::string urlish(size, '\0');
    const std::string_view alphabet = "w.:/@()[]ahtps-x ";
    for (char& c : urlish) c = alphabet[random() % alphabet.size()];

    const struct {
        const char* name;
        std::string text;
        std::string link;
    } cases[] = {
        {"www and parentheses", repeat("www.a(", size), "-"},
        {"long local part", repeat("a", size) + "@b.example", "-"},
        {"closing parentheses", "https://a.example/" + repeat(")", size), "https://a.example/"},
        {"schemes without host", repeat("https://", size), "-"},
        {"long link then short", "https://a.example/" + repeat("x", size) + " https://b.example",
         "https://b.example"},
        {"random bytes", noise, "?"},
        {"random url characters", urlish, "?"},
    };
    for (const auto& c : cases) {
        const auto link = LinkSender::linkIn(c.text);
        const auto fromBytes = LinkSender::linkFrom(Bytes(c.text.begin(), c.text.end()));
        EXPECT_TRUE(c.link == "?" || found(link) == c.link) << c.name;
        EXPECT_TRUE((!link || isSendable(link->text())) && (!fromBytes || isSendable(fromBytes->text()))) << c.name;
    }
}
