#pragma once
// The manager's one XCB connection and everything that speaks X directly to
// it: the screen and root, the atoms (one list, interned in one batch),
// property reads that answer absent for a window that is gone, the server
// time, the sorting of X errors into expected races and real faults, and the
// event filters through which other components see events first.
//
// Owned by the loop thread; never touched from another one.

#include <xcb/xcb.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tessaline {

// Every atom the manager uses, interned once at start.
#define TESSALINE_X11_ATOMS(X)                                                                 \
    X(UTF8_STRING) X(COMPOUND_TEXT) X(MANAGER) X(WM_S0) X(WM_PROTOCOLS) X(WM_DELETE_WINDOW)    \
    X(WM_TAKE_FOCUS) X(WM_STATE) X(WM_CHANGE_STATE) X(WM_CLIENT_LEADER) X(WM_CLIENT_MACHINE)   \
    X(EDID) X(_NET_SUPPORTED) X(_NET_SUPPORTING_WM_CHECK) X(_NET_CLIENT_LIST)                  \
    X(_NET_CLIENT_LIST_STACKING) X(_NET_NUMBER_OF_DESKTOPS) X(_NET_CURRENT_DESKTOP)            \
    X(_NET_DESKTOP_NAMES) X(_NET_ACTIVE_WINDOW) X(_NET_CLOSE_WINDOW) X(_NET_WM_NAME)           \
    X(_NET_WM_DESKTOP) X(_NET_WM_WINDOW_TYPE) X(_NET_WM_WINDOW_TYPE_DESKTOP)                   \
    X(_NET_WM_WINDOW_TYPE_DOCK) X(_NET_WM_WINDOW_TYPE_TOOLBAR) X(_NET_WM_WINDOW_TYPE_MENU)     \
    X(_NET_WM_WINDOW_TYPE_UTILITY) X(_NET_WM_WINDOW_TYPE_SPLASH) X(_NET_WM_WINDOW_TYPE_DIALOG) \
    X(_NET_WM_WINDOW_TYPE_NORMAL) X(_NET_WM_WINDOW_TYPE_NOTIFICATION) X(_NET_WM_STATE)         \
    X(_NET_WM_STATE_FULLSCREEN) X(_NET_WM_STATE_HIDDEN) X(_NET_WM_STRUT)                       \
    X(_NET_WM_STRUT_PARTIAL) X(_NET_WM_PID) X(_NET_WM_PING) X(_NET_WM_USER_TIME)               \
    X(_NET_FRAME_EXTENTS) X(_NET_REQUEST_FRAME_EXTENTS) X(_NET_WM_MOVERESIZE) X(_TESSALINE_SYNC)

enum class Atom : std::size_t {
#define TESSALINE_ATOM_ENUM(name) name,
    TESSALINE_X11_ATOMS(TESSALINE_ATOM_ENUM)
#undef TESSALINE_ATOM_ENUM
        count
};

// The names, in the order of Atom.
extern const std::array<std::string_view, static_cast<std::size_t>(Atom::count)> atomNames;

// One property as the server returned it.
struct Property {
    xcb_atom_t type = XCB_NONE;
    std::uint8_t format = 0;
    std::vector<std::uint8_t> bytes;

    // Format-32 values (CARDINAL, WINDOW, ATOM lists); empty for other formats.
    std::vector<std::uint32_t> values() const;
    std::optional<std::uint32_t> first() const;
    // Text up to the end, as UTF-8 (Latin-1 STRING converted).
    std::string text(xcb_atom_t utf8) const;
    // NUL-separated strings (WM_CLASS).
    std::vector<std::string> strings() const;
};

class X11Connection {
public:
    using EventFilter = std::function<bool(const xcb_generic_event_t&)>;
    using EventHandler = std::function<void(const xcb_generic_event_t&)>;

    // Connects to `display` ($DISPLAY when empty). Null, with the reason in
    // `error`, when no display can be opened.
    static std::unique_ptr<X11Connection> open(const std::string& display, std::string& error);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return c_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    int fd() const { return xcb_get_file_descriptor(c_); }
    const std::string& displayName() const { return displayName_; }
    // The server went away or the connection broke.
    bool broken() const { return xcb_connection_has_error(c_) != 0; }

