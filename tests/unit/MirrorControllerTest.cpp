// The mirroring workflows and display decisions over fakes, in virtual time.
#include "mirroring/MirrorController.h"

#include "MirrorRig.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace std::chrono_literals;
using namespace telvanto;
using namespace telvanto::testing;
using Mode = mirroring::MirrorController::Mode;

namespace {

const QString tvHost = QStringLiteral("10.0.0.7"), airplay = QStringLiteral("_airplay._tcp");

// The fakes driven by a script, and what the tables read: every message shown ("" when it
// clears) and when busy last fell, counted from the start or stop that made it busy.
struct Rig : MirrorFakes {
    QStringList messages;
    core::TimePoint started = scheduler.now();
    std::optional<core::Duration> idleAfter;
    std::vector<core::TaskHandle> later;

    Rig& make()
    {
        MirrorFakes::make();
        QObject::connect(mirror.get(), &mirroring::MirrorController::busyChanged, [this] {
            if (!mirror->busy()) idleAfter = scheduler.now() - started;
        });
        QObject::connect(mirror.get(), &mirroring::MirrorController::messageChanged, [this] { messages << mirror->messageText(); });
        return *this;
    }
    // Words: "host" / "host=" (the TV's host is known / empty); "b:A,B" (the browse results);
    // "r:A", "r:A=HOST", "r:A=" (A resolves to the TV's host, to HOST, fails); "R:A" (A alone is
    // announced and resolves to the TV's host; plain "R" is AS-Obývačka); "D", "D:NAME",
    // "U" (the TV's display comes online, unnamed or named, or goes); "noa11y"; "refuse" (the
    // panel answers false); "start", "stop"; "mirror", "extend" (the mode picked); "+MS" (time
    // passes). WORD@MS happens that much later.
    Rig& play(const QString& script)
    {
        for (const QString& w : script.split(' ', Qt::SkipEmptyParts)) {
            const QString word = w.section('@', 0, 0);
            if (!w.contains('@')) step(word);
            else later.push_back(scheduler.schedule(w.section('@', 1).toInt() * 1ms, [this, word] { step(word); }));
        }
        return *this;
    }
    void step(const QString& w)
    {
        const QString arg = w.section(':', 1), name = arg.isEmpty() ? "AS-Obývačka" : arg;
        if (w.startsWith("host")) mirror->setTvHost(w == "host" ? tvHost : "");
        else if (w.startsWith("b:")) mdns.announce(airplay, arg.split(',', Qt::SkipEmptyParts));
        else if (w.startsWith("r:")) mdns.answer(arg.section('=', 0, 0), !arg.contains('=') ? tvHost : arg.endsWith('=') ? std::nullopt : std::optional(arg.section('=', 1)));
        else if (w[0] == 'R') mdns.announce(airplay, {name}), mdns.answer(name, tvHost);
        else if (w[0] == 'D') displays.plug(tvDisplay, {}, arg);
        else if (w == "U") displays.unplug(tvDisplay);
        else if (w == "noa11y") access.enabled = false;
        else if (w == "refuse") selector.answer = false;
        else if (w == "start" || w == "stop") {
            if (!mirror->busy()) started = scheduler.now();
            w == "start" ? mirror->start(tv) : mirror->stop();
        } else if (w == "mirror" || w == "extend") mirror->setMode(w == "extend" ? Mode::extend : Mode::mirror);
        else if (w[0] == '+') scheduler.advance(w.mid(1).toInt() * 1ms);
        else ADD_FAILURE() << "unknown step " << w.toStdString();
    }
    // What reached the TV, the panel and the displays, and what the controller holds and stored.
    QString outcome() const
    {
        QStringList o;
        if (!tv.sent.isEmpty()) o << (tv.sent == QStringList{"wakeUp", "launch com.ionitech.airscreen"} ? "woken" : tv.sent.join('+'));
        if (access.requests) o << QStringLiteral("asked %1").arg(access.requests);
        o << selector.calls;
        if (mirror->connectedReceiver()) o << "connected " + *mirror->connectedReceiver();
        if (mirror->isMirroring()) o << "mirroring";
        o << displays.log;
        if (settings.mirrorMode()) o << "stored " + *settings.mirrorMode();
        return o.join(", ");
    }
};

const QString waiting = "Čakám na AirScreen na TV…", connecting = "Pripájam AS-Obývačka…", cleared = "";
const QString missing = "AirScreen sa v sieti neukázal. Je na TV otvorený?", pending = "Mac sa pripája, chvíľu počkaj…";
const QString byHand = "Zastav zrkadlenie v Ovládacom centre (Zrkadlenie obrazovky).";

} // namespace

