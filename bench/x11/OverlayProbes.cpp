// What the overlays cost Tessaline: CPU per animation frame with 20 windows
// gliding, with the border, dimming and the strip bar on against the same
// run with every overlay off, and the memory of 100 windows with overlays
// on. Both runs have picom compositing, so that dimming is really on; the
// compositor's own CPU is not counted. The peers have no such overlays.

#include "SideBySide.h"
#include "Spawn.h"

#include <signal.h>
#include <sys/wait.h>

#include <fstream>

namespace tessaline::bench {

namespace {

using namespace std::chrono;

constexpr const char* overlaysOff =
    R"({"config":{"focusBorder":false,"dimInactive":false,"stripIndicator":"off"}})";
constexpr const char* overlaysOn =
    R"({"config":{"focusBorder":true,"dimInactive":true,"stripIndicator":"icons"}})";

// picom for as long as the probe runs; absent when it cannot start.
class Compositor {
public:
    explicit Compositor(xtest::Connection& c) {
        pid_ = xtest::spawn({.argv = {"picom", "--backend", "xrender", "--config", "/dev/null"},
                             .environment = xtest::environmentWith({{"DISPLAY", xtest::XServer::shared().display()}})});
        const xcb_atom_t selection = c.atom("_NET_WM_CM_S0");
        running_ = xtest::waitUntil(
            [&] {
                auto reply = xcb_get_selection_owner_reply(c.get(), xcb_get_selection_owner(c.get(), selection), nullptr);
                const bool owned = reply && reply->owner != XCB_NONE;
                free(reply);
                return owned;
            },
            seconds(5), milliseconds(20));
    }
    ~Compositor() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    bool running() const { return running_; }

private:
    pid_t pid_ = -1;
    bool running_ = false;
};

// Runs of each kind, alternating.
constexpr int overlayRuns = 5;

// Restarts the session's manager with these settings and opens 20 windows.
void restartWith(Session& s, const char* settings) {
    s.closeAll();
    const auto folder = s.manager().home() / ".config" / "tessaline";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "settings.json") << settings;
    s.manager().restart();
    s.open(20);
}

// Focus changes between the two ends of the strip, each a glide; CPU per
// frame, frames counted as the most ConfigureNotify events one window got.
double cpuPerFrameUs(Session& s) {
    const int changes = 20;
    long frameCount = 0;
    const auto before = s.cpu();
    for (int i = 0; i < changes; ++i) {
        TestClient& target = s.windows()[i % 2 ? 0 : s.windows().size() - 1];
        for (auto& w : s.windows()) w.connection().dropEvents();
        target.requestActivate();
        s.settle(target);
        long most = 0;
        for (auto& w : s.windows()) {
            long count = 0;
            while (w.connection().take(
                [](const xcb_generic_event_t& e) { return xtest::eventType(e) == XCB_CONFIGURE_NOTIFY; }))
                ++count;
            most = std::max(most, count);
        }
        frameCount += most;
    }
    return duration<double, std::micro>(s.cpu() - before).count() / double(std::max(frameCount, 1L));
}

const Registration overlayCost{{
    .order = 50,
    .name = "overlays",
    .run =
        [](Session& s) {
            const std::string off = "CPU per frame, 20 windows, overlays off";
            const std::string on = "CPU per frame, 20 windows, border+dimming";
            const std::string rssOff = "RSS, 100 windows, overlays off";
            const std::string rss = "RSS, 100 windows, overlays on";
            if (s.name() != "Tessaline") {
                return std::vector<Value>{{off, "µs", std::nullopt, ""}, {on, "µs", std::nullopt, ""},
                                          {rssOff, "MiB", std::nullopt, ""}, {rss, "MiB", std::nullopt, ""}};
            }
            Compositor compositor(s.manager().control());
            const std::string note = compositor.running() ? "with picom compositing; median of 5 runs"
                                                          : "picom did not start: no dimming, border cut to shape";
            // Alternating runs, medians: on a busy machine one run of each
            // differs from the next by more than the overlays cost.
            std::vector<double> withoutRuns, withRuns;
            double memoryWithout = 0, memory = 0;
            for (int run = 0; run < overlayRuns; ++run) {
                restartWith(s, overlaysOff);
                withoutRuns.push_back(cpuPerFrameUs(s));
                if (run + 1 == overlayRuns) {
                    s.open(80);
                    memoryWithout = s.rssMiB();
                }
                restartWith(s, overlaysOn);
                withRuns.push_back(cpuPerFrameUs(s));
            }
            s.open(80);
            memory = s.rssMiB();
            const double without = median(withoutRuns), with = median(withRuns);
            return std::vector<Value>{{off, "µs", without, note},
                                      {on, "µs", with, "overlays add " + std::to_string(int(with - without)) + " µs"},
                                      {rssOff, "MiB", memoryWithout, ""},
                                      {rss, "MiB", memory, ""}};
        },
}};

}  // namespace

}  // namespace tessaline::bench
