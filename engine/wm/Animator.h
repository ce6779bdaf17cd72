#pragma once
// Turns the frames of a relayout into a stream of frame writes: unchanged
// windows cost nothing, moves glide with an easing over a fixed duration
// ("flights"), and windows chase a moving target while a gesture or a drag
// is under way ("followers"). Sizes are never animated: a window that must
// change size is resized at once and only its position glides.

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/platform/Platform.h"

namespace tessaline {

using FrameMap = std::unordered_map<WindowID, Rect>;

class Animator {
public:
    struct Flight {
        Rect from;
        Rect to;
        double start = 0;
        double duration = 0;
        friend bool operator==(const Flight&, const Flight&) = default;
    };

    // Time constant of following, in seconds.
    static constexpr double followTime = 0.018;

    using SendHandler = std::function<void(WindowID, Rect frame, bool writeSize)>;

    explicit Animator(Scheduler& scheduler);
    ~Animator();
    Animator(const Animator&) = delete;
    Animator& operator=(const Animator&) = delete;

    // Delivers one frame; with writeSize false only the position needs writing.
    SendHandler send;
    // Called after a batch of frames was delivered.
    std::function<void()> onFrame;

    void move(const FrameMap& frames, bool animated, double duration);
    void follow(const FrameMap& frames);

    // Where the window is now as far as the animator knows.
    std::optional<Rect> current(WindowID id) const;
    // Where it is going.
    std::optional<Rect> target(WindowID id) const;
    bool isMoving(WindowID id) const;
    // Some window is in flight or following (the strip is still sliding).
    bool hasMotion() const { return !flights_.empty() || !followers_.empty(); }
    // Forget the window: its next frame is sent whole, as for a new window.
    void invalidate(WindowID id);
    // The window is known to be at `frame` (the user moved it); nothing is sent.
    void assume(WindowID id, Rect frame);
    void reset();

    const FrameMap& sent() const { return sent_; }
    const std::unordered_map<WindowID, Flight>& flights() const { return flights_; }
    const FrameMap& followers() const { return followers_; }
    bool isTicking() const { return ticking_ != nullptr; }

    // The eased frame of a flight at time `now`.
    static Rect frameAt(const Flight& flight, double now);
    // Share of the remaining distance a follower covers in a tick `dt` seconds long.
    static double followFactor(double dt);

private:
    // One frame to hand to `send`, queued until the maps are consistent.
    struct Write {
        WindowID id;
        Rect frame;
        bool writeSize;
    };

    void startTicking();
    void tick();
    // False when a callback destroyed the animator; touch nothing then.
    bool deliver(const std::vector<Write>& writes);

    Scheduler& scheduler_;
    FrameMap sent_;
    std::unordered_map<WindowID, Flight> flights_;
    FrameMap followers_;
    std::shared_ptr<ScheduledTask> ticking_;
    double lastTick_ = 0;
    // The tick closure holds this weakly, so a late tick after destruction does
    // nothing; the destructor also empties it, which tells a batch in progress
    // that a callback destroyed the animator.
    std::shared_ptr<Animator*> self_;
};

}  // namespace tessaline
