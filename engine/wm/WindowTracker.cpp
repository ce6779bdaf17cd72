#include "engine/wm/WindowTracker.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "engine/wm/Animator.h"
#include "engine/wm/DragController.h"
#include "engine/wm/FocusController.h"
#include "engine/log/Log.h"
#include "engine/session/SessionController.h"
#include "engine/wm/WindowManager.h"
#include "engine/wm/WindowTrackerSupport.h"

namespace tessaline {

using namespace tracking;

WindowTracker::WindowTracker(WindowManager& manager)
    : manager_(manager), self_(std::make_shared<WindowTracker*>(this)) {}

WindowTracker::~WindowTracker() = default;

bool WindowTracker::live() const { return manager_.running; }

void WindowTracker::dropPendingWork() {
    // Everything deferred holds the old handle weakly and now finds nothing.
    self_ = std::make_shared<WindowTracker*>(this);
    resizeChecks.clear();
    fullScreenChecks.clear();
}

bool WindowTracker::isCurrent(const WindowPtr& window) const {
    if (!window || !manager_.running) return false;
    auto found = manager_.windows.find(window->id);
    return found != manager_.windows.end() && found->second == window;
}

// ---------------------------------------------------------------------------
// Discovery

void WindowTracker::discover(const std::vector<ProcessID>& pids,
                             std::function<void(std::vector<WindowPtr>)> completion) {
    struct Discovery {
        std::vector<WindowPtr> results;
        std::set<ProcessID> pending;
        bool finished = false;
        std::function<void(std::vector<WindowPtr>)> completion;

        void finish() {
            finished = true;
            if (completion) completion(std::move(results));
            results.clear();
        }
    };
    auto discovery = std::make_shared<Discovery>();
    discovery->pending = {pids.begin(), pids.end()};
    discovery->completion = std::move(completion);
    if (pids.empty()) {
        discovery->finish();
        return;
    }

    std::weak_ptr<WindowTracker*> weak = self_;
    // An answer that outlives a stop and comes in after the next start would
    // track windows that this run's own discovery then skips as known, and
    // that nobody adopts: the run it belongs to must still be going.
    const std::uint64_t run = manager_.generation();
    auto answered = [weak, discovery, run](ProcessID pid, std::optional<std::vector<WindowFacts>> list) {
        WindowTracker* self = lockTracker(weak);
        if (!self || !self->live() || self->manager_.generation() != run) return;
        discovery->pending.erase(pid);
        if (!list) {
            if (!discovery->finished && discovery->pending.empty()) discovery->finish();
            self->observe(pid, 1);
            return;
        }
        std::vector<WindowPtr> tiled;
        for (const WindowFacts& facts : *list) {
            WindowPtr window = self->track(facts, pid);
            if (window && window->state == State::tiled) tiled.push_back(window);
        }
        if (!discovery->finished) {
            discovery->results.insert(discovery->results.end(), tiled.begin(), tiled.end());
            if (discovery->pending.empty()) discovery->finish();
            return;
        }
        // Too late for the first layout: these windows join the strips now.
        self->adopt(tiled);
        std::vector<StripKey> keys;
        for (const WindowPtr& window : tiled)
            if (window->key) addKey(keys, *window->key);
        // Adopting also gave the saved layout to every strip seen for the
        // first time, which may be a strip none of these windows joined.
        for (const StripKey& key : self->manager_.activeKeys()) addKey(keys, key);
        if (!keys.empty()) relayout(self->manager_, keys, true, Policy::keep);
    };

    // Taken from a copy: an answer given inside the call may change the set.
    const std::set<ProcessID> asking = discovery->pending;
    for (ProcessID pid : asking) {
        if (manager_.system.isConnected(pid)) {
            manager_.system.windows(pid, [answered, pid](std::vector<WindowFacts> list) {
                answered(pid, std::move(list));
            });
        } else {
            manager_.system.connect(pid, [answered, pid](std::optional<std::vector<WindowFacts>> list) {
                answered(pid, std::move(list));
            });
        }
    }
    manager_.scheduler.after(kDiscoveryTimeout, [weak, discovery, run] {
        WindowTracker* self = lockTracker(weak);
        if (!self || !self->live() || self->manager_.generation() != run || discovery->finished) return;
        discovery->finish();
    });
}

void WindowTracker::adopt(const std::vector<WindowPtr>& windows) {
    // Groups in order of first appearance, so strips are filled predictably.
    std::vector<std::pair<StripKey, std::vector<WindowPtr>>> groups;
    for (const WindowPtr& window : windows) {
        // A window that closed, minimised or went away between its discovery
        // and now must not come back as a ghost column.
        if (!isCurrent(window) || window->state != State::tiled || !window->key) continue;
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const auto& entry) { return entry.first == *window->key; });
        if (group == groups.end()) {
            groups.push_back({*window->key, {}});
            group = std::prev(groups.end());
        }
        group->second.push_back(window);
    }

    for (auto& [key, members] : groups) {
        auto position = [&](const WindowPtr& window) {
            auto frame = manager_.animator.current(window->id);
            return frame ? frame->minX() : 0.0;
        };
        std::stable_sort(members.begin(), members.end(),
                         [&](const WindowPtr& a, const WindowPtr& b) { return position(a) < position(b); });
        Strip strip;
        if (auto found = manager_.strips.find(key); found != manager_.strips.end()) strip = found->second;
        for (const WindowPtr& window : members) {
            if (strip.locate(window->id)) continue;
            auto rule = manager_.config.rule(window->bundleID);
            const double width = rule && rule->width ? *rule->width : manager_.config.defaultWidth;
            strip.insertWindow(window->id, width, strip.count(), false);
        }
        manager_.strips[key] = std::move(strip);
    }
    manager_.session().restoreNewStrips();
}

