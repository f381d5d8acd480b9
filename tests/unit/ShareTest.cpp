// Sharing a link: where it comes from (arguments, files, standard input, the clipboard, the
// command line), what counts as one, and how the sender gets it to the TV over a scripted TV in
// virtual time.
#include "share/CommandLine.h"
#include "share/ItemSources.h"

#include "ShareRig.h"
#include "TempDir.h"

#include <QMimeData>
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace telvanto;
using namespace telvanto::linksender;
using namespace telvanto::share;
using namespace telvanto::share::sources;
using namespace telvanto::testing;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

const std::string notPaired = "Najprv otvor Telvanto a spáruj ho s TV.", unreachable = "TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?";
const std::string timeout = "TV neodpovedala včas, skús to znova.", sentLink = "key:224,link:https://www.example.com/watch?v=42";
const std::string sendTo = "send to www.example.com: identity=", started = "remote started, sending link";

LinkSender::Item url(std::string text) { return LinkSender::UrlItem{std::move(text)}; }
LinkSender::Item bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }
// About a megabyte of the unit: a finder that went quadratic on it would not finish.
std::string huge(std::string_view unit) { std::string out; while (out.size() < (1u << 20)) out += unit; return out; }

std::string textOf(const std::optional<WebLink>& link) { return link ? link->text() : "-"; }
std::string linkOf(const std::vector<InputItem>& items) { return textOf(ShareFlow::findLink(items)); }

} // namespace

// Text (a std::string item) is searched for its first web link; a URL item, and bytes that
// form a URL, are that URL and nothing else; the scheme must be exactly "http" or "https".
TEST(LinkExtraction, FirstWebLinkOfEachItem)
{
    const std::string limit(WebLink::maxLength - 18, 'a');
    const struct { LinkSender::Item item; std::string link; } cases[] = { // link "-": none
        {"(https://sk.wikipedia.org/wiki/Dunaj_(rieka))"s, "https://sk.wikipedia.org/wiki/Dunaj_(rieka)"},
        {"„https://a.example/x“ a ďalej"s, "https://a.example/x"},
        {"www.čaj.sk/straße"s, "http://www.xn--aj-dma.sk/stra%C3%9Fe"},
        {"awww.example.sk"s, "-"},
        {"Napíš na jan@example.sk alebo pozri https://example.sk/kontakt"s, "https://example.sk/kontakt"},
        {"info@www.example.sk-."s, "-"},
        {"www.sme.sk@example.sk"s, "-"}, // a mail address, not a link to example.sk
        {"1-2.3+4://a 2https://a.example"s, "https://a.example"}, // a scheme starts with a letter
        {"https:// a.example"s, "-"},
        {"http://[::1]:8080/x"s, "http://[::1]:8080/x"},
        {"https://a.example/x\xff"s, "https://a.example/x"},
        {"😀https://a.example/😀"s, "https://a.example/%F0%9F%98%80"},
        {huge("www.a("), "-"},
        {huge("a") + "@b.example", "-"},
        {"https://a.example/" + huge(")"), "https://a.example/"},
        {url("HTTPS://A.EXAMPLE"), "-"},
        {url("https://a.example/" + limit), "https://a.example/" + limit},
        {url("https://a.example/a" + limit), "-"},
        {url("http:"), "-"},
        {bytes("x+1.b-c_d:https://a.example"), "https://a.example"}, // no scheme: searched as text
        {bytes("www.a.example"), "http://www.a.example"},
        {bytes("Note:https://a.example"), "-"},
        {bytes("\xe0\xa0\x80\xed\x9f\xbf\xff https://a.example"), "-"}, // UTF-8 up to the 0xff
    };
    for (const auto& c : cases) EXPECT_EQ(textOf(LinkSender::linkFrom(c.item)), c.link) << "row " << &c - cases;
}

