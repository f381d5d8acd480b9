// Start at login: the autostart entry as the file it is.
#include "app/Autostart.h"

#include "QtPrinters.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using telvanto::app::Autostart;
using telvanto::testing::TempDir;

namespace {

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<none>");
}

void writeFile(const QString& path, const QString& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

} // namespace

TEST(Autostart, ExecArgumentIsQuotedWhereTheFormatAsks)
{
    const std::pair<QString, QString> rows[] = {
        {"/usr/bin/telvanto", "/usr/bin/telvanto"},
        {"/opt/my apps/telvanto", R"("/opt/my apps/telvanto")"},
        {"/opt/a$b/telvanto", R"("/opt/a\\$b/telvanto")"},
        {R"(/opt/a"b)", R"("/opt/a\\"b")"},
        {"/opt/a`b", R"("/opt/a\\`b")"},
        {R"(/opt/a\b)", R"("/opt/a\\\\b")"},
        {"/opt/50%/telvanto", "/opt/50%%/telvanto"},
        {"/opt/a\nb", R"("/opt/a\nb")"},
        {"/opt/(x)", R"-("/opt/(x)")-"},
        {"/opt/žltý/telvanto", "/opt/žltý/telvanto"},
        {"", R"("")"},
    };
    for (const auto& [argument, expected] : rows) EXPECT_EQ(Autostart::execArgument(argument), expected) << argument.toStdString();
}

TEST(Autostart, EntryStateFollowsWhatDesktopsHonour)
{
    const QString head = QStringLiteral("[Desktop Entry]\nType=Application\nExec=telvanto\n");
    const std::pair<QString, bool> rows[] = {
        {head, true},
        {head + "Hidden=true\n", false},
        {head + "Hidden = true\r\n", false},
        {head + "Hidden=false\n", true},
        {head + "X-GNOME-Autostart-enabled=false\n", false},
        {head + "X-GNOME-Autostart-enabled=true\n", true},
        {head + "[Desktop Action x]\nHidden=true\n", true},
        {"[Other]\nExec=telvanto\n", false},
        {"", false},
    };
    for (const auto& [text, enabled] : rows) EXPECT_EQ(Autostart::entryEnabled(text), enabled) << text.toStdString();
}

TEST(Autostart, RegisteringWritesTheEntryAndUnregisteringRemovesIt)
{
    struct Row {
        const char* what;
        const char* before; // the file's text beforehand, or null for no file
        bool set;
        bool enabled;     // isEnabled afterwards
        bool ours;        // the file holds exactly our entry afterwards
    };
    const Row rows[] = {
        {"on from nothing", nullptr, true, true, true},
        {"on over an entry a settings panel switched off", "[Desktop Entry]\nExec=x\nHidden=true\n", true, true, true},
        {"on again", "", true, true, true},
        {"off removes the file", "[Desktop Entry]\nExec=x\n", false, false, false},
        {"off with nothing there", nullptr, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const QString folder = QString::fromStdString(dir / "config" / "autostart");
        Autostart autostart(folder, QStringLiteral("/opt/Tel vanto/bin/telvanto"));
        if (row.before) {
            ASSERT_TRUE(QDir().mkpath(folder));
            writeFile(autostart.filePath(), QString::fromUtf8(row.before));
        }
        autostart.setEnabled(row.set);
        EXPECT_EQ(autostart.isEnabled(), row.enabled);
        EXPECT_EQ(QFile::exists(autostart.filePath()), row.set);
        if (row.ours) {
            EXPECT_EQ(readFile(autostart.filePath()), autostart.entry());
        }
    }
}

TEST(Autostart, TheEntryStartsThisProgram)
{
    Autostart autostart(QStringLiteral("/nowhere"), QStringLiteral("/opt/Tel vanto/bin/telvanto"));
    const QString entry = autostart.entry();
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nType=Application\n"));
    EXPECT_TRUE(entry.contains("\nExec=\"/opt/Tel vanto/bin/telvanto\"\n"));
    EXPECT_TRUE(Autostart::entryEnabled(entry));
    EXPECT_EQ(autostart.filePath(), "/nowhere/telvanto.desktop");
}

TEST(Autostart, FailuresAreSwallowed)
{
    TempDir dir;
    const QString blocked = QString::fromStdString(dir / "autostart");
    writeFile(blocked, "not a folder"); // the folder cannot be made
    Autostart autostart(blocked, QStringLiteral("/usr/bin/telvanto"));
    autostart.setEnabled(true);
    EXPECT_FALSE(autostart.isEnabled());
    autostart.setEnabled(false);
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_EQ(readFile(blocked), "not a folder");
}

TEST(Autostart, DefaultFolderFollowsXdgConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/elsewhere");
    EXPECT_EQ(Autostart::defaultDirectory(), "/tmp/elsewhere/autostart");
    if (saved.isNull()) qunsetenv("XDG_CONFIG_HOME");
    else qputenv("XDG_CONFIG_HOME", saved);
}

TEST(Autostart, EntriesPassTheDesktopEntryValidator)
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    for (const char* program : {"/usr/bin/telvanto", "/opt/Tel vanto/bin/telvanto", "/home/a$b/50%/tel\"v`anto", "/x/a\\b/(c)"}) {
        TempDir dir;
        Autostart autostart(QString::fromStdString(dir.path().string()), QString::fromUtf8(program));
        autostart.setEnabled(true);
        QProcess check;
        check.start(validator, {autostart.filePath()});
        ASSERT_TRUE(check.waitForFinished(10000));
        const QString said = QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError());
        EXPECT_EQ(check.exitCode(), 0) << program << ": " << said.toStdString();
        EXPECT_FALSE(said.contains("error")) << program << ": " << said.toStdString();
    }
}
