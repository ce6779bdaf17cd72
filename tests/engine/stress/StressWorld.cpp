// The starting desktop of a seed, the random choice of operations, and the
// bookkeeping every operation shares. The operations themselves are in
// StressOps.cpp.

#include "StressWorld.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <system_error>

#include "engine/wm/Animator.h"
#include "platform/sim/SimFrameWriter.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimOverlays.h"
#include "platform/sim/SimScheduler.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline::stress {

namespace {

constexpr std::array<const char*, static_cast<std::size_t>(OpKind::count_)> kNames = {
    "launchApp", "quitApp", "hideApp", "showApp", "activateApp", "hangApp", "recoverApp",
    "refuseWrites", "acceptWrites", "refuseFocus", "stallActivation", "setLatency",
    "openStandard", "openDialog", "openFixed", "openRefusing", "openOnOtherSpace",
    "openOnTwoSpaces", "openOdd", "closeWindow", "minimizeWindow", "restoreWindow",
    "enterFullScreen", "leaveFullScreen", "resizeItself", "moveItself", "refuseSizes",
    "changeTitle", "moveToSpace", "appFocusesWindow", "raiseWindow",
    "addDisplay", "removeDisplay", "resizeDisplay", "rearrangeDisplays", "addSpace",
    "switchSpace", "reduceMotion",
    "perform", "focusWindowIn", "focusColumnIn", "selectTab", "timelineDrop", "retile", "stop",
    "start", "toggle", "askState",
    "setGap", "setCentreMode", "setRules", "disableDisplay", "setAnimation", "setInputSettings",
    "setWidths",
    "click", "movePointer", "swipeBegin", "swipeMove", "swipeEnd", "scrollBegin", "scrollMove",
    "scrollEnd", "wheel", "chordDown", "chordUp", "pressKey", "pressOnWindow", "dragMove",
    "dragToDisplay", "release",
    "wait", "settle",
};

// How often each kind is drawn, relative to the others. Actions and input
// dominate, as they do in use; what changes the world wholesale (displays,
// stopping) is rarer, so a sequence has time to build up state between them.
int weight(OpKind kind) {
    switch (kind) {
        case OpKind::perform: return 60;
        case OpKind::openStandard: return 14;
        case OpKind::closeWindow: return 7;
        case OpKind::appFocusesWindow:
        case OpKind::click: return 8;
        case OpKind::swipeMove:
        case OpKind::scrollMove:
        case OpKind::dragMove: return 10;
        case OpKind::pressOnWindow: return 6;
        case OpKind::release: return 6;
        case OpKind::wait: return 10;
        case OpKind::settle: return 3;
        case OpKind::stop:
        case OpKind::start:
        case OpKind::toggle: return 1;
        case OpKind::removeDisplay:
        case OpKind::addDisplay:
        case OpKind::rearrangeDisplays: return 1;
        default: return 3;
    }
}

const std::vector<int>& cumulativeWeights() {
    static const std::vector<int> table = [] {
        std::vector<int> sums;
        int total = 0;
        for (int k = 0; k < static_cast<int>(OpKind::count_); ++k) {
            total += weight(static_cast<OpKind>(k));
            sums.push_back(total);
        }
        return sums;
    }();
    return table;
}

std::atomic<int> worldCounter{0};

}  // namespace

std::string toString(OpKind kind) { return kNames[static_cast<std::size_t>(kind)]; }

Op randomOp(Rng& rng) {
    const auto& sums = cumulativeWeights();
    const int roll = std::uniform_int_distribution<int>(0, sums.back() - 1)(rng);
    Op op;
    op.kind = static_cast<OpKind>(std::upper_bound(sums.begin(), sums.end(), roll) - sums.begin());
    op.a = static_cast<std::uint32_t>(rng());
    op.b = static_cast<std::uint32_t>(rng());
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    op.x = unit(rng);
    op.y = unit(rng);
    // Mostly a frame or two, often a fraction of a second, now and then long
    // enough for every pending answer and animation to land.
    const double t = unit(rng);
    op.dt = t < 0.25 ? 0.0 : t < 0.6 ? unit(rng) * 0.05 : t < 0.9 ? unit(rng) * 0.5 : unit(rng) * 3.0;
    if (op.kind == OpKind::wait) op.dt = 0.3 + unit(rng) * 3.0;
    return op;
}

std::string describe(const Op& op) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%s a=%u b=%u x=%.4f y=%.4f dt=%.4f",
                  toString(op.kind).c_str(), op.a, op.b, op.x, op.y, op.dt);
    return buffer;
}

// ---------------------------------------------------------------------------
// The starting desktop

