// What the overlays cost Tessaline: CPU per animation frame with 20 windows
// gliding, with the border and dimming on (and with the strip bar as well,
// which paints once per move) against the same run with every overlay off,
// and the memory of 100 windows with and without them. Both runs have picom compositing, so that dimming is really on; the
// compositor's own CPU is not counted. The peers have no such overlays.

#include "SideBySide.h"
#include "Spawn.h"

#include <signal.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>

namespace tessaline::bench {

namespace {

using namespace std::chrono;

constexpr const char* overlaysOff =
    R"({"config":{"focusBorder":false,"dimInactive":false,"stripIndicator":"off"}})";
constexpr const char* borderAndDimming =
    R"({"config":{"focusBorder":true,"dimInactive":true,"stripIndicator":"off"}})";
constexpr const char* everyOverlay =
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
        if (pid_ <= 0) return;
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
            const std::string border = "CPU per frame, 20 windows, border+dimming";
            const std::string all = "CPU per frame, 20 windows, border+dimming+strip bar";
            const std::string rssOff = "RSS, 100 windows, overlays off";
            const std::string rssOn = "RSS, 100 windows, every overlay on";
            if (s.name() != "Tessaline") {
                return std::vector<Value>{{off, "µs", std::nullopt, ""},    {border, "µs", std::nullopt, ""},
                                          {all, "µs", std::nullopt, ""},    {rssOff, "MiB", std::nullopt, ""},
                                          {rssOn, "MiB", std::nullopt, ""}};
            }
            Compositor compositor(s.manager().control());
            const std::string note = compositor.running() ? "with picom compositing; median of 5 alternating runs"
                                                          : "picom did not start: no dimming, border cut to shape";
            // Alternating runs, medians: on a busy machine one run of each
            // differs from the next by more than the overlays cost.
            const char* settings[] = {overlaysOff, borderAndDimming, everyOverlay};
            std::vector<double> runs[3];
            double memory[3] = {0, 0, 0};
            for (int run = 0; run < overlayRuns; ++run) {
                for (int which = 0; which < 3; ++which) {
                    restartWith(s, settings[which]);
                    runs[which].push_back(cpuPerFrameUs(s));
                    if (run + 1 == overlayRuns && which != 1) {
                        s.open(80);
                        memory[which] = s.rssMiB();
                    }
                }
            }
            const double base = median(runs[0]);
            const auto added = [&](int which) {
                return "overlays add " + std::to_string(int(std::lround(median(runs[which]) - base))) + " µs";
            };
            return std::vector<Value>{{off, "µs", base, note},
                                      {border, "µs", median(runs[1]), added(1)},
                                      {all, "µs", median(runs[2]), added(2)},
                                      {rssOff, "MiB", memory[0], ""},
                                      {rssOn, "MiB", memory[2], ""}};
        },
}};

}  // namespace

}  // namespace tessaline::bench
