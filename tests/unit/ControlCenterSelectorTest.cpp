#include "mirroring/ControlCenterSelector.h"

#include "FakeElementTree.h"
#include "QtPrinters.h"
#include "VirtualScheduler.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace telvanto::mirroring;
using telvanto::core::Duration;
using telvanto::testing::element;
using telvanto::testing::FakeElement;
using telvanto::testing::FakeElementTree;
using telvanto::testing::VirtualScheduler;

namespace {

constexpr auto never = Duration::max();

// A panel application as the selector expects it: a status area with the panel's item (and
// a status item that matches a keyword), a window holding the tile, receiver rows below it.
// Times are offsets from the start of the test; never keeps an element away.
struct Scene {
    bool running = true;
    bool panelItem = true;
    bool windowOpen = true;
    Duration tileAt = 0ms;
    Duration rowAt = 0ms;
    bool rowOn = false;
    Duration vanishAt = never;
};

struct Rig {
    explicit Rig(const Scene& s)
    {
        const auto at = [&](Duration d) { return d == never ? scheduler.now() + 1000h : scheduler.now() + d; };
        row = element("AXCheckBox", "AS-TV", {}, "Screen-Mirroring-Device-1");
        row->value = s.rowOn ? 1 : 0;
        row->appearsAt = at(s.rowAt);
        tile = element("AXCheckBox", "Zrkadlenie obrazovky", {}, "controlcenter-screen-mirroring", {element("AXGroup", {}, {}, {}, {row})});
        tile->appearsAt = at(s.tileAt);
        window = element("AXWindow", {}, {}, {}, {element("AXButton", "Wi-Fi"), tile});
        window->window = s.windowOpen;
        mirrorItem = element("AXMenuBarItem", "Screen Mirroring", {}, "com.apple.menuextra.screenmirroring");
        centreItem = element("AXMenuBarItem", "Control Center", {}, "com.apple.menuextra.controlcenter");
        app = element("AXApplication", "Control Center", {}, {}, {mirrorItem, window});
        telvanto::testing::attach(app, &scheduler, vanished);
        if (s.running) tree.apps["com.apple.controlcenter"] = app;
        std::vector<FakeElement::Ptr> items{element("AXMenuBarItem", "Wi-Fi", {}, "com.apple.menuextra.wifi"), mirrorItem};
        if (s.panelItem) items.push_back(centreItem);
        tree.setStatusItems(app, items);
        if (s.vanishAt != never) vanishTimer = scheduler.schedule(s.vanishAt, [this] { *vanished = true; });
    }

    VirtualScheduler scheduler;
    FakeElementTree tree;
    std::shared_ptr<bool> vanished = std::make_shared<bool>(false);
    FakeElement::Ptr app, window, tile, row, mirrorItem, centreItem;
    telvanto::core::TaskHandle vanishTimer;
};

struct Outcome {
    std::optional<bool> result;
    Duration at{};
};

Outcome select(Rig& rig, bool connect)
{
    ControlCenterSelector selector(rig.tree, rig.scheduler);
    Outcome outcome;
    const auto start = rig.scheduler.now();
    selector.selectReceiver("AS-TV", connect, [&](bool ok) {
        outcome.result = ok;
        outcome.at = rig.scheduler.now() - start;
    });
    EXPECT_FALSE(outcome.result) << "never reported from inside the call";
    rig.scheduler.advance(60s);
    return outcome;
}

} // namespace

