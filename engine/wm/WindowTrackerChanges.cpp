// The window tracker's state changes: minimise and restore, applications
// that quit, hide and come back, resizes the program did not make, full
// screen, and reclassification when the settings change.

#include <algorithm>
#include <cmath>

#include "core/Parking.h"
#include "engine/wm/Animator.h"
#include "engine/wm/DragController.h"
#include "engine/wm/FocusController.h"
#include "engine/log/Log.h"
#include "engine/wm/WindowManager.h"
#include "engine/wm/WindowTracker.h"
#include "engine/wm/WindowTrackerSupport.h"

namespace tessaline {

using namespace tracking;

// ---------------------------------------------------------------------------
// Minimise and restore

void WindowTracker::setMinimized(const WindowPtr& window, bool minimized) {
    if (!minimized) {
        if (window->state != State::minimized) return;
        std::weak_ptr<WindowTracker*> weak = self_;
        readFacts(window, kFactsAttempts, [weak, window](const WindowFacts& facts) {
            if (WindowTracker* self = lockTracker(weak)) self->unminimize(window, facts);
        });
        return;
    }
    const bool wasTiled = window->state == State::tiled;
    manager_.rememberSlot(*window);
    window->state = State::minimized;
    manager_.animator.invalidate(window->id);
    Log::windows([&] { return window->tag() + " minimized"; });
    if (!wasTiled) return;
    if (auto key = manager_.removeFromStrip(*window)) relayout(manager_, {*key}, true, Policy::reveal);
}

std::optional<StripKey> WindowTracker::comeBack(const WindowPtr& window, const WindowFacts& facts,
                                                State from) {
    if (!isCurrent(window) || window->state != from) return std::nullopt;
    window->state = classify(*window, facts);
    if (window->state != State::tiled) return std::nullopt;
    // Back to the strip it left while that strip is on screen, else where it stands now.
    if (!window->key || !manager_.isActive(*window->key)) window->key = keyFor(*window, facts);
    if (!window->key) window->state = State::floating;
    return window->key;
}

void WindowTracker::unminimize(const WindowPtr& window, const WindowFacts& facts) {
    const auto back = comeBack(window, facts, State::minimized);
    if (!back) return;
    const StripKey key = *back;
    Log::windows([&] { return window->tag() + " back from the Dock"; });
    manager_.insertAtSlot(*window, true);
    relayout(manager_, {key}, true, Policy::reveal);
}

// ---------------------------------------------------------------------------
// Applications

void WindowTracker::appTerminated(ProcessID pid) {
    manager_.system.disconnect(pid);
    manager_.writer.forget(pid);
    std::vector<StripKey> keys;
    for (const WindowPtr& window : windowsOf(manager_, pid)) {
        forget(*window);
        // Nothing of a quit application may stay behind, not even the focus.
        if (manager_.focusedID == window->id) manager_.focusedID.reset();
        if (window->state != State::tiled || !window->key) continue;
        auto strip = manager_.strips.find(*window->key);
        if (strip != manager_.strips.end() && strip->second.remove(window->id)) addKey(keys, *window->key);
    }
    // The focus may also name a window of this application that was reported
    // focused before the tracker took it on.
    if (manager_.focusedID && manager_.focus().focusedPid == pid) manager_.focusedID.reset();
    if (!keys.empty()) relayout(manager_, keys, true, Policy::reveal);
}

void WindowTracker::appHidden(ProcessID pid, bool hidden) {
    if (!hidden) {
        std::weak_ptr<WindowTracker*> weak = self_;
        for (const WindowPtr& window : windowsOf(manager_, pid)) {
            if (window->state != State::hidden) continue;
            readFacts(window, kFactsAttempts, [weak, window](const WindowFacts& facts) {
                if (WindowTracker* self = lockTracker(weak)) self->unhide(window, facts);
            });
        }
        return;
    }
    std::vector<StripKey> keys;
    for (const WindowPtr& window : windowsOf(manager_, pid)) {
        if (window->state != State::tiled) continue;
        if (auto key = manager_.removeFromStrip(*window)) addKey(keys, *key);
        window->state = State::hidden;
        manager_.animator.invalidate(window->id);
    }
    if (!keys.empty()) relayout(manager_, keys, true, Policy::reveal);
}

void WindowTracker::unhide(const WindowPtr& window, const WindowFacts& facts) {
    const auto back = comeBack(window, facts, State::hidden);
    if (!back) return;
    const StripKey key = *back;
    Strip& strip = manager_.strips[key];
    if (!strip.contains(window->id)) strip.insertWindow(window->id, manager_.config.defaultWidth, std::nullopt, false);
    relayout(manager_, {key}, true, Policy::reveal);
}

// ---------------------------------------------------------------------------
// Resizes the program did not make, full screen

void WindowTracker::moved(const WindowPtr& window, bool resized) {
    const bool tiled = window->state == State::tiled;
    const bool fullScreen = window->state == State::fullscreen;
    // The drag controller hears of it first: a drag it starts now follows the
    // window from here on, and the checks below leave it alone.
    manager_.drag().windowMoved(window);
    if (resized && (tiled || fullScreen) && manager_.dragging() != window->id) {
        // A size the program just wrote comes back as a resize notice; asking
        // about full screen for each of those would flood a slow application.
        if (fullScreen || !manager_.writer.resizedRecently(window->id, kOwnWriteWindow))
            scheduleFullScreenCheck(window);
        // A window the user holds without a drag (one could not start, say
        // during a swipe) is looked at once the button comes up.
        if (tiled) scheduleResizeCheck(window);
    }
}

void WindowTracker::scheduleFullScreenCheck(const WindowPtr& window) {
    if (!fullScreenChecks.insert(window->id).second) return;
    std::weak_ptr<WindowTracker*> weak = self_;
    manager_.system.isFullScreen(window->handle, window->pid, [weak, window](bool isFullScreen) {
        WindowTracker* self = lockTracker(weak);
        if (!self) return;
        self->fullScreenChecks.erase(window->id);
        self->fullScreenChanged(window, isFullScreen);
    });
}

void WindowTracker::scheduleResizeCheck(const WindowPtr& window) {
    if (!resizeChecks.insert(window->id).second) return;
    std::weak_ptr<WindowTracker*> weak = self_;
    manager_.scheduler.after(kResizeCheckDelay, [weak, window] {
        WindowTracker* self = lockTracker(weak);
        if (!self) return;
        self->resizeChecks.erase(window->id);
        WindowManager& manager = self->manager_;
        if (!self->isCurrent(window) || window->state != State::tiled) return;
        if (manager.dragging() == window->id) return;  // the drag follows it
        if (manager.dragging() || manager.animator.isMoving(window->id) ||
            manager.writer.resizedRecently(window->id, kOwnSizeWindow) || manager.drag().inHand(*window)) {
            // Most likely the echo of a size of ours, but the application may
            // have resized the window at the same moment: look again once the
            // engine and the user (holding it, or dragging another window)
            // have left it alone, when the frame can be told from the one
            // written.
            // Otherwise the engine would go on believing the size it last
            // sent and write only positions from then on.
            self->scheduleResizeCheck(window);
            return;
        }
        const std::optional<Rect> target = manager.animator.target(window->id);
        manager.system.frame(window->handle, window->pid, [weak, window, target](std::optional<Rect> frame) {
            WindowTracker* self = lockTracker(weak);
            if (!self || !self->isCurrent(window) || !frame) return;
            self->manager_.system.isFullScreen(window->handle, window->pid,
                                               [weak, window, frame, target](bool fullScreen) {
                WindowTracker* self = lockTracker(weak);
                if (!self) return;
                const WindowManager& manager = self->manager_;
                const auto dragged = manager.dragging();
                if (manager.animator.isMoving(window->id) || manager.animator.target(window->id) != target ||
                    (dragged && *dragged != window->id)) {
                    // The engine moved the window after the frame was read (a
                    // write of ours may land after the answer, which then
                    // tells where the window was, not where it is), or a drag
                    // of another window began: look again later.
                    if (self->isCurrent(window) && window->state == State::tiled) self->scheduleResizeCheck(window);
                    return;
                }
                self->resizedOnItsOwn(window, frame, fullScreen);
            });
        });
    });
}

void WindowTracker::resizedOnItsOwn(const WindowPtr& window, std::optional<Rect> frame, bool fullScreen) {
    if (fullScreen || !frame || !isCurrent(window) || window->state != State::tiled ||
        manager_.dragging()) {
        return;
    }
    auto expected = manager_.writer.appliedFrame(window->id);
    if (!expected) expected = manager_.animator.current(window->id);
    if (!expected || !window->key) return;
    const StripKey key = *window->key;
    auto strip = manager_.strips.find(key);
    auto display = manager_.displayByUUID(key.display);
    if (std::fabs(frame->width - expected->width) <= kResizeTolerance &&
        std::fabs(frame->height - expected->height) <= kResizeTolerance) {
        return;
    }
    if (strip == manager_.strips.end() || !display) {
        // Not laid out yet (its discovery still waits for another application)
        // or its display is gone: there is no column to adopt the size, but
        // the next layout must know the window's real size, or it would write
        // only a position and leave the window the size it chose.
        manager_.animator.assume(window->id, *frame);
        manager_.writer.noteApplied(window->id, *frame);
        return;
    }

    Log::layout([&] { return window->tag() + " resized itself to " + sizeText(frame->size()); });
    manager_.animator.assume(window->id, *frame);
    manager_.writer.noteApplied(window->id, *frame);
    std::optional<Column> before;
    if (auto location = strip->second.locate(window->id))
        before = strip->second.columns[static_cast<std::size_t>(location->column)];
    manager_.adoptSize(*frame, window->id, strip->second, *display, before ? &*before : nullptr);
    strip->second.focusWindow(window->id);
    relayout(manager_, {key}, true, Policy::nudge);
    manager_.overlays.refresh();
}

void WindowTracker::fullScreenChanged(const WindowPtr& window, bool isFullScreen) {
    if (!isCurrent(window)) return;
    if (!isFullScreen) {
        if (window->state != State::fullscreen) return;
        std::weak_ptr<WindowTracker*> weak = self_;
        manager_.scheduler.after(kFullScreenReturnDelay, [weak, window] {
            if (WindowTracker* self = lockTracker(weak)) self->returnFromFullScreen(window);
        });
        return;
    }
    if (window->state != State::tiled) return;
    Log::windows([&] { return window->tag() + " went full screen"; });
    manager_.rememberSlot(*window);
    const auto key = manager_.removeFromStrip(*window);
    window->state = State::fullscreen;
    manager_.animator.invalidate(window->id);
    if (key) relayout(manager_, {*key}, false, Policy::reveal);
}

void WindowTracker::returnFromFullScreen(const WindowPtr& window) {
    if (!isCurrent(window) || window->state != State::fullscreen) return;
    std::weak_ptr<WindowTracker*> weak = self_;
    manager_.system.facts(window->handle, window->pid, [weak, window](std::optional<WindowFacts> facts) {
        WindowTracker* self = lockTracker(weak);
        if (!self || !self->isCurrent(window) || window->state != State::fullscreen || !facts ||
            facts->fullScreen) {
            return;
        }
        WindowManager& manager = self->manager_;
        window->state = self->classify(*window, *facts);
        if (window->state != State::tiled) return;
        // The Space the window left may be gone: the key is always found anew.
        window->key = self->keyFor(*window, *facts);
        if (!window->key) {
            window->state = State::floating;
            return;
        }
        const StripKey key = *window->key;
        Log::windows([&] { return window->tag() + " left full screen"; });
        manager.animator.invalidate(window->id);
        manager.insertAtSlot(*window, true);
        relayout(manager, {key}, false, Policy::reveal);
    });
}

// ---------------------------------------------------------------------------
// Settings changes

void WindowTracker::reclassify() {
    if (!live()) return;
    std::vector<WindowPtr> candidates;
    for (const auto& [id, window] : manager_.windows)
        if (window->state == State::tiled || window->state == State::floating) candidates.push_back(window);
    std::weak_ptr<WindowTracker*> weak = self_;
    for (const WindowPtr& window : candidates) {
        manager_.system.facts(window->handle, window->pid, [weak, window](std::optional<WindowFacts> facts) {
            WindowTracker* self = lockTracker(weak);
            if (self && facts && self->isCurrent(window)) self->reclassified(window, *facts);
        });
    }
}

void WindowTracker::reclassified(const WindowPtr& window, const WindowFacts& facts) {
    const bool tiled = window->state == State::tiled;
    if (!tiled && window->state != State::floating) return;
    const auto& disabled = manager_.config.disabledDisplays;
    const bool onDisabled = window->key && std::find(disabled.begin(), disabled.end(),
                                                     window->key->display) != disabled.end();
    const bool shouldTile = !onDisabled && classify(*window, facts) == State::tiled;
    if (tiled == shouldTile) return;

    if (shouldTile) {
        auto key = keyFor(*window, facts);
        if (!key) return;
        window->key = key;
        window->state = State::tiled;
        Strip& strip = manager_.strips[*key];
        if (!strip.contains(window->id))
            strip.insertWindow(window->id, manager_.config.defaultWidth, std::nullopt, false);
        relayout(manager_, {*key}, true, Policy::keep);
        return;
    }

    const auto removed = manager_.removeFromStrip(*window);
    window->state = State::floating;
    manager_.animator.invalidate(window->id);
    if (facts.frame) {
        // A tiled window may have been parked off screen: bring it back where
        // the user can reach it.
        std::optional<Display> display;
        if (window->key) display = manager_.displayByUUID(window->key->display);
        if (!display) display = manager_.displayFor(*facts.frame);
        if (display) {
            const Rect fitted = Parking::fit(*facts.frame, display->visible);
            if (fitted != *facts.frame) manager_.system.setFrame(window->handle, window->pid, fitted);
        }
    }
    if (removed) relayout(manager_, {*removed}, true, Policy::keep);
}

}  // namespace tessaline
