#include "platform/input/SwipeTracker.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tessaline {

namespace {

// Fingers resting on the pad drift; below this much travel nothing is decided.
constexpr double decideDistance = 0.015;
// Horizontal must win clearly, or a vertical scroll that wobbles would move the strip.
constexpr double horizontalRatio = 1.2;
// Only the latest movement says how fast the fingers were going.
constexpr double keptWindow = 0.1;
constexpr double releaseWindow = 0.08;
// A release measured over a sliver of time would fling the strip far away.
constexpr double shortestSpan = 0.03;

}  // namespace

void SwipeTracker::setFingers(int fingers, double time) {
    if (fingers == fingers_) return;
    ended(time);
    fingers_ = fingers;
}

void SwipeTracker::began(int count, double time) {
    ended(time);
    active_ = count == fingers_;
}

void SwipeTracker::moved(double dx, double dy, double time) {
    if (!active_) return;
    if (decided_) {
        if (!tracking_) return;
        samples_.push_back({time, dx});
        std::erase_if(samples_, [&](const Sample& s) { return s.time < time - keptWindow; });
        if (onChange) onChange(dx);
        return;
    }
    accumulatedX_ += dx;
    accumulatedY_ += dy;
    double ax = std::abs(accumulatedX_);
    double ay = std::abs(accumulatedY_);
    if (ax <= decideDistance && ay <= decideDistance) return;
    decided_ = true;
    if (!(ay * horizontalRatio < ax)) return;
    tracking_ = true;
    samples_ = {{time, accumulatedX_}};
    if (onBegin) onBegin();
    if (onChange) onChange(accumulatedX_);
}

void SwipeTracker::ended(double time) {
    active_ = false;
    decided_ = false;
    accumulatedX_ = accumulatedY_ = 0;
    if (!tracking_) return;
    tracking_ = false;
    std::erase_if(samples_, [&](const Sample& s) { return s.time < time - releaseWindow; });
    double velocity = 0;
    if (!samples_.empty()) {
        double sum = std::accumulate(samples_.begin(), samples_.end(), 0.0,
                                     [](double total, const Sample& s) { return total + s.dx; });
        velocity = sum / std::max(shortestSpan, time - samples_.front().time);
    }
    samples_.clear();
    if (onEnd) onEnd(velocity);
}

}  // namespace tessaline
