#pragma once
// One panel as an override-redirect X window. The panel's state changes at
// once; what X is told follows on the next push of X11Panels, and only
// where it differs from what X has.

#include <xcb/xcb.h>

#include <memory>
#include <optional>

#include "engine/platform/Platform.h"
#include "overlays/Panel.h"

namespace tessaline {

class X11Panels;

class X11Panel final : public Panel {
public:
    X11Panel(X11Panels& host, const PanelSpec& spec);
    ~X11Panel() override;

    xcb_window_t window() const { return window_; }
    bool mapped() const { return mapped_; }
    bool pending() const { return pending_; }
    // Whether the next push paints the panel afresh (a new size or content).
    bool repaintDue() const;

    // Sends X what changed since the last push.
    void push();
    // The look changed: the window is made again, in the new visual, on the next push.
    void discardWindow();
    // Off screen and the keyboard let go, now (the program stops).
    void withdraw();

    // Input from X, in panel coordinates.
    void pointer(PanelPointer::Phase phase, Point at, int button);
    void key(OverlayKey key);

protected:
    void moved() override { touch(); }
    void resized() override { touch(); }
    void contentChanged() override {
        painted_ = false;
        touch();
    }
    void holeChanged() override {
        shaped_ = false;
        touch();
    }
    void opacityChanged() override { touch(); }
    void visibilityChanged() override { touch(); }
    void stackingChanged() override;
    void keyboardChanged() override { touch(); }

private:
    void touch();
    void create();
    void destroy();
    void upload(int width, int height);
    void reshape();
    void sendOpacity();
    void updateKeyboard();
    void grabKeyboard();

    X11Panels& host_;
    bool pending_ = false;
    xcb_window_t window_ = XCB_NONE;
    xcb_gcontext_t gc_ = XCB_NONE;

    // What X has.
    bool mapped_ = false;
    bool painted_ = false;
    bool shaped_ = false;
    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    double sentOpacity_ = 1;
    bool grabbed_ = false;
    // The painted part of the window, without a compositor.
    std::vector<xcb_rectangle_t> opaque_;

    std::shared_ptr<ScheduledTask> retry_;
    int grabTries_ = 0;
};

}  // namespace tessaline
