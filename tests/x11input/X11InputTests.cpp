#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestConnection.h"
#include "XvfbServer.h"
#include "engine/wm/Overloaded.h"
#include "platform/sim/SimScheduler.h"
#include "platform/x11/input/X11Input.h"

using namespace tessaline;
using namespace tessaline::xinputtest;

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
    TestConnection c;
    int wheel = 0;

    explicit App(const std::string& display) : c(display) {
        xcb_window_t w = xcb_generate_id(c.get());
        xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data;
        std::uint32_t mask = XCB_EVENT_MASK_BUTTON_PRESS;
        xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, w, s->root, 0, 0, s->width_in_pixels,
                          s->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                          XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(c.get(), w);
        c.roundTrip();
    }
    int notches() {
        c.drain([&](const xcb_generic_event_t& e) {
            if ((e.response_type & 0x7f) != XCB_BUTTON_PRESS) return;
            auto detail = reinterpret_cast<const xcb_button_press_event_t&>(e).detail;
            if (detail >= 4 && detail <= 7) ++wheel;
        });
        return wheel;
    }
};

}  // namespace

TEST(X11InputTest, DeliversButtonsMovesKeysModifiersAndChordWheelStepsThatNeverReachTheApplication) {
    const std::string& display = xvfbDisplay();
    TestConnection wm(display), user(display);
    App app(display);
    SimScheduler scheduler;
    std::string error;
    auto input = X11Input::create(wm.get(), wm.root(), scheduler, error);
    ASSERT_TRUE(input) << error;

    Lines lines;
    input->start([&](const InputEvent& e) { lines.push_back(describe(e)); });
    input->configure({.swipeFingers = 3, .pointerMoves = true, .chordScroll = true});
    wm.roundTrip();  // the manager's loop flushes after every turn
    EXPECT_FALSE(input->swipeAvailable());  // Xvfb has no touchpad
    EXPECT_NE(input->swipeProblem(), "");
    auto pump = [&] {
        user.roundTrip();
        wm.drain([&](const xcb_generic_event_t& e) { input->handleEvent(e); });
        wm.roundTrip();  // as the manager's loop flushes after every turn
        return std::exchange(lines, {});
    };

    user.moveTo(100, 120);
    user.button(1, true);
    EXPECT_EQ(pump(), (Lines{"moved", "down 100,120"}));
    EXPECT_EQ(input->pressedButtons(), 1);
    user.button(3, true);
    user.button(1, false);
    EXPECT_EQ(pump(), (Lines{"down 100,120", "up"}));
    EXPECT_EQ(input->pressedButtons(), 2);
    user.button(3, false);

    user.chord({38});  // keys count only while watched
    EXPECT_EQ(pump(), Lines{});
    input->watchKeys(true);
    user.chord({38});
    EXPECT_EQ(pump(), Lines{"key"});
    input->watchKeys(false);

    // The chord: the wheel steps the strip, and the application sees none of it.
    user.key(37, true);
    user.key(64, true);
    EXPECT_EQ(pump(), (Lines{"mods 1", "mods 3"}));
    user.button(5, true);
    user.button(5, false);
    user.button(4, true);
    user.button(4, false);
    EXPECT_EQ(pump(), (Lines{"stepped 1", "stepped -1"}));
    EXPECT_EQ(app.notches(), 0);
    user.key(64, false);
    user.key(37, false);
    EXPECT_EQ(pump(), (Lines{"mods 1", "mods 0"}));

    // Without it the wheel is the application's.
    user.button(5, true);
    user.button(5, false);
    EXPECT_EQ(pump(), Lines{});
    EXPECT_EQ(app.notches(), 1);

    input->warpPointer({300, 200});
    EXPECT_EQ(input->pointer(), (Point{300, 200}));

    // Stopped: nothing is delivered and nothing is held.
    input->stop();
    wm.roundTrip();
    user.key(37, true);
    user.key(64, true);
    user.button(5, true);
    user.button(5, false);
    user.key(64, false);
    user.key(37, false);
    EXPECT_EQ(pump(), Lines{});
    EXPECT_EQ(app.notches(), 2);
}
