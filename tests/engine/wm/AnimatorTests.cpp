#include "engine/wm/Animator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "platform/sim/SimScheduler.h"
#include "tests/core/StripText.h"

namespace tessaline {
namespace {

constexpr double kFrame = 1.0 / SimScheduler::kFramesPerSecond;

struct Sent {
    WindowID id;
    Rect frame;
    bool writeSize;
    friend bool operator==(const Sent&, const Sent&) = default;
    friend void PrintTo(const Sent& s, std::ostream* out) {
        *out << s.id << " to ";
        tessaline::PrintTo(s.frame, out);
        *out << (s.writeSize ? " with size" : "");
    }
};

class AnimatorTest : public ::testing::Test {
protected:
    SimScheduler scheduler;
    std::unique_ptr<Animator> animator = std::make_unique<Animator>(scheduler);
    std::vector<Sent> sent;
    int batches = 0;

    AnimatorTest() {
        animator->send = [this](WindowID id, Rect frame, bool writeSize) { sent.push_back({id, frame, writeSize}); };
        animator->onFrame = [this] { ++batches; };
    }
    // Places a window without animation and forgets the write it caused.
    void place(WindowID id, Rect frame) {
        animator->move({{id, frame}}, false, 0);
        sent.clear();
        batches = 0;
    }
    // Runs exactly the next display refresh, wherever the clock stands.
    void nextFrame() { scheduler.advanceTo(*scheduler.nextDue()); }
    int sizeWrites() const {
        int count = 0;
        for (const auto& s : sent) count += s.writeSize ? 1 : 0;
        return count;
    }
};

TEST(AnimatorEasing, TheGlideHitsKnownPointsAndTheFollowFactorIsCapped) {
    const Animator::Flight flight{{0, 0, 800, 600}, {1000, 0, 800, 600}, 0, 0.3};
    EXPECT_EQ(Animator::frameAt(flight, 0.15), (Rect{864, 0, 800, 600}));
    EXPECT_EQ(std::round(1000 * (1 - 4.5 * std::exp(-3.5))), 864);
    EXPECT_EQ(Animator::frameAt(flight, 0.3), (Rect{1000, 0, 800, 600}));
    EXPECT_EQ(Animator::frameAt(flight, 5), (Rect{1000, 0, 800, 600}));
    EXPECT_EQ(Animator::frameAt(flight, 0), (Rect{0, 0, 800, 600}));
    // Frames carry the target size; before the start the origin is the rounded `from`.
    EXPECT_EQ(Animator::frameAt({{-2.5, 2.5, 100, 100}, {500, 500, 300, 200}, 1, 0.3}, 0.5), (Rect{-3, 3, 300, 200}));

    EXPECT_EQ(Animator::followFactor(0), 0);
    EXPECT_EQ(Animator::followFactor(-0.1), 0);
    EXPECT_NEAR(Animator::followFactor(0.016), 0.59, 0.005);  // about 59 % per 16 ms
    EXPECT_NEAR(Animator::followFactor(0.05), 0.9378234759778837, 1e-15);
    EXPECT_EQ(Animator::followFactor(0.0501), 0.9378234759778837);
    EXPECT_EQ(Animator::followFactor(3), 0.9378234759778837);
}

TEST_F(AnimatorTest, NewWindowsAndJumpsAreSentAtOnceWithTheSizeOnlyWhenItChanges) {
    animator->move({{1, {10, 20, 300, 400}}}, true, 0.3);  // new: whole, even when animated
    EXPECT_EQ(sent, (std::vector<Sent>{{1, {10, 20, 300, 400}, true}}));
    EXPECT_FALSE(animator->isMoving(1));
    EXPECT_FALSE(animator->isTicking());
    EXPECT_EQ(batches, 1);

    place(1, {0, 0, 300, 400});
    animator->move({{1, {500, 0, 300, 400}}}, true, 0);  // animated with no duration is a jump
    EXPECT_EQ(sent, (std::vector<Sent>{{1, {500, 0, 300, 400}, false}}));
    sent.clear();
    animator->move({{1, {500, 0, 600, 400}}}, true, 0.3);  // only the size: resized in place
    EXPECT_EQ(sent, (std::vector<Sent>{{1, {500, 0, 600, 400}, true}}));
    EXPECT_FALSE(animator->isMoving(1));
    EXPECT_FALSE(animator->isTicking());

    // Unchanged frames are not sent again, but the batch is still reported.
    place(2, {300, 0, 300, 400});
    animator->move({{1, {500, 0, 600, 400}}, {2, {300, 0, 300, 400}}}, true, 0.3);
    animator->move({{1, {500, 0, 600, 400}}}, false, 0);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(batches, 2);
}

TEST_F(AnimatorTest, AGlideWritesPositionsPerTickSizesOnlyAtItsEndsEndsExactlyAndMayBeRetargeted) {
    place(1, {0, 0, 800, 600});
    animator->move({{1, {1000, 0, 800, 600}}}, true, 0.3);
    EXPECT_TRUE(animator->isMoving(1));
    EXPECT_TRUE(animator->isTicking());
    EXPECT_TRUE(sent.empty());  // the first tick, at the start, moves nothing
    scheduler.advance(0.15);
    EXPECT_EQ(sent.back(), (Sent{1, {864, 0, 800, 600}, false}));
    EXPECT_EQ(animator->sent().at(1), sent.back().frame);
    EXPECT_EQ(animator->current(1), (Rect{864, 0, 800, 600}));
    EXPECT_EQ(animator->target(1), (Rect{1000, 0, 800, 600}));
    scheduler.advance(0.15);
    EXPECT_EQ(sent.back(), (Sent{1, {1000, 0, 800, 600}, false}));
    EXPECT_EQ(sizeWrites(), 0);
    EXPECT_FALSE(animator->isMoving(1));
    EXPECT_FALSE(animator->isTicking());
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    for (std::size_t i = 1; i < sent.size(); ++i) EXPECT_NE(sent[i].frame, sent[i - 1].frame);
    const auto before = sent.size();
    const int batchesBefore = batches;
    scheduler.advance(1);  // idle: nothing more is sent, no batch reported
    EXPECT_EQ(sent.size(), before);
    EXPECT_EQ(batches, batchesBefore);

    // A new size is written at once where the window stands, then only the position glides.
    sent.clear();
    animator->move({{1, {0, 50, 400, 600}}}, true, 0.3);
    EXPECT_EQ(sent, (std::vector<Sent>{{1, {1000, 0, 400, 600}, true}}));
    scheduler.advance(0.3);
    EXPECT_EQ(sizeWrites(), 2);
    EXPECT_EQ(sent.back(), (Sent{1, {0, 50, 400, 600}, true}));

    // Retargeting during a flight.
    place(1, {0, 0, 800, 600});
    animator->move({{1, {1000, 0, 800, 600}}}, true, 0.3);
    scheduler.advance(0.1);
    const auto first = animator->flights().at(1);
    animator->move({{1, {1000, 0, 800, 600}}}, true, 0.3);  // the same target: the flight goes on
    EXPECT_EQ(animator->flights().at(1), first);
    const Rect here = *animator->current(1);
    animator->move({{1, {-500, 0, 800, 600}}}, true, 0.3);  // another: a new flight from here
    EXPECT_EQ(animator->flights().at(1), (Animator::Flight{here, {-500, 0, 800, 600}, scheduler.now(), 0.3}));
    // A jump to the flight's own target leaves the flight alone; a jump
    // elsewhere cuts it short and writes the size, which may not have
    // reached the window yet.
    sent.clear();
    animator->move({{1, {-500, 0, 800, 600}}}, false, 0.3);
    EXPECT_TRUE(animator->isMoving(1));
    animator->move({{1, {-600, 0, 800, 600}}}, false, 0.3);
    EXPECT_EQ(sent, (std::vector<Sent>{{1, {-600, 0, 800, 600}, true}}));
    EXPECT_FALSE(animator->isMoving(1));
    nextFrame();
    EXPECT_FALSE(animator->isTicking());
}

TEST_F(AnimatorTest, AFollowerClosesMostOfTheGapEachTickAndLandsExactly) {
    place(1, {0, 0, 800, 600});
    animator->follow({{1, {1000, 0, 800, 600}}});
    // The tick run at once has no elapsed time; it still steps one point.
    EXPECT_EQ(sent, (std::vector<Sent>{{1, {1, 0, 800, 600}, false}}));
    EXPECT_EQ(batches, 1);
    const double k = Animator::followFactor(kFrame);
    double x = 1;
    while (animator->isMoving(1)) {
        const double before = x;
        nextFrame();
        x = sent.back().frame.x;
        if (!animator->isMoving(1)) break;
        EXPECT_EQ(x, std::round(before + k * (1000 - before)));
        EXPECT_FALSE(sent.back().writeSize);
        ASSERT_LT(sent.size(), 40u);
    }
    EXPECT_EQ(sent.back(), (Sent{1, {1000, 0, 800, 600}, false}));
    EXPECT_FALSE(animator->isTicking());
    EXPECT_EQ(animator->current(1), (Rect{1000, 0, 800, 600}));

    // Within three quarters of a point it lands at once on fractional targets.
    sent.clear();
    animator->follow({{1, {1000.7, -0.7, 800, 600}}});
    EXPECT_EQ(sent, (std::vector<Sent>{{1, {1000.7, -0.7, 800, 600}, false}}));
    EXPECT_FALSE(animator->isMoving(1));

    // A step the factor would round back to the same point is taken as one point.
    animator->follow({{1, {1100, 100, 800, 600}}});
    nextFrame();
    const Rect at = sent.back().frame;
    animator->follow({{1, {at.x + 0.8, at.y - 50, 800, 600}}});
    sent.clear();
    nextFrame();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].frame.x, at.x + 1);
    EXPECT_LT(sent[0].frame.y, at.y);
    place(2, {0, 0, 800, 600});
    animator->follow({{2, {0, -1, 800, 600}}});  // one point short on y only
    nextFrame();
    EXPECT_EQ(animator->sent().at(2), (Rect{0, -1, 800, 600}));
}

