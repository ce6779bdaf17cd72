#pragma once
// Real clients that come and go at random around a running manager: windows
// of every kind open, close, crash, iconify, go full screen, retitle, ask for
// sizes and move between desktops, while monitors are added and removed and
// pagers switch desktops. After every step the
// manager is synced and the client list checked; `finish` stops the manager
// and, for Tessaline, checks that every window is back on screen and mapped.

#include "ManagerProcess.h"
#include "TestClient.h"

#include <deque>
#include <random>
#include <string>
#include <vector>

namespace tessaline::xtest {

class RandomClients {
public:
    struct Options {
        // Every listed window must be a live managed one. i3 lists docks, and
        // keeps a closed window listed while another is full screen: false
        // checks only that no window is missing from _NET_CLIENT_LIST.
        bool strictClientList = true;
        // i3 4.22 crashes after some sequences of full-screen requests (and its
        // crash handler then waits for a key forever); false leaves them out.
        bool fullscreen = true;
    };
    RandomClients(ManagerProcess& manager, uint32_t seed, Options options);
    RandomClients(ManagerProcess& manager, uint32_t seed) : RandomClients(manager, seed, Options{}) {}

    void run(int steps);
    // Stops the manager (exit status 0 expected when `restoresWindows`, that is
    // for Tessaline) and checks every window left is mapped with its centre on
    // a monitor.
    void finish(bool restoresWindows);

    // TESSALINE_X11_STRESS_SEED and TESSALINE_X11_STRESS_STEPS, else these.
    static uint32_t seedFromEnvironment(uint32_t fallback);
    static int stepsFromEnvironment(int fallback);

private:
    struct Client {
        TestClient client;
        bool managed;  // a window the manager must list: not a dock, not override-redirect
        bool withdrawn = false;
    };

    void step();
    void open();
    void setMonitors();
    Client* pick();
    // Waits until the server has destroyed the window of a client that closed or died.
    void awaitDestroyed(xcb_window_t window);
    void checkClientList();
    [[noreturn]] void fail(const std::string& what);
    void note(std::string op);

    ManagerProcess& manager_;
    uint32_t seed_;
    Options options_;
    std::mt19937 random_;
    int step_ = 0;
    // Sees every client window's destruction, whoever caused it.
    Connection observer_;
    std::vector<Client> clients_;
    std::deque<std::string> recent_;
};

}  // namespace tessaline::xtest
