#pragma once
// Panel animations on the engine's scheduler: a frame gliding to a target
// and opacities fading. Each runs on the scheduler's frame ticks only while
// it moves, and stops when its owner goes.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/platform/Platform.h"
#include "overlays/Panel.h"

namespace tessaline {

class FrameMotion {
public:
    explicit FrameMotion(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~FrameMotion() { stop(); }
    FrameMotion(const FrameMotion&) = delete;
    FrameMotion& operator=(const FrameMotion&) = delete;

    // Glides the panel from where it is to `target` with ease-out timing; a
    // motion already heading there goes on undisturbed.
    void start(Panel& panel, const Rect& target, double duration);
    void stop();
    bool active() const { return task_ != nullptr; }

private:
    void step();

    Scheduler& scheduler_;
    std::shared_ptr<ScheduledTask> task_;
    Panel* panel_ = nullptr;
    Rect from_;
    Rect to_;
    double begin_ = 0;
    double duration_ = 0;
};

class Fade {
public:
    explicit Fade(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~Fade() { stop(); }
    Fade(const Fade&) = delete;
    Fade& operator=(const Fade&) = delete;

    // Takes every panel's opacity to `to` over `duration` seconds, then calls `done`.
    void start(std::vector<Panel*> panels, double to, double duration, std::function<void()> done);
    // Stops where it is; `done` is not called.
    void stop();
    bool active() const { return task_ != nullptr; }

private:
    void step();

    Scheduler& scheduler_;
    std::shared_ptr<ScheduledTask> task_;
    std::vector<std::pair<Panel*, double>> panels_;  // with the opacity each started from
    double to_ = 0;
    double begin_ = 0;
    double duration_ = 0;
    std::function<void()> done_;
};

}  // namespace tessaline
