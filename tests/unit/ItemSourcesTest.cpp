#include "share/ItemSources.h"
#include "share/ShareFlow.h"

#include "TempDir.h"

#include <QMimeData>
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace telvanto;
using namespace telvanto::share;
using namespace telvanto::share::sources;
using telvanto::testing::TempDir;
using namespace std::chrono_literals;

namespace {

std::string linkOf(const std::vector<InputItem>& items)
{
    const auto link = ShareFlow::findLink(items);
    return link ? link->text() : "-";
}

// A pipe whose read end stands in for standard input.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe()
    {
        closeWriter();
        ::close(fds[0]);
    }
    void write(std::string_view data) { EXPECT_EQ(::write(fds[1], data.data(), data.size()), ssize_t(data.size())); }
    void closeWriter()
    {
        if (fds[1] >= 0) ::close(fds[1]);
        fds[1] = -1;
    }
    int fds[2] = {-1, -1};
};

} // namespace

// Rows with a file name write that file and pass its path; the others pass the text itself.
TEST(ItemSources, ArgumentsFilesAndLinkFiles)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0); // would block a careless open
    const struct {
        const char* name;
        std::string file;
        std::string argument; // the content when a file is named
        std::string link;
    } cases[] = {
        {"web address", "", "https://a.example/x", "https://a.example/x"},
        {"free text", "", "Pozri www.text.example", "http://www.text.example"},
        {"other scheme glued to a link", "", "Note:https://a.example", "https://a.example"},
        {"capital scheme", "", "HTTPS://A.EXAMPLE", "-"},
        {"text file", "notes.txt", "Pozri si www.notes.example, je to dobré.", "http://www.notes.example"},
        {"not utf-8 file", "latin1.txt", "caf\xe9 https://latin.example", "https://latin.example"},
        {"empty file", "empty.txt", "", "-"},
        {"internet shortcut", "a.URL", "\xEF\xBB\xBF[DEFAULT]\r\nBASEURL=https://base.example\r\n[internetshortcut]\r\nurl = https://s.example/\r\n",
         "https://s.example/"},
        {"shortcut to a file", "f.url", "[InternetShortcut]\nURL=file:///etc/passwd\n", "-"},
        {"shortcut without url read as text", "n.url", "[InternetShortcut]\nIconFile=https://icon.example\n",
         "https://icon.example"},
        {"desktop link", "l.desktop", "[Desktop Entry]\nURL=https://d.example/a\\sb\nType=Link\n", "https://d.example/a%20b"},
        {"desktop entry url, not the action's", "x.desktop",
         "[Desktop Action x]\nURL=https://action.example\n[Desktop Entry]\nType=Link\nURL=https://entry.example\n",
         "https://entry.example"},
        {"desktop application read as text", "app.desktop",
         "[Desktop Entry]\nType=Application\nURL=https://url.example\nComment=www.comment.example\n", "https://url.example"},
        {"garbled link file", "g.desktop", std::string("\0\xff[\n=\n[Desktop Entry\nURL", 20), "-"},
        {"directory", "", (dir / "folder").string(), "-"},
        {"fifo", "", (dir / "fifo").string(), "-"},
        {"missing file", "", (dir / "missing.txt").string(), "-"},
    };
    for (const auto& c : cases) {
        std::string argument = c.argument;
        if (!c.file.empty()) {
            std::ofstream(dir / c.file, std::ios::binary) << c.argument;
            argument = (dir / c.file).string();
        }
        EXPECT_EQ(linkOf(itemsFromArguments({argument}, -1, 0ms)), c.link) << c.name;
    }
    EXPECT_EQ(linkOf(itemsFromArguments({"file://" + (dir / "notes.txt").string()}, -1, 0ms)), "http://www.notes.example");
    const auto two = itemsFromArguments({"https://first.example text", "https://second.example"}, -1, 0ms);
    EXPECT_EQ(two.size(), 2u);
    EXPECT_EQ(linkOf(two), "https://second.example");

    std::string big(maxItemSize - 30, 'x');
    big += " https://early.example " + std::string(1000, 'y') + " https://late.example";
    std::ofstream(dir / "big.txt") << big;
    const auto items = itemsFromArguments({(dir / "big.txt").string()}, -1, 0ms);
    EXPECT_LE(std::get<std::string>(*items.at(0).attachments.at(0).load(ItemType::plainText)).size(), maxItemSize + 3);
    EXPECT_EQ(linkOf(items), "https://early.example");
}

