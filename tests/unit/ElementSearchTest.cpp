#include "mirroring/ElementSearch.h"

#include "FakeElementTree.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace telvanto::mirroring;
using telvanto::testing::element;
using telvanto::testing::FakeElement;
using A = Element::Attribute;

namespace {

const Panel panel = Panel::controlCenter();

// A chain of plain groups, depth levels below the root, ending in the given element.
FakeElement::Ptr chain(int depth, FakeElement::Ptr end)
{
    FakeElement::Ptr node = std::move(end);
    for (int i = 1; i < depth; ++i) node = element("AXGroup", {}, {}, {}, {node});
    return element("AXApplication", {}, {}, {}, {node});
}

QString titleOf(const ElementPtr& e) { return e ? search::stringAttribute(*e, A::title) : QStringLiteral("<none>"); }

} // namespace

TEST(ElementSearch, KeywordsAreSoughtInFiveAttributesJoined)
{
    const struct {
        const char* name;
        std::map<A, QString> texts;
        QStringList keywords;
        bool match;
    } cases[] = {
        {"all absent: only the separators", {}, panel.keywords, false},
        {"all absent, an empty keyword", {}, {QString()}, false},
        {"title, any case", {{A::title, "Screen Mirroring"}}, panel.keywords, true},
        {"Slovak capitals", {{A::description, "ZRKADLENIE OBRAZOVKY"}}, panel.keywords, true},
        {"identifier", {{A::identifier, "com.example.ScreenMirroring.tile"}}, panel.keywords, true},
        {"text value", {{A::value, "zrkadlenie"}}, panel.keywords, true},
        {"help", {{A::help, "Opens screen-mirroring"}}, panel.keywords, true},
        {"role is not searched", {{A::role, "screen mirroring"}}, panel.keywords, false},
        {"subrole is not searched", {{A::subrole, "zrkadlenie"}}, panel.keywords, false},
        {"split over two attributes", {{A::title, "Screen"}, {A::description, "Mirroring"}}, panel.keywords, false},
        {"unrelated", {{A::title, "Wi-Fi"}, {A::identifier, "controlcenter-wifi"}}, panel.keywords, false},
    };
    for (const auto& c : cases) {
        FakeElement e;
        e.texts = c.texts;
        EXPECT_EQ(search::matchesAnyKeyword(e, c.keywords), c.match) << c.name;
    }
}

TEST(ElementSearch, MirroringTileIsTheFirstMatchBelowTheApplicationThatIsNoStatusItem)
{
    const struct {
        const char* name;
        FakeElement::Ptr root;
        QString expected;
    } cases[] = {
        {"direct child", element("AXApplication", {}, {}, {}, {element("AXButton", "Wi-Fi"), element("AXCheckBox", "Zrkadlenie obrazovky")}),
         "Zrkadlenie obrazovky"},
        {"the application itself is not taken", element("AXApplication", "Screen Mirroring", {}, {}, {element("AXButton", "Zrkadlenie")}),
         "Zrkadlenie"},
        {"status item skipped, its children searched",
         element("AXApplication", {}, {}, {},
                 {element("AXMenuBarItem", "Screen Mirroring", {}, "com.apple.menuextra.screenmirroring", {element("AXButton", "inner zrkadlenie")})}),
         "inner zrkadlenie"},
        {"status item prefix in capitals",
         element("AXApplication", {}, {}, {}, {element("AXMenuBarItem", "Zrkadlenie", {}, "COM.Apple.MenuExtra.mirror")}), "<none>"},
        {"prefix elsewhere in the identifier is no status item",
         element("AXApplication", {}, {}, {}, {element("AXButton", "Zrkadlenie", {}, "x.com.apple.menuextra")}), "Zrkadlenie"},
        {"depth first", element("AXApplication", {}, {}, {}, {element("AXGroup", {}, {}, {}, {element("AXButton", "deep zrkadlenie")}), element("AXButton", "near zrkadlenie")}),
         "deep zrkadlenie"},
        {"level 14 is searched", chain(14, element("AXButton", "Zrkadlenie")), "Zrkadlenie"},
        {"level 15 is not", chain(15, element("AXButton", "Zrkadlenie")), "<none>"},
        {"nothing matches", element("AXApplication", {}, {}, {}, {element("AXButton", "Wi-Fi")}), "<none>"},
    };
    for (const auto& c : cases) EXPECT_EQ(titleOf(search::findMirroringTile(c.root, 0, panel)), c.expected) << c.name;
}

TEST(ElementSearch, ReceiverRowNeedsThePrefixAndTheExactName)
{
    const struct {
        const char* name;
        QString title, description, identifier;
        bool row;
    } cases[] = {
        {"description", "x", "Obývačka", "screen-mirroring-device-1", true},
        {"title", "Obývačka", "other", "screen-mirroring-device-1", true},
        {"prefix in mixed case", "Obývačka", {}, "Screen-Mirroring-Device-AB12", true},
        {"name differs in case", "obývačka", "OBÝVAČKA", "screen-mirroring-device-1", false},
        {"name with a trailing space", "Obývačka ", {}, "screen-mirroring-device-1", false},
        {"no identifier", "Obývačka", {}, {}, false},
        {"prefix not at the start", "Obývačka", {}, "x-screen-mirroring-device-1", false},
        {"a tile is no row", "Obývačka", {}, "screen-mirroring", false},
    };
    for (const auto& c : cases) {
        const auto e = element("AXCheckBox", c.title, c.description, c.identifier);
        EXPECT_EQ(search::isReceiverRow(*e, "Obývačka", panel), c.row) << c.name;
    }
}