// Each row plays the TV; exactly one outcome follows, at its time, and a success asks to close the
// sheet 1 s later. The feature mask confirmed is the TV's AND 615, or 615 for none. Without all that
// pairing stores, or without a link, nothing is tried and the outcome is there before start returns.
TEST(LinkSender, OneOutcomePerSend)
{
    const struct { PairedStore::Items stored; const char* script; std::string sent, events; int exit; std::string log; } cases[] = {
        {{}, "share 1000 off noise 1500 start", sentLink, "done@1800 close@2800", 0, started}, // once; the rest is ignored
        {{}, "share 1000 start 1100 close:io", sentLink, "done@1100 close@2100", 0, "closed sent=1 error=io(\"io\")"},
        {{}, "share 1000 close:tls", "", notPaired + "@1000", 2, "closed sent=0 error=tls(\"tls\")"}, // forgot us, or another TV
        {{}, "share conf=0 ping=-3 1000 close", "configure:615,ping:-3", unreachable + "@1000", 3, "closed sent=0 error=none"},
        {{}, "share conf=4096 active conf=65535", "configure:0,active:0,configure:615", timeout + "@10000", 4, sendTo + "1 pin=1 tv=1"},
        {{}, "share 9500 start", sentLink, "done@10300 close@11300", 0, started},
        {{true, true, nullptr}, "share", "", notPaired + "@0", 2, sendTo + "1 pin=1 tv=0"},
        {{true, true, ""}, "share", "", notPaired + "@0", 2, sendTo + "1 pin=1 tv=0"},
        {{true, false}, "share", "", notPaired + "@0", 2, sendTo + "1 pin=0 tv=1"},
        {{false}, "share", "", notPaired + "@0", 2, sendTo + "0 pin=1 tv=1"},
        {{}, "nothing", "", "V zdieľanom obsahu nie je žiadny odkaz.@0", 1, "share items=0 link found=0 site=-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        ShareRig rig(c.stored);
        rig.play(c.script);
        const bool atOnce = c.events.ends_with("@0");
        EXPECT_TRUE(!atOnce || rig.events == c.events) << rig.events; // before start returned
        rig.scheduler.advance(1min);
        rig.play("share=https://second.example"); // a flow runs once
        EXPECT_EQ(rig.events, c.events);
        EXPECT_EQ(static_cast<int>(exitStatus(rig.flow)), c.exit);
        EXPECT_EQ(rig.log.lines.front(), c.exit == 1 ? c.log : "share items=1 link found=1 site=www.example.com");
        EXPECT_EQ(rig.log.lines.back(), c.log);
        ASSERT_TRUE(rig.scheduler.pending() == 0 && rig.channels.opened.size() == (atOnce ? 0u : 1u)) << rig.channels.opened.size();
        if (atOnce) continue;
        EXPECT_EQ(rig.sent(), c.sent);
        EXPECT_TRUE(rig.tv().disposed && rig.tv().cancelled == (c.exit != 0)); // a sent link is left to go out, the rest is cut off
    }
    EXPECT_TRUE(ShareFlow::State::failed("a") == ShareFlow::State::failed("a") && ShareFlow::State::failed("a") != ShareFlow::State::failed("b"));
    ShareRig rig; // a link without a host goes out too
    rig.play("share=https:video start");
    EXPECT_EQ(rig.log.lines, (std::vector<std::string>{"share items=1 link found=1 site=-", "send to -: identity=1 pin=1 tv=1", started}));
    EXPECT_TRUE(rig.sent() == "key:224,link:https:video" && exitStatus(rig.flow) == ExitStatus::interrupted) << rig.sent(); // still sending
}

// The owner may let go of a sender at any time, even from inside its completion; a sender
// serves one link.
TEST(LinkSender, ADroppedSenderStaysSilent)
{
    for (const bool inCompletion : {false, true}) {
        ShareRig rig;
        auto sender = std::make_unique<LinkSender>(rig.services());
        int calls = 0;
        sender->send(*WebLink::parse("https://a.example"), [&](LinkSender::Result) { ++calls, sender.reset(); });
        sender->send(*WebLink::parse("https://b.example"), [&](LinkSender::Result) { ++calls; });
        rig.play("start");
        if (!inCompletion) sender.reset();
        rig.play("close 60000");
        EXPECT_EQ(calls, inCompletion ? 1 : 0);
        EXPECT_TRUE(rig.sent() == "key:224,link:https://a.example" && rig.tv().disposed && rig.scheduler.pending() == 0) << rig.sent();
    }
}

TEST(ShareFlow, SearchesUrlsAcrossAllItemsBeforeText)
{
    const Attachment failedLoads{{{ItemType::url, std::nullopt}, {ItemType::plainText, std::nullopt}}}, empty{{{ItemType::url, LinkSender::Item()}}};
    const std::pair<std::vector<Attachment>, std::string> cases[] = {
        {{Attachment::text("pozri https://text.example"), Attachment::url("https://url.example")}, "https://url.example"},
        {{Attachment::url("file:///home/jan/a.html"), Attachment::text("https://text.example")}, "https://text.example"},
        {{failedLoads, empty, Attachment::url("https://url.example")}, "https://url.example"}, // skipped
    };
    for (const auto& [attachments, link] : cases) EXPECT_EQ(linkOf({{attachments}}), link);
}

TEST(CommandLine, ParsesOptionsAndItems)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"https://a.example", "-", "a b"}, "gui port=6466 [https://a.example] [-] [a b]"},
        {{"--no-gui", "--clipboard", "--remote-port", "7000", "x"}, "no-gui clipboard port=7000 [x]"},
        {{"--remote-port=1", "--help"}, "gui help port=1"},
        {{"--", "--no-gui", "-x"}, "gui port=6466 [--no-gui] [-x]"},
        {{"--remote-port"}, "usage error"}, {{"--remote-port=0"}, "usage error"}, {{"--remote-port=65536"}, "usage error"},
        {{"--remote-port=80x"}, "usage error"}, {{"--remote-port=-1"}, "usage error"}, {{"--bogus"}, "usage error"},
    };
    for (const auto& [arguments, expected] : cases) {
        const auto parsed = CommandLine::parse(arguments);
        const auto* line = std::get_if<CommandLine>(&parsed);
        std::string out = !line ? "usage error" : std::string(line->gui ? "gui" : "no-gui") + (line->clipboard ? " clipboard" : "") + (line->help ? " help" : "") + " port=" + std::to_string(line->port);
        for (const auto& item : line ? line->items : std::vector<std::string>{}) out += " [" + item + "]";
        EXPECT_EQ(out, expected);
    }
}

