#include <gtest/gtest.h>

#include "WithInput.h"
#include "platform/sim/SimScheduler.h"
#include "platform/x11/input/X11Input.h"
#include "tests/platform/InputLines.h"

using namespace tessaline;
using namespace tessaline::xtest;
using tessaline::testing::describe;
using tessaline::testing::Lines;

TEST(X11InputTest, DeliversButtonsMovesWatchedKeysAndModifiersUntilStopped) {
    XServer::shared().setMonitors({});
    Connection wm(XServer::shared().display());
    UserInput user;
    SimScheduler scheduler;
    std::string error;
    auto input = X11Input::create(wm.get(), wm.root(), scheduler, error);
    ASSERT_TRUE(input) << error;
    wm.onEvent([&](const xcb_generic_event_t& e) { input->handleEvent(e); });

    Lines lines;
    input->start([&](const InputEvent& e) { lines.push_back(describe(e)); });
    input->configure({.swipeFingers = 3, .pointerMoves = true, .chordScroll = true});
    wm.roundTrip();  // the manager's loop flushes after every turn
    EXPECT_FALSE(input->swipeAvailable());  // Xvfb has no touchpad
    EXPECT_NE(input->swipeProblem(), "");
    auto pump = [&] {
        wm.roundTrip();
        wm.pump();
        wm.roundTrip();  // as the manager's loop flushes after every turn
        return std::exchange(lines, {});
    };

    user.moveTo(100, 120);
    user.buttonDown(1);
    EXPECT_EQ(pump(), (Lines{"moved", "down 100,120"}));
    EXPECT_EQ(input->pressedButtons(), 1);
    user.buttonDown(3);
    user.buttonUp(1);
    EXPECT_EQ(pump(), (Lines{"down 100,120", "up"}));
    EXPECT_EQ(input->pressedButtons(), 2);
    user.buttonUp(3);

    user.chord({38});  // keys count only while watched
    EXPECT_EQ(pump(), Lines{});
    input->watchKeys(true);
    user.chord({38});
    EXPECT_EQ(pump(), Lines{"key"});
    input->watchKeys(false);

    user.press(keys::control);
    user.press(keys::alt);
    EXPECT_EQ(pump(), (Lines{"mods 1", "mods 3"}));
    EXPECT_FALSE(inputIsFree()) << "the chord holds the pointer for the wheel";
    user.release(keys::alt);
    user.release(keys::control);
    EXPECT_EQ(pump(), (Lines{"mods 1", "mods 0"}));

    input->warpPointer({300, 200});
    EXPECT_EQ(input->pointer(), (tessaline::Point{300, 200}));

    // Stopped: nothing is delivered and nothing is held, the chord's grab included.
    input->stop();
    wm.roundTrip();
    user.press(keys::control);
    user.press(keys::alt);
    user.moveTo(10, 10);
    EXPECT_EQ(pump(), Lines{});
    EXPECT_TRUE(inputIsFree());
    user.release(keys::alt);
    user.release(keys::control);
}
