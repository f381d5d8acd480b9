#include "app/RepeatAction.h"
#include "app/Touchpad.h"

#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace telvanto;
using namespace telvanto::app;
using namespace telvanto::testing;
using namespace std::chrono_literals;
using protocol::TVKey;

namespace {

std::string nameOf(TVKey key) { return std::string(protocol::tvKeyName(key)); }

// A pad of 420 x 300 in virtual time, played by a script of words:
//   X,Y   a pointer change (the first of a gesture is the press)   r   release
//   +MS   time passes                                               ?KEY  the lit key ("?-" none)
// It returns what the pad sent, as "MS:key" words.
struct PadRig {
    VirtualScheduler scheduler;
    core::TimePoint start = scheduler.now();
    std::vector<std::string> sent;
    Touchpad pad{scheduler, [this](TVKey key) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(scheduler.now() - start).count();
        sent.push_back(std::to_string(ms) + ":" + nameOf(key));
    }};

    std::string run(const std::string& script)
    {
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            if (w == "r") pad.released();
            else if (w[0] == '+') scheduler.advance(std::chrono::milliseconds(std::stoi(w.substr(1))));
            else if (w[0] == '?') EXPECT_EQ(pad.flashName().toStdString(), w == "?-" ? "" : w.substr(1)) << w;
            else pad.pointerMoved(std::stod(w), std::stod(w.substr(w.find(',') + 1)));
        }
        std::string out;
        for (const auto& s : sent) out += (out.empty() ? "" : " ") + s;
        return out;
    }
};

} // namespace

TEST(Touchpad, ZoneOfAPoint)
{
    const double nan = std::nan("");
    const struct {
        QSizeF size;
        QPointF point;
        TVKey zone;
    } cases[] = {
        {{420, 300}, {210, 150}, TVKey::center},
        {{420, 300}, {293.9, 150}, TVKey::center}, // the box reaches 84 points sideways...
        {{420, 300}, {294, 150}, TVKey::right},    // ...and no further
        {{420, 300}, {210, 209.9}, TVKey::center}, // 60 points up and down
        {{420, 300}, {210, 210}, TVKey::down},
        {{420, 300}, {210, 0}, TVKey::up},
        {{420, 300}, {0, 150}, TVKey::left},
        {{420, 300}, {420, 300}, TVKey::right}, // on a diagonal: horizontal
        {{420, 300}, {0, 0}, TVKey::left},
        {{420, 300}, {0, 300}, TVKey::left},
        {{420, 300}, {420, 0}, TVKey::right},
        {{420, 300}, {400, 20}, TVKey::right}, // |nx| 0.905 > |ny| 0.867
        {{420, 300}, {380, 10}, TVKey::up},    // |nx| 0.81 < |ny| 0.93
        {{420, 300}, {-50, 999}, TVKey::down}, // outside the pad, by its diagonals
        {{0, 0}, {400, 150}, TVKey::center},   // not laid out yet
        {{420, 0}, {400, 150}, TVKey::center},
        {{-5, 300}, {400, 150}, TVKey::center},
        {{420, 300}, {nan, 150}, TVKey::center},
        {{nan, nan}, {400, 150}, TVKey::center},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nameOf(Touchpad::zone(c.size, c.point)), nameOf(c.zone))
            << c.size.width() << "x" << c.size.height() << " at " << c.point.x() << "," << c.point.y();
}

