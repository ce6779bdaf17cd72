// Faults of the simulated desktop that the engine's stress runs ran into:
// states no real window system can be in, which made the engine look wrong.

#include <algorithm>

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

// A frame with a new size was given up on while the application refused
// writes; the engine's later frames for the window carried only positions
// (it had asked for that size already), so the size never arrived.
TEST_F(SimStressFindings, ASizeGivenUpOnIsWrittenWithTheNextFrame) {
    const ProcessID pid = connectedApp();
    const WindowID id = desk.openWindow(pid, "w", {100, 100, 800, 600});
    desk.setRefusesWrites(pid, true);
    writer->write(id, pid, desk.handleOf(id), {0, 30, 400, 400}, true);
    desk.advance(3.0);
    ASSERT_EQ(writer->pendingCount(), 0u);  // dropped after its retries
    desk.setRefusesWrites(pid, false);

    writer->write(id, pid, desk.handleOf(id), {200, 30, 400, 400}, false);
    desk.advance(0.5);
    EXPECT_EQ(desk.frameOf(id), (Rect{200, 30, 400, 400}));

    // Once the size has landed, positions go alone again.
    writer->write(id, pid, desk.handleOf(id), {300, 30, 400, 400}, false);
    desk.advance(0.5);
    ASSERT_FALSE(writer->history().empty());
    EXPECT_FALSE(writer->history().back().writeSize);
}

// A frame of the engine's was still waiting for a slow application when the
// user's drag ended and the engine noted where the window had been dropped.
// The old frame landed afterwards and threw the window off screen, while the
// engine believed it was where the user had left it.
TEST_F(SimStressFindings, AFrameNotedAsAppliedDropsTheOneStillWaiting) {
    const ProcessID pid = connectedApp();
    const WindowID id = desk.openWindow(pid, "w", {100, 100, 800, 600});
    desk.setLatency(pid, 0.3);
    writer->write(id, pid, desk.handleOf(id), {-700, 100, 800, 600}, false);
    desk.advance(0.01);
    writer->noteApplied(id, {100, 100, 800, 600});
    desk.advance(1.0);
    EXPECT_EQ(desk.frameOf(id), (Rect{100, 100, 800, 600}));
    EXPECT_EQ(writer->appliedFrame(id), (Rect{100, 100, 800, 600}));
}

// A window moved to a Space of a smaller display was fitted into it below
// its minimum size, without a resize notice. Pulled on screen when tiling
// stopped, it then grew back to its minimum and stuck out of the display.
TEST_F(SimStressFindings, AWindowMovedToASmallerDisplaysSpaceKeepsItsMinimumSize) {
    const ProcessID pid = connectedApp();
    const std::string small = desk.addDisplay(Rect{1440, 0, 800, 600}, "Small");
    const WindowID id = desk.openWindow(pid, "w", {100, 100, 1000, 700});
    desk.setMinSize(id, {1000, 300});
    desk.moveToSpace(id, desk.currentSpace(small));
    ASSERT_TRUE(desk.frameOf(id).has_value());
    EXPECT_GE(desk.frameOf(id)->width, 1000);
}

// Displays rearranged one at a time passed through arrangements no real
// rearrangement shows, and a display that moved left its windows behind,
// lying on another display while belonging to its Spaces.
TEST_F(SimStressFindings, ADisplayMovesWithItsWindowsAndARearrangementIsOneChange) {
    const std::string right = desk.addDisplay(Rect{1440, 0, 1440, 900}, "Right");
    const ProcessID pid = connectedApp();
    const WindowID onRight = desk.openWindow(pid, "r", {1500, 100, 800, 600});
    const WindowID onMain = desk.openWindow(pid, "m", {100, 100, 800, 600});
    events.clear();
    desk.arrangeDisplays({{desk.displays().front().uuid, Rect{1440, 0, 1440, 900}}, {right, Rect{0, 0, 1440, 900}}});
    desk.advance(0.1);
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const SystemEvent& e) { return std::holds_alternative<DisplaysChanged>(e); }),
              1);
    EXPECT_EQ(desk.frameOf(onRight), (Rect{60, 100, 800, 600}));
    EXPECT_EQ(desk.frameOf(onMain), (Rect{1540, 100, 800, 600}));
}
