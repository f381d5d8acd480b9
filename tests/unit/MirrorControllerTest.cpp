#include "mirroring/MirrorController.h"
#include "mirroring/Texts.h"

#include "MirrorRig.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QSettings>

using namespace std::chrono_literals;
using namespace telvanto;
using namespace telvanto::testing;
using mirroring::MirrorController;
using Mode = MirrorController::Mode;
namespace texts = mirroring::texts;

namespace {

const QString airplay = QStringLiteral("_airplay._tcp");
const QString tvHost = QStringLiteral("10.0.0.7");
constexpr mirroring::DisplayId builtin = 1, tvDisplay = 5;

// The fakes, and what the tests measure: the controller is made by make().
struct Rig : MirrorFakes {
    std::vector<core::TaskHandle> script;
    core::TimePoint started = scheduler.now();
    std::optional<core::Duration> idleAfter; // when busy last went false, from the start

    MirrorController& make()
    {
        MirrorFakes::make();
        QObject::connect(mirror.get(), &MirrorController::busyChanged, [this] {
            if (!mirror->busy()) idleAfter = scheduler.now() - started;
        });
        return *mirror;
    }
    // A receiver is announced and resolves to the host (the TV's unless told).
    void receiverAppears(const QString& name = QStringLiteral("AS-Obývačka"), const QString& host = tvHost)
    {
        if (!announced.contains(name)) announced << name;
        mdns.announce(airplay, announced);
        mdns.answer(name, host);
    }
    void receiverLeaves(const QString& name)
    {
        announced.removeAll(name);
        mdns.announce(airplay, announced);
    }
    // Only the built-in display, then these: id, screen name (none: unnamed), built in.
    struct Shown {
        mirroring::DisplayId id;
        QString name;
        bool builtin = false;
    };
    void show(const std::vector<Shown>& layout)
    {
        displays.displays = {{builtin, {.builtin = true, .width = 1440}}};
        displays.screenList.clear();
        for (const auto& s : layout) {
            if (s.id != 0) displays.displays[s.id] = {.builtin = s.builtin};
            if (!s.name.isEmpty()) displays.screenList.push_back({s.name, s.id});
        }
    }
    void at(core::Duration when, std::function<void()> step)
    {
        script.push_back(scheduler.schedule(when - (scheduler.now() - started), std::move(step)));
    }
    void begin()
    {
        started = scheduler.now();
        mirror->start(tv);
    }

    QStringList announced;
};

} // namespace

TEST(MirrorController, ModeComesFromTheSettingsAndEveryAssignmentIsStored)
{
    const struct {
        std::optional<QString> stored;
        Mode mode;
    } cases[] = {
        {std::nullopt, Mode::mirror}, {"mirror", Mode::mirror}, {"extend", Mode::extend},
        {"Extend", Mode::mirror},     {"", Mode::mirror},       {" extend", Mode::mirror},
    };
    for (const auto& c : cases) {
        Rig rig;
        if (c.stored) rig.settings.setMirrorMode(*c.stored);
        EXPECT_EQ(rig.make().mode(), c.mode) << c.stored.value_or("(none)").toStdString();
    }

    Rig rig;
    auto& mirror = rig.make();
    mirror.setMode(Mode::extend);
    EXPECT_EQ(QSettings(rig.settings.filePath(), QSettings::IniFormat).value("mirrorMode").toString(), "extend");
    mirror.setMode(Mode::mirror);
    EXPECT_EQ(rig.settings.mirrorMode(), "mirror");
}

