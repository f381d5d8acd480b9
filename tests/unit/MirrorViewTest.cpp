// The mirroring card's looks, its toggle and mode picker, and the start-up dump option.
#include "app/MirrorView.h"

#include "MirrorRig.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <sstream>

using namespace telvanto;
using namespace telvanto::testing;
using app::MirrorView;

// Steps: "receiver" (the TV's receiver is known), "online" (its display), "toggle", "extend"/"mirror"
// (the picker), "answer" (the panel finishes the selection).
TEST(MirrorView, FollowsTheControllerAndDrivesIt)
{
    const struct { const char* script; const char* subtitle; bool mirroring, busy; QStringList atTv, panel; int mode; } rows[] = {
        {"", "AirScreen sa spustí na TV", 0, 0, {}, {}, 0}, {"receiver", "Prijímač: AS-Obývačka", 0, 0, {}, {}, 0},
        {"receiver online", "Beží cez AirPlay", 1, 0, {}, {}, 0},
        {"toggle", "AirScreen sa spustí na TV", 0, 1, {"wakeUp", "launch com.ionitech.airscreen"}, {}, 0},
        {"receiver online toggle", "Beží cez AirPlay", 1, 1, {}, {"off AS-Obývačka"}, 0},
        {"receiver online toggle answer", "Beží cez AirPlay", 1, 1, {}, {"off AS-Obývačka"}, 0}, // the pause after stopping
        {"extend", "AirScreen sa spustí na TV", 0, 0, {}, {}, 1}, {"extend mirror", "AirScreen sa spustí na TV", 0, 0, {}, {}, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.script);
        MirrorRig rig;
        MirrorView view(*rig.mirror, rig.tv);
        QSignalSpy changed(&view, &MirrorView::changed);
        std::istringstream words(r.script);
        for (std::string w; words >> w;) {
            if (w == "receiver") rig.receiverKnown(QStringLiteral("AS-Obývačka"));
            else if (w == "online") rig.tvDisplayOnline(true);
            else if (w == "toggle") view.toggle();
            else if (w == "extend" || w == "mirror") view.setMode(w == "extend" ? 1 : 0);
            else rig.scheduler.advance(std::chrono::milliseconds(0));
        }
        EXPECT_EQ(view.subtitle(), QString::fromUtf8(r.subtitle));
        EXPECT_EQ(view.isMirroring(), r.mirroring); // the card's button follows it: red at 0.8 while mirroring
        EXPECT_EQ((QStringList{view.buttonText(), view.buttonSymbol(), view.buttonColor().name(QColor::HexArgb), view.buttonTextColor().name()}),
                  (r.mirroring ? QStringList{"Zastaviť", "stop.fill", "#ccff453a", "#ffffff"} : QStringList{"Zobraziť na TV", "play.fill", "#ffffffff", "#000000"}));
        EXPECT_EQ(view.busy(), r.busy);
        EXPECT_EQ(rig.tv.sent, r.atTv);
        EXPECT_EQ(rig.selector.calls, r.panel);
        EXPECT_EQ(view.mode(), r.mode);
        EXPECT_EQ(changed.isEmpty(), std::string_view(r.script).empty()); // QML hears of every change
    }
}

TEST(MirrorView, DumpOptionNeedsAPathAfterIt)
{
    const struct { QStringList arguments; std::optional<QString> path; QStringList rest; } rows[] = {
        {{"telvanto", "-dumpControlCenter"}, {}, {"telvanto"}},
        {{"telvanto", "-dumpControlCenter", "/tmp/cc.txt"}, "/tmp/cc.txt", {"telvanto"}},
        {{"telvanto", "--pair-port", "1", "-dumpControlCenter", "a", "-dumpControlCenter", "b"}, "a", {"telvanto", "--pair-port", "1"}},
        {{"telvanto", "--dumpControlCenter", "a"}, {}, {"telvanto", "--dumpControlCenter", "a"}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(app::dumpControlCenterPath(r.arguments), r.path) << r.arguments.join(' ').toStdString();
        EXPECT_EQ(app::withoutDumpOption(r.arguments), r.rest) << r.arguments.join(' ').toStdString();
    }
}
