#pragma once
// The values that travel between the engine and a platform backend: keys of
// strips, displays, opaque window handles, what is known about a window or an
// application, and the events a backend delivers.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/Geometry.h"

namespace tessaline {

// ---------------------------------------------------------------------------
// Strip keys and displays

// One strip: a display (by UUID) and a Space on it (0 where there are no Spaces).
struct StripKey {
    std::string display;
    SpaceID space = 0;
    friend bool operator==(const StripKey&, const StripKey&) = default;
};

struct Display {
    std::uint32_t id = 0;  // the window server's display number
    std::string uuid;      // stable across reconnects; strips and the session use it
    std::string name;
    Rect frame;            // whole screen in global coordinates
    Rect visible;          // usable for windows (no menu bar, no dock)
    friend bool operator==(const Display&, const Display&) = default;
};

// ---------------------------------------------------------------------------
// Window handles

// What a backend keeps behind a WindowHandle. Two distinct objects may stand
// for the same platform element, so equality and hashing are the element's,
// not the pointer's.
class PlatformElement {
public:
    virtual ~PlatformElement() = default;
    // Must be symmetric; an element of another backend type is never equal.
    virtual bool equals(const PlatformElement& other) const = 0;
    virtual std::size_t hash() const = 0;
};

// An opaque reference to a platform window. The engine stores, compares and
// hashes handles and passes them back; it never looks inside. A default
// handle refers to nothing and equals only another empty handle.
struct WindowHandle {
    std::shared_ptr<const PlatformElement> object;

    bool empty() const { return object == nullptr; }
    std::size_t hash() const { return object ? object->hash() : 0; }
    friend bool operator==(const WindowHandle& a, const WindowHandle& b) {
        if (a.object == b.object) return true;
        if (!a.object || !b.object) return false;
        return a.object->equals(*b.object);
    }
};

// ---------------------------------------------------------------------------
// Windows and applications

// What was known about one window when it was read. Only a standard window has
// complete facts: for a non-window every flag is false, the title empty, the
// frame absent and the Spaces empty; a non-standard window differs only in
// isWindow being true.
struct WindowFacts {
    WindowHandle handle;
    WindowID id = 0;
    bool isWindow = false;
    bool standard = false;
    std::string title;
    bool minimized = false;
    bool fullScreen = false;
    bool fixedSize = false;           // size not settable or zoom disabled; such windows float
    std::optional<Rect> frame;        // absent when the application did not answer
    std::vector<SpaceID> spaces;      // empty when unknown
    friend bool operator==(const WindowFacts&, const WindowFacts&) = default;
};

struct AppInfo {
    ProcessID pid = 0;
    std::optional<std::string> bundleID;
    std::string name;
    bool isRegular = false;  // has a Dock presence and may own managed windows
    bool isHidden = false;
    friend bool operator==(const AppInfo&, const AppInfo&) = default;
};

// ---------------------------------------------------------------------------
// System events

enum class WindowEvent {
    created,       // for the application element: the handle is the new window
    focusChanged,  // for the application element: the handle is the newly focused window
    destroyed,
    minimized,
    restored,
    moved,         // only while the left button is down: a user drag
    resized,
    titleChanged,
};
std::string_view toString(WindowEvent event);
std::optional<WindowEvent> windowEventFromString(std::string_view text);

struct AppLaunched { ProcessID pid = 0; friend bool operator==(const AppLaunched&, const AppLaunched&) = default; };
struct AppTerminated { ProcessID pid = 0; friend bool operator==(const AppTerminated&, const AppTerminated&) = default; };
struct AppActivated { ProcessID pid = 0; friend bool operator==(const AppActivated&, const AppActivated&) = default; };
struct AppHidden { ProcessID pid = 0; friend bool operator==(const AppHidden&, const AppHidden&) = default; };
struct AppShown { ProcessID pid = 0; friend bool operator==(const AppShown&, const AppShown&) = default; };
// A per-window notification from a connected application.
struct WindowNotification {
    WindowEvent event = WindowEvent::created;
    WindowHandle handle;
    ProcessID pid = 0;
    friend bool operator==(const WindowNotification&, const WindowNotification&) = default;
};
struct SpaceChanged { friend bool operator==(const SpaceChanged&, const SpaceChanged&) = default; };
struct DisplaysChanged { friend bool operator==(const DisplaysChanged&, const DisplaysChanged&) = default; };
struct AccessibilityChanged { friend bool operator==(const AccessibilityChanged&, const AccessibilityChanged&) = default; };

using SystemEvent = std::variant<AppLaunched, AppTerminated, AppActivated, AppHidden, AppShown,
                                 WindowNotification, SpaceChanged, DisplaysChanged,
                                 AccessibilityChanged>;

// ---------------------------------------------------------------------------
// Input

// The engine's own modifier bits; never mixed with KeyCombo's shortcut masks.
struct Modifiers {
    int rawValue = 0;

