#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UserInput.h"
#include "engine/wm/Overloaded.h"
#include "platform/sim/SimScheduler.h"
#include "platform/x11/input/X11Input.h"

using namespace tessaline;
using namespace tessaline::xtest;

namespace {

std::string describe(const InputEvent& event) {
    return std::visit(
        Overloaded{
            [](const MouseDown& e) {
                return "down " + std::to_string(int(e.point.x)) + "," + std::to_string(int(e.point.y));
            },
            [](const ModifiersChanged& e) { return "mods " + std::to_string(e.modifiers.rawValue); },
            [](const ScrollStepped& e) { return "stepped " + std::to_string(e.steps); },
            [](const MouseUp&) { return std::string("up"); },
            [](const PointerMoved&) { return std::string("moved"); },
            [](const KeyDown&) { return std::string("key"); },
            [](const auto&) { return std::string("other"); },
        },
        event);
}

using Lines = std::vector<std::string>;

// An application window over the whole screen that counts the wheel notches it gets.
struct App {
    Connection c{XServer::shared().display()};
    int wheel = 0;

    App() {
        c.onEvent([this](const xcb_generic_event_t& e) {
            if (eventType(e) != XCB_BUTTON_PRESS) return;
            auto detail = reinterpret_cast<const xcb_button_press_event_t&>(e).detail;
            if (detail >= 4 && detail <= 7) ++wheel;
        });
        xcb_window_t w = xcb_generate_id(c.get());
        std::uint32_t mask = XCB_EVENT_MASK_BUTTON_PRESS;
        xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, w, c.root(), 0, 0, c.screen()->width_in_pixels,
                          c.screen()->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, c.screen()->root_visual,
                          XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(c.get(), w);
        c.roundTrip();
    }
    int notches() {
        c.roundTrip();
        c.pump();
        return wheel;
    }
};

}  // namespace

TEST(X11InputTest, DeliversButtonsMovesKeysModifiersAndChordWheelStepsThatNeverReachTheApplication) {
    XServer::shared().setMonitors({});
    Connection wm(XServer::shared().display());
    UserInput user;
    App app;
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

    // The chord: the wheel steps the strip, and the application sees none of it.
    user.press(keys::control);
    user.press(keys::alt);
    EXPECT_EQ(pump(), (Lines{"mods 1", "mods 3"}));
    user.wheel(5);
    user.wheel(4);
    EXPECT_EQ(pump(), (Lines{"stepped 1", "stepped -1"}));
    EXPECT_EQ(app.notches(), 0);
    user.release(keys::alt);
    user.release(keys::control);
    EXPECT_EQ(pump(), (Lines{"mods 1", "mods 0"}));

    // Without it the wheel is the application's.
    user.wheel(5);
    EXPECT_EQ(pump(), Lines{});
    EXPECT_EQ(app.notches(), 1);

    input->warpPointer({300, 200});
    EXPECT_EQ(input->pointer(), (Point{300, 200}));

    // Stopped: nothing is delivered and nothing is held.
    input->stop();
    wm.roundTrip();
    user.press(keys::control);
    user.press(keys::alt);
    user.wheel(5);
    user.release(keys::alt);
    user.release(keys::control);
    EXPECT_EQ(pump(), Lines{});
    EXPECT_EQ(app.notches(), 2);
}