TEST(MirrorController, ReceiverIsTheFirstServiceByNameOnTheTVsHost)
{
    using Step = std::function<void(Rig&)>;
    auto browse = [](QStringList names) { return [=](Rig& r) { r.mdns.announce(airplay, names); }; };
    auto resolve = [](QString name, std::optional<QString> host) { return [=](Rig& r) { r.mdns.answer(name, host); }; };
    auto host = [](QString h) { return [=](Rig& r) { r.mirror->setTvHost(h); }; };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::optional<QString> receiver;
        std::size_t known;
    } cases[] = {
        {"one on the TV's host", {browse({"B"}), resolve("B", tvHost)}, "B", 1},
        {"two on the host: first by name", {browse({"Z", "B", "M"}), resolve("Z", tvHost), resolve("M", tvHost), resolve("B", "10.0.0.9")}, "M", 3},
        {"other host only", {browse({"B"}), resolve("B", "10.0.0.70")}, std::nullopt, 1},
        {"empty TV host", {host(""), browse({"B"}), resolve("B", tvHost)}, std::nullopt, 1},
        {"host set afterwards", {host(""), browse({"B"}), resolve("B", tvHost), host(tvHost)}, "B", 1},
        {"chosen one vanishes: next", {browse({"A", "B"}), resolve("A", tvHost), resolve("B", tvHost), browse({"B"})}, "B", 1},
        {"chosen one vanishes: none", {browse({"A"}), resolve("A", tvHost), browse({})}, std::nullopt, 0},
        {"failed resolution left out", {browse({"A"}), resolve("A", std::nullopt)}, std::nullopt, 0},
        {"named again: resolved again", {browse({"A"}), resolve("A", std::nullopt), browse({"A"}), resolve("A", tvHost)}, "A", 1},
        {"late answer for a vanished one", {browse({"A"}), browse({}), resolve("A", tvHost)}, std::nullopt, 0},
        {"resolution times out", {browse({"A"}), [](Rig& r) { r.scheduler.advance(5s); }, resolve("A", tvHost)}, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.make().setTvHost(tvHost);
        for (const auto& step : c.steps) step(rig);
        EXPECT_EQ(rig.mirror->receiverName(), c.receiver) << c.name;
        EXPECT_EQ(rig.mirror->receivers().size(), c.known) << c.name;
    }
}

TEST(MirrorController, KnownReceiversAreNotResolvedAgain)
{
    Rig rig;
    rig.make().setTvHost(tvHost);
    rig.mdns.announce(airplay, {"A"});
    rig.mdns.answer("A", tvHost);
    rig.mdns.announce(airplay, {"A", "B"});
    EXPECT_EQ(rig.mdns.requests.size(), 2u); // A once, B once
    EXPECT_EQ(rig.mdns.requests.back()->name, "B");
}

TEST(MirrorController, StartWorkflow)
{
    using Step = std::function<void(Rig&)>;
    const Step none = [](Rig&) {};
    const Step known = [](Rig& r) { r.receiverAppears(); };
    auto receiverAt = [](core::Duration t) { return [=](Rig& r) { r.at(t, [&r] { r.receiverAppears(); }); }; };
    auto displayAt = [](core::Duration t, QString name = {}) {
        return [=](Rig& r) { r.at(t, [&r, name] { r.displays.plug(tvDisplay, {}, name); }); };
    };
    const Step shown = [](Rig& r) { r.displays.plug(tvDisplay, {}, "AS-TV"); r.scheduler.advance(0ms); };
    auto both = [](Step a, Step b) { return [=](Rig& r) { a(r); b(r); }; };
    const QString name = QStringLiteral("AS-Obývačka");
    const QStringList woken = {"wakeUp", "launch com.ionitech.airscreen"};

    const struct {
        const char* name;
        bool accessible;
        Step setup;
        std::optional<bool> selected; // none: the selection never answers
        std::optional<QString> message;
        core::Duration idleAfter;
        QStringList sent, selections;
        bool connected, mirroring;
    } cases[] = {
        {"no accessibility", false, known, true, texts::accessibilityOff(), 0ms, {}, {}, false, false},
        {"receiver and display known: no sleep", true, both(known, shown), true, std::nullopt, 0ms, woken, {"on " + name}, true, true},
        {"receiver never shows", true, none, true, texts::airScreenMissing(), 10s, woken, {}, false, false},
        {"receiver in the last sleep", true, both(receiverAt(9900ms), displayAt(10100ms)), true, std::nullopt, 10250ms, woken, {"on " + name}, true, true},
        {"receiver at 10 s: too late", true, receiverAt(10001ms), true, texts::airScreenMissing(), 10s, woken, {}, false, false},
        {"selection fails", true, known, false, texts::receiverNotFound(name), 0ms, woken, {"on " + name}, false, false},
        {"display comes by number", true, both(known, displayAt(2900ms)), true, std::nullopt, 3s, woken, {"on " + name}, true, true},
        {"display comes by name", true, both(known, displayAt(100ms, "AirPlay TV")), true, std::nullopt, 250ms, woken, {"on " + name}, true, true},
        {"display never comes", true, known, true, texts::displayPending(), 15s, woken, {"on " + name}, true, false},
        {"display just too late", true, both(known, displayAt(15001ms)), true, texts::displayPending(), 15s, woken, {"on " + name}, true, false},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.access.enabled = c.accessible;
        rig.selector.answer = c.selected;
        rig.make().setTvHost(tvHost);
        rig.started = rig.scheduler.now();
        c.setup(rig);
        rig.begin();
        if (c.idleAfter > 0ms) {
            rig.scheduler.advance(c.idleAfter - 1ms);
            EXPECT_TRUE(rig.mirror->busy()) << c.name << ": busy until the end";
        }
        rig.scheduler.advance(std::min<core::Duration>(c.idleAfter, 1ms));
        EXPECT_FALSE(rig.mirror->busy()) << c.name;
        EXPECT_EQ(rig.idleAfter, c.idleAfter) << c.name;
        EXPECT_EQ(rig.mirror->message(), c.message) << c.name;
        EXPECT_EQ(rig.tv.sent, c.sent) << c.name;
        EXPECT_EQ(rig.selector.calls, c.selections) << c.name;
        EXPECT_EQ(rig.access.requests, c.accessible ? 0 : 1) << c.name;
        EXPECT_EQ(rig.mirror->connectedReceiver().has_value(), c.connected) << c.name;
        EXPECT_EQ(rig.mirror->isMirroring(), c.mirroring) << c.name;
        rig.scheduler.advance(1min);
        EXPECT_EQ(rig.selector.calls, c.selections) << c.name << ": nothing more happens";
    }
}

