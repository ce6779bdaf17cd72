#include "overlays/DropPreview.h"

#include "engine/wm/WindowManager.h"
#include "overlays/Overlays.h"
#include "overlays/draw/Drawing.h"

namespace tessaline {

namespace {
constexpr double defaultDuration = 0.22;  // when the manager is gone
}

DropPreview::DropPreview(Overlays& host) : host_(host), motion_(host.scheduler()) {}

void DropPreview::show(std::optional<Rect> frame, std::optional<WindowID> below) {
    if (!frame) {
        hide();
        return;
    }
    if (!panel_) {
        panel_ = host_.makePanel({.kind = PanelKind::drop});
        panel_->setPainter([](cairo_t* cr, const Canvas& canvas) { drawDropPreview(cr, canvas); });
    }
    if (panel_->isShown() && !host_.reduceMotion() && panel_->frame() != *frame) {
        const auto wm = host_.manager();
        motion_.start(*panel_, *frame, wm ? wm->config.animationDuration : defaultDuration);
    } else {
        motion_.stop();
        panel_->place(*frame);
    }
    panel_->stackBelow(below);
    panel_->show();
}

void DropPreview::hide() {
    motion_.stop();
    if (panel_) panel_->hide();
}

void DropPreview::redraw() {
    if (panel_) panel_->redraw();
}

}  // namespace tessaline
