#pragma once
// The overlays' panels as X11 windows on the manager's connection: override-
// redirect windows that never take focus, kept above the managed windows.
//
// With a compositing manager (an owner of _NET_WM_CM_Sn) panels use a 32-bit
// ARGB visual: true transparency, fades through _NET_WM_WINDOW_OPACITY.
// Without one they use the screen's own visual and are cut to what they
// paint (XShape), opaque, and fades show as plain appearing and going. The
// look follows the compositor as it comes and goes.
//
// Panels draw with Cairo into memory, then the pixels become the window's
// background pixmap, so the server repaints exposures by itself and a move
// is one ConfigureWindow. A hole (the shade's) is cut out of the window's
// shape, so moving it repaints nothing. Everything a panel changes is sent
// once per loop turn, as posted work, so that a sync answered after that
// turn finds the panels on the server.

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/platform/Platform.h"
#include "overlays/Panel.h"

namespace tessaline {

class EventLoop;
class X11Connection;
class X11Panel;
class WindowPreviews;

class X11Panels final : public OverlayPlatform {
public:
    // Throws nothing: without the Shape or XFixes extension panels still
    // show, but take clicks everywhere and are never cut to shape.
    X11Panels(X11Connection& x, EventLoop& loop, Scheduler& scheduler);
    ~X11Panels() override;
    X11Panels(const X11Panels&) = delete;
    X11Panels& operator=(const X11Panels&) = delete;

    // ---- OverlayPlatform
    std::unique_ptr<Panel> makePanel(const PanelSpec& spec) override;
    bool compositing() const override { return look_.composited; }
    Modifiers modifiers() const override;
    AppIconRef appIcon(ProcessID pid, WindowID window) override;
    void registerEscape(std::function<void()> handler) override;
    void releaseEscape() override;
    bool canCapturePreviews() const override;
    void capturePreviews(const std::vector<std::pair<WindowID, Size>>& sizes,
                         std::function<void(WindowID, ArgbImageRef)> each) override;
    void stopPreviews() override;

    // A compositing manager came or went; the panels have their new look already.
    std::function<void()> onCompositingChanged;
    // The icon an application's window offers changed.
    std::function<void(ProcessID)> onIconChanged;

    // The input source knows the modifiers and lends the Escape key better
    // than a panel can (XKB state, one owner for every key grab); until
    // these are given, the pointer's modifier mask and a grab of our own serve.
    // What is given is called until this object is destroyed (which gives
    // Escape back), so it must outlive it.
    void useModifiers(std::function<Modifiers()> source) { modifierSource_ = std::move(source); }
    void useEscape(std::function<void(std::function<void()>)> lend, std::function<void()> release);

    // Takes every panel off screen and lets go of the keyboard and Escape,
    // sent at once: the program is about to stop.
    void withdraw();

    // ---- for the panels
    struct Look {
        bool composited = false;
        std::uint8_t depth = 24;
        xcb_visualid_t visual = XCB_NONE;
        xcb_colormap_t colormap = XCB_NONE;
    };
    const Look& look() const { return look_; }
    X11Connection& connection() const { return x_; }
    Scheduler& scheduler() const { return scheduler_; }
    bool shapes() const { return shapes_; }
    // An empty XFixes region: the input shape of a panel clicks pass through.
    xcb_xfixes_region_t emptyRegion() const { return emptyRegion_; }
    xcb_atom_t opacityAtom() const { return opacityAtom_; }
    xcb_atom_t typeAtom() const { return typeAtom_; }
    // Sends the panel's changes with the next push.
    void changed(X11Panel& panel);
    // Puts the panels above everything again with the next push.
    void restackSoon();
    void forget(X11Panel& panel);

private:
    bool filter(const xcb_generic_event_t& event);
    void schedulePush();
    void readIcons();
    void push();
    void restack();
    X11Panel* panelOf(xcb_window_t window) const;
    void checkCompositor(xcb_window_t owner);
    void askKeymap();
    void readKeymap();
    xcb_keysym_t keysym(xcb_keycode_t code);
    void grabEscape(bool grab);

    X11Connection& x_;
    EventLoop& loop_;
    Scheduler& scheduler_;
    Look look_;
    Look flat_;          // the screen's own visual
    Look argb_;          // a 32-bit visual, when the screen has one
    bool shapes_ = false;
    std::uint8_t xfixesEvents_ = 0;
    xcb_xfixes_region_t emptyRegion_ = XCB_NONE;
    xcb_atom_t compositorAtom_ = XCB_NONE;
    xcb_atom_t opacityAtom_ = XCB_NONE;
    xcb_atom_t iconAtom_ = XCB_NONE;
    xcb_atom_t typeAtom_ = XCB_NONE;

    std::vector<X11Panel*> panels_;
    bool pushPosted_ = false;
    bool paintTurn_ = false;  // the next push paints what the last one left
    bool restack_ = false;
    // Posted pushes find out through this whether we still exist.
    std::shared_ptr<X11Panels*> self_;

    std::function<Modifiers()> modifierSource_;
    std::function<void(std::function<void()>)> lendEscape_;
    std::function<void()> releaseEscape_;
    std::function<void()> escape_;
    bool escapeGrabbed_ = false;

    xcb_keycode_t minKeycode_ = 0;
    std::uint8_t keysymsPerCode_ = 0;
    std::vector<xcb_keysym_t> keysyms_;
    xcb_get_keyboard_mapping_cookie_t keymapCookie_{};
    bool keymapAsked_ = false;

    std::unordered_map<xcb_window_t, ProcessID> iconWindows_;  // whose icon we read, and their application
    std::unordered_set<xcb_window_t> iconless_;               // of those, the ones that have none
    std::unordered_map<xcb_window_t, xcb_get_property_cookie_t> iconAsked_;  // read on a later turn
    std::unordered_map<xcb_window_t, AppIconRef> iconsRead_;                  // read, not yet taken
    bool iconReadPosted_ = false;
    std::unique_ptr<WindowPreviews> previews_;
};

}  // namespace tessaline
