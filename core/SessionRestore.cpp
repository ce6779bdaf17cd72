#include "core/SessionRestore.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <string_view>
#include <utility>

namespace tessaline::SessionRestore {

namespace {

struct Candidate {
    SavedRef ref;
    const SavedWindow* window;
};

// Every saved place in strip, column, row order; a match always takes the
// earliest free place that fits, so this order decides who gets what.
std::vector<Candidate> flatten(const std::vector<SavedStrip>& session) {
    std::vector<Candidate> out;
    for (std::size_t s = 0; s < session.size(); ++s) {
        const auto& columns = session[s].columns;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto& windows = columns[c].windows;
            for (std::size_t r = 0; r < windows.size(); ++r) {
                out.push_back({{static_cast<int>(s), static_cast<int>(c), static_cast<int>(r)},
                               &windows[r]});
            }
        }
    }
    return out;
}

std::size_t combine(std::size_t h, std::size_t v) {
    return h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

// One key type serves all three passes; fields a pass does not compare stay
// zero or empty. The hash is computed once and carried along, because the
// hash table would otherwise rehash the strings again while it walks a bucket.
struct Key {
    std::size_t hash = 0;
    WindowID id = 0;
    std::string_view bundleID;
    std::string_view title;
    friend bool operator==(const Key&, const Key&) = default;
};
struct KeyHash {
    std::size_t operator()(const Key& k) const noexcept { return k.hash; }
};

// Every pass compares application identifiers, so each is hashed only once.
template <class Window>
std::vector<std::size_t> bundleHashes(const std::vector<Window>& windows, auto bundleOf) {
    std::vector<std::size_t> out;
    out.reserve(windows.size());
    for (const auto& w : windows) out.push_back(std::hash<std::string_view>{}(bundleOf(w)));
    return out;
}

// The candidates sharing a key form a chain in list order: the index maps a
// key to the first free candidate of its chain, and `next` links each
// candidate to the following one with the same key. Taking the head of the
// chain is the same as walking the whole list for the first free place with
// that key, without the quadratic walk: a place used earlier is stepped over
// once and never looked at again.
struct Pass {
    const std::vector<Candidate>& candidates;
    const std::vector<std::size_t>& candidateBundles;
    const std::vector<LiveWindow>& live;
    const std::vector<std::size_t>& liveBundles;
    std::vector<char>& used;
    std::vector<int>& next;
    Matches& result;

    // keyOf(window, bundle hash) gives the pass's key, or nothing when the
    // window cannot match in this pass at all.
    template <class KeyOf>
    void run(KeyOf keyOf) {
        std::unordered_map<Key, int, KeyHash> heads;
        heads.reserve(candidates.size());
        for (std::size_t i = candidates.size(); i-- > 0;) {
            if (used[i]) continue;
            const std::optional<Key> key = keyOf(*candidates[i].window, candidateBundles[i]);
            if (!key) continue;
            auto [it, added] = heads.try_emplace(*key, static_cast<int>(i));
            next[i] = added ? -1 : it->second;
            it->second = static_cast<int>(i);
        }
        if (heads.empty()) return;
        for (std::size_t l = 0; l < live.size(); ++l) {
            const LiveWindow& w = live[l];
            if (result.contains(w.id)) continue;
            const std::optional<Key> key = keyOf(w, liveBundles[l]);
            if (!key) continue;
            const auto it = heads.find(*key);
            if (it == heads.end()) continue;
            int& head = it->second;
            while (head >= 0 && used[head]) head = next[head];
            if (head < 0) continue;
            used[head] = 1;
            result.emplace(w.id, candidates[head].ref);
            head = next[head];
        }
    }
};

bool anyUnmatched(const std::vector<LiveWindow>& live, const Matches& result) {
    return std::any_of(live.begin(), live.end(),
                       [&](const LiveWindow& w) { return !result.contains(w.id); });
}

}  // namespace

Matches match(const std::vector<LiveWindow>& live, const std::vector<SavedStrip>& session) {
    Matches result;
    const auto candidates = flatten(session);
    if (live.empty() || candidates.empty()) return result;
    result.reserve(live.size());
    const auto candidateBundles = bundleHashes(
        candidates, [](const Candidate& c) { return std::string_view(c.window->bundleID); });
    const auto liveBundles =
        bundleHashes(live, [](const LiveWindow& w) { return std::string_view(w.bundleID); });
    std::vector<char> used(candidates.size(), 0);
    std::vector<int> next(candidates.size(), -1);
    Pass pass{candidates, candidateBundles, live, liveBundles, used, next, result};

    // A window whose number survived (the window server did not restart)
    // gets exactly its old place.
    pass.run([](const auto& w, std::size_t bundle) -> std::optional<Key> {
        return Key{combine(bundle, w.id), w.id, w.bundleID, {}};
    });
    // An empty title says nothing about which window this is.
    if (anyUnmatched(live, result)) {
        pass.run([](const auto& w, std::size_t bundle) -> std::optional<Key> {
            if (w.title.empty()) return std::nullopt;
            const std::string_view title = w.title;
            return Key{combine(bundle, std::hash<std::string_view>{}(title)), 0, w.bundleID, title};
        });
    }
    // The rest of each application fills its remaining places in saved order.
    if (anyUnmatched(live, result)) {
        pass.run([](const auto& w, std::size_t bundle) -> std::optional<Key> {
            return Key{bundle, 0, w.bundleID, {}};
        });
    }
    return result;
}

std::optional<int> dominantStrip(const std::vector<WindowID>& windows, const Matches& matches) {
    std::map<int, int> counts;
    for (const WindowID id : windows) {
        if (const auto it = matches.find(id); it != matches.end()) ++counts[it->second.strip];
    }
    std::optional<int> best;
    int bestCount = 0;
    // Ascending order, and only a strictly higher count replaces the best, so
    // the smallest index wins a tie.
    for (const auto& [strip, count] : counts) {
        if (count > bestCount) {
            best = strip;
            bestCount = count;
        }
    }
    return best;
}

Strip rebuild(const Strip& strip, const Matches& matches, const std::vector<SavedStrip>& session) {
    const auto d = dominantStrip(strip.windows(), matches);
    if (!d || *d < 0 || *d >= static_cast<int>(session.size())) return strip;
    const SavedStrip& saved = session[*d];
    const int savedColumns = static_cast<int>(saved.columns.size());

    std::optional<WindowID> focusedWindow;
    if (const Column* column = strip.focusedColumn()) focusedWindow = column->activeWindow();

    struct Placed {
        int row;
        WindowID id;
    };
    std::map<int, std::vector<Placed>> groups;  // by saved column index
    struct Leftover {
        WindowID id;
        double width;
    };
    std::vector<Leftover> leftovers;
    // Column order, top to bottom: the order of strip.windows(), with the
    // width of the column each window came from at hand for leftovers.
    for (const Column& column : strip.columns) {
        for (const WindowID id : column.windows) {
            const auto it = matches.find(id);
            // A match into a column the saved strip does not have (matches
            // computed against other saved data) cannot be put back; the
            // window keeps a column of its own rather than being lost.
            if (it != matches.end() && it->second.strip == *d && it->second.column >= 0 &&
                it->second.column < savedColumns) {
                groups[it->second.column].push_back({it->second.row, id});
            } else {
                leftovers.push_back({id, column.width});
            }
        }
    }

    std::vector<Column> columns;
    for (auto& [index, group] : groups) {
        std::stable_sort(group.begin(), group.end(),
                         [](const Placed& a, const Placed& b) { return a.row < b.row; });
        const SavedColumn& source = saved.columns[index];
        Column column;
        column.width = source.width;
        column.tabbed = source.tabbed;
        for (const Placed& p : group) {
            column.windows.push_back(p.id);
            const bool hasWeight =
                p.row >= 0 && p.row < static_cast<int>(source.weights.size());
            column.weights.push_back(hasWeight ? source.weights[p.row] : 1.0);
        }
        columns.push_back(std::move(column));
    }
    for (const Leftover& l : leftovers) {
        Column column;
        column.windows = {l.id};
        column.weights = {1.0};
        column.width = l.width;
        columns.push_back(std::move(column));
    }

    Strip rebuilt(std::move(columns), 0, 0);
    if (focusedWindow) {
        if (const auto at = rebuilt.locate(*focusedWindow)) {
            rebuilt.focused = at->column;
            rebuilt.columns[at->column].active = at->row;
        }
    }
    return rebuilt;
}

}  // namespace tessaline::SessionRestore
