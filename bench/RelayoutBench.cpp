// One whole relayout of the active strips on the simulated desktop: minimum
// widths, scroll policy, reserved height, placements, parking, the batch to
// the animator, the overlays and the save request. It runs after every
// command and on every step of a swipe, so 100 windows must cost well under
// 50 microseconds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/wm/Animator.h"
#include "engine/settings/Defaults.h"
#include "engine/session/SessionStore.h"
#include "engine/wm/WindowManager.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimFrameWriter.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimOverlays.h"
#include "platform/sim/SimScheduler.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline {
namespace {

// A running manager with `count` tiled windows on the primary display, one
// to three per column (every fifth stack tabbed), a second display beside it
// with nothing on it, and every frame already written once.
struct Desktop {
    SimDesktop desk;
    MemoryDefaults defaults;
    SessionStore session{std::nullopt, *desk.scheduler(), makeInlineWorker()};
    std::shared_ptr<WindowManager> manager;
    StripKey key;

    explicit Desktop(int count) {
        const std::string primary = desk.addDisplay(Rect{0, 0, 1440, 900}, "Built-in");
        desk.addDisplay(Rect{1440, -180, 1920, 1080}, "Studio");
        desk.overlays()->setReservedHeight(20);
        AppSpec desc;
        desc.name = "Bench";
        desc.regular = false;  // never discovered: the strip below is the whole truth
        const ProcessID pid = desk.launchApp(desc);

        manager = WindowManager::create(Config{}, *desk.system(), *desk.writer(), *desk.input(),
                                        *desk.scheduler(), *desk.overlays(), session, defaults);
        manager->start();
        desk.advance(1);
        key = StripKey{primary, desk.currentSpace(primary)};

        Strip& strip = manager->strips[key];
        int column = 0;
        for (int made = 0; made < count; ++column) {
            const int stack = std::min(1 + column % 3, count - made);
            std::vector<WindowID> ids;
            for (int row = 0; row < stack; ++row, ++made) {
                const WindowID id = desk.openWindow(pid, "Window " + std::to_string(made));
                auto window = std::make_shared<ManagedWindow>(id, pid, desk.handleOf(id),
                                                              "com.example.bench", "Bench", "");
                window->state = ManagedWindow::State::tiled;
                window->key = key;
                manager->windows[id] = window;
                manager->handles[window->handle] = id;
                ids.push_back(id);
            }
            strip.insertColumn(Column(ids, column % 2 ? 0.5 : 1.0 / 3, stack > 1 && column % 5 == 0),
                               strip.count(), false);
        }
        strip.focusColumn(strip.count() / 2);
        relayout();
        desk.advance(2);
        desk.writer()->clearHistory();
    }

    void relayout() {
        manager->relayout(manager->activeKeys(), false, WindowManager::ScrollPolicy::reveal, true,
                          false);
    }
};

// The common case: nothing moved, so the animator sends nothing.
void BM_RelayoutSteady(benchmark::State& state) {
    Desktop desktop(static_cast<int>(state.range(0)));
    std::int64_t runs = 0;
    for (auto _ : state) {
        desktop.relayout();
        // The recording overlays keep every call's name; keep that list short.
        if (++runs % 4096 == 0) desktop.desk.overlays()->clearCalls();
    }
    state.SetItemsProcessed(runs * state.range(0));
}
BENCHMARK(BM_RelayoutSteady)->Arg(20)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);

// Every frame changes (the strip shifts by a point each time), so every
// window on screen is handed to the frame writer.
void BM_RelayoutEveryFrameMoves(benchmark::State& state) {
    Desktop desktop(static_cast<int>(state.range(0)));
    Strip& strip = desktop.manager->strips[desktop.key];
    std::int64_t runs = 0;
    for (auto _ : state) {
        strip.scroll += (runs % 2 ? -1 : 1);
        desktop.manager->relayout({desktop.key}, false, WindowManager::ScrollPolicy::none, true,
                                  false);
        if (++runs % 4096 == 0) {
            state.PauseTiming();
            desktop.desk.overlays()->clearCalls();
            desktop.desk.writer()->clearHistory();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(runs * state.range(0));
}
BENCHMARK(BM_RelayoutEveryFrameMoves)->Arg(20)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
