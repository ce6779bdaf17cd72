// The pure part of a relayout: scroll the focused column into view, turn the
// strip into frames and park every frame against two displays. This runs on
// every focus move and on every step of a gesture, so it must stay far below
// a display frame's time even for very long strips.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "core/Layout.h"
#include "core/Parking.h"

namespace tessaline {
namespace {

const Rect primary{0, 0, 1440, 900};
const Rect viewport{0, 25, 1440, 875};  // below the menu bar
const std::vector<Rect> others{{1440, -180, 1920, 1080}};

// One to three windows per column, mixed widths, every fourth multi-window
// column tabbed, a few windows with minimum widths; the same for every run.
struct Fixture {
    Strip strip;
    MinWidths minWidths;

    explicit Fixture(int columns) {
        std::uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        const std::array<double, 4> widths{1.0 / 3, 0.5, 2.0 / 3, 1.0};
        WindowID id = 1;
        std::vector<Column> list;
        list.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            const int count = 1 + static_cast<int>(next() % 3);
            std::vector<WindowID> ids;
            for (int w = 0; w < count; ++w) {
                if (next() % 20 == 0) minWidths[id] = 400 + next() % 600;
                ids.push_back(id++);
            }
            const bool tabbed = count > 1 && next() % 4 == 0;
            list.emplace_back(std::move(ids), widths[next() % widths.size()], tabbed);
        }
        strip = Strip(std::move(list), 0, 0);
    }

    // Jumps several columns at a time so that most moves really scroll.
    void moveFocus() {
        const int count = strip.count();
        strip.focusColumn((strip.focused + 7) % count);
    }
};

template <bool reuseBuffer>
void relayout(benchmark::State& state, CentreMode mode) {
    Fixture fixture(static_cast<int>(state.range(0)));
    const LayoutConfig config{10, mode, 28};
    std::vector<Placement> frames;
    std::size_t windows = 0;
    for (auto _ : state) {
        fixture.moveFocus();
        Layout::ensureVisible(fixture.strip, viewport.width, config, fixture.minWidths);
        if constexpr (reuseBuffer) {
            Layout::placements(fixture.strip, viewport, config, fixture.minWidths, frames);
        } else {
            frames = Layout::placements(fixture.strip, viewport, config, fixture.minWidths);
        }
        for (const Placement& placement : frames) {
            Rect resolved = Parking::resolve(placement.frame, primary, others);
            benchmark::DoNotOptimize(resolved);
        }
        windows += frames.size();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(windows));
    state.counters["windows"] = static_cast<double>(frames.size());
}

void BM_Relayout(benchmark::State& state) { relayout<false>(state, CentreMode::onOverflow); }
void BM_RelayoutNever(benchmark::State& state) { relayout<false>(state, CentreMode::never); }
void BM_RelayoutAlways(benchmark::State& state) { relayout<false>(state, CentreMode::always); }
void BM_RelayoutReusedBuffer(benchmark::State& state) {
    relayout<true>(state, CentreMode::onOverflow);
}

BENCHMARK(BM_Relayout)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_RelayoutNever)->Arg(100);
BENCHMARK(BM_RelayoutAlways)->Arg(100);
BENCHMARK(BM_RelayoutReusedBuffer)->Arg(10)->Arg(100)->Arg(1000);

// The queries asked on every pointer or scroll event during a drag or a fling.
void BM_DragAndScrollQueries(benchmark::State& state) {
    Fixture fixture(static_cast<int>(state.range(0)));
    const LayoutConfig config{10, CentreMode::onOverflow, 28};
    fixture.strip.focusColumn(fixture.strip.count() / 2);
    Layout::ensureVisible(fixture.strip, viewport.width, config, fixture.minWidths);
    const WindowID dragged = fixture.strip.columns.front().windows.front();
    double x = 0;
    for (auto _ : state) {
        x = x > viewport.width ? 0 : x + 37;
        auto target = Layout::dropTarget({x, 400}, dragged, fixture.strip, viewport, config,
                                         fixture.minWidths, true);
        auto snapped = Layout::snapScroll(fixture.strip.scroll + x, fixture.strip,
                                          viewport.width, config, fixture.minWidths);
        auto settled =
            Layout::settledColumn(fixture.strip, viewport.width, config, fixture.minWidths);
        benchmark::DoNotOptimize(target);
        benchmark::DoNotOptimize(snapped);
        benchmark::DoNotOptimize(settled);
    }
}
BENCHMARK(BM_DragAndScrollQueries)->Arg(100);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
