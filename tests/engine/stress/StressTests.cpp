// The engine under stress: long random sequences of everything a desktop and
// its user can do, with the engine's invariants checked after every step.
//
// In CI: 200 seeds of 2,000 steps, in 20 batches that ctest runs side by side.
// From the command line (environment variables):
//   TESSALINE_SEED=n [TESSALINE_STEPS=k] [TESSALINE_KEEP=i,j,...] [TESSALINE_TRACE=1]
//       ctest -R StressReplay      re-runs one seed, or only the kept ops of it
//   TESSALINE_SOAK_SEQUENCES=n [TESSALINE_SOAK_BASE=s] [TESSALINE_SOAK_SHARD=i TESSALINE_SOAK_SHARDS=k]
//       ctest -R StressSoak.Random  runs n random sequences of up to 300 steps
//   TESSALINE_SWEEP=1 [TESSALINE_SOAK_SHARD=i TESSALINE_SOAK_SHARDS=k]
//       ctest -R StressSoak.Sweep   every sequence of three ops from the rich state

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>

#include "StressDriver.h"
#include "engine/wm/DragController.h"
#include "engine/log/Log.h"

using namespace tessaline;
using namespace tessaline::stress;

namespace {

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
    const auto value = env(name);
    return value ? std::strtoull(value->c_str(), nullptr, 10) : fallback;
}

constexpr int kBatches = 20;
constexpr int kSeedsPerBatch = 10;
constexpr std::size_t kSteps = 2000;

class StressSeeds : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { LogStore::shared().setCollectsDebug(false); }
};

}  // namespace

TEST_P(StressSeeds, KeepEveryInvariant) {
    std::uint64_t steps = 0;
    for (int i = 0; i < kSeedsPerBatch; ++i) {
        const std::uint64_t seed = static_cast<std::uint64_t>(GetParam() * kSeedsPerBatch + i + 1);
        if (auto failure = runSeed(seed, kSteps, 60.0, &steps)) ADD_FAILURE() << *failure;
    }
    std::cout << "batch " << GetParam() << ": " << steps << " steps\n";
}

INSTANTIATE_TEST_SUITE_P(Batch, StressSeeds, ::testing::Range(0, kBatches));

TEST(StressReplay, Seed) {
    const auto seedText = env("TESSALINE_SEED");
    if (!seedText) GTEST_SKIP() << "set TESSALINE_SEED to re-run one seed";
    const std::uint64_t seed = std::strtoull(seedText->c_str(), nullptr, 10);
    const std::size_t steps = envNumber("TESSALINE_STEPS", kSteps);
    const std::vector<Op> ops = generateOps(seed, steps);

    std::vector<std::size_t> kept;
    if (const auto keep = env("TESSALINE_KEEP")) {
        std::stringstream list(*keep);
        for (std::string item; std::getline(list, item, ',');) {
            const std::size_t index = std::strtoull(item.c_str(), nullptr, 10);
            if (index < ops.size()) kept.push_back(index);
        }
    } else {
        for (std::size_t i = 0; i < ops.size(); ++i) kept.push_back(i);
    }
    std::vector<Op> chosen;
    for (std::size_t i : kept) chosen.push_back(ops[i]);

    const bool tracing = env("TESSALINE_TRACE").has_value();
    std::ostringstream trace;
    const Outcome outcome = replay(seed, chosen, Start::random, tracing ? &trace : nullptr);
    if (tracing) std::cout << trace.str();
    if (!outcome) return;
    // Shrink what was run, then map the survivors back to the seed's indices.
    const auto shrunk = shrink(seed, chosen, outcome, Start::random, 300.0);
    std::vector<std::size_t> original;
    for (std::size_t i : shrunk) original.push_back(kept[i]);
    Outcome mapped = outcome;
    mapped.step = outcome.step < kept.size() ? kept[outcome.step] : ops.size();
    ADD_FAILURE() << report(seed, steps, ops, mapped, original, Start::random);
}

