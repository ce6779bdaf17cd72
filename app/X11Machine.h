#pragma once
// What diagnostics and the setup checks learn about the display, read from
// the X server through the manager's connection: the monitors, the keyboard
// layout in use (XKB), the desktop's accessibility-like settings (XSETTINGS)
// and whether a touchpad reports swipes (XInput 2.4). Loop thread only; each
// answer costs a round trip or two, which is fine for a report.

#include "app/shell/MachineFacts.h"

namespace tessaline {

class X11Connection;
class X11WindowSystem;

class X11Machine final : public shell::MachineFacts {
public:
    X11Machine(X11Connection& x, X11WindowSystem& system) : x_(x), system_(system) {}

    std::string displayName() const override;
    shell::DisplayAccess displayAccess() const override { return {true, std::string("Tessaline")}; }
    std::vector<std::string> displays() const override;
    // Each monitor shows workspaces of its own (four of them), always.
    bool separateWorkspaces() const override { return true; }
    std::optional<std::string> keyboardLayout() const override;
    std::vector<std::string> accessibilitySettings() const override;
    bool gestureTouchpad() const override;

private:
    X11Connection& x_;
    X11WindowSystem& system_;
};

}  // namespace tessaline