TEST(ElementSearch, ReceiverRowIsFoundDownToLevel14)
{
    const auto row = [] { return element("AXCheckBox", "TV", {}, "screen-mirroring-device-1"); };
    EXPECT_EQ(titleOf(search::findReceiverRow(chain(14, row()), 0, "TV", panel)), "TV");
    EXPECT_EQ(titleOf(search::findReceiverRow(chain(15, row()), 0, "TV", panel)), "<none>");
    // Rows are tested everywhere, status items included.
    const auto inItem = element("AXApplication", {}, {}, {}, {element("AXMenuBarItem", "x", {}, "com.apple.menuextra.y", {row()})});
    EXPECT_EQ(titleOf(search::findReceiverRow(inItem, 0, "TV", panel)), "TV");
}

TEST(ElementSearch, AWalkStopsAfterItsElementBudget)
{
    // A hostile application with a flat list far longer than any panel.
    std::vector<FakeElement::Ptr> many;
    for (int i = 0; i < 3 * search::elementsPerWalk; ++i) many.push_back(element("AXButton", QString::number(i)));
    const auto withRowAt = [&](int index) {
        auto kids = many;
        kids[index] = element("AXCheckBox", "TV", {}, "screen-mirroring-device-1");
        return element("AXApplication", {}, {}, {}, kids);
    };
    EXPECT_EQ(titleOf(search::findReceiverRow(withRowAt(100), 0, "TV", panel)), "TV");
    EXPECT_EQ(titleOf(search::findReceiverRow(withRowAt(2 * search::elementsPerWalk), 0, "TV", panel)), "<none>");
    QString dump;
    search::dumpTree(withRowAt(0), 0, dump);
    EXPECT_EQ(dump.count(QLatin1Char('\n')), search::elementsPerWalk);
}

TEST(ElementSearch, DescribedElementLines)
{
    const auto make = [](std::map<A, QString> texts, std::optional<double> value, QStringList actions) {
        FakeElement e;
        e.texts = std::move(texts);
        e.value = value;
        e.actionNames = std::move(actions);
        return search::describeElement(e);
    };
    const struct {
        const char* name;
        QString line, expected;
    } cases[] = {
        {"all absent", make({}, std::nullopt, {}), " |  |  |  |  |  | actions=[] | value=-"},
        {"row that is on",
         make({{A::role, "AXCheckBox"}, {A::subrole, "AXToggle"}, {A::title, "Obývačka"}, {A::identifier, "screen-mirroring-device-1"}}, 1.0,
              {"AXPress"}),
         "AXCheckBox | AXToggle | Obývačka |  | screen-mirroring-device-1 |  | actions=[\"AXPress\"] | value=1"},
        {"off, two actions", make({{A::role, "check box"}}, 0.0, {"Toggle", "SetFocus"}),
         "check box |  |  |  |  |  | actions=[\"Toggle\", \"SetFocus\"] | value=0"},
        {"fraction", make({}, 0.25, {}), " |  |  |  |  |  | actions=[] | value=0.25"},
        {"text value shown, help not", make({{A::value, "70 %"}, {A::help, "hint"}, {A::description, "Hlasitosť"}}, std::nullopt, {}),
         " |  |  | Hlasitosť |  | 70 % | actions=[] | value=-"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.line, c.expected) << c.name;
}

TEST(ElementSearch, DumpTreeIndentsByLevelDownTo15)
{
    auto root = element("AXApplication", "Panel", {}, {},
                        {element("AXWindow", {}, {}, {}, {element("AXButton", "A"), element("AXButton", "B")}), element("AXMenuBar")});
    root->kids[0]->kids[1]->value = 0;
    root->kids[0]->kids[1]->actionNames.clear();
    QString dump;
    search::dumpTree(root, 0, dump);
    const QStringList expected = {
        R"(AXApplication |  | Panel |  |  |  | actions=["AXPress"] | value=-)",
        R"(  AXWindow |  |  |  |  |  | actions=["AXPress"] | value=-)",
        R"(    AXButton |  | A |  |  |  | actions=["AXPress"] | value=-)",
        R"(    AXButton |  | B |  |  |  | actions=[] | value=0)",
        R"(  AXMenuBar |  |  |  |  |  | actions=["AXPress"] | value=-)",
        "",
    };
    EXPECT_EQ(dump.split(QLatin1Char('\n')), expected);

    QString deep;
    search::dumpTree(chain(16, element("AXButton", "leaf")), 0, deep);
    const QStringList lines = deep.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 16) << "levels 0 to 15";
    EXPECT_TRUE(lines.last().startsWith(QString(30, QLatin1Char(' ')) + QStringLiteral("AXGroup"))) << lines.last().toStdString();
}
