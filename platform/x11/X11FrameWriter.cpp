#include "platform/x11/X11FrameWriter.h"

#include <memory>

#include "platform/x11/EventLoop.h"
#include "platform/x11/X11WindowSystem.h"

namespace tessaline {

X11FrameWriter::X11FrameWriter(X11WindowSystem& system, EventLoop& loop)
    : system_(system), loop_(loop), self_(std::make_shared<X11FrameWriter*>(this)) {
    system_.attachWriter(this);
}

X11FrameWriter::~X11FrameWriter() { system_.attachWriter(nullptr); }

void X11FrameWriter::write(WindowID window, ProcessID pid, const WindowHandle&, Rect frame, bool writeSize) {
    Job& job = pending_[window];
    job.pid = pid;
    job.frame = frame;
    // Coalescing never loses a size.
    job.writeSize = job.writeSize || writeSize;
}

void X11FrameWriter::flushPending() {
    if (pending_.empty()) return;
    const double now = EventLoop::monotonicNow();
    bool applied = false;
    for (const auto& [window, job] : pending_) {
        const std::optional<Rect> current = system_.desiredFrame(window);
        if (!current) continue;  // gone meanwhile
        Rect frame = job.frame;
        if (job.writeSize) {
            const Size got = system_.allowedSize(window, frame.size()).value_or(frame.size());
            frame.width = got.width;
            frame.height = got.height;
        } else {
            frame.width = current->width;
            frame.height = current->height;
        }
        if (!system_.place(window, frame)) continue;  // full screen: the frame is the display's
        applied_[window] = frame;
        if (job.writeSize) {
            sizedAt_[window] = now;
            resizes_.push_back({window, job.frame.size(), frame.size()});
        }
        placed_.insert(window);
        system_.pingSoon(job.pid);
        applied = true;
    }
    pending_.clear();
    if (!applied || noticePending_) return;
    // One notice for everything written before the engine gets to run.
    noticePending_ = true;
    loop_.post([weak = std::weak_ptr<X11FrameWriter*>(self_)] {
        auto self = weak.lock();
        if (!self) return;
        X11FrameWriter& writer = **self;
        writer.noticePending_ = false;
        const std::vector<Resize> resizes = std::move(writer.resizes_);
        writer.resizes_.clear();
        const ResizeHandler onResize = writer.onResize;
        const AppliedHandler onApplied = writer.onApplied;
        if (onResize) {
            for (const Resize& resize : resizes) onResize(resize.window, resize.asked, resize.got);
        }
        if (onApplied) onApplied();
    });
}

std::optional<Rect> X11FrameWriter::appliedFrame(WindowID window) const {
    const auto found = applied_.find(window);
    return found == applied_.end() ? std::nullopt : std::optional<Rect>(found->second);
}

void X11FrameWriter::noteApplied(WindowID window, Rect frame) {
    applied_[window] = frame;
    pending_.erase(window);
}

bool X11FrameWriter::resizedRecently(WindowID window, double within) const {
    const auto found = sizedAt_.find(window);
    return found != sizedAt_.end() && EventLoop::monotonicNow() - found->second < within;
}

bool X11FrameWriter::isBusy(ProcessID pid) const {
    const auto found = unanswered_.find(pid);
    return found != unanswered_.end() && EventLoop::monotonicNow() - found->second < busySeconds;
}

bool X11FrameWriter::wasSluggish(ProcessID pid, double within) const {
    const auto found = sluggish_.find(pid);
    return found != sluggish_.end() && EventLoop::monotonicNow() - found->second < within;
}

void X11FrameWriter::forget(ProcessID pid) {
    // Busy and sluggish marks age out by themselves; nothing else is kept
    // per application.
    (void)pid;
}

void X11FrameWriter::forgetWindow(WindowID window) {
    applied_.erase(window);
    sizedAt_.erase(window);
    placed_.erase(window);
    pending_.erase(window);
}

void X11FrameWriter::drain() {
    // Frames not handed over yet are dropped; what was handed over is sent
    // with the next push, which nothing can hold up.
    pending_.clear();
}

void X11FrameWriter::noteUnanswered(ProcessID pid) { unanswered_[pid] = EventLoop::monotonicNow(); }

void X11FrameWriter::noteSluggish(ProcessID pid) { sluggish_[pid] = EventLoop::monotonicNow(); }

}  // namespace tessaline
