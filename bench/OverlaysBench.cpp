// What the overlays add to the window manager's work: an animation frame
// (the border, the shade's hole and the tab bars follow the windows, with
// nothing painted) and a steady refresh (after every relayout, with nothing
// changed), for 20 tiled windows with the border and dimming on. The panels
// only record; a real backend adds one configure request per moved panel.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "engine/settings/Defaults.h"
#include "engine/session/SessionStore.h"
#include "engine/wm/WindowManager.h"
#include "overlays/Overlays.h"
#include "overlays/RecordingPanels.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimFrameWriter.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimScheduler.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline {
namespace {

struct Desktop {
    SimDesktop desk;
    MemoryDefaults defaults;
    SessionStore session{std::nullopt, *desk.scheduler(), makeInlineWorker()};
    RecordingPanels panels;
    Overlays overlays{panels, *desk.scheduler()};
    std::shared_ptr<WindowManager> manager;

    Desktop() {
        desk.addDisplay(Rect{0, 0, 1440, 900}, "Built-in");
        for (int i = 0; i < 20; ++i) {
            desk.openWindow(desk.launchApp("App" + std::to_string(i), "com.example.app" + std::to_string(i)),
                            "Window " + std::to_string(i), {100, 100, 800, 600});
        }
        Config config;
        config.focusBorder = true;
        config.dimInactive = true;
        manager = WindowManager::create(config, *desk.system(), *desk.writer(), *desk.input(),
                                        *desk.scheduler(), overlays, session, defaults);
        overlays.attach(manager);
        manager->start();
        desk.advance(2);
        manager->perform(Action::stackLeft);
        manager->perform(Action::toggleTabbed);
        desk.advance(2);
    }
};

void BM_AnimationFrame(benchmark::State& state) {
    Desktop desktop;
    const WindowID focused = *desktop.manager->focusedTiledWindow();
    Rect frame = *desktop.manager->shownFrame(focused);
    std::int64_t runs = 0;
    for (auto _ : state) {
        // The focused window glides a point per frame, as in an animation.
        frame.x += (++runs % 2) ? 1 : -1;
        desktop.desk.writer()->noteApplied(focused, frame);
        desktop.overlays.followFrames();
    }
    state.counters["paints"] = desktop.panels.panel(PanelKind::border)->counts().paints;
}
BENCHMARK(BM_AnimationFrame)->Unit(benchmark::kMicrosecond);

void BM_RefreshSteady(benchmark::State& state) {
    Desktop desktop;
    desktop.overlays.showStrip(*desktop.manager->currentKey(), false);
    for (auto _ : state) desktop.overlays.refresh();
}
BENCHMARK(BM_RefreshSteady)->Unit(benchmark::kMicrosecond);

// Painting the strip bar of 19 tiles, as after each move that changes it.
void BM_StripBarPaint(benchmark::State& state) {
    Desktop desktop;
    desktop.overlays.showStrip(*desktop.manager->currentKey(), false);
    const RecordingPanel* bar = desktop.panels.panel(PanelKind::stripBar);
    for (auto _ : state) cairo_surface_destroy(bar->render(true));
}
BENCHMARK(BM_StripBarPaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
