#pragma once
// What the two halves of the window tracker share: its timings and a few
// small helpers. Internal to the tracker; nothing else includes it.

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/wm/ManagedWindow.h"
#include "engine/wm/WindowManager.h"
#include "engine/wm/WindowTracker.h"

namespace tessaline::tracking {

using State = ManagedWindow::State;
using Policy = WindowManager::ScrollPolicy;

// Applications that never answer must not hold up the first layout.
constexpr double kDiscoveryTimeout = 1.5;
// A launching application is tried this often, every kObserveInterval seconds.
constexpr int kMaxObserveAttempt = 20;
constexpr double kObserveInterval = 0.25;
// Some applications announce a window before it has its final subrole.
constexpr int kCreatedRetries = 3;
constexpr double kCreatedInterval = 0.15;
constexpr int kFactsAttempts = 3;
constexpr double kFactsInterval = 0.3;
// The resize notice of a program's own write arrives shortly after it.
constexpr double kOwnWriteWindow = 0.3;
constexpr double kResizeCheckDelay = 0.2;
constexpr double kOwnSizeWindow = 0.6;
// Rounding in the applications' own geometry moves sizes by a few points.
constexpr double kResizeTolerance = 6.0;
// The system animates out of full screen; the window's frame is wrong before.
constexpr double kFullScreenReturnDelay = 0.7;
// Let the closed window's application finish moving its own focus first.
constexpr double kRefocusDelay = 0.05;

// Every relayout made here refreshes the overlays and follows no gesture.
inline void relayout(WindowManager& manager, const std::vector<StripKey>& keys, bool animated,
              Policy policy) {
    manager.relayout(keys, animated, policy, true, false);
}

inline void addKey(std::vector<StripKey>& keys, const StripKey& key) {
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
}

// The records of one application, copied so that callers may forget them.
inline std::vector<WindowPtr> windowsOf(const WindowManager& manager, ProcessID pid) {
    std::vector<WindowPtr> result;
    for (const auto& [id, window] : manager.windows)
        if (window && window->pid == pid) result.push_back(window);
    return result;
}

inline WindowTracker* lockTracker(const std::weak_ptr<WindowTracker*>& weak) {
    auto self = weak.lock();
    return self ? *self : nullptr;
}

}  // namespace tessaline::tracking
