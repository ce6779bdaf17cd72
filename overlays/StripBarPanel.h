#pragma once
// One strip bar window: its model, its panel, and the clicks and chip drags
// it receives. It paints only when what it shows changed.

#include <memory>
#include <optional>
#include <vector>

#include "overlays/Motion.h"
#include "overlays/Panel.h"
#include "overlays/draw/Drawing.h"
#include "overlays/model/StripBarModel.h"

namespace tessaline {

class Overlays;

class StripBarPanel {
public:
    explicit StripBarPanel(Overlays& host);

    StripBarModel model;

    // Lays the bar out for these tiles at the bottom of the display.
    void place(std::vector<Tile> tiles, bool expanded, bool labels, TimelineLook look,
               const Display& display);

    Panel& panel() { return *panel_; }
    const Panel& panel() const { return *panel_; }
    // The look the bar was dressed for; absent until first placed.
    std::optional<TimelineLook> look() const { return look_; }
    const std::optional<ChipDrag>& drag() const { return drag_; }

private:
    void pointer(const PanelPointer& event);

    Overlays& host_;
    std::unique_ptr<Panel> panel_;
    std::optional<TimelineLook> look_;
    FrameMotion motion_;
    std::optional<WindowID> pressed_;  // the chip the button went down on
    Point pressedAt_;
    std::optional<ChipDrag> drag_;
};

}  // namespace tessaline
