#pragma once
// The strip bar and the timeline as data: one tile per column, one chip per
// window, the bar's metrics and where things are inside it. Nothing here
// draws or knows a window system; the bar's drawing and its panel read it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "core/Layout.h"
#include "core/Strip.h"
#include "engine/settings/Config.h"
#include "overlays/model/AppIcon.h"

namespace tessaline {

struct ManagedWindow;

// One window of a tile.
struct Chip {
    WindowID id = 0;
    AppIconRef icon;     // null: the generic icon
    std::string label;   // shown under the chip; empty when labels are off
    std::string name;    // the app name, and ", " and the title when that adds something
    friend bool operator==(const Chip&, const Chip&) = default;
};

// One column of the strip.
struct Tile {
    WindowID id = 0;      // the column's first window: the tile's identity
    int column = 0;       // index in the strip
    std::vector<Chip> windows;  // top to bottom
    int active = 0;       // the column's active row
    bool focused = false; // the strip's focused column
    bool onScreen = false;  // more than half of the column is inside the viewport
    friend bool operator==(const Tile&, const Tile&) = default;
};

// The bar's geometry in points (columns and rows are counts).
struct Metrics {
    TimelineLook look = TimelineLook::classic;
    double icon = 0;
    double tile = 0;
    double cell = 0;
    double spacing = 0;
    double rowSpacing = 0;
    double padH = 0;
    double padTop = 0;
    double padBottom = 0;
    double label = 0;
    double radius = 0;
    double tileRadius = 0;
    int columns = 1;
    int rows = 1;

    Size barSize() const;
    // Bar coordinates: the cell of tile `index` (full height of the chips)
    // and the square of one chip in it; row 0 is the collapsed tile.
    Rect cellRect(int index) const;
    Rect chipRect(int index, int row) const;
    // Where the caption under a chip goes (zero height without labels).
    Rect labelRect(int index, int row) const;

    friend bool operator==(const Metrics&, const Metrics&) = default;
};

class StripBarModel {
public:
    // The icon size the glass look starts from. Linux has no Dock whose tile
    // size we could follow, so it is the value used when that preference is absent.
    static constexpr double dockIconSize = 48;

    // The geometry of a bar of `columns` tiles and `rows` rows that must fit
    // in `maxWidth` (both counts are raised to at least 1).
    static Metrics metricsFor(int columns, int rows, bool expanded, bool labels,
                              TimelineLook look, double maxWidth);

    std::vector<Tile> tiles;
    bool expanded = false;
    bool labels = false;
    Metrics metrics;

    std::function<void(int column)> onSelectColumn;
    std::function<void(WindowID)> onSelectWindow;
    std::function<void(WindowID, const DropTarget&)> onDrop;

    // Where window `dragging` would land if dropped at `p` (bar coordinates);
    // absent when it is not in the bar or the drop would change nothing.
    std::optional<DropTarget> dropTarget(Point p, WindowID dragging) const;
    // The tile whose cell contains `p` (index into `tiles`).
    std::optional<int> tileAt(Point p) const;
    // The chip under `p` in the timeline layout.
    std::optional<WindowID> chipAt(Point p) const;
};

// The tiles of a strip shown on a display whose visible width is
// `visibleWidth`; `chip` describes one window.
std::vector<Tile> makeTiles(const Strip& strip, double visibleWidth, double gap,
                            const MinWidths& minWidths,
                            const std::function<Chip(WindowID)>& chip);

// One window as a chip: its label follows `labels`; without a record only the
// id is known.
Chip makeChip(WindowID id, const ManagedWindow* window, TimelineLabels labels, AppIconRef icon);

// The bar's frame on a display: centred on the visible area, its bottom edge
// 12 points above the visible area's bottom.
Rect stripBarFrame(const Metrics& metrics, const Rect& visible);

}  // namespace tessaline
