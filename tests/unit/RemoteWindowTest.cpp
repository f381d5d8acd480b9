#include "app/ArrowKeys.h"
#include "app/MirrorView.h"
#include "app/RemoteView.h"
#include "app/Symbols.h"
#include "mirroring/Texts.h"

#include "EventLoop.h"
#include "MirrorRig.h"
#include "TVRig.h"

#include <QDir>
#include <QFontMetricsF>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::app;
using namespace telvanto::testing;

namespace {

const char* const connected = "id paired start ready tv:start tv:ime";

// The window on a controller in virtual time, as the program shows it.
struct WindowRig : TVRig {
    std::unique_ptr<RemoteView> view;
    std::unique_ptr<MirrorRig> mirror; // with the mirroring card
    std::unique_ptr<MirrorView> mirrorView;
    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;

    explicit WindowRig(const std::string& script, bool card = false)
    {
        run(script);
        if (!tv) make();
        view = std::make_unique<RemoteView>(*tv, scheduler);
        QVariantMap properties{{QStringLiteral("view"), QVariant::fromValue(view.get())}};
        if (card) {
            mirror = std::make_unique<MirrorRig>();
            mirrorView = std::make_unique<MirrorView>(*mirror->mirror, mirror->tv);
            properties[QStringLiteral("extra")] = QVariant::fromValue(
                new QQmlComponent(&engine, QUrl(QStringLiteral("qrc:/Telvanto/MirrorCard.qml")), &engine));
        }
        engine.setInitialProperties(properties);
        engine.load(QUrl(QStringLiteral("qrc:/Telvanto/Main.qml")));
        if (!engine.rootObjects().isEmpty()) window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        if (window) window->show();
    }

    // By object name, through the visual tree (a repeater's items are not its QObject children).
    QQuickItem* item(const char* name) const { return find(window->contentItem(), QLatin1String(name)); }
    static QQuickItem* find(QQuickItem* from, QLatin1String name)
    {
        if (from->objectName() == name) return from;
        for (QQuickItem* child : from->childItems())
            if (QQuickItem* found = find(child, name)) return found;
        return nullptr;
    }

    // Lets bindings and layouts settle, then saves the next frame as screenshots/telvanto-NAME.png.
    QImage grab(const std::string& name)
    {
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        window->requestUpdate();
        EXPECT_TRUE(waitUntil([&] { return frames.count() > 0; })) << name;
        QImage image = window->grabWindow();
        QDir().mkpath(TELVANTO_SCREENSHOT_DIR);
        EXPECT_TRUE(image.save(QString::fromStdString(TELVANTO_SCREENSHOT_DIR "/telvanto-" + name + ".png"))) << name;
        return image;
    }

    std::vector<std::string> commands()
    {
        std::vector<std::string> out;
        for (const auto& word : received(last()))
            if (word.starts_with("key:") || word == "del" || word.starts_with("ime:") || word.starts_with("link:"))
                out.push_back(word);
        return out;
    }

    QPoint centreOf(const char* name) const
    {
        QQuickItem* it = item(name);
        return it ? it->mapToScene(QPointF(it->width() / 2, it->height() / 2)).toPoint() : QPoint(-1, -1);
    }
};

bool shown(const QQuickItem* item)
{
    if (!item) return false;
    for (; item; item = item->parentItem())
        if (!item->isVisible() || item->opacity() == 0) return false;
    return true;
}

// The texts a user sees, and the accessible names of the controls.
void collect(QQuickItem* item, QStringList& texts, QStringList& names)
{
    if (!item->isVisible()) return;
    for (const char* property : {"text", "placeholderText"}) {
        const QString text = item->property(property).toString();
        if (!text.isEmpty() && !texts.contains(text)) texts << text;
    }
    for (QObject* child : item->children()) {
        if (QString::fromLatin1(child->metaObject()->className()).startsWith(QLatin1String("QQuickAccessibleAttached"))) {
            const QString name = child->property("name").toString();
            if (!name.isEmpty()) names << name;
        }
    }
    for (QQuickItem* child : item->childItems()) collect(child, texts, names);
}

// A code with the wrong check byte, which the controller rejects before sending it.
QString wrongCode(const TVRig& rig)
{
    QString code = u8(rig.validCode());
    code[0] = code[0] == u'0' ? u'1' : u'0';
    return code;
}

} // namespace

