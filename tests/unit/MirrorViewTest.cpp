// The mirroring card's looks, its toggle and mode picker, and the start-up dump option.
#include "app/MirrorView.h"
#include "mirroring/Texts.h"

#include "MirrorRig.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <sstream>

using namespace std::chrono_literals;
using namespace telvanto;
using namespace telvanto::testing;
using app::MirrorView;

namespace {

// Steps: "receiver" (the TV's receiver is known), "online"/"offline" (its display), "toggle",
// "extend"/"mirror" (the picker), "answer" (the panel finishes the selection).
void play(MirrorRig& rig, MirrorView& view, const char* script)
{
    std::istringstream words(script);
    for (std::string w; words >> w;) {
        if (w == "receiver") rig.receiverKnown(QStringLiteral("AS-Obývačka"));
        else if (w == "online" || w == "offline") rig.tvDisplayOnline(w == "online");
        else if (w == "toggle") view.toggle();
        else if (w == "extend" || w == "mirror") view.setMode(w == "extend" ? 1 : 0);
        else if (w == "answer") rig.scheduler.advance(0ms);
        else FAIL() << w;
    }
}

} // namespace

TEST(MirrorView, LooksFollowTheController)
{
    const QColor red = QColor::fromRgbF(1, 69 / 255.0, 58 / 255.0, 0.8);
    const struct {
        const char* script;
        const char* subtitle;
        const char* button;
        const char* symbol;
        QColor background, text;
        const char* trayItem;
        const char* trayIcon;
    } rows[] = {
        {"", "AirScreen sa spustí na TV", "Zobraziť na TV", "play.fill", Qt::white, Qt::black, "Zobraziť Mac na TV", "tv"},
        {"receiver", "Prijímač: AS-Obývačka", "Zobraziť na TV", "play.fill", Qt::white, Qt::black, "Zobraziť Mac na TV", "tv"},
        {"receiver online", "Beží cez AirPlay", "Zastaviť", "stop.fill", red, Qt::white, "Zastaviť zobrazovanie na TV", "tv.inset.filled"},
        {"online", "Beží cez AirPlay", "Zastaviť", "stop.fill", red, Qt::white, "Zastaviť zobrazovanie na TV", "tv.inset.filled"},
        {"receiver online offline", "Prijímač: AS-Obývačka", "Zobraziť na TV", "play.fill", Qt::white, Qt::black, "Zobraziť Mac na TV", "tv"},
    };
    for (const auto& r : rows) {
        MirrorRig rig;
        MirrorView view(*rig.mirror, rig.tv);
        QSignalSpy changed(&view, &MirrorView::changed);
        play(rig, view, r.script);
        EXPECT_EQ(view.subtitle(), QString::fromUtf8(r.subtitle)) << r.script;
        EXPECT_EQ(view.buttonText(), QString::fromUtf8(r.button)) << r.script;
        EXPECT_EQ(view.buttonSymbol(), QString::fromUtf8(r.symbol)) << r.script;
        EXPECT_EQ(view.buttonColor(), r.background) << r.script;
        EXPECT_EQ(view.buttonTextColor(), r.text) << r.script;
        EXPECT_EQ(app::mirrorTexts::trayItem(view.isMirroring()), QString::fromUtf8(r.trayItem)) << r.script;
        EXPECT_EQ(app::mirrorTexts::trayIcon(view.isMirroring()), QString::fromUtf8(r.trayIcon)) << r.script;
        EXPECT_EQ(changed.isEmpty(), *r.script == '\0') << r.script; // QML hears of every change
    }
}

TEST(MirrorView, ToggleStartsOrStopsAndBusyDropsIt)
{
    const struct {
        const char* script;
        QStringList atTv;
        QStringList panel;
        bool busy;
    } rows[] = {
        {"toggle", {"wakeUp", "launch com.ionitech.airscreen"}, {}, true},
        {"toggle toggle", {"wakeUp", "launch com.ionitech.airscreen"}, {}, true},
        {"receiver online toggle", {}, {"off AS-Obývačka"}, true},
        {"receiver online toggle answer", {}, {"off AS-Obývačka"}, true}, // the pause after stopping
    };
    for (const auto& r : rows) {
        MirrorRig rig;
        MirrorView view(*rig.mirror, rig.tv);
        play(rig, view, r.script);
        EXPECT_EQ(rig.tv.sent, r.atTv) << r.script;
        EXPECT_EQ(rig.selector.calls, r.panel) << r.script;
        EXPECT_EQ(view.busy(), r.busy) << r.script;
    }
}

TEST(MirrorView, PickerSetsAndStoresTheMode)
{
    const struct {
        const char* script;
        int mode;
        const char* stored;
    } rows[] = {
        {"extend", 1, "extend"},
        {"extend mirror", 0, "mirror"},
        {"mirror", 0, "mirror"},
    };
    for (const auto& r : rows) {
        MirrorRig rig;
        MirrorView view(*rig.mirror, rig.tv);
        play(rig, view, r.script);
        EXPECT_EQ(view.mode(), r.mode) << r.script;
        EXPECT_EQ(rig.settings.mirrorMode(), QString::fromLatin1(r.stored)) << r.script;
    }
    MirrorRig rig;
    EXPECT_EQ(MirrorView(*rig.mirror, rig.tv).modes(), QStringList({"Zrkadliť obrazovku", "Druhý monitor"}));
}

TEST(MirrorView, DumpOptionNeedsAPathAfterIt)
{
    const struct {
        QStringList arguments;
        std::optional<QString> path;
        QStringList rest;
    } rows[] = {
        {{"telvanto"}, {}, {"telvanto"}},
        {{"telvanto", "-dumpControlCenter", "/tmp/cc.txt"}, "/tmp/cc.txt", {"telvanto"}},
        {{"telvanto", "-dumpControlCenter"}, {}, {"telvanto"}},
        {{"telvanto", "--pair-port", "1", "-dumpControlCenter", "a", "-dumpControlCenter", "b"}, "a",
         {"telvanto", "--pair-port", "1"}},
        {{"telvanto", "--dumpControlCenter", "a"}, {}, {"telvanto", "--dumpControlCenter", "a"}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(app::dumpControlCenterPath(r.arguments), r.path) << r.arguments.join(' ').toStdString();
        EXPECT_EQ(app::withoutDumpOption(r.arguments), r.rest) << r.arguments.join(' ').toStdString();
    }
}
