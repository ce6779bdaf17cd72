#pragma once
// The input source of the simulated desktop. Tests play the user: they move
// the pointer, press buttons, hold modifiers and inject gestures. Events are
// captured as the real source would (pointer moves only when asked for, keys
// only while watched, swipes and modified scrolling only when configured) and
// reach the engine on the scheduler's next turn. configure, watchKeys and
// warpPointer are recorded for inspection.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/platform/Platform.h"

namespace tessaline {

class SimDesktop;

class SimInput final : public InputSource {
public:
    explicit SimInput(SimDesktop& desktop) : desk_(&desktop) {}

    void start(EventHandler handler) override;
    void stop() override;
    void configure(const InputOptions& options) override;
    void watchKeys(bool on) override;
    Point pointer() const override;
    int pressedButtons() const override;
    void warpPointer(Point point) override;

    // -- the user
    // Delivers the event if the source captures it now.
    void inject(const InputEvent& event);
    void movePointer(Point point);
    // Presses a button (0 left, 1 right) at the pointer. Like a real click,
    // a left press on a window brings it and its application to the front.
    void pressButton(int button = 0);
    void releaseButton(int button = 0);
    void click(Point point);
    void setModifiers(Modifiers modifiers);
    Modifiers modifiers() const { return modifiers_; }
    void pressKey();

    // -- what the engine asked for
    bool started() const { return static_cast<bool>(handler_); }
    const InputOptions& options() const { return options_; }
    const std::vector<InputOptions>& configureCalls() const { return configureCalls_; }
    bool keysWatched() const { return keysWatched_; }
    const std::vector<bool>& watchKeysCalls() const { return watchKeysCalls_; }
    const std::vector<Point>& warps() const { return warps_; }
    void detach() { desk_ = nullptr; }

private:
    bool captures(const InputEvent& event) const;

    SimDesktop* desk_;
    EventHandler handler_;
    std::uint64_t generation_ = 0;
    InputOptions options_;
    std::vector<InputOptions> configureCalls_;
    bool keysWatched_ = false;
    std::vector<bool> watchKeysCalls_;
    std::vector<Point> warps_;
    Modifiers modifiers_;
};

}  // namespace tessaline