// Qt aborts when its platform reaches no display: the choice is made from the environment
// first, with "offscreen" as the last resort that tells there was none ("asked": chosen by the user).
TEST(CommandLine, GuiPlatformFromTheEnvironment)
{
    const std::pair<std::map<std::string, std::string>, std::string> cases[] = {
        {{{"XDG_SESSION_TYPE", "wayland"}}, "none"}, // a session type alone is no display
        {{{"DISPLAY", ":0"}}, "xcb;offscreen"},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, "wayland;offscreen"},
        {{{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}, "wayland;xcb;offscreen"},
        {{{"QT_QPA_PLATFORM", "xcb;offscreen:x=1"}, {"DISPLAY", ":0"}}, "xcb;offscreen:x=1 asked"},
        {{{"QT_QPA_PLATFORM", "offscreenx"}}, "offscreenx;offscreen"},
    };
    for (const auto& row : cases) {
        const auto chosen = GuiPlatform::choose([&row](const char* name) { return row.first.contains(name) ? row.first.at(name) : std::string(); });
        EXPECT_EQ(chosen ? chosen->candidates + (chosen->offscreenAsked ? " asked" : "") : "none", row.second) << row.second;
    }
}

// Rows with a file name write that file and pass its path; the others pass the text itself.
TEST(ItemSources, ArgumentsFilesAndLinkFiles)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0); // would block a careless open
    const struct { std::string file, argument, link; } cases[] = { // argument: the content when a file is named
        {"", "https://a.example/x)", "https://a.example/x)"}, // offered as a URL first: text search would leave the bracket out
        {"", "Note:https://a.example", "https://a.example"}, // an argument is text too, unlike bytes
        {"latin1.txt", "caf\xe9 https://latin.example", "https://latin.example"},
        {"", "file://" + (dir / "latin1.txt").string(), "https://latin.example"},
        {"a.URL", "\xEF\xBB\xBF[DEFAULT]\r\nBASEURL=https://base.example\r\n[internetshortcut]\r\nurl = https://s.example/\r\n", "https://s.example/"},
        {"n.url", "[InternetShortcut]\nIconFile=https://icon.example\n", "https://icon.example"}, // no URL: read as text
        {"l.desktop", "[Desktop Action x]\nURL=https://action.example\n[Desktop Entry]\nURL=https://d.example/a\\sb\nType=Link\n", "https://d.example/a%20b"},
        {"g.desktop", std::string("\0\xff[\n=\n[Desktop Entry\nURL", 20), "-"},
        {"", (dir / "fifo").string(), "-"},
        {"big.txt", std::string(maxItemSize, 'x') + " https://late.example", "-"}, // only the first megabytes count
    };
    for (const auto& c : cases) {
        if (!c.file.empty()) std::ofstream(dir / c.file, std::ios::binary) << c.argument;
        EXPECT_EQ(linkOf(itemsFromArguments({c.file.empty() ? c.argument : (dir / c.file).string()}, -1, 0ms)), c.link) << c.argument;
    }
}

// Standard input is bytes (so "Note:https://…" on it would be no link), read until its end or
// until it stays silent.
TEST(ItemSources, StandardInputIsBytesUntilEndOrSilence)
{
    for (const bool closed : {true, false}) {
        int fds[2];
        ASSERT_TRUE(::pipe(fds) == 0 && ::write(fds[1], "<https://stdin.example>", 23) == 23);
        if (closed) ::close(fds[1]);
        const auto items = itemsFromArguments({"-"}, fds[0], closed ? 10s : 0ms);
        EXPECT_TRUE(std::holds_alternative<Bytes>(*items.at(0).attachments.at(0).load(ItemType::plainText)) && linkOf(items) == "https://stdin.example") << closed;
        ::close(fds[0]);
        if (!closed) ::close(fds[1]);
    }
    EXPECT_EQ(linkOf(itemsFromArguments({"-"}, -1, 10s)), "-"); // no standard input at all
}

// A URL offer keeps a closing bracket that text search leaves out.
TEST(ItemSources, ClipboardLinksArriveAsUrls)
{
    const struct { QString format; QByteArray data; std::string link; } cases[] = { // link "": no item at all
        {"text/uri-list", "# comment\r\nhttps://a.example/1)\r\nhttps://b.example/2\r\n", "https://a.example/1)"},
        {"text/plain", "  https://a.example/x) \n", "https://a.example/x)"}, // a URL alone
        {"text/plain", "Pozri https://a.example/x), fakt.", "https://a.example/x"},
        {"image/png", "\x89PNG", ""},
        {"text/plain", "x" + QString(qsizetype(maxItemSize), QChar(0x010D)).toUtf8() + " https://late.example", "-"}, // cut inside a "č"
    };
    for (const auto& c : cases) {
        QMimeData data;
        data.setData(c.format, c.data);
        const auto item = itemFromMimeData(data);
        EXPECT_EQ(item ? linkOf({*item}) : "", c.link) << "row " << &c - cases;
    }
}
