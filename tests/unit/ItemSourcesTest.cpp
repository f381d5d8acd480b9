#include "share/ItemSources.h"
#include "share/ShareFlow.h"

#include "TempDir.h"

#include <QMimeData>
#include <gtest/gtest.h>

#include <fcntl.h>
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

void writeFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// A pipe whose read end stands in for standard input.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe()
    {
        closeWriter();
        ::close(fds[0]);
    }
    void write(const std::string& data) { EXPECT_EQ(::write(fds[1], data.data(), data.size()), static_cast<ssize_t>(data.size())); }
    void closeWriter()
    {
        if (fds[1] >= 0) ::close(fds[1]);
        fds[1] = -1;
    }
    int reader() const { return fds[0]; }
    int fds[2] = {-1, -1};
};

} // namespace

TEST(ItemSources, LinkFilesNameTheirUrl)
{
    const struct {
        const char* name;
        LinkFile kind;
        std::string content;
        std::optional<std::string> url;
    } cases[] = {
        {"internet shortcut", LinkFile::internetShortcut, "[InternetShortcut]\r\nURL=https://a.example/x\r\n",
         "https://a.example/x"},
        {"bom, other sections, case", LinkFile::internetShortcut,
         "\xEF\xBB\xBF[DEFAULT]\nBASEURL=https://base.example\n[internetshortcut]\nurl = https://a.example\nIconIndex=0\n",
         "https://a.example"},
        {"shortcut without url", LinkFile::internetShortcut, "[InternetShortcut]\nIconFile=x\n", std::nullopt},
        {"url in the wrong section", LinkFile::internetShortcut, "[Other]\nURL=https://a.example\n", std::nullopt},
        {"desktop link", LinkFile::desktopEntry,
         "[Desktop Entry]\nName=Správy\nType=Link\nURL=https://a.example/a\\sb\nIcon=x\n", "https://a.example/a b"},
        {"desktop link, type after url", LinkFile::desktopEntry, "[Desktop Entry]\nURL=https://a.example\nType=Link\n",
         "https://a.example"},
        {"desktop application", LinkFile::desktopEntry,
         "[Desktop Entry]\nType=Application\nExec=firefox https://a.example\nURL=https://a.example\n", std::nullopt},
        {"desktop url in an action", LinkFile::desktopEntry,
         "[Desktop Entry]\nType=Link\n[Desktop Action x]\nURL=https://a.example\n", std::nullopt},
        {"empty url", LinkFile::desktopEntry, "[Desktop Entry]\nType=Link\nURL=\n", std::nullopt},
        {"garbage", LinkFile::desktopEntry, std::string("\0\xff[\n=\n[Desktop Entry\nURL", 20), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(linkFileUrl(c.content, c.kind), c.url) << c.name;
    }
}

TEST(ItemSources, ArgumentsBecomeItems)
{
    TempDir dir;
    writeFile(dir / "notes.txt", "Pozri si www.notes.example, je to dobré.");
    writeFile(dir / "shortcut.URL", "[InternetShortcut]\r\nURL=https://shortcut.example/\r\n");
    writeFile(dir / "link.desktop", "[Desktop Entry]\nType=Link\nURL=https://desktop.example/\n");
    writeFile(dir / "app.desktop", "[Desktop Entry]\nType=Application\nComment=https://comment.example\n");
    writeFile(dir / "file-link.url", "[InternetShortcut]\nURL=file:///etc/passwd\n");
    writeFile(dir / "latin1.txt", "caf\xe9 https://latin.example");
    writeFile(dir / "empty.txt", "");
    std::filesystem::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0); // would block a careless open
    const std::string fileUrl = "file://" + (dir / "notes.txt").string();

    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string link;
    } cases[] = {
        {"web address", {"https://a.example/x"}, "https://a.example/x"},
        {"free text", {"Pozri www.text.example"}, "http://www.text.example"},
        {"text file", {(dir / "notes.txt").string()}, "http://www.notes.example"},
        {"file url", {fileUrl}, "http://www.notes.example"},
        {"internet shortcut", {(dir / "shortcut.URL").string()}, "https://shortcut.example/"},
        {"desktop link", {(dir / "link.desktop").string()}, "https://desktop.example/"},
        {"desktop application read as text", {(dir / "app.desktop").string()}, "https://comment.example"},
        {"shortcut to a file", {(dir / "file-link.url").string()}, "-"},
        {"not utf-8 file", {(dir / "latin1.txt").string()}, "https://latin.example"},
        {"empty file", {(dir / "empty.txt").string()}, "-"},
        {"directory", {(dir / "folder").string()}, "-"},
        {"fifo", {(dir / "fifo").string()}, "-"},
        {"missing file", {(dir / "missing.txt").string()}, "-"},
        {"other scheme glued to a link", {"Note:https://a.example"}, "https://a.example"},
        {"capital scheme", {"HTTPS://A.EXAMPLE"}, "-"},
        {"later url argument wins over earlier text", {"https://first.example text", "https://second.example"},
         "https://second.example"},
    };
    for (const auto& c : cases) {
        const auto items = itemsFromArguments(c.args, -1, 0ms);
        EXPECT_EQ(items.size(), c.args.size()) << c.name;
        EXPECT_EQ(linkOf(items), c.link) << c.name;
    }
}

