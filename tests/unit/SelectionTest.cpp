// Receiver selection over scripted element trees: the searches and the dump lines, then the
// selector's waits, presses and outcomes, in virtual time.
#include "mirroring/ControlCenterSelector.h"
#include "mirroring/ElementSearch.h"

#include "FakeElementTree.h"
#include "QtPrinters.h"
#include "VirtualScheduler.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace telvanto::mirroring;
using namespace telvanto::testing;
using telvanto::core::Duration;

namespace {

const Panel cc = Panel::controlCenter();

FakeElement::Ptr app(std::vector<FakeElement::Ptr> kids) { return el("AXApplication", std::move(kids)); }

// A chain of plain groups below an application, the end at the given level.
FakeElement::Ptr chain(int level, FakeElement::Ptr end)
{
    for (int i = 1; i < level; ++i) end = el("AXGroup", {end});
    return app({end});
}

QString titleOf(const ElementPtr& e) { return e ? search::stringAttribute(*e, Element::Attribute::title) : QString(); }

// A panel application as the selector expects it: a status area with the panel's item, a
// window holding a volume slider and the tile, the receiver's row below it. The tile and the row show from the given time on, as a panel fills
// while it loads.
struct Scene { bool running = true, panelItem = true, windowOpen = true; Duration tileAt = 0ms, rowAt = 0ms; bool rowOn = false; };

struct Rig {
    explicit Rig(const Scene& s)
    {
        row = el("AXCheckBox|AXToggle|AS-TV||Screen-Mirroring-Device-1"), row->value = s.rowOn, row->actionNames = {"AXPress", "AXShowMenu"};
        tile = el("AXCheckBox||Zrkadlenie obrazovky||controlcenter-screen-mirroring");
        const auto volume = el("AXSlider||Hlasitosť|||70 %|hint"), window = el("AXWindow", {volume});
        volume->value = 0.25, volume->actionNames = {};
        window->window = s.windowOpen;
        show(s.tileAt, window, tile), show(s.rowAt, tile, row);
        item = el("AXMenuBarItem||Control Center||com.apple.menuextra.controlcenter");
        auto application = el("AXApplication||Control Center", {window});
        if (s.running) tree.apps["com.apple.controlcenter"] = application;
        if (s.panelItem) tree.items[application.get()] = {item};
        scheduler.advance({}); // what shows at once
    }
    void show(Duration at, const FakeElement::Ptr& parent, const FakeElement::Ptr& kid)
    {
        later.push_back(scheduler.schedule(at, [parent, kid] { parent->kids.push_back(kid); }));
    }
    // Presses of the panel's item, the tile and the row.
    QString presses() const { return QStringLiteral("%1%2%3").arg(item->presses).arg(tile->presses).arg(row->presses); }

    VirtualScheduler scheduler;
    FakeElementTree tree;
    std::unique_ptr<ControlCenterSelector> selector = std::make_unique<ControlCenterSelector>(tree, scheduler);
    FakeElement::Ptr tile, row, item;
    std::vector<telvanto::core::TaskHandle> later;
};

} // namespace

TEST(ElementSearch, KeywordsAreSoughtInFiveAttributesJoined)
{
    const struct { const char* fields; bool match; } rows[] = {
        {"", false}, {"||Screen Mirroring", true}, {"|||ZRKADLENIE OBRAZOVKY", true}, {"||||com.example.ScreenMirroring.tile", true},
        {"|||||zrkadlenie", true}, {"||||||Opens screen-mirroring", true}, {"||Screen|Mirroring", false},
        {"screen mirroring|zrkadlenie", false}, // role and subrole are not searched
    };
    for (const auto& r : rows) EXPECT_EQ(search::matchesAnyKeyword(*el(r.fields), cc.keywords), r.match) << r.fields;
}