TEST(StressSoak, RandomSequences) {
    const auto count = env("TESSALINE_SOAK_SEQUENCES");
    if (!count) GTEST_SKIP() << "set TESSALINE_SOAK_SEQUENCES to soak";
    LogStore::shared().setCollectsDebug(false);
    const std::uint64_t sequences = std::strtoull(count->c_str(), nullptr, 10);
    const std::uint64_t base = envNumber("TESSALINE_SOAK_BASE", 1'000'000);
    const std::uint64_t shard = envNumber("TESSALINE_SOAK_SHARD", 0);
    const std::uint64_t shards = std::max<std::uint64_t>(1, envNumber("TESSALINE_SOAK_SHARDS", 1));
    std::set<std::string> seen;  // one report per broken invariant is enough
    std::uint64_t steps = 0, run = 0, failures = 0;
    const auto began = std::chrono::steady_clock::now();
    for (std::uint64_t i = shard; i < sequences; i += shards) {
        const std::uint64_t seed = base + i;
        const std::size_t length = 1 + static_cast<std::size_t>((seed * 2654435761u) % 300);
        const std::vector<Op> ops = generateOps(seed, length);
        const Outcome outcome = replay(seed, ops);
        steps += outcome.stepsRun;
        ++run;
        if (outcome) {
            ++failures;
            if (seen.insert(outcome.violation->invariant).second) {
                const auto kept = shrink(seed, ops, outcome, Start::random, 120.0);
                ADD_FAILURE() << report(seed, length, ops, outcome, kept, Start::random);
            } else {
                std::cout << "seed " << seed << " breaks \"" << outcome.violation->invariant << "\" again\n";
            }
        }
        if (run % 5000 == 0) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            std::cout << "soak: " << run << " sequences, " << steps << " steps, " << failures << " failing, "
                      << seconds << " s\n" << std::flush;
        }
    }
    std::cout << "soak shard " << shard << "/" << shards << ": " << run << " sequences, " << steps
              << " steps, " << failures << " failing\n";
}

TEST(StressSoak, Sweep) {
    if (!env("TESSALINE_SWEEP")) GTEST_SKIP() << "set TESSALINE_SWEEP=1 for the three-operation sweep";
    LogStore::shared().setCollectsDebug(false);
    const std::uint64_t shard = envNumber("TESSALINE_SOAK_SHARD", 0);
    const std::uint64_t shards = std::max<std::uint64_t>(1, envNumber("TESSALINE_SOAK_SHARDS", 1));
    const auto& list = sweepOps();
    const std::size_t n = list.size();
    std::set<std::string> seen;
    std::uint64_t run = 0, failures = 0;
    for (std::size_t index = shard; index < n * n * n; index += shards) {
        const std::vector<Op> ops = {list[index / (n * n)], list[(index / n) % n], list[index % n]};
        const Outcome outcome = replay(0, ops, Start::rich);
        ++run;
        if (!outcome) continue;
        ++failures;
        if (seen.insert(outcome.violation->invariant).second) {
            const auto kept = shrink(0, ops, outcome, Start::rich, 60.0);
            ADD_FAILURE() << report(0, 3, ops, outcome, kept, Start::rich) << "(sweep index " << index << ")\n";
        } else {
            std::cout << "sweep index " << index << " breaks \"" << outcome.violation->invariant << "\" again\n";
        }
    }
    std::cout << "sweep shard " << shard << "/" << shards << ": " << run << " of " << n * n * n
              << " sequences, " << failures << " failing\n";
}

// The sweep starts from a state that has every kind of column, a floating
// window and a drag in progress; if that ever stops being true, the sweep
// quietly tests less, so it is checked here, in CI.
TEST(StressRich, StartingStateHasEveryKindOfColumnAndADrag) {
    auto world = richWorld();
    WindowManager& wm = *world->wm;
    ASSERT_TRUE(wm.running);
    EXPECT_EQ(wm.displays.size(), 2u);
    bool stacked = false, tabbed = false, fullWidth = false;
    for (const auto& [key, strip] : wm.strips) {
        for (const Column& column : strip.columns) {
            stacked = stacked || (column.windows.size() >= 2 && !column.tabbed);
            tabbed = tabbed || (column.windows.size() >= 2 && column.tabbed);
            fullWidth = fullWidth || (column.width == 1.0 && column.savedWidth);
        }
    }
    EXPECT_TRUE(stacked);
    EXPECT_TRUE(tabbed);
    EXPECT_TRUE(fullWidth);
    bool floating = false;
    for (const auto& [id, window] : wm.windows) floating = floating || window->state == ManagedWindow::State::floating;
    EXPECT_TRUE(floating);
    EXPECT_TRUE(wm.dragging().has_value());
    EXPECT_FALSE(checkEveryStep(*world).has_value());
    EXPECT_GE(sweepOps().size(), 50u);
}