TEST(RemoteWindow, ShowsEachStateWithItsTexts)
{
    const struct {
        std::string name;
        const char* script;
        std::function<void(WindowRig&)> then;
        QStringList texts;
        QStringList names; // accessible names
    } cases[] = {
        {"pairing", "id host start cancel", nullptr,
         {"Telvanto", "Treba spárovať", "Spárovanie s TV", "Appka sa s TV ešte nepozná. Po stlačení tlačidla sa na TV ukáže kód.",
          "Spárovať"},
         {"TV menu", "Zapnúť / vypnúť TV"}},
        {"waiting-for-code", "id host start ready req opt conf",
         [](WindowRig& r) { r.view->pairing()->setCode(wrongCode(r)); },
         {"Zadaj kód z TV", "Na TV sa zobrazil 6-znakový kód. Prepíš ho sem.", "napr. 3F9A1C",
          "Kód nesedí, skontroluj ho na TV.", "Zrušiť"},
         {"Kód z TV"}},
        {"connected", connected,
         [](WindowRig& r) {
             r.tv->setTvName(QStringLiteral("Obývačka"));
             r.last().receiveFrame(tvsim::TvMsg::volume(15, 30, false));
             r.last().receiveFrame(tvsim::TvMsg::currentApp("com.netflix.ninja"));
         },
         {"Obývačka", "Pripojené", "OK", "Aplikácie", "YouTube", "Netflix", "VOYO", "HBO Max", "Disney+", "SmartTube",
          "Spotify", "AirScreen"},
         {"Späť", "Domov", "Prehrať / pauza", "Klávesnica", "Stlmiť", "Hlasitosť nadol", "Hlasitosť nahor", "Netflix",
          "Touchpad: ťukni na okraj pre šípku, do stredu pre OK, potiahni pre viac krokov, podrž pre opakovanie"}},
        {"failure", "id paired start close:conn", nullptr,
         {"TV nedostupná, skúšam znova…", "Pripojiť znova", "Spárovať znova", "OK", "Aplikácie"}, {}},
        {"text-row", connected,
         [](WindowRig& r) {
             r.view->setShowKeyboard(true);
             r.view->setText(QStringLiteral("Ahoj"));
         },
         {"Ahoj", "Pripojené"}, {"Text do TV", "Zmazať"}},
        {"text-row-empty", connected, [](WindowRig& r) { r.view->setShowKeyboard(true); }, {"Napíš text do TV…"}, {}},
        {"address-dialog", connected, [](WindowRig& r) { r.view->askForHost(); },
         {"IP adresa TV", "10.0.0.5", "Pripojiť", "Zrušiť"}, {"IP adresa TV"}},
        {"tv-menu", connected,
         [](WindowRig& r) {
             r.lookup.announce({QStringLiteral("Obývačka"), QStringLiteral("Kuchyňa")});
             r.lookup.answer(QStringLiteral("Obývačka"), QStringLiteral("10.0.0.5"));
             r.lookup.answer(QStringLiteral("Kuchyňa"), QStringLiteral("10.0.0.8"));
             QMetaObject::invokeMethod(r.window->findChild<QObject*>(QStringLiteral("tvMenu")), "open");
         },
         {"Obývačka (10.0.0.5)", "Kuchyňa (10.0.0.8)", "Zadať IP adresu…", "Spárovať znova"}, {}},
    };
    for (const auto& c : cases) {
        WindowRig rig(c.script);
        ASSERT_TRUE(rig.window) << c.name;
        if (c.then) c.then(rig);
        rig.grab(c.name);
        QStringList texts, names;
        texts << rig.window->title();
        collect(rig.window->contentItem(), texts, names);
        for (const QString& text : c.texts) EXPECT_TRUE(texts.contains(text)) << c.name << ": " << text.toStdString();
        for (const QString& name : c.names) EXPECT_TRUE(names.contains(name)) << c.name << ": " << name.toStdString();
        const bool pairing = c.name.starts_with("pairing") || c.name.starts_with("waiting");
        EXPECT_EQ(rig.item("pairingCard") != nullptr, pairing) << c.name;
        EXPECT_EQ(rig.item("controls") != nullptr, !pairing) << c.name;
        if (!pairing) {
            EXPECT_EQ(shown(rig.item("failureCard")), c.name == "failure") << c.name;
        }
    }
}

