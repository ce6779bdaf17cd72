#pragma once
// One drawing function per overlay. Each paints a whole panel of
// `canvas.size` points onto a context cleared to transparent, from plain
// data, so the same call fills an X11 window and a PNG image. With
// `canvas.composited` false there is no true transparency: shapes are
// opaque (the platform cuts the window to them) and nothing is dimmed.

#include <cairo.h>

#include <optional>
#include <string>
#include <vector>

#include "overlays/Panel.h"
#include "overlays/model/FocusGeometry.h"
#include "overlays/model/Minimap.h"
#include "overlays/model/OverviewModel.h"
#include "overlays/model/StripBarModel.h"

namespace tessaline {

// Transparency, shadow and corners of the panels, shared by the drawing and
// the `state` command's report.
namespace Looks {
inline constexpr double classicBarAlpha = 0.82;
inline constexpr double glassBarAlpha = 0.42;
inline constexpr double tabBarAlpha = 0.92;
inline constexpr double overviewAlpha = 0.86;
inline constexpr double shadowOpacity = 0.7;
inline constexpr double shadowRadius = 6;
inline constexpr double minimapRadius = 12;
inline constexpr double dropRadius = 14;
}  // namespace Looks

void drawBorder(cairo_t* cr, const Canvas& canvas, const BorderStyle& style);
// A uniform shade of `amount` opacity; the hole is the panel's, not the painter's.
void drawShade(cairo_t* cr, const Canvas& canvas, double amount);
void drawDropPreview(cairo_t* cr, const Canvas& canvas);
void drawTabBar(cairo_t* cr, const Canvas& canvas, const std::vector<std::string>& titles, int active);

// A chip being dragged in the timeline: where the pointer holds it and
// where it would land.
struct ChipDrag {
    WindowID id = 0;
    Point at;  // bar coordinates
    std::optional<DropTarget> target;
};
void drawStripBar(cairo_t* cr, const Canvas& canvas, const StripBarModel& model,
                  const std::optional<ChipDrag>& drag = std::nullopt);

namespace MinimapView {
void draw(cairo_t* cr, const Canvas& canvas, const Model& model);
}

void drawOverview(cairo_t* cr, const Canvas& canvas, const OverviewModel& model);

// The status icon: a strip of columns, filled while tiling, outlined while
// paused, and crossed out while the program may not manage windows.
enum class StatusIconState { tiling, paused, needsPermission };
void drawStatusIcon(cairo_t* cr, const Rect& box, StatusIconState state, const RGBA& color);
// The icon as pixels, for a status notifier item.
ArgbImage renderStatusIcon(StatusIconState state, int pixels, const RGBA& color);

}  // namespace tessaline
