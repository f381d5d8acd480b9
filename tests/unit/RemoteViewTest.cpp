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

// A controller in virtual time with the window's state on top of it.
struct ViewRig : TVRig {
    std::unique_ptr<RemoteView> view;

    ViewRig& with(const std::string& script)
    {
        run(script);
        if (!tv) make();
        if (!view) view = std::make_unique<RemoteView>(*tv, scheduler);
        return *this;
    }

    // What the user did reached the TV as: keys, deletions, text and links (not the handshake).
    std::vector<std::string> commands()
    {
        std::vector<std::string> out;
        for (const auto& word : received(last()))
            if (word.starts_with("key:") || word == "del" || word.starts_with("ime:") || word.starts_with("link:"))
                out.push_back(word);
        return out;
    }
};

const char* const connected = "id paired start ready tv:start tv:ime";

} // namespace

TEST(StatusLabel, TextAndColourOfEachStatus)
{
    using S = TVController::Status;
    const QColor yellow(255, 214, 10), green(48, 209, 88), orange(255, 159, 10), red(255, 69, 58);
    const struct {
        S status;
        const char* text;
        QColor colour;
    } cases[] = {
        {S::of(Case::idle), "Neaktívne", yellow},
        {S::of(Case::searching), "Hľadám TV v sieti…", yellow},
        {S::of(Case::connecting), "Pripájam…", yellow},
        {S::of(Case::connected), "Pripojené", green},
        {S::of(Case::needsPairing), "Treba spárovať", orange},
        {S::of(Case::pairing), "Spúšťam párovanie…", yellow},
        {S::of(Case::waitingForCode), "Zadaj kód z TV", orange},
        {S::failed(QStringLiteral("TV nedostupná, skúšam znova…")), "TV nedostupná, skúšam znova…", red},
        {S::failed({}), "", red},
    };
    for (const auto& c : cases) {
        const StatusLook look = statusLook(c.status);
        EXPECT_EQ(look.text, QString::fromUtf8(c.text)) << c.text;
        EXPECT_EQ(look.colour, c.colour) << c.text;
    }
}

// The body follows the status and the pairing: the pairing card with its block, or the
// controls with the failure card on top while failed.
TEST(RemoteView, BodyFollowsStatusAndPairing)
{
    const struct {
        const char* script;
        bool pairing;
        const char* block;
        const char* failure; // on the card above the controls
        bool paired;
    } cases[] = {
        {"make", false, "start", "", false},
        {"id start", false, "start", "", false},
        {"id paired start", false, "start", "", true},
        {connected, false, "start", "", true},
        {"id host start cancel", true, "start", "", false},
        {"id host start", true, "progress", "", false},
        {"id host start ready req opt conf", true, "code", "", false},
        {"id paired start ready tv:start pair", true, "progress", "", true},
        {"id host start ready conf refuse=402", true, "start", "", false}, // failed before pairing: no card
        {"id paired start close:conn", false, "start", "TV nedostupná, skúšam znova…", true},
        {"id paired start close:tls", false, "start", "TV toto zariadenie už nepozná – stlač Spárovať znova", true},
    };
    for (const auto& c : cases) {
        ViewRig rig;
        rig.with(c.script);
        const RemoteView& view = *rig.view;
        EXPECT_EQ(view.showsPairing(), c.pairing) << c.script;
        EXPECT_EQ(view.pairingBlock(), QString::fromUtf8(c.block)) << c.script;
        EXPECT_EQ(view.showsFailure(), *c.failure != 0) << c.script;
        EXPECT_EQ(view.failure(), QString::fromUtf8(c.failure)) << c.script;
        EXPECT_EQ(view.isPaired(), c.paired) << c.script;
        EXPECT_EQ(view.statusText(), statusLook(rig.tv->status()).text) << c.script;
    }
}

// The text row on a connected TV: "type:CHARS" one edit per character, "set:TEXT" the field's
// text replaced, "submit" Return, "delete" the delete button, "hide"/"show" the row.
TEST(RemoteView, TextRowMirrorsEveryEdit)
{
    const struct {
        const char* script;
        std::vector<std::string> sent;
        const char* text;
    } cases[] = {
        {"type:ab", {"ime:a@4/9", "ime:b@4/9"}, "ab"},
        {"type:ab submit", {"ime:a@4/9", "ime:b@4/9", "key:66"}, ""}, // no deletions for the emptied field
        {"type:ab delete", {"ime:a@4/9", "ime:b@4/9", "del"}, "a"},
        {"delete", {"del"}, ""},
        {"type:a delete delete", {"ime:a@4/9", "del", "del"}, ""},
        {"set:cafe\xCC\x81 delete", {"ime:cafe\xCC\x81@4/9", "del"}, "caf"}, // one user-perceived character
        {"set:ok\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD delete", {"ime:ok\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD@4/9", "del"}, "ok"},
        // Return in an empty field: the next keystroke still reaches the TV
        {"submit type:x", {"key:66", "ime:x@4/9"}, "x"},
        {"type:a submit submit type:b", {"ime:a@4/9", "key:66", "key:66", "ime:b@4/9"}, "b"},
        {"type:a submit delete", {"ime:a@4/9", "key:66", "del"}, ""},
        {"type:ab hide show type:c", {"ime:a@4/9", "ime:b@4/9", "ime:c@4/9"}, "abc"}, // hiding keeps the text
        {"set:abc set:abc", {"ime:abc@4/9"}, "abc"},
    };
    for (const auto& c : cases) {
        ViewRig rig;
        rig.with(connected);
        RemoteView& view = *rig.view;
        std::istringstream words(c.script);
        for (std::string w; words >> w;) {
            const QString arg = QString::fromStdString(w.substr(w.find(':') + 1));
            if (w.starts_with("type:")) {
                for (const QChar ch : arg) view.setText(view.text() + ch);
            } else if (w.starts_with("set:")) {
                view.setText(arg);
            } else if (w == "submit") {
                view.submitText();
            } else if (w == "delete") {
                view.deleteBackward();
            } else {
                view.setShowKeyboard(w == "show");
            }
        }
        EXPECT_EQ(rig.commands(), c.sent) << c.script;
        EXPECT_EQ(view.text(), QString::fromUtf8(c.text)) << c.script;
        EXPECT_FALSE(view.clearing()) << c.script;
    }
}

