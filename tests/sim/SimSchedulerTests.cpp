#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimScheduler.h"

using namespace tessaline;

TEST(SimScheduler, NothingRunsUntilTimeAdvances) {
    SimScheduler s;
    int runs = 0;
    s.after(0, [&] { ++runs; });
    EXPECT_EQ(runs, 0);
    s.runDue();
    EXPECT_EQ(runs, 1);
}

TEST(SimScheduler, RunsInTimeOrderTiesInSchedulingOrder) {
    SimScheduler s;
    std::vector<std::string> order;
    std::vector<double> times;
    s.after(0.3, [&] { order.push_back("c"); times.push_back(s.now()); });
    s.after(0.1, [&] { order.push_back("a"); times.push_back(s.now()); });
    s.after(0.1, [&] { order.push_back("b"); times.push_back(s.now()); });
    s.after(0.5, [&] { order.push_back("late"); });
    s.advance(0.4);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(times, (std::vector<double>{0.1, 0.1, 0.3}));
    EXPECT_DOUBLE_EQ(s.now(), 0.4);
    EXPECT_EQ(s.pendingCount(), 1u);
}

TEST(SimScheduler, WorkScheduledDuringAdvanceRunsWhenItFallsInside) {
    SimScheduler s;
    std::vector<double> times;
    s.after(0.1, [&] {
        s.after(0.1, [&] { times.push_back(s.now()); });  // due at 0.2: inside
        s.after(1.0, [&] { times.push_back(s.now()); });  // due at 1.1: outside
    });
    s.advance(0.5);
    EXPECT_EQ(times, (std::vector<double>{0.2}));
    s.advance(1.0);
    EXPECT_EQ(times.size(), 2u);
}

TEST(SimScheduler, EveryRepeatsUntilCancelled) {
    SimScheduler s;
    int runs = 0;
    auto task = s.every(0.25, [&] { ++runs; });
    s.advance(1.0);
    EXPECT_EQ(runs, 4);
    task->cancel();
    s.advance(1.0);
    EXPECT_EQ(runs, 4);
    task->cancel();  // twice is harmless
}

TEST(SimScheduler, CancellingRepeatingTaskFromItsOwnWorkStopsAfterThatRun) {
    SimScheduler s;
    int runs = 0;
    std::shared_ptr<ScheduledTask> task;
    task = s.every(0.1, [&] {
        if (++runs == 3) task->cancel();
    });
    s.advance(2.0);
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(s.pendingCount(), 0u);
}

TEST(SimScheduler, CancellingFramesFromInsideAndOneShotsAfterTheyRan) {
    SimScheduler s;
    int ticks = 0;
    std::shared_ptr<ScheduledTask> frames;
    frames = s.frames([&] {
        if (++ticks == 5) frames->cancel();
    });
    s.advance(1.0);
    EXPECT_EQ(ticks, 5);

    int once = 0;
    auto task = s.after(0.1, [&] { ++once; });
    s.advance(0.2);
    task->cancel();
    task->cancel();
    EXPECT_EQ(once, 1);
}

TEST(SimScheduler, CancelledOneShotNeverRuns) {
    SimScheduler s;
    bool ran = false;
    auto task = s.after(0.1, [&] { ran = true; });
    task->cancel();
    s.advance(1);
    EXPECT_FALSE(ran);
}

TEST(SimScheduler, DroppingTheHandleDoesNotCancel) {
    SimScheduler s;
    int runs = 0;
    s.every(0.5, [&] { ++runs; });
    s.advance(2.0);
    EXPECT_EQ(runs, 4);
}

TEST(SimScheduler, FramesTickSixtyTimesASecondOnTheDisplayBeat) {
    SimScheduler s;
    s.advance(0.005);  // start between two refreshes
    std::vector<double> times;
    auto task = s.frames([&] { times.push_back(s.now()); });
    s.advance(1.0);
    ASSERT_EQ(times.size(), 60u);
    EXPECT_DOUBLE_EQ(times.front(), 1.0 / 60);
    EXPECT_DOUBLE_EQ(times.back(), 1.0);
    task->cancel();
}

TEST(SimScheduler, DegenerateArgumentsAreSafe) {
    SimScheduler s;
    int runs = 0;
    s.after(-5, [&] { ++runs; });          // negative delay: as soon as possible
    auto spin = s.every(0, [&] { ++runs; });  // zero interval: clamped, not a hang
    s.after(1, nullptr)->cancel();          // no work: a harmless handle
    s.advance(-1);
    EXPECT_EQ(runs, 1);
    EXPECT_DOUBLE_EQ(s.now(), 0);
    s.advance(0.0105);
    EXPECT_EQ(runs, 1 + 10);
    spin->cancel();
}

TEST(SimScheduler, NestedAdvanceIsIgnoredAndRunNextSteps) {
    SimScheduler s;
    std::vector<int> order;
    s.after(0.1, [&] {
        order.push_back(1);
        s.advance(10);  // from inside a task: does nothing
    });
    s.after(0.2, [&] { order.push_back(2); });
    EXPECT_EQ(s.nextDue(), 0.1);
    EXPECT_TRUE(s.runNext());
    EXPECT_EQ(order, (std::vector<int>{1}));
    EXPECT_DOUBLE_EQ(s.now(), 0.1);
    EXPECT_TRUE(s.runNext());
    EXPECT_FALSE(s.runNext());
    EXPECT_EQ(s.nextDue(), std::nullopt);
    EXPECT_EQ(s.tasksRun(), 2u);
}