void WindowTracker::observe(ProcessID pid, int attempt) {
    if (!live()) return;
    auto app = manager_.system.app(pid);
    if (!app || !app->isRegular || manager_.system.isConnected(pid)) return;
    std::weak_ptr<WindowTracker*> weak = self_;
    manager_.system.connect(pid, [weak, pid, attempt](std::optional<std::vector<WindowFacts>> list) {
        WindowTracker* self = lockTracker(weak);
        if (!self || !self->live()) return;
        WindowManager& manager = self->manager_;
        if (!list) {
            if (attempt >= kMaxObserveAttempt) return;
            manager.scheduler.after(kObserveInterval, [weak, pid, attempt] {
                WindowTracker* self = lockTracker(weak);
                if (self && self->live()) self->observe(pid, attempt + 1);
            });
            return;
        }
        const bool focus = manager.system.frontmostApp() == pid;
        std::vector<StripKey> keys;
        for (const WindowFacts& facts : *list) {
            WindowPtr window = self->track(facts, pid);
            if (!window || window->state != State::tiled || !window->key) continue;
            manager.insertNew(*window, focus);
            addKey(keys, *window->key);
        }
        if (!keys.empty()) relayout(manager, keys, true, focus ? Policy::reveal : Policy::keep);
    });
}

// ---------------------------------------------------------------------------
// One window

WindowPtr WindowTracker::track(const WindowFacts& facts, ProcessID pid) {
    if (!facts.standard || facts.id == 0 || manager_.windows.count(facts.id)) return nullptr;
    auto app = manager_.system.app(pid);
    std::string bundleID = app && app->bundleID && !app->bundleID->empty()
                               ? *app->bundleID
                               : "pid." + std::to_string(pid);
    auto window = std::make_shared<ManagedWindow>(facts.id, pid, facts.handle, std::move(bundleID),
                                                  app ? app->name : std::string(), facts.title);
    manager_.windows[window->id] = window;
    manager_.handles[window->handle] = window->id;
    if (manager_.system.isConnected(pid)) manager_.system.watch(window->handle, pid);
    if (facts.frame) {
        // Where the window stands is its position among the others at discovery.
        manager_.animator.assume(window->id, *facts.frame);
        manager_.writer.noteApplied(window->id, *facts.frame);
    }
    window->state = classify(*window, facts);
    if (window->state == State::tiled) {
        window->key = keyFor(*window, facts);
        if (!window->key) window->state = State::floating;
    }
    Log::windows([&] { return "tracking " + window->tag() + ": " + std::string(toString(window->state)); });
    return window;
}

