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
    explicit Panel(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"), env.insert("QT_QPA_PLATFORM", "xcb"), env.insert("LANG", "C.UTF-8");
        process.setProcessEnvironment(env);
        process.start(TELVANTO_PANEL_FIXTURE, args);
    }
    ~Panel() { process.kill(), process.waitForFinished(); }
    QStringList events() { return QString::fromUtf8(out += process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts); }
    QProcess process;
    QByteArray out;
};

// Xvfb and a session bus of the test's own; the accessibility bus starts on demand inside it.
class Atspi : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Nothing of the session reaches the user's own files: settings stay in memory, and the
        // accessibility bus's socket lands in a directory of ours.
        for (const char* dir : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) qputenv(dir, runtime.path().toUtf8());
        qputenv("GSETTINGS_BACKEND", "memory"), qunsetenv("AT_SPI_BUS_ADDRESS");
        qputenv("DISPLAY", xvfb.name()); // before the bus: the accessibility services it starts post keys there
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        waitUntil([&] { return bus.canReadLine() || bus.state() == QProcess::NotRunning; }, 10s);
        const QByteArray address = bus.readLine().trimmed();
        if (xvfb.name().isEmpty() || address.isEmpty()) GTEST_SKIP() << "Xvfb or dbus-daemon did not start";
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }
    // Starts the panel and waits until it shows on the accessibility registry.
    std::unique_ptr<Panel> start(const QStringList& args)
    {
        auto panel = std::make_unique<Panel>(args);
        EXPECT_TRUE(waitUntil([&] { return panel->events().contains("ready") && tree.application("com.apple.controlcenter"); }, 15s))
            << panel->events().join(" / ").toStdString();
        return panel;
    }
    std::optional<bool> select(ControlCenterSelector& by, const QString& name, bool connect)
    {
        std::optional<bool> result;
        by.selectReceiver(name, connect, [&](bool ok) { result = ok; });
        waitUntil([&] { return result.has_value(); }, 15s);
        return result;
    }

    QTemporaryDir runtime;
    XServer xvfb{"Xvfb", {"-noreset", "-nolisten", "tcp", "-screen", "0", "800x600x24"}};
    QProcess bus;
    telvanto::transport::QtScheduler scheduler;
    AtspiElementTree tree;
    ControlCenterSelector selector{tree, scheduler};
};

} // namespace

TEST_F(Atspi, ReceiverIsSwitchedAndThePanelDumpedThroughTheBus)
{
    auto panel = start({"--rows-delay", "300", "Spálňa=on", "AS-Obývačka"});
    const QStringList opened = {"pressed item Ovládacie centrum", "pressed tile"};
    for (const bool connect : {true, false}) {
        const qsizetype seen = panel->events().size();
        EXPECT_EQ(select(selector, "AS-Obývačka", connect), true);
        const QStringList events = opened + QStringList{connect ? "row AS-Obývačka on" : "row AS-Obývačka off", "escape"};
        // The Escape travels through the registry and the X server: let it land.
        waitUntil([&] { return panel->events().size() >= seen + events.size(); }, 5s);
        EXPECT_EQ(panel->events().mid(seen), events);
    }

    QTemporaryDir dir;
    bool done = false;
    selector.dumpControlCenter(dir.filePath("panel.txt"), [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }, 15s));
    QFile dump(dir.filePath("panel.txt")), golden(TELVANTO_ATSPI_GOLDEN);
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly) && golden.open(QIODevice::ReadOnly));
    // The application's description is the fixture's path, which depends on the build folder.
    EXPECT_EQ(QString::fromUtf8(dump.readAll()).replace(TELVANTO_PANEL_FIXTURE, "FIXTURE").split('\n'), QString::fromUtf8(golden.readAll()).split('\n'));

    // A panel that quits while it is operated, and an accessibility bus that cannot be reached.
    panel.reset();
    panel = start({"--quit-on-tile", "AS-Obývačka"});
    EXPECT_EQ(select(selector, "AS-Obývačka", true), false);
    qputenv("AT_SPI_BUS_ADDRESS", "unix:path=/nonexistent/telvanto-no-bus");
    AtspiElementTree unreachable;
    ControlCenterSelector blind(unreachable, scheduler);
    EXPECT_EQ(select(blind, "AS-Obývačka", true), false);
    qunsetenv("AT_SPI_BUS_ADDRESS");

    telvanto::platform::AtspiAccessibility access;
    EXPECT_FALSE(access.isEnabled()) << "a fresh session starts with accessibility off";
    access.requestEnable();
    EXPECT_TRUE(access.isEnabled());
}