// Every entry of the TV menu is "name (host)"; a checkmark marks each one at the controller's
// host, whichever its name.
TEST(RemoteView, TvMenuMarksTheTvInUse)
{
    const struct {
        const char* script;
        QStringList names;
        QStringList hosts;
        QStringList expected; // title|symbol
    } cases[] = {
        {connected, {}, {}, {}},
        {connected, {"Obývačka"}, {"10.0.0.5"}, {"Obývačka (10.0.0.5)|checkmark"}},
        {connected, {"Obývačka", "Kuchyňa"}, {"10.0.0.6", "10.0.0.5"}, {"Obývačka (10.0.0.6)|tv", "Kuchyňa (10.0.0.5)|checkmark"}},
        {connected, {"A", "B"}, {"10.0.0.5", "10.0.0.5"}, {"A (10.0.0.5)|checkmark", "B (10.0.0.5)|checkmark"}},
        {"id start", {"A"}, {"10.0.0.9"}, {"A (10.0.0.9)|checkmark"}}, // the first TV found is taken up
    };
    for (const auto& c : cases) {
        ViewRig rig;
        rig.with(c.script);
        QSignalSpy changes(rig.view.get(), &RemoteView::tvMenuChanged);
        rig.lookup.announce(c.names);
        for (qsizetype i = 0; i < c.names.size(); ++i) rig.lookup.answer(c.names[i], c.hosts[i]);
        QStringList menu;
        for (const QVariant& item : rig.view->tvMenu()) {
            const QVariantMap entry = item.toMap();
            menu << entry[QStringLiteral("title")].toString() + u'|' + entry[QStringLiteral("symbol")].toString();
        }
        EXPECT_EQ(menu, c.expected) << c.script << " " << c.names.join(u',').toStdString();
        EXPECT_EQ(changes.isEmpty(), c.names.isEmpty()) << c.script;
    }
}

