#pragma once
// Key grabs on the root window for the shortcut centre. Grabs are checked:
// X refuses one that another client holds (BadAccess) for exactly that key
// and modifier combination, which is how a taken shortcut is found.

#include <xcb/xcb.h>

#include "platform/input/KeyGrabber.h"

namespace tessaline {

class XKeyGrabber final : public KeyGrabber {
public:
    XKeyGrabber(xcb_connection_t* connection, xcb_window_t root)
        : connection_(connection), root_(root) {}

    std::vector<bool> grab(const std::vector<KeyGrab>& keys) override;
    void release(const std::vector<KeyGrab>& keys) override;

private:
    xcb_connection_t* connection_;
    xcb_window_t root_;
};

}  // namespace tessaline
