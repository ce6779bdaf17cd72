#include "StressDriver.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string_view>
#include <ostream>
#include <sstream>

#include "engine/actions/Action.h"
#include "engine/log/Log.h"
#include "platform/sim/SimInput.h"

namespace tessaline::stress {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<Op> pick(const std::vector<Op>& ops, const std::vector<std::size_t>& indices) {
    std::vector<Op> chosen;
    for (std::size_t i : indices) chosen.push_back(ops[i]);
    return chosen;
}

// The indices 0 ... length - 1.
std::vector<std::size_t> prefix(std::size_t length) {
    std::vector<std::size_t> indices(length);
    for (std::size_t i = 0; i < length; ++i) indices[i] = i;
    return indices;
}

std::unique_ptr<World> makeWorld(std::uint64_t seed, Start start) {
    return start == Start::rich ? richWorld() : std::make_unique<World>(seed);
}

}  // namespace

std::vector<Op> generateOps(std::uint64_t seed, std::size_t count) {
    Rng rng(seed);
    std::vector<Op> ops;
    ops.reserve(count);
    for (std::size_t i = 0; i < count; ++i) ops.push_back(randomOp(rng));
    return ops;
}

Outcome replay(std::uint64_t seed, const std::vector<Op>& ops, Start start, std::ostream* trace) {
    auto world = makeWorld(seed, start);
    Outcome outcome;
    if (auto v = checkEveryStep(*world)) {
        outcome.violation = v;
        return outcome;
    }
    // TESSALINE_TRACE=log also shows what the engine logged during each op.
    const char* traceMode = std::getenv("TESSALINE_TRACE");
    const bool withLog = trace && traceMode && std::string_view(traceMode) == "log";
    const auto traceLog = [&] {
        for (const LogRecord& record : LogStore::shared().records())
            *trace << "        " << record.category << ": " << record.message << "\n";
        LogStore::shared().clear();
    };
    if (withLog) {
        LogStore::shared().setCollectsDebug(true);
        LogStore::shared().clear();
    }
    for (std::size_t i = 0; i < ops.size(); ++i) {
        const Op& op = ops[i];
        const std::string said = world->run(op, trace != nullptr);
        if (trace) *trace << "  [" << i << "] t=" << world->desk.now() << "  " << said << "  (" << describe(op) << ")\n";
        world->advance(op.dt);
        if (withLog) {
            const WindowManager& wm = *world->wm;
            *trace << "        (focusedID " << (wm.focusedID ? std::to_string(*wm.focusedID) : "none") << ", "
                   << wm.windows.size() << " tracked)\n";
            traceLog();
        }
        ++outcome.stepsRun;
        std::optional<Violation> v = checkEveryStep(*world);
        if (!v && op.kind == OpKind::settle) v = settleAndCheck(*world);
        if (v) {
            outcome.violation = v;
            outcome.step = i;
            return outcome;
        }
    }
    // Every sequence ends by letting go of everything and letting time pass.
    world->run(Op{OpKind::settle});
    auto v = settleAndCheck(*world);
    if (withLog) {
        *trace << "  the final settle\n";
        traceLog();
    }
    if (v) {
        outcome.violation = v;
        outcome.step = ops.size();
    }
    return outcome;
}

