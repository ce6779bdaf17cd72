// The window manager's view of displays and Spaces: which Space each display
// shows, windows that follow the user to another Space, strips whose display
// went away, and the lookups from UUIDs, points and rectangles to displays.

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "engine/wm/Animator.h"
#include "engine/wm/FocusController.h"
#include "engine/log/Log.h"
#include "engine/session/SessionController.h"
#include "engine/wm/WindowManager.h"
#include "engine/wm/WindowTracker.h"

namespace tessaline {

namespace {

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Sorted and without repeats: two display lists name the same setup when these agree.
std::vector<std::string> uuidsOf(const std::vector<Display>& displays) {
    std::vector<std::string> uuids;
    uuids.reserve(displays.size());
    for (const Display& display : displays) uuids.push_back(display.uuid);
    std::sort(uuids.begin(), uuids.end());
    uuids.erase(std::unique(uuids.begin(), uuids.end()), uuids.end());
    return uuids;
}

double intersectionArea(const Rect& a, const Rect& b) {
    const double w = std::min(a.maxX(), b.maxX()) - std::max(a.x, b.x);
    const double h = std::min(a.maxY(), b.maxY()) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

// Euclidean distance from a point to a rectangle; 0 inside it.
double distance(Point p, const Rect& r) {
    const double dx = std::max({r.x - p.x, 0.0, p.x - r.maxX()});
    const double dy = std::max({r.y - p.y, 0.0, p.y - r.maxY()});
    return std::hypot(dx, dy);
}

}  // namespace

// ---------------------------------------------------------------------------
// Spaces and displays

void WindowManager::refreshSpaces() {
    for (const Display& display : displays) currentSpace[display.uuid] = system.currentSpace(display.uuid);
}

void WindowManager::spaceChanged() {
    if (!running) return;
    refreshSpaces();
    Log::spaces("Space changed");
    reconcileSpaces();

    std::vector<WindowPtr> fullScreen;
    for (const auto& [id, window] : windows) {
        if (window->state == ManagedWindow::State::fullscreen) fullScreen.push_back(window);
    }
    for (const WindowPtr& window : fullScreen) tracker().returnFromFullScreen(window);

    relayout(activeKeys(), false, ScrollPolicy::reveal, true, false);
    if (auto pid = system.frontmostApp()) focus().focusChanged(*pid, true, true);

    std::vector<ProcessID> pids;
    for (const AppInfo& app : system.runningApps()) {
        if (system.isConnected(app.pid)) pids.push_back(app.pid);
    }
    std::weak_ptr<WindowManager> weak = weak_from_this();
    tracker().discover(pids, [weak, generation = generation_](std::vector<WindowPtr> found) {
        auto self = weak.lock();
        if (!self || !self->running || self->generation_ != generation || found.empty()) return;
        self->tracker().adopt(found);
        self->relayout(self->activeKeys(), false, ScrollPolicy::reveal, true, false);
    });
}

void WindowManager::reconcileSpaces() {
    if (!system.supportsSpaces()) return;
    std::weak_ptr<WindowManager> weak = weak_from_this();
    for (const auto& entry : windows) {
        const WindowPtr& window = entry.second;  // a plain name: lambdas below capture it
        if (window->state != ManagedWindow::State::tiled || !window->key) continue;
        const std::vector<SpaceID> spaces = system.spacesOf(entry.first);
        if (spaces.empty() || spaces.front() == window->key->space) continue;
        const SpaceID space = spaces.front();
        system.isFullScreen(window->handle, window->pid,
                            [weak, window, space, seen = *window->key,
                             generation = generation_](bool isFullScreen) {
            auto self = weak.lock();
            if (!self || !self->running || self->generation_ != generation) return;
            if (self->windowRecord(window->id) != window) return;
            if (window->state != ManagedWindow::State::tiled || window->key != seen) return;
            if (isFullScreen) {
                self->tracker().fullScreenChanged(window, true);
                return;
            }
            std::optional<Display> target;
            for (const Display& display : self->displays) {
                const auto shown = self->currentSpace.find(display.uuid);
                if (shown != self->currentSpace.end() && shown->second == space) {
                    target = display;
                    break;
                }
            }
            if (!target) target = self->displayByUUID(seen.display);
            if (!target) return;
            Log::spaces([&] { return window->tag() + " moved to another Space"; });

            double width = self->config.defaultWidth;
            if (const auto old = self->strips.find(seen); old != self->strips.end()) {
                if (const auto location = old->second.locate(window->id)) {
                    width = old->second.columns[static_cast<std::size_t>(location->column)].width;
                }
            }
            self->removeFromStrip(*window);
            const StripKey key{target->uuid, space};
            window->key = key;
            self->animator.invalidate(window->id);
            Strip& strip = self->strips[key];
            if (!strip.contains(window->id)) strip.insertWindow(window->id, width, std::nullopt, false);
            self->relayout(self->activeKeys(), false, ScrollPolicy::reveal, true, false);
        });
    }
}

void WindowManager::displaysChanged() {
    if (!running) return;
    const std::vector<Display> oldDisplays = displays;
    const auto oldSpaces = currentSpace;
    displays = system.displays();
    refreshSpaces();
    Log::spaces([&] {
        std::string names;
        for (const Display& display : displays) {
            if (!names.empty()) names += ", ";
            names += display.name;
        }
        return "displays changed: " + names;
    });

    const bool setupChanged = uuidsOf(oldDisplays) != uuidsOf(displays);
    if (setupChanged) session().rememberSetup(oldDisplays, oldSpaces);

    if (!displays.empty()) {
        const StripKey mainKey = keyOn(displays.front());
        std::vector<StripKey> orphans;
        for (const auto& [key, strip] : strips) {
            if (!displayByUUID(key.display)) orphans.push_back(key);
        }
        // Fold in a fixed order (as the displays stood, then by Space), so the
        // columns land the same way whatever the map's order.
        const auto rank = [&](const StripKey& key) {
            const auto at = std::find_if(oldDisplays.begin(), oldDisplays.end(),
                                         [&](const Display& d) { return d.uuid == key.display; });
            return std::make_tuple(at - oldDisplays.begin(), key.display, key.space);
        };
        std::sort(orphans.begin(), orphans.end(),
                  [&](const StripKey& a, const StripKey& b) { return rank(a) < rank(b); });
        for (const StripKey& orphanKey : orphans) {
            Strip orphan = std::move(strips[orphanKey]);
            strips.erase(orphanKey);
            Strip& main = strips[mainKey];
            const std::vector<WindowID> moved = orphan.windows();
            for (Column& column : orphan.columns) main.insertColumn(std::move(column), main.count(), false);
            for (WindowID id : moved) {
                if (WindowPtr window = windowRecord(id)) window->key = mainKey;
                // Forgotten, so the next relayout sends it whole on its new display.
                animator.invalidate(id);
            }
        }
    }

    // The system moves the windows of a display that went away onto one that
    // stayed, and those of a display that moved along with it. Which windows
    // those were cannot be told from their frames (a parked window lies
    // outside every display), so every frame is sent again.
    const bool moved = std::any_of(oldDisplays.begin(), oldDisplays.end(), [&](const Display& old) {
        const std::optional<Display> now = displayByUUID(old.uuid);
        return !now || now->frame.origin() != old.frame.origin();
    });
    if (moved) {
        for (const auto& [id, window] : windows) animator.invalidate(id);
    }

    if (setupChanged) session().restoreSetup(displays);
    relayout(activeKeys(), false, ScrollPolicy::reveal, true, false);
    if (onChange) onChange();
}

std::optional<Display> WindowManager::displayByUUID(const std::string& uuid) const {
    for (const Display& display : displays) {
        if (display.uuid == uuid) return display;
    }
    return std::nullopt;
}

std::optional<Display> WindowManager::displayAt(Point point) const {
    for (const Display& display : displays) {
        if (display.frame.contains(point)) return display;
    }
    return std::nullopt;
}

std::optional<Display> WindowManager::displayFor(Rect rect) const {
    const Display* best = nullptr;
    double bestArea = 0;
    for (const Display& display : displays) {
        const double area = intersectionArea(display.frame, rect);
        if (area > bestArea) {
            bestArea = area;
            best = &display;
        }
    }
    if (best) return *best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const Display& display : displays) {
        const double d = distance(rect.centre(), display.frame);
        if (d < bestDistance || !best) {
            bestDistance = d;
            best = &display;
        }
    }
    return best ? std::optional<Display>(*best) : std::nullopt;
}

StripKey WindowManager::keyOn(const Display& display) const {
    const auto shown = currentSpace.find(display.uuid);
    return {display.uuid, shown == currentSpace.end() ? SpaceID{0} : shown->second};
}

bool WindowManager::isActive(const StripKey& key) const {
    const auto shown = currentSpace.find(key.display);
    if ((shown == currentSpace.end() ? SpaceID{0} : shown->second) != key.space) return false;
    return displayByUUID(key.display) && !contains(config.disabledDisplays, key.display);
}

std::vector<StripKey> WindowManager::activeKeys() const {
    std::vector<StripKey> keys;
    keys.reserve(displays.size());
    for (const Display& display : displays) {
        if (!contains(config.disabledDisplays, display.uuid)) keys.push_back(keyOn(display));
    }
    return keys;
}

std::optional<StripKey> WindowManager::currentKey() const {
    const auto hasWindows = [&](const StripKey& key) {
        const auto found = strips.find(key);
        return found != strips.end() && !found->second.isEmpty();
    };
    if (activeKey && isActive(*activeKey) && hasWindows(*activeKey)) return activeKey;
    if (auto display = displayAt(input.pointer())) {
        const StripKey key = keyOn(*display);
        if (hasWindows(key)) return key;
    }
    for (const StripKey& key : activeKeys()) {
        if (hasWindows(key)) return key;
    }
    return std::nullopt;
}

}  // namespace tessaline