TEST(ControlCenterSelector, SelectionOutcomesAndTheirTimes)
{
    // Polls run at 0, 150, ..., 1950 ms for the tile (2 s) and 0 ... 3900 ms for the row (4 s);
    // the give-up comes with the first poll at or past the limit.
    const struct {
        const char* name;
        Scene scene;
        bool connect;
        bool result;
        Duration at;
        int rowPresses, escapes;
    } cases[] = {
        {"panel not running", {.running = false}, true, false, 0ms, 0, 0},
        {"no panel item, no window open", {.panelItem = false, .windowOpen = false}, true, false, 0ms, 0, 0},
        {"no panel item, a window open", {.panelItem = false}, true, false, 0ms, 0, 1},
        {"off, connect: pressed, then a pause", {}, true, true, 600ms, 1, 1},
        {"on, connect: not pressed", {.rowOn = true}, true, true, 0ms, 0, 1},
        {"on, disconnect: pressed", {.rowOn = true}, false, true, 600ms, 1, 1},
        {"off, disconnect: not pressed", {}, false, true, 0ms, 0, 1},
        {"tile at the last poll", {.tileAt = 1950ms}, true, true, 1950ms + 600ms, 1, 1},
        {"tile just after the last poll", {.tileAt = 1951ms}, true, false, 2100ms, 0, 1},
        {"tile never", {.tileAt = never}, true, false, 2100ms, 0, 1},
        {"row at the last poll", {.rowAt = 3900ms}, true, true, 3900ms + 600ms, 1, 1},
        {"row just after the last poll", {.rowAt = 3901ms}, true, false, 4050ms, 0, 1},
        {"row after a late tile", {.tileAt = 300ms, .rowAt = 4200ms}, true, true, 4200ms + 600ms, 1, 1},
        {"panel vanishes while the rows load", {.rowAt = 1s, .vanishAt = 500ms}, true, false, 4050ms, 0, 0},
        {"panel vanishes while the tile loads", {.tileAt = 1s, .vanishAt = 500ms}, true, false, 2100ms, 0, 0},
    };
    for (const auto& c : cases) {
        Rig rig(c.scene);
        const Outcome outcome = select(rig, c.connect);
        ASSERT_TRUE(outcome.result) << c.name << ": never reported";
        EXPECT_EQ(*outcome.result, c.result) << c.name;
        EXPECT_EQ(outcome.at, c.at) << c.name;
        EXPECT_EQ(rig.row->presses, c.rowPresses) << c.name;
        EXPECT_EQ(rig.tree.escapes, c.escapes) << c.name;
        EXPECT_EQ(rig.mirrorItem->presses, 0) << c.name << ": a status item is never the tile";
        EXPECT_EQ(rig.scheduler.pending(), 0u) << c.name;
    }
}

TEST(ControlCenterSelector, PressesItemTileAndRowOnceEach)
{
    Rig rig({.tileAt = 400ms, .rowAt = 1s});
    select(rig, true);
    EXPECT_EQ(rig.centreItem->presses, 1);
    EXPECT_EQ(rig.tile->presses, 1);
    EXPECT_EQ(rig.row->presses, 1);
    EXPECT_EQ(rig.row->value, 1.0);
}

TEST(ControlCenterSelector, NothingIsReportedOnceTheSelectorIsGone)
{
    Rig rig({.rowAt = never});
    int reports = 0;
    {
        ControlCenterSelector selector(rig.tree, rig.scheduler);
        selector.selectReceiver("AS-TV", true, [&](bool) { ++reports; });
        selector.dumpControlCenter("/nonexistent/x", [&] { ++reports; });
        rig.scheduler.advance(1s);
    }
    EXPECT_EQ(rig.scheduler.pending(), 0u);
    rig.scheduler.advance(10s);
    EXPECT_EQ(reports, 0);
}

TEST(ControlCenterSelector, OverlappingCallsEachGetTheirOwnAnswer)
{
    Rig rig({.rowAt = 1s});
    ControlCenterSelector selector(rig.tree, rig.scheduler);
    std::vector<QString> answers;
    selector.selectReceiver("AS-TV", true, [&](bool ok) { answers.push_back(QStringLiteral("TV %1").arg(ok)); });
    selector.selectReceiver("Other", true, [&](bool ok) { answers.push_back(QStringLiteral("Other %1").arg(ok)); });
    rig.scheduler.advance(10s);
    EXPECT_EQ(answers, (std::vector<QString>{"TV 1", "Other 0"}));
}

