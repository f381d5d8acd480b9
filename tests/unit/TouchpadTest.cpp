#include "app/RepeatAction.h"
#include "app/Touchpad.h"

#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace telvanto;
using namespace telvanto::app;

namespace {

// The pad (420 x 300 unless told) and a held round button in virtual time, played by words:
//   X,Y  a pointer change (on the pad the first of a gesture is the press)   WxH  the pad's size
//   p    the button pressed at 0,0    r  release    +MS  time passes    ?KEY  the lit key ("?-" none)
// run() returns what was sent: "MS:key" from the pad, "MS" from the button.
struct Rig {
    telvanto::testing::VirtualScheduler scheduler;
    const core::TimePoint start = scheduler.now();
    std::string sent;
    void note(const std::string& what)
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(scheduler.now() - start).count();
        sent += (sent.empty() ? "" : " ") + std::to_string(ms) + what;
    }
    Touchpad pad{scheduler, [this](protocol::TVKey key) { note(":" + std::string(protocol::tvKeyName(key))); }};
    RepeatAction button{scheduler, [this] { note(""); }};

    std::string run(const std::string& script, bool onButton = false)
    {
        std::istringstream words("420x300 " + script);
        for (std::string w; words >> w;) {
            const std::size_t comma = w.find_first_of(",x");
            const double x = std::atof(w.c_str()), y = comma == std::string::npos ? 0 : std::atof(w.c_str() + comma + 1);
            if (w == "p") button.press(0, 0);
            else if (w == "r") onButton ? button.release() : pad.released();
            else if (w[0] == '+') scheduler.advance(std::chrono::milliseconds(std::stoi(w.substr(1))));
            else if (w[0] == '?') EXPECT_EQ(pad.flashName().toStdString(), w.substr(w == "?-" ? 2 : 1)) << script;
            else if (w.find('x') != std::string::npos) pad.setSize({x, y});
            else if (onButton) button.move(x, y);
            else pad.pointerMoved(x, y);
        }
        return sent;
    }
};

} // namespace

TEST(Touchpad, GesturesSendShortPresses)
{
    const struct { const char* script; const char* sent; } cases[] = {
        // zones: a centre box of 0.4 of each half (84 x 60 points), the rest split by the diagonals
        {"210,150 r", "0:center"}, {"293.9,150 r", "0:center"}, {"294,150 r", "0:right"},
        {"210,209.9 r", "0:center"}, {"210,210 r", "0:down"}, {"210,0 r", "0:up"}, {"0,150 r", "0:left"},
        {"420,300 r", "0:right"}, {"0,300 r", "0:left"}, {"380,10 r", "0:up"}, // on a diagonal: horizontal; the pad's, not a square's
        // not laid out: all centre, a tap once on release however long held; no position
        {"0x0 400,150 +1000 r", "1000:center"}, {"420x0 400,150 r", "0:center"}, {"nan,150 r", ""},
        // hold repeat: 0.38 s, then every 0.11 s, nothing on release
        {"400,150 +1000 r +1000", "380:right 490:right 600:right 710:right 820:right 930:right"},
        {"400,150 +380 r", "380:right"}, {"400,150 +379 r", "379:right"},
        // drag steps of 34 points, inclusive
        {"210,150 243,150 r", "0:center"}, {"210,150 244,150 r", "0:right"}, {"210,150 210,116 r", "0:up"},
        {"210,150 176,150 +1000 r", "0:left"}, {"210,150 250,190", "0:right"}, // equal travel: horizontal
        {"210,150 230,200 250,210 r", "0:down"}, // sideways drift forgotten: origin (230,184)
        // one event, several steps along the first step's axis; origin left at (68,50)
        {"0,0 100,50 101,50", "0:right 0:right"}, {"0,0 100,50 102,50", "0:right 0:right 0:right"},
        {"0,0 100,50 68,84", "0:right 0:right 0:down"},
        // a step ends the hold repeat; the gesture then sends nothing more
        {"400,150 +500 366,150 +1000 r", "380:right 490:right 500:left"},
        {"400,150 +100 390,150 +1000 r", "380:right 490:right 600:right 710:right 820:right 930:right 1040:right"},
        // the lit key: from the send for 150 ms; a reset leaves another key standing
        {"?- 400,150 r ?right +149 ?right +1 ?-", "0:right"},
        {"210,150 +10 ?- r ?center +150 ?-", "10:center"},
        {"400,150 r +100 10,150 r ?left +50 ?left +100 ?-", "0:right 100:left"},
        {"400,150 +380 ?right +110 ?right +149 ?right +1 ?- r +150 ?-", "380:right 490:right 600:right"},
    };
    for (const auto& c : cases) EXPECT_EQ(Rig().run(c.script), c.sent) << c.script;
}

// A held round button fires at once, after 0.4 s, then every 0.15 s, while within 10 points.
TEST(RepeatAction, RepeatsWhileHeld)
{
    const struct { const char* script; const char* fired; } cases[] = {
        {"p +399 r +1000", "0"}, {"p +400 r", "0 400"}, {"p +999 r +1000", "0 400 550 700 850"},
        {"p +500 10,0 +499 r", "0 400 550 700 850"}, {"p +500 10.1,0 +1000 r", "0 400"}, {"p +500 8,8 +1000", "0 400"}, // 11.3 away
        {"p +200 r +100 p +500 r", "0 300 700"}, {"p +200 p +500 r", "0 200 600"}, {"r 5,5 +1000", ""},
    };
    for (const auto& c : cases) {
        Rig rig;
        EXPECT_EQ(rig.run(c.script, true), c.fired) << c.script;
        EXPECT_EQ(rig.button.pressing(), rig.scheduler.pending() > 0) << c.script;
    }
}
