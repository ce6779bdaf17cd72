#pragma once
// Tessaline beside i3 and bspwm on one Xvfb. Every probe runs once per manager
// against a freshly started manager with no windows, and reports one or more
// rows; main() prints them as one table with Tessaline's ratio to each peer.
//
// Adding a row: put a .cpp file in this folder that registers a Probe, e.g.
//   static const Registration keyToFocus{{.order = 50, .name = "key→focus", .run = ...}};

#include "ManagerProcess.h"
#include "TestClient.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::bench {

using xtest::ManagerProcess;
using xtest::TestClient;
using Clock = std::chrono::steady_clock;

// One manager under measurement, with the windows a probe opened.
class Session {
public:
    Session(std::string name, ManagerProcess& manager, bool hasSync)
        : name_(std::move(name)), manager_(manager), hasSync_(hasSync) {}

    const std::string& name() const { return name_; }
    ManagerProcess& manager() { return manager_; }
    std::vector<TestClient>& windows() { return windows_; }

    // Opens a plain window and waits until it is placed (see settle).
    TestClient& open();
    // Opens n windows one by one, each settled before the next.
    void open(int n);
    void closeAll();

    // Until the manager has handled everything sent so far and the window has
    // stopped moving. With a sync protocol (Tessaline, i3) the sync comes
    // first; then, for every manager, a quiet spell with no event for the
    // window, which also outlasts an animation (bspwm has nothing better).
    void settle(TestClient& window);
    // The same for every open window: a new one appears in place while the
    // others may still glide to make room for it.
    void settle();

    // The manager's CPU time so far (scheduler run time), and its resident memory.
    std::chrono::nanoseconds cpu() const;
    double rssMiB() const;
    // The processes the manager started to run beside it (Tessaline's status
    // icon, which names it with "--owner PID"); absent when there are none.
    std::optional<double> companionRssMiB() const;

private:
    std::string name_;
    ManagerProcess& manager_;
    bool hasSync_;
    std::vector<TestClient> windows_;
};

// One value of one row; absent when the probe does not apply to this manager.
struct Value {
    std::string row;
    std::string unit;
    std::optional<double> value;
    std::string note;  // a footnote for this cell, e.g. what was measured instead
};

struct Probe {
    int order = 0;  // rows print in this order
    std::string name;
    std::function<std::vector<Value>(Session&)> run;
    std::string legend;  // printed under the table: what the rows measure
};

struct Registration {
    explicit Registration(Probe probe);
};

// --rounds: how many rounds of 8 windows the latency probe maps.
extern int rounds;

// The quiet spell of settle(): longer than a few frames at 60 Hz.
inline constexpr std::chrono::milliseconds quietSpell{60};

double median(std::vector<double> values);
double percentile(std::vector<double> values, double p);

}  // namespace tessaline::bench
