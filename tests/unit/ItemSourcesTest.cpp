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

} // namespace

// Rows with a file name write that file and pass its path; the others pass the text itself.
TEST(ItemSources, ArgumentsFilesAndLinkFiles)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0); // would block a careless open
    const struct {
        std::string file;
        std::string argument; // the content when a file is named
        std::string link;
    } cases[] = {
        {"", "https://a.example/x", "https://a.example/x"},
        {"", "Pozri www.text.example", "http://www.text.example"},
        {"", "Note:https://a.example", "https://a.example"}, // an argument is text too, unlike bytes
        {"", "HTTPS://A.EXAMPLE", "-"},
        {"notes.txt", "Pozri si www.notes.example, je to dobré.", "http://www.notes.example"},
        {"", "file://" + (dir / "notes.txt").string(), "http://www.notes.example"},
        {"latin1.txt", "caf\xe9 https://latin.example", "https://latin.example"},
        {"a.URL", "\xEF\xBB\xBF[DEFAULT]\r\nBASEURL=https://base.example\r\n[internetshortcut]\r\nurl = https://s.example/\r\n",
         "https://s.example/"},
        {"n.url", "[InternetShortcut]\nIconFile=https://icon.example\n", "https://icon.example"}, // no URL: read as text
        {"l.desktop", "[Desktop Entry]\nURL=https://d.example/a\\sb\nType=Link\n", "https://d.example/a%20b"},
        {"x.desktop", "[Desktop Action x]\nURL=https://action.example\n[Desktop Entry]\nType=Link\nURL=https://entry.example\n",
         "https://entry.example"},
        {"app.desktop", "[Desktop Entry]\nType=Application\nURL=https://url.example\nComment=www.comment.example\n",
         "https://url.example"}, // read as text
        {"g.desktop", std::string("\0\xff[\n=\n[Desktop Entry\nURL", 20), "-"},
        {"", (dir / "fifo").string(), "-"},
        {"", (dir / "missing.txt").string(), "-"},
    };
    for (const auto& c : cases) {
        if (!c.file.empty()) std::ofstream(dir / c.file, std::ios::binary) << c.argument;
        EXPECT_EQ(linkOf(itemsFromArguments({c.file.empty() ? c.argument : (dir / c.file).string()}, -1, 0ms)), c.link) << c.argument;
    }
    EXPECT_EQ(linkOf(itemsFromArguments({"https://first.example text", "https://second.example"}, -1, 0ms)), "https://second.example");
    // Only the first megabytes count; the file's tail is not read.
    std::ofstream(dir / "big.txt") << std::string(maxItemSize - 30, 'x') + " https://early.example " + std::string(1000, 'y') + " https://late.example";
    const auto items = itemsFromArguments({(dir / "big.txt").string()}, -1, 0ms);
    EXPECT_LE(std::get<std::string>(*items.at(0).attachments.at(0).load(ItemType::plainText)).size(), maxItemSize + 3);
    EXPECT_EQ(linkOf(items), "https://early.example");
}

// Standard input is bytes (so "Note:https://…" on it is no link), read until its end or until
// it stays silent.
TEST(ItemSources, StandardInputIsBytesUntilEndOrSilence)
{
    for (const bool closed : {true, false}) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ASSERT_EQ(::write(fds[1], "Pozri https://stdin.example\n", 28), 28);
        if (closed) ::close(fds[1]);
        const auto items = itemsFromArguments({"-"}, fds[0], closed ? 10s : 0ms);
        EXPECT_TRUE(std::holds_alternative<Bytes>(*items.at(0).attachments.at(0).load(ItemType::plainText)));
        EXPECT_EQ(linkOf(items), "https://stdin.example") << closed;
        ::close(fds[0]);
        if (!closed) ::close(fds[1]);
    }
    EXPECT_EQ(linkOf(itemsFromArguments({"-"}, -1, 10s)), "-"); // no standard input at all
}

TEST(ItemSources, ClipboardLinksArriveAsUrls)
{
    const struct {
        std::vector<std::pair<QString, QByteArray>> formats;
        std::string offered; // per attachment: its types, u(rl) and t(ext); empty: no item
        std::string link;
    } cases[] = {
        {{{"text/uri-list", "# comment\r\nhttps://a.example/1\r\nhttps://b.example/2\r\n"}}, "u u", "https://a.example/1"},
        {{{"text/plain", "  https://a.example/x \n"}}, "ut", "https://a.example/x"},
        {{{"text/plain", "Pozri https://a.example/x, fakt."}}, "t", "https://a.example/x"},
        {{{"text/plain", "HTTPS://A.EXAMPLE"}}, "ut", "-"},
        {{{"text/uri-list", "file:///tmp/a.txt\n"}, {"text/plain", "www.b.example"}}, "u t", "http://www.b.example"},
        {{{"image/png", "\x89PNG"}}, "", "-"},
    };
    for (const auto& c : cases) {
        QMimeData data;
        for (const auto& [format, bytes] : c.formats) data.setData(format, bytes);
        const auto item = itemFromMimeData(data);
        std::string offered;
        for (const Attachment& a : item ? item->attachments : std::vector<Attachment>{}) {
            offered += offered.empty() ? "" : " ";
            for (const auto& offer : a.offers) offered += offer.type == ItemType::url ? "u" : "t";
        }
        EXPECT_EQ(offered, c.offered) << c.link;
        EXPECT_EQ(linkOf(item ? std::vector<InputItem>{*item} : std::vector<InputItem>{}), c.link);
    }
    QMimeData huge;
    huge.setText(QString(qsizetype(maxItemSize), QChar(0x010D)) + QStringLiteral(" https://late.example"));
    const auto text = std::get<std::string>(*itemFromMimeData(huge)->attachments.at(0).load(ItemType::plainText));
    EXPECT_LE(text.size(), maxItemSize);
    EXPECT_EQ(text.size() % 2, 0u); // cut between characters
}
