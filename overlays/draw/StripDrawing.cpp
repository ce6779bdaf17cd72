// The strip bar (collapsed and as the timeline) and the minimap.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "overlays/draw/Drawing.h"
#include "overlays/draw/Paint.h"

namespace tessaline {

namespace {

constexpr RGBA white{1, 1, 1, 1};

// The bar's background in each look. Glass is a light frosted pane, classic
// a dark one; without a compositor both are opaque.
void background(cairo_t* cr, const Canvas& canvas, TimelineLook look, double radius) {
    const Rect bounds{0, 0, canvas.size.width, canvas.size.height};
    Paint::roundedRect(cr, bounds, radius);
    if (look == TimelineLook::glass) {
        if (canvas.composited) {
            cairo_set_source_rgba(cr, 0.86, 0.88, 0.93, Looks::glassBarAlpha);
        } else {
            cairo_set_source_rgb(cr, 0.55, 0.58, 0.64);
        }
        cairo_fill_preserve(cr);
        cairo_pattern_t* sheen = cairo_pattern_create_linear(0, 0, 0, bounds.height);
        cairo_pattern_add_color_stop_rgba(sheen, 0, 1, 1, 1, 0.35);
        cairo_pattern_add_color_stop_rgba(sheen, 0.5, 1, 1, 1, 0.0);
        cairo_set_source(cr, sheen);
        cairo_fill(cr);
        cairo_pattern_destroy(sheen);
        Paint::roundedRect(cr, {0.5, 0.5, bounds.width - 1, bounds.height - 1}, radius - 0.5);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.6);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    } else {
        cairo_set_source_rgba(cr, 0.11, 0.11, 0.13, canvas.composited ? Looks::classicBarAlpha : 1.0);
        cairo_fill(cr);
    }
}

void chipSquare(cairo_t* cr, const Metrics& m, const Rect& square, const Chip& chip, bool active,
                bool focused, double alpha) {
    // Glass is light: its tiles need more white to stand out.
    const bool glass = m.look == TimelineLook::glass;
    cairo_set_source_rgba(cr, 1, 1, 1, (active ? (glass ? 0.5 : 0.22) : (glass ? 0.25 : 0.1)) * alpha);
    Paint::fillRounded(cr, square, m.tileRadius);
    const double inset = (square.width - m.icon) * 0.5;
    Paint::icon(cr, chip.icon, {square.x + inset, square.y + inset, m.icon, m.icon}, alpha);
    if (focused) {
        Paint::roundedRect(cr, {square.x - 1, square.y - 1, square.width + 2, square.height + 2},
                           m.tileRadius + 1);
        Paint::color(cr, Paint::accent);
        cairo_set_line_width(cr, 2);
        cairo_stroke(cr);
    }
}

void caption(cairo_t* cr, const Metrics& m, const Rect& box, const std::string& label, double alpha) {
    if (m.label <= 0 || label.empty()) return;
    // Dark captions on the light glass, light ones on the dark classic bar.
    const double shade = m.look == TimelineLook::glass ? 0.08 : 1.0;
    Paint::text(cr, label, {box.x + 2, box.y, box.width - 4, box.height},
                {.size = 10, .color = {shade, shade, shade, 0.85 * alpha}});
}

// Count dots under the icon of a collapsed tile that holds several windows.
void countDots(cairo_t* cr, const Rect& square, int count, double alpha) {
    const int dots = std::min(count, 4);
    const double step = 5;
    double x = square.midX() - step * (dots - 1) * 0.5;
    cairo_set_source_rgba(cr, 1, 1, 1, 0.85 * alpha);
    for (int i = 0; i < dots; ++i, x += step) {
        cairo_arc(cr, x, square.maxY() - 3.5, 1.5, 0, 2 * std::numbers::pi);
        cairo_fill(cr);
    }
}

void dropMarker(cairo_t* cr, const StripBarModel& model, const DropTarget& target) {
    const Metrics& m = model.metrics;
    const Size size = m.barSize();
    Paint::color(cr, Paint::accent);
    if (const auto* column = std::get_if<NewColumn>(&target)) {
        const double x = m.padH + (m.cell + m.spacing) * column->at - m.spacing * 0.5;
        Paint::roundedRect(cr, {x - 1.5, m.padTop, 3, size.height - m.padTop - m.padBottom}, 1.5);
    } else if (const auto* stack = std::get_if<Stack>(&target)) {
        const Rect cell = m.cellRect(stack->column);
        const double pitch = m.rowSpacing + m.tile + m.label;
        const double y = std::min(m.padTop + pitch * stack->row - m.rowSpacing * 0.5,
                                  size.height - m.padBottom * 0.5);
        Paint::roundedRect(cr, {cell.x, y - 1.5, cell.width, 3}, 1.5);
    }
    cairo_fill(cr);
}

}  // namespace

