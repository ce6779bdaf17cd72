#pragma once
// Real X clients for tests: each on its own connection, so that one can die the
// way an application does, and each answering the manager as a well-behaved
// application would (pings, focus offers, close requests) unless told otherwise.
//
//   auto dialog = ClientBuilder().type(WindowType::dialog).transientFor(main).title("Save").open();

#include "Connection.h"
#include "XServer.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::xtest {

enum class WindowType { none, normal, dialog, utility, dock };

enum class Protocol { deleteWindow, takeFocus, ping };

// _NET_WM_STRUT_PARTIAL, in root coordinates as EWMH defines it.
struct Strut {
    uint32_t left = 0, right = 0, top = 0, bottom = 0;
    uint32_t leftStartY = 0, leftEndY = 0, rightStartY = 0, rightEndY = 0;
    uint32_t topStartX = 0, topEndX = 0, bottomStartX = 0, bottomEndX = 0;
    static Strut atTop(uint32_t height, uint32_t startX, uint32_t endX) {
        return {.top = height, .topStartX = startX, .topEndX = endX};
    }
};

enum class WmState { withdrawn = 0, normal = 1, iconic = 3 };

class TestClient;

class ClientBuilder {
public:
    explicit ClientBuilder(XServer& server = XServer::shared()) : server_(&server) {}

    ClientBuilder& title(std::string t) { title_ = std::move(t); return *this; }
    ClientBuilder& type(WindowType t) { type_ = t; return *this; }
    ClientBuilder& transientFor(const TestClient& parent);
    ClientBuilder& transientFor(xcb_window_t parent) { transientFor_ = parent; return *this; }
    ClientBuilder& geometry(Rect r) { geometry_ = r; return *this; }
    ClientBuilder& minSize(int w, int h) { min_ = {w, h}; return *this; }
    ClientBuilder& maxSize(int w, int h) { max_ = {w, h}; return *this; }
    ClientBuilder& fixedSize(int w, int h) { return minSize(w, h).maxSize(w, h); }
    ClientBuilder& increments(int w, int h) { increments_ = {w, h}; return *this; }
    ClientBuilder& strut(Strut s) { strut_ = s; return *this; }
    // _NET_WM_PID; the test process's own unless set. 0 leaves it out.
    ClientBuilder& pid(uint32_t p) { pid_ = p; return *this; }
    ClientBuilder& protocols(std::vector<Protocol> p) { protocols_ = std::move(p); return *this; }
    // Announces _NET_WM_PING but never answers it: an application that hangs.
    ClientBuilder& neverAnswerPing() { answerPing_ = false; return *this; }
    // Receives WM_DELETE_WINDOW but keeps its window (an application asking "Save?").
    ClientBuilder& ignoreDelete() { obeyDelete_ = false; return *this; }
    // WM_HINTS input: false for applications that take focus only when offered.
    ClientBuilder& input(bool accepts) { input_ = accepts; return *this; }
    ClientBuilder& overrideRedirect() { overrideRedirect_ = true; return *this; }
    // Any other 32-bit property, e.g. ("WM_CLIENT_LEADER", "WINDOW", {leader}) or
    // ("_NET_WM_USER_TIME", "CARDINAL", {0}).
    ClientBuilder& property(std::string name, std::string type, std::vector<uint32_t> values) {
        extra_.push_back({std::move(name), std::move(type), std::move(values)});
        return *this;
    }
    // Runs after the window and its properties exist, before it is mapped.
    ClientBuilder& beforeMap(std::function<void(TestClient&)> hook) { beforeMap_ = std::move(hook); return *this; }

    // The window with its properties, not mapped.
    TestClient create() const;
    // Created and mapped; returns once the window is mapped on screen.
    TestClient open() const;

private:
    friend class TestClient;
    struct Size {
        int w, h;
    };
    XServer* server_;
    std::string title_;
    WindowType type_ = WindowType::normal;
    xcb_window_t transientFor_ = XCB_NONE;
    Rect geometry_{0, 0, 400, 300};
    std::optional<Size> min_, max_, increments_;
    std::optional<Strut> strut_;
    std::optional<uint32_t> pid_;
    std::string instance_ = "tessaline-test", class_ = "TessalineTest";
    std::vector<Protocol> protocols_{Protocol::deleteWindow, Protocol::ping};
    bool answerPing_ = true, obeyDelete_ = true, input_ = true, overrideRedirect_ = false;
    std::function<void(TestClient&)> beforeMap_;
    struct Extra {
        std::string name, type;
        std::vector<uint32_t> values;
    };
    std::vector<Extra> extra_;
};

class TestClient {
public:
    TestClient(TestClient&&) = default;
    TestClient& operator=(TestClient&&) = default;
    ~TestClient();

    xcb_window_t window() const { return state_->window; }
    Connection& connection() { return *connection_; }
    // False once the window is destroyed or the client died.
    bool alive() const { return !connection_->broken() && !state_->destroyed; }
    // As the client last heard from the server (MapNotify / UnmapNotify).
    bool mapped() const { return state_->mapped; }

    // Asks to be mapped and waits until the window is mapped.
    void map();
    // Asks to be mapped and goes on at once.
    void mapNoWait();
    // Withdraws the window (unmap plus the synthetic UnmapNotify ICCCM asks for).
    void withdraw();
    // Asks the manager to iconify the window (WM_CHANGE_STATE).
    void iconify();
    void requestFullscreen(bool on);
    // Asks, as a pager does, for the window to become active (_NET_ACTIVE_WINDOW).
    void requestActivate();
    // Asks, as a pager does, for the window to be closed (_NET_CLOSE_WINDOW).
    void requestClose();
    // Asks, as a pager does, for the window to move to a desktop (_NET_WM_DESKTOP).
    void requestDesktop(uint32_t desktop);
    // ConfigureWindow on its own window, as applications resize themselves.
    void requestGeometry(Rect r);
    // Sets _NET_WM_NAME and WM_NAME (one of them when the other is false).
    void setTitle(const std::string& title, bool netName = true, bool icccmName = true);
    // Destroys its window and disconnects, as an application quitting.
    void close();
    // Disconnects without a word: the server destroys the window, as when an
    // application crashes. Requests sent just before still reach the server, so
    // `c.mapNoWait(); c.die();` is a client gone before the manager can answer.
    void die();

    // Reads from the server; absent when the window is gone.
    std::optional<Rect> geometry();
    std::optional<WmState> wmState();
    bool hasNetWmState(std::string_view state);
    bool viewable();

    // Waits until an event about this window matches (StructureNotify and
    // PropertyChange events are selected).
    Event waitFor(std::string_view what, const std::function<bool(const xcb_generic_event_t&)>& match);
    void waitForMapped();

    int deleteRequests() const { return state_->deletes; }
    int focusOffers() const { return state_->focusOffers; }
    int pings() const { return state_->pings; }

    // What the connection's event hook reads and writes; shared with it so that a
    // TestClient can move.
    struct State {
        xcb_window_t window = XCB_NONE;
        bool answerPing = true, obeyDelete = true;
        bool mapped = false, destroyed = false;
        int deletes = 0, focusOffers = 0, pings = 0;
    };

private:
    friend class ClientBuilder;
    TestClient() = default;
    void sendToRoot(std::string_view type, std::array<uint32_t, 5> data);

    std::unique_ptr<Connection> connection_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tessaline::xtest
