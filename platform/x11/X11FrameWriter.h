#pragma once
// The engine's FrameWriting on X11. A write only records the newest frame of
// a window; once per loop turn, flushPending() bends each frame to the
// window's WM_NORMAL_HINTS and hands it to the window system, whose push
// sends all of them in one batch with one flush. X applies a window
// manager's ConfigureWindow as asked, so the bent size is the size the
// window gets, and it is reported back exactly as an application that
// refused a size would report it.
//
// Busy and sluggish come from _NET_WM_PING (the window system pings): an
// application that leaves a ping unanswered for 3 s is busy for the next
// 3 s, one that answers slower than 0.12 s was sluggish.

#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/platform/Platform.h"

namespace tessaline {

class EventLoop;
class X11WindowSystem;

class X11FrameWriter final : public FrameWriting {
public:
    static constexpr double busySeconds = 3.0;

    X11FrameWriter(X11WindowSystem& system, EventLoop& loop);
    ~X11FrameWriter() override;
    X11FrameWriter(const X11FrameWriter&) = delete;
    X11FrameWriter& operator=(const X11FrameWriter&) = delete;

    void write(WindowID window, ProcessID pid, const WindowHandle& handle, Rect frame, bool writeSize) override;
    std::optional<Rect> appliedFrame(WindowID window) const override;
    void noteApplied(WindowID window, Rect frame) override;
    bool resizedRecently(WindowID window, double within) const override;
    bool isBusy(ProcessID pid) const override;
    bool wasSluggish(ProcessID pid, double within) const override;
    void forget(ProcessID pid) override;
    void forgetWindow(WindowID window) override;
    void drain() override;

    // ---- for the window system
    // Hands every pending frame over; called once per turn before the push.
    void flushPending();
    // The engine has placed this window with a write since it was first seen.
    bool placedByEngine(WindowID window) const { return placed_.count(window) > 0; }
    void noteUnanswered(ProcessID pid);
    void noteSluggish(ProcessID pid);

private:
    struct Job {
        ProcessID pid = 0;
        Rect frame;
        bool writeSize = false;
    };
    struct Resize {
        WindowID window;
        Size asked;
        Size got;
    };

    X11WindowSystem& system_;
    EventLoop& loop_;
    std::unordered_map<WindowID, Job> pending_;
    std::unordered_map<WindowID, Rect> applied_;
    std::unordered_map<WindowID, double> sizedAt_;
    std::unordered_set<WindowID> placed_;
    std::unordered_map<ProcessID, double> unanswered_;
    std::unordered_map<ProcessID, double> sluggish_;
    std::vector<Resize> resizes_;
    bool noticePending_ = false;
    // Posted notices hold this weakly and do nothing once the writer is gone.
    std::shared_ptr<X11FrameWriter*> self_;
};

}  // namespace tessaline
