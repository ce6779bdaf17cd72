#pragma once
// The engine's input source on X11: buttons, pointer moves and keys from
// XInput 2 raw events, modifiers from XKB, swipes from XInput 2.4 gestures,
// chord scrolling from smooth-scroll valuators, and the global shortcuts.
//
// Everything arrives through handleEvent, which the manager's connection
// calls for every event it reads (its event-filter hook); nothing here reads
// the connection's event queue itself.

#include <xcb/xcb.h>

#include <functional>
#include <memory>
#include <string>

#include "engine/platform/Platform.h"
#include "platform/x11/input/X11Shortcuts.h"
#include "platform/x11/input/XChordScroll.h"
#include "platform/x11/input/XInputDevices.h"
#include "platform/x11/input/XKeyboard.h"
#include "platform/x11/input/XPointerWatch.h"
#include "platform/x11/input/XSwipes.h"

namespace tessaline {

class X11Input final : public InputSource {
public:
    // Absent, with the reason in `error`, without XInput 2.2 or XKB. The
    // connection announces XInput 2.4 here, once: the server fixes each
    // client's XInput version at its first announcement.
    static std::unique_ptr<X11Input> create(xcb_connection_t* connection, xcb_window_t root,
                                            Scheduler& scheduler, std::string& error);
    ~X11Input() override;

    bool handleEvent(const xcb_generic_event_t& event);

    void start(EventHandler handler) override;
    void stop() override;
    void configure(const InputOptions& options) override;
    void watchKeys(bool on) override;
    Point pointer() const override;
    int pressedButtons() const override;
    void warpPointer(Point point) override;

    bool swipeAvailable() const { return swipes_.available(); }
    // Why swipes are not followed, for the status menu; empty when they are.
    std::string swipeProblem() const;
    // A touchpad that reports gestures is attached (the setup checks).
    bool gestureTouchpad() const { return devices_.anyTouchpad(); }
    // Asked before chord scrolling takes the pointer: true while another
    // part of the program holds it (a window moved by hand).
    void setPointerBusy(std::function<bool()> busy) { scroll_.pointerBusy = std::move(busy); }
    // Presses where `taken` answers true are handled by whatever is there
    // (an overlay panel) and not delivered as MouseDown.
    void setClickFilter(std::function<bool(Point)> taken) { clickTaken_ = std::move(taken); }
    X11Shortcuts& shortcuts() { return shortcuts_; }
    XKeyboard& keyboard() { return *keyboard_; }

private:
    X11Input(xcb_connection_t* connection, xcb_window_t root, Scheduler& scheduler,
             std::unique_ptr<XKeyboard> keyboard, bool gestures);
    void deliver(const InputEvent& event);
    void selectRootEvents(bool on);

    xcb_connection_t* connection_;
    xcb_window_t root_;
    std::uint8_t opcode_;
    bool gestures_;
    std::unique_ptr<XKeyboard> keyboard_;
    XInputDevices devices_;
    XPointerWatch pointer_;
    XChordScroll scroll_;
    XSwipes swipes_;
    X11Shortcuts shortcuts_;
    EventHandler handler_;
    std::function<bool(Point)> clickTaken_;
    InputOptions options_;
    bool configured_ = false;
};

}  // namespace tessaline
