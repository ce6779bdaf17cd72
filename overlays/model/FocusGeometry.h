#pragma once
// Where the focus border, the dim hole and the tab bars go, from the frames
// the window manager shows and the settings.

#include <optional>
#include <vector>

#include "core/Geometry.h"
#include "engine/platform/PlatformTypes.h"
#include "engine/settings/Config.h"

namespace tessaline {

// The corner radius of windows when the settings give none. Our windows
// carry no decorations of ours, and client-side decorated ones round their
// corners by about this much.
inline constexpr double systemCornerRadius = 10;

// A rounded rectangle: the dim panel's hole.
struct RoundedRect {
    Rect rect;
    double radius = 0;
    friend bool operator==(const RoundedRect&, const RoundedRect&) = default;
};

struct BorderStyle {
    RGBA color;
    double lineWidth = 3;
    double radius = systemCornerRadius;
    friend bool operator==(const BorderStyle&, const BorderStyle&) = default;
};

namespace FocusGeometry {

// Room around the window for the rim's shadow.
inline constexpr double shadowRoom = 10;
// A tab bar is this high, its top this far above the window's top edge.
inline constexpr double tabBarHeight = 22;
inline constexpr double tabBarRise = 26;

// True when the rectangle overlaps some display by more than 40 points of
// width: less than that of a window is not worth outlining.
bool isOnScreen(const Rect& rect, const std::vector<Display>& displays);

double cornerRadius(const Config& config);
BorderStyle borderStyle(const Config& config);

// The border panel around a window's shown frame.
Rect borderPanelFrame(const Rect& shown, double lineWidth);
// The rim's path in the border panel's own coordinates: the stroke's inner
// edge lies on the window's edge.
RoundedRect rim(Size panel, const BorderStyle& style);
// The thin highlight just inside the rim.
RoundedRect shine(Size panel, const BorderStyle& style);

// The tab bar above a window.
Rect tabBarFrame(const Rect& window);
// The tab a click at `x` selects in a bar `width` wide with `count` tabs.
std::optional<int> tabAt(double x, double width, int count);

}  // namespace FocusGeometry
}  // namespace tessaline
