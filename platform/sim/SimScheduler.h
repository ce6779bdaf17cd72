#pragma once
// A scheduler on a virtual clock. Nothing runs until a test (or a driver)
// calls advance(): then every task that falls due runs in time order, ties in
// the order they were scheduled, with now() set to the task's own time.

#include <cstdint>
#include <memory>
#include <optional>
#include <queue>
#include <vector>

#include "engine/platform/Platform.h"

namespace tessaline {

class SimScheduler final : public Scheduler {
public:
    // Display refreshes per virtual second; frame ticks fall on multiples of 1/60 s.
    static constexpr int kFramesPerSecond = 60;
    // Repeating intervals are never shorter than this, so a zero interval
    // cannot pin the clock at one instant for ever.
    static constexpr double kMinimumInterval = 0.001;

    SimScheduler() = default;
    SimScheduler(const SimScheduler&) = delete;
    SimScheduler& operator=(const SimScheduler&) = delete;

    double now() const override { return now_; }
    std::shared_ptr<ScheduledTask> after(double delay, Work work) override;
    std::shared_ptr<ScheduledTask> every(double interval, Work work) override;
    std::shared_ptr<ScheduledTask> frames(Work work) override;

    // Runs everything due up to now + seconds (negative counts as 0), then
    // leaves the clock there. Work scheduled meanwhile for a time inside the
    // window runs too. Calling it from inside a task does nothing.
    void advance(double seconds);
    void advanceTo(double time) { advance(time - now_); }
    // Runs what is due now without moving the clock.
    void runDue() { advance(0); }
    // Runs the single earliest live task, moving the clock to it; false when
    // nothing is scheduled. Lets a driver interleave its own steps.
    bool runNext();

    // When the earliest live task is due; absent when nothing is scheduled.
    std::optional<double> nextDue();
    // Live (not cancelled) tasks still scheduled.
    std::size_t pendingCount() const;
    std::uint64_t tasksRun() const { return tasksRun_; }

private:
    struct Task;
    struct Entry {
        double time;
        std::uint64_t seq;
        std::shared_ptr<Task> task;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.time != b.time ? a.time > b.time : a.seq > b.seq;
        }
    };

    std::shared_ptr<ScheduledTask> schedule(std::shared_ptr<Task> task, double time);
    void push(std::shared_ptr<Task> task, double time);
    void dropCancelledHead();
    void runEntry(Entry entry);

    double now_ = 0;
    std::uint64_t nextSeq_ = 0;
    std::uint64_t tasksRun_ = 0;
    bool advancing_ = false;
    std::priority_queue<Entry, std::vector<Entry>, Later> queue_;
};

}  // namespace tessaline