TEST(ItemSources, StandardInputIsBytesUntilEndSilenceOrLimit)
{
    const struct {
        const char* name;
        std::string data;
        bool closed;
        std::string link;
    } cases[] = {
        {"closed", "Pozri https://stdin.example\n", true, "https://stdin.example"},
        {"left open: silence ends it", "https://open.example", false, "https://open.example"},
        {"binary", std::string("\xff\xfe\x00https://binary.example", 23), true, "-"},
        {"a URL of another scheme", "Note:https://a.example", true, "-"},
        {"text", "Note: https://a.example\n", true, "https://a.example"},
    };
    for (const auto& c : cases) {
        Pipe in;
        in.write(c.data);
        if (c.closed) in.closeWriter();
        const auto items = itemsFromArguments({"-"}, in.fds[0], c.closed ? 10s : 0ms);
        EXPECT_TRUE(std::holds_alternative<Bytes>(*items.at(0).attachments.at(0).load(ItemType::plainText))) << c.name;
        EXPECT_EQ(linkOf(items), c.link) << c.name;
    }
    EXPECT_EQ(linkOf(itemsFromArguments({"-"}, -1, 10s)), "-"); // no standard input at all
    Pipe in;
    in.write(std::string(5000, 'a'));
    EXPECT_EQ(readStream(in.fds[0], 1000, 0ms).size(), 1000u);
    EXPECT_EQ(readStream(in.fds[0], 100000, 0ms).size(), 4000u);
}

TEST(ItemSources, ClipboardLinksArriveAsUrls)
{
    using Formats = std::vector<std::pair<QString, QByteArray>>;
    const auto U = ItemType::url;
    const auto T = ItemType::plainText;
    const struct {
        const char* name;
        Formats formats;
        std::vector<std::vector<ItemType>> offered; // per attachment; empty: no item
        std::string link;
    } cases[] = {
        {"uri list", {{"text/uri-list", "# comment\r\nhttps://a.example/1\r\nhttps://b.example/2\r\n"}}, {{U}, {U}},
         "https://a.example/1"},
        {"copied link", {{"text/plain", "  https://a.example/x \n"}}, {{U, T}}, "https://a.example/x"},
        {"copied text", {{"text/plain", "Pozri https://a.example/x, fakt."}}, {{T}}, "https://a.example/x"},
        {"file list and text", {{"text/uri-list", "file:///tmp/a.txt\n"}, {"text/plain", "www.b.example"}}, {{U}, {T}},
         "http://www.b.example"},
        {"capital scheme", {{"text/plain", "HTTPS://A.EXAMPLE"}}, {{U, T}}, "-"},
        {"image only", {{"image/png", "\x89PNG"}}, {}, "-"},
        {"empty", {}, {}, "-"},
    };
    for (const auto& c : cases) {
        QMimeData data;
        for (const auto& [format, bytes] : c.formats) data.setData(format, bytes);
        const auto item = itemFromMimeData(data);
        std::vector<std::vector<ItemType>> offered;
        for (const Attachment& a : item ? item->attachments : std::vector<Attachment>{}) {
            offered.emplace_back();
            for (const auto& offer : a.offers) offered.back().push_back(offer.type);
        }
        EXPECT_EQ(offered, c.offered) << c.name;
        EXPECT_EQ(linkOf(item ? std::vector<InputItem>{*item} : std::vector<InputItem>{}), c.link) << c.name;
    }
    QMimeData huge;
    huge.setText(QString(qsizetype(maxItemSize), QChar(0x010D)) + QStringLiteral(" https://late.example"));
    const auto text = std::get<std::string>(*itemFromMimeData(huge)->attachments.at(0).load(ItemType::plainText));
    EXPECT_LE(text.size(), maxItemSize);
    EXPECT_EQ(text.size() % 2, 0u); // cut between characters
}