TEST(RemoteView, ManualAddressKeepsTheNameAndDropsBlanksAtTheEnds)
{
    const struct {
        const char* typed;
        const char* host;
    } cases[] = {
        {"10.0.0.5", "10.0.0.5"}, {"  10.0.0.5 ", "10.0.0.5"}, {"\t10.0.0.5\t \t", "10.0.0.5"}, {"", ""},
        {" \t ", ""},             {"10.0.0.5\n", "10.0.0.5\n"}, {"10. 0.0.5", "10. 0.0.5"},   {"\xC2\xA0" "a", "\xC2\xA0" "a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RemoteView::manualHostEntry(QString::fromUtf8(c.typed)), QString::fromUtf8(c.host)) << c.typed;

    // Through the dialog: pre-filled with the controller's address, then another one chosen.
    ViewRig rig;
    rig.with(connected);
    rig.tv->setTvName(QStringLiteral("Obývačka"));
    RemoteView& view = *rig.view;
    view.askForHost();
    EXPECT_TRUE(view.askHost());
    EXPECT_EQ(view.manualHost(), QStringLiteral("10.0.0.5"));
    view.setManualHost(QStringLiteral(" 10.0.0.7\t"));
    view.connectManualHost();
    EXPECT_FALSE(view.askHost());
    EXPECT_EQ(rig.tv->host(), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(rig.tv->tvName(), QStringLiteral("Obývačka"));
    EXPECT_EQ(rig.last().host(), QStringLiteral("10.0.0.7"));
}

TEST(RemoteView, VolumeAndCurrentApp)
{
    const struct {
        std::optional<std::tuple<int, int, bool>> volume; // level, max, muted
        double fraction;
        const char* speaker;
    } cases[] = {
        {std::nullopt, 0, "speaker.fill"},
        {{{7, 0, false}}, 0, "speaker.fill"},
        {{{7, -3, true}}, 0, "speaker.slash.fill"},
        {{{15, 30, false}}, 0.5, "speaker.fill"},
        {{{0, 100, true}}, 0, "speaker.slash.fill"},
        {{{150, 100, false}}, 1.5, "speaker.fill"}, // not clamped
    };
    for (const auto& c : cases) {
        ViewRig rig;
        rig.with(connected);
        if (c.volume) {
            const auto [level, max, muted] = *c.volume;
            rig.last().receiveFrame(tvsim::TvMsg::volume(level, max, muted));
        }
        EXPECT_DOUBLE_EQ(rig.view->volumeFraction(), c.fraction);
        EXPECT_EQ(rig.view->speakerSymbol(), QString::fromLatin1(c.speaker));
    }

    ViewRig rig;
    rig.with(connected);
    QSignalSpy apps(rig.view.get(), &RemoteView::currentAppChanged);
    rig.last().receiveFrame(tvsim::TvMsg::currentApp("com.netflix.ninja"));
    EXPECT_EQ(apps.count(), 1);
    EXPECT_EQ(rig.view->currentApp(), QStringLiteral("com.netflix.ninja"));
}

// Buttons, tiles, the pad and the held volume buttons all go to the controller as short
// presses; an unknown key name sends nothing.
TEST(RemoteView, ControlsSendShortPresses)
{
    ViewRig rig;
    rig.with(connected);
    RemoteView& view = *rig.view;
    view.press(QStringLiteral("home"));
    view.press(QStringLiteral("delete"));
    view.press(QStringLiteral("nonsense"));
    view.press(QString());
    view.launch(QStringLiteral("com.spotify.tv.android"));
    view.touchpad()->setSize({420, 300});
    view.touchpad()->pointerMoved(210, 150);
    view.touchpad()->released();
    view.volumeUp()->press(0, 0);
    view.volumeUp()->release();
    view.volumeDown()->press(0, 0);
    rig.scheduler.advance(std::chrono::milliseconds(400));
    view.volumeDown()->release();
    EXPECT_EQ(rig.commands(), (std::vector<std::string>{"key:3", "del", "link:spotify:", "key:23", "key:24", "key:25", "key:25"}));
}

// The pairing card starts afresh each time it comes back; the button clears the code first.
TEST(RemoteView, PairingCardStartsAfresh)
{
    ViewRig rig;
    rig.with("id host start ready req opt conf");
    PairingView& pairing = *rig.view->pairing();
    pairing.setCode(QStringLiteral("00000"));
    rig.view->startPairing(); // still shown: the button's own reset
    EXPECT_EQ(pairing.code(), QString());
    EXPECT_FALSE(pairing.wrong());

    pairing.setCode(QStringLiteral("12"));
    rig.run("cancel");
    EXPECT_TRUE(rig.view->showsPairing());
    EXPECT_EQ(pairing.code(), QStringLiteral("12")); // shown all along

    ViewRig paired;
    paired.with("id paired start ready tv:start");
    paired.view->pairing()->setCode(QStringLiteral("12"));
    paired.run("pair");
    EXPECT_TRUE(paired.view->showsPairing());
    EXPECT_EQ(paired.view->pairing()->code(), QString()); // shown again: afresh
}

// The keyboard's keys: Ctrl, Alt and Meta let a key through, Shift and the keypad do not;
// typing into a text field lets everything through.
TEST(ArrowKeys, KeyTable)
{
    const auto none = std::optional<TVKey>();
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool editing;
        std::optional<TVKey> sent;
    } cases[] = {
        {Qt::Key_Up, {}, false, TVKey::up},
        {Qt::Key_Down, {}, false, TVKey::down},
        {Qt::Key_Left, {}, false, TVKey::left},
        {Qt::Key_Right, {}, false, TVKey::right},
        {Qt::Key_Return, {}, false, TVKey::center},
        {Qt::Key_Enter, Qt::KeypadModifier, false, TVKey::center},
        {Qt::Key_Escape, {}, false, TVKey::back},
        {Qt::Key_Backspace, {}, false, TVKey::back},
        {Qt::Key_Space, {}, false, TVKey::playPause},
        {Qt::Key_Home, {}, false, TVKey::home},
        {Qt::Key_Home, Qt::KeypadModifier, false, TVKey::home},
        {Qt::Key_Space, Qt::ShiftModifier, false, TVKey::playPause},
        {Qt::Key_Left, Qt::KeypadModifier, false, TVKey::left},
        {Qt::Key_Left, Qt::ControlModifier, false, none},
        {Qt::Key_Space, Qt::AltModifier, false, none},
        {Qt::Key_Left, Qt::MetaModifier, false, none},
        {Qt::Key_Return, Qt::ShiftModifier | Qt::ControlModifier, false, none},
        {Qt::Key_A, {}, false, none},
        {Qt::Key_Delete, {}, false, none},
        {Qt::Key_Tab, {}, false, none},
        {Qt::Key_Left, {}, true, none},
        {Qt::Key_Return, {}, true, none},
        {Qt::Key_Backspace, {}, true, none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArrowKeys::keyFor(c.key, c.modifiers, c.editing), c.sent)
            << std::hex << c.key << " modifiers " << c.modifiers.toInt() << " editing " << c.editing;
}
