// Receiver selection through the real accessibility bus: a fixture panel application on a
// private X server and a private session bus, driven by the selector over AT-SPI.
#include "mirroring/ControlCenterSelector.h"
#include "platform/AtspiAccessibility.h"
#include "platform/AtspiElementTree.h"
#include "transport/QtScheduler.h"

#include "EventLoop.h"
#include "XServer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace telvanto::testing;
using telvanto::mirroring::ControlCenterSelector;
using telvanto::platform::AtspiElementTree;

namespace {

// The fixture panel, started with the receivers it lists; what it reports, one event a line.
struct Panel {
    explicit Panel(const QStringList& args) { process.start(TELVANTO_PANEL_FIXTURE, args); }
    ~Panel() { process.kill(), process.waitForFinished(); }
    QStringList events() { return QString::fromUtf8(out += process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts); }
    QProcess process;
    QByteArray out;
};

} // namespace

// Xvfb and a session bus of the test's own; the accessibility bus starts on demand inside it.
TEST(Atspi, PanelDumpedAndReceiverSwitchedThroughTheBus)
{
    // Nothing of the session reaches the user's own files: settings stay in memory, and the
    // accessibility bus's socket lands in a directory of ours.
    QTemporaryDir runtime;
    for (const char* dir : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) qputenv(dir, runtime.path().toUtf8());
    qputenv("GSETTINGS_BACKEND", "memory"), qunsetenv("AT_SPI_BUS_ADDRESS");
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"), qputenv("QT_QPA_PLATFORM", "xcb"), qputenv("LANG", "C.UTF-8"); // for the panel
    XServer xvfb{"Xvfb", {"-noreset", "-nolisten", "tcp", "-screen", "0", "800x600x24"}};
    qputenv("DISPLAY", xvfb.name()); // before the bus: the accessibility services it starts post keys there
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    waitUntil([&] { return bus.canReadLine() || bus.state() == QProcess::NotRunning; }, 10s);
    const QByteArray address = bus.readLine().trimmed();
    if (xvfb.name().isEmpty() || address.isEmpty()) GTEST_SKIP() << "Xvfb or dbus-daemon did not start";
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    telvanto::transport::QtScheduler scheduler;
    AtspiElementTree tree;
    ControlCenterSelector selector{tree, scheduler};
    // Starts the panel and waits until it shows on the accessibility registry.
    const auto start = [&](const QStringList& args) {
        auto panel = std::make_unique<Panel>(args);
        EXPECT_TRUE(waitUntil([&] { return panel->events().contains("ready") && tree.application("com.apple.controlcenter"); }, 15s))
            << panel->events().join(" / ").toStdString();
        return panel;
    };
    const auto switchOn = [&](ControlCenterSelector& by) {
        std::optional<bool> result;
        by.selectReceiver("AS-Obývačka", true, [&](bool ok) { result = ok; });
        waitUntil([&] { return result.has_value(); }, 15s);
        return result;
    };

    auto panel = start({"Spálňa=on", "AS-Obývačka"});
    bool done = false;
    selector.dumpControlCenter(runtime.filePath("panel.txt"), [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }, 15s));
    QFile dump(runtime.filePath("panel.txt")), golden(TELVANTO_ATSPI_GOLDEN);
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly) && golden.open(QIODevice::ReadOnly));
    // The application's description is the fixture's path, which depends on the build folder.
    EXPECT_EQ(QString::fromUtf8(dump.readAll()).replace(TELVANTO_PANEL_FIXTURE, "FIXTURE").split('\n'), QString::fromUtf8(golden.readAll()).split('\n'));
    // The Escape travels through the registry and the X server: it lands before the next press.
    ASSERT_TRUE(waitUntil([&] { return panel->events().contains("escape"); }, 5s));
    EXPECT_EQ(switchOn(selector), true);
    waitUntil([&] { return panel->events().count("escape") == 2; }, 5s);
    EXPECT_EQ(panel->events(), QStringList({"ready", "pressed item Ovládacie centrum", "pressed tile", "escape", // the dump's
                                            "pressed item Ovládacie centrum", "pressed tile", "row AS-Obývačka on", "escape"}));

    // A panel that quits while it is operated.
    panel.reset();
    panel = start({"--quit-on-tile", "AS-Obývačka"});
    EXPECT_EQ(switchOn(selector), false);

    telvanto::platform::AtspiAccessibility access;
    EXPECT_FALSE(access.isEnabled()) << "a fresh session starts with accessibility off";
    access.requestEnable();
    EXPECT_TRUE(access.isEnabled());

    // An accessibility bus that cannot be reached shows no panel.
    qputenv("AT_SPI_BUS_ADDRESS", "unix:path=/nonexistent/telvanto-no-bus");
    AtspiElementTree unreachable;
    ControlCenterSelector blind(unreachable, scheduler);
    EXPECT_EQ(switchOn(blind), false);
}
