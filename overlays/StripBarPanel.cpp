#include "overlays/StripBarPanel.h"

#include <algorithm>
#include <cmath>

#include "overlays/Overlays.h"

namespace tessaline {

namespace {
// A press that moves less than this is a click on the chip, not a drag.
constexpr double dragSlop = 4;
// Bars glide to a new frame over this long.
constexpr double glide = 0.22;
}  // namespace

StripBarPanel::StripBarPanel(Overlays& host)
    : host_(host), panel_(host.makePanel({.kind = PanelKind::stripBar, .clicks = true})),
      motion_(host.scheduler()) {
    panel_->setPainter([this](cairo_t* cr, const Canvas& canvas) { drawStripBar(cr, canvas, model, drag_); });
    panel_->onPointer = [this](const PanelPointer& event) { pointer(event); };
}

void StripBarPanel::place(std::vector<Tile> tiles, bool expanded, bool labels, TimelineLook look,
                          const Display& display) {
    int rows = 1;
    if (expanded) {
        for (const Tile& tile : tiles) rows = std::max(rows, static_cast<int>(tile.windows.size()));
    }
    const Metrics metrics = StripBarModel::metricsFor(static_cast<int>(tiles.size()), rows, expanded,
                                                      labels, look, display.visible.width - 80);
    bool changed = false;
    if (metrics != model.metrics) {
        model.metrics = metrics;
        changed = true;
    }
    if (look_ != look) {
        look_ = look;
        changed = true;
    }
    if (model.expanded != expanded || model.labels != labels || model.tiles != tiles) {
        model.expanded = expanded;
        model.labels = labels;
        model.tiles = std::move(tiles);
        changed = true;
    }

    const Rect frame = stripBarFrame(metrics, display.visible);
    if (panel_->frame() != frame && panel_->isShown() && !host_.reduceMotion()) {
        // Every step of a glide that changes the size paints anyway.
        if (changed && panel_->frame().size() == frame.size()) panel_->redraw();
        motion_.start(*panel_, frame, glide);
    } else {
        motion_.stop();
        panel_->place(frame, changed);
    }
}

void StripBarPanel::pointer(const PanelPointer& event) {
    using Phase = PanelPointer::Phase;
    switch (event.phase) {
        case Phase::down: {
            if (event.button != 1) return;
            if (model.expanded) {
                if (const auto chip = model.chipAt(event.at)) {
                    pressed_ = chip;
                    pressedAt_ = event.at;
                    return;
                }
            }
            if (const auto tile = model.tileAt(event.at); tile && model.onSelectColumn) {
                // A copy: the call refreshes the bar, which installs new callbacks.
                const auto select = model.onSelectColumn;
                select(model.tiles[*tile].column);
            }
            return;
        }
        case Phase::moved: {
            if (!pressed_) return;
            if (!drag_ && std::hypot(event.at.x - pressedAt_.x, event.at.y - pressedAt_.y) < dragSlop) return;
            drag_ = ChipDrag{*pressed_, event.at, model.dropTarget(event.at, *pressed_)};
            panel_->redraw();
            return;
        }
        case Phase::up: {
            if (!pressed_) return;
            const WindowID id = *pressed_;
            const bool dragged = drag_.has_value();
            pressed_.reset();
            drag_.reset();
            if (dragged) {
                panel_->redraw();
                // Let go outside the bar: the drag is abandoned.
                const Size size = panel_->frame().size();
                if (event.at.x < 0 || event.at.y < 0 || event.at.x >= size.width || event.at.y >= size.height) return;
                const auto target = model.dropTarget(event.at, id);
                if (target && model.onDrop) {
                    const auto drop = model.onDrop;
                    drop(id, *target);
                }
            } else if (model.onSelectWindow) {
                const auto select = model.onSelectWindow;
                select(id);
            }
            return;
        }
        case Phase::left:
            // A drag keeps its chip while the button is held outside the bar.
            return;
    }
}

}  // namespace tessaline
