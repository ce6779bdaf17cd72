#include "engine/wm/FocusController.h"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>

#include "engine/wm/Animator.h"
#include "engine/settings/Defaults.h"
#include "engine/wm/DragController.h"
#include "engine/log/Log.h"
#include "engine/wm/ScrollController.h"
#include "engine/wm/WindowManager.h"
#include "engine/wm/WindowTracker.h"

namespace tessaline {

namespace {

using Policy = WindowManager::ScrollPolicy;
using State = ManagedWindow::State;

constexpr const char* kSlowKey = "slowToActivate";

// How long a request filters the reports of other windows.
constexpr double kRequestWindow = 1.2;
// A click this recent means the user chose the window a report names.
constexpr double kClickWindow = 0.6;
// When the application is asked whether it really took focus.
constexpr double kConfirmDelay = 1.3;
constexpr double kBusyInterval = 1.0;
constexpr int kBusyAttempts = 8;
// When, after activation, the application's frame writes are checked for a stall.
constexpr double kSluggishCheck = 0.6;
// Room after the slide before a slow application is activated.
constexpr double kAfterSlide = 0.03;
constexpr double kPointerThrottle = 0.08;
constexpr double kQuietTime = 1.0;

FocusController* lock(const std::weak_ptr<FocusController*>& weak) {
    auto strong = weak.lock();
    return strong ? *strong : nullptr;
}

// A learned list is only a hint, so anything that is not a list of strings
// counts as nothing learned yet.
std::set<std::string> readSlowApps(const Defaults& defaults) {
    std::set<std::string> result;
    const std::optional<nlohmann::json> stored = defaults.value(kSlowKey);
    if (!stored || !stored->is_array()) return result;
    for (const nlohmann::json& item : *stored) {
        if (!item.is_string()) return {};
        result.insert(item.get<std::string>());
    }
    return result;
}

}  // namespace

FocusController::FocusController(WindowManager& manager)
    : slowToActivate(readSlowApps(manager.defaults)),
      manager_(manager),
      self_(std::make_shared<FocusController*>(this)) {}

FocusController::~FocusController() = default;

void FocusController::dropPendingWork() {
    // Everything deferred holds the old handle weakly and now finds nothing.
    self_ = std::make_shared<FocusController*>(this);
    pendingFocus.reset();
    quietFocus.reset();
    revealAfterClick.reset();
}

// ---------------------------------------------------------------------------
// Focus follows the strip

void FocusController::request(WindowID id, bool warp) {
    const WindowPtr window = manager_.windowRecord(id);
    if (!window) return;
    const double now = manager_.scheduler.now();
    // Activating an application that stalls while its windows are still
    // being moved freezes the slide; such applications wait until it ends.
    const bool defer = slowToActivate.count(window->bundleID) > 0 && manager_.animator.hasMotion();
    std::optional<WindowID> previous;
    if (manager_.focusedID && *manager_.focusedID != id) previous = manager_.focusedID;
    pendingFocus = PendingFocus{id, window->pid, previous,
                                now + kRequestWindow + (defer ? manager_.config.animationDuration : 0),
                                false};
    manager_.focusedID = id;
    focusedPid = window->pid;
    if (!defer) {
        activate(window, warp);
        return;
    }
    Log::focus([&] { return window->tag() + " is slow to activate: focusing it after the slide"; });
    manager_.overlays.refresh();
    std::weak_ptr<FocusController*> weak = self_;
    manager_.scheduler.after(manager_.config.animationDuration + kAfterSlide, [weak, window, warp] {
        FocusController* self = lock(weak);
        if (!self || !self->pendingFocus || self->pendingFocus->id != window->id) return;
        // A window closed meanwhile is not worth activating its application for.
        if (self->manager_.windowRecord(window->id) != window) return;
        self->activate(window, warp);
    });
}

void FocusController::activate(const std::shared_ptr<ManagedWindow>& window, bool warp) {
    if (!window) return;
    const double start = manager_.scheduler.now();
    const WindowID id = window->id;
    const ProcessID pid = window->pid;
    if (!manager_.system.focus(id, pid)) manager_.system.activate(pid);
    manager_.system.raise(window->handle, pid);
    if (warp && manager_.config.mouseFollowsFocus) {
        // Where the window is headed, not where it is: it may still be sliding in.
        if (const std::optional<Rect> target = manager_.animator.target(id)) {
            manager_.input.warpPointer(target->centre());
        }
    }
    manager_.overlays.refresh();

    const int activation = ++activations_;
    scheduleConfirm(id, 0, kConfirmDelay, activation);

    std::weak_ptr<FocusController*> weak = self_;
    manager_.scheduler.after(kSluggishCheck, [weak, window, start] {
        FocusController* self = lock(weak);
        if (!self) return;
        const double elapsed = self->manager_.scheduler.now() - start;
        if (self->manager_.writer.wasSluggish(window->pid, elapsed)) self->learnSlow(window->bundleID);
    });
}

void FocusController::learnSlow(const std::string& bundleID) {
    // Without a bundle identifier every such application would share one entry.
    if (bundleID.empty() || !slowToActivate.insert(bundleID).second) return;
    Log::focus([&] {
        return bundleID + " stalls when activated; it gets focus after windows settle from now on";
    });
    nlohmann::json list = nlohmann::json::array();
    for (const std::string& app : slowToActivate) list.push_back(app);
    manager_.defaults.setValue(kSlowKey, list);
}

void FocusController::scheduleConfirm(WindowID id, int attempt, double delay, int activation) {
    std::weak_ptr<FocusController*> weak = self_;
    manager_.scheduler.after(delay, [weak, id, attempt, activation] {
        FocusController* self = lock(weak);
        // A newer activation of the same window runs its own checks; two
        // chains would ask a busy application twice as often.
        if (!self || activation != self->activations_) return;
        self->confirm(id, attempt);
    });
}

void FocusController::confirm(WindowID id, int attempt) {
    if (!pendingFocus || pendingFocus->id != id) return;
    const ProcessID pid = pendingFocus->pid;
    const WindowPtr window = manager_.windowRecord(id);
    if (manager_.writer.isBusy(pid) && attempt < kBusyAttempts && window) {
        Log::focus([&] {
            return window->tag() + " is busy; asking for focus again (" + std::to_string(attempt + 1) + ")";
        });
        pendingFocus->until = manager_.scheduler.now() + kRequestWindow;
        manager_.system.focus(id, pid);
        scheduleConfirm(id, attempt + 1, kBusyInterval, activations_);
        return;
    }
    pendingFocus.reset();
    if (const std::optional<ProcessID> front = manager_.system.frontmostApp()) {
        focusChanged(*front, true, false);
    }
}

// ---------------------------------------------------------------------------
// The strip follows focus

void FocusController::focusChanged(ProcessID pid, bool activated, bool reveal) {
    if (!manager_.running) return;
    bool knownFront = false;
    if (activated) {
        // The window server's ordered list answers at once; the application's
        // own answer below may take a while and corrects it if need be.
        const std::optional<WindowID> front = manager_.system.frontWindow(pid);
        if (front && manager_.windowRecord(*front)) {
            knownFront = true;
            apply(*front, pid, std::nullopt, true, reveal, ++requests);
        }
    } else if (manager_.system.frontmostApp() != pid) {
        return;  // a background application moving its own focus changes nothing
    }

    if (!manager_.system.isConnected(pid)) {
        // Without an observer there is no better answer than the fast path's;
        // forgetting the focus it just found would leave no window focused.
        if (activated && !knownFront) manager_.focusedID.reset();
        manager_.overlays.refresh();
        return;
    }
    const int number = ++requests;
    std::weak_ptr<FocusController*> weak = self_;
    manager_.system.focusedWindow(pid, [weak, pid, activated, reveal, number](
                                           std::optional<WindowHandle> handle, std::optional<WindowID> id) {
        FocusController* self = lock(weak);
        if (!self || !self->manager_.running || number <= self->applied) return;
        if (handle && id) {
            self->apply(*id, pid, std::move(handle), activated, reveal, number);
            return;
        }
        const bool waiting = self->pendingFocus && self->pendingFocus->pid == pid;
        if (activated && !waiting) self->manager_.focusedID.reset();
        self->manager_.overlays.refresh();
    });
}

bool FocusController::accepts(const PendingFocus& pending, ProcessID pid, bool activated) const {
    const bool recentClick = manager_.scheduler.now() - manager_.lastClick < kClickWindow;
    if (activated && pid != pending.pid) {
        // Another application came forward. If it is the one the request just
        // left, it is most likely stealing focus back, unless the user clicked it.
        std::optional<ProcessID> previousApp;
        if (pending.previous) {
            if (const WindowPtr previous = manager_.windowRecord(*pending.previous)) previousApp = previous->pid;
        }
        return previousApp != pid || recentClick;
    }
    return recentClick;
}

void FocusController::apply(WindowID id, ProcessID pid, std::optional<WindowHandle> handle,
                            bool activated, bool reveal, int request) {
    if (!manager_.running || request <= applied) return;
    const double now = manager_.scheduler.now();
    if (pendingFocus && id != pendingFocus->id && now < pendingFocus->until &&
        !accepts(*pendingFocus, pid, activated)) {
        PendingFocus& pending = *pendingFocus;
        if (pending.previous && id == *pending.previous && !pending.retried) {
            if (const WindowPtr asked = manager_.windowRecord(pending.id)) {
                pending.retried = true;
                Log::focus([&] { return "focus bounced back from " + asked->tag() + "; asking again"; });
                manager_.system.focus(pending.id, pending.pid);
            }
        }
        return;
    }
    if (pendingFocus && (id == pendingFocus->id || pendingFocus->until <= now)) pendingFocus.reset();

    applied = request;
    manager_.focusedID = id;
    focusedPid = pid;

    const WindowPtr window = manager_.windowRecord(id);
    if (!window) {
        // A focused window the tracker missed: it is taken on now.
        if (!handle) return;
        std::weak_ptr<FocusController*> weak = self_;
        manager_.system.facts(*handle, pid, [weak, pid](std::optional<WindowFacts> facts) {
            if (FocusController* self = lock(weak)) self->manager_.tracker().windowCreated(std::move(facts), pid, 0);
        });
        return;
    }
    const auto strip = window->key ? manager_.strips.find(*window->key) : manager_.strips.end();
    if (window->state != State::tiled || strip == manager_.strips.end()) {
        manager_.overlays.refresh();
        return;
    }
    if (logged != id) {
        logged = id;
        Log::focus([&] { return "focus is on " + window->tag(); });
    }
    const StripKey key = *window->key;
    manager_.activeKey = key;
    strip->second.focusWindow(id);

    // Scrolling under a held button would pull the window away from the
    // pointer pressing on it; the reveal waits for the release.
    Policy policy = Policy::keep;
    if (manager_.input.pressedButtons() & 1) {
        if (reveal) revealAfterClick = id;
    } else if (reveal) {
        const bool quiet = quietFocus && quietFocus->id == id && now < quietFocus->until;
        policy = quiet ? Policy::keep : Policy::reveal;
    }
    manager_.relayout({key}, true, policy, true, false);
}

// ---------------------------------------------------------------------------
// Pointer

void FocusController::mouseReleased() {
    if (!revealAfterClick) return;
    const WindowID id = *revealAfterClick;
    revealAfterClick.reset();
    // A drag that started from the click places the window itself.
    if (manager_.dragging() || manager_.focusedID != id) return;
    const WindowPtr window = manager_.windowRecord(id);
    if (!window || !window->key) return;
    manager_.relayout({*window->key}, true, Policy::reveal, true, false);
}

void FocusController::pointerMoved() {
    const double now = manager_.scheduler.now();
    if (now - lastPointerCheck <= kPointerThrottle) return;
    // While the strip moves under the pointer (a swipe, a wheel step, a
    // drag) or a button is held, the window under it is not the user's choice.
    const ScrollController& scroll = manager_.scroll();
    if (manager_.dragging() || scroll.key || scroll.stepping || manager_.input.pressedButtons() != 0) return;
    lastPointerCheck = now;

    const std::optional<WindowID> top = manager_.system.topWindow(manager_.input.pointer());
    const WindowPtr window = top ? manager_.windowRecord(*top) : nullptr;
    if (!window || window->state != State::tiled || !window->key) return;
    if (!manager_.isActive(*window->key) || manager_.focusedID == window->id) return;

    const StripKey key = *window->key;
    if (auto strip = manager_.strips.find(key); strip != manager_.strips.end()) {
        strip->second.focusWindow(window->id);
    }
    manager_.activeKey = key;
    // The window is already where the pointer found it; scrolling to it
    // would move it away from under the pointer.
    quietFocus = QuietFocus{window->id, now + kQuietTime};
    request(window->id, false);
}

}  // namespace tessaline