ManagedWindow::State WindowTracker::classify(const ManagedWindow& window, const WindowFacts& facts) const {
    if (facts.minimized) return State::minimized;
    if (facts.fullScreen) return State::fullscreen;
    if (auto app = manager_.system.app(window.pid); app && app->isHidden) return State::hidden;
    if (window.manualFloat) return *window.manualFloat ? State::floating : State::tiled;
    if (auto rule = manager_.config.rule(window.bundleID); rule && rule->floating) return State::floating;
    if (facts.fixedSize) return State::floating;
    if (facts.spaces.size() >= 2) return State::floating;
    return State::tiled;
}

std::optional<StripKey> WindowTracker::keyFor(const ManagedWindow&, const WindowFacts& facts) const {
    std::optional<Display> display;
    if (!facts.spaces.empty()) {
        for (const Display& candidate : manager_.displays) {
            auto shown = manager_.currentSpace.find(candidate.uuid);
            if (shown != manager_.currentSpace.end() && shown->second == facts.spaces.front()) {
                display = candidate;
                break;
            }
        }
    }
    if (!display && facts.frame) display = manager_.displayFor(*facts.frame);
    if (!display) display = manager_.displayAt(manager_.input.pointer());
    if (!display && !manager_.displays.empty()) display = manager_.displays.front();
    if (!display) return std::nullopt;

    const auto& disabled = manager_.config.disabledDisplays;
    if (std::find(disabled.begin(), disabled.end(), display->uuid) != disabled.end()) return std::nullopt;

    // A window on a Space that is not on screen keeps that Space.
    SpaceID space = 0;
    if (!facts.spaces.empty()) {
        space = facts.spaces.front();
    } else if (auto shown = manager_.currentSpace.find(display->uuid); shown != manager_.currentSpace.end()) {
        space = shown->second;
    }
    return StripKey{display->uuid, space};
}

WindowPtr WindowTracker::managed(const WindowHandle& handle) const {
    auto id = manager_.handles.find(handle);
    if (id == manager_.handles.end()) return nullptr;
    auto window = manager_.windows.find(id->second);
    return window == manager_.windows.end() ? nullptr : window->second;
}

void WindowTracker::readFacts(const WindowPtr& window, int attempts,
                              std::function<void(const WindowFacts&)> then) {
    if (!isCurrent(window)) return;
    std::weak_ptr<WindowTracker*> weak = self_;
    manager_.system.facts(window->handle, window->pid,
                          [weak, window, attempts, then = std::move(then)](std::optional<WindowFacts> facts) {
        WindowTracker* self = lockTracker(weak);
        if (!self || !self->isCurrent(window)) return;
        if (facts) {
            then(*facts);
            return;
        }
        if (attempts > 1) {
            self->manager_.scheduler.after(kFactsInterval, [weak, window, attempts, then] {
                WindowTracker* self = lockTracker(weak);
                if (self && self->isCurrent(window)) self->readFacts(window, attempts - 1, then);
            });
            return;
        }
        Log::windows.error([&] { return window->tag() + " isn't answering"; });
    });
}

// ---------------------------------------------------------------------------
// Window events

