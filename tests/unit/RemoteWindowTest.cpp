#include "app/ArrowKeys.h"
#include "app/MirrorView.h"
#include "app/RemoteView.h"
#include "app/Symbols.h"
#include "mirroring/Texts.h"
#include "tv/TVApp.h"

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

// The window on a controller in virtual time, as the program shows it; the mirroring card when asked.
struct WindowRig : TVRig {
    std::unique_ptr<RemoteView> view;
    MirrorRig mirror;
    std::unique_ptr<MirrorView> mirrorView;
    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;

    // Then the words beyond the rig's own: "named" the TV is Obývačka, "vol" at 15 of 30, "ahoj"
    // typed into the text row, "ask" the address dialog, "found" two TVs in the open TV menu,
    // "wrong" a code with the wrong check byte (rejected before it is sent), "mstart" mirroring
    // started, "mstop" mirroring that has to be stopped by hand (no receiver known).
    WindowRig(const std::string& script, const std::string& then = {}, bool card = false)
    {
        run(script);
        view = std::make_unique<RemoteView>(*tv, scheduler);
        QVariantMap properties{{"view", QVariant::fromValue(view.get())}};
        if (card) mirrorView = std::make_unique<MirrorView>(*mirror.mirror, mirror.tv);
        if (card) properties["extra"] = QVariant::fromValue(new QQmlComponent(&engine, QUrl("qrc:/Telvanto/MirrorCard.qml"), &engine));
        engine.setInitialProperties(properties);
        engine.load(QUrl(QStringLiteral("qrc:/Telvanto/Main.qml")));
        if (!engine.rootObjects().isEmpty()) window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        if (!window) return;
        window->show();
        std::istringstream words(then);
        for (std::string w; words >> w;) {
            if (w == "named") tv->setTvName(QStringLiteral("Obývačka"));
            else if (w == "vol") last().receiveFrame(tvsim::TvMsg::volume(15, 30, false));
            else if (w == "ahoj") view->setShowKeyboard(true), view->setText(QStringLiteral("Ahoj"));
            else if (w == "ask") view->askForHost();
            else if (w == "wrong") {
                QString code = u8(validCode());
                view->pairing()->setCode(code.replace(0, 1, code[0] == u'0' ? u'1' : u'0'));
            }
            else if (w == "mstart") mirror.mirror->start(mirror.tv);
            else if (w == "mstop") mirror.tvDisplayOnline(true), mirror.mirror->stop();
            else if (w != "found") run(w);
            else {
                lookup.announce({QStringLiteral("Obývačka"), QStringLiteral("Kuchyňa")});
                lookup.answer(QStringLiteral("Obývačka"), QStringLiteral("10.0.0.5"));
                lookup.answer(QStringLiteral("Kuchyňa"), QStringLiteral("10.0.0.8"));
                QMetaObject::invokeMethod(window->findChild<QObject*>("tvMenu"), "open");
            }
        }
    }

    // By object name, through the visual tree (a repeater's items are not its QObject children).
    QQuickItem* item(const char* name, QQuickItem* from = nullptr) const
    {
        if (!from) from = window->contentItem();
        if (from->objectName() == QLatin1String(name)) return from;
        for (QQuickItem* child : from->childItems())
            if (QQuickItem* found = item(name, child)) return found;
        return nullptr;
    }
    QPoint at(const char* name, double fx = 0.5) const
    {
        QQuickItem* it = item(name);
        return it ? it->mapToScene(QPointF(it->width() * fx, it->height() / 2)).toPoint() : QPoint(-1, -1);
    }
    // Lets bindings and layouts settle, then saves the next frame as screenshots/telvanto-NAME.png.
    void grab(const std::string& name)
    {
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        window->requestUpdate();
        EXPECT_TRUE(waitUntil([&] { return frames.count() > 0; })) << name;
        QDir().mkpath(TELVANTO_SCREENSHOT_DIR);
        EXPECT_TRUE(window->grabWindow().save(QString::fromStdString(TELVANTO_SCREENSHOT_DIR "/telvanto-" + name + ".png"))) << name;
    }
    std::vector<std::string> commands()
    {
        std::vector<std::string> out;
        for (const auto& word : received(last()))
            if (word.starts_with("key:") || word == "del" || word.starts_with("ime:") || word.starts_with("link:")) out.push_back(word);
        return out;
    }
};

bool shown(const QQuickItem* item)
{
    for (const QQuickItem* i = item; i; i = i->parentItem())
        if (!i->isVisible() || i->opacity() == 0) return false;
    return item;
}

// The texts a user sees, and the accessible names of the controls.
void collect(QQuickItem* item, QStringList& texts, QStringList& names)
{
    if (!item->isVisible()) return;
    for (const char* property : {"text", "placeholderText"}) texts << item->property(property).toString();
    for (QObject* child : item->children())
        if (QString::fromLatin1(child->metaObject()->className()).startsWith("QQuickAccessibleAttached")) names << child->property("name").toString();
    for (QQuickItem* child : item->childItems()) collect(child, texts, names);
}

} // namespace

