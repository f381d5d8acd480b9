// Receiver selection through the real accessibility bus: a fixture panel application on a
// private X server and a private session bus, driven by the selector over AT-SPI.
#include "mirroring/ControlCenterSelector.h"
#include "platform/AtspiAccessibility.h"
#include "platform/AtspiElementTree.h"
#include "transport/QtScheduler.h"

#include "EventLoop.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using telvanto::mirroring::ControlCenterSelector;
using telvanto::platform::AtspiElementTree;
using telvanto::testing::waitUntil;

namespace {

const QString panelName = QStringLiteral("com.apple.controlcenter");

// Reads a process's output line by line as it arrives.
QStringList linesSoFar(QProcess& process, QByteArray& buffer)
{
    buffer += process.readAllStandardOutput();
    return QString::fromUtf8(buffer).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Xvfb and a session bus of this test's own; the accessibility bus starts on demand inside it.
class Desktop {
public:
    bool start(QString& why)
    {
        for (const char* tool : {"Xvfb", "dbus-daemon"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                why = QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
                return false;
            }
        // Nothing of the session reaches the user's own files: settings stay in memory, and the
        // accessibility bus's socket lands in a directory of ours.
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
        for (const char* dir : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) qputenv(dir, runtime_.path().toUtf8());
        qputenv("GSETTINGS_BACKEND", "memory");
        qunsetenv("AT_SPI_BUS_ADDRESS");
        // Xvfb picks a free display and names it on standard output.
        xvfb_.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
        QByteArray out;
        if (!waitUntil([&] { return !linesSoFar(xvfb_, out).isEmpty(); }, 10s)) return (why = "Xvfb did not start"), false;
        qputenv("DISPLAY", ":" + out.trimmed());
        bus_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        out.clear();
        if (!waitUntil([&] { return !linesSoFar(bus_, out).isEmpty(); }, 10s)) return (why = "no session bus"), false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", out.trimmed());
        return true;
    }

    ~Desktop()
    {
        for (QProcess* p : {&bus_, &xvfb_}) {
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill();
            p->waitForFinished();
        }
    }

private:
    QTemporaryDir runtime_;
    QProcess xvfb_;
    QProcess bus_;
};

// The fixture panel, started with the receivers it lists; stopped by its process.
class Panel {
public:
    explicit Panel(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("LANG", "C.UTF-8");
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral(TELVANTO_PANEL_FIXTURE), args);
    }
    ~Panel()
    {
        process_.kill();
        process_.waitForFinished();
    }
    QStringList events() { return linesSoFar(process_, out_); }
    bool said(const QString& line) { return events().contains(line); }

private:
    QProcess process_;
    QByteArray out_;
};

class Atspi : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        desktop = new Desktop;
        if (!desktop->start(skipReason)) return;
    }
    static void TearDownTestSuite()
    {
        delete desktop;
        desktop = nullptr;
    }
    void SetUp() override
    {
        if (!skipReason.isEmpty()) GTEST_SKIP() << skipReason.toStdString();
    }

    // Starts the panel and waits until it shows on the accessibility registry.
    std::unique_ptr<Panel> startPanel(const QStringList& args)
    {
        auto panel = std::make_unique<Panel>(args);
        EXPECT_TRUE(waitUntil([&] { return panel->said("ready") && tree.application(panelName) != nullptr; }, 15s))
            << panel->events().join(" / ").toStdString();
        return panel;
    }

    std::optional<bool> select(const QString& name, bool connect)
    {
        std::optional<bool> result;
        selector.selectReceiver(name, connect, [&](bool ok) { result = ok; });
        waitUntil([&] { return result.has_value(); }, 15s);
        return result;
    }

    static inline Desktop* desktop = nullptr;
    static inline QString skipReason;
    telvanto::transport::QtScheduler scheduler;
    AtspiElementTree tree;
    ControlCenterSelector selector{tree, scheduler};
};

} // namespace

