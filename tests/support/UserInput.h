#pragma once
// The user's hands through XTest: keys by X keycode (the physical key, evdev
// code + 8), pointer moves and buttons. Every call returns once the server has
// taken the input in, so a manager sync that follows comes after it.

#include "Connection.h"
#include "XServer.h"

#include <cstdint>
#include <vector>

namespace tessaline::xtest {

// X keycodes of a PC keyboard.
namespace keys {
inline constexpr uint8_t escape = 9, control = 37, shift = 50, alt = 64, capsLock = 66, numLock = 77,
                         super = 133;
}

class UserInput {
public:
    explicit UserInput(const std::string& display = XServer::shared().display()) : c_(display) {}

    void press(uint8_t keycode);
    void release(uint8_t keycode);
    // Presses the keys in order and lets go in reverse, as fingers do.
    void chord(const std::vector<uint8_t>& keys);
    void moveTo(int x, int y);
    void buttonDown(uint8_t button);
    void buttonUp(uint8_t button);
    // A notch of the wheel: button 4 up, 5 down, 6 left, 7 right.
    void wheel(uint8_t button);

    Connection& connection() { return c_; }

private:
    void fake(uint8_t type, uint8_t detail, int x = 0, int y = 0);
    Connection c_;
};

}  // namespace tessaline::xtest
