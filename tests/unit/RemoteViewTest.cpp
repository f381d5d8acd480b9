#include "app/ArrowKeys.h"
#include "app/RemoteView.h"
#include "app/StatusLabel.h"

#include "TVRig.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace telvanto;
using namespace telvanto::app;
using namespace telvanto::testing;
using protocol::TVKey;

namespace {

const char* const connected = "id paired start ready tv:start tv:ime";

// The window's state on a controller in virtual time, made after the rig's script.
struct ViewRig : TVRig {
    std::unique_ptr<RemoteView> view;

    explicit ViewRig(const std::string& script = connected)
    {
        run(script);
        if (!tv) make();
        view = std::make_unique<RemoteView>(*tv, scheduler);
    }

    // The user on the window: "type:CHARS" one edit per character, "set:TEXT" the field's text
    // replaced, "submit" Return, "delete" the delete button, "show"/"hide" the text row,
    // "press:KEY", "launch:PKG", "tap" the pad's middle, "up" a click on volume up, "down:MS"
    // volume down held; other words go to the rig. Returns the keys, deletions, text and links
    // that reached the TV.
    std::vector<std::string> act(const std::string& script)
    {
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            const QString arg = u8(w.substr(w.find(':') + 1));
            if (w.starts_with("type:")) for (const QChar ch : arg) view->setText(view->text() + ch);
            else if (w.starts_with("set:")) view->setText(arg);
            else if (w == "submit") view->submitText();
            else if (w == "delete") view->deleteBackward();
            else if (w == "show" || w == "hide") view->setShowKeyboard(w == "show");
            else if (w.starts_with("press:")) view->press(arg);
            else if (w.starts_with("launch:")) view->launch(arg);
            else if (w == "tap") view->touchpad()->setSize({420, 300}), view->touchpad()->pointerMoved(210, 150), view->touchpad()->released();
            else if (w == "up") view->volumeUp()->press(0, 0), view->volumeUp()->release();
            else if (w.starts_with("down:")) view->volumeDown()->press(0, 0), scheduler.advance(std::chrono::milliseconds(arg.toInt())), view->volumeDown()->release();
            else run(w);
        }
        std::vector<std::string> out;
        for (const auto& word : received(last()))
            if (word.starts_with("key:") || word == "del" || word.starts_with("ime:") || word.starts_with("link:")) out.push_back(word);
        return out;
    }
};

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
    EXPECT_EQ(statusLook(TVController::Status::failed({})).colour, red);
}

// Buttons, tiles, the pad and the held volume buttons go to the controller as short presses;
// every edit of the text reaches the TV as it is typed.
TEST(RemoteView, ControlsAndTextRowReachTheTv)
{
    const struct { const char* script; std::vector<std::string> sent; const char* text; } cases[] = {
        {"press:home press:delete press:nonsense press: launch:com.spotify.tv.android tap up down:400",
         {"key:3", "del", "link:spotify:", "key:23", "key:24", "key:25", "key:25"}, ""},
        {"type:ab", {"ime:a@4/9", "ime:b@4/9"}, "ab"},
        {"type:ab submit", {"ime:a@4/9", "ime:b@4/9", "key:66"}, ""}, // no deletions for the emptied field
        {"type:ab delete", {"ime:a@4/9", "ime:b@4/9", "del"}, "a"}, {"delete", {"del"}, ""},
        {"type:a delete delete", {"ime:a@4/9", "del", "del"}, ""},
        {"set:cafe\xCC\x81 delete", {"ime:cafe\xCC\x81@4/9", "del"}, "caf"}, // one user-perceived character
        {"set:ok\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD delete", {"ime:ok\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD@4/9", "del"}, "ok"},
        // Return in an empty field: the next keystroke still reaches the TV
        {"submit type:x", {"key:66", "ime:x@4/9"}, "x"}, {"type:a submit submit type:b", {"ime:a@4/9", "key:66", "key:66", "ime:b@4/9"}, "b"},
        {"type:a submit delete", {"ime:a@4/9", "key:66", "del"}, ""},
        {"type:ab hide show type:c", {"ime:a@4/9", "ime:b@4/9", "ime:c@4/9"}, "abc"}, // hiding keeps the text
        {"set:abc set:abc", {"ime:abc@4/9"}, "abc"},
    };
    for (const auto& c : cases) {
        ViewRig rig;
        EXPECT_EQ(rig.act(c.script), c.sent) << c.script;
        EXPECT_EQ(rig.view->text(), QString::fromUtf8(c.text)) << c.script;
        EXPECT_FALSE(rig.view->clearing()) << c.script;
    }
}