TEST(RemoteWindow, MirrorCardFollowsTheController)
{
    const QColor red = QColor::fromRgbF(1, 69 / 255.0, 58 / 255.0, 0.8);
    const struct {
        std::string name;
        std::function<void(MirrorRig&)> then;
        QStringList texts;
        bool busy;
        QColor button;
        bool enabled;
    } cases[] = {
        {"mirror-card", nullptr, {"AirScreen sa spustí na TV", "Zobraziť na TV"}, false, Qt::white, true},
        {"mirror-card-receiver", [](MirrorRig& m) { m.receiverKnown(QStringLiteral("AS-Obývačka")); },
         {"Prijímač: AS-Obývačka", "Zobraziť na TV"}, false, Qt::white, true},
        {"mirror-card-starting", [](MirrorRig& m) { m.mirror->start(m.tv); },
         {"AirScreen sa spustí na TV", "Zobraziť na TV", mirroring::texts::waitingForAirScreen()}, true, Qt::white, false},
        {"mirror-card-mirroring",
         [](MirrorRig& m) {
             m.tvDisplayOnline(true);
             m.mirror->stop(); // no receiver known: the user is asked to stop by hand
         },
         {"Beží cez AirPlay", "Zastaviť", mirroring::texts::stopByHand()}, false, red, true},
    };
    for (const auto& c : cases) {
        WindowRig rig(connected, true);
        ASSERT_TRUE(rig.window) << c.name;
        if (c.then) c.then(*rig.mirror);
        rig.grab(c.name);
        QStringList texts, names;
        collect(rig.item("mirrorCard"), texts, names);
        for (const QString& text : QStringList{"Obrazovka Macu na TV", "Zrkadliť obrazovku", "Druhý monitor"} + c.texts)
            EXPECT_TRUE(texts.contains(text)) << c.name << ": " << text.toStdString();
        for (const QString& name : QStringList{"Režim", "Zrkadliť obrazovku", "Druhý monitor"})
            EXPECT_TRUE(names.contains(name)) << c.name << ": " << name.toStdString();
        EXPECT_EQ(names.contains(QStringLiteral("Pracujem")), c.busy) << c.name; // nothing spins while idle
        QQuickItem* button = rig.item("mirrorButton");
        ASSERT_TRUE(button) << c.name;
        EXPECT_EQ(button->isEnabled(), c.enabled) << c.name;
        EXPECT_EQ(button->property("background").value<QQuickItem*>()->property("color").value<QColor>(), c.button) << c.name;
        EXPECT_EQ(button->height(), 44) << c.name;
        EXPECT_EQ(rig.item("mirrorCard")->property("radius").toDouble(), 24) << c.name;
    }
}

TEST(RemoteWindow, SizesFromTheLayout)
{
    WindowRig rig(connected);
    ASSERT_TRUE(rig.window);
    rig.view->setShowKeyboard(true);
    rig.grab("layout");
    EXPECT_EQ(rig.window->objectName(), QStringLiteral("main"));
    EXPECT_EQ(rig.window->size(), QSize(460, 860));
    EXPECT_EQ(rig.window->minimumSize(), QSize(420, 760));
    const struct {
        const char* name;
        double width, height; // 0: not checked
    } cases[] = {
        {"column", 420, 0}, {"touchpad", 420, 300}, {"home", 58, 58}, {"keyboard", 58, 58}, {"power", 44, 44},
        {"delete", 44, 44}, {"mute", 48, 48},       {"volumeUp", 44, 44}, {"level", 0, 8},
    };
    for (const auto& c : cases) {
        QQuickItem* item = rig.item(c.name);
        ASSERT_TRUE(item) << c.name;
        EXPECT_EQ(c.width ? item->width() : 0, c.width) << c.name;
        EXPECT_EQ(c.height ? item->height() : 0, c.height) << c.name;
    }
    // The level fill: at least 8 points, else the level's share of the bar.
    QQuickItem* fill = rig.item("levelFill");
    EXPECT_EQ(fill->width(), 8);
    rig.last().receiveFrame(tvsim::TvMsg::volume(15, 30, false));
    EXPECT_EQ(fill->width(), rig.item("level")->width() / 2);
}