TEST(MirrorController, StartShowsProgressAndSetsTheDisplayUpOnce)
{
    Rig rig;
    auto& mirror = rig.make();
    mirror.setTvHost(tvHost);
    rig.selector.answer.reset();
    rig.begin();
    EXPECT_EQ(mirror.message(), texts::waitingForAirScreen());
    rig.scheduler.advance(1s);
    rig.receiverAppears();
    rig.scheduler.advance(250ms);
    EXPECT_EQ(mirror.message(), texts::connecting("AS-Obývačka"));
    EXPECT_EQ(mirror.displaysBefore(), std::set<mirroring::DisplayId>{builtin});
    rig.selector.finishAfter(0ms, true);
    rig.scheduler.advance(0ms);
    rig.displays.plug(tvDisplay);                  // a display without a telling name
    EXPECT_FALSE(mirror.isMirroring());            // the desktop's report is handled later
    rig.scheduler.advance(250ms);
    EXPECT_TRUE(mirror.isMirroring());
    EXPECT_FALSE(mirror.busy());
    EXPECT_FALSE(mirror.message());
    // Applied when it came and again at the end; the second finds it mirrored already.
    EXPECT_EQ(rig.displays.log, QStringList({"begin", "mirror 5 1", "complete"}));
}

TEST(MirrorController, BusyDropsASecondRequest)
{
    using Op = std::function<void(Rig&)>;
    const Op start = [](Rig& r) { r.mirror->start(r.tv); };
    const Op stop = [](Rig& r) { r.mirror->stop(); };
    const QStringList woken = {"wakeUp", "launch com.ionitech.airscreen"};
    const struct {
        const char* name;
        Op first, second;
        QStringList sent, selections;
    } cases[] = {
        // Without a TV host the start waits its full 10 s; the stop waits on the selection.
        {"start during start", start, start, woken, {}},
        {"stop during start", start, stop, woken, {}},
        {"start during stop", stop, start, {}, {"off AS-Obývačka"}},
        {"stop during stop", stop, stop, {}, {"off AS-Obývačka"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.make();
        if (c.sent.isEmpty()) rig.mirror->setTvHost(tvHost);
        rig.receiverAppears();
        rig.selector.delay = 500ms;
        c.first(rig);
        rig.scheduler.advance(100ms);
        const auto message = rig.mirror->message();
        c.second(rig);
        EXPECT_EQ(rig.mirror->message(), message) << c.name << ": dropped without a message";
        rig.scheduler.advance(1min);
        EXPECT_EQ(rig.tv.sent, c.sent) << c.name;
        EXPECT_EQ(rig.selector.calls, c.selections) << c.name;
        EXPECT_FALSE(rig.mirror->busy()) << c.name;
    }
}

TEST(MirrorController, StopWorkflow)
{
    const struct {
        const char* name;
        std::optional<QString> connected, known;
        bool selected;
        QStringList selections;
        std::optional<QString> message, connectedAfter;
        core::Duration idleAfter;
    } cases[] = {
        {"nothing to stop", {}, {}, true, {}, texts::stopByHand(), {}, 0ms},
        {"the one it connected", "A", "B", true, {"off A"}, {}, {}, 800ms},
        {"started by hand", {}, "B", true, {"off B"}, {}, {}, 800ms},
        {"selection fails", "A", {}, false, {"off A"}, texts::stopByHand(), "A", 800ms},
    };
    for (const auto& c : cases) {
        Rig rig;
        auto& mirror = rig.make();
        mirror.setTvHost(tvHost);
        if (c.connected) { // a finished start, whose receiver has left since
            rig.receiverAppears(*c.connected);
            rig.displays.plug(tvDisplay, {}, "AirPlay");
            mirror.start(rig.tv);
            rig.scheduler.advance(1s);
            ASSERT_EQ(mirror.connectedReceiver(), c.connected) << c.name;
            rig.receiverLeaves(*c.connected);
        }
        if (c.known) rig.receiverAppears(*c.known);
        rig.selector.calls.clear();
        rig.selector.answer = c.selected;
        rig.displays.unplug(tvDisplay);
        rig.started = rig.scheduler.now();
        rig.idleAfter.reset();
        mirror.stop();
        if (c.idleAfter > 0ms) {
            rig.scheduler.advance(c.idleAfter - 1ms);
            EXPECT_TRUE(mirror.busy()) << c.name;
        }
        rig.scheduler.advance(std::min<core::Duration>(c.idleAfter, 1ms));
        EXPECT_EQ(rig.idleAfter, c.idleAfter) << c.name;
        EXPECT_EQ(rig.selector.calls, c.selections) << c.name;
        EXPECT_EQ(mirror.message(), c.message) << c.name;
        EXPECT_EQ(mirror.connectedReceiver(), c.connectedAfter) << c.name;
        EXPECT_FALSE(mirror.isMirroring()) << c.name;
    }
}

TEST(MirrorController, RecognisesTheAirPlayDisplay)
{
    using Layout = std::vector<Rig::Shown>;
    const struct {
        const char* name;
        Layout earlier; // a refresh sees this first
        bool starting;  // a start is waiting for the display
        Layout now;
        std::optional<mirroring::DisplayId> found;
    } cases[] = {
        {"the later qualifying screen wins", {}, false, {{5, "AS-Living"}, {6, "Big AirPlay box"}}, 6},
        {"mibox in capitals", {}, false, {{5, "MIBOX 4"}}, 5},
        {"AS- is case-sensitive", {}, false, {{5, "as-living"}}, {}},
        {"an external monitor is not taken", {}, false, {{5, "DELL U2415"}}, {}},
        {"an earlier one still online stays", {{6, "AirPlay"}}, false, {{5, "DELL U2415"}, {6, "HDMI-2"}}, 6},
        {"an earlier one gone", {{6, "AirPlay"}}, false, {{5, "DELL U2415"}}, {}},
        {"new since the start", {}, true, {{5, ""}}, 5},
        {"new since the start but built in", {}, true, {{5, "", true}}, {}},
        {"first new one by number", {}, true, {{7, ""}, {5, ""}}, 5},
        {"a telling name without a number", {}, true, {{5, ""}, {0, "AirPlay"}}, {}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.show(c.earlier);
        auto& mirror = rig.make();
        rig.displays.log.clear();
        if (c.starting) {
            mirror.setTvHost(tvHost);
            rig.receiverAppears();
            mirror.start(rig.tv);
            rig.scheduler.advance(0ms);
            ASSERT_EQ(mirror.displaysBefore(), std::set<mirroring::DisplayId>{builtin}) << c.name;
        }
        rig.show(c.now);
        if (c.starting) rig.scheduler.advance(250ms); // the display wait's first pass
        else mirror.refreshDisplays();
        EXPECT_EQ(mirror.airplayDisplay(), c.found) << c.name;
        EXPECT_EQ(mirror.isMirroring(), c.found.has_value()) << c.name;
        if (c.found && c.earlier.empty()) {
            EXPECT_TRUE(mirror.displaysBefore().empty()) << c.name;
            EXPECT_EQ(rig.displays.log, QStringList({"begin", QStringLiteral("mirror %1 1").arg(*c.found), "complete"})) << c.name;
        }
    }
}

TEST(MirrorController, AppliesTheMode)
{
    using Display = FakeDisplays::Display;
    const Display panel{.builtin = true, .width = 1440};
    const struct {
        const char* name;
        Mode mode;
        std::map<mirroring::DisplayId, Display> displays; // the AirPlay display is 5
        bool refuseBegin;
        QStringList log;
    } cases[] = {
        {"mirror the built-in one", Mode::mirror, {{1, panel}, {5, {}}}, false, {"begin", "mirror 5 1", "complete"}},
        {"mirror: built-in before the rest", Mode::mirror, {{2, {}}, {3, panel}, {5, {}}}, false, {"begin", "mirror 5 3", "complete"}},
        {"mirror without a built-in one", Mode::mirror, {{2, {}}, {3, {}}, {5, {}}}, false, {"begin", "mirror 5 2", "complete"}},
        {"mirror with nothing else", Mode::mirror, {{5, {}}}, false, {}},
        {"mirror: already mirrors", Mode::mirror, {{1, panel}, {5, {.mirrors = 1}}}, false, {}},
        {"mirror: already mirrored", Mode::mirror, {{1, {.builtin = true, .mirrors = 5}}, {5, {}}}, false, {}},
        {"mirror: begin refused", Mode::mirror, {{1, panel}, {5, {}}}, true, {"begin"}},
        {"extend: already apart", Mode::extend, {{1, panel}, {5, {.x = 99}}}, false, {}},
        {"extend from mirroring", Mode::extend, {{1, panel}, {5, {.mirrors = 1}}}, false,
         {"begin", "mirror 5 0", "origin 1 0 0", "origin 5 1440 0", "complete"}},
        {"extend ends every mirror", Mode::extend, {{1, panel}, {2, {.mirrors = 3}}, {3, {}}, {5, {.mirrors = 1}}}, false,
         {"begin", "mirror 2 0", "mirror 5 0", "origin 1 0 0", "origin 5 1440 0", "complete"}},
        {"extend without a built-in one", Mode::extend, {{2, {}}, {5, {.mirrors = 2}}}, false, {"begin", "mirror 5 0", "complete"}},
        {"extend: begin refused", Mode::extend, {{1, panel}, {5, {.mirrors = 1}}}, true, {"begin"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.settings.setMirrorMode(MirrorController::modeText(c.mode));
        rig.displays.displays = c.displays;
        rig.displays.refuseBegin = c.refuseBegin;
        rig.displays.screenList.push_back({"AS-TV", tvDisplay});
        rig.make(); // refreshDisplays finds it and applies the mode
        EXPECT_EQ(rig.displays.log, c.log) << c.name;
        rig.displays.log.clear();
        rig.scheduler.advance(1s); // the refreshes the change causes apply nothing more
        rig.mirror->applyMode();
        EXPECT_EQ(rig.displays.log, c.refuseBegin ? QStringList{"begin"} : QStringList{}) << c.name;
    }
}

TEST(MirrorController, SwitchingModeWhileMirroringReconfiguresOnce)
{
    Rig rig;
    auto& mirror = rig.make();
    rig.displays.plug(tvDisplay, {}, "AS-TV");
    rig.scheduler.advance(0ms);
    ASSERT_EQ(rig.displays.log, QStringList({"begin", "mirror 5 1", "complete"}));
    rig.displays.log.clear();
    mirror.setMode(Mode::extend);
    rig.scheduler.advance(1s);
    EXPECT_EQ(rig.displays.log, QStringList({"begin", "mirror 5 0", "origin 1 0 0", "origin 5 1440 0", "complete"}));
    EXPECT_EQ(rig.displays.displays[tvDisplay].x, 1440);
    rig.displays.log.clear();
    mirror.setMode(Mode::mirror);
    rig.scheduler.advance(1s);
    EXPECT_EQ(rig.displays.log, QStringList({"begin", "mirror 5 1", "complete"}));
}

TEST(MirrorController, DisplayChangesAreFollowedLaterAndNotAfterTheEnd)
{
    Rig rig;
    rig.make();
    rig.displays.plug(tvDisplay, {}, "AS-TV");
    rig.displays.notify();
    EXPECT_FALSE(rig.mirror->isMirroring()); // never inside the desktop's report
    EXPECT_EQ(rig.scheduler.pending(), 1u);  // a burst of reports is one refresh
    rig.scheduler.advance(0ms);
    EXPECT_TRUE(rig.mirror->isMirroring());
    rig.displays.unplug(tvDisplay);
    rig.scheduler.advance(0ms);
    EXPECT_FALSE(rig.mirror->isMirroring());
    rig.mirror.reset();
    EXPECT_FALSE(rig.displays.changed);
}

TEST(MirrorController, GoingAwayMidWorkflowLeavesNothingBehind)
{
    Rig rig;
    rig.make().setTvHost(tvHost);
    rig.receiverAppears();
    rig.selector.delay = 1s;
    rig.begin();
    rig.mirror.reset();
    rig.scheduler.advance(1min); // the selection answers into nothing
    EXPECT_EQ(rig.scheduler.pending(), 0u);
}
