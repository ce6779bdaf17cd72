// The focus border, the shade, the drop preview and the tab bars.

#include <algorithm>
#include <cmath>

#include "overlays/draw/Drawing.h"
#include "overlays/draw/Paint.h"

namespace tessaline {

namespace {

void strokeRounded(cairo_t* cr, const RoundedRect& shape, double width) {
    Paint::roundedRect(cr, shape.rect, shape.radius);
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
}

}  // namespace

void drawBorder(cairo_t* cr, const Canvas& canvas, const BorderStyle& style) {
    const RoundedRect rim = FocusGeometry::rim(canvas.size, style);
    if (canvas.composited) {
        // Cairo has no blur: widening, faint strokes make the coloured glow
        // (opacity 0.7, about 6 points) that lifts the rim off the window.
        for (int spread = static_cast<int>(Looks::shadowRadius); spread >= 1; --spread) {
            Paint::color(cr, style.color, Looks::shadowOpacity * 0.12);
            strokeRounded(cr, rim, style.lineWidth + 2.0 * spread);
        }
    }
    Paint::color(cr, style.color);
    strokeRounded(cr, rim, style.lineWidth);

    // The shine: a thin white line inside the rim, fading towards the bottom.
    // Stroked with the fading gradient itself: a group to mask would cost
    // a whole window-sized image each time the border is drawn.
    const RoundedRect shine = FocusGeometry::shine(canvas.size, style);
    cairo_pattern_t* fade = cairo_pattern_create_linear(0, shine.rect.y, 0, shine.rect.maxY());
    cairo_pattern_add_color_stop_rgba(fade, 0, 1, 1, 1, 0.75);
    cairo_pattern_add_color_stop_rgba(fade, 0.5, 1, 1, 1, 0.75 * 0.15);
    cairo_pattern_add_color_stop_rgba(fade, 1, 1, 1, 1, 0);
    cairo_set_source(cr, fade);
    strokeRounded(cr, shine, std::max(0.4 * style.lineWidth, 1.0));
    cairo_pattern_destroy(fade);
}

void drawShade(cairo_t* cr, const Canvas& canvas, double amount) {
    if (!canvas.composited) return;
    cairo_set_source_rgba(cr, 0, 0, 0, std::clamp(amount, 0.0, 1.0));
    cairo_paint(cr);
}

void drawDropPreview(cairo_t* cr, const Canvas& canvas) {
    const Rect inner{1, 1, canvas.size.width - 2, canvas.size.height - 2};
    if (canvas.composited) {
        Paint::roundedRect(cr, inner, Looks::dropRadius);
        Paint::color(cr, Paint::accent, 0.14);
        cairo_fill(cr);
    }
    Paint::color(cr, Paint::accent, canvas.composited ? 0.85 : 1.0);
    cairo_set_line_width(cr, 2);
    // The outline only touches bands along the edges: stroked band by band,
    // each clipped to its band, it costs what its length does rather than
    // the area of a window-sized preview.
    const double band = Looks::dropRadius + 3;
    // Whole pixels, so that each clip is a plain box rather than a mask.
    const double w = std::ceil(canvas.size.width), h = std::ceil(canvas.size.height);
    if (w <= 2 * band || h <= 2 * band) {
        Paint::roundedRect(cr, inner, Looks::dropRadius);
        cairo_stroke(cr);
        return;
    }
    const Rect bands[] = {{0, 0, w, band}, {0, h - band, w, band}, {0, band, band, h - 2 * band},
                          {w - band, band, band, h - 2 * band}};
    for (const Rect& clip : bands) {
        cairo_save(cr);
        cairo_rectangle(cr, clip.x, clip.y, clip.width, clip.height);
        cairo_clip(cr);
        Paint::roundedRect(cr, inner, Looks::dropRadius);
        cairo_stroke(cr);
        cairo_restore(cr);
    }
}

void drawTabBar(cairo_t* cr, const Canvas& canvas, const std::vector<std::string>& titles, int active) {
    const double width = canvas.size.width;
    const double height = canvas.size.height;
    const double alpha = canvas.composited ? Looks::tabBarAlpha : 1.0;
    Paint::roundedRect(cr, {0, 0, width, height}, 6);
    cairo_set_source_rgba(cr, 0.13, 0.13, 0.15, alpha);
    cairo_fill(cr);
    if (titles.empty()) return;

    const double tab = width / static_cast<double>(titles.size());
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const Rect box{tab * static_cast<double>(i), 0, tab, height};
        const bool isActive = static_cast<int>(i) == active;
        if (isActive) {
            Paint::roundedRect(cr, {box.x + 2, 2, box.width - 4, height - 4}, 5);
            Paint::color(cr, Paint::accent, 0.9);
            cairo_fill(cr);
        } else if (i > 0 && static_cast<int>(i) != active + 1) {
            cairo_set_source_rgba(cr, 1, 1, 1, 0.15);
            cairo_rectangle(cr, box.x, 5, 1, height - 10);
            cairo_fill(cr);
        }
        Paint::text(cr, titles[i], {box.x + 8, 0, box.width - 16, height},
                    {.size = 12, .bold = isActive, .color = {1, 1, 1, isActive ? 1.0 : 0.75}});
    }
}

}  // namespace tessaline
