#pragma once
// A test's own X connection: round trips, draining events into a handler,
// and XTest input.

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaline::xinputtest {

class TestConnection {
public:
    explicit TestConnection(const std::string& display) {
        c_ = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(c_)) throw std::runtime_error("cannot connect to " + display);
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    }
    ~TestConnection() { xcb_disconnect(c_); }
    TestConnection(const TestConnection&) = delete;
    TestConnection& operator=(const TestConnection&) = delete;

    xcb_connection_t* get() const { return c_; }
    xcb_window_t root() const { return screen_->root; }

    // When it returns, the server has handled every earlier request and every
    // event it sent before is queued here.
    void roundTrip() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    void drain(const std::function<void(const xcb_generic_event_t&)>& handle) {
        roundTrip();
        while (xcb_generic_event_t* e = xcb_poll_for_queued_event(c_)) {
            handle(*e);
            std::free(e);
        }
    }

    void key(std::uint8_t keycode, bool press) { fake(press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode); }
    // Presses the keys in order and lets go in reverse, as fingers do.
    void chord(std::initializer_list<std::uint8_t> keys) {
        for (std::uint8_t k : keys) key(k, true);
        for (auto k = std::rbegin(keys); k != std::rend(keys); ++k) key(*k, false);
        roundTrip();
    }
    void button(std::uint8_t button, bool press) {
        fake(press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, button);
    }
    void moveTo(std::int16_t x, std::int16_t y) { fake(XCB_MOTION_NOTIFY, 0, x, y); }

private:
    void fake(std::uint8_t type, std::uint8_t detail, std::int16_t x = 0, std::int16_t y = 0) {
        xcb_test_fake_input(c_, type, detail, XCB_CURRENT_TIME, screen_->root, x, y, 0);
    }

    xcb_connection_t* c_;
    xcb_screen_t* screen_;
};

}  // namespace tessaline::xinputtest
