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
using protocol::TVKey;

namespace {

const char* const connected = "id paired start ready tv:start tv:ime";

// The window's state on a controller in virtual time, made after the rig's script; show() loads
// the window as the program shows it (with the mirroring card when asked).
struct ViewRig : TVRig {
    std::unique_ptr<RemoteView> view;
    MirrorRig mirror;
    std::unique_ptr<MirrorView> mirrorView;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow* window = nullptr;

    explicit ViewRig(const std::string& script = connected)
    {
        run(script);
        view = std::make_unique<RemoteView>(*tv, scheduler);
    }
    QQuickWindow* show(bool card = false)
    {
        engine = std::make_unique<QQmlApplicationEngine>();
        QVariantMap properties{{"view", QVariant::fromValue(view.get())}};
        if (card) mirrorView = std::make_unique<MirrorView>(*mirror.mirror, mirror.tv);
        if (card) properties["extra"] = QVariant::fromValue(new QQmlComponent(engine.get(), QUrl("qrc:/Telvanto/MirrorCard.qml"), engine.get()));
        engine->setInitialProperties(properties);
        engine->load(QUrl(QStringLiteral("qrc:/Telvanto/Main.qml")));
        window = qobject_cast<QQuickWindow*>(engine->rootObjects().value(0));
        if (window) window->show();
        return window;
    }