std::vector<std::size_t> shrink(std::uint64_t seed, const std::vector<Op>& ops, const Outcome& failure,
                                Start start, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    const std::string invariant = failure.violation->invariant;
    const auto fails = [&](const std::vector<std::size_t>& indices) {
        const Outcome again = replay(seed, pick(ops, indices), start);
        return again && again.violation->invariant == invariant;
    };

    // Nothing after the failing op matters.
    const std::vector<std::size_t> upToFailure = prefix(std::min(ops.size(), failure.step + 1));
    std::vector<std::size_t> current = upToFailure;

    // The cause usually lies well before the op where the failure shows, most
    // of all when it shows only at the final settle: look for the shortest
    // failing prefix first, at a cost of a few replays.
    std::size_t low = 1, high = current.size();
    while (low < high && Clock::now() < deadline) {
        const std::size_t middle = low + (high - low) / 2;
        if (fails(prefix(middle))) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    if (high < current.size()) current = prefix(high);

    // Delta debugging: drop ever smaller chunks while the failure persists.
    std::size_t chunks = 2;
    while (current.size() >= 2 && Clock::now() < deadline) {
        const std::size_t size = (current.size() + chunks - 1) / chunks;
        bool reduced = false;
        for (std::size_t start = 0; start < current.size() && Clock::now() < deadline; start += size) {
            std::vector<std::size_t> complement;
            for (std::size_t i = 0; i < current.size(); ++i) {
                if (i < start || i >= start + size) complement.push_back(current[i]);
            }
            if (!complement.empty() && fails(complement)) {
                current = std::move(complement);
                chunks = std::max<std::size_t>(chunks - 1, 2);
                reduced = true;
                break;
            }
        }
        if (!reduced) {
            if (size == 1) break;
            chunks = std::min(current.size(), chunks * 2);
        }
    }
    // Then try cutting each remaining op once more, and shorten the waits.
    for (std::size_t i = current.size(); i-- > 0 && Clock::now() < deadline;) {
        std::vector<std::size_t> without = current;
        without.erase(without.begin() + static_cast<std::ptrdiff_t>(i));
        if (!without.empty() && fails(without)) current = std::move(without);
    }
    return current.empty() || !fails(current) ? upToFailure : current;
}

std::string report(std::uint64_t seed, std::size_t steps, const std::vector<Op>& ops, const Outcome& failure,
                   const std::vector<std::size_t>& kept, Start start) {
    std::ostringstream out;
    out << "Invariant \"" << failure.violation->invariant << "\" broken";
    if (start == Start::rich) {
        out << " in the three-operation sweep";
    } else {
        out << " with seed " << seed;
    }
    out << " after step " << failure.step << (failure.step == ops.size() ? " (the final settle)" : "") << ":\n  "
        << failure.violation->detail << "\n";
    const std::vector<Op> minimal = pick(ops, kept);
    std::ostringstream trace;
    const Outcome again = replay(seed, minimal, start, &trace);
    out << "Shrunk to " << kept.size() << " of " << std::min(ops.size(), failure.step + 1) << " ops:\n"
        << trace.str();
    if (again) {
        out << "which fails after step " << again.step << " with:\n  " << again.violation->detail << "\n";
    } else {
        out << "(the shrunk sequence no longer fails on its own; re-run the whole seed)\n";
    }
    if (start == Start::random) {
        out << "Re-run alone: TESSALINE_SEED=" << seed << " TESSALINE_STEPS=" << steps << " TESSALINE_KEEP=";
        for (std::size_t i = 0; i < kept.size(); ++i) out << (i ? "," : "") << kept[i];
        out << " ctest -R StressReplay --output-on-failure\n"
            << "(without TESSALINE_KEEP the whole seed runs; TESSALINE_TRACE=1 explains every op)\n";
    }
    return out.str();
}

std::optional<std::string> runSeed(std::uint64_t seed, std::size_t steps, double shrinkSeconds,
                                   std::uint64_t* stepsRun) {
    const std::vector<Op> ops = generateOps(seed, steps);
    const Outcome outcome = replay(seed, ops);
    if (stepsRun) *stepsRun += outcome.stepsRun;
    if (!outcome) return std::nullopt;
    const auto kept = shrink(seed, ops, outcome, Start::random, shrinkSeconds);
    return report(seed, steps, ops, outcome, kept, Start::random);
}

// ---------------------------------------------------------------------------
// The rich starting state of the sweep

std::unique_ptr<World> richWorld() {
    auto world = std::make_unique<World>(0, true);
    World& w = *world;
    WindowManager& wm = *w.wm;
    const auto act = [&](Action action) {
        wm.perform(action);
        w.advance(0.5);
    };
    // On the primary strip: a floating window, a stack, a tabbed column and a
    // full-width column, in that order.
    act(Action::focusFirst);
    act(Action::stackRight);
    act(Action::focusLast);
    act(Action::toggleFloat);
    w.advance(1.0);
    act(Action::focusFirst);
    act(Action::focusRight);
    act(Action::focusRight);
    act(Action::stackRight);
    act(Action::toggleTabbed);
    act(Action::focusLeft);
    act(Action::fullWidth);
    // A drag of the first column's window under way.
    act(Action::focusFirst);
    w.run(Op{OpKind::pressOnWindow, 0, 1, 0.5, 0.5, 0});
    w.advance(0.05);
    w.run(Op{OpKind::dragMove, 0, 1, 0.8, 0.5, 0});
    w.advance(0.1);
    w.run(Op{OpKind::dragMove, 0, 1, 0.7, 0.5, 0});
    w.advance(0.1);
    return world;
}

const std::vector<Op>& sweepOps() {
    static const std::vector<Op> ops = [] {
        std::vector<Op> list;
        const auto add = [&](OpKind kind, std::uint32_t a = 0, std::uint32_t b = 0, double x = 0.5,
                             double y = 0.5, double dt = 0.1) { list.push_back(Op{kind, a, b, x, y, dt}); };
        for (Action action : {Action::focusLeft, Action::focusRight, Action::focusUp, Action::focusDown,
                              Action::focus9, Action::moveLeft, Action::moveRight, Action::moveDown,
                              Action::moveTo1, Action::cycleWidth, Action::fullWidth, Action::centre,
                              Action::narrower, Action::taller, Action::equalizeHeights, Action::stackLeft,
                              Action::stackRight, Action::popOutRight, Action::toggleTabbed,
                              Action::toggleFloat, Action::sendToNextDisplay, Action::toggleTiling,
                              Action::toggleTimeline, Action::overview}) {
            add(OpKind::perform, static_cast<std::uint32_t>(action));
        }
        add(OpKind::release);
        add(OpKind::dragMove, 0, 0, 0.1, 0.5);
        add(OpKind::dragMove, 0, 0, 0.9, 0.4, 0.6);
        add(OpKind::dragToDisplay, 1, 0, 0.3, 0.4);
        add(OpKind::pressOnWindow, 2, 1, 0.5, 0.5);
        add(OpKind::closeWindow, 1);
        add(OpKind::closeWindow, 4, 1);
        add(OpKind::minimizeWindow, 2, 1);
        add(OpKind::restoreWindow);
        add(OpKind::enterFullScreen, 3, 1);
        add(OpKind::leaveFullScreen, 0, 0, 0.5, 0.5, 1.0);
        add(OpKind::resizeItself, 1, 1, 0.9, 0.5, 0.5);
        add(OpKind::openStandard, 0);
        add(OpKind::openDialog, 1);
        add(OpKind::openRefusing, 2, 0, 0.9, 0.1);
        add(OpKind::hideApp, 0);
        add(OpKind::showApp, 0);
        add(OpKind::quitApp, 1);
        add(OpKind::hangApp, 0);
        add(OpKind::recoverApp, 0);
        add(OpKind::appFocusesWindow, 5);
        add(OpKind::addDisplay, 1);
        add(OpKind::removeDisplay, 1);
        add(OpKind::rearrangeDisplays, 0, 1);
        add(OpKind::addSpace, 0);
        add(OpKind::switchSpace, 0, 1);
        add(OpKind::moveToSpace, 3, 1);
        add(OpKind::swipeBegin);
        add(OpKind::swipeMove, 0, 0, 0.9);
        add(OpKind::swipeEnd, 0, 0, 0.2);
        add(OpKind::wheel, 1);
        add(OpKind::chordDown, 1, 1);
        add(OpKind::chordUp, 1);
        add(OpKind::click, 0, 0, 0.3, 0.4);
        add(OpKind::setGap, 4);
        add(OpKind::setCentreMode, 2);
        add(OpKind::disableDisplay, 0, 1);
        add(OpKind::setRules, 1, 2);
        add(OpKind::stop);
        add(OpKind::start, 0, 0, 0.5, 0.5, 1.0);
        add(OpKind::wait, 0, 0, 0.5, 0.5, 2.0);
        return list;
    }();
    return ops;
}

}  // namespace tessaline::stress
