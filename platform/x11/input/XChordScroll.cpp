#include "platform/x11/input/XChordScroll.h"

#include <xcb/xinput.h>

#include <cmath>
#include <cstdlib>

#include "engine/log/Log.h"
#include "platform/x11/input/XiEvents.h"

namespace tessaline {

namespace {

// A touchpad's scroll valuator moves by one increment per notch-sized
// movement; the libinput driver sets the increment to its scroll distance of
// 15 units, and its units are close to pixels, so one increment is 15 points.
constexpr double pointsPerIncrement = 15;

bool chordHeld(Modifiers held) { return held.contains(Modifiers::control | Modifiers::option); }

}  // namespace

XChordScroll::XChordScroll(xcb_connection_t* connection, xcb_window_t root, Scheduler& scheduler,
                           const XInputDevices& devices)
    : connection_(connection),
      root_(root),
      scheduler_(scheduler),
      devices_(devices),
      opcode_(xi::opcode(connection)),
      tap_(scheduler) {
    tap_.onEvent = [this](const InputEvent& e) {
        if (onEvent) onEvent(e);
    };
    tap_.onCapture = [this](bool) { updateGrab(); };
}

XChordScroll::~XChordScroll() {
    if (recheck_) recheck_->cancel();
    tap_.onCapture = nullptr;
    grab(false);
}

void XChordScroll::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    if (!on) tap_.reset();
    updateGrab();
}

void XChordScroll::modifiersChanged(Modifiers held) {
    held_ = held;
    updateGrab();
}

void XChordScroll::updateGrab() {
    if (recheck_) recheck_->cancel();
    recheck_.reset();
    bool want = enabled_ && (chordHeld(held_) || tap_.owning());
    const bool waits = (tap_.inGesture() && !tap_.owning()) || (pointerBusy && pointerBusy());
    if (want && !grabbed_ && waits) {
        // The applications' gesture runs to its end first, and a window held
        // by hand is let go first; look again then.
        recheck_ = scheduler_.after(ScrollTap::idleGap, [this] { updateGrab(); });
        return;
    }
    if (want != grabbed_) grab(want);
}

void XChordScroll::grab(bool on) {
    if (!on) {
        if (grabbed_) xcb_input_xi_ungrab_device(connection_, XCB_CURRENT_TIME, pointerDevice_);
        grabbed_ = false;
        return;
    }
    if (pointerDevice_ == 0) {
        auto* reply = xcb_input_xi_get_client_pointer_reply(
            connection_, xcb_input_xi_get_client_pointer(connection_, XCB_NONE), nullptr);
        pointerDevice_ = reply && reply->set ? reply->deviceid : 2;  // 2: the core pointer
        std::free(reply);
    }
    // Raw events reach the grabbing client only through the grab's own mask.
    std::uint32_t mask = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                         XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
    auto* reply = xcb_input_xi_grab_device_reply(
        connection_,
        xcb_input_xi_grab_device(connection_, root_, XCB_CURRENT_TIME, XCB_NONE, pointerDevice_,
                                 XCB_INPUT_GRAB_MODE_22_ASYNC, XCB_INPUT_GRAB_MODE_22_ASYNC,
                                 XCB_INPUT_GRAB_OWNER_OWNER, 1, &mask),
        nullptr);
    grabbed_ = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    if (!grabbed_) Log::input("another program holds the pointer; scrolling stays with it");
}

bool XChordScroll::handleEvent(const xcb_generic_event_t& event) {
    auto type = xi::eventType(event, opcode_);
    if (!type || (*type != XCB_INPUT_RAW_MOTION && *type != XCB_INPUT_RAW_BUTTON_PRESS)) return false;
    if (!enabled_) return false;
    scrolled(reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event),
             *type == XCB_INPUT_RAW_MOTION);
    return true;
}

// Signs: X counts down and right as positive (buttons 5 and 7); the tap wants
// the movement of the content, up and left positive.
void XChordScroll::scrolled(const xcb_input_raw_button_press_event_t& raw, bool motion) {
    const InputDevice* device = devices_.device(raw.sourceid);
    bool hasAxes = device && !device->scrollAxes.empty();
    if (!motion) {
        // Only devices without scroll valuators send real wheel buttons; for
        // the others the valuators already told.
        if (hasAxes || raw.detail < 4 || raw.detail > 7) return;
        tap_.wheel(raw.detail % 2 == 0 ? 1 : -1, effectiveModifiers());
        return;
    }
    if (!hasAxes) return;
    double horizontal = 0, vertical = 0;
    bool scrolledAtAll = false;
    for (const xi::Valuator& v : xi::rawValuators(raw)) {
        for (const ScrollAxis& axis : device->scrollAxes) {
            if (axis.valuator != v.number) continue;
            (axis.horizontal ? horizontal : vertical) -= v.value / axis.increment;
            scrolledAtAll = true;
        }
    }
    if (!scrolledAtAll) return;
    if (device->touchpad) {
        tap_.smooth(horizontal * pointsPerIncrement, vertical * pointsPerIncrement, effectiveModifiers());
    } else {
        tap_.wheel(std::abs(horizontal) > std::abs(vertical) ? horizontal : vertical, effectiveModifiers());
    }
}

// Scrolling we could not keep from the applications is not ours either.
Modifiers XChordScroll::effectiveModifiers() const {
    if (grabbed_ || tap_.owning()) return held_;
    return Modifiers(held_).remove(Modifiers::control);
}

}  // namespace tessaline
