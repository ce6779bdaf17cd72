#pragma once
// What the input devices can do, as XInput 2 describes them: which valuators
// of a device scroll (and by how much per wheel notch), whether it is a
// touchpad (it reports gestures), and the size of its touch surface. Read at
// start and again whenever devices come, go or change.

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "platform/input/TouchpadGeometry.h"

namespace tessaline {

struct ScrollAxis {
    std::uint16_t valuator = 0;
    bool horizontal = false;
    double increment = 1;  // the valuator distance of one wheel notch
};

struct InputDevice {
    bool touchpad = false;  // has XInput 2.4's gesture class
    std::vector<ScrollAxis> scrollAxes;
    TouchpadSize pad;       // meaningful for touchpads only
};

class XInputDevices {
public:
    explicit XInputDevices(xcb_connection_t* connection) : connection_(connection) {}

    // Reads every device again (a round trip).
    void refresh();
    // The slave device with this id; absent when unknown.
    const InputDevice* device(std::uint16_t id) const;
    // A touchpad that can report swipes is present.
    bool anyTouchpad() const;

private:
    xcb_connection_t* connection_;
    std::map<std::uint16_t, InputDevice> devices_;
};

// An XInput 2 fixed-point number as a double.
double fromFP3232(std::int32_t integral, std::uint32_t frac);
double fromFP1616(std::int32_t value);

}  // namespace tessaline