World::World(std::uint64_t seed, bool rich) : seed_(seed) {
    Rng rng(seed * 0x9E3779B97F4A7C15ULL + 17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto chance = [&](double p) { return unit(rng) < p; };
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };

    folder = std::filesystem::temp_directory_path() /
             ("tessaline-stress-" + std::to_string(::getpid()) + "-" + std::to_string(seed) + "-" +
              std::to_string(worldCounter++));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    store = std::make_unique<SessionStore>(folder / "session.json", *desk.scheduler(),
                                           makeInlineWorker());

    if (rich) {
        buildRich();
        return;
    }
    const std::array<Rect, 3> primaries = {Rect{0, 0, 1440, 900}, Rect{0, 0, 1920, 1080},
                                           Rect{0, 0, 1280, 800}};
    desk.addDisplay(primaries[static_cast<std::size_t>(pick(3))], "Built-in");
    if (chance(0.5)) desk.addDisplay(Rect{desk.displays()[0].frame.maxX(), pick(2) * 120.0, 1920, 1080}, "Right");
    if (chance(0.15)) desk.addDisplay(Rect{-1280, 0, 1280, 1024}, "Left");
    if (chance(0.33)) {
        desk.overlays()->setReservedHeight(
            [](int columns, const Display&) { return columns >= 5 ? 36.0 : 0.0; });
    }

    const std::array<double, 4> gaps = {0, 8, 10, 16};
    config.gap = gaps[static_cast<std::size_t>(pick(4))];
    config.centreMode = static_cast<CentreMode>(pick(3));
    config.animate = chance(0.85);
    config.animationDuration = 0.05 + unit(rng) * 0.35;
    config.focusFollowsMouse = chance(0.2);
    config.mouseFollowsFocus = chance(0.3);
    config.swipeEnabled = chance(0.9);
    config.chordScroll = chance(0.9);
    config.timelineOnModifiers = chance(0.8);
    const std::array<double, 4> widths = {0.5, 0.4, 0.6, 1.0 / 3.0};
    config.defaultWidth = widths[static_cast<std::size_t>(pick(4))];
    for (int i = 0; i < 3; ++i) {
        if (!chance(0.3)) continue;
        AppRule rule;
        rule.bundleID = "com.stress.app" + std::to_string(pick(6));
        rule.floating = chance(0.4);
        if (chance(0.5)) rule.width = 0.25 + unit(rng) * 0.75;
        rule.placement = static_cast<AppRule::Placement>(pick(3));
        config.appRules.push_back(rule);
    }

    const int appCount = 2 + pick(3);
    for (int i = 0; i < appCount; ++i) {
        AppSpec desc;
        desc.name = "App" + std::to_string(i);
        if (!chance(0.1)) desc.bundleID = "com.stress.app" + std::to_string(pick(6));
        desc.latency = 0.005 + unit(rng) * 0.04;
        const ProcessID pid = desk.launchApp(desc);
        appNotes[pid];
        const int windowCount = 1 + pick(3);
        for (int w = 0; w < windowCount; ++w) {
            WindowSpec window;
            window.pid = pid;
            window.title = desc.name + " doc " + std::to_string(w);
            const Display display = desk.displays()[static_cast<std::size_t>(pick(static_cast<int>(desk.displays().size())))];
            window.frame = Rect{display.visible.x + unit(rng) * 400, display.visible.y + unit(rng) * 200,
                                400 + unit(rng) * 700, 300 + unit(rng) * 400};
            if (chance(0.1)) window.kind = WindowKind::dialog;
            const WindowID id = desk.openWindow(window);
            notes[id] = WindowNote{pid, window.kind, true, false};
        }
    }

    wm = WindowManager::create(config, *desk.system(), *desk.writer(), *desk.input(),
                               *desk.scheduler(), *desk.overlays(), *store, defaults);
    wm->start();
    advance(2.0);
}

void World::buildRich() {
    desk.addDisplay(Rect{0, 0, 1440, 900}, "Built-in");
    desk.addDisplay(Rect{1440, 0, 1920, 1080}, "Right");
    config.animationDuration = 0.2;
    for (int i = 0; i < 3; ++i) {
        const AppSpec desc{.name = "App" + std::to_string(i), .bundleID = "com.stress.app" + std::to_string(i)};
        const ProcessID pid = desk.launchApp(desc);
        appNotes[pid];
        for (int n = 0; n < (i == 2 ? 2 : 3); ++n) {
            const Rect area = desk.displays()[i == 2 ? 1 : 0].visible;
            const Rect frame{area.x + 60.0 * (3 * i + n), area.y + 20, 600, 500};
            const WindowID id = desk.openWindow(pid, desc.name + " doc " + std::to_string(n), frame);
            notes[id] = WindowNote{pid, WindowKind::standard, true, false};
        }
    }
    wm = WindowManager::create(config, *desk.system(), *desk.writer(), *desk.input(),
                               *desk.scheduler(), *desk.overlays(), *store, defaults);
    wm->start();
    advance(2.0);
}

