// The standard rows: map→placed latency, memory, idle CPU, CPU per frame.

#include "SideBySide.h"

namespace tessaline::bench {

namespace {

using namespace std::chrono;
using xtest::Rect;

double ms(Clock::duration d) { return duration<double, std::milli>(d).count(); }

// Two moments after a window is mapped, both read from its own events:
// - laid out: the first moment it is mapped and has the size the manager leaves
//   it at once everything has settled (sync, then a quiet spell). The manager has
//   placed it; a manager that glides windows starts the glide here.
// - at rest: the first moment it is mapped and at that final frame, size and
//   position. Equal to "laid out" for a manager that does not animate.
// The final frame is read from the server afterwards. A ConfigureNotify gives
// the position only where its coordinates are on the root (the window is not
// reparented, or the event is the synthetic one ICCCM managers send): i3 moves
// its own frame around a reparented window, which the window hears of only that
// way. A window created at its final frame has nothing to wait for but the map.
struct Placement {
    double laidOutMs, atRestMs;
};

Placement placement(Session& session, int index) {
    TestClient window =
        xtest::ClientBuilder().title("bench " + std::to_string(index)).geometry({0, 0, 300, 200}).create();
    window.connection().roundTrip();
    window.connection().pump();
    window.connection().dropEvents();

    const auto start = Clock::now();
    window.mapNoWait();
    window.waitForMapped();
    session.settle(window);
    const Rect final = window.geometry().value_or(Rect{});

    std::optional<Clock::time_point> mappedAt, sizedAt, restingAt;
    bool reparented = false;
    Clock::time_point at;
    while (xtest::Event e = window.connection().take([](const xcb_generic_event_t&) { return true; }, at)) {
        switch (xtest::eventType(*e)) {
        case XCB_MAP_NOTIFY:
            if (!mappedAt) mappedAt = at;
            break;
        case XCB_REPARENT_NOTIFY:
            reparented = reinterpret_cast<xcb_reparent_notify_event_t*>(e.get())->parent != window.connection().root();
            break;
        case XCB_CONFIGURE_NOTIFY: {
            auto* c = reinterpret_cast<xcb_configure_notify_event_t*>(e.get());
            const bool onRoot = !reparented || (e->response_type & 0x80);
            // ConfigureNotify places the border's outer corner; the final frame
            // was read inside the border.
            const bool positioned = c->x + c->border_width == final.x && c->y + c->border_width == final.y;
            if (c->width != final.w || c->height != final.h) break;
            if (!sizedAt) sizedAt = at;
            if (!restingAt && (!onRoot || positioned)) restingAt = at;
            break;
        }
        }
    }
    session.windows().push_back(std::move(window));
    if (!mappedAt) throw xtest::HarnessError("no MapNotify recorded");
    return {ms(std::max(*mappedAt, sizedAt.value_or(*mappedAt)) - start),
            ms(std::max(*mappedAt, restingAt.value_or(*mappedAt)) - start)};
}

const Registration mapToPlaced{{
    .order = 10,
    .name = "map→placed",
    .run =
        [](Session& s) {
            std::vector<double> laidOut, atRest;
            for (int round = 0; round < rounds; ++round) {
                for (int i = 0; i < 8; ++i) {
                    const Placement p = placement(s, i);
                    laidOut.push_back(p.laidOutMs);
                    atRest.push_back(p.atRestMs);
                }
                s.closeAll();
            }
            const std::string note = std::to_string(laidOut.size()) + " windows, mapped 8 at a time";
            return std::vector<Value>{{"map→laid out median", "ms", median(laidOut), ""},
                                      {"map→laid out p99", "ms", percentile(laidOut, 99), note},
                                      {"map→at rest median", "ms", median(atRest), ""},
                                      {"map→at rest p99", "ms", percentile(atRest, 99), note}};
        },
    .legend = "laid out: mapped at the size the manager gives it; at rest: mapped at its final frame, after any glide",
}};

const Registration memory{{
    .order = 20,
    .name = "RSS",
    .run =
        [](Session& s) {
            s.open(8);
            const double eight = s.rssMiB();
            s.open(92);
            return std::vector<Value>{{"RSS, 8 windows", "MiB", eight, ""},
                                      {"RSS, 100 windows", "MiB", s.rssMiB(), ""},
                                      {"RSS of its status icon's process", "MiB", s.companionRssMiB(), ""}};
        },
    .legend = "RSS: VmRSS of the manager's process; Tessaline's status icon runs in a process of its own "
              "(as i3's tray does in i3bar, which is not started here)",
}};

const Registration idle{{
    .order = 30,
    .name = "idle CPU",
    .run =
        [](Session& s) {
            s.open(8);
            s.settle();
            const auto before = s.cpu();
            const auto spell = seconds(3);
            // Events are still read (and pings answered) meanwhile.
            xtest::waitUntil([] { return false; }, duration_cast<milliseconds>(spell));
            const double share = duration<double>(s.cpu() - before) / duration<double>(spell) * 100;
            return std::vector<Value>{{"CPU while idle, 8 windows", "% of a core", share, ""}};
        },
    .legend = "idle: the manager's CPU time over 3 s in which nothing happens",
}};

// Focus changes between the two ends of 20 windows. For Tessaline each one
// glides the strip; its frames are counted as the most ConfigureNotify events
// any one window received. The peers do not animate: their CPU is per focus
// change, one relayout each.
const Registration frames{{
    .order = 40,
    .name = "CPU per frame",
    .run =
        [](Session& s) {
            s.open(20);
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
                    while (w.connection().take([](const xcb_generic_event_t& e) {
                        return xtest::eventType(e) == XCB_CONFIGURE_NOTIFY;
                    }))
                        ++count;
                    most = std::max(most, count);
                }
                frameCount += most;
            }
            const double cpuUs = duration<double, std::micro>(s.cpu() - before).count();
            if (s.name() == "Tessaline" && frameCount > changes)
                return std::vector<Value>{{"CPU per frame, 20 windows", "µs", cpuUs / double(frameCount),
                                           "per animation frame, " + std::to_string(frameCount) + " frames"}};
            return std::vector<Value>{{"CPU per frame, 20 windows", "µs", cpuUs / changes,
                                       "per focus change (one relayout, no animation)"}};
        },
    .legend = "CPU per frame: focus moves between the two ends of 20 windows, asked for as a pager does",
}};

}  // namespace

}  // namespace tessaline::bench
