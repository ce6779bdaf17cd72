#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimScheduler.h"

using namespace tessaline;

TEST(SimScheduler, WorkRunsInTimeOrderOnlyAsTimeAdvancesTiesInSchedulingOrder) {
    SimScheduler s;
    std::vector<std::string> order;
    std::vector<double> times;
    const auto note = [&](std::string what) {
        return [&, what] { order.push_back(what), times.push_back(s.now()); };
    };
    s.after(0, note("now"));
    EXPECT_TRUE(order.empty());
    s.runDue();
    EXPECT_EQ(order, std::vector<std::string>{"now"});
    order.clear(), times.clear();
    s.after(0.3, note("c"));
    s.after(0.1, note("a"));
    s.after(0.1, [&] {
        note("b")();
        s.after(0.1, note("inside"));  // due at 0.2: runs in this advance
        s.after(1.0, note("outside"));
    });
    s.after(0.5, note("late"));
    s.advance(0.4);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "inside", "c"}));
    EXPECT_EQ(times, (std::vector<double>{0.1, 0.1, 0.2, 0.3}));
    EXPECT_DOUBLE_EQ(s.now(), 0.4);
    EXPECT_EQ(s.pendingCount(), 2u);
    s.advance(1.0);
    EXPECT_EQ(order.back(), "outside");
}

TEST(SimScheduler, RepeatingWorkRunsUntilCancelledAndFramesTickOnTheDisplayBeat) {
    SimScheduler s;
    int runs = 0, ticks = 0, selfStopping = 0, once = 0;
    auto task = s.every(0.25, [&] { ++runs; });
    s.every(0.5, [&] {});  // dropping the handle does not cancel
    std::shared_ptr<ScheduledTask> stopping = s.every(0.1, [&] {
        if (++selfStopping == 3) stopping->cancel();
    });
    s.advance(1.0);
    EXPECT_EQ(runs, 4);
    EXPECT_EQ(selfStopping, 3);
    task->cancel();
    task->cancel();  // twice is harmless
    auto oneShot = s.after(0.1, [&] { ++once; });
    s.after(0.1, [&] { once += 10; })->cancel();  // cancelled before it ran
    s.advance(1.0);
    oneShot->cancel();  // after it ran
    EXPECT_EQ(runs, 4);
    EXPECT_EQ(once, 1);

    s.advance(0.005);  // start between two refreshes
    std::vector<double> times;
    std::shared_ptr<ScheduledTask> frames = s.frames([&] {
        times.push_back(s.now());
        if (++ticks == 60) frames->cancel();
    });
    const double start = s.now();
    s.advance(2.0);
    ASSERT_EQ(times.size(), 60u);
    EXPECT_NEAR(times.front(), start - 0.005 + 1.0 / 60, 1e-9);
    EXPECT_NEAR(times.back(), start - 0.005 + 1.0, 1e-9);
}

TEST(SimScheduler, DegenerateArgumentsAreSafeAndANestedAdvanceIsIgnored) {
    SimScheduler s;
    int runs = 0;
    s.after(-5, [&] { ++runs; });             // negative delay: as soon as possible
    auto spin = s.every(0, [&] { ++runs; });  // zero interval: clamped, not a hang
    s.after(1, nullptr)->cancel();            // no work: a harmless handle
    s.advance(-1);
    EXPECT_EQ(runs, 1);
    EXPECT_DOUBLE_EQ(s.now(), 0);
    s.advance(0.0105);
    EXPECT_EQ(runs, 1 + 10);
    spin->cancel();

    SimScheduler t;
    std::vector<int> order;
    t.after(0.1, [&] {
        order.push_back(1);
        t.advance(10);  // from inside a task: does nothing
    });
    t.after(0.2, [&] { order.push_back(2); });
    EXPECT_EQ(t.nextDue(), 0.1);
    EXPECT_TRUE(t.runNext());
    EXPECT_EQ(order, (std::vector<int>{1}));
    EXPECT_DOUBLE_EQ(t.now(), 0.1);
    EXPECT_TRUE(t.runNext());
    EXPECT_FALSE(t.runNext());
    EXPECT_EQ(t.nextDue(), std::nullopt);
    EXPECT_EQ(t.tasksRun(), 2u);
}
