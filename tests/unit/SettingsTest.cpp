#include "platform/Settings.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using telvanto::platform::Settings;
using telvanto::testing::TempDir;

TEST(Settings, ValuesSurviveAReopen)
{
    TempDir temp;
    const QString path = QString::fromStdString(temp / "telvanto.conf");
    {
        Settings settings(path);
        EXPECT_EQ(settings.tvHost(), std::nullopt);
        EXPECT_EQ(settings.tvName(), std::nullopt);
        settings.setTvHost("192.168.1.20");
        settings.setTvName("Obývačka – Mi Box");
        settings.setMirrorMode("extend");
    }
    Settings reopened(path);
    EXPECT_EQ(reopened.tvHost(), QString("192.168.1.20"));
    EXPECT_EQ(reopened.tvName(), QString::fromUtf8("Obývačka – Mi Box"));
    EXPECT_EQ(reopened.mirrorMode(), QString("extend"));
}

TEST(Settings, LegacyKeyFormats)
{
    const struct {
        const char* name;
        const char* line;
        QByteArray expected;
    } cases[] = {
        {"bytes", "tvKey=@ByteArray(0\\x6\\x2\\x1\\x5\\x2\\x1\\x3)", QByteArray("\x30\x06\x02\x01\x05\x02\x01\x03", 8)},
        {"text", "tvKey=not a key", QByteArray("not a key")},
    };
    for (const auto& c : cases) {
        TempDir temp;
        const auto file = temp / "telvanto.conf";
        std::ofstream(file) << "[General]\n" << c.line << "\n";
        Settings settings(QString::fromStdString(file));
        ASSERT_TRUE(settings.legacyTvKey()) << c.name;
        EXPECT_EQ(*settings.legacyTvKey(), c.expected) << c.name;
        settings.removeLegacyTvKey();
        EXPECT_EQ(Settings(QString::fromStdString(file)).legacyTvKey(), std::nullopt) << c.name;
    }
}

TEST(Settings, ConfigDirectoryComesFromTheEnvironment)
{
    qputenv("TELVANTO_CONFIG_DIR", "/tmp/profile2");
    EXPECT_EQ(Settings::defaultFilePath(), QString("/tmp/profile2/telvanto.conf"));
    qunsetenv("TELVANTO_CONFIG_DIR");
    EXPECT_TRUE(Settings::defaultFilePath().endsWith("/telvanto/telvanto.conf"));
}

// The file is shared by the programs and rewritten only when a value really changes; a value
// another process wrote meanwhile is not mistaken for ours.
TEST(Settings, WritesOnlyChanges)
{
    TempDir temp;
    const auto file = temp / "telvanto.conf";
    Settings settings(QString::fromStdString(file));
    // Every write replaces the file; holding the old one open shows whether it was replaced.
    const auto open = [&] { return ::open(file.c_str(), O_RDONLY | O_CLOEXEC); };
    const auto replaced = [](int fd) {
        if (fd < 0) return true; // there was no file before
        struct stat st {};
        ::fstat(fd, &st);
        ::close(fd);
        return st.st_nlink == 0;
    };
    const struct {
        const char* name;
        std::function<void()> act;
        bool rewritten;
        const char* host; // as read back by a fresh reader
    } rows[] = {
        {"first value", [&] { settings.setTvHost("10.0.0.5"); }, true, "10.0.0.5"},
        {"same value 1000 times", [&] { for (int i = 0; i < 1000; ++i) settings.setTvHost("10.0.0.5"); }, false, "10.0.0.5"},
        {"new value", [&] { settings.setTvHost("10.0.0.6"); }, true, "10.0.0.6"},
        {"same name", [&] { settings.setTvName("Obývačka"); settings.setTvName("Obývačka"); }, true, "10.0.0.6"},
        {"another process changed it",
         [&] {
             std::ofstream(temp / "other", std::ios::trunc) << "[General]\ntvHost=192.168.100.100\ntvName=Kuchyňa\n";
             std::filesystem::rename(temp / "other", file);
         },
         true, "192.168.100.100"},
        {"ours again", [&] { settings.setTvHost("10.0.0.6"); }, true, "10.0.0.6"},
    };
    for (const auto& row : rows) {
        const int before = open();
        row.act();
        EXPECT_EQ(replaced(before), row.rewritten) << row.name;
        EXPECT_EQ(Settings(QString::fromStdString(file)).tvHost(), QString::fromUtf8(row.host)) << row.name;
    }
}
