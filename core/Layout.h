#pragma once
// Stateless geometry of a strip: column extents, the scroll that keeps the
// focused column in view, window frames, and the inverse questions asked by
// dragging and scrolling. Functions that adjust the scroll or widths take the
// strip by reference and touch nothing else.

#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "core/Geometry.h"
#include "core/LayoutConfig.h"
#include "core/Strip.h"

namespace tessaline {

// A column's horizontal extent in strip coordinates: the first column starts
// at x = gap, each next one gap after the previous one ends.
struct Span {
    double x = 0;
    double width = 0;

    constexpr double maxX() const { return x + width; }
    constexpr double midX() const { return x + width * 0.5; }
    friend bool operator==(const Span&, const Span&) = default;
};

// Where one window goes on screen.
struct Placement {
    WindowID id = 0;
    Rect frame;
    int column = 0;           // index of the window's column in the strip
    bool hiddenTab = false;   // in a tabbed column, but not its active tab
    friend bool operator==(const Placement&, const Placement&) = default;
};

// The smallest width in points each window has been seen to accept.
using MinWidths = std::unordered_map<WindowID, double>;

namespace Layout {

using tessaline::Placement;
using tessaline::Span;

inline constexpr double minimumColumnWidth = 120;

// Points for a share of the viewport; shares adding up to 1 tile it exactly.
double columnWidth(double fraction, double viewportWidth, double gap);
// The share whose columnWidth is `width` (before rounding and minimum).
double fractionForWidth(double width, double viewportWidth, double gap);

std::vector<Span> spans(const Strip& strip, double viewportWidth, double gap,
                        const MinWidths& minWidths);
// Widens for good every column whose windows refuse to be narrower.
bool clampToMinimumWidths(Strip& strip, double viewportWidth, double gap,
                          const MinWidths& minWidths);
// Content width: the last column's maxX plus gap; just gap when empty.
double totalWidth(std::span<const Span> spans, double gap);

void ensureVisible(Strip& strip, double viewportWidth, const LayoutConfig& config,
                   const MinWidths& minWidths);
void clampScroll(Strip& strip, double viewportWidth, const LayoutConfig& config,
                 const MinWidths& minWidths);
void centreFocused(Strip& strip, double viewportWidth, const LayoutConfig& config,
                   const MinWidths& minWidths);

std::vector<Placement> placements(const Strip& strip, const Rect& viewport,
                                  const LayoutConfig& config, const MinWidths& minWidths);
// Same, filling `into` (cleared first) so a caller relaying out often can keep
// one buffer.
void placements(const Strip& strip, const Rect& viewport, const LayoutConfig& config,
                const MinWidths& minWidths, std::vector<Placement>& into);

// `x` is relative to the viewport's left edge.
std::optional<int> columnAtViewportX(double x, const Strip& strip, double viewportWidth,
                                     const LayoutConfig& config, const MinWidths& minWidths);

// Where window `dragging` would land if dropped at screen point `point`;
// absent when the drop would change nothing.
std::optional<DropTarget> dropTarget(Point point, WindowID dragging, const Strip& strip,
                                     const Rect& viewport, const LayoutConfig& config,
                                     const MinWidths& minWidths, bool stacking);

// Where a fling projected to `projected` should come to rest.
double snapScroll(double projected, const Strip& strip, double viewportWidth,
                  const LayoutConfig& config, const MinWidths& minWidths);

// The column a scroll has come to rest on.
std::optional<int> settledColumn(const Strip& strip, double viewportWidth,
                                 const LayoutConfig& config, const MinWidths& minWidths);

}  // namespace Layout
}  // namespace tessaline
