#pragma once
// What diagnostics and the setup checks learn about the display, read from
// the X server through the manager's connection: the monitors, the keyboard
// layout in use (XKB), the desktop's accessibility-like settings (XSETTINGS)
// and whether a touchpad reports swipes. Loop thread only; each
// answer costs a round trip or two, which is fine for a report.

#include <functional>

#include "app/shell/MachineFacts.h"

namespace tessaline {

class X11Connection;
class X11WindowSystem;

class X11Machine final : public shell::MachineFacts {
public:
    // `touchpad` answers whether a touchpad reports swipes; the input source
    // knows, having asked the server for XInput 2.4 once for the connection.
    X11Machine(X11Connection& x, X11WindowSystem& system, std::function<bool()> touchpad)
        : x_(x), system_(system), touchpad_(std::move(touchpad)) {}

    std::string displayName() const override;
    shell::DisplayAccess displayAccess() const override { return {true, std::string("Tessaline")}; }
    std::vector<std::string> displays() const override;
    // Each monitor shows workspaces of its own (four of them), always.
    bool separateWorkspaces() const override { return true; }
    std::optional<std::string> keyboardLayout() const override;
    std::vector<std::string> accessibilitySettings() const override;
    bool gestureTouchpad() const override { return touchpad_(); }

private:
    X11Connection& x_;
    X11WindowSystem& system_;
    std::function<bool()> touchpad_;
};

}  // namespace tessaline
