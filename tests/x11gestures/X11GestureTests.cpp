#include <gtest/gtest.h>
#include <xcb/xinput.h>

#include <string>

#include "UserInput.h"
#include "XorgServer.h"
#include "platform/sim/SimScheduler.h"
#include "platform/x11/input/X11Input.h"
#include "tests/platform/InputLines.h"

using namespace tessaline;
using namespace tessaline::xinputtest;
using tessaline::testing::describe;
using tessaline::testing::Lines;
using tessaline::xtest::Connection;
using tessaline::xtest::UserInput;
namespace keys = tessaline::xtest::keys;

namespace {

// An XInput 2.4 application over the whole screen that counts the swipes and
// the smooth scrolling it receives.
struct App {
    Connection c;
    int swipes = 0;
    int scrolls = 0;

    explicit App(const std::string& display) : c(display) {
        c.onEvent([this](const xcb_generic_event_t& e) {
            if ((e.response_type & 0x7f) != XCB_GE_GENERIC) return;
            auto type = reinterpret_cast<const xcb_ge_generic_event_t&>(e).event_type;
            if (type == XCB_INPUT_GESTURE_SWIPE_BEGIN) ++swipes;
            if (type == XCB_INPUT_MOTION) ++scrolls;
        });
        std::free(xcb_input_xi_query_version_reply(c.get(), xcb_input_xi_query_version(c.get(), 2, 4),
                                                   nullptr));
        xcb_screen_t* s = c.screen();
        xcb_window_t w = xcb_generate_id(c.get());
        xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, w, s->root, 0, 0, s->width_in_pixels,
                          s->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, 0,
                          nullptr);
        // Swipe events are selected all three together, or not at all.
        struct {
            xcb_input_event_mask_t head;
            std::uint32_t bits[2];
        } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 2},
               {XCB_INPUT_XI_EVENT_MASK_MOTION | (1u << XCB_INPUT_GESTURE_SWIPE_BEGIN) |
                    (1u << XCB_INPUT_GESTURE_SWIPE_UPDATE),
                1u << (XCB_INPUT_GESTURE_SWIPE_END - 32)}};
        xcb_input_xi_select_events(c.get(), w, 1, &mask.head);
        xcb_map_window(c.get(), w);
        c.roundTrip();
    }
    void count() {
        c.roundTrip();
        c.pump();
    }
};

constexpr int verticalScroll = 3;

}  // namespace

TEST(X11GestureTest, SwipesOfTheChosenFingerCountAndChordScrollingAreOursAndTheRestReachesTheApplication) {
    std::string why;
    auto server = XorgServer::start(why);
    if (!server) GTEST_SKIP() << why;
    Connection wm(server->display());
    UserInput user(server->display());
    App app(server->display());
    SimScheduler scheduler;
    std::string error;
    auto input = X11Input::create(wm.get(), wm.root(), scheduler, error);
    ASSERT_TRUE(input) << error;
    wm.onEvent([&](const xcb_generic_event_t& e) { input->handleEvent(e); });
    Lines lines;
    input->start([&](const InputEvent& e) { lines.push_back(describe(e)); });
    input->configure({.swipeFingers = 3, .pointerMoves = false, .chordScroll = true});
    wm.roundTrip();
    ASSERT_TRUE(input->swipeAvailable()) << input->swipeProblem();

    auto pump = [&] {
        server->touchpad().sync();
        server->mouse().sync();
        // Twice: a swipe's start holds the device until the first turn's
        // answer (keep or replay) reaches the server.
        for (int turn = 0; turn < 2; ++turn) {
            wm.roundTrip();
            wm.pump();
        }
        wm.roundTrip();
        app.count();
        return std::exchange(lines, {});
    };
    auto swipe = [&](int fingers) {
        server->touchpad().swipe(XCB_INPUT_GESTURE_SWIPE_BEGIN, fingers, 0, 0);
        for (int i = 0; i < 3; ++i) server->touchpad().swipe(XCB_INPUT_GESTURE_SWIPE_UPDATE, fingers, 100, 10);
        server->touchpad().swipe(XCB_INPUT_GESTURE_SWIPE_END, fingers, 0, 0);
        return pump();
    };

    // 100 units of 1/1000 inch on a pad taken as 100 mm wide.
    EXPECT_EQ(swipe(3), (Lines{"swipe began", "swipe 0.0254", "swipe 0.0254", "swipe 0.0254", "swipe ended"}));
    EXPECT_EQ(app.swipes, 0);
    EXPECT_EQ(swipe(4), Lines{});
    EXPECT_EQ(app.swipes, 1);

    // Two fingers under the chord move the strip; letting go of the chord
    // mid-gesture keeps it ours until the fingers rest.
    user.press(keys::control);
    user.press(keys::alt);
    EXPECT_EQ(pump(), (Lines{"mods 1", "mods 3"}));
    server->touchpad().scroll(verticalScroll, 60);
    user.release(keys::alt);
    user.release(keys::control);
    EXPECT_EQ(pump(), (Lines{"scroll began", "scroll -7.5", "mods 1", "mods 0"}));
    server->touchpad().scroll(verticalScroll, 60);
    EXPECT_EQ(pump(), Lines{"scroll -7.5"});
    scheduler.advance(0.2);
    EXPECT_EQ(pump(), Lines{"scroll ended 0"});
    EXPECT_EQ(app.scrolls, 0);

    server->touchpad().scroll(verticalScroll, 60);
    EXPECT_EQ(pump(), Lines{});
    EXPECT_EQ(app.scrolls, 1);
    scheduler.advance(0.2);

    // A mouse wheel under the chord steps; the application sees nothing.
    user.press(keys::control);
    user.press(keys::alt);
    pump();
    server->mouse().scroll(verticalScroll, 120);
    server->mouse().scroll(verticalScroll, -60);
    server->mouse().scroll(verticalScroll, -60);
    EXPECT_EQ(pump(), (Lines{"stepped 1", "stepped -1"}));
    user.release(keys::alt);
    user.release(keys::control);
    pump();
    EXPECT_EQ(app.scrolls, 1);
}
