// The tray menu: its items, what each does to the TV and the window, and the start-at-login
// check read from the file each time the menu opens.
#include "app/Autostart.h"
#include "app/MirrorView.h"
#include "app/TrayMenu.h"

#include "MirrorRig.h"
#include "TVRig.h"

#include <QFile>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>

using namespace telvanto;
using namespace telvanto::testing;
using app::TrayMenu;

namespace {

struct TrayRig {
    TVRig tv;
    app::Autostart autostart{QString::fromStdString(tv.dir / "autostart"), QStringLiteral("/usr/bin/telvanto")};
    std::unique_ptr<TrayMenu> tray;

    TrayRig()
    {
        tv.run("id paired start ready tv:start");
        tray = std::make_unique<TrayMenu>(*tv.tv, autostart);
    }

    // An item by its path of texts, "Spustiť aplikáciu>Netflix".
    QAction* item(const QString& path)
    {
        QMenu* menu = &tray->menu();
        const QStringList parts = path.split(QLatin1Char('>'));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QAction* found = nullptr;
            for (QAction* a : menu->actions()) {
                if (a->text() == parts[i]) found = a;
            }
            if (!found) return nullptr;
            if (i + 1 == parts.size()) return found;
            menu = found->menu();
            if (!menu) return nullptr;
        }
        return nullptr;
    }
    void opens() { Q_EMIT tray->menu().aboutToShow(); }
    std::vector<std::string> atTv() { return received(tv.last()); }
};

// "text", "-" for a separator, "text>" for a submenu, "[text]" checkable, "text|Ctrl+Q".
QStringList layout(const QMenu& menu)
{
    QStringList out;
    for (const QAction* a : menu.actions()) {
        QString line = a->isSeparator() ? QStringLiteral("-") : a->text();
        if (a->menu()) line += '>';
        if (a->isCheckable()) line = '[' + line + ']';
        if (!a->shortcut().isEmpty()) line += '|' + a->shortcut().toString();
        out << line;
    }
    return out;
}

} // namespace

TEST(TrayMenu, ItemsInOrderWithTheirTexts)
{
    TrayRig rig;
    EXPECT_EQ(layout(rig.tray->menu()),
              QStringList({"-", "Zapnúť / vypnúť TV", "Domov", "Prehrať / pauza", "Spustiť aplikáciu>", "-",
                           "[Spúšťať pri prihlásení]", "Otvoriť ovládač", "Ukončiť|Ctrl+Q"}));
    QStringList apps;
    for (const auto& app : tv::TVApp::catalogue()) apps << app.name;
    EXPECT_EQ(layout(*rig.item("Spustiť aplikáciu")->menu()), apps);
    EXPECT_EQ(rig.tray->topSeparator(), rig.tray->menu().actions().first());
    EXPECT_EQ(rig.tray->icon().toolTip(), "Telvanto");
}

TEST(TrayMenu, MirroringItemsOnTopFollowTheController)
{
    // Steps: "online"/"offline" (the TV's display), "press" item 1, "extend"/"mirror" (the
    // submenu), "busy" (a start is running).
    const struct {
        const char* script;
        QString item;
        const char* checked; // the checked mode
        QString icon;
        QStringList atTv;
    } rows[] = {
        {"", "Zobraziť Mac na TV|Ctrl+Shift+M", "Zrkadliť obrazovku", "tv", {}},
        {"online", "Zastaviť zobrazovanie na TV|Ctrl+Shift+M", "Zrkadliť obrazovku", "tv.inset.filled", {}},
        {"online offline", "Zobraziť Mac na TV|Ctrl+Shift+M", "Zrkadliť obrazovku", "tv", {}},
        {"press", "Zobraziť Mac na TV|Ctrl+Shift+M", "Zrkadliť obrazovku", "tv", {"wakeUp", "launch com.ionitech.airscreen"}},
        {"extend", "Zobraziť Mac na TV|Ctrl+Shift+M", "Druhý monitor", "tv", {}},
        {"extend mirror", "Zobraziť Mac na TV|Ctrl+Shift+M", "Zrkadliť obrazovku", "tv", {}},
    };
    for (const auto& r : rows) {
        TrayRig rig;
        MirrorRig mirror;
        app::MirrorView view(*mirror.mirror, mirror.tv);
        rig.tray->addMirroring(*mirror.mirror, [&] { view.toggle(); });
        std::istringstream words(r.script);
        for (std::string w; words >> w;) {
            if (w == "online" || w == "offline") mirror.tvDisplayOnline(w == "online");
            else if (w == "press") rig.tray->menu().actions().first()->trigger();
            else rig.item(w == "extend" ? "Režim>Druhý monitor" : "Režim>Zrkadliť obrazovku")->trigger();
        }
        const QStringList lines = layout(rig.tray->menu());
        EXPECT_EQ(lines.mid(0, 3), QStringList({r.item, "Režim>", "-"})) << r.script;
        EXPECT_EQ(layout(*rig.item("Režim")->menu()), QStringList({"[Zrkadliť obrazovku]", "[Druhý monitor]"})) << r.script;
        EXPECT_TRUE(rig.item("Režim>" + QString::fromUtf8(r.checked))->isChecked()) << r.script;
        EXPECT_EQ(rig.tray->icon().icon().pixmap(22).toImage(), TrayMenu::symbolIcon(r.icon).pixmap(22).toImage()) << r.script;
        EXPECT_EQ(mirror.tv.sent, r.atTv) << r.script;
    }
    // Not disabled while busy: the press reaches the controller, which drops it.
    TrayRig rig;
    MirrorRig mirror;
    app::MirrorView view(*mirror.mirror, mirror.tv);
    rig.tray->addMirroring(*mirror.mirror, [&] { view.toggle(); });
    QAction* item = rig.tray->menu().actions().first();
    item->trigger();
    ASSERT_TRUE(mirror.mirror->busy());
    EXPECT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_EQ(mirror.tv.sent.size(), 2);
}