TEST(ElementSearch, TileAndRowAreTheFirstMatchDepthFirstDownToLevel14)
{
    const auto row = [](const char* fields) { return app({el(fields)}); };
    const auto named = el("AXCheckBox||Obývačka||screen-mirroring-device-1");
    const struct { const char* name; FakeElement::Ptr root; bool row /* else the tile */; QString found; } rows[] = {
        {"not the application", el("AXApplication||Screen Mirroring", {el("AXButton||Zrkadlenie")}), false, "Zrkadlenie"},
        {"status item skipped, its children searched", app({el("AXMenuBarItem||Screen Mirroring||com.apple.menuextra.screenmirroring", {el("AXButton||inner zrkadlenie")})}), false, "inner zrkadlenie"},
        {"status item prefix in capitals", row("AXMenuBarItem||Zrkadlenie||COM.Apple.MenuExtra.mirror"), false, ""},
        {"prefix elsewhere is no status item", row("AXButton||Zrkadlenie||x.com.apple.menuextra"), false, "Zrkadlenie"},
        {"depth first", app({el("AXGroup", {el("AXButton||deep zrkadlenie")}), el("AXButton||near zrkadlenie")}), false, "deep zrkadlenie"},
        {"tile at level 14", chain(14, el("AXButton||Zrkadlenie")), false, "Zrkadlenie"}, {"tile at level 15", chain(15, el("AXButton||Zrkadlenie")), false, ""},
        {"row by description", row("AXCheckBox||x|Obývačka|screen-mirroring-device-1"), true, "x"},
        {"name differs in case", row("AXCheckBox||obývačka|OBÝVAČKA|screen-mirroring-device-1"), true, ""},
        {"row prefix not at the start", row("AXCheckBox||Obývačka||x-screen-mirroring-device-1"), true, ""},
        {"row inside a status item", app({el("AXMenuBarItem||x||com.apple.menuextra.y", {named})}), true, "Obývačka"},
    };
    for (const auto& r : rows) EXPECT_EQ(titleOf(r.row ? search::findReceiverRow(r.root, 0, "Obývačka", cc) : search::findMirroringTile(r.root, 0, cc)), r.found) << r.name;
}

TEST(ElementSearch, AWalkStopsAfter2000ElementsAndTheDumpAtLevel15)
{
    // A hostile application with a flat list far longer than any panel.
    const auto rowAt = [](int index) {
        std::vector<FakeElement::Ptr> kids(6000);
        for (auto& kid : kids) kid = el("AXButton");
        kids[index] = el("AXCheckBox||TV||screen-mirroring-device-1");
        return app(kids);
    };
    EXPECT_EQ(titleOf(search::findReceiverRow(rowAt(1998), 0, "TV", cc)), "TV"); // the application and 1 999 before it
    EXPECT_EQ(titleOf(search::findReceiverRow(rowAt(1999), 0, "TV", cc)), "");
    QString dump;
    search::dumpTree(rowAt(0), 0, dump);
    EXPECT_EQ(dump.count(QLatin1Char('\n')), 2000);
    QString deep; // the leaf is at level 16
    search::dumpTree(chain(16, el("AXButton||leaf")), 0, deep);
    EXPECT_EQ(deep.split('\n', Qt::SkipEmptyParts).last(), QString(30, ' ') + R"(AXGroup |  |  |  |  |  | actions=["AXPress"] | value=-)");
}

