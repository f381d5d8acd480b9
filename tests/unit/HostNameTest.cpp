#include "platform/HostName.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <QSysInfo>

#include <fstream>

using telvanto::platform::deviceName;
using telvanto::platform::prettyHostName;

TEST(HostName, PrettyHostNameFromMachineInfo)
{
    const struct {
        const char* text;
        const char* name;
    } rows[] = {
        {"PRETTY_HOSTNAME=\"Jana's laptop\"\n", "Jana's laptop"},
        {"ICON_NAME=computer-laptop\nPRETTY_HOSTNAME='Obýváčka \"PC\"'\nCHASSIS=laptop\n", "Obýváčka \"PC\""},
        {"PRETTY_HOSTNAME=plain\n", "plain"},
        {"PRETTY_HOSTNAME=\"with \\\"quotes\\\" \\\\ and more\"", "with \"quotes\" \\ and more"},
        {"  PRETTY_HOSTNAME = \"spaced\"  \n", "spaced"},
        {"# PRETTY_HOSTNAME=\"commented\"\n", ""},
        {"PRETTY_HOSTNAMES=\"other key\"\n", ""},
        {"PRETTY_HOSTNAME=\"  \"\n", ""},
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(prettyHostName(QString::fromUtf8(row.text)), QString::fromUtf8(row.name)) << row.text;
}

TEST(HostName, FallsBackToTheHostName)
{
    telvanto::testing::TempDir dir;
    const auto file = dir / "machine-info";
    EXPECT_EQ(deviceName(QString::fromStdString(file)), QSysInfo::machineHostName()); // no file
    std::ofstream(file) << "PRETTY_HOSTNAME=\"Obývačka\"\n";
    EXPECT_EQ(deviceName(QString::fromStdString(file)), QString::fromUtf8("Obývačka"));
}
