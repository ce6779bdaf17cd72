#pragma once
// Chord scrolling on X11. Every scroll movement reaches us as an XInput 2 raw
// event (smooth-scroll valuators, or wheel buttons of a device without them),
// and ScrollTap decides what is Tessaline's.
//
// Keeping the scrolling from applications takes an active grab of the
// pointer while control and option are held: a passive grab of the wheel
// buttons would not do, because an XInput 2.1 client receives the smooth
// scroll motion before the server makes up the wheel button that would
// activate such a grab. The grab is held while the chord is (and on until a
// captured gesture ends); one that cannot be had (another client holds the
// pointer) leaves the scrolling to the applications. A touchpad gesture that
// began without the chord is not interrupted: the grab waits for its end.

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/platform/Platform.h"
#include "platform/input/ScrollTap.h"
#include "platform/x11/input/XInputDevices.h"

namespace tessaline {

class XChordScroll {
public:
    XChordScroll(xcb_connection_t* connection, xcb_window_t root, Scheduler& scheduler,
                 const XInputDevices& devices);
    ~XChordScroll();
    XChordScroll(const XChordScroll&) = delete;
    XChordScroll& operator=(const XChordScroll&) = delete;

    // ScrollBegan, ScrollMoved, ScrollEnded, ScrollStepped.
    std::function<void(const InputEvent&)> onEvent;

    // True while another part of the program holds the pointer; the grab
    // waits for it to let go.
    std::function<bool()> pointerBusy;

    // Chord scrolling on or off; off lets go of everything.
    void setEnabled(bool on);
    void modifiersChanged(Modifiers held);
    bool handleEvent(const xcb_generic_event_t& event);

    bool grabbed() const { return grabbed_; }

private:
    void updateGrab();
    void grab(bool on);
    void scrolled(const xcb_input_raw_button_press_event_t& raw, bool motion);
    Modifiers effectiveModifiers() const;

    xcb_connection_t* connection_;
    xcb_window_t root_;
    Scheduler& scheduler_;
    const XInputDevices& devices_;
    std::uint8_t opcode_;
    std::uint16_t pointerDevice_ = 0;
    ScrollTap tap_;
    bool enabled_ = false;
    bool grabbed_ = false;
    Modifiers held_;
    std::shared_ptr<ScheduledTask> recheck_;
};

}  // namespace tessaline
