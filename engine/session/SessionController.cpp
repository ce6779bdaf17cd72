#include "engine/session/SessionController.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <tuple>

#include "core/SessionRestore.h"
#include "engine/wm/Animator.h"
#include "engine/log/Log.h"
#include "engine/session/SessionStore.h"
#include "engine/wm/WindowManager.h"

namespace tessaline {

namespace {

bool youngerThan(const std::optional<Timestamp>& seen, Timestamp now, double lifetime) {
    // Never stamped: treat it as seen just now, so it stays.
    return !seen || now - *seen < lifetime;
}

std::vector<std::string> sortedUUIDs(const std::vector<Display>& displays) {
    std::vector<std::string> uuids;
    uuids.reserve(displays.size());
    for (const Display& display : displays) uuids.push_back(display.uuid);
    std::sort(uuids.begin(), uuids.end());
    return uuids;
}

SavedSetup setupOf(const std::vector<Display>& displays, std::vector<SavedStrip> strips,
                   Timestamp now) {
    return {sortedUUIDs(displays), std::move(strips), now};
}

SpaceID spaceOf(const std::unordered_map<std::string, SpaceID>& spaces, const std::string& uuid) {
    const auto found = spaces.find(uuid);
    return found == spaces.end() ? SpaceID{0} : found->second;
}

// The keys of the non-empty strips in a fixed order (displays as they stand,
// then by UUID and Space), so that matching and the file come out the same
// whatever order the strip table happens to keep.
std::vector<StripKey> orderedKeys(const WindowManager& manager) {
    std::vector<StripKey> keys;
    for (const auto& [key, strip] : manager.strips) {
        if (!strip.isEmpty()) keys.push_back(key);
    }
    const auto rank = [&](const StripKey& key) {
        const auto at = std::find_if(manager.displays.begin(), manager.displays.end(),
                                     [&](const Display& d) { return d.uuid == key.display; });
        return std::make_tuple(at - manager.displays.begin(), std::cref(key.display), key.space);
    };
    std::sort(keys.begin(), keys.end(),
              [&](const StripKey& a, const StripKey& b) { return rank(a) < rank(b); });
    return keys;
}

}  // namespace

SessionController::SessionController(WindowManager& manager, SessionStore& store)
    : clock([] { return toTimestamp(std::chrono::system_clock::now()); }),
      manager_(manager),
      store_(store),
      self_(std::make_shared<SessionController*>(this)) {}

SessionController::~SessionController() = default;

Timestamp SessionController::now() const {
    return clock ? clock() : toTimestamp(std::chrono::system_clock::now());
}

// ---------------------------------------------------------------------------
// Start and stop

void SessionController::begin() {
    const Timestamp time = now();
    // Missing, unreadable or corrupt: start empty; the next save replaces it.
    SavedSession session = store_.read().value_or(SavedSession{});

    unseen.clear();
    for (SavedStrip& strip : session.strips) {
        if (youngerThan(strip.seen, time, stripLifetime)) unseen.push_back(std::move(strip));
    }
    setups.clear();
    for (SavedSetup& setup : session.setups) {
        if (youngerThan(setup.seen, time, setupLifetime)) setups.push_back(std::move(setup));
    }
    seen.clear();
}

void SessionController::end() {
    // Synchronous, so the file is complete before tiling stops or the program quits.
    store_.saveNow(snapshot());
    unseen.clear();
    seen.clear();
    setups.clear();
}

void SessionController::scheduleSave() {
    // Once tiling has stopped the strips are forgotten; a save now would
    // write an empty layout over the one just saved.
    if (!manager_.running) return;
    std::weak_ptr<SessionController*> weak = self_;
    store_.scheduleSave([weak]() -> std::optional<SavedSession> {
        auto self = weak.lock();
        if (!self || !(*self)->manager_.running) return std::nullopt;
        return (*self)->snapshot();
    });
}

// ---------------------------------------------------------------------------
// Saving

const Strip* SessionController::liveStrip(const StripKey& key) const {
    const auto found = manager_.strips.find(key);
    return found == manager_.strips.end() || found->second.isEmpty() ? nullptr : &found->second;
}

SavedStrip SessionController::save(const StripKey& key, const Strip& strip, Timestamp time) const {
    SavedStrip saved{key.display, key.space, {}, time};
    saved.columns.reserve(strip.columns.size());
    for (const Column& column : strip.columns) {
        SavedColumn savedColumn{column.width, column.tabbed, column.weights, {}};
        savedColumn.windows.reserve(column.windows.size());
        for (const WindowID id : column.windows) {
            // A window whose record is gone is still a place in the column.
            if (WindowPtr window = manager_.windowRecord(id)) {
                savedColumn.windows.push_back({id, window->bundleID, window->title});
            } else {
                savedColumn.windows.push_back({id, {}, {}});
            }
        }
        saved.columns.push_back(std::move(savedColumn));
    }
    return saved;
}

SavedSession SessionController::snapshot() const {
    const Timestamp time = now();
    SavedSession session;

    std::unordered_set<StripKey> current;
    for (const StripKey& key : orderedKeys(manager_)) {
        session.strips.push_back(save(key, *liveStrip(key), time));
        current.insert(key);
    }

    std::vector<SavedStrip> visible;
    for (const Display& display : manager_.displays) {
        const StripKey key{display.uuid, spaceOf(manager_.currentSpace, display.uuid)};
        if (const Strip* strip = liveStrip(key)) visible.push_back(save(key, *strip, time));
    }
    SavedSetup setup = setupOf(manager_.displays, std::move(visible), time);

    // Saved layouts nobody has claimed yet survive another save.
    for (const SavedStrip& strip : unseen) {
        if (!current.contains(StripKey{strip.display, strip.space})) session.strips.push_back(strip);
    }
    session.setups.push_back(std::move(setup));
    for (const SavedSetup& remembered : setups) {
        if (remembered.displays != session.setups.front().displays) {
            session.setups.push_back(remembered);
        }
    }
    return session;
}

// ---------------------------------------------------------------------------
// Restoring

std::vector<LiveWindow> SessionController::liveWindows(const std::vector<WindowID>& ids) const {
    std::vector<LiveWindow> live;
    live.reserve(ids.size());
    for (const WindowID id : ids) {
        if (WindowPtr window = manager_.windowRecord(id)) {
            live.push_back({id, window->bundleID, window->title});
        }
    }
    return live;
}

void SessionController::restoreNewStrips() {
    std::vector<StripKey> fresh;
    for (const StripKey& key : orderedKeys(manager_)) {
        if (!seen.contains(key)) fresh.push_back(key);
    }
    if (fresh.empty()) return;
    // Offered once, whether or not anything is put back.
    seen.insert(fresh.begin(), fresh.end());
    if (unseen.empty()) return;

    std::vector<LiveWindow> live;
    for (const StripKey& key : fresh) {
        auto windows = liveWindows(manager_.strips[key].windows());
        live.insert(live.end(), std::make_move_iterator(windows.begin()),
                    std::make_move_iterator(windows.end()));
    }
    const SessionRestore::Matches matches = SessionRestore::match(live, unseen);

    std::set<int> used;
    for (const StripKey& key : fresh) {
        Strip& strip = manager_.strips[key];
        const auto dominant = SessionRestore::dominantStrip(strip.windows(), matches);
        if (!dominant) continue;
        used.insert(*dominant);
        strip = SessionRestore::rebuild(strip, matches, unseen);
        Log::layout([&] {
            return "restored " + std::to_string(strip.windows().size()) + " windows' saved layout";
        });
    }

    std::vector<SavedStrip> remaining;
    for (int index = 0; index < static_cast<int>(unseen.size()); ++index) {
        SavedStrip& saved = unseen[static_cast<std::size_t>(index)];
        const StripKey key{saved.display, saved.space};
        const bool claimed = used.contains(index) ||
                             std::find(fresh.begin(), fresh.end(), key) != fresh.end();
        if (!claimed) remaining.push_back(std::move(saved));
    }
    unseen = std::move(remaining);
}

void SessionController::rememberSetup(const std::vector<Display>& displays,
                                      const std::unordered_map<std::string, SpaceID>& spaces) {
    const Timestamp time = now();
    std::vector<SavedStrip> showing;
    for (const Display& display : displays) {
        const StripKey key{display.uuid, spaceOf(spaces, display.uuid)};
        if (const Strip* strip = liveStrip(key)) showing.push_back(save(key, *strip, time));
    }
    SavedSetup setup = setupOf(displays, std::move(showing), time);
    std::erase_if(setups, [&](const SavedSetup& old) { return old.displays == setup.displays; });
    setups.push_back(std::move(setup));
}

void SessionController::restoreSetup(const std::vector<Display>& displays) {
    const std::vector<std::string> uuids = sortedUUIDs(displays);
    const auto found = std::find_if(setups.begin(), setups.end(),
                                    [&](const SavedSetup& setup) { return setup.displays == uuids; });
    if (found == setups.end()) return;
    // Copied: nothing below may invalidate it, but the list is ours to change later.
    const SavedSetup setup = *found;

    // The tiled windows on strips now showing, in strip order, so that windows
    // of one application take their saved places from left to right.
    std::vector<WindowPtr> candidates;
    for (const StripKey& key : manager_.activeKeys()) {
        const auto strip = manager_.strips.find(key);
        if (strip == manager_.strips.end()) continue;
        for (const WindowID id : strip->second.windows()) {
            WindowPtr window = manager_.windowRecord(id);
            if (window && window->state == ManagedWindow::State::tiled && window->key &&
                *window->key == key && manager_.isActive(key)) {
                candidates.push_back(std::move(window));
            }
        }
    }
    std::vector<LiveWindow> live;
    live.reserve(candidates.size());
    for (const WindowPtr& window : candidates) live.push_back({window->id, window->bundleID, window->title});
    const SessionRestore::Matches matches = SessionRestore::match(live, setup.strips);

    std::vector<StripKey> touched;
    const auto touch = [&](const StripKey& key) {
        if (std::find(touched.begin(), touched.end(), key) == touched.end()) touched.push_back(key);
    };
    for (int index = 0; index < static_cast<int>(setup.strips.size()); ++index) {
        const SavedStrip& saved = setup.strips[static_cast<std::size_t>(index)];
        const auto display = manager_.displayByUUID(saved.display);
        if (!display) continue;
        const StripKey target = manager_.keyOn(*display);
        for (const WindowPtr& window : candidates) {
            const auto match = matches.find(window->id);
            if (match == matches.end() || match->second.strip != index) continue;
            if (!window->key || *window->key == target) continue;
            const auto from = manager_.strips.find(*window->key);
            if (from == manager_.strips.end()) continue;
            const auto location = from->second.locate(window->id);
            if (!location) continue;
            const double width = from->second.columns[static_cast<std::size_t>(location->column)].width;
            const StripKey oldKey = *window->key;
            manager_.removeFromStrip(*window);
            touch(oldKey);
            window->key = target;
            // Forgotten, so the next relayout sends it whole onto its display.
            manager_.animator.invalidate(window->id);
            Strip& strip = manager_.strips[target];
            if (!strip.contains(window->id)) strip.insertWindow(window->id, width, strip.count(), false);
        }
        touch(target);
    }

    for (const StripKey& key : touched) {
        const auto strip = manager_.strips.find(key);
        if (strip == manager_.strips.end() || strip->second.isEmpty()) continue;
        strip->second = SessionRestore::rebuild(strip->second, matches, setup.strips);
    }

    Log::spaces([&] {
        std::string names;
        for (const Display& display : displays) {
            if (!names.empty()) names += ", ";
            names += display.name;
        }
        return "put windows back the way they were with " + names;
    });
}

}  // namespace tessaline