TEST_F(AnimatorTest, FollowJumpsSizesAndTakesOverFlights) {
    place(1, {0, 0, 800, 600});
    place(2, {900, 0, 800, 600});
    animator->move({{2, {2000, 0, 800, 600}}}, true, 0.3);
    scheduler.advanceTo(scheduler.now() + 0.105);  // between two ticks
    const Rect midFlight = *animator->current(2);
    ASSERT_NE(animator->sent().at(2), midFlight);
    sent.clear();
    animator->follow({{1, {0, 0, 400, 600}},      // same place, new size
                      {2, {2000, 0, 800, 600}},   // was gliding: now chases
                      {3, {50, 60, 700, 500}}});  // never seen: sent whole
    EXPECT_TRUE(animator->flights().empty());
    EXPECT_FALSE(animator->isMoving(1));
    EXPECT_FALSE(animator->isMoving(3));
    EXPECT_EQ(animator->followers().at(2), (Rect{2000, 0, 800, 600}));
    // The resize and the new window are written at once; the follower goes on
    // from its interpolated frame with the next tick.
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sent[0].writeSize && sent[1].writeSize);
    EXPECT_EQ(animator->sent().at(1), (Rect{0, 0, 400, 600}));
    EXPECT_EQ(animator->sent().at(3), (Rect{50, 60, 700, 500}));
    EXPECT_EQ(animator->sent().at(2), midFlight);
    nextFrame();
    const Rect stepped = animator->sent().at(2);
    EXPECT_EQ(stepped.x, std::round(midFlight.x + Animator::followFactor(kFrame) * (2000 - midFlight.x)));
    // A later move takes a follower back into a glide.
    animator->move({{2, {0, 0, 800, 600}}}, true, 0.3);
    EXPECT_TRUE(animator->followers().empty());
    EXPECT_EQ(animator->flights().at(2).from, stepped);
}

