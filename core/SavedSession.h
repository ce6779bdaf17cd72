#pragma once
// The layout as written to disk ("session.json") so that windows can be put
// back into their columns after a restart, plus the records the restore
// matcher works on.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Geometry.h"

namespace tessaline {

// Seconds (with fraction) since 2001-01-01 00:00:00 UTC, the reference date
// the file's timestamps have always used.
using Timestamp = double;

// 2001-01-01 00:00:00 UTC in seconds after the Unix epoch.
inline constexpr double timestampReferenceUnixSeconds = 978307200.0;

Timestamp toTimestamp(std::chrono::system_clock::time_point time);
// Timestamps beyond what the clock can represent clamp to its range instead
// of overflowing; a non-finite timestamp gives the reference date itself.
std::chrono::system_clock::time_point toTimePoint(Timestamp timestamp);

struct SavedWindow {
    WindowID id = 0;
    std::string bundleID;  // empty when the engine held no record of the window
    std::string title;     // likewise
    friend bool operator==(const SavedWindow&, const SavedWindow&) = default;
};

struct SavedColumn {
    double width = 0.5;            // share of the viewport
    bool tabbed = false;
    std::vector<double> weights;   // height weights in row order
    std::vector<SavedWindow> windows;  // top to bottom
    friend bool operator==(const SavedColumn&, const SavedColumn&) = default;
};

struct SavedStrip {
    std::string display;  // display UUID
    SpaceID space = 0;
    std::vector<SavedColumn> columns;  // left to right
    std::optional<Timestamp> seen;     // when last written from a live strip
    friend bool operator==(const SavedStrip&, const SavedStrip&) = default;
};

// The strips that were showing for one combination of displays.
struct SavedSetup {
    std::vector<std::string> displays;  // UUIDs, ascending; equal lists = same setup
    std::vector<SavedStrip> strips;
    std::optional<Timestamp> seen;
    friend bool operator==(const SavedSetup&, const SavedSetup&) = default;
};

struct SavedSession {
    std::vector<SavedStrip> strips;
    std::vector<SavedSetup> setups;
    friend bool operator==(const SavedSession&, const SavedSession&) = default;
};

// A window on screen now, as the matcher sees it.
struct LiveWindow {
    WindowID id = 0;
    std::string bundleID;
    std::string title;
    friend bool operator==(const LiveWindow&, const LiveWindow&) = default;
};

// Where a saved window sat: strip index into the matcher's list of saved
// strips, column index into that strip, row index into that column.
struct SavedRef {
    int strip = 0;
    int column = 0;
    int row = 0;
    friend bool operator==(const SavedRef&, const SavedRef&) = default;
};

// Compact JSON. Never throws: text that is not valid UTF-8 is replaced. An
// empty result means memory ran out; it is not a session and must not be
// written over a good file.
std::string encodeSession(const SavedSession& session);
// Absent when the text is not a readable session. A broken "setups" list
// costs only the setups; anything else wrong costs the whole file.
std::optional<SavedSession> decodeSession(std::string_view text);

}  // namespace tessaline

template <>
struct std::hash<tessaline::SavedRef> {
    std::size_t operator()(const tessaline::SavedRef& ref) const noexcept {
        std::size_t h = std::hash<int>{}(ref.strip);
        h ^= std::hash<int>{}(ref.column) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        h ^= std::hash<int>{}(ref.row) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        return h;
    }
};
