#pragma once
// The overview as data: one card per visible window of a strip, scaled down
// to fit a display, the current screen outlined, and the selection that the
// arrow keys move.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "core/Layout.h"
#include "core/Strip.h"
#include "overlays/model/AppIcon.h"

namespace tessaline {

struct Card {
    WindowID id = 0;
    int column = 0;
    int row = 0;
    Rect frame;          // canvas coordinates
    std::string app;
    std::string title;
    AppIconRef icon;
    bool focused = false;  // the active window of the strip's focused column
    int tabs = 1;          // windows of a tabbed column (shown by its active one), else 1
    friend bool operator==(const Card&, const Card&) = default;
};

struct OverviewModel {
    enum class Direction { left, right, up, down };

    // Room kept around the canvas when it is wider than the panel.
    static constexpr double margin = 56;

    std::vector<Card> cards;
    std::map<WindowID, ArgbImageRef> previews;
    std::optional<WindowID> selected;
    Rect viewport;       // the current screen within the canvas
    Size size;           // the canvas
    double radius = 4;   // card corner radius
    bool previewsWanted = false;
    bool still = false;  // no motion: reduce motion is on or animation is off

    std::function<void(WindowID)> onChoose;
    std::function<void()> onClose;

    // Moves the selection; true when it changed.
    bool move(Direction direction);
    const Card* card(WindowID id) const;

    // Where the canvas's origin lies on a panel of `panel`: centred, or, when
    // the canvas is wider than the panel, shifted to keep the selected card
    // in view without scrolling past the cards.
    Point canvasOrigin(Size panel) const;
    // The card under a point of the panel.
    std::optional<WindowID> cardAt(Point point, Size panel) const;
};

// What building the cards needs to know of the strip and its display.
struct OverviewSource {
    const Strip* strip = nullptr;
    Rect frame;            // the display's whole frame
    Rect area;             // its visible area less the strip bar's reserved height
    LayoutConfig layout;   // gap, centre mode, 26-point tab bars
    const MinWidths* minWidths = nullptr;
    double cornerRadius = 10;  // the border radius rule
    bool previews = false;
    bool still = false;
    // The card of one window with app, title and icon filled in.
    std::function<Card(WindowID)> describe;
};

// The overview's scale for a strip of `extent` points shown on a display.
double overviewScale(Size displayFrame, double extent, double areaHeight);

// Rebuilds the cards and canvas, keeping the selection; true when anything
// the view shows changed.
bool buildOverview(const OverviewSource& source, OverviewModel& model);

}  // namespace tessaline
