#include "app/Autostart.h"

#include "QtPrinters.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using telvanto::app::Autostart;
using telvanto::testing::TempDir;

namespace {

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<none>");
}

} // namespace

TEST(Autostart, ExecArgumentIsQuotedWhereTheFormatAsks)
{
    const std::pair<QString, QString> rows[] = {
        {"/usr/bin/telvanto", "/usr/bin/telvanto"}, {"/opt/my apps/telvanto", R"("/opt/my apps/telvanto")"},
        {"/opt/a$b/telvanto", R"("/opt/a\\$b/telvanto")"}, {R"(/opt/a"b)", R"("/opt/a\\"b")"}, {"/opt/a`b", R"("/opt/a\\`b")"},
        {R"(/opt/a\b)", R"("/opt/a\\\\b")"}, {"/opt/50%/telvanto", "/opt/50%%/telvanto"}, {"/opt/a\nb", R"("/opt/a\nb")"}, {"", R"("")"},
    };
    for (const auto& [argument, expected] : rows) EXPECT_EQ(Autostart::execArgument(argument), expected) << argument.toStdString();
}

TEST(Autostart, EntryStateFollowsWhatDesktopsHonour)
{
    const QString head = QStringLiteral("[Desktop Entry]\nType=Application\nExec=telvanto\n");
    const std::pair<QString, bool> rows[] = {
        {head, true}, {head + "Hidden=true\n", false}, {head + "Hidden = true\r\n", false}, {head + "Hidden=false\n", true},
        {head + "X-GNOME-Autostart-enabled=false\n", false}, {head + "[Desktop Action x]\nHidden=true\n", true}, {"[Other]\nExec=telvanto\n", false},
    };
    for (const auto& [text, enabled] : rows) EXPECT_EQ(Autostart::entryEnabled(text), enabled) << text.toStdString();
}

// On writes our entry (over whatever is there), off removes it. Before: the file's text or none.
// (A failed write: the tray's start-at-login test.)
TEST(Autostart, RegisteringWritesTheEntryAndUnregisteringRemovesIt)
{
    const QString ours = QStringLiteral("[Desktop Entry]\nType=Application\nName=Telvanto\nExec=\"/opt/Tel vanto/bin/telvanto\"\n"
                                        "Icon=telvanto\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    const struct { const char* before; bool on; } rows[] = {
        {nullptr, true}, {"[Desktop Entry]\nExec=x\nHidden=true\n", true}, {"[Desktop Entry]\nExec=x\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.before ? row.before : "none") + (row.on ? " on" : " off"));
        TempDir dir;
        const QString folder = QString::fromStdString(dir / "config" / "autostart");
        Autostart autostart(folder, QStringLiteral("/opt/Tel vanto/bin/telvanto"));
        if (row.before) { // else not even the folder: made when needed
            ASSERT_TRUE(QDir().mkpath(folder));
            QFile file(folder + "/telvanto.desktop");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(row.before);
        }
        autostart.setEnabled(row.on);
        EXPECT_EQ(autostart.isEnabled(), row.on);
        EXPECT_EQ(readFile(folder + "/telvanto.desktop"), row.on ? ours : "<none>");
    }
}
