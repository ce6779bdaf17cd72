#pragma once
// Moves the strip under the pointer with the fingers or a modified scroll,
// lets it come to rest on a column edge, and steps focus with a mouse wheel.
// ChordController watches control+option for the timeline peek and pin.

#include <memory>
#include <optional>

#include "engine/platform/Platform.h"

namespace tessaline {

class WindowManager;

class ScrollController {
public:
    struct Stepping {
        StripKey key;
        std::shared_ptr<ScheduledTask> land;
    };

    explicit ScrollController(WindowManager& manager);
    ~ScrollController();
    ScrollController(const ScrollController&) = delete;
    ScrollController& operator=(const ScrollController&) = delete;

    std::optional<StripKey> key;        // the strip under a gesture in progress
    std::optional<Stepping> stepping;   // a wheel stepping in progress

    bool isIdle() const { return !key && !stepping; }
    void reset();
    std::optional<StripKey> stripUnderPointer() const;
    // swipeBegan / scrollBegan: take the strip under the pointer.
    void begin();
    void moved(double points);
    void settle(double velocity, double maxFling);
    void stepped(int n);
    void land();

private:
    WindowManager& manager_;
    std::shared_ptr<ScrollController*> self_;
};

class ChordController {
public:
    // A release sooner than this after the press, with nothing else pressed, is a tap.
    static constexpr double tapTime = 0.8;

    explicit ChordController(WindowManager& manager);
    ChordController(const ChordController&) = delete;
    ChordController& operator=(const ChordController&) = delete;

    std::optional<double> start;  // when control+option became held
    bool used = false;

    void modifiersChanged(Modifiers modifiers);

private:
    WindowManager& manager_;
};

}  // namespace tessaline
