// The tray menu: what each item does to the TV, the mirroring and the window; its icon.
#include "app/Autostart.h"
#include "app/MirrorView.h"
#include "app/TrayMenu.h"
#include "tv/TVApp.h"

#include "MirrorRig.h"
#include "TVRig.h"

#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>

using namespace telvanto;
using namespace telvanto::testing;
using app::TrayMenu;

namespace {

// The menu as the program builds it, mirroring items included, on a connected TV.
struct TrayRig {
    TVRig tv;
    MirrorRig mirror;
    app::MirrorView view{*mirror.mirror, mirror.tv};
    app::Autostart autostart{QString::fromStdString(tv.dir / "autostart"), QStringLiteral("/usr/bin/telvanto")};

    std::unique_ptr<TrayMenu> tray = std::make_unique<TrayMenu>(*tv.run("id paired start ready tv:start").tv, autostart);
    TrayRig() { tray->addMirroring(*mirror.mirror, [this] { view.toggle(); }); }

    // An item (or submenu) by its text.
    QAction* item(const QString& text)
    {
        for (QAction* a : tray->menu().findChildren<QAction*>())
            if (a->text() == text) return a;
        return nullptr;
    }
};

} // namespace

// Steps: an item is clicked, "open" the menu opens, "online" the TV's display comes up.
TEST(TrayMenu, ItemsActOnTheTvTheMirroringAndTheWindow)
{
    const struct { std::vector<const char*> steps; std::vector<std::string> atTv; QStringList mirrorTv; const char* signalled; bool mirroring, extend; } rows[] = {
        {{"Zapnúť / vypnúť TV", "Domov", "Prehrať / pauza", "YouTube"}, {"key:26", "key:3", "key:85", "link:https://www.youtube.com"}, {}, "0 0 0", 0, 0},
        {{"Otvoriť ovládač"}, {}, {}, "1 0 0", 0, 0}, {{"Ukončiť"}, {}, {}, "0 1 0", 0, 0}, {{"open"}, {}, {}, "0 0 1", 0, 0}, // window, quit, shown
        {{"online"}, {}, {}, "0 0 0", 1, 0},
        // the item stays enabled while busy: the controller drops a second press
        {{"Zobraziť Mac na TV"}, {}, {"wakeUp", "launch com.ionitech.airscreen"}, "0 0 0", 0, 0},
        {{"Druhý monitor"}, {}, {}, "0 0 0", 0, 1}, {{"Druhý monitor", "Zrkadliť obrazovku"}, {}, {}, "0 0 0", 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.steps.back());
        TrayRig rig;
        QSignalSpy open(rig.tray.get(), &TrayMenu::openWindowRequested), quit(rig.tray.get(), &TrayMenu::quitRequested),
            shown(rig.tray.get(), &TrayMenu::aboutToShow);
        const auto before = received(rig.tv.last()).size();
        for (const std::string step : r.steps) {
            if (step == "open") Q_EMIT rig.tray->menu().aboutToShow();
            else if (step == "online") rig.mirror.tvDisplayOnline(true);
            else if (QAction* item = rig.item(QString::fromStdString(step))) item->trigger();
            else ADD_FAILURE() << step;
        }
        const auto all = received(rig.tv.last());
        EXPECT_EQ(std::vector<std::string>(all.begin() + std::ptrdiff_t(before), all.end()), r.atTv);
        EXPECT_EQ(rig.mirror.tv.sent, r.mirrorTv);
        EXPECT_EQ(QStringLiteral("%1 %2 %3").arg(open.count()).arg(quit.count()).arg(shown.count()), r.signalled);
        QAction* first = rig.tray->menu().actions().first();
        EXPECT_TRUE(first->isEnabled());
        EXPECT_EQ(first->text(), r.mirroring ? "Zastaviť zobrazovanie na TV" : "Zobraziť Mac na TV");
        EXPECT_EQ(rig.tray->icon().icon().pixmap(22).toImage(), TrayMenu::symbolIcon(r.mirroring ? "tv.inset.filled" : "tv").pixmap(22).toImage());
        EXPECT_EQ(rig.item("Druhý monitor")->isChecked(), r.extend);
        EXPECT_EQ(rig.item("Zrkadliť obrazovku")->isChecked(), !r.extend);
    }
}

// The items as a panel lists them: texts, order, shortcuts, checks (a radio pair for the mode),
// and an item for each app of the catalogue.
TEST(TrayMenu, TextsOrderShortcutsAndChecks)
{
    TrayRig rig;
    QStringList items, modes;
    for (QAction* a : rig.tray->menu().actions())
        items << (a->isSeparator() ? "-" : a->text() + (a->shortcut().isEmpty() ? "" : " " + a->shortcut().toString()) + (a->isCheckable() ? " [x]" : ""));
    for (QAction* a : rig.item("Režim")->menu()->actions()) modes << a->text() + (a->actionGroup() && a->actionGroup()->isExclusive() ? " (o)" : "");
    EXPECT_EQ(items, (QStringList{"Zobraziť Mac na TV Ctrl+Shift+M", "Režim", "-", "Zapnúť / vypnúť TV", "Domov", "Prehrať / pauza", "Spustiť aplikáciu", "-",
                                  "Spúšťať pri prihlásení [x]", "Otvoriť ovládač", "Ukončiť Ctrl+Q"}));
    EXPECT_EQ(rig.item("Spustiť aplikáciu")->menu()->actions().size(), qsizetype(tv::TVApp::catalogue().size()));
    EXPECT_EQ(modes, (QStringList{"Zrkadliť obrazovku (o)", "Druhý monitor (o)"}));
}

// Start at login: a click writes or removes the entry; the check is read back from the file each
// time the menu opens, as the desktop or another program may change the entry meanwhile.
TEST(TrayMenu, StartAtLoginFollowsTheFileAsTheMenuOpens)
{
    TrayRig rig;
    QAction* item = rig.tray->startAtLoginAction();
    const auto opened = [&] {
        Q_EMIT rig.tray->menu().aboutToShow();
        return item->isChecked();
    };
    item->trigger();
    EXPECT_TRUE(opened() && rig.autostart.isEnabled());
    rig.autostart.setEnabled(false); // as another program would
    EXPECT_FALSE(opened());
    // A file where the folder goes: the click changes nothing, and the item says so at once.
    const QString folder = QFileInfo(rig.autostart.filePath()).path();
    QFile blocker(folder);
    ASSERT_TRUE(QDir(folder).removeRecursively() && blocker.open(QIODevice::WriteOnly));
    item->trigger();
    EXPECT_FALSE(item->isChecked());
}

TEST(TrayMenu, IconIsDrawnWithOrWithoutTheSymbol)
{
    for (const char* symbol : {"tv", "no.such.symbol"}) {
        const QImage image = TrayMenu::symbolIcon(QString::fromLatin1(symbol)).pixmap(22, 22).toImage();
        int light = 0, dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (const QColor c = image.pixelColor(x, y); c.alpha() >= 128) (c.lightness() > 200 ? light : dark) += 1;
        EXPECT_GT(light, 10) << symbol; // a body to see on a dark panel
        EXPECT_GT(dark, 5) << symbol;   // and an edge for a light one
    }
}
