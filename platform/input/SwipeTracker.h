#pragma once
// Recognises a horizontal swipe of a chosen number of fingers from the
// movement of the fingers' average position, and measures the speed at which
// the fingers leave the pad.
//
// Movement comes in as fractions of the touch surface (dx of its width, dy of
// its height; see TouchpadGeometry for how a backend gets them), times in
// seconds on one monotonic clock. The tracker decides once per gesture, when
// the fingers have travelled 0.015 of the pad: horizontal (then every later
// movement is reported) or not (then nothing is, until the fingers lift).

#include <functional>
#include <vector>

namespace tessaline {

class SwipeTracker {
public:
    // A decided-horizontal swipe started.
    std::function<void()> onBegin;
    // Horizontal movement since the previous call, in pad widths.
    std::function<void(double dx)> onChange;
    // The swipe ended; velocity in pad widths per second.
    std::function<void(double velocity)> onEnd;

    int fingers() const { return fingers_; }
    // Takes effect with the next gesture; one in progress ends first.
    void setFingers(int fingers, double time);

    // `count` fingers touched down and started a gesture.
    void began(int count, double time);
    // The fingers' average position moved.
    void moved(double dx, double dy, double time);
    // The fingers lifted, one was added or taken away, or the gesture was
    // cancelled: a swipe in progress ends with its release velocity.
    void ended(double time);

    bool isTracking() const { return tracking_; }

private:
    struct Sample {
        double time;
        double dx;
    };

    int fingers_ = 3;
    bool active_ = false;   // a gesture of `fingers_` fingers is down
    bool decided_ = false;
    bool tracking_ = false;
    double accumulatedX_ = 0;
    double accumulatedY_ = 0;
    std::vector<Sample> samples_;
};

}  // namespace tessaline
