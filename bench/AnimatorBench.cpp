// One animation tick with 100 windows in motion. A tick runs on every display
// refresh while the strip slides, so it has to fit in a small part of a
// 16 ms frame alongside the frame writer and the overlays.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "engine/wm/Animator.h"
#include "platform/sim/SimScheduler.h"

namespace tessaline {
namespace {

constexpr int kWindows = 100;
constexpr double kWidth = 800;

// The strip laid out with its scroll at `offset`: windows side by side.
FrameMap stripAt(double offset) {
    FrameMap frames;
    for (int i = 0; i < kWindows; ++i)
        frames[static_cast<WindowID>(i + 1)] = Rect{i * kWidth - offset, 25, kWidth, 875};
    return frames;
}

struct Rig {
    SimScheduler scheduler;
    Animator animator{scheduler};
    std::int64_t frame = 0;
    std::int64_t writes = 0;
    bool scrolled = false;

    Rig() {
        animator.send = [this](WindowID, Rect, bool) { ++writes; };
        animator.onFrame = [] {};
        animator.move(stripAt(0), false, 0);
    }

    // The strip scrolls by a screen width one way, then back.
    void slide(bool animated) {
        scrolled = !scrolled;
        const FrameMap frames = stripAt(scrolled ? 1440 : 0);
        if (animated) animator.move(frames, true, 0.3);
        else animator.follow(frames);
    }

    // Exactly one display refresh; a sum of 1/60 steps would drift off the beat.
    void nextFrame() { scheduler.advanceTo(static_cast<double>(++frame) / SimScheduler::kFramesPerSecond); }
};

void run(benchmark::State& state, bool animated) {
    Rig rig;
    rig.slide(animated);
    rig.writes = 0;
    std::int64_t setupWrites = 0;
    for (auto _ : state) {
        if (!rig.animator.hasMotion()) {
            // Every 0.3 s glide (or settled chase) is followed by the next one,
            // set up outside the measurement.
            state.PauseTiming();
            const std::int64_t before = rig.writes;
            rig.slide(animated);
            setupWrites += rig.writes - before;
            state.ResumeTiming();
        }
        rig.nextFrame();
    }
    state.counters["writes/tick"] = benchmark::Counter(static_cast<double>(rig.writes - setupWrites),
                                                       benchmark::Counter::kAvgIterations);
}

void BM_AnimatorTick100Flights(benchmark::State& state) { run(state, true); }
void BM_AnimatorTick100Followers(benchmark::State& state) { run(state, false); }

BENCHMARK(BM_AnimatorTick100Flights);
BENCHMARK(BM_AnimatorTick100Followers);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
