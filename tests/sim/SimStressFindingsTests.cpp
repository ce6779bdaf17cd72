// Faults of the simulated desktop that the engine's stress runs ran into:
// states no real window system can be in, which made the engine look wrong.

#include "SimTestSupport.h"

using namespace tessaline;
using tessaline::testing::SimDesktopTest;

namespace {
using SimStressFindings = SimDesktopTest;
}

// A window whose minimum size grew while it was full screen came back from
// full screen smaller than that minimum; releasing it onto a display then
// pushed its right edge off the display as it grew.
TEST_F(SimStressFindings, MinimumSizeSetDuringFullScreenHoldsWhenItLeaves) {
    const ProcessID pid = connectedApp();
    const WindowID id = desk.openWindow(pid, "film", {100, 100, 640, 480});
    desk.setFullScreen(id, true);
    desk.setMinSize(id, {900, 500});
    desk.setFullScreen(id, false);
    EXPECT_EQ(desk.frameOf(id), (Rect{100, 100, 900, 500}));

    system->releaseAll({{desk.handleOf(id), pid, Rect{0, 25, 1440, 875}}}, 1.5);
    const Rect released = *desk.frameOf(id);
    EXPECT_LE(released.maxX(), 1440);
}
