#pragma once
// The X server of one test process: an Xvfb started on first use and stopped at
// exit, or with the test process itself when it crashes.

#include "Connection.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace tessaline::xtest {

// A RandR 1.5 monitor, the unit a manager lays out on.
struct Monitor {
    std::string name;
    Rect rect;
    bool primary = false;
    friend bool operator==(const Monitor&, const Monitor&) = default;
};
std::ostream& operator<<(std::ostream&, const Monitor&);  // "left 1920×1080 at 0,0 primary"

class XServer {
public:
    struct Options {
        // Room for three 1920×1080 monitors side by side and two rows of them:
        // Xvfb cannot grow its screen later.
        int width = 5760;
        int height = 2160;
    };

    // The process's server, started on first use. TESSALINE_TEST_SCREEN=WxH
    // overrides the default size.
    static XServer& shared();
    // Chooses the size of the server shared() will start; only before its first use.
    static void configure(Options options);

    explicit XServer(Options options);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& display() const { return display_; }
    int width() const { return options_.width; }
    int height() const { return options_.height; }
    pid_t pid() const { return pid_; }
    // The harness's own connection (monitor changes, root queries).
    Connection& control() { return *control_; }

    // Replaces every monitor with these; an empty list gives back the one monitor
    // covering the whole screen. Xvfb announces this with a root ConfigureNotify
    // only. Returns after the server has applied it, so a sync that follows
    // reaches the manager after the change.
    void setMonitors(const std::vector<Monitor>& monitors);
    std::vector<Monitor> monitors();

private:
    Options options_;
    pid_t pid_ = -1;
    std::string display_;
    std::unique_ptr<Connection> control_;
};

}  // namespace tessaline::xtest
