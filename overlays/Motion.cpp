#include "overlays/Motion.h"

#include <algorithm>
#include <cmath>

namespace tessaline {

namespace {

double progress(double now, double begin, double duration) {
    return duration > 0 ? std::clamp((now - begin) / duration, 0.0, 1.0) : 1.0;
}

double lerp(double a, double b, double t) { return a + (b - a) * t; }

}  // namespace

void FrameMotion::start(Panel& panel, const Rect& target, double duration) {
    if (task_ && panel_ == &panel && to_ == target) return;
    stop();
    panel_ = &panel;
    from_ = panel.frame();
    to_ = target;
    begin_ = scheduler_.now();
    duration_ = duration;
    task_ = scheduler_.frames([this] { step(); });
}

void FrameMotion::stop() {
    if (task_) task_->cancel();
    task_.reset();
}

void FrameMotion::step() {
    const double t = progress(scheduler_.now(), begin_, duration_);
    const double eased = 1 - std::pow(1 - t, 3);
    // Whole points, so the panel's edges stay on pixels while it moves.
    panel_->place({std::round(lerp(from_.x, to_.x, eased)), std::round(lerp(from_.y, to_.y, eased)),
                   std::round(lerp(from_.width, to_.width, eased)),
                   std::round(lerp(from_.height, to_.height, eased))});
    if (t >= 1) {
        panel_->place(to_);
        stop();
    }
}

void Fade::start(std::vector<Panel*> panels, double to, double duration, std::function<void()> done) {
    stop();
    panels_.clear();
    for (Panel* panel : panels) panels_.emplace_back(panel, panel->opacity());
    to_ = to;
    begin_ = scheduler_.now();
    duration_ = duration;
    done_ = std::move(done);
    task_ = scheduler_.frames([this] { step(); });
}

void Fade::stop() {
    if (task_) task_->cancel();
    task_.reset();
}

void Fade::step() {
    const double t = progress(scheduler_.now(), begin_, duration_);
    for (auto& [panel, from] : panels_) panel->setOpacity(lerp(from, to_, t));
    if (t < 1) return;
    stop();
    // Taken out first: `done` may start another fade on this object.
    auto done = std::move(done_);
    done_ = nullptr;
    if (done) done();
}

}  // namespace tessaline