    static const Modifiers control;
    static const Modifiers option;
    static const Modifiers command;
    static const Modifiers shift;

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(Modifiers other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr Modifiers& insert(Modifiers other) { rawValue |= other.rawValue; return *this; }
    constexpr Modifiers& remove(Modifiers other) { rawValue &= ~other.rawValue; return *this; }
    friend constexpr Modifiers operator|(Modifiers a, Modifiers b) { return {a.rawValue | b.rawValue}; }
    friend constexpr Modifiers operator&(Modifiers a, Modifiers b) { return {a.rawValue & b.rawValue}; }
    friend bool operator==(const Modifiers&, const Modifiers&) = default;
};
inline constexpr Modifiers Modifiers::control{1};
inline constexpr Modifiers Modifiers::option{2};
inline constexpr Modifiers Modifiers::command{4};
inline constexpr Modifiers Modifiers::shift{8};

struct InputOptions {
    std::optional<int> swipeFingers;  // absent: swiping is off
    bool pointerMoves = false;        // deliver PointerMoved
    bool chordScroll = false;         // capture modifier+scroll as Scroll* events
    friend bool operator==(const InputOptions&, const InputOptions&) = default;
};

struct MouseDown { Point point; friend bool operator==(const MouseDown&, const MouseDown&) = default; };
struct ModifiersChanged { Modifiers modifiers; friend bool operator==(const ModifiersChanged&, const ModifiersChanged&) = default; };
// Fraction of the trackpad's width since the previous event.
struct SwipeMoved { double delta = 0; friend bool operator==(const SwipeMoved&, const SwipeMoved&) = default; };
// Trackpad widths per second.
struct SwipeEnded { double velocity = 0; friend bool operator==(const SwipeEnded&, const SwipeEnded&) = default; };
// Points along whichever axis moved more.
struct ScrollMoved { double delta = 0; friend bool operator==(const ScrollMoved&, const ScrollMoved&) = default; };
// Points per second.
struct ScrollEnded { double velocity = 0; friend bool operator==(const ScrollEnded&, const ScrollEnded&) = default; };
// Whole wheel notches, positive towards the right of the strip.
struct ScrollStepped { int steps = 0; friend bool operator==(const ScrollStepped&, const ScrollStepped&) = default; };
struct MouseUp { friend bool operator==(const MouseUp&, const MouseUp&) = default; };
struct PointerMoved { friend bool operator==(const PointerMoved&, const PointerMoved&) = default; };
struct KeyDown { friend bool operator==(const KeyDown&, const KeyDown&) = default; };
struct SwipeBegan { friend bool operator==(const SwipeBegan&, const SwipeBegan&) = default; };
struct ScrollBegan { friend bool operator==(const ScrollBegan&, const ScrollBegan&) = default; };

using InputEvent = std::variant<MouseDown, ModifiersChanged, SwipeMoved, SwipeEnded, ScrollMoved,
                                ScrollEnded, ScrollStepped, MouseUp, PointerMoved, KeyDown,
                                SwipeBegan, ScrollBegan>;

}  // namespace tessaline

template <>
struct std::hash<tessaline::StripKey> {
    std::size_t operator()(const tessaline::StripKey& key) const noexcept {
        std::size_t h = std::hash<std::string>{}(key.display);
        return h ^ (std::hash<std::uint64_t>{}(key.space) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};

template <>
struct std::hash<tessaline::WindowHandle> {
    std::size_t operator()(const tessaline::WindowHandle& handle) const noexcept { return handle.hash(); }
};
