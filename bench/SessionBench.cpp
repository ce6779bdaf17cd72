// Cost of putting a saved layout back after a restart: matching live windows
// to saved places, rebuilding the strips, and reading a large session file.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/SavedSession.h"
#include "core/SessionRestore.h"

using namespace tessaline;

namespace {

constexpr int windowsPerStrip = 25;
constexpr int windowsPerApp = 5;

struct Scene {
    std::vector<SavedStrip> saved;
    std::vector<LiveWindow> live;
    std::vector<Strip> strips;  // the live strips as adoption left them: one column per window
};

// Saved strips with stacks of one to three windows; after the "restart"
// every window has a new number, a fifth of the titles changed and the live
// windows arrive in shuffled order.
Scene makeScene(int windows) {
    std::mt19937 rng(7);
    Scene scene;
    std::vector<std::vector<WindowID>> liveByStrip;
    for (int i = 0; i < windows; ++i) {
        if (i % windowsPerStrip == 0) {
            scene.saved.push_back({"DISPLAY-" + std::to_string(i / windowsPerStrip),
                                   static_cast<SpaceID>(i), {}, 1000.0});
            liveByStrip.emplace_back();
        }
        auto& columns = scene.saved.back().columns;
        if (columns.empty() || columns.back().windows.size() >= 1 + rng() % 3) {
            columns.push_back({0.3 + 0.1 * static_cast<double>(rng() % 5), rng() % 4 == 0, {}, {}});
        }
        const std::string bundle = "com.example.app" + std::to_string(i / windowsPerApp);
        const std::string title = "Document " + std::to_string(i);
        const WindowID oldID = 1000 + static_cast<WindowID>(i);
        const WindowID newID = 500000 + static_cast<WindowID>(i);
        columns.back().windows.push_back({oldID, bundle, title});
        columns.back().weights.push_back(1.0 + static_cast<double>(rng() % 3));
        scene.live.push_back({newID, bundle, i % 5 == 0 ? title + " (edited)" : title});
        liveByStrip.back().push_back(newID);
    }
    std::shuffle(scene.live.begin(), scene.live.end(), rng);
    for (auto& ids : liveByStrip) {
        std::shuffle(ids.begin(), ids.end(), rng);
        Strip strip;
        for (const WindowID id : ids) {
            Column column;
            column.windows = {id};
            column.weights = {1.0};
            strip.columns.push_back(std::move(column));
        }
        scene.strips.push_back(std::move(strip));
    }
    return scene;
}

void BM_Match(benchmark::State& state) {
    const Scene scene = makeScene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(SessionRestore::match(scene.live, scene.saved));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Match)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_MatchAndRebuild(benchmark::State& state) {
    const Scene scene = makeScene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const auto matches = SessionRestore::match(scene.live, scene.saved);
        for (const Strip& strip : scene.strips) {
            benchmark::DoNotOptimize(SessionRestore::rebuild(strip, matches, scene.saved));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MatchAndRebuild)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_DecodeAndMatch(benchmark::State& state) {
    const Scene scene = makeScene(static_cast<int>(state.range(0)));
    const std::string text = encodeSession({scene.saved, {}});
    for (auto _ : state) {
        const auto session = decodeSession(text);
        if (!session) {
            state.SkipWithError("session did not decode");
            break;
        }
        benchmark::DoNotOptimize(SessionRestore::match(scene.live, session->strips));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_DecodeAndMatch)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Encode(benchmark::State& state) {
    const Scene scene = makeScene(static_cast<int>(state.range(0)));
    const SavedSession session{scene.saved, {}};
    for (auto _ : state) benchmark::DoNotOptimize(encodeSession(session));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Encode)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