World::~World() {
    // The manager goes first: it refers to the platform objects and the store.
    wm.reset();
    store.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void World::advance(double seconds) {
    const double began = desk.now();
    lastStepStart = seconds > 1.0 ? desk.now() + seconds : began;
    desk.advance(seconds);
    ++steps;
    // A write that landed puts the window back under the engine's control.
    const auto& history = desk.writer()->history();
    for (; historySeen_ < history.size(); ++historySeen_) {
        const auto note = notes.find(history[historySeen_].window);
        if (note == notes.end()) continue;
        note->second.displacedPosition = false;
        if (history[historySeen_].writeSize) {
            note->second.displacedSize = false;
            note->second.sizeRefused = history[historySeen_].result.size() != history[historySeen_].asked.size();
        }
    }
    if (steps % 128 == 0) {
        desk.writer()->clearHistory();
        desk.overlays()->clearCalls();
        historySeen_ = 0;
    }
    if (!wm->running) return;
    // A drag also starts when a window moves or resizes itself under a held
    // button; it counts as the user's as much as one the driver began.
    if (const auto dragging = wm->dragging()) {
        if (auto note = notes.find(*dragging); note != notes.end()) note->second.dragged = true;
    }
    for (const auto& [id, window] : wm->windows) {
        if (window->state != ManagedWindow::State::tiled) continue;
        const std::optional<Rect> target = wm->animator.target(id);
        if (!target) continue;
        auto seen = targetSeen.find(id);
        if (seen == targetSeen.end() || seen->second.first != *target) {
            targetSeen[id] = {*target, began};
        }
    }
}

bool World::inputIdle() const {
    return !held && desk.pressedButtons() == 0 && !swiping && !scrolling && !chord;
}

void World::endInput() {
    if (desk.pressedButtons() & 1) desk.input()->releaseButton(0);
    held.reset();
    if (swiping) desk.input()->inject(SwipeEnded{0});
    if (scrolling) desk.input()->inject(ScrollEnded{0});
    swiping = scrolling = false;
    desk.input()->setModifiers({});
    chord = false;
}

// ---------------------------------------------------------------------------
// Choosing what an operation acts on

std::vector<ProcessID> World::liveApps() const { return desk.apps(); }

std::vector<WindowID> World::liveWindows() const {
    std::vector<WindowID> ids;
    for (const auto& [id, note] : notes) {
        if (desk.window(id)) ids.push_back(id);
    }
    return ids;
}

std::vector<WindowID> World::tiledWindows() const {
    std::vector<WindowID> ids;
    if (!wm->running) return ids;
    for (WindowID id : liveWindows()) {
        const WindowPtr window = wm->windowRecord(id);
        if (window && window->state == ManagedWindow::State::tiled) ids.push_back(id);
    }
    return ids;
}

std::optional<ProcessID> World::pickApp(std::uint32_t selector) const {
    const auto apps = liveApps();
    if (apps.empty()) return std::nullopt;
    return apps[selector % apps.size()];
}

std::optional<WindowID> World::pickWindow(std::uint32_t selector) const {
    const auto ids = liveWindows();
    if (ids.empty()) return std::nullopt;
    return ids[selector % ids.size()];
}

std::optional<WindowID> World::pickTiled(std::uint32_t selector) const {
    const auto ids = tiledWindows();
    if (ids.empty()) return pickWindow(selector);
    return ids[selector % ids.size()];
}

std::optional<std::string> World::pickDisplay(std::uint32_t selector) const {
    const auto displays = desk.displays();
    if (displays.empty()) return std::nullopt;
    return displays[selector % displays.size()].uuid;
}

Rect World::randomFrame(std::uint32_t selector, double x, double y) const {
    const auto displays = desk.displays();
    const Rect area = displays.empty() ? Rect{0, 0, 1440, 900}
                                       : displays[selector % displays.size()].visible;
    const double width = 300 + ((selector >> 8) % 1100);
    const double height = 250 + ((selector >> 20) % 650);
    // Now and then a window opens partly outside its display.
    const double slack = (selector >> 4) % 8 == 0 ? 300 : 0;
    return Rect{area.x - slack + x * std::max(1.0, area.width - width + 2 * slack),
                area.y + y * std::max(1.0, area.height - height), width, height};
}

WindowID World::open(const Op& op, WindowSpec desc) {
    if (liveWindows().size() >= 24) return 0;
    const auto pid = pickApp(op.a);
    if (!pid) return 0;
    desc.pid = *pid;
    desc.title = "Doc " + std::to_string(op.a % 40);
    if (desc.frame == WindowSpec{}.frame) desc.frame = randomFrame(op.b, op.x, op.y);
    desc.focus = (op.b >> 28) % 4 != 0;
    const WindowID id = desk.openWindow(desc);
    if (id == 0) return 0;
    const AppNote& app = appNotes[*pid];
    notes[id] = WindowNote{*pid, desc.kind, desc.hasNumber, app.troubledNow};
    return id;
}

void World::markTrouble(ProcessID pid, bool /*hint*/) {
    const SimApp* app = desk.app(pid);
    if (!app) return;
    AppNote& note = appNotes[pid];
    const bool troubled = app->hung || app->refusesWrites;
    if (troubled && !note.troubledNow) {
        note.troubledNow = true;
        note.everTroubled = true;
        for (auto& [id, window] : notes) {
            if (window.pid == pid) window.troubled = true;
        }
    } else if (!troubled && note.troubledNow) {
        note.troubledNow = false;
        note.troubleEnded = desk.now();
    }
}

void World::displace(WindowID id, const Rect& before) {
    const auto after = desk.frameOf(id);
    if (!after) return;
    WindowNote& note = notes[id];
    if (after->origin() != before.origin()) note.displacedPosition = true;
    if (after->size() != before.size()) note.displacedSize = true;
}

void World::stopEngine(const std::function<void()>& how) {
    const bool wasRunning = wm->running;
    std::vector<Released> tiled;
    if (wasRunning) {
        displaysInSync = wm->displays == desk.displays();
        for (const auto& [id, window] : wm->windows) {
            if (window->state != ManagedWindow::State::tiled) continue;
            std::optional<Display> display;
            if (window->key) display = wm->displayByUUID(window->key->display);
            if (!display && !wm->displays.empty()) display = wm->displays.front();
            if (display) tiled.push_back({id, display->visible, desk.frameOf(id).value_or(Rect{})});
        }
    }
    how();
    if (wasRunning && !wm->running) {
        released = std::move(tiled);
        targetSeen.clear();
        limbo.clear();
        // The next start reads every window where it is.
        for (auto& [id, note] : notes) note.displacedPosition = note.displacedSize = false;
    }
}

void World::changeConfig(const std::function<void(Config&)>& edit) {
    Config next = config;
    edit(next);
    config = next;
    wm->apply(next);
}

std::string World::run(const Op& op, bool explain) {
    switch (op.kind) {
        case OpKind::launchApp: case OpKind::quitApp: case OpKind::hideApp:
        case OpKind::showApp: case OpKind::activateApp: case OpKind::hangApp:
        case OpKind::recoverApp: case OpKind::refuseWrites: case OpKind::acceptWrites:
        case OpKind::refuseFocus: case OpKind::stallActivation: case OpKind::setLatency:
            return apps(op, explain);
        case OpKind::addDisplay: case OpKind::removeDisplay: case OpKind::resizeDisplay:
        case OpKind::rearrangeDisplays: case OpKind::addSpace: case OpKind::switchSpace:
        case OpKind::reduceMotion:
            return displays(op, explain);
        case OpKind::perform: case OpKind::focusWindowIn: case OpKind::focusColumnIn:
        case OpKind::selectTab: case OpKind::timelineDrop: case OpKind::retile:
        case OpKind::stop: case OpKind::start: case OpKind::toggle: case OpKind::askState:
            return perform(op, explain);
        case OpKind::setGap: case OpKind::setCentreMode: case OpKind::setRules:
        case OpKind::disableDisplay: case OpKind::setAnimation: case OpKind::setInputSettings:
        case OpKind::setWidths:
            return settings(op, explain);
        case OpKind::click: case OpKind::movePointer: case OpKind::swipeBegin:
        case OpKind::swipeMove: case OpKind::swipeEnd: case OpKind::scrollBegin:
        case OpKind::scrollMove: case OpKind::scrollEnd: case OpKind::wheel:
        case OpKind::chordDown: case OpKind::chordUp: case OpKind::pressKey:
        case OpKind::pressOnWindow: case OpKind::dragMove: case OpKind::dragToDisplay:
        case OpKind::release:
            return input(op, explain);
        case OpKind::wait:
            return explain ? "wait" : "";
        case OpKind::settle:
            endInput();
            return explain ? "end all input and let time settle" : "";
        case OpKind::count_: break;
        default:
            return windows(op, explain);
    }
    return {};
}

}  // namespace tessaline::stress