TEST_F(Atspi, ReceiverIsSwitchedOnAndOffThroughTheBus)
{
    auto panel = startPanel({"--rows-delay", "300", "Spálňa", "AS-Obývačka"});
    const struct {
        bool connect;
        QStringList newEvents; // what the panel reports during the call
    } steps[] = {
        {true, {"pressed item Ovládacie centrum", "pressed tile", "row AS-Obývačka on", "escape"}},
        {true, {"pressed item Ovládacie centrum", "pressed tile", "escape"}}, // already on: not pressed
        {false, {"pressed item Ovládacie centrum", "pressed tile", "row AS-Obývačka off", "escape"}},
    };
    int seen = static_cast<int>(panel->events().size());
    for (const auto& step : steps) {
        EXPECT_EQ(select(QString::fromUtf8("AS-Obývačka"), step.connect), true);
        // The Escape travels through the registry and the X server: let it land.
        waitUntil([&] { return panel->events().size() >= seen + step.newEvents.size(); }, 5s);
        const QStringList events = panel->events();
        EXPECT_EQ(events.mid(seen), step.newEvents);
        seen = static_cast<int>(events.size());
    }
}

TEST_F(Atspi, MissingReceiverIsNotFoundAfterTheRowWait)
{
    auto panel = startPanel({"Spálňa"});
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(select("Nikde", true), false);
    const qint64 ms = clock.elapsed();
    EXPECT_GE(ms, 4000);
    EXPECT_LT(ms, 8000);
    std::printf("figure: missing receiver reported after %lld ms\n", static_cast<long long>(ms));
    EXPECT_TRUE(waitUntil([&] { return panel->said("escape"); }, 5s)) << "the panel opened is closed again";
    EXPECT_FALSE(panel->events().contains("row Spálňa on"));
}

TEST_F(Atspi, PanelVanishingMidSelectionEndsInFalse)
{
    auto panel = startPanel({"--quit-on-tile", "AS-Obývačka"});
    EXPECT_EQ(select(QString::fromUtf8("AS-Obývačka"), true), false);
}

TEST_F(Atspi, DumpOfThePanelMatchesTheGoldenFile)
{
    auto panel = startPanel({"Spálňa=on", "AS-Obývačka"});
    QTemporaryDir dir;
    const QString path = dir.filePath("panel.txt");
    bool done = false;
    selector.dumpControlCenter(path, [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }, 15s));
    QFile dump(path), golden(QStringLiteral(TELVANTO_ATSPI_GOLDEN));
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    // The application's description is the fixture's path, which depends on the build folder.
    const QStringList lines = QString::fromUtf8(dump.readAll()).replace(QStringLiteral(TELVANTO_PANEL_FIXTURE), "FIXTURE").split('\n');
    const QStringList expected = QString::fromUtf8(golden.readAll()).split('\n');
    for (qsizetype i = 0; i < std::max(lines.size(), expected.size()); ++i)
        EXPECT_EQ(lines.value(i), expected.value(i)) << "line " << i + 1;
}

TEST_F(Atspi, NoAccessibilityBusMeansNoPanel)
{
    auto panel = startPanel({"AS-Obývačka"});
    qputenv("AT_SPI_BUS_ADDRESS", "unix:path=/nonexistent/telvanto-no-bus");
    AtspiElementTree unreachable;
    ControlCenterSelector blind(unreachable, scheduler);
    std::optional<bool> result;
    blind.selectReceiver(QString::fromUtf8("AS-Obývačka"), true, [&](bool ok) { result = ok; });
    EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 5s));
    EXPECT_EQ(result, false);
    bool dumped = false;
    const QString path = QDir::temp().filePath("telvanto-no-bus-dump.txt");
    blind.dumpControlCenter(path, [&] { dumped = true; });
    EXPECT_TRUE(waitUntil([&] { return dumped; }, 5s));
    EXPECT_FALSE(QFile::exists(path));
    qunsetenv("AT_SPI_BUS_ADDRESS");
}

TEST_F(Atspi, AccessibilitySwitchIsReadAndTurnedOn)
{
    telvanto::platform::AtspiAccessibility access;
    EXPECT_FALSE(access.isEnabled()) << "a fresh session starts with accessibility off";
    access.requestEnable();
    EXPECT_TRUE(access.isEnabled());
}