void WindowTracker::handle(WindowEvent event, const WindowHandle& handle, ProcessID pid) {
    if (!live()) return;
    std::weak_ptr<WindowTracker*> weak = self_;
    if (event == WindowEvent::created) {
        manager_.system.facts(handle, pid, [weak, pid](std::optional<WindowFacts> facts) {
            if (WindowTracker* self = lockTracker(weak)) self->windowCreated(std::move(facts), pid, kCreatedRetries);
        });
        return;
    }
    if (event == WindowEvent::focusChanged) {
        manager_.focus().focusChanged(pid, false, true);
        return;
    }
    WindowPtr window = managed(handle);
    if (!window) return;
    switch (event) {
        case WindowEvent::destroyed: windowGone(window); break;
        case WindowEvent::minimized: setMinimized(window, true); break;
        case WindowEvent::restored: setMinimized(window, false); break;
        case WindowEvent::moved: manager_.drag().windowMoved(window); break;
        case WindowEvent::resized: moved(window, true); break;
        case WindowEvent::titleChanged:
            manager_.system.title(window->handle, window->pid, [weak, window](std::optional<std::string> title) {
                WindowTracker* self = lockTracker(weak);
                if (!self || !self->isCurrent(window) || !title || *title == window->title) return;
                window->title = std::move(*title);
                self->manager_.overlays.refresh();
            });
            break;
        case WindowEvent::created:
        case WindowEvent::focusChanged: break;
    }
}

void WindowTracker::windowCreated(std::optional<WindowFacts> facts, ProcessID pid, int retries) {
    if (!live() || !facts || manager_.windows.count(facts->id)) return;
    if (!facts->standard) {
        if (retries < 1 || !facts->isWindow) return;
        std::weak_ptr<WindowTracker*> weak = self_;
        manager_.scheduler.after(kCreatedInterval, [weak, handle = facts->handle, pid, retries] {
            WindowTracker* self = lockTracker(weak);
            if (!self || !self->live()) return;
            self->manager_.system.facts(handle, pid, [weak, pid, retries](std::optional<WindowFacts> facts) {
                if (WindowTracker* self = lockTracker(weak)) self->windowCreated(std::move(facts), pid, retries - 1);
            });
        });
        return;
    }
    WindowPtr window = track(*facts, pid);
    if (!window || window->state != State::tiled || !window->key) {
        manager_.overlays.refresh();
        return;
    }
    const bool focus = manager_.system.frontmostApp() == pid;
    const StripKey key = *window->key;
    manager_.insertNew(*window, focus);
    relayout(manager_, {key}, true, focus ? Policy::reveal : Policy::keep);
    manager_.overlays.showStrip(key, false);
}

void WindowTracker::windowGone(const WindowPtr& window) {
    const std::optional<StripKey> key = window->key;
    const State state = window->state;
    bool wasFocused = false;
    if (state == State::tiled && key && manager_.activeKey == key) {
        auto strip = manager_.strips.find(*key);
        wasFocused = strip != manager_.strips.end() && strip->second.focusedWindow() == window->id;
    }

    forget(*window);
    Log::windows([&] { return window->tag() + " closed"; });
    if (manager_.focusedID == window->id) manager_.focusedID.reset();

    if (state != State::tiled || !key) {
        manager_.overlays.refresh();
        return;
    }
    const auto removed = manager_.removeFromStrip(*window);
    if (!removed) {
        manager_.overlays.refresh();
        return;
    }
    relayout(manager_, {*removed}, true, Policy::reveal);
    manager_.overlays.showStrip(*removed, false);
    if (!wasFocused) return;
    auto strip = manager_.strips.find(*removed);
    if (strip == manager_.strips.end()) return;
    auto next = strip->second.focusedWindow();
    WindowPtr successor = next ? manager_.windowRecord(*next) : nullptr;
    if (!successor) return;
    std::weak_ptr<WindowTracker*> weak = self_;
    manager_.scheduler.after(kRefocusDelay, [weak, successor] {
        WindowTracker* self = lockTracker(weak);
        if (self && self->isCurrent(successor)) self->manager_.focus().request(successor->id, false);
    });
}

void WindowTracker::forget(const ManagedWindow& window) {
    // Only this record's entries: the id or handle may already name a newer window.
    if (auto found = manager_.windows.find(window.id);
        found != manager_.windows.end() && found->second.get() == &window) {
        manager_.windows.erase(found);
    }
    if (auto found = manager_.handles.find(window.handle);
        found != manager_.handles.end() && found->second == window.id) {
        manager_.handles.erase(found);
    }
    manager_.minWidths.erase(window.id);
    manager_.narrowWidths.erase(window.id);
    manager_.animator.invalidate(window.id);
    manager_.writer.forgetWindow(window.id);
}

}  // namespace tessaline
