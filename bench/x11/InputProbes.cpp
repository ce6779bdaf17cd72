// The user's hands: key press → focus latency, and the manager's CPU per
// pointer motion while a window is dragged with Super held.
//
// Every manager gets the same keys: with control and alt held, the left and
// right arrows move the focus. Tessaline has them by default and i3 from its
// configuration (see managers() in SideBySide.cpp); bspwm has no key
// bindings of its own, so Debian's sxhkd runs `bspc node -f west|east` for it
// and its latency includes that hop, as it does on a real bspwm desktop.

#include <signal.h>
#include <sys/wait.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "SideBySide.h"
#include "Spawn.h"
#include "UserInput.h"

namespace tessaline::bench {

namespace {

using namespace std::chrono;
namespace keys = xtest::keys;

constexpr uint8_t kLeft = 113, kRight = 114;

double ms(Clock::duration d) { return duration<double, std::milli>(d).count(); }

// sxhkd with the focus bindings, for as long as the probe runs.
class Sxhkd {
public:
    explicit Sxhkd(Session& session) {
        const auto home = session.manager().home();
        const std::string config = (home / "sxhkdrc").string();
        std::ofstream(config) << "ctrl + alt + Left\n    bspc node -f west\n"
                                 "ctrl + alt + Right\n    bspc node -f east\n";
        pid_ = xtest::spawn({.argv = {"sxhkd", "-c", config},
                             .environment = xtest::environmentWith(
                                 {{"DISPLAY", xtest::XServer::shared().display()},
                                  {"BSPWM_SOCKET", (home / "runtime/bspwm-socket").string()}}),
                             .output = (home / "sxhkd.log").string()});
    }
    ~Sxhkd() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

bool focusInOn(const xcb_generic_event_t& e, xcb_window_t window) {
    if (xtest::eventType(e) != XCB_FOCUS_IN) return false;
    const auto& focus = reinterpret_cast<const xcb_focus_in_event_t&>(e);
    // A shortcut's focus change happens while its key is grabbed.
    return focus.event == window && focus.mode != XCB_NOTIFY_MODE_GRAB && focus.mode != XCB_NOTIFY_MODE_UNGRAB &&
           focus.detail != XCB_NOTIFY_DETAIL_POINTER && focus.detail != XCB_NOTIFY_DETAIL_INFERIOR;
}

const Registration keyToFocus{{
    .order = 50,
    .name = "key→focus",
    .run =
        [](Session& s) {
            std::optional<Sxhkd> sxhkd;
            if (s.name() == "bspwm") sxhkd.emplace(s);
            s.open(2);
            for (TestClient& w : s.windows()) {
                const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE;
                xcb_change_window_attributes(w.connection().get(), w.window(), XCB_CW_EVENT_MASK, &mask);
                w.connection().roundTrip();
            }
            xtest::UserInput user;
            user.press(keys::control);
            user.press(keys::alt);
            s.settle();

            // From the second window to the first and back, again and again.
            // The keys may not be bound yet when the probe begins (sxhkd
            // starts beside bspwm): the first move is tried until it works.
            const auto move = [&](int i, milliseconds limit) -> std::optional<double> {
                TestClient& target = s.windows()[i % 2 ? 1 : 0];
                const uint8_t key = i % 2 ? kRight : kLeft;
                for (TestClient& w : s.windows()) w.connection().dropEvents();
                xcb_connection_t* c = user.connection().get();
                const auto start = Clock::now();
                xcb_test_fake_input(c, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
                xcb_flush(c);
                Clock::time_point at;
                const bool moved = xtest::waitUntil(
                    [&] {
                        return target.connection().take(
                                   [&](const xcb_generic_event_t& e) { return focusInOn(e, target.window()); }, at) !=
                               nullptr;
                    },
                    limit);
                user.release(key);
                return moved ? std::optional<double>(ms(at - start)) : std::nullopt;
            };
            xtest::waitFor("the focus keys to work", [&] { return move(0, milliseconds(200)).has_value(); });
            const int warmUp = 3, count = 4 * rounds;
            std::vector<double> samples;
            for (int i = 1; i <= warmUp + count; ++i) {
                const auto latency = move(i, xtest::waitLimit());
                if (!latency) throw xtest::HarnessError("the focus did not move");
                if (i > warmUp) samples.push_back(*latency);
            }
            user.release(keys::alt);
            user.release(keys::control);
            const std::string note = std::to_string(samples.size()) + " presses; bspwm through sxhkd";
            return std::vector<Value>{{"key→focus median", "ms", median(samples), ""},
                                      {"key→focus p99", "ms", percentile(samples, 99), note}};
        },
}};

// A window taken with Super and the left button and carried across three
// columns' width in 240 motion events at a mouse's 125 Hz.
const Registration dragCost{{
    .order = 60,
    .name = "drag CPU",
    .run =
        [](Session& s) {
            s.open(3);
            const xtest::Rect from = s.windows().back().geometry().value_or(xtest::Rect{});
            const int x0 = from.x + from.w / 2, y0 = from.y + from.h / 2;
            const int distance = std::max(x0 - 40, 300);
            xtest::UserInput user;
            user.press(keys::super);
            user.moveTo(x0, y0);
            user.buttonDown(1);
            s.settle();

            const int events = 240;
            const auto before = s.cpu();
            const auto start = Clock::now();
            for (int i = 1; i <= events; ++i) {
                user.moveTo(x0 - distance * i / events, y0 + (i % 2));
                std::this_thread::sleep_until(start + microseconds(8000) * i);
            }
            // What the last motions started is part of their cost.
            xtest::waitUntil([] { return false; }, quietSpell);
            const double cpuUs = duration<double, std::micro>(s.cpu() - before).count();
            user.buttonUp(1);
            user.release(keys::super);
            s.settle();
            return std::vector<Value>{{"CPU per drag motion", "µs", cpuUs / events,
                                       "Super + left drag of a tiled window, 240 motions at 125 Hz"}};
        },
}};

}  // namespace

}  // namespace tessaline::bench
