#include "platform/HostName.h"
#include "platform/Settings.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <QSysInfo>

#include <fstream>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using telvanto::platform::Settings;
using telvanto::testing::TempDir;

// The file is shared by the programs and rewritten only when a value really changes; a value
// another process wrote meanwhile is not mistaken for ours.
TEST(Settings, WritesOnlyChangesAndSurvivesAReopen)
{
    TempDir temp;
    const auto file = temp / "telvanto.conf";
    const QString path = QString::fromStdString(file);
    Settings settings(path);
    EXPECT_EQ(settings.tvHost(), std::nullopt);
    EXPECT_EQ(settings.tvName(), std::nullopt);
    const QString name = QString::fromUtf8("Obývačka – Mi Box");
    const struct { const char* name; std::function<void()> act; bool rewritten; const char* host; /* read back */ } rows[] = {
        {"first value", [&] { settings.setTvHost("10.0.0.5"); }, true, "10.0.0.5"},
        {"same value 1000 times", [&] { for (int i = 0; i < 1000; ++i) settings.setTvHost("10.0.0.5"); }, false, "10.0.0.5"},
        {"new value", [&] { settings.setTvHost("10.0.0.6"); }, true, "10.0.0.6"},
        {"another process changed it", [&] {
             std::ofstream(temp / "other") << "[General]\ntvHost=192.168.100.100\ntvName=Kuchyňa\n";
             std::filesystem::rename(temp / "other", file);
         }, true, "192.168.100.100"},
        {"ours again", [&] { settings.setTvHost("10.0.0.6"); }, true, "10.0.0.6"},
        {"same name twice", [&] { settings.setTvName(name), settings.setTvName(name); }, true, "10.0.0.6"},
        {"mirror mode", [&] { settings.setMirrorMode("extend"); }, true, "10.0.0.6"}};
    for (const auto& row : rows) {
        // Every write replaces the file; holding the old one open shows whether it was replaced.
        const int before = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        row.act();
        struct stat st {};
        EXPECT_EQ(before < 0 || (::fstat(before, &st) == 0 && st.st_nlink == 0), row.rewritten) << row.name;
        if (before >= 0) ::close(before);
        EXPECT_EQ(Settings(path).tvHost(), QString::fromUtf8(row.host)) << row.name;
    }
    const Settings reopened(path);
    EXPECT_EQ(reopened.tvName(), name);
    EXPECT_EQ(reopened.mirrorMode(), QString("extend"));
}

TEST(Settings, LegacyKeyAsBytesOrText)
{
    const struct { const char* line; QByteArray expected; } cases[] = {
        {"tvKey=@ByteArray(0\\x6\\x2\\x1\\x5\\x2\\x1\\x3)", QByteArray("\x30\x06\x02\x01\x05\x02\x01\x03", 8)},
        {"tvKey=not a key", QByteArray("not a key")}};
    for (const auto& c : cases) {
        TempDir temp;
        const QString file = QString::fromStdString(temp / "telvanto.conf");
        std::ofstream(file.toStdString()) << "[General]\n" << c.line << "\n";
        Settings settings(file);
        EXPECT_EQ(settings.legacyTvKey(), c.expected) << c.line;
        settings.removeLegacyTvKey();
        EXPECT_EQ(Settings(file).legacyTvKey(), std::nullopt) << c.line;
    }
    qputenv("TELVANTO_CONFIG_DIR", "/tmp/profile2");
    EXPECT_EQ(Settings::defaultFilePath(), QString("/tmp/profile2/telvanto.conf"));
    qunsetenv("TELVANTO_CONFIG_DIR");
    EXPECT_TRUE(Settings::defaultFilePath().endsWith("/telvanto/telvanto.conf"));
}

TEST(HostName, PrettyHostNameElseTheHostName)
{
    const struct { const char *text, *name; } rows[] = {
        {"PRETTY_HOSTNAME=\"Jana's laptop\"\n", "Jana's laptop"},
        {"ICON_NAME=computer-laptop\nPRETTY_HOSTNAME='Obýváčka \"PC\"'\nCHASSIS=laptop\n", "Obýváčka \"PC\""},
        {"PRETTY_HOSTNAME=plain\n", "plain"}, {"PRETTY_HOSTNAME=\"with \\\"quotes\\\" \\\\ and more\"", "with \"quotes\" \\ and more"},
        {"  PRETTY_HOSTNAME = \"spaced\"  \n", "spaced"}, {"# PRETTY_HOSTNAME=\"commented\"\n", ""},
        {"PRETTY_HOSTNAMES=\"other key\"\n", ""}, {"PRETTY_HOSTNAME=\"  \"\n", ""}, {"", ""}};
    for (const auto& row : rows) EXPECT_EQ(telvanto::platform::prettyHostName(QString::fromUtf8(row.text)), QString::fromUtf8(row.name)) << row.text;
    TempDir dir;
    const QString file = QString::fromStdString(dir / "machine-info");
    EXPECT_EQ(telvanto::platform::deviceName(file), QSysInfo::machineHostName()); // no file
    std::ofstream(file.toStdString()) << "PRETTY_HOSTNAME=\"Obývačka\"\n";
    EXPECT_EQ(telvanto::platform::deviceName(file), QString::fromUtf8("Obývačka"));
}
