#include "platform/x11/input/XKeyGrabber.h"

#include <cstdlib>

namespace tessaline {

std::vector<bool> XKeyGrabber::grab(const std::vector<KeyGrab>& keys) {
    // All requests first, then the answers: one round trip for the whole table.
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(keys.size());
    for (const KeyGrab& key : keys) {
        // Not owner_events: the press is reported on the root even while one of
        // our own windows has the focus, where the shortcut centre looks for it.
        cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, key.modifiers, key.keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    std::vector<bool> held;
    held.reserve(keys.size());
    for (xcb_void_cookie_t cookie : cookies) {
        xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
        held.push_back(error == nullptr);
        std::free(error);
    }
    return held;
}

void XKeyGrabber::release(const std::vector<KeyGrab>& keys) {
    for (const KeyGrab& key : keys) xcb_ungrab_key(connection_, key.keycode, root_, key.modifiers);
}

}  // namespace tessaline
