#pragma once
// One XCB connection of the test process, and the single place where the test
// process waits. Every connection registers itself, so that whoever waits (for a
// map, a sync answer, a manager's start) also reads every other connection's
// events: a client answers a ping while the test waits for something else.

#include <xcb/xcb.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::xtest {

// A failed wait or a broken set-up. GoogleTest reports an exception escaping a test
// body as that test's failure, and the benchmark prints it and stops.
struct HarnessError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Point {
    int x = 0, y = 0;
};

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
    Point centre() const { return {x + w / 2, y + h / 2}; }
};
std::ostream& operator<<(std::ostream&, const Rect&);  // "700×850 at 8,33"

// How long a wait may last before the test fails. Generous because sanitizer
// builds on a loaded machine are slow; a wait that works ends on its event long
// before. TESSALINE_TEST_WAIT_MS overrides it.
std::chrono::milliseconds waitLimit();

struct FreeEvent {
    void operator()(xcb_generic_event_t* e) const { free(e); }
};
using Event = std::unique_ptr<xcb_generic_event_t, FreeEvent>;

inline uint8_t eventType(const xcb_generic_event_t& e) { return e.response_type & 0x7f; }

class Connection {
public:
    explicit Connection(const std::string& display);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    xcb_connection_t* get() const { return c_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    bool broken() const { return c_ == nullptr || xcb_connection_has_error(c_) != 0; }

    xcb_atom_t atom(std::string_view name);
    std::string atomName(xcb_atom_t atom);

    void flush();
    // A reply from the server: every request sent before has been processed.
    void roundTrip();
    // A client message about `window`, sent to the root as ICCCM and EWMH ask.
    void sendToRoot(xcb_window_t window, std::string_view type, std::array<uint32_t, 5> data);
    // Closes the socket at once; what the server held for us is freed as for a crash.
    void disconnect();

    // Property reads; absent when the window or the property is gone.
    std::optional<std::vector<uint32_t>> property32(xcb_window_t w, xcb_atom_t property);
    std::optional<std::string> propertyText(xcb_window_t w, xcb_atom_t property);
    // Position on the root window and size; absent when the window is gone.
    std::optional<Rect> rootGeometry(xcb_window_t w);
    // -1 when the window is gone, else XCB_MAP_STATE_*.
    int mapState(xcb_window_t w);

    // Called for each event as it is read, before it is queued: the place for a
    // client's automatic answers (pings, focus offers).
    void onEvent(std::function<void(const xcb_generic_event_t&)> hook) { hook_ = std::move(hook); }

    // Removes and returns the oldest queued event that matches, with the moment
    // it was read from the socket (for latency benchmarks).
    Event take(const std::function<bool(const xcb_generic_event_t&)>& match,
               std::chrono::steady_clock::time_point& readAt);
    Event take(const std::function<bool(const xcb_generic_event_t&)>& match) {
        std::chrono::steady_clock::time_point ignored;
        return take(match, ignored);
    }
    // How many events this connection has read so far: a wait for "anything
    // new" that leaves the events queued.
    uint64_t received() const { return received_; }
    // Waits until an event that matches arrives (or was queued already).
    Event waitEvent(std::string_view what, const std::function<bool(const xcb_generic_event_t&)>& match);
    void dropEvents() { queue_.clear(); }
    // X errors this connection received (error code, major opcode), oldest first.
    const std::vector<std::pair<int, int>>& errors() const { return errors_; }

    // Reads whatever the server has sent; false when nothing was there.
    bool pump();

private:
    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    std::map<std::string, xcb_atom_t, std::less<>> atoms_;
    struct Queued {
        Event event;
        std::chrono::steady_clock::time_point readAt;
    };
    std::deque<Queued> queue_;
    uint64_t received_ = 0;
    std::vector<std::pair<int, int>> errors_;
    std::function<void(const xcb_generic_event_t&)> hook_;
};

// Waits until done() holds, reading every connection's events (and the watched
// descriptors below) meanwhile; throws HarnessError naming `what` after `limit`.
// done() is checked after every event, and every `recheck` when none come: only
// a state no event announces wants a short one.
void waitFor(std::string_view what, const std::function<bool()>& done,
             std::chrono::milliseconds limit = waitLimit(),
             std::chrono::milliseconds recheck = std::chrono::milliseconds(1000));

// The same, false instead of an exception when time runs out.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
               std::chrono::milliseconds recheck = std::chrono::milliseconds(1000));

// A descriptor read by every wait, e.g. a pidfd that tells a manager has exited.
// The callback runs when the descriptor is readable; remove it with unwatch.
void watch(int fd, std::function<void()> ready);
void unwatch(int fd);

// Every live connection of this process has had its requests processed by the
// server (one pipelined round trip each).
void roundTripAll();

}  // namespace tessaline::xtest