TEST(ControlCenterSelector, SelectionOutcomesAndTheirTimes)
{
    // Polls run at 0, 150, ..., 1950 ms for the tile (2 s), and for 4 s from the tile's press for
    // the row; the give-up comes with the first poll at or past the limit.
    const struct { const char* name; Scene scene; bool connect, result; Duration at; const char* presses; int escapes; } rows[] = {
        {"panel not running", {.running = false}, true, false, 0ms, "000", 0}, {"no panel item, no window open", {.panelItem = false, .windowOpen = false}, true, false, 0ms, "000", 0},
        {"no panel item, a window open", {.panelItem = false}, true, false, 0ms, "000", 1},
        {"off, connect: pressed, then a pause", {}, true, true, 600ms, "111", 1},
        {"on, connect: not pressed", {.rowOn = true}, true, true, 0ms, "110", 1}, {"on, disconnect: pressed", {.rowOn = true}, false, true, 600ms, "111", 1},
        {"tile at the last poll", {.tileAt = 1950ms}, true, true, 1950ms + 600ms, "111", 1}, {"tile just after the last poll", {.tileAt = 1951ms}, true, false, 2100ms, "100", 1},
        {"row at the last poll after a late tile", {.tileAt = 300ms, .rowAt = 4200ms}, true, true, 4200ms + 600ms, "111", 1},
        {"row just after the last poll", {.tileAt = 300ms, .rowAt = 4201ms}, true, false, 4350ms, "110", 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig(r.scene);
        std::optional<bool> result;
        Duration at = -rig.scheduler.now().time_since_epoch();
        rig.selector->selectReceiver("AS-TV", r.connect, [&](bool ok) { result = ok, at += rig.scheduler.now().time_since_epoch(); });
        EXPECT_FALSE(result) << "never reported from inside the call";
        rig.scheduler.advance(60s);
        EXPECT_EQ(std::tie(result, at, rig.tree.escapes), std::tie(r.result, r.at, r.escapes));
        EXPECT_EQ(rig.presses(), r.presses);
        EXPECT_EQ(rig.scheduler.pending(), 0u);
    }
}

TEST(ControlCenterSelector, CallsAreIndependentAndNoneReportsAfterTheSelector)
{
    Rig rig({.rowAt = 1s});
    QStringList answers;
    rig.selector->selectReceiver("AS-TV", true, [&](bool ok) { answers << QStringLiteral("TV %1").arg(ok); });
    rig.selector->selectReceiver("Other", true, [&](bool ok) { answers << QStringLiteral("Other %1").arg(ok); });
    rig.scheduler.advance(3s); // the TV's row is set; the other one is still sought
    rig.selector.reset();
    EXPECT_EQ(rig.scheduler.pending(), 0u);
    rig.scheduler.advance(10s);
    EXPECT_EQ(answers, QStringList({"TV 1"}));
}

TEST(ControlCenterSelector, DumpWritesTheTreeAfterOpeningThePanel)
{
    // A line per element: the six dumped attributes (help is not one), its actions and its
    // number, indented two spaces a level.
    const QStringList full = {
        "== extras",
        R"(AXMenuBarItem |  | Control Center |  | com.apple.menuextra.controlcenter |  | actions=["AXPress"] | value=-)",
        R"(== pressed tile AXCheckBox |  | Zrkadlenie obrazovky |  | controlcenter-screen-mirroring |  | actions=["AXPress"] | value=-)",
        R"(AXApplication |  | Control Center |  |  |  | actions=["AXPress"] | value=-)",
        R"(  AXWindow |  |  |  |  |  | actions=["AXPress"] | value=-)",
        R"(    AXSlider |  | Hlasitosť |  |  | 70 % | actions=[] | value=0.25)",
        R"(    AXCheckBox |  | Zrkadlenie obrazovky |  | controlcenter-screen-mirroring |  | actions=["AXPress"] | value=-)",
        R"(      AXCheckBox | AXToggle | AS-TV |  | Screen-Mirroring-Device-1 |  | actions=["AXPress", "AXShowMenu"] | value=0)",
        "",
    };
    QTemporaryDir dir;
    const QString file = dir.filePath("dump.txt");
    // left: the lines of the full dump left out; none: no file.
    const struct { const char* name; Scene scene; QString path; Duration at; std::optional<std::vector<int>> left; } rows[] = {
        {"panel item and tile", {}, file, 2700ms, std::vector<int>{}}, {"a file URL", {}, "file://" + file, 2700ms, std::vector<int>{}},
        {"tile too late for the one look", {.tileAt = 1201ms}, file, 2700ms, std::vector{2}},
        {"no panel item", {.panelItem = false}, file, 1500ms, std::vector{1, 2}},
        {"panel not running", {.running = false}, file, 0ms, {}}, {"directory missing", {}, dir.filePath("missing/dump.txt"), 2700ms, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig(r.scene);
        std::optional<Duration> doneAt;
        const auto start = rig.scheduler.now();
        rig.selector->dumpControlCenter(r.path, [&] { doneAt = rig.scheduler.now() - start; });
        rig.scheduler.advance(10s);
        EXPECT_EQ(std::tuple(doneAt, rig.tree.escapes), std::tuple(r.at, r.scene.running ? 1 : 0));
        QFile dump(file);
        ASSERT_EQ(dump.open(QIODevice::ReadOnly), r.left.has_value());
        if (!r.left) continue;
        QStringList expected = full;
        for (auto it = r.left->rbegin(); it != r.left->rend(); ++it) expected.removeAt(*it);
        EXPECT_EQ(QString::fromUtf8(dump.readAll()).split('\n'), expected);
        EXPECT_EQ(rig.tile->presses, expected.contains(full[2]) ? 1 : 0);
        dump.remove();
    }
}