TEST(ControlCenterSelector, DumpWritesTheTreeAfterOpeningThePanel)
{
    const struct {
        const char* name;
        Scene scene;
        QString pressedLine; // empty: no tile was pressed
        Duration at;
    } cases[] = {
        {"panel item and tile", {}, R"(== pressed tile AXCheckBox |  | Zrkadlenie obrazovky |  | controlcenter-screen-mirroring |  | actions=["AXPress"] | value=-)", 2700ms},
        {"tile too late for the one look", {.tileAt = 1201ms}, {}, 2700ms},
        {"no panel item", {.panelItem = false}, {}, 1500ms},
    };
    for (const auto& c : cases) {
        Rig rig(c.scene);
        QTemporaryDir dir;
        const QString path = dir.filePath("dump.txt");
        ControlCenterSelector selector(rig.tree, rig.scheduler);
        std::optional<Duration> doneAt;
        const auto start = rig.scheduler.now();
        selector.dumpControlCenter(path, [&] { doneAt = rig.scheduler.now() - start; });
        rig.scheduler.advance(10s);
        EXPECT_EQ(doneAt, c.at) << c.name;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.name;
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        QStringList expected = {
            "== extras",
            R"(AXMenuBarItem |  | Wi-Fi |  | com.apple.menuextra.wifi |  | actions=["AXPress"] | value=-)",
            R"(AXMenuBarItem |  | Screen Mirroring |  | com.apple.menuextra.screenmirroring |  | actions=["AXPress"] | value=-)",
        };
        if (c.scene.panelItem)
            expected << R"(AXMenuBarItem |  | Control Center |  | com.apple.menuextra.controlcenter |  | actions=["AXPress"] | value=-)";
        if (!c.pressedLine.isEmpty()) expected << c.pressedLine;
        expected << R"(AXApplication |  | Control Center |  |  |  | actions=["AXPress"] | value=-)"
                 << R"(  AXMenuBarItem |  | Screen Mirroring |  | com.apple.menuextra.screenmirroring |  | actions=["AXPress"] | value=-)"
                 << R"(  AXWindow |  |  |  |  |  | actions=["AXPress"] | value=-)"
                 << R"(    AXButton |  | Wi-Fi |  |  |  | actions=["AXPress"] | value=-)";
        if (c.scene.tileAt <= 2700ms)
            expected << R"(    AXCheckBox |  | Zrkadlenie obrazovky |  | controlcenter-screen-mirroring |  | actions=["AXPress"] | value=-)"
                     << R"(      AXGroup |  |  |  |  |  | actions=["AXPress"] | value=-)"
                     << R"(        AXCheckBox |  | AS-TV |  | Screen-Mirroring-Device-1 |  | actions=["AXPress"] | value=0)";
        expected << "";
        EXPECT_EQ(lines, expected) << c.name;
        EXPECT_EQ(rig.tree.escapes, 1) << c.name;
        EXPECT_EQ(rig.tile->presses, c.pressedLine.isEmpty() ? 0 : 1) << c.name;
    }
}

TEST(ControlCenterSelector, DumpWritesNothingWithoutThePanelOrAPlaceToWrite)
{
    QTemporaryDir dir;
    const struct {
        const char* name;
        bool running;
        QString path;
    } cases[] = {
        {"panel not running", false, dir.filePath("dump.txt")},
        {"directory missing", true, dir.filePath("missing/dump.txt")},
        {"path is a directory", true, dir.path()},
    };
    for (const auto& c : cases) {
        Rig rig({.running = c.running});
        ControlCenterSelector selector(rig.tree, rig.scheduler);
        bool done = false;
        selector.dumpControlCenter(c.path, [&] { done = true; });
        EXPECT_FALSE(done) << c.name;
        rig.scheduler.advance(10s);
        EXPECT_TRUE(done) << c.name;
        EXPECT_FALSE(QFile::exists(dir.filePath("dump.txt"))) << c.name;
        EXPECT_EQ(rig.tree.escapes, c.running ? 1 : 0) << c.name;
    }
}