TEST(Touchpad, GesturesSendShortPresses)
{
    const struct {
        const char* script;
        const char* sent;
    } cases[] = {
        // taps
        {"210,150 +1000 r", "1000:center"},        // centre: once, on release, however long held
        {"400,150 +200 r", "200:right"},           // an edge released before the first repeat
        {"210,10 r", "0:up"},
        {"210,150 r 400,150 r +1000", "0:center 0:right"}, // each gesture on its own
        // hold repeat: 0.38 s, then every 0.11 s, nothing on release
        {"400,150 +1000 r +1000", "380:right 490:right 600:right 710:right 820:right 930:right"},
        {"400,150 +380 r", "380:right"},
        {"400,150 +379 r", "379:right"},
        {"10,150 +500 r", "380:left 490:left"},
        // drag steps of 34 points, inclusive
        {"210,150 243,150 r", "0:center"}, // 33: no step, the tap of where it began
        {"210,150 244,150 r", "0:right"},  // 34: one step, no tap
        {"210,150 210,116 r", "0:up"},
        {"210,150 176,150 +1000 r", "0:left"},
        {"210,150 250,190", "0:right"},          // equal travel: horizontal
        {"210,150 220,200 220,217 r", "0:down"}, // sideways drift forgotten: origin (220,184)
        {"210,150 220,200 220,218 r", "0:down 0:down"},
        // one event, several steps along the first step's axis; origin left at (68,50)
        {"0,0 100,50", "0:right 0:right"},
        {"0,0 100,50 101,50", "0:right 0:right"},
        {"0,0 100,50 102,50", "0:right 0:right 0:right"},
        {"0,0 100,50 68,84", "0:right 0:right 0:down"},
        // a step ends the hold repeat; the gesture then sends nothing more
        {"400,150 +500 366,150 +1000 r", "380:right 490:right 500:left"},
        {"400,150 +100 400,184 +1000 r", "100:down"},
        {"400,150 +100 390,150 +1000 r", "380:right 490:right 600:right 710:right 820:right 930:right 1040:right"},
    };
    for (const auto& c : cases) {
        PadRig rig;
        rig.pad.setSize({420, 300});
        EXPECT_EQ(rig.run(c.script), c.sent) << c.script;
    }
}

TEST(Touchpad, NotLaidOutEveryPressIsTheCentre)
{
    PadRig rig;
    EXPECT_EQ(rig.run("400,150 +1000 r"), "1000:center");
}

TEST(Touchpad, FlashLightsTheSentKeyFor150ms)
{
    const char* scripts[] = {
        "?- 400,150 r ?right +149 ?right +1 ?-",
        "210,150 +10 ?- r ?center +150 ?-",                // lit when sent, not at the press
        "400,150 r +100 10,150 r ?left +50 ?left +100 ?-", // the first reset leaves the other key
        "400,150 r +100 400,150 r ?right +50 ?- ",         // the same key: the first reset clears it
        // holding: each reset clears the key that its successor lit again, as it is the same key
        "400,150 +380 ?right +110 ?right +149 ?right +1 ?- r +150 ?-",
    };
    for (const char* script : scripts) {
        PadRig rig;
        rig.pad.setSize({420, 300});
        rig.run(script);
        if (HasFailure()) ADD_FAILURE() << script;
    }
}

// A held round button: "p" press at (0,0), "X,Y" pointer moves, "r" release, "+MS" time passes.
TEST(RepeatAction, RepeatsWhileHeld)
{
    const struct {
        const char* script;
        const char* fired; // at these milliseconds
    } cases[] = {
        {"p +100 r +1000", "0"},
        {"p +399 r +1000", "0"},
        {"p +999 r +1000", "0 400 550 700 850"},
        {"p +400 r", "0 400"},
        {"p +500 5,5 7,-7 +499 r", "0 400 550 700 850"}, // within 10 points
        {"p +500 10,0 +499 r", "0 400 550 700 850"},      // exactly 10: still held
        {"p +500 10.1,0 +1000 r", "0 400"},              // beyond: the repeat stops
        {"p +500 8,8 +1000", "0 400"},                   // 11.3 diagonally
        {"p +200 r +100 p +500 r", "0 300 700"},         // a new press starts afresh
        {"p +200 p +500 r", "0 200 600"},                 // a second press without release too
        {"r 5,5 +1000", ""},
    };
    for (const auto& c : cases) {
        VirtualScheduler scheduler;
        const auto start = scheduler.now();
        std::string fired;
        RepeatAction action(scheduler, [&] {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(scheduler.now() - start).count();
            fired += (fired.empty() ? "" : " ") + std::to_string(ms);
        });
        std::istringstream words(c.script);
        for (std::string w; words >> w;) {
            if (w == "p") action.press(0, 0);
            else if (w == "r") action.release();
            else if (w[0] == '+') scheduler.advance(std::chrono::milliseconds(std::stoi(w.substr(1))));
            else action.move(std::stod(w), std::stod(w.substr(w.find(',') + 1)));
        }
        EXPECT_EQ(fired, c.fired) << c.script;
        EXPECT_EQ(action.pressing(), scheduler.pending() > 0) << c.script;
    }
}
