#pragma once
// The border around the focused window and the shade over everything else,
// with a hole where the focused window is.

#include <memory>
#include <optional>

#include "overlays/Panel.h"
#include "overlays/model/FocusGeometry.h"

namespace tessaline {

class Overlays;

class FocusOverlay {
public:
    explicit FocusOverlay(Overlays& host) : host_(host) {}

    // The window to outline and keep undimmed.
    std::optional<WindowID> target;

    // Puts the border on the target's shown frame, or takes it away.
    void follow();
    // Shows or hides the shade on the target's display.
    void updateDim();
    // Moves the shade's hole to the target.
    void cutDimHole();
    void hide();
    // Panels paint again (a change of look).
    void redraw();

    const Panel* borderPanel() const { return border_.get(); }
    const Panel* dimPanel() const { return dim_.get(); }
    const BorderStyle& style() const { return style_; }
    // The shade's opacity while dimming, 0 when not.
    double dimming() const { return dimming_ ? amount_ : 0; }

private:
    Panel& border();
    Panel& dim();

    Overlays& host_;
    std::unique_ptr<Panel> border_;
    std::unique_ptr<Panel> dim_;
    BorderStyle style_;
    double amount_ = 0;
    bool dimming_ = false;
};

}  // namespace tessaline
