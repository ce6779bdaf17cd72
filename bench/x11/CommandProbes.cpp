// The command line: a focus change asked for from a shell (process start to
// the FocusIn it causes), and the state read with 100 windows open, each
// through the manager's own client (tessaline, i3-msg, bspc).

#include "SideBySide.h"

#ifdef TESSALINE_BENCH_HAS_SHELL
#include "app/shell/ChannelPath.h"
#include "app/shell/CommandClient.h"
#endif

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

extern char** environ;

namespace tessaline::bench {

namespace {

using namespace std::chrono;

constexpr int focusRounds = 30;
constexpr int stateRounds = 30;

double ms(Clock::duration d) { return duration<double, std::milli>(d).count(); }

// What each manager's own client needs to find it.
struct Client {
    std::vector<std::string> focusRight;
    std::vector<std::string> state;
    std::vector<std::string> environment;
};

Client clientOf(Session& s) {
    const std::string home = s.manager().home().string();
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.emplace_back(*e);
    environment.push_back("DISPLAY=" + xtest::XServer::shared().display());
    if (s.name() == "Tessaline") {
        const std::string exe = xtest::ManagerOptions::tessalineExecutable();
        environment.push_back("XDG_RUNTIME_DIR=" + home + "/runtime");
        return {{exe, "focusRight"}, {exe, "state"}, environment};
    }
    if (s.name() == "i3") return {{"i3-msg", "-q", "focus", "right"}, {"i3-msg", "-t", "get_tree"}, environment};
    environment.push_back("BSPWM_SOCKET=" + home + "/runtime/bspwm-socket");
    return {{"bspc", "node", "-f", "east"}, {"bspc", "wm", "-d"}, environment};
}

// Starts the command with its output thrown away; the caller reaps it.
pid_t start(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    std::vector<char*> args, env;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw xtest::HarnessError("couldn't start " + argv[0]);
    return pid;
}

int reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool isFocusIn(const xcb_generic_event_t& e) {
    const auto& focus = reinterpret_cast<const xcb_focus_in_event_t&>(e);
    return xtest::eventType(e) == XCB_FOCUS_IN && focus.detail != XCB_NOTIFY_DETAIL_POINTER;
}

// Waits for a FocusIn on one of `windows`; answers which and when it was read.
std::pair<TestClient*, Clock::time_point> nextFocusIn(const std::vector<TestClient*>& windows, std::string_view what) {
    std::pair<TestClient*, Clock::time_point> found{nullptr, {}};
    xtest::waitFor(what, [&] {
        for (TestClient* w : windows) {
            if (w->connection().take(isFocusIn, found.second)) found.first = w;
        }
        return found.first != nullptr;
    });
    return found;
}

// From three windows side by side, the leftmost focused: the shell command
// that focuses the window to its right, from its start to the FocusIn.
const Registration focusFromShell{{
    .order = 50,
    .name = "CLI focus",
    .run =
        [](Session& s) {
            const Client client = clientOf(s);
            s.open(3);
            std::vector<TestClient*> windows;
            for (auto& w : s.windows()) windows.push_back(&w);
            std::sort(windows.begin(), windows.end(),
                      [](TestClient* a, TestClient* b) { return a->geometry()->x < b->geometry()->x; });
            TestClient& leftmost = *windows.front();
            const std::vector<TestClient*> others(windows.begin() + 1, windows.end());
            std::vector<double> samples;
            for (int round = 0; round < focusRounds; ++round) {
                leftmost.requestActivate();
                nextFocusIn({&leftmost}, "the leftmost window to take focus");
                // Until the glide it started is over: the command should find the manager idle.
                for (TestClient* w : windows) s.settle(*w);
                for (TestClient* w : windows) w->connection().dropEvents();
                const auto begin = Clock::now();
                const pid_t pid = start(client.focusRight, client.environment);
                const auto [focused, at] = nextFocusIn(others, "the shell command to move focus");
                reap(pid);
                samples.push_back(ms(at - begin));
            }
            return std::vector<Value>{{"CLI focus right → FocusIn, median", "ms", median(samples), ""}};
        },
    .legend = "CLI focus: `tessaline focusRight`, `i3-msg focus right`, `bspc node -f east` from process start "
              "to the FocusIn on the next window, " + std::to_string(focusRounds) + " runs",
}};

// The state with 100 windows open, through the shell command (process start
// to exit) and, for Tessaline, through its channel alone.
const Registration stateWithHundred{{
    .order = 60,
    .name = "CLI state",
    .run =
        [](Session& s) {
            const Client client = clientOf(s);
            s.open(100);
            std::vector<double> samples;
            for (int round = 0; round < stateRounds; ++round) {
                const auto begin = Clock::now();
                if (reap(start(client.state, client.environment)) != 0) throw xtest::HarnessError("the state command failed");
                samples.push_back(ms(Clock::now() - begin));
            }
            std::vector<Value> values{{"CLI state, 100 windows, median", "ms", median(samples), ""}};
            std::optional<double> channel;
#ifdef TESSALINE_BENCH_HAS_SHELL
            if (s.name() == "Tessaline") {
                shell::ChannelEnvironment environment{(s.manager().home() / "runtime").string(),
                                                      xtest::XServer::shared().display(), getuid()};
                std::ostringstream out, err;
                const shell::ClientOptions options{shell::channelSockets(environment), &out, &err, std::nullopt};
                std::vector<double> trips;
                for (int round = 0; round < stateRounds; ++round) {
                    out.str({});
                    const auto begin = Clock::now();
                    if (shell::runClient("state", options) != 0) throw xtest::HarnessError(err.str());
                    trips.push_back(ms(Clock::now() - begin));
                }
                channel = median(trips);
            }
#endif
            values.push_back({"state round trip on the channel, 100 windows, median", "ms", channel, ""});
            return values;
        },
    .legend = "CLI state: `tessaline state`, `i3-msg -t get_tree`, `bspc wm -d` from process start to exit; the "
              "channel round trip is Tessaline's client code in the benchmark's own process",
}};

}  // namespace

}  // namespace tessaline::bench
