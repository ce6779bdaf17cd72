#pragma once
// The global shortcuts on X11: the shortcut centre over root-window key
// grabs, fed the key presses those grabs deliver, and grabbing everything
// again when the keyboard mapping changes.

#include <xcb/xcb.h>

#include <memory>

#include "platform/input/HotkeyCenter.h"
#include "platform/x11/input/XKeyGrabber.h"
#include "platform/x11/input/XKeyboard.h"

namespace tessaline {

class X11Shortcuts {
public:
    // The keyboard must outlive this object.
    X11Shortcuts(xcb_connection_t* connection, xcb_window_t root, XKeyboard& keyboard);
    ~X11Shortcuts();
    X11Shortcuts(const X11Shortcuts&) = delete;
    X11Shortcuts& operator=(const X11Shortcuts&) = delete;

    HotkeyCenter& center() { return center_; }

    // Key presses on the root window (the grabs deliver them there).
    bool handleEvent(const xcb_generic_event_t& event);

private:
    xcb_window_t root_;
    XKeyGrabber grabber_;
    HotkeyCenter center_;
    // Lets the keyboard's listener notice that this object is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>();
};

}  // namespace tessaline