    // The user: "type:CHARS" one edit per character, "set:TEXT", "submit" Return, "delete", "show" the
    // text row, "press:KEY", "launch:PKG", "tap" the pad's middle, "up" volume up, "down:MS" volume
    // down held, "ask" the address dialog, "found" a TV in the open TV menu, "wrong" a code with a
    // wrong check byte; the world: "named" Obývačka, "mstart" mirroring, "mstop" to be
    // stopped by hand; other words go to the rig. Returns the keys, deletions, text and links at the TV.
    std::vector<std::string> act(const std::string& script)
    {
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            QString arg = u8(w.substr(w.find(':') + 1));
            if (w.starts_with("type:")) for (const QChar ch : arg) view->setText(view->text() + ch);
            else if (w.starts_with("set:")) view->setText(arg);
            else if (w == "submit") view->submitText();
            else if (w == "delete") view->deleteBackward();
            else if (w == "show") view->setShowKeyboard(true);
            else if (w.starts_with("press:")) view->press(arg);
            else if (w.starts_with("launch:")) view->launch(arg);
            else if (w == "tap") view->touchpad()->setSize({420, 300}), view->touchpad()->pointerMoved(210, 150), view->touchpad()->released();
            else if (w == "up") view->volumeUp()->press(0, 0), view->volumeUp()->release();
            else if (w.starts_with("down:")) view->volumeDown()->press(0, 0), scheduler.advance(std::chrono::milliseconds(arg.toInt())), view->volumeDown()->release();
            else if (w == "ask") view->askForHost();
            else if (w == "wrong") arg = u8(validCode()), view->pairing()->setCode(arg.replace(0, 1, arg[0] == u'0' ? u'1' : u'0'));
            else if (w == "named") tv->setTvName(QStringLiteral("Obývačka"));
            else if (w == "mstart") mirror.mirror->start(mirror.tv);
            else if (w == "mstop") mirror.tvDisplayOnline(true), mirror.mirror->stop();
            else if (w != "found") run(w);
            else {
                lookup.announce({QStringLiteral("Obývačka")});
                lookup.answer(QStringLiteral("Obývačka"), QStringLiteral("10.0.0.5"));
                QMetaObject::invokeMethod(window->findChild<QObject*>("tvMenu"), "open");
            }
        }
        std::vector<std::string> out;
        for (const auto& word : opened() ? received(last()) : std::vector<std::string>())
            if (word.starts_with("key:") || word == "del" || word.starts_with("ime:") || word.starts_with("link:")) out.push_back(word);
        return out;
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
    // Lets bindings and layouts settle, then saves the next frame as screenshots/telvanto-NAME.png.
    void grab(const std::string& name)
    {
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        window->requestUpdate();
        EXPECT_TRUE(waitUntil([&] { return frames.count() > 0; })) << name;
        QDir().mkpath(TELVANTO_SCREENSHOT_DIR);
        EXPECT_TRUE(window->grabWindow().save(QString::fromStdString(TELVANTO_SCREENSHOT_DIR "/telvanto-" + name + ".png"))) << name;
    }
};

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

// The status line, and the body: the pairing card with its block, or the controls with the
// failure card on top while failed and paired.
TEST(RemoteView, StatusLineAndBodyFollowStatusAndPairing)
{
    const QColor yellow(255, 214, 10), green(48, 209, 88), orange(255, 159, 10), red(255, 69, 58);
    const struct { const char* script; const char* status; QColor colour; bool pairing; const char* block; bool card, paired; } cases[] = {
        {"make", "Neaktívne", yellow, false, "start", false, false},
        {"id start", "Hľadám TV v sieti…", yellow, false, "start", false, false},
        {"id paired start", "Pripájam…", yellow, false, "start", false, true},
        {connected, "Pripojené", green, false, "start", false, true},
        {"id host start cancel", "Treba spárovať", orange, true, "start", false, false},
        {"id host start", "Spúšťam párovanie…", yellow, true, "progress", false, false},
        {"id host start ready req opt conf", "Zadaj kód z TV", orange, true, "code", false, false},
        {"id paired start ready tv:start pair", "Spúšťam párovanie…", yellow, true, "progress", false, true},
        {"id host start ready conf refuse=402", "Nesprávny kód, skús znova", red, true, "start", false, false}, // not paired: no card
        {"id paired start close:conn", "TV nedostupná, skúšam znova…", red, false, "start", true, true},
        {"id paired start close:tls", "TV toto zariadenie už nepozná – stlač Spárovať znova", red, false, "start", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        ViewRig rig(c.script);
        const RemoteView& view = *rig.view;
        EXPECT_EQ(view.statusText(), QString::fromUtf8(c.status));
        EXPECT_EQ(view.statusColor(), c.colour);
        EXPECT_EQ(view.showsPairing(), c.pairing);
        EXPECT_EQ(view.pairingBlock(), QString::fromUtf8(c.block));
        EXPECT_EQ(view.showsFailure(), c.card);
        EXPECT_EQ(view.failure(), c.card ? QString::fromUtf8(c.status) : QString());
        EXPECT_EQ(view.isPaired(), c.paired);
    }
}

// Buttons, tiles, the pad and the held volume buttons go to the controller as short presses;
// every edit of the text reaches the TV as it is typed.
TEST(RemoteView, ControlsAndTextRowReachTheTv)
{
    const struct { const char* script; std::vector<std::string> sent; const char* text; } cases[] = {
        {"press:home press:delete press:nonsense press: launch:com.spotify.tv.android tap up down:400",
         {"key:3", "del", "link:spotify:", "key:23", "key:24", "key:25", "key:25"}, ""},
        {"type:ab submit", {"ime:a@4/9", "ime:b@4/9", "key:66"}, ""}, // no deletions for the emptied field
        {"type:ab delete", {"ime:a@4/9", "ime:b@4/9", "del"}, "a"}, {"delete", {"del"}, ""},
        {"set:ok\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD delete", {"ime:ok\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD@4/9", "del"}, "ok"}, // one character
        {"submit type:x", {"key:66", "ime:x@4/9"}, "x"}, // Return in an empty field: the next keystroke still reaches the TV
    };
    for (const auto& c : cases) {
        ViewRig rig;
        EXPECT_EQ(rig.act(c.script), c.sent) << c.script;
        EXPECT_EQ(rig.view->text(), QString::fromUtf8(c.text)) << c.script;
        EXPECT_FALSE(rig.view->clearing()) << c.script;
    }
}

// Every entry of the TV menu is "name (host)"; a checkmark marks the one at the controller's host.
// (The window's row shows the menu following the TVs found.)
TEST(RemoteView, TvMenuMarksTheTvInUse)
{
    ViewRig rig;
    rig.lookup.announce({"Obývačka", "Kuchyňa"});
    rig.lookup.answer("Obývačka", "10.0.0.6");
    rig.lookup.answer("Kuchyňa", "10.0.0.5");
    QStringList menu;
    for (const QVariant& item : rig.view->tvMenu()) menu << item.toMap()["title"].toString() + u'|' + item.toMap()["symbol"].toString();
    EXPECT_EQ(menu, (QStringList{"Obývačka (10.0.0.6)|tv", "Kuchyňa (10.0.0.5)|checkmark"}));
    ViewRig searching("id start"); // the first TV found is taken up, and so marked
    searching.lookup.announce({"A"});
    searching.lookup.answer("A", "10.0.0.9");
    EXPECT_EQ(searching.view->tvMenu().value(0).toMap()["symbol"], "checkmark");
}

TEST(RemoteView, ManualAddressKeepsTheNameAndDropsBlanksAtTheEnds)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\t10.0.0.5\t \t", "10.0.0.5"}, {" \t ", ""}, {"10.0.0.5\n", "10.0.0.5\n"}, {"10. 0.0.5", "10. 0.0.5"},
    };
    for (const auto& [typed, host] : cases) EXPECT_EQ(RemoteView::manualHostEntry(QString::fromUtf8(typed)), QString::fromUtf8(host)) << typed;
    ViewRig rig; // through the dialog (pre-filled with the controller's address: the window's row), another one chosen
    rig.act("named ask");
    rig.view->setManualHost(QStringLiteral(" 10.0.0.7\t"));
    rig.view->connectManualHost();
    EXPECT_FALSE(rig.view->askHost());
    EXPECT_EQ((QStringList{rig.tv->host(), rig.tv->tvName(), rig.last().host()}), (QStringList{"10.0.0.7", "Obývačka", "10.0.0.7"}));
}

