#include "platform/x11/X11Scheduler.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace tessaline {

namespace {

// A repeating task never comes round faster than this, so a zero interval
// cannot keep the loop from sleeping.
constexpr double kMinimumInterval = 0.001;

}  // namespace

class X11Scheduler::Task final : public ScheduledTask {
public:
    enum class Kind { once, repeating, frames };

    Task(Kind kind, double interval, Work work, std::weak_ptr<X11Scheduler*> owner, EventLoop& loop)
        : kind(kind), interval(interval), work(std::move(work)), owner(std::move(owner)), loop(loop) {}

    void cancel() override {
        if (cancelled) return;
        cancelled = true;
        if (timer && !owner.expired()) loop.cancelTimer(*timer);
        timer.reset();
        // The work may own things that refer back to its owner.
        if (!running) work = nullptr;
    }

    const Kind kind;
    const double interval;
    Work work;
    std::weak_ptr<X11Scheduler*> owner;
    EventLoop& loop;
    std::optional<EventLoop::TimerID> timer;
    bool cancelled = false;
    bool running = false;
};

X11Scheduler::X11Scheduler(EventLoop& loop)
    : loop_(loop), self_(std::make_shared<X11Scheduler*>(this)) {}

X11Scheduler::~X11Scheduler() = default;

double X11Scheduler::now() const { return EventLoop::monotonicNow(); }

void X11Scheduler::setRefreshRate(double hz) {
    period_ = 1.0 / (hz > 1 ? hz : defaultRefreshRate);
}

double X11Scheduler::nextFrameTime(double after) const {
    // On a grid of whole periods, so that several frame tasks tick together.
    return (std::floor(after / period_) + 1) * period_;
}

void X11Scheduler::arm(const std::shared_ptr<Task>& task, double deadline) {
    // The timer holds the task: dropping the handle does not cancel it, and
    // cancelling removes the timer and with it the task.
    task->timer = loop_.addTimer(deadline, [task, owner = std::weak_ptr<X11Scheduler*>(self_)] {
        auto scheduler = owner.lock();
        if (!scheduler || task->cancelled) return;
        task->timer.reset();
        if (task->kind == Task::Kind::once) task->cancelled = true;
        Work work = task->work;
        task->running = true;
        work();
        task->running = false;
        if (task->cancelled) {
            task->work = nullptr;
            return;
        }
        X11Scheduler* self = *scheduler;
        const double now = self->now();
        const double next = task->kind == Task::Kind::frames
                                ? self->nextFrameTime(now)
                                : now + std::max(task->interval, kMinimumInterval);
        self->arm(task, next);
    });
}

std::shared_ptr<ScheduledTask> X11Scheduler::after(double delay, Work work) {
    auto task = std::make_shared<Task>(Task::Kind::once, 0, std::move(work), self_, loop_);
    if (delay <= 0) {
        loop_.post([task] {
            if (task->cancelled) return;
            task->cancelled = true;
            Work work = std::move(task->work);
            work();
        });
        return task;
    }
    arm(task, now() + delay);
    return task;
}

std::shared_ptr<ScheduledTask> X11Scheduler::every(double interval, Work work) {
    auto task = std::make_shared<Task>(Task::Kind::repeating, interval, std::move(work), self_, loop_);
    arm(task, now() + std::max(interval, kMinimumInterval));
    return task;
}

std::shared_ptr<ScheduledTask> X11Scheduler::frames(Work work) {
    auto task = std::make_shared<Task>(Task::Kind::frames, 0, std::move(work), self_, loop_);
    arm(task, nextFrameTime(now()));
    return task;
}

}  // namespace tessaline