TEST(RemoteWindow, ShowsEachStateWithItsTexts)
{
    const struct { std::string name; const char *script, *then; QStringList texts, names; } cases[] = { // names: accessible names
        {"pairing", "id host start cancel", "",
         {"Telvanto", "Treba spárovať", "Spárovanie s TV", "Appka sa s TV ešte nepozná. Po stlačení tlačidla sa na TV ukáže kód.", "Spárovať"},
         {"TV menu", "Zapnúť / vypnúť TV"}},
        {"waiting-for-code", "id host start ready req opt conf", "wrong",
         {"Zadaj kód z TV", "Na TV sa zobrazil 6-znakový kód. Prepíš ho sem.", "napr. 3F9A1C", "Kód nesedí, skontroluj ho na TV.", "Zrušiť"},
         {"Kód z TV"}},
        {"connected", connected, "named tv:app vol", // the screenshot the package shows
         {"Obývačka", "Pripojené", "OK", "Aplikácie", "YouTube", "Netflix", "VOYO", "HBO Max", "Disney+", "SmartTube", "Spotify", "AirScreen"},
         {"Späť", "Domov", "Prehrať / pauza", "Klávesnica", "Stlmiť", "Hlasitosť nadol", "Hlasitosť nahor", "Netflix",
          "Touchpad: ťukni na okraj pre šípku, do stredu pre OK, potiahni pre viac krokov, podrž pre opakovanie"}},
        {"failure", "id paired start close:conn", "", {"TV nedostupná, skúšam znova…", "Pripojiť znova", "Spárovať znova", "OK", "Aplikácie"}, {}},
        {"text-row", connected, "ahoj", {"Ahoj", "Napíš text do TV…", "Pripojené"}, {"Text do TV", "Zmazať"}},
        {"address-dialog", connected, "ask", {"IP adresa TV", "10.0.0.5", "Pripojiť", "Zrušiť"}, {"IP adresa TV"}},
        {"tv-menu", connected, "found", {"Obývačka (10.0.0.5)", "Kuchyňa (10.0.0.8)", "Zadať IP adresu…", "Spárovať znova"}, {}},
        {"mirror-card-starting", connected, "mstart",
         {"Obrazovka Macu na TV", "AirScreen sa spustí na TV", "Zobraziť na TV", mirroring::texts::waitingForAirScreen()},
         {"Režim", "Zrkadliť obrazovku", "Druhý monitor", "Pracujem"}},
        {"mirror-card-mirroring", connected, "mstop",
         {"Beží cez AirPlay", "Zastaviť", "Zrkadliť obrazovku", "Druhý monitor", mirroring::texts::stopByHand()}, {"Režim"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool card = c.name.starts_with("mirror");
        WindowRig rig(c.script, c.then, card);
        ASSERT_TRUE(rig.window);
        rig.grab(c.name);
        QStringList texts{rig.window->title()}, names;
        collect(rig.window->contentItem(), texts, names);
        for (const QString& text : c.texts) EXPECT_TRUE(texts.contains(text)) << text.toStdString();
        for (const QString& name : c.names) EXPECT_TRUE(names.contains(name)) << name.toStdString();
        const bool pairing = c.name.starts_with("pairing") || c.name.starts_with("waiting");
        EXPECT_EQ(rig.item("pairingCard") != nullptr, pairing);
        EXPECT_EQ(rig.item("controls") != nullptr, !pairing);
        EXPECT_EQ(shown(rig.item("failureCard")), c.name == "failure");
        if (!card) continue;
        // The card's button: disabled while busy (and only then a spinner), red while mirroring.
        QQuickItem* button = rig.item("mirrorButton");
        ASSERT_TRUE(button);
        EXPECT_EQ(names.contains("Pracujem"), rig.mirrorView->busy());
        EXPECT_EQ(button->isEnabled(), !rig.mirrorView->busy());
        EXPECT_EQ(button->property("background").value<QQuickItem*>()->property("color").value<QColor>(), rig.mirrorView->buttonColor());
        EXPECT_EQ(button->height(), 44);
        EXPECT_EQ(rig.item("mirrorCard")->property("radius").toDouble(), 24);
    }
}

// The window driven as a user would: clicks, a held pad edge, and keys with and without a text
// field in focus (the arrow keys installed on the application, as the program does).
TEST(RemoteWindow, DrivenAsAUser)
{
    WindowRig rig(connected);
    ASSERT_TRUE(rig.window);
    ArrowKeys arrowKeys(*rig.tv);
    qApp->installEventFilter(&arrowKeys);
    rig.grab("driven");
    for (const char* name : {"home", "touchpad", "app:com.spotify.tv.android"}) QTest::mouseClick(rig.window, Qt::LeftButton, {}, rig.at(name));
    const std::pair<Qt::Key, Qt::KeyboardModifier> keys[] = {{Qt::Key_Left, Qt::NoModifier}, {Qt::Key_Left, Qt::ControlModifier},
        {Qt::Key_Space, Qt::ShiftModifier}, {Qt::Key_Enter, Qt::KeypadModifier}, {Qt::Key_A, Qt::NoModifier}};
    for (const auto& [key, modifier] : keys) QTest::keyClick(rig.window, key, modifier);
    EXPECT_EQ(rig.commands(), (std::vector<std::string>{"key:3", "key:23", "link:spotify:", "key:21", "key:85", "key:23"}));

    // The window's TV menu: Ctrl+R reconnects (a new connection), and sends no key.
    const std::size_t channels = rig.opened();
    QTest::keyClick(rig.window, Qt::Key_R, Qt::ControlModifier);
    rig.scheduler.advance(std::chrono::seconds(1));
    EXPECT_EQ(rig.opened(), channels + 1);
    rig.run("ready tv:start tv:ime");

    // An open menu keeps the arrows and Escape for itself.
    QObject* menu = rig.window->findChild<QObject*>("tvMenu");
    QMetaObject::invokeMethod(menu, "open");
    ASSERT_TRUE(waitUntil([&] { return menu->property("opened").toBool(); }));
    QTest::keyClick(rig.window, Qt::Key_Down);
    QTest::keyClick(rig.window, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !menu->property("visible").toBool(); }));
    EXPECT_TRUE(rig.commands().empty());

    // Holding the pad's right edge repeats in virtual time; the glyph lights while it repeats.
    QTest::mousePress(rig.window, Qt::LeftButton, {}, rig.at("touchpad", 0.97));
    rig.scheduler.advance(std::chrono::milliseconds(500));
    EXPECT_EQ(rig.view->touchpad()->flashName(), "right");
    QTest::mouseRelease(rig.window, Qt::LeftButton, {}, rig.at("touchpad", 0.97));

    // Sizes from the layout, with the text row shown; the level fill is at least 8 points.
    rig.view->setShowKeyboard(true);
    rig.grab("typing");
    EXPECT_EQ(rig.window->objectName(), "main");
    EXPECT_EQ(rig.window->size(), QSize(460, 860));
    EXPECT_EQ(rig.window->minimumSize(), QSize(420, 760));
    const std::tuple<const char*, double, double> sizes[] = {{"column", 420, 0}, {"touchpad", 420, 300}, {"home", 58, 58}, // 0: not checked
        {"keyboard", 58, 58}, {"power", 44, 44}, {"delete", 44, 44}, {"mute", 48, 48}, {"volumeUp", 44, 44}, {"level", 0, 8}, {"levelFill", 8, 0}};
    for (const auto& [name, width, height] : sizes) {
        ASSERT_TRUE(rig.item(name)) << name;
        EXPECT_EQ(width ? rig.item(name)->width() : 0, width) << name;
        EXPECT_EQ(height ? rig.item(name)->height() : 0, height) << name;
    }
    rig.last().receiveFrame(tvsim::TvMsg::volume(15, 30, false));
    EXPECT_EQ(rig.item("levelFill")->width(), rig.item("level")->width() / 2);

    // Typing: every key goes to the field, Return submits, Left moves the caret.
    QQuickItem* field = rig.item("textField");
    QTest::mouseClick(rig.window, Qt::LeftButton, {}, rig.at("textField"));
    ASSERT_TRUE(field->hasActiveFocus());
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_B, Qt::Key_Left, Qt::Key_Backspace}) QTest::keyClick(rig.window, key);
    EXPECT_EQ(field->property("text").toString(), "b");
    QTest::keyClick(rig.window, Qt::Key_Return);
    EXPECT_EQ(field->property("text").toString(), QString());
    QTest::keyClick(rig.window, Qt::Key_X);
    EXPECT_EQ(rig.commands(),
              (std::vector<std::string>{"key:22", "key:22", "ime:a@4/9", "ime:b@4/9", "del", "del", "ime:b@4/9", "key:66", "ime:x@4/9"}));
    qApp->removeEventFilter(&arrowKeys);
}

// Every symbol the window names is a glyph the icon font really has.
TEST(RemoteWindow, EverySymbolHasAGlyph)
{
    ASSERT_FALSE(symbols::fontFamily().isEmpty());
    const QFontMetricsF metrics{QFont(symbols::fontFamily())};
    QStringList used = symbols::names();
    for (const tv::TVApp& app : tv::TVApp::catalogue()) used << app.symbol;
    for (const QString& name : used) {
        ASSERT_FALSE(symbols::glyph(name).isEmpty()) << name.toStdString();
        for (const char32_t c : symbols::glyph(name).toUcs4()) EXPECT_TRUE(metrics.inFontUcs4(c)) << name.toStdString();
    }
    EXPECT_EQ(symbols::glyph("no.such.symbol"), QString());
}