TEST(ItemSources, BigFilesAreReadOnlyUpToTheLimit)
{
    TempDir dir;
    std::string big(maxItemSize - 30, 'x');
    big += " https://early.example ";
    big += std::string(1000, 'y') + " https://late.example";
    writeFile(dir / "big.txt", big);
    const auto items = itemsFromArguments({(dir / "big.txt").string()}, -1, 0ms);
    const auto text = std::get<std::string>(*items.at(0).attachments.at(0).load(ItemType::plainText));
    EXPECT_LE(text.size(), maxItemSize + 3); // a cut character may become U+FFFD
    EXPECT_EQ(linkOf(items), "https://early.example");
}

TEST(ItemSources, StandardInputIsBytesUntilEndOrSilence)
{
    {
        Pipe in;
        in.write("Pozri https://stdin.example\n");
        in.closeWriter();
        const auto items = itemsFromArguments({"-"}, in.reader(), 10s);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_TRUE(std::holds_alternative<Bytes>(*items[0].attachments.at(0).load(ItemType::plainText)));
        EXPECT_EQ(linkOf(items), "https://stdin.example");
    }
    {
        // A writer that never closes: what arrived counts once input falls silent.
        Pipe in;
        in.write("https://open.example");
        EXPECT_EQ(linkOf(itemsFromArguments({"-"}, in.reader(), 0ms)), "https://open.example");
    }
    {
        Pipe in;
        in.write(std::string("\xff\xfe\x00https://binary.example", 23));
        in.closeWriter();
        EXPECT_EQ(linkOf(itemsFromArguments({"-"}, in.reader(), 10s)), "-");
    }
    EXPECT_EQ(linkOf(itemsFromArguments({"-"}, -1, 10s)), "-"); // no standard input at all
}

TEST(ItemSources, ReadStreamStopsAtItsLimit)
{
    Pipe in;
    in.write(std::string(5000, 'a'));
    EXPECT_EQ(readStream(in.reader(), 1000, 0ms).size(), 1000u);
    EXPECT_EQ(readStream(in.reader(), 100000, 0ms).size(), 4000u);
}

TEST(ItemSources, ClipboardLinksArriveAsUrls)
{
    const auto mime = [](std::vector<std::pair<QString, QByteArray>> formats) {
        auto data = std::make_unique<QMimeData>();
        for (const auto& [format, bytes] : formats) data->setData(format, bytes);
        return data;
    };
    const struct {
        const char* name;
        std::unique_ptr<QMimeData> data;
        std::vector<std::vector<ItemType>> attachments; // offered types per attachment
        std::string link;
    } cases[] = {
        {"uri list", mime({{"text/uri-list", "# comment\r\nhttps://a.example/1\r\nhttps://b.example/2\r\n"}}),
         {{ItemType::url}, {ItemType::url}}, "https://a.example/1"},
        {"copied link", mime({{"text/plain", "  https://a.example/x \n"}}), {{ItemType::url, ItemType::plainText}},
         "https://a.example/x"},
        {"copied text", mime({{"text/plain", "Pozri https://a.example/x, fakt."}}), {{ItemType::plainText}},
         "https://a.example/x"},
        {"file list and text", mime({{"text/uri-list", "file:///tmp/a.txt\n"}, {"text/plain", "www.b.example"}}),
         {{ItemType::url}, {ItemType::plainText}}, "http://www.b.example"},
        {"capital scheme", mime({{"text/plain", "HTTPS://A.EXAMPLE"}}), {{ItemType::url, ItemType::plainText}}, "-"},
    };
    for (const auto& c : cases) {
        const auto item = itemFromMimeData(*c.data);
        ASSERT_TRUE(item) << c.name;
        std::vector<std::vector<ItemType>> offered;
        for (const Attachment& a : item->attachments) {
            offered.emplace_back();
            for (const auto& offer : a.offers) offered.back().push_back(offer.type);
        }
        EXPECT_EQ(offered, c.attachments) << c.name;
        EXPECT_EQ(linkOf({*item}), c.link) << c.name;
    }
    EXPECT_FALSE(itemFromMimeData(*mime({})));
    EXPECT_FALSE(itemFromMimeData(*mime({{"image/png", "\x89PNG"}})));
}

TEST(ItemSources, HugeClipboardTextIsCapped)
{
    QMimeData data;
    data.setText(QString(static_cast<qsizetype>(maxItemSize), QChar(0x010D)) + QStringLiteral(" https://late.example"));
    const auto item = itemFromMimeData(data);
    ASSERT_TRUE(item);
    const auto text = std::get<std::string>(*item->attachments.at(0).load(ItemType::plainText));
    EXPECT_LE(text.size(), maxItemSize);
    EXPECT_EQ(text.size() % 2, 0u); // cut between characters
    EXPECT_EQ(linkOf({*item}), "-");
}