// The window driven as a user would: clicks, and keys on the keyboard with and without a text
// field in focus (the arrow keys installed on the application, as the program does).
TEST(RemoteWindow, ClicksAndKeysReachTheTv)
{
    WindowRig rig(connected);
    ASSERT_TRUE(rig.window);
    ArrowKeys arrowKeys(*rig.tv);
    qApp->installEventFilter(&arrowKeys);
    rig.grab("driven");

    QTest::mouseClick(rig.window, Qt::LeftButton, {}, rig.centreOf("home"));
    QTest::mouseClick(rig.window, Qt::LeftButton, {}, rig.centreOf("touchpad"));
    QTest::mouseClick(rig.window, Qt::LeftButton, {}, rig.centreOf("app:com.spotify.tv.android"));
    QTest::keyClick(rig.window, Qt::Key_Left);
    QTest::keyClick(rig.window, Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(rig.window, Qt::Key_Space, Qt::ShiftModifier);
    QTest::keyClick(rig.window, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(rig.window, Qt::Key_A);
    EXPECT_EQ(rig.commands(), (std::vector<std::string>{"key:3", "key:23", "link:spotify:", "key:21", "key:85", "key:23"}));

    // The window's TV menu: Ctrl+R reconnects (a new connection), and sends no key.
    const std::size_t channels = rig.opened();
    QTest::keyClick(rig.window, Qt::Key_R, Qt::ControlModifier);
    rig.scheduler.advance(std::chrono::seconds(1));
    EXPECT_EQ(rig.opened(), channels + 1);
    rig.run("ready tv:start tv:ime");

    // An open menu keeps the arrows and Escape for itself.
    QObject* menu = rig.window->findChild<QObject*>(QStringLiteral("tvMenu"));
    QMetaObject::invokeMethod(menu, "open");
    ASSERT_TRUE(waitUntil([&] { return menu->property("opened").toBool(); }));
    QTest::keyClick(rig.window, Qt::Key_Down);
    QTest::keyClick(rig.window, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !menu->property("visible").toBool(); }));
    EXPECT_TRUE(rig.commands().empty());

    // Typing: every key goes to the field, Return submits, Left moves the caret.
    rig.view->setShowKeyboard(true);
    rig.grab("typing");
    QQuickItem* field = rig.item("textField");
    QTest::mouseClick(rig.window, Qt::LeftButton, {}, rig.centreOf("textField"));
    ASSERT_TRUE(field->hasActiveFocus());
    QTest::keyClick(rig.window, Qt::Key_A);
    QTest::keyClick(rig.window, Qt::Key_B);
    QTest::keyClick(rig.window, Qt::Key_Left);
    QTest::keyClick(rig.window, Qt::Key_Backspace);
    EXPECT_EQ(field->property("text").toString(), QStringLiteral("b"));
    QTest::keyClick(rig.window, Qt::Key_Return);
    EXPECT_EQ(field->property("text").toString(), QString());
    QTest::keyClick(rig.window, Qt::Key_X);
    EXPECT_EQ(rig.commands(), (std::vector<std::string>{"ime:a@4/9", "ime:b@4/9", "del", "del", "ime:b@4/9", "key:66", "ime:x@4/9"}));
    qApp->removeEventFilter(&arrowKeys);
}

// Holding the pad's right edge repeats in virtual time; the glyph lights while it repeats.
TEST(RemoteWindow, HeldPadEdgeRepeats)
{
    WindowRig rig(connected);
    ASSERT_TRUE(rig.window);
    rig.grab("pad");
    QQuickItem* pad = rig.item("touchpad");
    const QPoint right = pad->mapToScene(QPointF(pad->width() - 10, pad->height() / 2)).toPoint();
    QTest::mousePress(rig.window, Qt::LeftButton, {}, right);
    rig.scheduler.advance(std::chrono::milliseconds(500));
    EXPECT_EQ(rig.view->touchpad()->flashName(), QStringLiteral("right"));
    QTest::mouseRelease(rig.window, Qt::LeftButton, {}, right);
    EXPECT_EQ(rig.commands(), (std::vector<std::string>{"key:22", "key:22"}));
}

// Every symbol the window names is a glyph the icon font really has.
TEST(RemoteWindow, EverySymbolHasAGlyph)
{
    const QString family = symbols::fontFamily();
    ASSERT_FALSE(family.isEmpty());
    const QFontMetricsF metrics{QFont(family)};
    QStringList used = symbols::names();
    for (const QVariant& app : WindowRig(connected).view->apps()) used << app.toMap()[QStringLiteral("symbol")].toString();
    for (const QString& name : used) {
        const QString glyph = symbols::glyph(name);
        ASSERT_FALSE(glyph.isEmpty()) << name.toStdString();
        for (const char32_t c : glyph.toUcs4()) EXPECT_TRUE(metrics.inFontUcs4(c)) << name.toStdString();
    }
    EXPECT_EQ(symbols::glyph(QStringLiteral("no.such.symbol")), QString());
}
