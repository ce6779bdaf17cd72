#include "platform/x11/input/XPointerWatch.h"

#include <xcb/xinput.h>

#include <cmath>
#include <cstdlib>

#include "platform/x11/input/XInputDevices.h"
#include "platform/x11/input/XiEvents.h"

namespace tessaline {

namespace {

// The engine's bit for a logical X button: left, right, middle, back, forward.
int engineBit(std::uint8_t logical) {
    switch (logical) {
        case 1: return 0;
        case 3: return 1;
        case 2: return 2;
        case 8: return 3;
        case 9: return 4;
        default: return -1;  // the wheel's buttons 4-7 are no buttons held
    }
}

}  // namespace

XPointerWatch::XPointerWatch(xcb_connection_t* connection, xcb_window_t root)
    : connection_(connection), root_(root), opcode_(xi::opcode(connection)) {}

void XPointerWatch::resync() {
    auto mappingCookie = xcb_get_pointer_mapping(connection_);
    auto pointerCookie = xcb_query_pointer(connection_, root_);
    if (auto* reply = xcb_get_pointer_mapping_reply(connection_, mappingCookie, nullptr)) {
        const std::uint8_t* map = xcb_get_pointer_mapping_map(reply);
        mapping_.assign(map, map + xcb_get_pointer_mapping_map_length(reply));
        std::free(reply);
    }
    held_ = {};
    if (auto* reply = xcb_query_pointer_reply(connection_, pointerCookie, nullptr)) {
        // Button1Mask is bit 8, Button2Mask bit 9, ... (logical buttons).
        for (std::uint8_t logical = 1; logical <= 5; ++logical) {
            int bit = engineBit(logical);
            if (bit >= 0 && (reply->mask & (1u << (7 + logical)))) held_[bit] = 1;
        }
        std::free(reply);
    }
}

bool XPointerWatch::handleEvent(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) == XCB_MAPPING_NOTIFY) {
        const auto& mapping = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
        if (mapping.request == XCB_MAPPING_POINTER) resync();
        return false;  // the keyboard wants keyboard mapping changes
    }
    auto type = xi::eventType(event, opcode_);
    if (!type) return false;
    const auto& raw = reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event);
    if (*type == XCB_INPUT_MOTION || *type == XCB_INPUT_BUTTON_PRESS) {
        const auto& device = reinterpret_cast<const xcb_input_motion_event_t&>(event);
        known_ = Point{fromFP1616(device.root_x), fromFP1616(device.root_y)};
        return false;  // the grab's owner wants them
    }
    if (*type == XCB_INPUT_BUTTON_RELEASE) known_.reset();  // the grab ends with it
    switch (*type) {
        case XCB_INPUT_RAW_BUTTON_PRESS:
        case XCB_INPUT_RAW_BUTTON_RELEASE:
            // A wheel turned by smooth scrolling also appears as made-up buttons.
            if (!(raw.flags & xi::pointerEmulated)) button(raw.detail, *type == XCB_INPUT_RAW_BUTTON_PRESS);
            // A button coming up also ends a window held by hand.
            return *type == XCB_INPUT_RAW_BUTTON_PRESS;
        case XCB_INPUT_RAW_MOTION:
            // Its device event, if one comes, follows.
            known_.reset();
            if (pointerMoves && onEvent) onEvent(PointerMoved{});
            return true;
        case XCB_INPUT_RAW_KEY_PRESS:
            if (keys && onEvent) onEvent(KeyDown{});
            return true;
        default:
            return false;
    }
}

void XPointerWatch::button(std::uint32_t physical, bool down) {
    // Raw events name the physical button; a left-handed mapping swaps them.
    std::uint8_t logical = physical >= 1 && physical <= mapping_.size()
                               ? mapping_[physical - 1]
                               : static_cast<std::uint8_t>(physical);
    int bit = engineBit(logical);
    if (bit < 0) return;
    int& count = held_[bit];
    count = down ? count + 1 : std::max(0, count - 1);
    if (!onEvent) return;
    if (down && (logical == 1 || logical == 3)) onEvent(MouseDown{pointer()});
    if (!down && logical == 1) onEvent(MouseUp{});
}

Point XPointerWatch::pointer() const {
    if (known_) return *known_;
    auto* reply = xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    if (!reply) return {};
    Point point{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)};
    std::free(reply);
    return point;
}

int XPointerWatch::pressedButtons() const {
    int bits = 0;
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (held_[i] > 0) bits |= 1 << i;
    }
    return bits;
}

void XPointerWatch::warpPointer(Point point) {
    known_.reset();
    xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0,
                     static_cast<std::int16_t>(std::lround(point.x)),
                     static_cast<std::int16_t>(std::lround(point.y)));
}

}  // namespace tessaline
