#pragma once
// Buttons, pointer movement and key presses anywhere on screen, from XInput 2
// raw events on the root window (they arrive even while another client holds
// a grab), and the pointer's position and buttons on demand.

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/platform/PlatformTypes.h"

namespace tessaline {

class XPointerWatch {
public:
    XPointerWatch(xcb_connection_t* connection, xcb_window_t root);

    // MouseDown, MouseUp, PointerMoved (while `pointerMoves`), KeyDown (while `keys`).
    std::function<void(const InputEvent&)> onEvent;
    bool pointerMoves = false;
    bool keys = false;

    // Reads the buttons held now and the pointer's button mapping.
    void resync();
    bool handleEvent(const xcb_generic_event_t& event);

    Point pointer() const;
    // Bit 0 left, bit 1 right, bit 2 middle, then the side buttons.
    int pressedButtons() const;
    void warpPointer(Point point);

private:
    void button(std::uint32_t physical, bool down);

    xcb_connection_t* connection_;
    xcb_window_t root_;
    std::uint8_t opcode_;
    std::vector<std::uint8_t> mapping_;  // physical button - 1 → logical button
    std::array<int, 5> held_{};          // presses of each engine button, over all devices
    // Where the pointer is, while device events tell (a window held by hand
    // has the pointer grabbed): saves a round trip on each of the drag's
    // many questions. Forgotten when it may move unseen.
    std::optional<Point> known_;
};

}  // namespace tessaline
