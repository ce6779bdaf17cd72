#pragma once
// What the window system keeps about one top-level window it manages: what
// the client said about itself (class, title, type, hints, protocols), where
// the manager wants it (desired state), and what X has been told (the cache
// that push() compares against).

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "engine/platform/PlatformTypes.h"

namespace tessaline {

// What a window says it is (_NET_WM_WINDOW_TYPE, the first one we know).
enum class WindowKind { normal, dialog, utility, toolbar, menu, splash, notification, dock, desktop };

// WM_NORMAL_HINTS: the sizes a client accepts.
struct SizeHints {
    int minWidth = 0, minHeight = 0;
    int maxWidth = 0, maxHeight = 0;  // 0: no maximum
    int widthInc = 0, heightInc = 0;  // 0: any size
    int baseWidth = 0, baseHeight = 0;
    bool positioned = false;  // the user or the program chose the position

    // From the property's eighteen CARD32s; missing fields stay unset.
    static SizeHints parse(const std::vector<std::uint32_t>& values);
    // Minimum equal to maximum: the window cannot be resized.
    bool fixed() const;
    // The size closest to `size` that the hints allow (ICCCM 4.1.2.3:
    // increments counted from the base size, then the minimum and maximum).
    Size constrain(Size size) const;
    friend bool operator==(const SizeHints&, const SizeHints&) = default;
};

// _NET_WM_STRUT_PARTIAL (a plain _NET_WM_STRUT fills the first four).
struct Strut {
    std::array<std::uint32_t, 12> values{};
    bool empty() const;
    friend bool operator==(const Strut&, const Strut&) = default;
};

// One workspace of one display.
struct Workspace {
    std::string display;  // the display's UUID
    int index = 0;
    friend bool operator==(const Workspace&, const Workspace&) = default;
};

struct Client {
    xcb_window_t window = XCB_NONE;
    ProcessID pid = 0;  // the application, real or stand-in
    std::uint64_t order = 0;  // when it was managed, for _NET_CLIENT_LIST

    // ---- what the client says
    WindowKind kind = WindowKind::normal;
    bool typed = false;  // it named a type we know
    xcb_window_t transientFor = XCB_NONE;
    std::string instance;
    std::string className;
    std::string title;
    bool netName = false;  // the title came from _NET_WM_NAME, which wins over WM_NAME
    SizeHints hints;
    bool acceptsInput = true;  // WM_HINTS input
    bool takeFocus = false;    // WM_TAKE_FOCUS
    bool deleteWindow = false;  // WM_DELETE_WINDOW
    bool ping = false;          // _NET_WM_PING
    bool noFocusOnMap = false;  // _NET_WM_USER_TIME is 0
    Strut strut;

    // ---- where the manager wants it
    Workspace workspace;  // meaningless for docks and desktops, which show everywhere
    bool iconified = false;
    bool fullscreen = false;
    Rect beforeFullscreen;
    Rect frame;            // desired geometry (root coordinates, no border)
    bool shouldMap = false;
    // Mapped by the manager at least once: its frame is on screen and means
    // something to the engine (a window waiting for its first placement has none).
    bool placed = false;
    // A new window kept unmapped until the engine gives it its first frame,
    // so that it appears where it belongs instead of where its client made it.
    bool awaitingFrame = false;

    // ---- what X has been told
    Rect xFrame;
    bool mappedX = false;
    int ignoreUnmaps = 0;  // UnmapNotify events our own unmaps will bring
    std::optional<std::uint32_t> wmState;
    std::optional<std::vector<std::uint32_t>> netState;
    std::optional<std::uint32_t> desktop;
    bool dirty = false;

    // Docks and desktops show on every workspace and are no application window.
    bool sticky() const { return kind == WindowKind::dock || kind == WindowKind::desktop; }
    // An ordinary application window: the engine tiles these.
    bool standard() const {
        if (sticky()) return false;
        if (typed) return kind == WindowKind::normal;
        return transientFor == XCB_NONE;
    }
};

// The X window behind a WindowHandle.
class X11Element final : public PlatformElement {
public:
    explicit X11Element(xcb_window_t window) : window_(window) {}
    xcb_window_t window() const { return window_; }
    bool equals(const PlatformElement& other) const override {
        const auto* x = dynamic_cast<const X11Element*>(&other);
        return x && x->window_ == window_;
    }
    std::size_t hash() const override { return std::hash<std::uint32_t>{}(window_); }

private:
    xcb_window_t window_;
};

WindowHandle handleFor(xcb_window_t window);
// The window a handle names; XCB_NONE for an empty or foreign handle.
xcb_window_t windowOf(const WindowHandle& handle);

}  // namespace tessaline
