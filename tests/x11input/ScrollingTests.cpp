// The wheel and the chord on the real manager: with control and option held
// the wheel steps the strip and the application under the pointer sees
// nothing; without them the wheel is the application's. A tap of the chord
// pins the timeline, a hold only peeks.

#include "WithInput.h"

using namespace tessaline;
using namespace tessaline::xtest;

namespace {

// A client that also hears its button presses.
ClientBuilder listening() {
    return ClientBuilder().beforeMap([](TestClient& c) {
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE |
                              XCB_EVENT_MASK_BUTTON_PRESS;
        xcb_change_window_attributes(c.connection().get(), c.window(), XCB_CW_EVENT_MASK, &mask);
    });
}

int wheelNotches(TestClient& client) {
    int notches = 0;
    while (client.connection().take([](const xcb_generic_event_t& e) {
        return eventType(e) == XCB_BUTTON_PRESS &&
               reinterpret_cast<const xcb_button_press_event_t&>(e).detail >= 4;
    }))
        ++notches;
    return notches;
}

}  // namespace

TEST_F(WithInput, TheChordWheelStepsTheStripAPlainWheelReachesTheWindowAndAChordTapPinsTheTimeline) {
    wm.start();
    for (const char* title : {"a", "b", "c"}) open(title, listening());
    TestClient& c = client("c");
    const Rect under = *c.geometry();
    user.moveTo(under.x + 100, under.y + 100);

    user.wheel(5);
    wm.sync();
    EXPECT_EQ(wheelNotches(c), 1);
    EXPECT_EQ(layout(), "a b c*");

    // Each notch moves the strip's focus a column at once; the keyboard
    // follows once the wheel rests.
    user.press(keys::control);
    user.press(keys::alt);
    wm.sync();  // the manager has seen the chord
    user.wheel(4);
    user.wheel(4);
    wm.sync();
    EXPECT_EQ(state()["strips"][0]["focused"], 0);
    user.wheel(5);
    user.release(keys::alt);
    user.release(keys::control);
    waitFor("the focus to follow the wheel", [&] { return active() == client("b").window(); });
    EXPECT_EQ(layout(), "a b* c");
    EXPECT_EQ(wheelNotches(c) + wheelNotches(client("b")), 0) << "the chord's wheel is Tessaline's";

    // A tap of the chord pins the timeline until Escape; a hold only peeks.
    user.chord({keys::control, keys::alt});
    wm.sync();
    EXPECT_EQ(state()["timeline"]["mode"], "pinned");
    user.chord({keys::escape});
    wm.sync();
    EXPECT_EQ(state()["timeline"]["mode"], "off") << "Escape is lent to the pinned timeline";
    user.press(keys::control);
    user.press(keys::alt);
    wm.sync();
    EXPECT_EQ(state()["timeline"]["mode"], "peek");
    user.press(keys::shift);  // not a tap any more
    user.release(keys::shift);
    user.release(keys::alt);
    user.release(keys::control);
    wm.sync();
    EXPECT_EQ(state()["timeline"]["mode"], "off");
}
