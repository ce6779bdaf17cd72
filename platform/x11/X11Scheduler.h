#pragma once
// The engine's Scheduler on the manager's event loop: monotonic time, one-shot
// and repeating timers, and frame ticks paced to the fastest monitor's
// refresh rate. Frame ticks exist only while a `frames` task is alive (the
// animator cancels its task when nothing moves), so an idle manager has no
// timer armed at all.

#include <memory>

#include "engine/platform/Platform.h"
#include "platform/x11/EventLoop.h"

namespace tessaline {

class X11Scheduler final : public Scheduler {
public:
    // The refresh rate assumed until a monitor tells its own.
    static constexpr double defaultRefreshRate = 60;

    explicit X11Scheduler(EventLoop& loop);
    ~X11Scheduler() override;
    X11Scheduler(const X11Scheduler&) = delete;
    X11Scheduler& operator=(const X11Scheduler&) = delete;

    double now() const override;
    std::shared_ptr<ScheduledTask> after(double delay, Work work) override;
    std::shared_ptr<ScheduledTask> every(double interval, Work work) override;
    std::shared_ptr<ScheduledTask> frames(Work work) override;

    // The fastest active monitor's refresh rate in Hz; 0 or less when unknown.
    void setRefreshRate(double hz);
    double framePeriod() const { return period_; }

private:
    class Task;
    void arm(const std::shared_ptr<Task>& task, double deadline);
    double nextFrameTime(double after) const;

    EventLoop& loop_;
    double period_ = 1.0 / defaultRefreshRate;
    // Tasks hold this weakly: a timer that outlives the scheduler does nothing.
    std::shared_ptr<X11Scheduler*> self_;
};

}  // namespace tessaline
