#pragma once
// Keeps the program's idea of the focused window and the system's keyboard
// focus in step, both ways: focus follows the strip (request), and the strip
// follows focus changed by other means (focusChanged).

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "engine/wm/ManagedWindow.h"
#include "engine/platform/Platform.h"

namespace tessaline {

class WindowManager;

class FocusController {
public:
    struct PendingFocus {
        WindowID id = 0;
        ProcessID pid = 0;
        std::optional<WindowID> previous;
        double until = 0;
        bool retried = false;
        friend bool operator==(const PendingFocus&, const PendingFocus&) = default;
    };
    struct QuietFocus {
        WindowID id = 0;
        double until = 0;
        friend bool operator==(const QuietFocus&, const QuietFocus&) = default;
    };

    explicit FocusController(WindowManager& manager);
    ~FocusController();
    FocusController(const FocusController&) = delete;
    FocusController& operator=(const FocusController&) = delete;

    int requests = 0;
    int applied = 0;
    std::optional<PendingFocus> pendingFocus;
    std::optional<QuietFocus> quietFocus;
    std::optional<WindowID> revealAfterClick;
    double lastPointerCheck = 0;
    std::optional<WindowID> logged;
    // The application of the window `focusedID` names, kept because that
    // window may not be tracked yet: when the application quits first, the
    // focus must go with it.
    std::optional<ProcessID> focusedPid;
    std::set<std::string> slowToActivate;  // bundle ids; persisted under "slowToActivate"

    void request(WindowID id, bool warp);
    void focusChanged(ProcessID pid, bool activated, bool reveal);
    void mouseReleased();
    void pointerMoved();

    void apply(WindowID id, ProcessID pid, std::optional<WindowHandle> handle, bool activated,
               bool reveal, int request);
    void activate(const std::shared_ptr<ManagedWindow>& window, bool warp);
    void confirm(WindowID id, int attempt);
    // Tiling stopped: answers and timers still on their way belong to a run
    // that is over and must not act in the next one.
    void dropPendingWork();

private:
    // Whether a report of another window passes while `pending` waits.
    bool accepts(const PendingFocus& pending, ProcessID pid, bool activated) const;
    void scheduleConfirm(WindowID id, int attempt, double delay, int activation);
    // Remember an application that stalls when activated, and store the list.
    void learnSlow(const std::string& bundleID);

    WindowManager& manager_;
    // Counts activations; a confirmation chain runs only for the newest one.
    int activations_ = 0;
    std::shared_ptr<FocusController*> self_;
};

}  // namespace tessaline
