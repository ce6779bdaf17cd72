#pragma once
// FrameWriting over the simulated desktop. Writes are coalesced per window
// (the newest frame wins, a size request is never lost) and applied on the
// owning application's serial worker after its latency. What happened there
// drives the answers: a failed write makes the application busy for 3 s, a
// write slower than 0.12 s makes it sluggish, a bent size comes back through
// onResize.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "engine/platform/Platform.h"

namespace tessaline {

class SimDesktop;

class SimFrameWriter final : public FrameWriting {
public:
    // A failed write is tried again this often, at most kMaxRetries times.
    static constexpr double kRetryDelay = 0.25;
    static constexpr int kMaxRetries = 8;
    static constexpr double kBusySeconds = 3.0;
    static constexpr double kSluggishSeconds = 0.12;

    struct WriteRecord {
        double time = 0;
        WindowID window = 0;
        ProcessID pid = 0;
        Rect asked;
        bool writeSize = false;
        Rect result;  // the frame the window really has afterwards
        friend bool operator==(const WriteRecord&, const WriteRecord&) = default;
    };

    explicit SimFrameWriter(SimDesktop& desktop) : desk_(&desktop) {}

    void write(WindowID window, ProcessID pid, const WindowHandle& handle, Rect frame, bool writeSize) override;
    std::optional<Rect> appliedFrame(WindowID window) const override;
    void noteApplied(WindowID window, Rect frame) override;
    bool resizedRecently(WindowID window, double within) const override;
    bool isBusy(ProcessID pid) const override;
    bool wasSluggish(ProcessID pid, double within) const override;
    void forget(ProcessID pid) override;
    void forgetWindow(WindowID window) override;
    void drain() override;

    // -- for the window system and for tests
    void noteUnanswered(ProcessID pid);
    void noteSluggish(ProcessID pid);
    // Every write that reached a window, oldest first.
    const std::vector<WriteRecord>& history() const { return history_; }
    void clearHistory() { history_.clear(); }
    std::optional<Rect> pendingFrame(WindowID window) const;
    std::size_t pendingCount() const { return pending_.size(); }
    void detach() { desk_ = nullptr; }

private:
    struct Job {
        ProcessID pid = 0;
        WindowHandle handle;
        Rect frame;
        bool writeSize = false;
        int attempts = 0;
    };

    void flush(WindowID window, bool timedOut, double elapsed);
    void retry(WindowID window, Job job);
    void scheduleFlush(WindowID window, ProcessID pid);
    void announceApplied();
    double now() const;

    SimDesktop* desk_;
    std::map<WindowID, Job> pending_;
    std::map<WindowID, Rect> applied_;
    std::map<WindowID, double> sizedAt_;
    std::set<WindowID> sizeOwed_;  // sizes dropped after their retries
    std::map<ProcessID, double> unanswered_;
    std::map<ProcessID, double> sluggish_;
    bool appliedNoticePending_ = false;
    std::vector<WriteRecord> history_;
};

}  // namespace tessaline
