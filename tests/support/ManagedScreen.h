#pragma once
// Tessaline managing one 1920×1080 monitor of the test's server, with real
// clients: the fixture of the tests that watch what a user sees, and the
// checks the X11 tests share. Its teardown stops the manager and wants a
// clean exit and no error in its log.

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "ManagerProcess.h"
#include "TestClient.h"

namespace tessaline::xtest {

inline constexpr Rect kMonitor{0, 0, 1920, 1080};

// Stops the manager if it still runs; a clean exit, and no error in its log.
inline void expectCleanStop(ManagerProcess& wm) {
    if (wm.running()) {
        EXPECT_EQ(wm.stop(), (ManagerProcess::Exit{0, 0})) << wm.stderrText();
    }
    EXPECT_EQ(wm.stderrText().find("error:"), std::string::npos) << wm.stderrText();
}

// The window the manager has focused (_NET_ACTIVE_WINDOW).
inline xcb_window_t activeWindow(Connection& c) {
    const auto value = c.property32(c.root(), c.atom("_NET_ACTIVE_WINDOW"));
    return value && !value->empty() ? value->front() : XCB_NONE;
}

// Another client can take the keyboard and the pointer: nobody holds them.
inline bool inputIsFree() {
    Connection other(XServer::shared().display());
    xcb_connection_t* c = other.get();
    auto keyboard = xcb_grab_keyboard(c, 0, other.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    auto pointer = xcb_grab_pointer(c, 0, other.root(), 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
                                    XCB_NONE, XCB_CURRENT_TIME);
    auto* k = xcb_grab_keyboard_reply(c, keyboard, nullptr);
    auto* p = xcb_grab_pointer_reply(c, pointer, nullptr);
    const bool free = k && p && k->status == XCB_GRAB_STATUS_SUCCESS && p->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(k);
    std::free(p);
    return free;
}

class ManagedScreen : public ::testing::Test {
protected:
    explicit ManagedScreen(ManagerOptions options) : wm(std::move(options)) {}

    void SetUp() override {
        XServer::shared().setMonitors({{"main", kMonitor, true}});
        wm.start();
    }
    void TearDown() override { expectCleanStop(wm); }

    TestClient& open(const ClientBuilder& builder = ClientBuilder()) {
        clients.push_back(builder.open());
        wm.sync();
        return clients.back();
    }
    xcb_window_t active() { return activeWindow(wm.control()); }

    ManagerProcess wm;
    std::deque<TestClient> clients;
};

}  // namespace tessaline::xtest
