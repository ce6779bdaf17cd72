#include "platform/x11/input/X11Shortcuts.h"

namespace tessaline {

X11Shortcuts::X11Shortcuts(xcb_connection_t* connection, xcb_window_t root, XKeyboard& keyboard)
    : root_(root), grabber_(connection, root), center_(grabber_) {
    center_.regrab(keyboard.numLockMask());
    keyboard.onKeymapChange([this, &keyboard, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.expired()) center_.regrab(keyboard.numLockMask());
    });
}

// Quitting closes the connection, which frees the grabs anyway; stopping
// without quitting must not leave the user's keys captured.
X11Shortcuts::~X11Shortcuts() { center_.releaseAll(); }

bool X11Shortcuts::handleEvent(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) != XCB_KEY_PRESS) return false;
    const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
    if (press.event != root_) return false;
    return center_.keyPressed(press.detail, press.state);
}

}  // namespace tessaline