// A flight taken over by follow() at the instant its frame reached the
// target had not handed that frame out yet: with no follower left, nothing
// was written and the window stayed a few points short, while the animator
// believed it had arrived.
TEST_F(AnimatorTest, FollowTakingOverAFlightAtItsTargetStillWritesIt) {
    place(2, {900, 0, 800, 600});
    animator->move({{2, {2000, 0, 800, 600}}}, true, 0.29);
    // Past the glide's end (0.29 s) but before the tick that would finish it (0.3 s).
    scheduler.advanceTo(scheduler.now() + 0.295);
    ASSERT_NE(sent.back().frame.x, 2000);
    ASSERT_EQ(*animator->current(2), (Rect{2000, 0, 800, 600}));
    sent.clear();
    animator->follow({{2, {2000, 0, 800, 600}}});
    EXPECT_FALSE(animator->isMoving(2));
    EXPECT_EQ(sent, (std::vector<Sent>{{2, {2000, 0, 800, 600}, false}}));
}

TEST_F(AnimatorTest, ForgottenWindowsAreSentWholeAndAssumedOnesNotAtAll) {
    EXPECT_EQ(animator->current(1), std::nullopt);
    EXPECT_EQ(animator->target(1), std::nullopt);
    place(1, {0, 0, 800, 600});
    animator->move({{1, {1000, 0, 800, 600}}}, true, 0.3);
    scheduler.advance(0.1);
    animator->invalidate(1);
    EXPECT_EQ(animator->current(1), std::nullopt);
    EXPECT_EQ(animator->target(1), std::nullopt);
    EXPECT_FALSE(animator->isMoving(1));
    sent.clear();
    animator->move({{1, {1000, 0, 800, 600}}}, true, 0.3);
    EXPECT_EQ(sent, (std::vector<Sent>{{1, {1000, 0, 800, 600}, true}}));

    // The user dragged it: nothing is written, and the next move starts there.
    animator->follow({{1, {0, 0, 800, 600}}});
    sent.clear();
    animator->assume(1, {300, 300, 800, 600});
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(animator->isMoving(1));
    EXPECT_EQ(animator->target(1), (Rect{300, 300, 800, 600}));
    animator->move({{1, {300, 300, 800, 600}}}, true, 0.3);
    EXPECT_TRUE(sent.empty());
    nextFrame();
    EXPECT_FALSE(animator->isTicking());
}

