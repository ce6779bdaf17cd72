#include "overlays/model/StripBarModel.h"

#include <algorithm>
#include <cmath>

#include "engine/wm/ManagedWindow.h"

namespace tessaline {

namespace {

// The glass look grows everything from one icon size.
Metrics glassFrom(double d, bool labels) {
    Metrics m;
    m.look = TimelineLook::glass;
    m.icon = d;
    m.spacing = std::round(0.14 * d);
    m.rowSpacing = std::round(0.12 * d);
    m.tile = d + 2 * m.rowSpacing;
    m.padH = m.padTop = std::round(0.2 * d);
    m.padBottom = labels ? m.rowSpacing : m.padH;
    m.label = labels ? 15 : 0;
    m.cell = labels ? std::max(m.tile, 84.0) : m.tile;
    m.radius = std::round((m.padBottom + m.label + m.padTop + m.tile) * 0.27);
    m.tileRadius = std::round(m.tile * 0.26);
    return m;
}

double neededWidth(const Metrics& m, int n) { return 2 * m.padH + m.cell * n + m.spacing * (n - 1); }

Metrics glassMetrics(int n, bool labels, double maxWidth) {
    Metrics m = glassFrom(StripBarModel::dockIconSize, labels);
    if (neededWidth(m, n) <= maxWidth) return m;
    if (labels) {
        // Captions give way first: narrower cells keep the icons at full size.
        m.cell = std::max(m.tile, std::floor((maxWidth - 2 * m.padH - m.spacing * (n - 1)) / n));
        if (neededWidth(m, n) <= maxWidth) return m;
    }
    const double smaller = std::max(std::floor(maxWidth / (1.38 * n + 0.26)), 20.0);
    m = glassFrom(smaller, labels);
    m.cell = m.tile;
    return m;
}

Metrics classicMetrics(int n, bool expanded, bool labels, double maxWidth) {
    Metrics m;
    m.look = TimelineLook::classic;
    const double base = std::floor((maxWidth - 16 - 6.0 * (n - 1)) / n);
    m.tile = std::min(std::max(base, 22.0), expanded ? 52.0 : 44.0);
    const double wide = std::min(base, 84.0);
    m.cell = (labels && m.tile <= wide) ? wide : m.tile;
    m.icon = std::round(0.72 * m.tile);
    m.tileRadius = 0.24 * m.tile;
    m.spacing = 6;
    m.rowSpacing = 4;
    m.padH = m.padTop = m.padBottom = 8;
    m.label = labels ? 15 : 0;
    m.radius = 16;
    return m;
}

}  // namespace

// ---------------------------------------------------------------------------
// Metrics

Size Metrics::barSize() const {
    return {2 * padH + cell * columns + spacing * (columns - 1),
            padTop + padBottom + (tile + label) * rows + rowSpacing * (rows - 1)};
}

Rect Metrics::cellRect(int index) const {
    return {padH + (cell + spacing) * index, padTop, cell,
            (tile + label) * rows + rowSpacing * (rows - 1)};
}

Rect Metrics::chipRect(int index, int row) const {
    const Rect cellFrame = cellRect(index);
    return {cellFrame.x + (cell - tile) * 0.5, padTop + (rowSpacing + tile + label) * row, tile, tile};
}

Rect Metrics::labelRect(int index, int row) const {
    const Rect chip = chipRect(index, row);
    return {cellRect(index).x, chip.maxY(), cell, label};
}

// ---------------------------------------------------------------------------
// StripBarModel

Metrics StripBarModel::metricsFor(int columns, int rows, bool expanded, bool labels,
                                  TimelineLook look, double maxWidth) {
    const int n = std::max(columns, 1);
    Metrics m = look == TimelineLook::glass ? glassMetrics(n, labels, maxWidth)
                                            : classicMetrics(n, expanded, labels, maxWidth);
    m.columns = n;
    m.rows = std::max(rows, 1);
    return m;
}

std::optional<DropTarget> StripBarModel::dropTarget(Point p, WindowID dragging) const {
    const Metrics& m = metrics;
    int source = -1;
    int sourceRow = 0;
    for (std::size_t i = 0; i < tiles.size() && source < 0; ++i) {
        for (std::size_t row = 0; row < tiles[i].windows.size(); ++row) {
            if (tiles[i].windows[row].id == dragging) {
                source = static_cast<int>(i);
                sourceRow = static_cast<int>(row);
                break;
            }
        }
    }
    if (source < 0) return std::nullopt;
    const int sourceCount = static_cast<int>(tiles[source].windows.size());
    const int count = static_cast<int>(tiles.size());

    const int g = std::max(0, static_cast<int>(std::floor((p.x - m.padH + m.spacing * 0.5) /
                                                           (m.cell + m.spacing))));
    DropTarget target = NewColumn{count};
    if (g < count) {
        const double f = (p.x - (m.padH + (m.cell + m.spacing) * g)) / m.cell;
        if (f < 0.25) {
            target = NewColumn{g};
        } else if (f > 0.75) {
            target = NewColumn{g + 1};
        } else {
            int k = 0;
            const std::vector<Chip>& chips = tiles[g].windows;
            for (std::size_t row = 0; row < chips.size(); ++row) {
                if (chips[row].id == dragging) continue;
                const double middle = m.padTop + (m.rowSpacing + m.tile + m.label) * row + m.tile * 0.5;
                if (middle < p.y) ++k;
            }
            target = Stack{g, k};
        }
    }

    if (const auto* stack = std::get_if<Stack>(&target)) {
        if (stack->column == source && (sourceCount == 1 || stack->row == sourceRow)) return std::nullopt;
    } else if (const auto* column = std::get_if<NewColumn>(&target)) {
        if (sourceCount == 1 && (column->at == source || column->at == source + 1)) return std::nullopt;
    }
    return target;
}

std::optional<int> StripBarModel::tileAt(Point p) const {
    const Size size = metrics.barSize();
    if (p.y < 0 || p.y >= size.height) return std::nullopt;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const Rect cell = metrics.cellRect(static_cast<int>(i));
        // Half the spacing on either side belongs to the tile, so a click
        // between two tiles still lands on one.
        if (p.x >= cell.x - metrics.spacing * 0.5 && p.x < cell.maxX() + metrics.spacing * 0.5) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

std::optional<WindowID> StripBarModel::chipAt(Point p) const {
    const auto index = tileAt(p);
    if (!index) return std::nullopt;
    const std::vector<Chip>& chips = tiles[*index].windows;
    const double pitch = metrics.rowSpacing + metrics.tile + metrics.label;
    const int row = static_cast<int>(std::floor((p.y - metrics.padTop + metrics.rowSpacing * 0.5) / pitch));
    if (row < 0 || row >= static_cast<int>(chips.size())) return std::nullopt;
    return chips[row].id;
}

// ---------------------------------------------------------------------------
// Building tiles

std::vector<Tile> makeTiles(const Strip& strip, double visibleWidth, double gap,
                            const MinWidths& minWidths,
                            const std::function<Chip(WindowID)>& chip) {
    const std::vector<Span> spans = Layout::spans(strip, visibleWidth, gap, minWidths);
    const double scroll = strip.scroll;
    std::vector<Tile> tiles;
    tiles.reserve(strip.columns.size());
    for (std::size_t i = 0; i < strip.columns.size() && i < spans.size(); ++i) {
        const Column& column = strip.columns[i];
        if (column.windows.empty()) continue;
        const Span& span = spans[i];
        const double shown = std::max(0.0, std::min(span.maxX(), scroll + visibleWidth) -
                                               std::max(scroll, span.x));
        Tile tile;
        tile.id = column.windows.front();
        tile.column = static_cast<int>(i);
        tile.active = column.active;
        tile.focused = static_cast<int>(i) == strip.focused;
        tile.onScreen = shown > span.width * 0.5;
        for (WindowID id : column.windows) tile.windows.push_back(chip(id));
        tiles.push_back(std::move(tile));
    }
    return tiles;
}

Chip makeChip(WindowID id, const ManagedWindow* window, TimelineLabels labels, AppIconRef icon) {
    Chip chip;
    chip.id = id;
    if (!window) return chip;
    chip.icon = std::move(icon);
    switch (labels) {
        case TimelineLabels::off: break;
        case TimelineLabels::appName: chip.label = window->appName; break;
        case TimelineLabels::windowTitle:
            chip.label = window->title.empty() ? window->appName : window->title;
            break;
    }
    chip.name = window->appName;
    if (!window->title.empty() && window->title != window->appName) chip.name += ", " + window->title;
    return chip;
}

Rect stripBarFrame(const Metrics& metrics, const Rect& visible) {
    const Size size = metrics.barSize();
    // Whole points, so that edges fall on pixels.
    return {std::round(visible.x + (visible.width - size.width) * 0.5),
            std::round(visible.maxY() - 12 - size.height), size.width, size.height};
}

}  // namespace tessaline
