#include "overlays/FocusOverlay.h"

#include "engine/wm/WindowManager.h"
#include "overlays/Overlays.h"
#include "overlays/draw/Drawing.h"

namespace tessaline {

Panel& FocusOverlay::border() {
    if (!border_) {
        border_ = host_.makePanel({.kind = PanelKind::border});
        border_->setPainter([this](cairo_t* cr, const Canvas& canvas) { drawBorder(cr, canvas, style_); });
    }
    return *border_;
}

Panel& FocusOverlay::dim() {
    if (!dim_) {
        dim_ = host_.makePanel({.kind = PanelKind::dim});
        dim_->setPainter([this](cairo_t* cr, const Canvas& canvas) { drawShade(cr, canvas, amount_); });
    }
    return *dim_;
}

void FocusOverlay::follow() {
    const auto wm = host_.manager();
    if (!wm) return;
    std::optional<Rect> shown;
    if (wm->config.focusBorder && target && target != wm->dragging()) shown = wm->shownFrame(*target);
    if (shown && host_.isOnScreen(*shown)) {
        const BorderStyle style = FocusGeometry::borderStyle(wm->config);
        const bool restyled = style != style_;
        style_ = style;
        Panel& panel = border();
        panel.place(FocusGeometry::borderPanelFrame(*shown, style.lineWidth), restyled);
        panel.show();
    } else if (border_) {
        border_->hide();
    }
    cutDimHole();
}

void FocusOverlay::updateDim() {
    const auto wm = host_.manager();
    if (!wm) return;
    std::optional<Display> display;
    // Without a compositor a shade would be an opaque black sheet: no dimming then.
    if (wm->config.dimInactive && host_.platform().compositing() && target && target != wm->dragging()) {
        if (const WindowPtr window = wm->windowRecord(*target); window && window->key) {
            display = wm->displayByUUID(window->key->display);
        }
    }
    dimming_ = display.has_value();
    if (!dimming_) {
        if (dim_) dim_->hide();
        return;
    }
    const bool changed = amount_ != wm->config.dimAmount;
    amount_ = wm->config.dimAmount;
    Panel& panel = dim();
    panel.place(display->frame, changed);
    cutDimHole();
    // cutDimHole hides the shade when the target has no frame yet.
    if (dimming_) panel.show();
}

void FocusOverlay::cutDimHole() {
    if (!dimming_ && !(dim_ && dim_->isShown())) return;
    const auto wm = host_.manager();
    if (!wm) return;
    std::optional<Rect> shown;
    if (target && target != wm->dragging()) shown = wm->shownFrame(*target);
    if (!shown || !dimming_) {
        dimming_ = false;
        if (dim_) dim_->hide();
        return;
    }
    Panel& panel = dim();
    const Rect& origin = panel.frame();
    panel.setHole(RoundedRect{{shown->x - origin.x, shown->y - origin.y, shown->width, shown->height},
                              FocusGeometry::cornerRadius(wm->config)});
}

void FocusOverlay::hide() {
    if (border_) border_->hide();
    if (dim_) dim_->hide();
    dimming_ = false;
}

void FocusOverlay::redraw() {
    if (border_) border_->redraw();
    if (dim_) dim_->redraw();
}

}  // namespace tessaline
