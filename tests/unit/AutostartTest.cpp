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

// On writes our entry (over whatever is there), off removes it; failures are swallowed. Before:
// the file's text, none, or "BLOCKED" a file where the folder goes; steps: "1" on, "0" off.
TEST(Autostart, RegisteringWritesTheEntryAndUnregisteringRemovesIt)
{
    const QString ours = QStringLiteral("[Desktop Entry]\nType=Application\nName=Telvanto\nExec=\"/opt/Tel vanto/bin/telvanto\"\n"
                                        "Icon=telvanto\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    const struct { const char *before, *steps; bool enabled; } rows[] = {
        {nullptr, "1", true}, {"[Desktop Entry]\nExec=x\nHidden=true\n", "1", true}, {"[Desktop Entry]\nExec=x\n", "0", false}, {"BLOCKED", "10", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.before ? row.before : "none") + " " + row.steps);
        TempDir dir;
        const QString folder = QString::fromStdString(dir / "config" / "autostart");
        Autostart autostart(folder, QStringLiteral("/opt/Tel vanto/bin/telvanto"));
        const bool blocked = row.before && *row.before == 'B';
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir / "config"))); // the folder itself is made when needed
        if (row.before) {
            ASSERT_TRUE(blocked || QDir().mkpath(folder));
            QFile file(blocked ? folder : folder + "/telvanto.desktop");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(row.before);
        }
        for (const char* s = row.steps; *s; ++s) autostart.setEnabled(*s == '1');
        EXPECT_EQ(autostart.isEnabled(), row.enabled);
        EXPECT_EQ(readFile(folder + "/telvanto.desktop"), row.enabled ? ours : "<none>");
        EXPECT_EQ(readFile(folder), blocked ? "BLOCKED" : "<none>");
    }
}
