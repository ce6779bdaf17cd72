// What the user's commands do: every action of the shortcut table and the
// command line, and the direct operations the overlays call (timeline tiles,
// tab bars, overview cards, drops). Each one edits a copy of a strip, stores
// it back when something really changed, relayouts and hands the focus on.

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Layout.h"
#include "engine/wm/Animator.h"
#include "engine/wm/FocusController.h"
#include "engine/log/Log.h"
#include "engine/wm/ScrollController.h"
#include "engine/wm/WindowManager.h"
#include "engine/wm/WindowTracker.h"

namespace tessaline {

namespace {

// Share of the viewport one wider/narrower or taller/shorter step moves.
constexpr double kSizeStep = 0.1;
// A floated window takes this share of the visible area, centred on it.
constexpr double kFloatWidthShare = 0.6;
constexpr double kFloatHeightShare = 0.7;
// Re-reading a floating window before tiling it may meet a busy application.
constexpr int kRetileAttempts = 3;

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The strip operation behind a strip-editing action; whether it changed anything.
// `centre` is handled by the caller: it needs the layout and always counts.
bool edit(Strip& strip, Action action, const std::vector<double>& presets) {
    if (const auto index = jumpIndex(action)) return strip.focusColumn(*index - 1);
    if (const auto index = moveIndex(action)) return strip.moveColumnTo(*index - 1);
    switch (action) {
        case Action::focusLeft: return strip.focusLeft();
        case Action::focusRight: return strip.focusRight();
        case Action::focusUp: return strip.focusUp();
        case Action::focusDown: return strip.focusDown();
        case Action::focusFirst: return strip.focusFirst();
        case Action::focusLast: return strip.focusLast();
        case Action::moveLeft: return strip.moveColumnBy(-1);
        case Action::moveRight: return strip.moveColumnBy(+1);
        case Action::moveUp: return strip.moveWindowVertically(-1);
        case Action::moveDown: return strip.moveWindowVertically(+1);
        case Action::moveFirst: return strip.moveColumnTo(0);
        case Action::moveLast: return strip.moveColumnTo(strip.count() - 1);
        case Action::cycleWidth: return strip.cycleWidth(presets);
        case Action::fullWidth: return strip.toggleFullWidth();
        case Action::wider: return strip.adjustWidth(+kSizeStep);
        case Action::narrower: return strip.adjustWidth(-kSizeStep);
        case Action::taller: return strip.adjustHeight(+kSizeStep);
        case Action::shorter: return strip.adjustHeight(-kSizeStep);
        case Action::equalizeHeights: return strip.equalizeHeights();
        case Action::stackLeft: return strip.stack(Direction::left);
        case Action::stackRight: return strip.stack(Direction::right);
        case Action::popOutLeft: return strip.popOut(Direction::left);
        case Action::popOutRight: return strip.popOut(Direction::right);
        case Action::toggleTabbed: return strip.toggleTabbed();
        default: return false;
    }
}

// The frame a window gets when it leaves the strip: 60 % by 70 % of the
// visible area, centred on it, in whole points.
Rect floatingFrame(const Rect& visible) {
    const double w = std::round(visible.width * kFloatWidthShare);
    const double h = std::round(visible.height * kFloatHeightShare);
    const double midX = visible.x + visible.width * 0.5;
    const double midY = visible.y + visible.height * 0.5;
    return Rect{std::round(midX - w * 0.5), std::round(midY - h * 0.5), w, h};
}

}  // namespace

// ---------------------------------------------------------------------------
// perform

void WindowManager::perform(Action action) {
    // Releasing the chord after a command must not open the timeline.
    chord().used = true;

    if (action == Action::toggleTiling) {
        running ? stop() : start();
        return;
    }
    if (!running) return;

    switch (action) {
        case Action::overview:
            toggleOverview();
            return;
        case Action::toggleTimeline:
            if (overlays.timelineOpen()) {
                overlays.closeTimeline();
            } else if (const auto key = currentKey()) {
                // A peek pinned at once is the timeline left open.
                overlays.beginTimelinePeek(*key);
                overlays.endTimelinePeek(true);
            }
            return;
        case Action::toggleFloat:
            toggleFloat();
            return;
        case Action::sendToNextDisplay:
            sendToNextDisplay();
            return;
        default:
            break;
    }

    const auto key = currentKey();
    if (!key) return;
    const auto found = strips.find(*key);
    if (found == strips.end()) return;
    const auto display = displayByUUID(key->display);
    if (!display) return;
    const double viewportWidth = display->visible.width;

    const Strip before = found->second;
    Strip strip = before;
    bool changed = false;
    ScrollPolicy policy = ScrollPolicy::reveal;
    if (action == Action::centre) {
        Layout::centreFocused(strip, viewportWidth, layoutConfig(), minWidths);
        changed = true;
        // The reveal rule would replace the centred offset: a column wider than
        // the screen would go back to the left edge.
        policy = ScrollPolicy::keep;
    } else {
        changed = edit(strip, action, config.presetWidths);
    }
    // A width a window refuses must not survive into the stored strip.
    Layout::clampToMinimumWidths(strip, viewportWidth, config.gap, minWidths);

    if (changed && strip != before) {
        Log::layout([&] { return toString(action); });
        strips[*key] = strip;
        activeKey = *key;
        relayout({*key}, true, policy, true, false);
        if (const auto id = strip.focusedWindow()) focus().request(*id, true);
    }
    // Even a step against the edge shows where the user stands.
    if (showsStrip(action)) overlays.showStrip(*key, false);
}

// ---------------------------------------------------------------------------
// Overview

void WindowManager::toggleOverview() {
    if (!running) return;
    if (overlays.overviewOpen()) {
        overlays.closeOverview();
        return;
    }
    const auto key = currentKey();
    if (!key) return;
    const auto found = strips.find(*key);
    if (found == strips.end() || found->second.isEmpty()) return;
    // The two never show together: the overview takes the whole screen.
    overlays.closeTimeline();
    overlays.showOverview(*key);
}

// ---------------------------------------------------------------------------
// Floating and tiling

void WindowManager::toggleFloat() {
    if (focusedID) {
        if (const WindowPtr window = windowRecord(*focusedID)) {
            toggleFloat(window);
            return;
        }
    }
    // The engine has no focused window of its own (a floating window of an
    // application it never saw focused): ask the platform which one it is.
    const auto pid = system.frontmostApp();
    if (!pid || !system.isConnected(*pid)) return;
    std::weak_ptr<WindowManager> weak = weak_from_this();
    system.focusedWindow(*pid, [weak](std::optional<WindowHandle>, std::optional<WindowID> id) {
        const auto self = weak.lock();
        if (!self || !id) return;
        if (const WindowPtr window = self->windowRecord(*id)) self->toggleFloat(window);
    });
}

void WindowManager::toggleFloat(const WindowPtr& window) {
    if (!window) return;
    switch (window->state) {
        case ManagedWindow::State::tiled: {
            Log::layout([&] { return window->tag() + " floats"; });
            const auto left = removeFromStrip(*window);
            window->state = ManagedWindow::State::floating;
            window->manualFloat = true;
            animator.invalidate(window->id);

            std::optional<Display> display;
            if (left) display = displayByUUID(left->display);
            if (!display && !displays.empty()) display = displays.front();
            if (display) send(window->id, floatingFrame(display->visible), true);

            if (left) relayout({*left}, true, ScrollPolicy::keep, true, false);
            focus().request(window->id, false);
            return;
        }
        case ManagedWindow::State::floating: {
            std::weak_ptr<WindowManager> weak = weak_from_this();
            tracker().readFacts(window, kRetileAttempts, [weak, window](const WindowFacts& facts) {
                const auto self = weak.lock();
                if (!self || window->state != ManagedWindow::State::floating) return;
                // The window may have closed while its facts were read.
                if (self->windowRecord(window->id) != window) return;
                // A floating window's trip to full screen or the Dock, or the
                // hiding of its application, is not followed; tiling it now
                // would put it into a strip in that state. The choice is kept:
                // it tiles when it comes back.
                const auto app = self->system.app(window->pid);
                const bool hidden = app && app->isHidden;
                if (facts.minimized || facts.fullScreen || hidden) {
                    window->manualFloat = false;
                    window->state = facts.minimized    ? ManagedWindow::State::minimized
                                    : facts.fullScreen ? ManagedWindow::State::fullscreen
                                                       : ManagedWindow::State::hidden;
                    return;
                }
                const auto key = self->tracker().keyFor(*window, facts);
                if (!key) return;
                Log::layout([&] { return window->tag() + " tiles again"; });
                window->key = *key;
                window->state = ManagedWindow::State::tiled;
                window->manualFloat = false;
                Strip& strip = self->strips[*key];
                if (!strip.contains(window->id)) {
                    strip.insertWindow(window->id, self->config.defaultWidth, std::nullopt, true);
                    self->activeKey = *key;
                }
                self->relayout({*key}, true, ScrollPolicy::reveal, true, false);
                self->focus().request(window->id, false);
            });
            return;
        }
        case ManagedWindow::State::minimized:
        case ManagedWindow::State::fullscreen:
        case ManagedWindow::State::hidden:
            return;
    }
}

// ---------------------------------------------------------------------------
// Displays

void WindowManager::sendToNextDisplay() {
    std::vector<const Display*> candidates;
    for (const Display& display : displays) {
        if (!contains(config.disabledDisplays, display.uuid)) candidates.push_back(&display);
    }
    if (candidates.size() < 2) return;

    const auto key = currentKey();
    if (!key) return;
    const auto found = strips.find(*key);
    if (found == strips.end()) return;
    const auto id = found->second.focusedWindow();
    if (!id) return;
    const WindowPtr window = windowRecord(*id);
    if (!window) return;

    const auto here = std::find_if(candidates.begin(), candidates.end(),
                                   [&](const Display* d) { return d->uuid == key->display; });
    if (here == candidates.end()) return;
    const auto next = std::next(here);
    const Display target = *(next == candidates.end() ? candidates.front() : *next);

    Log::layout([&] { return window->tag() + " sent to " + target.name; });
    const Column* column = found->second.focusedColumn();
    const double width = column ? column->width : config.defaultWidth;
    found->second.remove(*id);

    const StripKey newKey = keyOn(target);
    window->key = newKey;
    animator.invalidate(*id);
    Strip& destination = strips[newKey];
    if (!destination.contains(*id)) {
        destination.insertWindow(*id, width, std::nullopt, true);
        activeKey = newKey;
    }
    relayout({*key, newKey}, true, ScrollPolicy::reveal, true, false);
    focus().request(*id, true);
}

// ---------------------------------------------------------------------------
// Operations of the overlays

void WindowManager::focusWindow(WindowID id, const StripKey& key) {
    if (!running) return;
    const auto found = strips.find(key);
    if (found == strips.end() || !found->second.contains(id)) return;
    found->second.focusWindow(id);
    activeKey = key;
    // Also when the focus stayed: a click on the current tile brings it into view.
    relayout({key}, true, ScrollPolicy::reveal, true, false);
    focus().request(id, false);
}

void WindowManager::focusColumn(int index, const StripKey& key) {
    if (!running) return;
    const auto found = strips.find(key);
    if (found == strips.end() || index < 0 || index >= found->second.count()) return;
    found->second.focusColumn(index);
    activeKey = key;
    relayout({key}, true, ScrollPolicy::reveal, true, false);
    const auto it = strips.find(key);
    if (it != strips.end()) {
        if (const auto id = it->second.focusedWindow()) focus().request(*id, false);
    }
    overlays.showStrip(key, false);
}

void WindowManager::selectTab(const StripKey& key, int column, int index) {
    const auto found = strips.find(key);
    if (found == strips.end() || column < 0 || column >= found->second.count()) return;
    const Column& chosen = found->second.columns[static_cast<std::size_t>(column)];
    if (index < 0 || index >= static_cast<int>(chosen.windows.size())) return;
    const WindowID id = chosen.windows[static_cast<std::size_t>(index)];
    found->second.focusWindow(id);
    activeKey = key;
    relayout({key}, true, ScrollPolicy::reveal, true, false);
    focus().request(id, false);
}

void WindowManager::drop(WindowID id, const DropTarget& target, const StripKey& key) {
    if (!running) return;
    const auto found = strips.find(key);
    if (found == strips.end()) return;
    Strip strip = found->second;
    if (!strip.move(id, target)) return;
    Log::layout([&] { return "window #" + std::to_string(id) + " moved in the timeline"; });
    found->second = std::move(strip);
    activeKey = key;
    relayout({key}, true, ScrollPolicy::reveal, true, false);
    focus().request(id, false);
}

}  // namespace tessaline
