#include "platform/x11/input/XSwipes.h"

#include <xcb/xinput.h>

#include <cstdlib>

#include "platform/x11/input/XiEvents.h"

namespace tessaline {

namespace {

// libxcb 1.15 has no mask constants for the gesture events.
constexpr std::uint32_t bitOf(int type) { return 1u << (type % 32); }

}  // namespace

XSwipes::XSwipes(xcb_connection_t* connection, xcb_window_t root, const XInputDevices& devices)
    : connection_(connection), root_(root), devices_(devices), opcode_(xi::opcode(connection)) {
    tracker_.onBegin = [this] {
        if (onEvent) onEvent(SwipeBegan{});
    };
    tracker_.onChange = [this](double dx) {
        if (onEvent) onEvent(SwipeMoved{dx});
    };
    tracker_.onEnd = [this](double velocity) {
        if (onEvent) onEvent(SwipeEnded{velocity});
    };
}

XSwipes::~XSwipes() { ungrab(); }

void XSwipes::setFingers(std::optional<int> fingers) {
    tracker_.ended(clock_);
    available_ = false;
    if (!fingers) {
        ungrab();
        problem_ = "swiping is off";
        return;
    }
    tracker_.setFingers(*fingers, clock_);
    if (!devices_.anyTouchpad()) {
        ungrab();
        problem_ = "no touchpad reports gestures (they need the libinput driver and XInput 2.4)";
        return;
    }
    if (!grabbed_ && !grab()) {
        problem_ = "another program grabs touchpad swipes";
        return;
    }
    available_ = true;
    problem_.clear();
}

bool XSwipes::grab() {
    // Synchronous: the device waits at each swipe's start until we keep it or hand it on.
    const std::uint32_t mask[2] = {bitOf(XCB_INPUT_GESTURE_SWIPE_BEGIN) | bitOf(XCB_INPUT_GESTURE_SWIPE_UPDATE),
                                   bitOf(XCB_INPUT_GESTURE_SWIPE_END)};
    const std::uint32_t anyModifier = XCB_INPUT_MODIFIER_MASK_ANY;
    auto* reply = xcb_input_xi_passive_grab_device_reply(
        connection_,
        xcb_input_xi_passive_grab_device(connection_, XCB_CURRENT_TIME, root_, XCB_NONE, 0,
                                         XCB_INPUT_DEVICE_ALL_MASTER, 1, 2,
                                         XCB_INPUT_GRAB_TYPE_GESTURE_SWIPE_BEGIN,
                                         XCB_INPUT_GRAB_MODE_22_SYNC, XCB_INPUT_GRAB_MODE_22_ASYNC,
                                         XCB_INPUT_GRAB_OWNER_NO_OWNER, mask, &anyModifier),
        nullptr);
    // The reply lists the modifier combinations that failed.
    grabbed_ = reply && reply->num_modifiers == 0;
    std::free(reply);
    if (!grabbed_) ungrab();
    return grabbed_;
}

void XSwipes::ungrab() {
    const std::uint32_t anyModifier = XCB_INPUT_MODIFIER_MASK_ANY;
    xcb_input_xi_passive_ungrab_device(connection_, root_, 0, XCB_INPUT_DEVICE_ALL_MASTER, 1,
                                       XCB_INPUT_GRAB_TYPE_GESTURE_SWIPE_BEGIN, &anyModifier);
    grabbed_ = false;
}

bool XSwipes::handleEvent(const xcb_generic_event_t& event) {
    auto type = xi::eventType(event, opcode_);
    if (!type || *type < XCB_INPUT_GESTURE_SWIPE_BEGIN || *type > XCB_INPUT_GESTURE_SWIPE_END) {
        return false;
    }
    // Begin, update and end share one layout.
    const auto& swipe = reinterpret_cast<const xcb_input_gesture_swipe_begin_event_t&>(event);
    double time = seconds(swipe.time);
    switch (*type) {
        case XCB_INPUT_GESTURE_SWIPE_BEGIN: {
            bool ours = available_ && static_cast<int>(swipe.detail) == tracker_.fingers();
            xcb_input_xi_allow_events(connection_, XCB_CURRENT_TIME, swipe.deviceid,
                                      ours ? XCB_INPUT_EVENT_MODE_ASYNC_DEVICE
                                           : XCB_INPUT_EVENT_MODE_REPLAY_DEVICE,
                                      0, root_);
            if (ours) tracker_.began(static_cast<int>(swipe.detail), time);
            break;
        }
        case XCB_INPUT_GESTURE_SWIPE_UPDATE: {
            const InputDevice* device = devices_.device(swipe.sourceid);
            PadDelta d = padDelta(device ? device->pad : TouchpadSize{},
                                  fromFP1616(swipe.delta_unaccel_x), fromFP1616(swipe.delta_unaccel_y));
            tracker_.moved(d.dx, d.dy, time);
            break;
        }
        default:  // lifted or cancelled: the swipe ends either way
            tracker_.ended(time);
    }
    return true;
}

// Server times are milliseconds that wrap after 49 days; only differences count.
double XSwipes::seconds(xcb_timestamp_t time) {
    if (clockStarted_) clock_ += static_cast<std::uint32_t>(time - lastTime_) / 1000.0;
    clockStarted_ = true;
    lastTime_ = time;
    return clock_;
}

}  // namespace tessaline
