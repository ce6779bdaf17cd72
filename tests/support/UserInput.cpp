#include "UserInput.h"

#include <xcb/xtest.h>

#include <vector>

namespace tessaline::xtest {

void UserInput::fake(uint8_t type, uint8_t detail, int x, int y) {
    xcb_test_fake_input(c_.get(), type, detail, XCB_CURRENT_TIME, type == XCB_MOTION_NOTIFY ? c_.root() : XCB_NONE,
                        int16_t(x), int16_t(y), 0);
    c_.roundTrip();
}

void UserInput::press(uint8_t keycode) { fake(XCB_KEY_PRESS, keycode); }
void UserInput::release(uint8_t keycode) { fake(XCB_KEY_RELEASE, keycode); }

void UserInput::chord(const std::vector<uint8_t>& keys) {
    for (uint8_t key : keys) press(key);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) release(*key);
}

void UserInput::moveTo(int x, int y) { fake(XCB_MOTION_NOTIFY, 0, x, y); }
void UserInput::buttonDown(uint8_t button) { fake(XCB_BUTTON_PRESS, button); }
void UserInput::buttonUp(uint8_t button) { fake(XCB_BUTTON_RELEASE, button); }

void UserInput::wheel(uint8_t button) {
    buttonDown(button);
    buttonUp(button);
}

}  // namespace tessaline::xtest
