#pragma once
// How big the touch surface is, so that finger movement can be told as a
// fraction of it (the unit the engine's swipe events use).
//
// The size comes from the device's absolute x and y axes: length = (max − min)
// ÷ resolution. XInput 2 states resolutions in units per metre. An axis that
// is missing, relative, without a resolution or of an implausible length
// falls back to a common laptop touchpad (100 mm × 65 mm); that is the usual
// case under the libinput X driver, which reports touchpads as relative
// pointers. A pad larger or smaller than that then makes a full-width swipe
// travel a little more or less than one display, which the swipe speed
// setting evens out.
//
// Gesture movement from libinput (XInput 2.4 gesture events, the unaccelerated
// deltas) is in units of a 1000 dpi device: 1/1000 inch each.

#include <optional>

namespace tessaline {

// One axis of a pointer device as the input system describes it.
struct DeviceAxis {
    double min = 0;
    double max = 0;
    double resolution = 0;  // units per metre; 0 when unknown
    bool absolute = false;
    friend bool operator==(const DeviceAxis&, const DeviceAxis&) = default;
};

// In millimetres.
struct TouchpadSize {
    double width = 100;
    double height = 65;
    friend bool operator==(const TouchpadSize&, const TouchpadSize&) = default;
};

TouchpadSize touchpadSize(const std::optional<DeviceAxis>& x, const std::optional<DeviceAxis>& y);

// Movement as fractions of the pad's width (dx) and height (dy).
struct PadDelta {
    double dx = 0;
    double dy = 0;
    friend bool operator==(const PadDelta&, const PadDelta&) = default;
};

// Turns a gesture delta in 1000 dpi units into fractions of the pad.
PadDelta padDelta(const TouchpadSize& pad, double dxUnits, double dyUnits);

}  // namespace tessaline