TEST(RemoteView, Volume)
{
    const struct { std::vector<int> volume; double fraction; const char* speaker; } cases[] = { // level, max, muted
        {{}, 0, "speaker.fill"}, {{7, 0, 1}, 0, "speaker.slash.fill"}, {{150, 100, 0}, 1.5, "speaker.fill"}, // not clamped
    };
    for (const auto& c : cases) {
        ViewRig rig;
        if (!c.volume.empty()) rig.last().receiveFrame(tvsim::TvMsg::volume(c.volume[0], c.volume[1], c.volume[2] != 0));
        EXPECT_DOUBLE_EQ(rig.view->volumeFraction(), c.fraction);
        EXPECT_EQ(rig.view->speakerSymbol(), c.speaker);
    }
}

// The pairing card starts afresh each time it comes back; the button clears the code first.
TEST(RemoteView, PairingCardStartsAfresh)
{
    ViewRig rig("id host start ready req opt conf");
    rig.view->pairing()->setCode(QStringLiteral("00000"));
    rig.view->startPairing(); // still shown: the button's own reset
    EXPECT_EQ(rig.view->pairing()->code(), QString());
    rig.view->pairing()->setCode(QStringLiteral("12"));
    rig.run("cancel");
    EXPECT_EQ(rig.view->pairing()->code(), "12"); // shown all along (the status table's row)
    ViewRig paired("id paired start ready tv:start");
    paired.view->pairing()->setCode(QStringLiteral("12"));
    paired.run("pair");
    EXPECT_EQ(paired.view->pairing()->code(), QString()); // shown again: afresh
}

