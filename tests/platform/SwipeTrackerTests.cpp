#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/input/SwipeTracker.h"
#include "platform/input/TouchpadGeometry.h"

using namespace tessaline;

namespace {

std::string fixed(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

// Writes what the tracker reports as one line per callback.
struct Recorder {
    SwipeTracker tracker;
    std::vector<std::string> lines;

    Recorder() {
        tracker.onBegin = [this] { lines.push_back("begin"); };
        tracker.onChange = [this](double dx) { lines.push_back("move " + fixed(dx)); };
        tracker.onEnd = [this](double v) { lines.push_back("end " + fixed(v)); };
    }
    std::vector<std::string> take() { return std::exchange(lines, {}); }
};

using Lines = std::vector<std::string>;

}  // namespace

TEST(SwipeTrackerTest, DecidesOnceAfterTheThresholdThenFollowsAndMeasuresTheRelease) {
    Recorder r;
    r.tracker.began(3, 0.0);
    r.tracker.moved(0.010, 0.002, 0.01);
    r.tracker.moved(0.004, 0.002, 0.02);  // 0.014: still waiting
    EXPECT_EQ(r.take(), Lines{});

    r.tracker.moved(0.005, 0.000, 0.03);  // crossed: the whole travel so far
    EXPECT_EQ(r.take(), (Lines{"begin", "move 0.019"}));
    EXPECT_TRUE(r.tracker.isTracking());

    r.tracker.moved(0.02, 0.05, 0.20);  // vertical wobble after the decision is ignored
    r.tracker.moved(0.03, 0.00, 0.25);
    EXPECT_EQ(r.take(), (Lines{"move 0.020", "move 0.030"}));

    // Only movement of the last 0.08 s counts: (0.02 + 0.03) over 0.05 s.
    r.tracker.ended(0.25);
    EXPECT_EQ(r.take(), Lines{"end 1.000"});
    EXPECT_FALSE(r.tracker.isTracking());

    // A single late sample is measured over at least 0.03 s.
    r.tracker.began(3, 1.0);
    r.tracker.moved(0.03, 0.0, 1.01);
    r.tracker.ended(1.02);
    EXPECT_EQ(r.take(), (Lines{"begin", "move 0.030", "end 1.000"}));
}

TEST(SwipeTrackerTest, IgnoresDiagonalStartsOtherFingerCountsAndStaleReleases) {
    Recorder r;
    // Diagonal at the decision: nothing, even when it turns horizontal later.
    r.tracker.began(3, 0.0);
    r.tracker.moved(0.016, 0.014, 0.01);
    r.tracker.moved(0.2, 0.0, 0.02);
    r.tracker.ended(0.03);
    // Two fingers are scrolling, not swiping.
    r.tracker.began(2, 1.0);
    r.tracker.moved(0.2, 0.0, 1.01);
    r.tracker.ended(1.02);
    EXPECT_EQ(r.take(), Lines{});

    // A fourth finger ends a three-finger swipe at once; the four-finger
    // gesture that follows is not followed.
    r.tracker.began(3, 2.0);
    r.tracker.moved(-0.02, 0.0, 2.01);
    r.tracker.began(4, 2.05);
    r.tracker.moved(-0.2, 0.0, 2.06);
    EXPECT_EQ(r.take(), (Lines{"begin", "move -0.020", "end -0.500"}));

    // Fingers that rested for more than 0.08 s before lifting: velocity 0.
    r.tracker.began(3, 3.0);
    r.tracker.moved(0.05, 0.0, 3.01);
    r.tracker.ended(3.2);
    EXPECT_EQ(r.take(), (Lines{"begin", "move 0.050", "end 0.000"}));
}

TEST(TouchpadGeometryTest, MeasuresThePadFromAbsoluteAxesAndFallsBackOtherwise) {
    const DeviceAxis pad{0, 4000, 40'000, true};  // 40 units/mm: 100 mm
    struct Case {
        std::optional<DeviceAxis> x, y;
        TouchpadSize size;
    } cases[] = {
        {pad, DeviceAxis{100, 2700, 40'000, true}, {100, 65}},
        {DeviceAxis{0, 5200, 40'000, true}, std::nullopt, {130, 65}},
        {DeviceAxis{-1, -1, 0, false}, DeviceAxis{-1, -1, 0, false}, {100, 65}},  // libinput
        {DeviceAxis{0, 4000, 0, true}, pad, {100, 100}},                          // no resolution
        {DeviceAxis{0, 65535, 1, true}, pad, {100, 100}},                         // 65 km
    };
    for (const Case& c : cases) EXPECT_EQ(touchpadSize(c.x, c.y), c.size);

    // 1000 units of a 1000 dpi device are 25.4 mm.
    PadDelta d = padDelta({127, 50.8}, 1000, -1000);
    EXPECT_DOUBLE_EQ(d.dx, 0.2);
    EXPECT_DOUBLE_EQ(d.dy, -0.5);
}