TEST_F(AnimatorTest, ResetStopsTickingAndCallbacksMayResetOrDestroyTheAnimatorMidBatch) {
    place(1, {0, 0, 800, 600});
    place(2, {0, 0, 800, 600});
    animator->move({{1, {1000, 0, 800, 600}}}, true, 0.3);
    animator->follow({{2, {1000, 0, 800, 600}}});
    animator->reset();
    EXPECT_FALSE(animator->isTicking());
    EXPECT_TRUE(animator->sent().empty());
    EXPECT_FALSE(animator->hasMotion());
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    sent.clear();
    scheduler.advance(1);
    EXPECT_TRUE(sent.empty());

    for (WindowID id = 1; id <= 5; ++id) place(id, {0, 0, 800, 600});
    FrameMap targets;
    for (WindowID id = 1; id <= 5; ++id) targets[id] = {1000.0 * id, 0, 800, 600};
    animator->move(targets, true, 0.3);
    int calls = 0;
    animator->send = [&](WindowID, Rect, bool) {
        if (++calls == 2) animator->reset();
    };
    nextFrame();
    EXPECT_FALSE(animator->isTicking());
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    animator->send = nullptr;
    animator->move(targets, true, 0.3);  // all new again after the reset
    animator->move(FrameMap{{1, {0, 0, 800, 600}}}, true, 0.3);
    calls = 0;
    animator->send = [&](WindowID, Rect, bool) {
        ++calls;
        animator.reset();
    };
    nextFrame();
    EXPECT_EQ(animator, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

}  // namespace
}  // namespace tessaline