// Ctrl, Alt and Meta let a key through, Shift and the keypad do not; typing into a text field
// lets everything through.
TEST(ArrowKeys, KeyTable)
{
    const auto none = std::optional<TVKey>();
    using M = Qt::KeyboardModifier;
    const struct { int key; Qt::KeyboardModifiers modifiers; bool editing; std::optional<TVKey> sent; } cases[] = {
        {Qt::Key_Up, {}, 0, TVKey::up}, {Qt::Key_Down, {}, 0, TVKey::down}, {Qt::Key_Left, {}, 0, TVKey::left},
        {Qt::Key_Right, {}, 0, TVKey::right}, {Qt::Key_Return, {}, 0, TVKey::center}, {Qt::Key_Enter, M::KeypadModifier, 0, TVKey::center},
        {Qt::Key_Escape, {}, 0, TVKey::back}, {Qt::Key_Backspace, {}, 0, TVKey::back}, {Qt::Key_Space, {}, 0, TVKey::playPause},
        {Qt::Key_Home, {}, 0, TVKey::home}, {Qt::Key_Space, M::ShiftModifier, 0, TVKey::playPause}, {Qt::Key_Left, M::KeypadModifier, 0, TVKey::left},
        {Qt::Key_Left, M::ControlModifier, 0, none}, {Qt::Key_Space, M::AltModifier, 0, none}, {Qt::Key_Left, M::MetaModifier, 0, none},
        {Qt::Key_Delete, {}, 0, none}, {Qt::Key_Backspace, {}, 1, none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArrowKeys::keyFor(c.key, c.modifiers, c.editing), c.sent) << std::hex << c.key << " " << c.modifiers.toInt() << " " << c.editing;
}

// Each state as rendered: which card, the controls, and the texts and accessible names the window
// itself holds (the view's own texts are the tables' above; one of each kind shows the binding).
TEST(RemoteWindow, ShowsEachStateWithItsTexts)
{
    const struct { std::string name; const char *script, *then; QStringList texts, names; } cases[] = { // names: accessible names
        {"pairing", "id host start cancel", "", {"Telvanto", "Spárovanie s TV", "Spárovať",
         "Appka sa s TV ešte nepozná. Po stlačení tlačidla sa na TV ukáže kód."}, {"TV menu", "Zapnúť / vypnúť TV"}},
        {"waiting-for-code", "id host start ready req opt conf", "wrong",
         {"Na TV sa zobrazil 6-znakový kód. Prepíš ho sem.", "napr. 3F9A1C", "Kód nesedí, skontroluj ho na TV.", "Zrušiť"}, {"Kód z TV"}},
        {"connected", connected, "named tv:app tv:volume", {"Obývačka", "Pripojené", "OK", "Aplikácie", "Netflix"}, // the screenshot the package shows
         {"Späť", "Domov", "Prehrať / pauza", "Klávesnica", "Stlmiť", "Hlasitosť nadol", "Hlasitosť nahor", "Netflix",
          "Touchpad: ťukni na okraj pre šípku, do stredu pre OK, potiahni pre viac krokov, podrž pre opakovanie"}},
        {"failure", "id paired start close:conn", "", {"Pripojiť znova", "Spárovať znova"}, {}},
        {"text-row", connected, "show set:Ahoj", {"Ahoj", "Napíš text do TV…"}, {"Text do TV", "Zmazať"}},
        {"address-dialog", connected, "ask", {"IP adresa TV", "10.0.0.5", "Pripojiť", "Zrušiť"}, {"IP adresa TV"}},
        {"tv-menu", connected, "found", {"Obývačka (10.0.0.5)", "Zadať IP adresu…", "Spárovať znova"}, {}},
        {"mirror-card-starting", connected, "mstart",
         {"Obrazovka Macu na TV", "AirScreen sa spustí na TV", "Zobraziť na TV", mirroring::texts::waitingForAirScreen()}, {"Režim", "Druhý monitor"}},
        {"mirror-card-mirroring", connected, "mstop", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool card = c.name.starts_with("mirror");
        ViewRig rig(c.script);
        ASSERT_TRUE(rig.show(card));
        rig.act(c.then);
        rig.grab(c.name);
        QStringList texts{rig.window->title()}, names;
        collect(rig.window->contentItem(), texts, names);
        for (const QString& text : c.texts) EXPECT_TRUE(texts.contains(text)) << text.toStdString();
        for (const QString& name : c.names) EXPECT_TRUE(names.contains(name)) << name.toStdString();
        const bool pairing = c.name.starts_with("pairing") || c.name.starts_with("waiting");
        EXPECT_EQ(rig.item("pairingCard") != nullptr, pairing);
        EXPECT_EQ(rig.item("controls") != nullptr, !pairing);
        EXPECT_EQ(rig.item("failureCard") != nullptr, c.name == "failure"); // cards and rows exist only while shown
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

// The window driven as a user would where only the window decides: its own keys, an open menu,
// the layout and the text field (the arrow keys installed on the application, as the program does).
// Clicks and arrow keys reaching the TV: the whole-program test.
TEST(RemoteWindow, DrivenAsAUser)
{
    ViewRig rig;
    ASSERT_TRUE(rig.show());
    ArrowKeys arrowKeys(*rig.tv);
    qApp->installEventFilter(&arrowKeys);

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
    EXPECT_TRUE(rig.act("").empty());

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
    rig.run("tv:app"); // the app in front on the TV is outlined
    EXPECT_TRUE(rig.item("app:com.netflix.ninja")->property("current").toBool());

    // Typing: every key goes to the field, Return submits, Left moves the caret.
    QQuickItem* field = rig.item("textField");
    QTest::mouseClick(rig.window, Qt::LeftButton, {}, field->mapToScene(QPointF(field->width() / 2, field->height() / 2)).toPoint());
    ASSERT_TRUE(field->hasActiveFocus());
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_B, Qt::Key_Left, Qt::Key_Backspace}) QTest::keyClick(rig.window, key);
    EXPECT_EQ(field->property("text").toString(), "b");
    QTest::keyClick(rig.window, Qt::Key_Return);
    EXPECT_EQ(field->property("text").toString(), QString());
    QTest::keyClick(rig.window, Qt::Key_X);
    EXPECT_EQ(rig.act(""),
              (std::vector<std::string>{"ime:a@4/9", "ime:b@4/9", "del", "del", "ime:b@4/9", "key:66", "ime:x@4/9"}));
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
