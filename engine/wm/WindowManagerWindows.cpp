// Putting windows into strips and taking them out, and the questions the
// overlays, the status menu and the command channel ask of the manager.

#include <algorithm>
#include <map>
#include <tuple>
#include <nlohmann/json.hpp>
#include <utility>

#include "engine/wm/Animator.h"
#include "engine/wm/DragController.h"
#include "engine/log/Log.h"
#include "engine/wm/ScrollController.h"
#include "engine/wm/WindowManager.h"

namespace tessaline {

namespace {

using nlohmann::json;

// x,y width×height in whole points, or "?" when unknown.
std::string rectText(const std::optional<Rect>& rect) {
    if (!rect) return "?";
    return wholePoints(rect->x) + "," + wholePoints(rect->y) + " " + sizeText(rect->size());
}

}  // namespace

// ---------------------------------------------------------------------------
// Windows

void WindowManager::insert(ManagedWindow& window, bool focus, std::optional<int> at,
                           std::optional<double> width) {
    if (!window.key) return;
    const StripKey key = *window.key;
    Strip& strip = strips[key];
    if (strip.contains(window.id)) return;
    strip.insertWindow(window.id, width.value_or(config.defaultWidth), at, focus);
    if (focus) activeKey = key;
}

void WindowManager::insertNew(ManagedWindow& window, bool focus) {
    if (!window.key) return;
    std::optional<int> at;
    std::optional<double> width;
    if (const auto rule = config.rule(window.bundleID)) {
        switch (rule->placement) {
            case AppRule::Placement::besideFocus: break;
            case AppRule::Placement::start: at = 0; break;
            case AppRule::Placement::end: {
                const auto found = strips.find(*window.key);
                at = found == strips.end() ? 0 : found->second.count();
                break;
            }
        }
        width = rule->width;
    }
    insert(window, focus, at, width);
}

void WindowManager::rememberSlot(ManagedWindow& window) {
    if (!window.key) return;
    const auto found = strips.find(*window.key);
    if (found == strips.end()) return;
    const auto location = found->second.locate(window.id);
    if (!location) return;
    const Column& column = found->second.columns[static_cast<std::size_t>(location->column)];
    window.slot = ManagedWindow::Slot{location->column, column.width};
}

void WindowManager::insertAtSlot(ManagedWindow& window, bool focus) {
    const std::optional<ManagedWindow::Slot> slot = std::exchange(window.slot, std::nullopt);
    if (slot) {
        insert(window, focus, slot->column, slot->width);
    } else {
        insert(window, focus, std::nullopt, config.defaultWidth);
    }
}

std::optional<StripKey> WindowManager::removeFromStrip(ManagedWindow& window) {
    if (!window.key) return std::nullopt;
    const auto found = strips.find(*window.key);
    if (found == strips.end() || !found->second.remove(window.id)) return std::nullopt;
    return window.key;
}

WindowPtr WindowManager::windowRecord(WindowID id) const {
    const auto found = windows.find(id);
    return found == windows.end() ? nullptr : found->second;
}

// ---------------------------------------------------------------------------
// Queries

int WindowManager::tiledCount() const {
    return static_cast<int>(std::count_if(windows.begin(), windows.end(), [](const auto& entry) {
        return entry.second->state == ManagedWindow::State::tiled;
    }));
}

std::optional<WindowID> WindowManager::focusedTiledWindow() const {
    if (!running || !focusedID) return std::nullopt;
    const WindowPtr window = windowRecord(*focusedID);
    if (!window || window->state != ManagedWindow::State::tiled || !window->key) return std::nullopt;
    if (!isActive(*window->key)) return std::nullopt;
    return focusedID;
}

std::optional<WindowID> WindowManager::dragging() const {
    if (drag_ && drag_->drag) return drag_->drag->id;
    return std::nullopt;
}

std::vector<WindowManager::TabBar> WindowManager::tabBars() const {
    std::vector<TabBar> bars;
    if (!running) return bars;
    for (const StripKey& key : activeKeys()) {
        const auto found = strips.find(key);
        if (found == strips.end()) continue;
        const Strip& strip = found->second;
        for (int c = 0; c < strip.count(); ++c) {
            const Column& column = strip.columns[static_cast<std::size_t>(c)];
            if (!column.tabbed) continue;
            TabBar bar{key, c, column.windows, {}, column.active};
            for (WindowID id : column.windows) {
                const WindowPtr window = windowRecord(id);
                bar.titles.push_back(!window ? std::string()
                                     : window->title.empty() ? window->appName
                                                             : window->title);
            }
            bars.push_back(std::move(bar));
        }
    }
    return bars;
}

void WindowManager::resetChord() {
    chord().start.reset();
    input.watchKeys(false);
}

// ---------------------------------------------------------------------------
// State dictionary

namespace {

// One state request: the frames read so far and whether it has been answered.
struct StateRequest {
    std::weak_ptr<WindowManager> manager;
    bool titles = false;
    std::function<void(const json&)> completion;
    std::map<WindowID, Rect> frames;
    std::size_t pending = 0;
    bool finished = false;
    std::shared_ptr<ScheduledTask> timeout;
};

std::string label(const WindowManager& manager, WindowID id, bool titles) {
    const WindowPtr window = manager.windowRecord(id);
    if (!window) return "? #" + std::to_string(id);
    if (titles) return window->appName + " \u2014 " + window->title;
    return window->appName + " #" + std::to_string(id);
}

json stateOf(const WindowManager& manager, bool titles, const std::map<WindowID, Rect>& frames) {
    json state = json::object();
    state["running"] = manager.running;
    state["trusted"] = manager.system.isTrusted();
    state["spacesSupported"] = manager.system.supportsSpaces();

    json displays = json::array();
    for (const Display& display : manager.displays) {
        const auto shown = manager.currentSpace.find(display.uuid);
        displays.push_back({{"uuid", display.uuid},
                            {"name", display.name},
                            {"visible", rectText(display.visible)},
                            {"space", shown == manager.currentSpace.end() ? SpaceID{0} : shown->second}});
    }
    state["displays"] = std::move(displays);

    // Displays in their order, then Spaces: the same state prints the same way.
    std::vector<const std::pair<const StripKey, Strip>*> entries;
    for (const auto& entry : manager.strips) entries.push_back(&entry);
    const auto rank = [&](const StripKey& key) {
        const auto at = std::find_if(manager.displays.begin(), manager.displays.end(),
                                     [&](const Display& d) { return d.uuid == key.display; });
        return std::make_tuple(at - manager.displays.begin(), key.display, key.space);
    };
    std::sort(entries.begin(), entries.end(),
              [&](const auto* a, const auto* b) { return rank(a->first) < rank(b->first); });

    const auto frameText = [&](WindowID id) {
        const auto found = frames.find(id);
        return rectText(found == frames.end() ? std::nullopt : std::optional<Rect>(found->second));
    };
    json strips = json::array();
    for (const auto* entry : entries) {
        const auto& [key, strip] = *entry;
        json columns = json::array();
        for (const Column& column : strip.columns) {
            json windows = json::array();
            for (WindowID id : column.windows) {
                windows.push_back(label(manager, id, titles) + " | target " +
                                  rectText(manager.animator.target(id)) + " | actual " +
                                  frameText(id));
            }
            columns.push_back({{"width", column.width},
                               {"tabbed", column.tabbed},
                               {"windows", std::move(windows)}});
        }
        strips.push_back({{"display", key.display},
                          {"space", key.space},
                          {"active", manager.isActive(key)},
                          {"focused", strip.focused},
                          {"scroll", strip.scroll},
                          {"columns", std::move(columns)}});
    }
    state["strips"] = std::move(strips);

    std::map<WindowID, WindowPtr> sorted(manager.windows.begin(), manager.windows.end());
    json untiled = json::array();
    for (const auto& [id, window] : sorted) {
        if (window->state == ManagedWindow::State::tiled) continue;
        untiled.push_back(std::string(toString(window->state)) + ": " + label(manager, id, titles));
    }
    state["untiled"] = std::move(untiled);
    return state;
}

void finish(const std::shared_ptr<StateRequest>& request) {
    if (request->finished) return;
    request->finished = true;
    // The time-out's closure holds the request: dropping it here breaks the cycle.
    if (auto timeout = std::exchange(request->timeout, nullptr)) timeout->cancel();
    auto completion = std::move(request->completion);
    if (!completion) return;
    // Without a manager there is no state left to describe.
    const auto manager = request->manager.lock();
    completion(manager ? stateOf(*manager, request->titles, request->frames) : json::object());
}

}  // namespace

void WindowManager::debugState(bool titles, std::function<void(const nlohmann::json&)> completion) {
    auto request = std::make_shared<StateRequest>();
    request->manager = weak_from_this();
    request->titles = titles;
    request->completion = std::move(completion);
    request->pending = windows.size();
    if (windows.empty()) {
        finish(request);
        return;
    }
    // Copied first: an answer may change the table before the loop is done.
    std::vector<WindowPtr> asked;
    asked.reserve(windows.size());
    for (const auto& [id, window] : windows) asked.push_back(window);

    // Held strongly: an application that never answers must not keep the
    // caller waiting for ever.
    request->timeout = scheduler.after(1.5, [request] { finish(request); });
    for (const WindowPtr& window : asked) {
        system.frame(window->handle, window->pid, [request, id = window->id](std::optional<Rect> frame) {
            if (request->finished) return;
            if (frame) request->frames[id] = *frame;
            if (--request->pending == 0) finish(request);
        });
    }
}

}  // namespace tessaline