void drawStripBar(cairo_t* cr, const Canvas& canvas, const StripBarModel& model,
                  const std::optional<ChipDrag>& drag) {
    const Metrics& m = model.metrics;
    background(cr, canvas, m.look, m.radius);

    for (std::size_t i = 0; i < model.tiles.size(); ++i) {
        const Tile& tile = model.tiles[i];
        const int index = static_cast<int>(i);
        // Columns out of view are fainter: the bright ones are the screen.
        const double alpha = tile.onScreen ? 1.0 : 0.55;
        if (!model.expanded) {
            const int active = std::clamp(tile.active, 0, static_cast<int>(tile.windows.size()) - 1);
            if (tile.windows.empty()) continue;
            const Rect square = m.chipRect(index, 0);
            chipSquare(cr, m, square, tile.windows[active], tile.onScreen, tile.focused, alpha);
            if (tile.windows.size() > 1) countDots(cr, square, static_cast<int>(tile.windows.size()), alpha);
            caption(cr, m, m.labelRect(index, 0), tile.windows[active].label, alpha);
            continue;
        }
        const Rect cell = m.cellRect(index);
        const double pitch = m.rowSpacing + m.tile + m.label;
        const Rect column{cell.x, cell.y, cell.width,
                          pitch * static_cast<double>(tile.windows.size()) - m.rowSpacing};
        Paint::roundedRect(cr, {column.x - 2, column.y - 2, column.width + 4, column.height + 4},
                           m.tileRadius + 2);
        cairo_set_source_rgba(cr, 1, 1, 1, tile.onScreen ? 0.08 : 0.04);
        cairo_fill(cr);
        for (std::size_t row = 0; row < tile.windows.size(); ++row) {
            const Chip& chip = tile.windows[row];
            const bool lifted = drag && drag->id == chip.id;
            const bool active = static_cast<int>(row) == tile.active;
            chipSquare(cr, m, m.chipRect(index, static_cast<int>(row)), chip, active,
                       active && tile.focused, lifted ? 0.25 : alpha);
            caption(cr, m, m.labelRect(index, static_cast<int>(row)), chip.label, lifted ? 0.25 : alpha);
        }
    }

    if (!drag) return;
    if (drag->target) dropMarker(cr, model, *drag->target);
    for (const Tile& tile : model.tiles) {
        for (const Chip& chip : tile.windows) {
            if (chip.id != drag->id) continue;
            // The lifted chip follows the pointer, a little larger, with a shadow.
            const double side = m.tile * 1.08;
            const Rect square{drag->at.x - side / 2, drag->at.y - side / 2, side, side};
            if (canvas.composited) {
                Paint::roundedRect(cr, {square.x + 1, square.y + 3, side, side}, m.tileRadius);
                cairo_set_source_rgba(cr, 0, 0, 0, 0.3);
                cairo_fill(cr);
            }
            Paint::roundedRect(cr, square, m.tileRadius);
            cairo_set_source_rgba(cr, 0.3, 0.3, 0.34, 1);
            cairo_fill(cr);
            const double icon = m.icon * 1.08;
            Paint::icon(cr, chip.icon, {square.midX() - icon / 2, square.midY() - icon / 2, icon, icon});
            return;
        }
    }
}

void MinimapView::draw(cairo_t* cr, const Canvas& canvas, const Model& model) {
    background(cr, canvas, TimelineLook::classic, Looks::minimapRadius);
    const Geometry g = geometry(model, canvas.size);
    for (const Block& block : g.blocks) {
        if (block.focused) {
            Paint::color(cr, Paint::accent);
        } else {
            Paint::color(cr, white, 0.3);
        }
        Paint::fillRounded(cr, block.rect, 2.5);
    }
    for (std::size_t i = 0; i < g.labels.size() && i < model.labels.size(); ++i) {
        const bool focused = static_cast<int>(i) == model.focused;
        Paint::text(cr, model.labels[i], g.labels[i],
                    {.size = 9, .bold = focused, .color = {1, 1, 1, focused ? 0.95 : 0.6}});
    }
    Paint::roundedRect(cr, g.viewport, 4);
    Paint::color(cr, white, 0.85);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
}

}  // namespace tessaline
