#include "platform/sim/SimScheduler.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tessaline {

struct SimScheduler::Task final : ScheduledTask {
    enum class Kind { once, repeating, frames };

    Kind kind = Kind::once;
    Work work;
    double interval = 0;
    std::int64_t frameIndex = 0;
    bool cancelled = false;
    bool running = false;

    void cancel() override {
        cancelled = true;
        // Release the captures at once, unless the work is running right now
        // (cancelling from inside its own work): then it is released after.
        if (!running) work = nullptr;
    }
};

namespace {

double nonNegative(double seconds) { return seconds > 0 ? seconds : 0; }  // also maps NaN to 0

double frameTime(std::int64_t index) {
    return static_cast<double>(index) / SimScheduler::kFramesPerSecond;
}

}  // namespace

std::shared_ptr<ScheduledTask> SimScheduler::after(double delay, Work work) {
    auto task = std::make_shared<Task>();
    task->work = std::move(work);
    return schedule(task, now_ + nonNegative(delay));
}

std::shared_ptr<ScheduledTask> SimScheduler::every(double interval, Work work) {
    auto task = std::make_shared<Task>();
    task->kind = Task::Kind::repeating;
    task->work = std::move(work);
    task->interval = std::max(nonNegative(interval), kMinimumInterval);
    return schedule(task, now_ + task->interval);
}

std::shared_ptr<ScheduledTask> SimScheduler::frames(Work work) {
    auto task = std::make_shared<Task>();
    task->kind = Task::Kind::frames;
    task->work = std::move(work);
    // The next refresh strictly after now, on the display's own beat.
    task->frameIndex = static_cast<std::int64_t>(std::floor(now_ * kFramesPerSecond + 1e-9)) + 1;
    return schedule(task, frameTime(task->frameIndex));
}

std::shared_ptr<ScheduledTask> SimScheduler::schedule(std::shared_ptr<Task> task, double time) {
    if (!task->work) task->cancelled = true;  // nothing to run; keep the handle harmless
    else push(task, time);
    return task;
}

void SimScheduler::push(std::shared_ptr<Task> task, double time) {
    queue_.push(Entry{time, nextSeq_++, std::move(task)});
}

void SimScheduler::dropCancelledHead() {
    while (!queue_.empty() && queue_.top().task->cancelled) queue_.pop();
}

std::optional<double> SimScheduler::nextDue() {
    dropCancelledHead();
    if (queue_.empty()) return std::nullopt;
    return queue_.top().time;
}

std::size_t SimScheduler::pendingCount() const {
    // Scans a copy: only used by tests and drivers, never on a hot path.
    auto copy = queue_;
    std::size_t live = 0;
    for (; !copy.empty(); copy.pop())
        if (!copy.top().task->cancelled) ++live;
    return live;
}

void SimScheduler::runEntry(Entry entry) {
    auto& task = entry.task;
    now_ = std::max(now_, entry.time);
    task->running = true;
    // Run a copy so that the task may cancel itself (and drop its own work)
    // without destroying the function that is executing.
    Work work = task->work;
    ++tasksRun_;
    work();
    task->running = false;

    if (task->kind == Task::Kind::once || task->cancelled) {
        task->cancelled = true;
        task->work = nullptr;
        return;
    }
    if (task->kind == Task::Kind::repeating) {
        push(task, entry.time + task->interval);
    } else {
        // A frame callback that overran its refresh skips the beats it missed.
        task->frameIndex = std::max(task->frameIndex + 1,
                                    static_cast<std::int64_t>(std::floor(now_ * kFramesPerSecond + 1e-9)) + 1);
        push(task, frameTime(task->frameIndex));
    }
}

bool SimScheduler::runNext() {
    if (advancing_) return false;
    dropCancelledHead();
    if (queue_.empty()) return false;
    advancing_ = true;
    Entry entry = queue_.top();
    queue_.pop();
    runEntry(std::move(entry));
    advancing_ = false;
    return true;
}

void SimScheduler::advance(double seconds) {
    if (advancing_) return;
    advancing_ = true;
    const double target = now_ + nonNegative(seconds);
    for (;;) {
        dropCancelledHead();
        if (queue_.empty() || queue_.top().time > target) break;
        Entry entry = queue_.top();
        queue_.pop();
        runEntry(std::move(entry));
    }
    now_ = std::max(now_, target);
    advancing_ = false;
}

}  // namespace tessaline
