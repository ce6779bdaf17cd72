#pragma once
// The minimap form of the strip indicator as data: the whole strip scaled
// into a small panel, the viewport outlined. The drawing is in
// overlays/draw/Drawing.h; the geometry here is shared by both.

#include <functional>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "core/Layout.h"
#include "core/Strip.h"

namespace tessaline::MinimapView {

struct Model {
    std::vector<Span> spans;
    std::vector<int> rows;   // per column: 1 when tabbed, else its window count
    int focused = 0;
    int focusedRow = 0;
    double viewportX = 0;    // the strip's scroll
    double viewportWidth = 0;
    double lo = 0;           // horizontal extent drawn
    double hi = 0;
    std::vector<std::string> labels;  // per column; empty when labels are off
    friend bool operator==(const Model&, const Model&) = default;
};

// `label` names one window; without it the model has no labels.
Model build(const Strip& strip, double visibleWidth, double gap, const MinWidths& minWidths,
            const std::function<std::string(WindowID)>& label);

// The panel's frame on a display with this visible area.
Rect frame(const Model& model, const Rect& visible);

struct Block {
    Rect rect;
    bool focused = false;  // the focused column's active window
};
struct Geometry {
    Rect content;
    std::vector<Block> blocks;
    Rect viewport;
    std::vector<Rect> labels;  // one per column when there are labels
};
// Where everything goes in a panel of `bounds`.
Geometry geometry(const Model& model, Size bounds);

}  // namespace tessaline::MinimapView
