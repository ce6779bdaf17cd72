// The status icon: three columns of a strip, the middle one wider, cut by
// the edges of the icon as the strip is cut by the screen.

#include <cairo.h>

#include <algorithm>

#include "overlays/draw/Drawing.h"
#include "overlays/draw/Paint.h"

namespace tessaline {

void drawStatusIcon(cairo_t* cr, const Rect& box, StatusIconState state, const RGBA& color) {
    const double u = std::min(box.width, box.height) / 16.0;
    const double x0 = box.x + (box.width - 16 * u) / 2;
    const double y0 = box.y + (box.height - 16 * u) / 2;
    const Rect columns[] = {
        {x0 - 1 * u, y0 + 3 * u, 4 * u, 10 * u},
        {x0 + 4.5 * u, y0 + 2 * u, 7 * u, 12 * u},
        {x0 + 13 * u, y0 + 3 * u, 4 * u, 10 * u},
    };
    cairo_save(cr);
    cairo_rectangle(cr, box.x, box.y, box.width, box.height);
    cairo_clip(cr);
    Paint::color(cr, color);
    cairo_set_line_width(cr, 1.3 * u);
    for (const Rect& column : columns) {
        if (state == StatusIconState::tiling) {
            Paint::roundedRect(cr, column, 1.2 * u);
            cairo_fill(cr);
        } else {
            const double half = 0.65 * u;
            Paint::roundedRect(cr, {column.x + half, column.y + half, column.width - 2 * half,
                                    column.height - 2 * half}, u);
            cairo_stroke(cr);
        }
    }
    if (state == StatusIconState::needsPermission) {
        // A slash through the strip, clear of the columns around it.
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_set_line_width(cr, 3.4 * u);
        cairo_move_to(cr, x0 + 1 * u, y0 + 15 * u);
        cairo_line_to(cr, x0 + 15 * u, y0 + 1 * u);
        cairo_stroke(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        Paint::color(cr, color);
        cairo_set_line_width(cr, 1.5 * u);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, x0 + 1.5 * u, y0 + 14.5 * u);
        cairo_line_to(cr, x0 + 14.5 * u, y0 + 1.5 * u);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

ArgbImage renderStatusIcon(StatusIconState state, int pixels, const RGBA& color) {
    ArgbImage result;
    if (pixels <= 0 || pixels > 1024) return result;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels, pixels);
    cairo_t* cr = cairo_create(surface);
    drawStatusIcon(cr, {0, 0, double(pixels), double(pixels)}, state, color);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        result.width = result.height = pixels;
        result.pixels.resize(static_cast<std::size_t>(pixels) * pixels);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < pixels; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
            for (int x = 0; x < pixels; ++x) {
                // Back to straight alpha, as icon pixels are everywhere else.
                const std::uint32_t p = row[x];
                const std::uint32_t a = p >> 24;
                const auto un = [a](std::uint32_t c) { return a ? std::min<std::uint32_t>((c * 255 + a / 2) / a, 255) : 0; };
                result.pixels[static_cast<std::size_t>(y) * pixels + x] =
                    (a << 24) | (un((p >> 16) & 0xff) << 16) | (un((p >> 8) & 0xff) << 8) | un(p & 0xff);
            }
        }
    }
    cairo_surface_destroy(surface);
    return result;
}

}  // namespace tessaline
