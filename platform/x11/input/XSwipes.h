#pragma once
// Touchpad swipes of the configured number of fingers, from XInput 2.4
// gesture events. Selecting gestures on the root window is not enough (any
// client that selects them takes them first), so swipes are grabbed on the
// root: a swipe of our finger count is kept, any other is replayed to the
// applications. Movement is the unaccelerated gesture delta, turned into
// fractions of the touchpad (TouchpadGeometry) and fed to a SwipeTracker.

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/platform/PlatformTypes.h"
#include "platform/input/SwipeTracker.h"
#include "platform/x11/input/XInputDevices.h"

namespace tessaline {

class XSwipes {
public:
    XSwipes(xcb_connection_t* connection, xcb_window_t root, const XInputDevices& devices);
    ~XSwipes();
    XSwipes(const XSwipes&) = delete;
    XSwipes& operator=(const XSwipes&) = delete;

    // SwipeBegan, SwipeMoved, SwipeEnded.
    std::function<void(const InputEvent&)> onEvent;

    // Follows swipes of this many fingers; absent lets go of the grab.
    void setFingers(std::optional<int> fingers);
    // Swipes are being followed: a touchpad exists and the grab is ours.
    bool available() const { return available_; }
    // Why not, for the status menu and the diagnostics; empty when available.
    const std::string& problem() const { return problem_; }

    bool handleEvent(const xcb_generic_event_t& event);

private:
    bool grab();
    void ungrab();
    double seconds(xcb_timestamp_t time);

    xcb_connection_t* connection_;
    xcb_window_t root_;
    const XInputDevices& devices_;
    std::uint8_t opcode_;
    SwipeTracker tracker_;
    bool grabbed_ = false;
    bool available_ = false;
    std::string problem_ = "swiping is off";
    bool clockStarted_ = false;
    xcb_timestamp_t lastTime_ = 0;
    double clock_ = 0;
};

}  // namespace tessaline