TEST(TrayMenu, ItemsActOnTheTv)
{
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"Zapnúť / vypnúť TV", {"key:26"}},
        {"Domov", {"key:3"}},
        {"Prehrať / pauza", {"key:85"}},
        {"Spustiť aplikáciu>YouTube", {"link:https://www.youtube.com"}},
        {"Spustiť aplikáciu>Spotify", {"link:spotify:"}},
        {"Spustiť aplikáciu>VOYO", {"link:market://launch?id=net.cme.voyo.sk.tvapp"}},
        {"Otvoriť ovládač", {}},
        {"Ukončiť", {}},
        {"Spúšťať pri prihlásení", {}},
    };
    for (const auto& [path, expected] : rows) {
        TrayRig rig;
        const auto before = rig.atTv().size();
        QAction* action = rig.item(QString::fromUtf8(path));
        ASSERT_TRUE(action) << path;
        action->trigger();
        const auto all = rig.atTv();
        EXPECT_EQ(std::vector<std::string>(all.begin() + std::ptrdiff_t(before), all.end()), expected) << path;
    }
}

TEST(TrayMenu, WindowQuitAndOpeningAreLeftToTheOwner)
{
    struct Row {
        const char* item; // null: the menu opens
        int open, quit, shown;
    };
    const Row rows[] = {
        {"Otvoriť ovládač", 1, 0, 0},
        {"Ukončiť", 0, 1, 0},
        {"Domov", 0, 0, 0},
        {nullptr, 0, 0, 1},
    };
    for (const Row& row : rows) {
        TrayRig rig;
        QSignalSpy open(rig.tray.get(), &TrayMenu::openWindowRequested);
        QSignalSpy quit(rig.tray.get(), &TrayMenu::quitRequested);
        QSignalSpy shown(rig.tray.get(), &TrayMenu::aboutToShow);
        if (row.item) rig.item(QString::fromUtf8(row.item))->trigger();
        else rig.opens();
        EXPECT_EQ(open.count(), row.open) << (row.item ? row.item : "open");
        EXPECT_EQ(quit.count(), row.quit) << (row.item ? row.item : "open");
        EXPECT_EQ(shown.count(), row.shown) << (row.item ? row.item : "open");
    }
}

TEST(TrayMenu, StartAtLoginShowsTheFileAsTheMenuOpens)
{
    // Steps: "click" the toggle, "open" the menu, "file:on|off|hidden" changed behind our back.
    const std::pair<const char*, std::vector<bool>> rows[] = {
        {"open", {false}},
        {"click open", {true, true}},
        {"click click", {true, false}},
        {"file:on", {false}}, // not yet looked at
        {"file:on open", {false, true}},
        {"click file:off open", {true, true, false}},
        {"click file:hidden open", {true, true, false}},
        {"file:on open click open", {false, true, false, false}},
    };
    for (const auto& [script, checks] : rows) {
        TrayRig rig;
        QAction* toggle = rig.tray->startAtLoginAction();
        std::vector<bool> seen;
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            if (w == "click") toggle->trigger();
            else if (w == "open") rig.opens();
            else if (w == "file:off") QFile::remove(rig.autostart.filePath());
            else {
                QDir().mkpath(QString::fromStdString(rig.tv.dir / "autostart"));
                QFile file(rig.autostart.filePath());
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write(w == "file:on" ? "[Desktop Entry]\nExec=telvanto\n" : "[Desktop Entry]\nExec=telvanto\nHidden=true\n");
            }
            seen.push_back(toggle->isChecked());
        }
        EXPECT_EQ(seen, checks) << script;
    }
}

TEST(TrayMenu, AFailedRegistrationShowsOff)
{
    TrayRig rig;
    QFile blocker(QString::fromStdString(rig.tv.dir / "autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    rig.tray->startAtLoginAction()->trigger();
    EXPECT_FALSE(rig.tray->startAtLoginAction()->isChecked());
}

TEST(TrayMenu, IconIsDrawnWithOrWithoutTheSymbol)
{
    for (const char* symbol : {"tv", "no.such.symbol"}) {
        const QIcon icon = TrayMenu::symbolIcon(QString::fromLatin1(symbol));
        ASSERT_FALSE(icon.isNull()) << symbol;
        const QImage image = icon.pixmap(22, 22).toImage();
        int light = 0, dark = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() < 128) continue;
                (c.lightness() > 200 ? light : dark) += 1;
            }
        }
        EXPECT_GT(light, 10) << symbol; // a body to see on a dark panel
        EXPECT_GT(dark, 5) << symbol;   // and an edge for a light one
    }
}