TEST(MirrorController, ReceiverIsTheFirstServiceByNameOnTheTVsHost)
{
    // The receiver's name (none: ""), the receivers known, the resolutions asked for.
    const std::pair<const char*, const char*> rows[] = {
        {"host b:Z,B,M r:Z r:M r:B=10.0.0.70", "M 3 3"}, {"host b:A r:A=", " 0 1"},
        {"host= b:B r:B", " 1 1"}, {"b:B r:B host", "B 1 1"}, {"host b:A,B r:A r:B b:B", "B 1 2"},
        {"host b:A b: r:A", " 0 1"}, // a late answer for a vanished one
        {"host b:A r:A b:A,B", "A 1 2"}, // a known one is not resolved again
    };
    for (const auto& [script, expected] : rows) {
        Rig rig;
        rig.make().play(script);
        EXPECT_EQ(QStringLiteral("%1 %2 %3").arg(rig.mirror->receiverNameText()).arg(rig.mirror->receivers().size()).arg(rig.mdns.requests.size()), expected) << script;
    }
}

TEST(MirrorController, StartStopAndModeSwitches)
{
    const QString on = "woken, on AS-Obývačka, connected AS-Obývačka";
    const struct { const char* name; const char* script; std::optional<core::Duration> idleAfter; QStringList messages; QString outcome; } rows[] = {
        {"no accessibility", "host R noa11y start", 0ms, {"Zapni prístupnosť v Nastavenia → Prístupnosť a skús znova."}, "asked 1"},
        {"all known: no sleep", "host R D:AS-TV +0 start", 0ms, {waiting, connecting, cleared}, on + ", mirroring, begin, mirror 5 1, complete"},
        {"receiver in the last sleep", "host R@9900 D@10100 start", 10250ms, {waiting, connecting, cleared}, on + ", mirroring, begin, mirror 5 1, complete"},
        {"receiver at 10 s: too late", "host R@10001 start", 10s, {waiting, missing}, "woken"},
        {"selection fails", "host R refuse start", 0ms, {waiting, connecting, "Nepodarilo sa nájsť AS-Obývačka v Zrkadlení obrazovky."}, "woken, on AS-Obývačka"},
        {"display after the wait: set up all the same", "host R D@15001 start", 15s, {waiting, connecting, pending, cleared},
         on + ", mirroring, begin, mirror 5 1, complete"},
        // A second request while busy is dropped without a word.
        {"start during start", "R start +100 start", 10s, {waiting, missing}, "woken"},
        {"stop during start", "R start +100 stop", 10s, {waiting, missing}, "woken"},
        {"nothing to stop", "stop", 0ms, {byHand}, ""},
        {"stop the one it connected", "host R:A D:AirPlay start +1000 b:B r:B U stop", 800ms, {waiting, "Pripájam A…", cleared},
         "woken, on A, off A, begin, mirror 5 1, complete"},
        {"stop one started by hand", "host R:B stop", 800ms, {}, "off B"},
        {"stop fails", "host R:A D:AirPlay start +1000 b: U refuse stop", 800ms, {waiting, "Pripájam A…", cleared, byHand},
         "woken, on A, off A, connected A, begin, mirror 5 1, complete"},
        // Every pick is stored; only a switch changes the displays, at once.
        {"the same mode while mirroring", "D:AS-TV +0 mirror", {}, {}, "mirroring, begin, mirror 5 1, complete, stored mirror"},
        {"a switch while mirroring", "D:AS-TV +0 mirror extend", {}, {},
         "mirroring, begin, mirror 5 1, complete, begin, mirror 5 0, origin 1 0 0, origin 5 1440 0, complete, stored extend"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig;
        rig.make().play(r.script).play("+60000");
        EXPECT_EQ(std::tie(rig.idleAfter, rig.messages), std::tie(r.idleAfter, r.messages));
        EXPECT_EQ(rig.outcome(), r.outcome);
    }
}

// Displays as "ID[b][mMASTER][=NAME]" by commas: b built in, m the display it mirrors; an ID of 0
// is a screen without a display.
void layOut(FakeDisplays& d, const QString& layout)
{
    d.displays.clear(), d.screenList.clear();
    static const QRegularExpression form("(\\d+)(b?)(?:m(\\d+))?(?:=(.*))?");
    for (const QString& item : layout.split(',', Qt::SkipEmptyParts)) {
        const auto m = form.match(item);
        const auto id = m.captured(1).toUInt();
        if (id) d.displays[id] = {.builtin = !m.captured(2).isEmpty(), .mirrors = m.captured(3).toUInt(), .width = m.captured(2).isEmpty() ? 1920u : 1440u};
        if (m.hasCaptured(4)) d.screenList.push_back({m.captured(4), id});
    }
}

TEST(MirrorController, RecognisesTheAirPlayDisplay)
{
    // earlier: the layout before the controller came; now: the one it finds (after a start, when starting).
    const struct { const char* name; const char* earlier; bool starting; const char* now; std::optional<mirroring::DisplayId> found; } rows[] = {
        {"the later qualifying screen wins", "1b", false, "1b,5=AS-Living,6=Big AirPlay box", 6},
        {"mibox in capitals", "1b", false, "1b,5=MIBOX 4", 5}, {"AS- is case-sensitive", "1b", false, "1b,5=as-living", {}},
        {"an earlier one still online stays", "1b,6=AirPlay", false, "1b,5=DELL U2415,6=HDMI-2", 6},
        {"a telling name without a number", "1b", true, "1b,5,0=AirPlay", {}},
        {"new since the start but built in", "1b", true, "1b,5b", {}}, {"first new one since the start", "1b", true, "1b,7,5", 5},
    };
    for (const auto& r : rows) {
        Rig rig;
        layOut(rig.displays, r.earlier);
        rig.make();
        if (r.starting) rig.play("host R start +0");
        layOut(rig.displays, r.now);
        r.starting ? rig.scheduler.advance(250ms) : rig.mirror->refreshDisplays(); // the display wait's first pass
        EXPECT_EQ(rig.mirror->airplayDisplay(), r.found) << r.name;
    }
}

TEST(MirrorController, AppliesTheMode)
{
    // stored: the mode as read at creation; only "extend" itself is extend.
    const struct { const char* name; const char* stored; const char* layout /* the AirPlay one is 5 */; bool refuse; QStringList log; } rows[] = {
        {"mirror: built-in before the rest", "mirror", "2,3b,5=AS-TV", false, {"begin", "mirror 5 3", "complete"}},
        {"mirror without a built-in one", "mirror", "2,3,5=AS-TV", false, {"begin", "mirror 5 2", "complete"}},
        {"mirror with nothing else", "mirror", "5=AS-TV", false, {}}, {"\"Extend\" is mirror: already mirrors", "Extend", "1b,5m1=AS-TV", false, {}},
        {"mirror: already mirrored", "mirror", "1bm5,5=AS-TV", false, {}}, {"mirror: begin refused", "mirror", "1b,5=AS-TV", true, {"begin"}},
        {"extend: already apart", "extend", "1b,5=AS-TV", false, {}},
        {"extend: mirrors ended", "extend", "1b,2m3,3,5m1=AS-TV", false, {"begin", "mirror 2 0", "mirror 5 0", "origin 1 0 0", "origin 5 1440 0", "complete"}},
        {"extend without a built-in one", "extend", "2,5m2=AS-TV", false, {"begin", "mirror 5 0", "complete"}},
        {"extend: begin refused", "extend", "1b,5m1=AS-TV", true, {"begin"}},
    };
    for (const auto& r : rows) {
        Rig rig;
        rig.settings.setMirrorMode(r.stored);
        layOut(rig.displays, r.layout);
        rig.displays.refuseBegin = r.refuse;
        rig.make(); // its first refresh finds the display and applies the mode
        EXPECT_EQ(rig.displays.log, r.log) << r.name;
    }
}

TEST(MirrorController, DisplayChangesAreFollowedLaterAndNotAfterTheEnd)
{
    Rig rig;
    rig.make().play("D:AS-TV").displays.notify();
    EXPECT_FALSE(rig.mirror->isMirroring()); // never inside the desktop's report
    EXPECT_EQ(rig.scheduler.pending(), 1u);  // a burst of reports is one refresh
    EXPECT_TRUE(rig.play("+0").mirror->isMirroring());
    // Gone mid-workflow: the panel's answer comes into nothing.
    rig.play("host R start").mirror.reset();
    EXPECT_FALSE(rig.displays.changed);
    rig.play("+60000");
    EXPECT_EQ(rig.scheduler.pending(), 0u);
}
