#pragma once
// Small Cairo and Pango helpers shared by the overlays' drawing: paths,
// colours, icons and one line of text. Pango (and with it fontconfig) is
// touched only when text is first drawn, so a manager that shows no text
// never pays for fonts.

#include <cairo.h>

#include <string_view>

#include "core/Geometry.h"
#include "engine/settings/Config.h"
#include "overlays/model/AppIcon.h"

namespace tessaline::Paint {

// The accent of selections, drop previews and the focused minimap block.
inline constexpr RGBA accent{0.25, 0.56, 1.0, 1.0};

// Adds a rounded rectangle to the path (radius clamped to half the shorter side).
void roundedRect(cairo_t* cr, const Rect& rect, double radius);
// Fills a rounded rectangle with the current source. Small ones come from a
// cache of their shapes, at whole pixels: a bar of many tiles repaints fast.
void fillRounded(cairo_t* cr, const Rect& rect, double radius);
// Sets the source to a colour, its alpha multiplied by `alpha`.
void color(cairo_t* cr, const RGBA& rgba, double alpha = 1);

// Paints the image scaled to fit `box`, centred, keeping its proportions.
void image(cairo_t* cr, const ArgbImage& image, const Rect& box, double alpha = 1);
// The icon's size that best fits `box`, or the generic icon when there is none.
void icon(cairo_t* cr, const AppIconRef& icon, const Rect& box, double alpha = 1);
// Our own stand-in for an application without an icon.
void genericIcon(cairo_t* cr, const Rect& box, double alpha = 1);

struct TextStyle {
    double size = 12;   // pixels
    bool bold = false;
    RGBA color{1, 1, 1, 1};
    bool centred = true;
};
// One line in `box`, vertically centred, cut at the tail with an ellipsis
// when it does not fit.
void text(cairo_t* cr, std::string_view text, const Rect& box, const TextStyle& style);

}  // namespace tessaline::Paint