// Every entry of the TV menu is "name (host)"; a checkmark marks each one at the controller's host.
TEST(RemoteView, TvMenuMarksTheTvInUse)
{
    const struct { const char* script; QStringList names, hosts, expected; } cases[] = {
        {connected, {}, {}, {}},
        {connected, {"Obývačka"}, {"10.0.0.5"}, {"Obývačka (10.0.0.5)|checkmark"}},
        {connected, {"Obývačka", "Kuchyňa"}, {"10.0.0.6", "10.0.0.5"}, {"Obývačka (10.0.0.6)|tv", "Kuchyňa (10.0.0.5)|checkmark"}},
        {connected, {"A", "B"}, {"10.0.0.5", "10.0.0.5"}, {"A (10.0.0.5)|checkmark", "B (10.0.0.5)|checkmark"}},
        {"id start", {"A"}, {"10.0.0.9"}, {"A (10.0.0.9)|checkmark"}}, // the first TV found is taken up
    };
    for (const auto& c : cases) {
        ViewRig rig(c.script);
        QSignalSpy changes(rig.view.get(), &RemoteView::tvMenuChanged);
        rig.lookup.announce(c.names);
        for (qsizetype i = 0; i < c.names.size(); ++i) rig.lookup.answer(c.names[i], c.hosts[i]);
        QStringList menu;
        for (const QVariant& item : rig.view->tvMenu()) menu << item.toMap()["title"].toString() + u'|' + item.toMap()["symbol"].toString();
        EXPECT_EQ(menu, c.expected) << c.script;
        EXPECT_EQ(changes.isEmpty(), c.names.isEmpty()) << c.script;
    }
}

TEST(RemoteView, ManualAddressKeepsTheNameAndDropsBlanksAtTheEnds)
{
    const std::pair<const char*, const char*> cases[] = {
        {"10.0.0.5", "10.0.0.5"}, {"  10.0.0.5 ", "10.0.0.5"}, {"\t10.0.0.5\t \t", "10.0.0.5"}, {"", ""}, {" \t ", ""},
        {"10.0.0.5\n", "10.0.0.5\n"}, {"10. 0.0.5", "10. 0.0.5"}, {"\xC2\xA0" "a", "\xC2\xA0" "a"},
    };
    for (const auto& [typed, host] : cases) EXPECT_EQ(RemoteView::manualHostEntry(QString::fromUtf8(typed)), QString::fromUtf8(host)) << typed;
    // Through the dialog: pre-filled with the controller's address, then another one chosen.
    ViewRig rig;
    rig.tv->setTvName(QStringLiteral("Obývačka"));
    rig.view->askForHost();
    EXPECT_TRUE(rig.view->askHost());
    EXPECT_EQ(rig.view->manualHost(), "10.0.0.5");
    rig.view->setManualHost(QStringLiteral(" 10.0.0.7\t"));
    rig.view->connectManualHost();
    EXPECT_FALSE(rig.view->askHost());
    EXPECT_EQ(rig.tv->host(), "10.0.0.7");
    EXPECT_EQ(rig.tv->tvName(), "Obývačka");
    EXPECT_EQ(rig.last().host(), "10.0.0.7");
}

TEST(RemoteView, VolumeAndCurrentApp)
{
    const struct { std::vector<int> volume; double fraction; const char* speaker; } cases[] = { // level, max, muted
        {{}, 0, "speaker.fill"}, {{7, 0, 0}, 0, "speaker.fill"}, {{7, -3, 1}, 0, "speaker.slash.fill"},
        {{15, 30, 0}, 0.5, "speaker.fill"}, {{0, 100, 1}, 0, "speaker.slash.fill"}, {{150, 100, 0}, 1.5, "speaker.fill"}, // not clamped
    };
    for (const auto& c : cases) {
        ViewRig rig;
        if (!c.volume.empty()) rig.last().receiveFrame(tvsim::TvMsg::volume(c.volume[0], c.volume[1], c.volume[2] != 0));
        EXPECT_DOUBLE_EQ(rig.view->volumeFraction(), c.fraction);
        EXPECT_EQ(rig.view->speakerSymbol(), c.speaker);
    }
    ViewRig rig;
    QSignalSpy apps(rig.view.get(), &RemoteView::currentAppChanged);
    rig.act("tv:app");
    EXPECT_EQ(apps.count(), 1);
    EXPECT_EQ(rig.view->currentApp(), "com.netflix.ninja");
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
    EXPECT_TRUE(rig.view->showsPairing());
    EXPECT_EQ(rig.view->pairing()->code(), "12"); // shown all along
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
        {Qt::Key_Home, {}, 0, TVKey::home}, {Qt::Key_Home, M::KeypadModifier, 0, TVKey::home},
        {Qt::Key_Space, M::ShiftModifier, 0, TVKey::playPause}, {Qt::Key_Left, M::KeypadModifier, 0, TVKey::left},
        {Qt::Key_Left, M::ControlModifier, 0, none}, {Qt::Key_Space, M::AltModifier, 0, none}, {Qt::Key_Left, M::MetaModifier, 0, none},
        {Qt::Key_Return, M::ShiftModifier | M::ControlModifier, 0, none}, {Qt::Key_A, {}, 0, none}, {Qt::Key_Delete, {}, 0, none},
        {Qt::Key_Tab, {}, 0, none}, {Qt::Key_Left, {}, 1, none}, {Qt::Key_Backspace, {}, 1, none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArrowKeys::keyFor(c.key, c.modifiers, c.editing), c.sent) << std::hex << c.key << " " << c.modifiers.toInt() << " " << c.editing;
}
