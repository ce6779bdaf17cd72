#include "platform/sim/SimFrameWriter.h"

#include <utility>

#include "platform/sim/SimDesktop.h"

namespace tessaline {

double SimFrameWriter::now() const { return desk_ ? desk_->now() : 0; }

void SimFrameWriter::write(WindowID window, ProcessID pid, const WindowHandle& handle, Rect frame,
                           bool writeSize) {
    if (!desk_) return;
    auto it = pending_.find(window);
    if (it != pending_.end()) {
        // One pending frame per window: the newest wins, and a size asked
        // for by any of the coalesced writes is still written.
        it->second.frame = frame;
        it->second.attempts = 0;
        it->second.writeSize = it->second.writeSize || writeSize;
        return;
    }
    // A size given up on earlier is still owed: the engine believes it was
    // written and will only send positions from now on.
    pending_[window] = Job{pid, handle, frame, writeSize || sizeOwed_.count(window) > 0, 0};
    scheduleFlush(window, pid);
}

void SimFrameWriter::scheduleFlush(WindowID window, ProcessID pid) {
    desk_->enqueue(pid, [this, window](bool timedOut, double elapsed) { flush(window, timedOut, elapsed); });
}

void SimFrameWriter::flush(WindowID window, bool timedOut, double elapsed) {
    auto it = pending_.find(window);
    if (it == pending_.end()) return;  // drained, or already written
    Job job = std::move(it->second);
    pending_.erase(it);

    const SimWindow* w = timedOut ? nullptr : desk_->windowForHandle(job.handle);
    const SimApp* app = w ? desk_->app(w->pid) : nullptr;
    if (!app || app->refusesWrites) return retry(window, std::move(job));

    const double started = now() - elapsed;
    if (job.writeSize) sizedAt_[window] = started;
    const Rect result = desk_->applyFrame(w->id, job.frame, job.writeSize, FrameChange::byProgram).value_or(job.frame);
    history_.push_back({now(), window, job.pid, job.frame, job.writeSize, result});

    if (job.writeSize) {
        sizeOwed_.erase(window);
        applied_[window] = Rect{job.frame.x, job.frame.y, result.width, result.height};
        if (onResize) {
            desk_->post(0, [this, window, asked = job.frame.size(), got = result.size()] {
                if (auto handler = onResize) handler(window, asked, got);
            });
        }
    } else {
        applied_[window] = job.frame;
    }
    if (elapsed > kSluggishSeconds) sluggish_[job.pid] = now();
    announceApplied();
}

void SimFrameWriter::announceApplied() {
    // Writes landing before the engine's next turn share one notice.
    if (appliedNoticePending_) return;
    appliedNoticePending_ = true;
    desk_->post(0, [this] {
        appliedNoticePending_ = false;
        if (auto handler = onApplied) handler();
    });
}

void SimFrameWriter::retry(WindowID window, Job job) {
    unanswered_[job.pid] = now();
    if (job.attempts >= kMaxRetries) {
        // Dropped; the next write starts afresh, with this one's size if it had one.
        if (job.writeSize) sizeOwed_.insert(window);
        return;
    }
    if (pending_.count(window)) return;       // a newer frame is on its way already
    ++job.attempts;
    const ProcessID pid = job.pid;
    pending_[window] = std::move(job);
    desk_->post(kRetryDelay, [this, window, pid] {
        if (pending_.count(window)) scheduleFlush(window, pid);
    });
}

std::optional<Rect> SimFrameWriter::appliedFrame(WindowID window) const {
    auto it = applied_.find(window);
    if (it == applied_.end()) return std::nullopt;
    return it->second;
}

void SimFrameWriter::noteApplied(WindowID window, Rect frame) {
    // The window is where the user or its application put it: a frame of
    // ours still waiting would land afterwards and undo that.
    pending_.erase(window);
    applied_[window] = frame;
}

bool SimFrameWriter::resizedRecently(WindowID window, double within) const {
    auto it = sizedAt_.find(window);
    return it != sizedAt_.end() && now() - it->second < within;
}

bool SimFrameWriter::isBusy(ProcessID pid) const {
    auto it = unanswered_.find(pid);
    return it != unanswered_.end() && now() - it->second < kBusySeconds;
}

bool SimFrameWriter::wasSluggish(ProcessID pid, double within) const {
    auto it = sluggish_.find(pid);
    return it != sluggish_.end() && now() - it->second < within;
}

void SimFrameWriter::forget(ProcessID /*pid*/) {
    // Nothing per application is kept here beyond the busy and sluggish
    // marks, which age out by themselves.
}

void SimFrameWriter::forgetWindow(WindowID window) {
    applied_.erase(window);
    sizeOwed_.erase(window);
    sizedAt_.erase(window);
}

void SimFrameWriter::drain() {
    // A simulated write takes effect in the instant it completes, so there
    // is never one half done: dropping what is pending is all there is.
    pending_.clear();
}

void SimFrameWriter::noteUnanswered(ProcessID pid) { unanswered_[pid] = now(); }
void SimFrameWriter::noteSluggish(ProcessID pid) { sluggish_[pid] = now(); }

std::optional<Rect> SimFrameWriter::pendingFrame(WindowID window) const {
    auto it = pending_.find(window);
    if (it == pending_.end()) return std::nullopt;
    return it->second.frame;
}

}  // namespace tessaline
