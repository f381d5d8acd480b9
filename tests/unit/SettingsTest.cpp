#include "platform/Settings.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

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
