#include <gtest/gtest.h>

#include "platform/input/ScrollTap.h"
#include "platform/sim/SimScheduler.h"
#include "tests/platform/InputLines.h"

using namespace tessaline;
using namespace tessaline::testing;

namespace {

struct ScrollTapTest : ::testing::Test {
    SimScheduler clock;
    ScrollTap tap{clock};
    Lines lines;

    const Modifiers chord = Modifiers::control | Modifiers::option;
    const Modifiers none{};

    void SetUp() override {
        tap.onEvent = [this](const InputEvent& e) { lines.push_back(describe(e)); };
        tap.onCapture = [this](bool on) { lines.push_back(on ? "capture" : "release"); };
    }
    Lines take() { return std::exchange(lines, {}); }
};

}  // namespace

TEST_F(ScrollTapTest, WheelNotchesUnderTheChordBecomeStepsAndATouchpadGestureIsCapturedAtItsStartUntilAPause) {
    EXPECT_FALSE(tap.wheel(1, none));
    EXPECT_FALSE(tap.wheel(1, Modifiers::control));
    EXPECT_TRUE(tap.wheel(0.4, chord | Modifiers::shift));
    EXPECT_EQ(take(), Lines{});
    EXPECT_TRUE(tap.wheel(0.7, chord));  // one step, 0.1 kept
    EXPECT_TRUE(tap.wheel(0.9, chord));  // and it counts with the next notch
    EXPECT_EQ(take(), (Lines{"stepped -1", "stepped -1"}));

    EXPECT_TRUE(tap.wheel(-2.5, chord));  // a fast wheel: two steps at once
    EXPECT_EQ(take(), Lines{"stepped 2"});
    EXPECT_FALSE(tap.wheel(-0.25, none));  // the leftover half is gone with the chord
    EXPECT_TRUE(tap.wheel(-0.75, chord));
    EXPECT_EQ(take(), Lines{});

    // Captured at its first sample; the dominant axis is what moves the strip.
    EXPECT_TRUE(tap.smooth(2, 1, chord));
    clock.advance(0.02);
    EXPECT_TRUE(tap.smooth(-1, 2, none));  // letting go mid-gesture keeps it ours
    clock.advance(0.02);
    EXPECT_TRUE(tap.smooth(2, 0, none));
    clock.advance(0.099);
    EXPECT_EQ(take(), (Lines{"capture", "scroll began", "scroll 2", "scroll 2", "scroll 2"}));

    clock.advance(0.001);  // 0.1 s after the last sample: 6 points over 0.04 s
    EXPECT_EQ(take(), (Lines{"scroll ended 150", "release"}));
    EXPECT_FALSE(tap.owning());

    // Started without the chord: the application's, chord or not.
    EXPECT_FALSE(tap.smooth(0, 3, none));
    clock.advance(0.05);
    EXPECT_FALSE(tap.smooth(0, 3, chord));
    clock.advance(0.2);
    EXPECT_EQ(take(), Lines{});

    // The next gesture is decided afresh; a single sample has no speed.
    EXPECT_TRUE(tap.smooth(0, -4, chord));
    clock.advance(0.2);
    EXPECT_EQ(take(), (Lines{"capture", "scroll began", "scroll -4", "scroll ended 0", "release"}));

    // Turning chord scrolling off mid-gesture lets go without ending it.
    EXPECT_TRUE(tap.smooth(1, 0, chord));
    tap.reset();
    clock.advance(0.2);
    EXPECT_EQ(take(), (Lines{"capture", "scroll began", "scroll 1", "release"}));
    EXPECT_EQ(clock.pendingCount(), 0u);
}

