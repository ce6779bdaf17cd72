#pragma once
// Decides which scrolling belongs to Tessaline and turns it into the engine's
// scroll events; everything it does not keep reaches the application as usual.
//
// Scrolling belongs to Tessaline while control and option are held. For a
// touchpad that decision is made once per gesture, at its first sample:
// letting go of the modifiers mid-gesture does not hand it back, pressing them
// mid-gesture does not take it. X11 smooth scrolling carries no phases, so
// they are made here: the first sample after a pause begins a gesture, every
// sample changes it, and `idleGap` seconds without one (on the scheduler's
// clock) end it with the release velocity. Nothing comes after the end: the
// engine's own glide plays the part of the inertial tail.
//
// Signs: positive deltas move the content right or down (the wheel or the
// fingers going towards the top or the left, as the X server's buttons 4
// and 6 do). Wheel notches come out as whole steps, positive towards the right
// of the strip, with fractions of a line carried over to the next notch.

#include <functional>
#include <memory>
#include <vector>

#include "engine/platform/Platform.h"

namespace tessaline {

class ScrollTap {
public:
    // A touchpad reports every 7-16 ms while the fingers move; this long
    // without a sample means they lifted or came to rest.
    static constexpr double idleGap = 0.1;

    explicit ScrollTap(Scheduler& scheduler);
    ~ScrollTap();
    ScrollTap(const ScrollTap&) = delete;
    ScrollTap& operator=(const ScrollTap&) = delete;

    // ScrollBegan, ScrollMoved, ScrollEnded and ScrollStepped, in order.
    std::function<void(const InputEvent&)> onEvent;
    // A touchpad gesture became Tessaline's (true) or ended (false): the
    // backend withholds the pointer from applications meanwhile.
    std::function<void(bool captured)> onCapture;

    // A wheel turned by `lines` (1 per notch; high-resolution wheels send
    // parts of one) with these modifiers held. True: the movement is
    // Tessaline's and must not reach the application.
    bool wheel(double lines, Modifiers held);
    // A smooth-scroll sample (points) of a device without phases. True: the
    // gesture it belongs to is Tessaline's.
    bool smooth(double dx, double dy, Modifiers held);
    // Forgets the gesture in progress (without ending it for the engine) and
    // the carried-over fraction; chord scrolling was turned off.
    void reset();

    bool owning() const { return owning_; }
    bool inGesture() const { return inGesture_; }

private:
    struct Sample {
        double time;
        double delta;
    };

    void armIdleTimer();
    void idleTimerFired();
    void end();
    void record(double delta, double now);
    double velocity() const;
    void send(const InputEvent& event);
    void setOwning(bool owning);

    Scheduler& scheduler_;
    bool inGesture_ = false;
    bool owning_ = false;
    double lines_ = 0;
    double lastSample_ = 0;
    std::vector<Sample> samples_;
    std::shared_ptr<ScheduledTask> idleTimer_;
};

}  // namespace tessaline
