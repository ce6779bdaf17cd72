#pragma once
// Follows every application window through its life and keeps the window
// manager's tables in step with what the platform reports: discovery,
// creation, closing, minimising, hiding, full screen, resizes the program
// did not make, title changes and reclassification when rules change.

#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "engine/wm/ManagedWindow.h"
#include "engine/platform/Platform.h"

namespace tessaline {

class WindowManager;
using WindowPtr = std::shared_ptr<ManagedWindow>;

class WindowTracker {
public:
    explicit WindowTracker(WindowManager& manager);
    ~WindowTracker();
    WindowTracker(const WindowTracker&) = delete;
    WindowTracker& operator=(const WindowTracker&) = delete;

    // Windows with a pending resize / full-screen check; one per window.
    std::unordered_set<WindowID> resizeChecks;
    std::unordered_set<WindowID> fullScreenChecks;

    void discover(const std::vector<ProcessID>& pids,
                  std::function<void(std::vector<WindowPtr>)> completion);
    void adopt(const std::vector<WindowPtr>& windows);
    void observe(ProcessID pid, int attempt);
    void appTerminated(ProcessID pid);
    void appHidden(ProcessID pid, bool hidden);
    void handle(WindowEvent event, const WindowHandle& handle, ProcessID pid);
    void reclassify();
    void fullScreenChanged(const WindowPtr& window, bool isFullScreen);
    void returnFromFullScreen(const WindowPtr& window);
    std::optional<StripKey> keyFor(const ManagedWindow& window, const WindowFacts& facts) const;

    WindowPtr track(const WindowFacts& facts, ProcessID pid);
    ManagedWindow::State classify(const ManagedWindow& window, const WindowFacts& facts) const;
    WindowPtr managed(const WindowHandle& handle) const;
    void readFacts(const WindowPtr& window, int attempts,
                   std::function<void(const WindowFacts&)> then);
    void windowCreated(std::optional<WindowFacts> facts, ProcessID pid, int retries);
    void windowGone(const WindowPtr& window);
    void forget(const ManagedWindow& window);
    void setMinimized(const WindowPtr& window, bool minimized);
    void moved(const WindowPtr& window, bool resized);
    void scheduleResizeCheck(const WindowPtr& window);
    void resizedOnItsOwn(const WindowPtr& window, std::optional<Rect> frame, bool fullScreen);
    void scheduleFullScreenCheck(const WindowPtr& window);
    // Tiling stopped: answers and timers still on their way belong to a run
    // that is over and must not act in the next one.
    void dropPendingWork();

private:
    // The work every answer would have done is pointless once tiling stopped.
    bool live() const;
    // The record is still the one the manager knows under its id (identity,
    // not equality), so a late answer for a closed and re-created window is
    // dropped.
    bool isCurrent(const WindowPtr& window) const;
    // A minimised or hidden window comes back with fresh facts: its new state
    // and, when it tiles again, the strip it goes to.
    std::optional<StripKey> comeBack(const WindowPtr& window, const WindowFacts& facts,
                                     ManagedWindow::State from);
    void unminimize(const WindowPtr& window, const WindowFacts& facts);
    void unhide(const WindowPtr& window, const WindowFacts& facts);
    void reclassified(const WindowPtr& window, const WindowFacts& facts);

    WindowManager& manager_;
    // Deferred work holds this weakly: it expires with the tracker.
    std::shared_ptr<WindowTracker*> self_;
};

}  // namespace tessaline
