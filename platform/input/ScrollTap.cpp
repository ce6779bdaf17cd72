#include "platform/input/ScrollTap.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace tessaline {

namespace {

// The release speed is that of the last moments before the fingers stopped.
constexpr double velocityWindow = 0.08;
// Two samples in one frame would make an absurd speed.
constexpr double shortestSpan = 1.0 / 120.0;

bool chordHeld(Modifiers held) { return held.contains(Modifiers::control | Modifiers::option); }

}  // namespace

ScrollTap::ScrollTap(Scheduler& scheduler) : scheduler_(scheduler) {}

ScrollTap::~ScrollTap() {
    if (idleTimer_) idleTimer_->cancel();
}

bool ScrollTap::wheel(double lines, Modifiers held) {
    if (!chordHeld(held)) {
        lines_ = 0;
        return false;
    }
    lines_ += lines;
    int steps = 0;
    while (lines_ >= 1) {
        lines_ -= 1;
        --steps;
    }
    while (lines_ <= -1) {
        lines_ += 1;
        ++steps;
    }
    if (steps != 0) send(ScrollStepped{steps});
    return true;
}

bool ScrollTap::smooth(double dx, double dy, Modifiers held) {
    double now = scheduler_.now();
    lastSample_ = now;
    if (!inGesture_) {
        inGesture_ = true;
        armIdleTimer();
        if (chordHeld(held)) {
            samples_.clear();
            setOwning(true);
            send(ScrollBegan{});
        }
    }
    if (!owning_) return false;
    double delta = std::abs(dx) > std::abs(dy) ? dx : dy;
    record(delta, now);
    send(ScrollMoved{delta});
    return true;
}

void ScrollTap::reset() {
    if (idleTimer_) idleTimer_->cancel();
    idleTimer_.reset();
    inGesture_ = false;
    lines_ = 0;
    samples_.clear();
    setOwning(false);
}

// One timer per gesture rather than one per sample: when it fires early
// because samples kept coming, it waits out the rest of the gap.
void ScrollTap::armIdleTimer() {
    double due = lastSample_ + idleGap - scheduler_.now();
    idleTimer_ = scheduler_.after(std::max(0.0, due), [this] { idleTimerFired(); });
}

void ScrollTap::idleTimerFired() {
    idleTimer_.reset();
    if (!inGesture_) return;
    if (scheduler_.now() < lastSample_ + idleGap) {
        armIdleTimer();
        return;
    }
    end();
}

void ScrollTap::end() {
    inGesture_ = false;
    if (!owning_) return;
    send(ScrollEnded{velocity()});
    samples_.clear();
    setOwning(false);
}

void ScrollTap::record(double delta, double now) {
    samples_.push_back({now, delta});
    std::erase_if(samples_, [&](const Sample& s) { return s.time < now - velocityWindow; });
}

double ScrollTap::velocity() const {
    if (samples_.empty() || !(samples_.front().time < samples_.back().time)) return 0;
    double sum = std::accumulate(samples_.begin(), samples_.end(), 0.0,
                                 [](double total, const Sample& s) { return total + s.delta; });
    return sum / std::max(shortestSpan, samples_.back().time - samples_.front().time);
}

void ScrollTap::send(const InputEvent& event) {
    if (onEvent) onEvent(event);
}

void ScrollTap::setOwning(bool owning) {
    if (owning == owning_) return;
    owning_ = owning;
    if (onCapture) onCapture(owning);
}

}  // namespace tessaline
