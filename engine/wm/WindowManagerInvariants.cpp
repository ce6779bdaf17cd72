// The rules the manager's state keeps between any two events. The manager
// never acts on them itself; tests and the stress runs ask for them after
// every step, so a change that breaks one is caught where it happens.

#include <cmath>
#include <sstream>
#include <unordered_map>

#include "engine/wm/Animator.h"
#include "engine/wm/WindowManager.h"

namespace tessaline {

namespace {

std::string text(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}
std::string text(const StripKey& key) { return key.display + "/" + std::to_string(key.space); }
std::string text(const Rect& r) {
    return "(" + text(r.x) + ", " + text(r.y) + ", " + text(r.width) + ", " + text(r.height) + ")";
}
std::string window(WindowID id) { return "window " + std::to_string(id); }

std::optional<std::string> checkStrip(const StripKey& key, const Strip& strip) {
    const std::string where = "strip-structure: strip " + text(key);
    const int count = strip.count();
    if (count == 0 ? strip.focused != 0 : strip.focused < 0 || strip.focused >= count) {
        return where + ": focused " + std::to_string(strip.focused) + " with " + std::to_string(count) + " columns";
    }
    if (strip.previous && (*strip.previous < 0 || *strip.previous >= count)) {
        return where + ": previous " + std::to_string(*strip.previous) + " with " + std::to_string(count) + " columns";
    }
    if (!std::isfinite(strip.scroll)) return where + ": scroll is not finite";
    for (int c = 0; c < count; ++c) {
        const Column& column = strip.columns[static_cast<std::size_t>(c)];
        const std::string at = where + " column " + std::to_string(c);
        if (column.windows.empty()) return at + " is empty";
        if (column.weights.size() != column.windows.size()) {
            return at + " has " + std::to_string(column.weights.size()) + " weights for " +
                   std::to_string(column.windows.size()) + " windows";
        }
        if (column.active < 0 || column.active >= static_cast<int>(column.windows.size())) {
            return at + ": active " + std::to_string(column.active);
        }
        if (!std::isfinite(column.width) || column.width <= 0) return at + ": width " + text(column.width);
        for (double w : column.weights) {
            if (!std::isfinite(w) || w <= 0) return at + ": weight " + text(w);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> WindowManager::checkInvariants() const {
    if (!running) {
        if (!windows.empty() || !strips.empty() || !handles.empty() || !minWidths.empty() || focusedID ||
            activeKey) {
            return "stopped-forgets: tiling is off but the manager still holds windows or strips";
        }
        return std::nullopt;
    }
    std::unordered_map<WindowID, StripKey> where;
    for (const auto& [key, strip] : strips) {
        if (auto broken = checkStrip(key, strip)) return broken;
        for (const Column& column : strip.columns) {
            for (WindowID id : column.windows) {
                if (auto [at, fresh] = where.emplace(id, key); !fresh) {
                    return "window-in-one-strip: " + window(id) + " is in " + text(at->second) + " and in " +
                           text(key) + (at->second == key ? " (twice)" : "");
                }
                const WindowPtr record = windowRecord(id);
                const std::string holds = "strip-holds-tiled: strip " + text(key) + " holds ";
                if (!record) return holds + "untracked " + window(id);
                if (record->state != ManagedWindow::State::tiled) {
                    return holds + window(id) + ", which is " + std::string(toString(record->state));
                }
                if (record->key != key) {
                    return holds + window(id) + ", whose key is " +
                           (record->key ? text(*record->key) : std::string("absent"));
                }
            }
        }
    }
    for (const auto& [id, record] : windows) {
        if (record->id != id) return "window-table: record of " + window(record->id) + " filed under " + window(id);
        if (record->state == ManagedWindow::State::tiled && !record->key) {
            return "tiled-in-its-strip: " + window(id) + " is tiled without a key";
        }
    }
    for (const auto& [id, frame] : animator.sent()) {
        if (!std::isfinite(frame.x) || !std::isfinite(frame.y) || !std::isfinite(frame.width) ||
            !std::isfinite(frame.height)) {
            return "frames-finite: " + window(id) + " was sent " + text(frame);
        }
    }
    return std::nullopt;
}

}  // namespace tessaline