    xcb_atom_t atom(Atom which) const { return atoms_[static_cast<std::size_t>(which)]; }

    // ---- properties
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t property,
                                              xcb_atom_t type = XCB_GET_PROPERTY_TYPE_ANY,
                                              std::uint32_t longs = 256);
    // Absent when the window is gone or has no such property.
    std::optional<Property> property(xcb_get_property_cookie_t cookie);
    std::optional<Property> readProperty(xcb_window_t window, xcb_atom_t property,
                                         xcb_atom_t type = XCB_GET_PROPERTY_TYPE_ANY,
                                         std::uint32_t longs = 256) {
        return this->property(requestProperty(window, property, type, longs));
    }
    void setValues(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                   const std::vector<std::uint32_t>& values);
    void setText(xcb_window_t window, xcb_atom_t property, std::string_view text);
    void deleteProperty(xcb_window_t window, xcb_atom_t property);
    // A format-32 client message to `window`, sent to `destination` with `mask`.
    void sendMessage(xcb_window_t destination, xcb_window_t window, xcb_atom_t type,
                     std::array<std::uint32_t, 5> data, std::uint32_t mask);

    // ---- time
    // The newest server time seen in an event; 0 before the first.
    xcb_timestamp_t lastTime() const { return lastTime_; }
    void noteTime(xcb_timestamp_t time);

    // ---- errors
    // Unexpected errors end the process (tests set this: a fault nobody
    // expected must fail the test, not scroll past in a log).
    void setExitOnError(bool on) { exitOnError_ = on; }
    // Logs an error of an unchecked request: races with vanished windows at
    // debug level, everything else at error level.
    void reportError(const xcb_generic_error_t& error);
    // A reply's error: the same sorting; frees nothing.
    static bool isExpected(const xcb_generic_error_t& error);

    // ---- events
    // Filters see every event first, in the order added; one that answers
    // true claims the event and nothing after it sees it.
    void addEventFilter(EventFilter filter) { filters_.push_back(std::move(filter)); }
    // Hands every event already read or waiting on the socket to the filters
    // and then `handler`; errors go to reportError. Answers how many came.
    std::size_t drain(const EventHandler& handler);
    // The same for events already read into the queue only (no socket read).
    std::size_t drainQueued(const EventHandler& handler);
    void flush() { xcb_flush(c_); }
    // A round trip: every request sent before has been processed.
    void sync();

    // First event number of RandR; 0 without the extension (1.5 or later).
    std::uint8_t randrEvents() const { return randrEvents_; }

private:
    X11Connection(xcb_connection_t* c, xcb_screen_t* screen, std::string displayName);
    void internAtoms();
    void queryRandr();
    void dispatch(xcb_generic_event_t* event, const EventHandler& handler);

    xcb_connection_t* c_;
    xcb_screen_t* screen_;
    std::string displayName_;
    std::array<xcb_atom_t, static_cast<std::size_t>(Atom::count)> atoms_{};
    std::vector<EventFilter> filters_;
    xcb_timestamp_t lastTime_ = 0;
    bool exitOnError_ = false;
    std::uint8_t randrEvents_ = 0;
};

// What XCB hands out is freed with free().
struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

// The reply to a request, or null when it failed. The error is dropped here,
// never queued as an event: the caller takes the absent reply as the answer.
template <class Fn, class Cookie>
auto replyTo(Fn fn, xcb_connection_t* c, Cookie cookie) {
    using T = std::remove_pointer_t<decltype(fn(c, cookie, nullptr))>;
    xcb_generic_error_t* error = nullptr;
    Reply<T> result(fn(c, cookie, &error));
    std::free(error);
    return result;
}

// The server time an event carries, when it carries one.
std::optional<xcb_timestamp_t> eventTime(const xcb_generic_event_t& event);

}  // namespace tessaline
