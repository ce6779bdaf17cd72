#include "overlays/Panel.h"

#include "overlays/draw/Paint.h"

namespace tessaline {

std::string_view toString(PanelKind kind) {
    switch (kind) {
        case PanelKind::border: return "border";
        case PanelKind::dim: return "dim";
        case PanelKind::drop: return "drop";
        case PanelKind::tabBar: return "tabBar";
        case PanelKind::stripBar: return "stripBar";
        case PanelKind::minimap: return "minimap";
        case PanelKind::overview: return "overview";
    }
    return "panel";
}

void Panel::place(const Rect& frame) {
    if (frame == frame_) return;
    const bool sameSize = frame.size() == frame_.size();
    frame_ = frame;
    sameSize ? moved() : resized();
}

void Panel::place(const Rect& frame, bool contentChanged) {
    const bool resizing = frame.size() != frame_.size();
    place(frame);
    if (contentChanged && !resizing) redraw();
}

void Panel::redraw() { contentChanged(); }

void Panel::setHole(std::optional<RoundedRect> hole) {
    if (hole == hole_) return;
    hole_ = hole;
    holeChanged();
}

void Panel::setOpacity(double opacity) {
    if (opacity == opacity_) return;
    opacity_ = opacity;
    opacityChanged();
}

void Panel::show() {
    if (shown_) return;
    shown_ = true;
    visibilityChanged();
}

void Panel::hide() {
    takeKeyboard(false);
    if (!shown_) return;
    shown_ = false;
    visibilityChanged();
}

void Panel::takeKeyboard(bool take) {
    take = take && spec_.keyboard;
    if (take == keyboard_) return;
    keyboard_ = take;
    keyboardChanged();
}

void Panel::stackBelow(std::optional<WindowID> window) {
    if (window == below_) return;
    below_ = window;
    stackingChanged();
}

void Panel::paint(cairo_t* cr, bool composited, bool withHole, bool cleared) const {
    if (!cleared) {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    if (painter_) {
        cairo_save(cr);
        painter_(cr, Canvas{frame_.size(), composited});
        cairo_restore(cr);
    }
    if (hole_ && withHole) {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        Paint::roundedRect(cr, hole_->rect, hole_->radius);
        cairo_fill(cr);
        cairo_restore(cr);
    }
}

}  // namespace tessaline
