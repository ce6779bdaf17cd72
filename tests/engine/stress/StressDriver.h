#pragma once
// Runs recorded operation sequences against a fresh world, checks the
// invariants after every step, and shrinks a failing sequence to a short one
// by delta debugging over the operation list, replaying from scratch each
// time.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "StressInvariants.h"
#include "StressWorld.h"

namespace tessaline::stress {

struct Outcome {
    std::optional<Violation> violation;
    std::size_t step = 0;        // index of the op after which it showed (ops.size(): the final settle)
    std::uint64_t stepsRun = 0;  // ops run, counting the quiet periods of settling
    explicit operator bool() const { return violation.has_value(); }
};

// The ops a seed generates; the first `count` of a longer run are the same.
std::vector<Op> generateOps(std::uint64_t seed, std::size_t count);

// How a world is built before the ops run.
enum class Start { random, rich };

// Runs `ops` on a fresh world of `seed`, checking after every op and once
// more after a final settle. With `trace`, every op is explained as it runs.
Outcome replay(std::uint64_t seed, const std::vector<Op>& ops, Start start = Start::random,
               std::ostream* trace = nullptr);

// Indices into `ops` of a shorter sequence that fails with the same
// invariant, found within about `seconds` of replaying.
std::vector<std::size_t> shrink(std::uint64_t seed, const std::vector<Op>& ops, const Outcome& failure,
                                Start start, double seconds);

// Runs a seed; on a violation shrinks it and returns the whole report:
// seed, step, the invariant, the minimal sequence explained, and how to
// re-run it alone.
std::optional<std::string> runSeed(std::uint64_t seed, std::size_t steps, double shrinkSeconds,
                                   std::uint64_t* stepsRun = nullptr);

// A report for `failure` of `ops`, shrunk to `kept`.
std::string report(std::uint64_t seed, std::size_t steps, const std::vector<Op>& ops,
                   const Outcome& failure, const std::vector<std::size_t>& kept, Start start);

// The rich starting state of the exhaustive sweep: two displays, a strip with
// stacked, tabbed and full-width columns, a floating window, a drag under way.
std::unique_ptr<World> richWorld();
// The fixed list of representative operations the sweep combines.
const std::vector<Op>& sweepOps();

}  // namespace tessaline::stress
