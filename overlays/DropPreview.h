#pragma once
// Where a dragged window would land: a rounded outline just below the window.

#include <memory>
#include <optional>

#include "overlays/Motion.h"
#include "overlays/Panel.h"

namespace tessaline {

class Overlays;

class DropPreview {
public:
    explicit DropPreview(Overlays& host);

    void show(std::optional<Rect> frame, std::optional<WindowID> below);
    void hide();
    void redraw();
    const Panel* panel() const { return panel_.get(); }

private:
    Overlays& host_;
    std::unique_ptr<Panel> panel_;
    FrameMotion motion_;
};

}  // namespace tessaline
