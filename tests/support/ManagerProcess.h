#pragma once
// A window manager under test, run as its own process on the test's X server:
// Tessaline by default, or a peer (i3, bspwm) for comparison and to prove the
// harness itself.

#include "Connection.h"
#include "XServer.h"

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tessaline::xtest {

struct ManagerOptions {
    std::string program;            // path or name on PATH
    std::vector<std::string> args;  // after the program name
    // Client message type of the sync round trip; empty when the manager has none.
    std::string syncAtom = "_TESSALINE_SYNC";
    // Ready only once it owns the WM_S0 manager selection (besides setting
    // _NET_SUPPORTING_WM_CHECK on the root).
    bool ownsSelection = true;
    // Ready only once a sync is answered, sent again until it is: for a manager
    // that drops the client messages queued while it starts (i3 does).
    bool confirmWithSync = false;
    // A root property the manager must set after it starts, and a condition on
    // the root window checked once it has (a value left by an earlier manager
    // proves nothing).
    std::string readyProperty;
    std::function<bool(Connection&)> readyWhen;
    // Files written before start, relative to the private HOME.
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::pair<std::string, std::string>> environment;

    // The tessaline executable of this build (TESSALINE_EXECUTABLE in the
    // environment overrides it); empty when it has not been built.
    static std::string tessalineExecutable();
    // Tessaline, with unexpected X errors fatal; `config` is the "config" object
    // of its settings.json, e.g. R"({"animate":false})", none when empty.
    static ManagerOptions tessaline(const std::string& config = "", std::vector<std::string> extraArgs = {});
    // i3 with a minimal configuration and no bar.
    static ManagerOptions i3();
    // bspwm with one desktop per monitor, so that it tiles.
    static ManagerOptions bspwm();
};

class ManagerProcess {
public:
    struct Exit {
        int code = -1;   // exit status, or -1 when killed by a signal
        int signal = 0;  // the signal that ended it, else 0
        friend bool operator==(const Exit&, const Exit&) = default;
    };

    explicit ManagerProcess(ManagerOptions options = ManagerOptions::tessaline(),
                            XServer& server = XServer::shared());
    ~ManagerProcess();  // kills it if still running, removes its private HOME
    ManagerProcess(const ManagerProcess&) = delete;
    ManagerProcess& operator=(const ManagerProcess&) = delete;

    // Starts it and returns once it manages the screen.
    void start();
    // Starts it and returns its exit once it quits by itself (a manager that must refuse).
    Exit startExpectingExit();
    // Returns once the manager has handled every request the test's connections
    // sent before, and the changes those caused are visible on the server.
    void sync();
    // SIGTERM, then the exit once it has quit.
    Exit stop();
    // SIGKILL: a crash, as far as the screen is concerned.
    Exit kill();
    // Waits until it quits by itself (e.g. replaced by another manager).
    Exit waitForExit(std::string_view what = "to quit");
    // Stops it and starts it again with the same HOME (its saved state kept).
    void restart();
    // `tessaline <arguments>` against it, as a user types it.
    struct Ran {
        int status = -1;
        std::string output;  // standard output and error together
    };
    Ran run(std::vector<std::string> arguments);
    // Runs `tessaline <word>` against it and answers what that printed once the
    // manager has caught up; throws if the command failed.
    std::string command(const std::string& word);

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    std::string stderrText() const;
    const std::filesystem::path& home() const { return home_; }
    // The harness's connection for this manager: its sync window and root watches.
    Connection& control() { return control_; }

private:
    void launch();
    void reap();
    void checkRunning(std::string_view what);
    Exit end(int signal, std::string_view what);
    bool trySync(std::chrono::milliseconds limit);

    ManagerOptions options_;
    XServer& server_;
    Connection control_;
    xcb_window_t syncWindow_ = XCB_NONE;
    std::filesystem::path home_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool exited_ = false;
    Exit exit_;
};

// The whole of a text file; empty when there is none.
std::string readFile(const std::filesystem::path& path);

}  // namespace tessaline::xtest
