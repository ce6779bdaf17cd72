#pragma once
// What the shortcut centre needs of a window system: grabbing keys for the
// whole session and letting go of them. The X11 side answers with checked
// XGrabKey requests on the root window.

#include <cstdint>
#include <vector>

namespace tessaline {

// One key with exactly these X modifier bits (lock bits included: a key
// grabbed without NumLock does not fire while NumLock is on).
struct KeyGrab {
    std::uint8_t keycode = 0;
    std::uint16_t modifiers = 0;
    friend auto operator<=>(const KeyGrab&, const KeyGrab&) = default;
};

class KeyGrabber {
public:
    virtual ~KeyGrabber() = default;
    // Grabs every key; all requests go out before any answer is awaited.
    // Answers, key by key, whether the grab is now this program's (false:
    // another client holds it).
    virtual std::vector<bool> grab(const std::vector<KeyGrab>& keys) = 0;
    virtual void release(const std::vector<KeyGrab>& keys) = 0;
};

}  // namespace tessaline
