#pragma once
// Small readers for XInput 2 events as XCB delivers them.

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaline::xi {

// The XInput major opcode of this connection; 0 when the extension is missing.
std::uint8_t opcode(xcb_connection_t* connection);

// The XInput 2 event type of a generic event of that extension; absent for
// every other event.
std::optional<std::uint16_t> eventType(const xcb_generic_event_t& event, std::uint8_t opcode);

// The valuators a raw event carries, by number.
struct Valuator {
    std::uint16_t number;
    double value;
};
std::vector<Valuator> rawValuators(const xcb_input_raw_button_press_event_t& event);

// XIPointerEmulated: a button made up from smooth scrolling, or the reverse.
inline constexpr std::uint32_t pointerEmulated = 1u << 16;

// Selects events on a window in one request: `allDevices` for every device
// (the only way hierarchy changes may be selected), `masters` for the master
// devices (raw events once, not again for each slave device).
void select(xcb_connection_t* connection, xcb_window_t window, std::uint32_t allDevices,
            std::uint32_t masters);

}  // namespace tessaline::xi
