// The window manager's core: starting and stopping, the system events, the
// relayout pipeline, Spaces and displays, putting windows into strips and
// taking them out, and the queries the overlays and the command channel ask.

#include "engine/wm/WindowManager.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "core/Parking.h"
#include "engine/wm/Animator.h"
#include "engine/wm/DragController.h"
#include "engine/wm/FocusController.h"
#include "engine/log/Log.h"
#include "engine/wm/ScrollController.h"
#include "engine/session/SessionController.h"
#include "engine/session/SessionStore.h"
#include "engine/wm/WindowTracker.h"
#include "engine/wm/Overloaded.h"

namespace tessaline {

namespace {

// A list of keys with duplicates dropped, first occurrence kept. Key lists are
// a handful long, so a linear scan beats hashing.
std::vector<StripKey> distinct(const std::vector<StripKey>& keys) {
    std::vector<StripKey> result;
    result.reserve(keys.size());
    for (const StripKey& key : keys) {
        if (std::find(result.begin(), result.end(), key) == result.end()) result.push_back(key);
    }
    return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

std::shared_ptr<WindowManager> WindowManager::create(Config config, WindowSystem& system,
                                                     FrameWriting& writer, InputSource& input,
                                                     Scheduler& scheduler,
                                                     OverlayPresenter& overlays,
                                                     SessionStore& session, Defaults& defaults) {
    auto manager = std::make_shared<WindowManager>(Token{}, std::move(config), system, writer,
                                                   input, scheduler, overlays, session, defaults);
    manager->wire();
    return manager;
}

WindowManager::WindowManager(Token, Config config, WindowSystem& system, FrameWriting& writer,
                             InputSource& input, Scheduler& scheduler, OverlayPresenter& overlays,
                             SessionStore& session, Defaults& defaults)
    : animator_(std::make_unique<Animator>(scheduler)),
      config(std::move(config)),
      system(system),
      writer(writer),
      input(input),
      scheduler(scheduler),
      overlays(overlays),
      sessionStore(session),
      defaults(defaults),
      animator(*animator_) {
    Log::detailed = this->config.detailedLogging;
}

WindowManager::~WindowManager() = default;

void WindowManager::wire() {
    std::weak_ptr<WindowManager> weak = weak_from_this();
    writer.onResize = [weak](WindowID id, Size asked, Size got) {
        if (auto self = weak.lock()) self->noteResize(id, asked, got);
    };
    writer.onApplied = [weak] {
        if (auto self = weak.lock()) self->overlays.followFrames();
    };
    animator.send = [weak](WindowID id, Rect frame, bool writeSize) {
        auto self = weak.lock();
        if (!self) return;
        auto found = self->windows.find(id);
        if (found == self->windows.end()) return;
        const ManagedWindow& window = *found->second;
        self->writer.write(id, window.pid, window.handle, frame, writeSize);
    };
    animator.onFrame = [weak] {
        if (auto self = weak.lock()) self->overlays.followFrames();
    };
}

WindowTracker& WindowManager::tracker() {
    if (!tracker_) tracker_ = std::make_unique<WindowTracker>(*this);
    return *tracker_;
}
FocusController& WindowManager::focus() {
    if (!focus_) focus_ = std::make_unique<FocusController>(*this);
    return *focus_;
}
DragController& WindowManager::drag() {
    if (!drag_) drag_ = std::make_unique<DragController>(*this);
    return *drag_;
}
ScrollController& WindowManager::scroll() {
    if (!scroll_) scroll_ = std::make_unique<ScrollController>(*this);
    return *scroll_;
}
ChordController& WindowManager::chord() {
    if (!chord_) chord_ = std::make_unique<ChordController>(*this);
    return *chord_;
}
SessionController& WindowManager::session() {
    if (!session_) session_ = std::make_unique<SessionController>(*this, sessionStore);
    return *session_;
}

InputOptions WindowManager::inputOptions(const Config& config) {
    InputOptions options;
    if (config.swipeEnabled) options.swipeFingers = config.swipeFingers;
    options.pointerMoves = config.focusFollowsMouse;
    options.chordScroll = config.chordScroll;
    return options;
}

LayoutConfig WindowManager::layoutConfig() const { return config.layout(); }

// ---------------------------------------------------------------------------
// Lifecycle

void WindowManager::start() {
    if (!running && system.isTrusted()) {
        running = true;
        const std::uint64_t generation = ++generation_;
        Log::lifecycle("tiling started");
        std::weak_ptr<WindowManager> weak = weak_from_this();
        system.start([weak](const SystemEvent& event) {
            if (auto self = weak.lock()) self->handle(event);
        });
        displays = system.displays();
        refreshSpaces();
        session().begin();

        std::vector<ProcessID> pids;
        for (const AppInfo& app : system.runningApps()) {
            if (app.isRegular) pids.push_back(app.pid);
        }
        tracker().discover(pids, [weak, generation](std::vector<WindowPtr> found) {
            auto self = weak.lock();
            if (!self || !self->running || self->generation_ != generation) return;
            self->tracker().adopt(found);
            self->relayout(self->activeKeys(), false, ScrollPolicy::reveal, true, false);
            if (auto pid = self->system.frontmostApp()) self->focus().focusChanged(*pid, true, true);
        });

        input.start([weak](const InputEvent& event) {
            if (auto self = weak.lock()) self->handle(event);
        });
        input.configure(inputOptions(config));
    }
    if (onChange) onChange();
}

void WindowManager::stop() {
    if (!running) return;
    session().end();
    animator.reset();
    writer.drain();
    releaseAll();
    running = false;
    ++generation_;
    Log::lifecycle("tiling stopped");
    system.stop();
    input.stop();
    if (drag_) drag_->cancel();
    if (tracker_) tracker_->dropPendingWork();
    if (focus_) focus_->dropPendingWork();
    if (scroll_) scroll_->reset();
    if (chord_) chord_->start.reset();
    input.watchKeys(false);
    handles.clear();
    windows.clear();
    strips.clear();
    minWidths.clear();
    narrowWidths.clear();
    activeKey.reset();
    focusedID.reset();
    overlays.hideAll();
    if (onChange) onChange();
}

void WindowManager::toggle() {
    if (running) {
        stop();
    } else {
        start();
    }
}

void WindowManager::apply(Config newConfig) {
    const Config old = std::exchange(config, std::move(newConfig));
    Log::detailed = config.detailedLogging;
    if (!running) return;

    const InputOptions options = inputOptions(config);
    if (options != inputOptions(old)) input.configure(options);
    if (config.floatingApps() != old.floatingApps() ||
        config.disabledDisplays != old.disabledDisplays) {
        tracker().reclassify();
    }
    const bool looksDifferent =
        config.gap != old.gap || config.centreMode != old.centreMode ||
        config.stripIndicator != old.stripIndicator ||
        config.stripIndicatorAlways != old.stripIndicatorAlways ||
        config.timelineLabels != old.timelineLabels || config.timelineLook != old.timelineLook;
    // A display taken back into tiling shows its strip as it is now: it may
    // have changed while nothing on that display was laid out, and the
    // reclassification only relays out what its answers change.
    const bool enabledAgain = std::any_of(old.disabledDisplays.begin(), old.disabledDisplays.end(),
                                          [&](const std::string& uuid) {
                                              return std::find(config.disabledDisplays.begin(),
                                                               config.disabledDisplays.end(),
                                                               uuid) == config.disabledDisplays.end();
                                          });
    if (looksDifferent || enabledAgain) relayout(activeKeys(), true, ScrollPolicy::reveal, true, false);
    overlays.refresh();
}

void WindowManager::retile() {
    if (!running) return;
    for (const auto& [id, window] : windows) animator.invalidate(id);
    relayout(activeKeys(), true, ScrollPolicy::reveal, true, false);
}

// ---------------------------------------------------------------------------
// System events

void WindowManager::handle(const SystemEvent& event) { handleSystemEvent(event); }

void WindowManager::handleSystemEvent(const SystemEvent& event) {
    if (!running) return;
    std::visit(Overloaded{
                   [&](const AppLaunched& e) { tracker().observe(e.pid, 0); },
                   [&](const AppTerminated& e) { tracker().appTerminated(e.pid); },
                   [&](const AppActivated& e) { focus().focusChanged(e.pid, true, true); },
                   [&](const AppHidden& e) { tracker().appHidden(e.pid, true); },
                   [&](const AppShown& e) { tracker().appHidden(e.pid, false); },
                   [&](const WindowNotification& e) { tracker().handle(e.event, e.handle, e.pid); },
                   [&](const SpaceChanged&) { spaceChanged(); },
                   [&](const DisplaysChanged&) { displaysChanged(); },
                   [&](const AccessibilityChanged&) {
                       const bool reduce = system.reduceMotion();
                       Log::lifecycle([&] {
                           return std::string("Reduce motion is ") + (reduce ? "on" : "off");
                       });
                       overlays.refresh();
                   },
               },
               event);
}

// ---------------------------------------------------------------------------
// Layout

void WindowManager::relayout(const std::vector<StripKey>& keys, bool animated, ScrollPolicy scroll,
                             bool refreshOverlays, bool follow, std::optional<WindowID> excluding,
                             std::optional<double> duration) {
    const std::optional<WindowID> excluded = excluding ? excluding : dragging();
    if (!running) return;

    FrameMap frames;
    const LayoutConfig layout = layoutConfig();
    LayoutConfig nudging = layout;
    nudging.centreMode = CentreMode::never;
    std::vector<Rect> others;

    for (std::size_t k = 0; k < keys.size(); ++k) {
        const StripKey& key = keys[k];
        if (std::find(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(k), key) !=
            keys.begin() + static_cast<std::ptrdiff_t>(k)) {
            continue;
        }
        const auto shown = currentSpace.find(key.display);
        if ((shown == currentSpace.end() ? SpaceID{0} : shown->second) != key.space) continue;
        const Display* display = nullptr;
        for (const Display& d : displays) {
            if (d.uuid == key.display) {
                display = &d;
                break;
            }
        }
        if (!display || std::find(config.disabledDisplays.begin(), config.disabledDisplays.end(),
                                  key.display) != config.disabledDisplays.end()) {
            continue;
        }
        const auto found = strips.find(key);
        if (found == strips.end()) continue;

        // Adjusted in place: the map's strip is the one the next relayout sees.
        Strip& strip = found->second;
        const double width = display->visible.width;
        Layout::clampToMinimumWidths(strip, width, config.gap, minWidths);
        switch (scroll) {
            case ScrollPolicy::reveal: Layout::ensureVisible(strip, width, layout, minWidths); break;
            case ScrollPolicy::keep: Layout::clampScroll(strip, width, layout, minWidths); break;
            case ScrollPolicy::nudge: Layout::ensureVisible(strip, width, nudging, minWidths); break;
            case ScrollPolicy::none: break;
        }

        others.clear();
        for (const Display& d : displays) {
            if (d.uuid != key.display) others.push_back(d.frame);
        }
        Rect viewport = display->visible;
        viewport.height -= overlays.reservedHeight(strip.count(), *display);

        Layout::placements(strip, viewport, layout, minWidths, placementBuffer_);
        if (frames.empty()) frames.reserve(placementBuffer_.size());
        for (const Placement& placement : placementBuffer_) {
            if (placement.id == excluded) continue;
            // Where the window really lies decides whether and where it is
            // parked; it is still asked for the size the layout gives it.
            Rect real = placement.frame;
            if (const auto narrow = narrowWidths.find(placement.id);
                narrow != narrowWidths.end() && narrow->second < real.width) {
                real.width = narrow->second;
            }
            Rect frame = placement.hiddenTab ? Parking::park(real, Parking::Side::right, display->frame, others)
                                             : Parking::resolve(real, display->frame, others);
            frame.width = placement.frame.width;
            frames[placement.id] = frame;
        }
    }

    if (animated && follow) {
        animator.follow(frames);
    } else {
        animator.move(frames, animated && config.animate && !system.reduceMotion(),
                      duration.value_or(config.animationDuration));
    }
    if (refreshOverlays) {
        overlays.refresh();
    } else {
        overlays.followFrames();
    }
    if (!follow) session().scheduleSave();
}

void WindowManager::adoptSize(Rect frame, WindowID id, Strip& strip, const Display& display,
                              const Column* before) {
    const auto location = strip.locate(id);
    if (!location) return;
    Column& column = strip.columns[static_cast<std::size_t>(location->column)];
    const double visibleWidth = display.visible.width;

    if (frame.width >= 0.9 * visibleWidth) {
        // Maximising by hand works as the full-width toggle.
        const double width = before ? before->width : column.width;
        const std::optional<double> saved = before ? before->savedWidth : column.savedWidth;
        if (saved) {
            column.width = *saved;
        } else if (width < 0.99) {
            column.width = 1.0;
        } else {
            column.width = config.defaultWidth;
        }
        column.savedWidth = !saved && width < 0.99 ? std::optional<double>(width) : std::nullopt;
    } else {
        column.width =
            std::clamp(Layout::fractionForWidth(frame.width, visibleWidth, config.gap), 0.1, 1.0);
        column.savedWidth.reset();
    }
    // The user's choice replaces whatever was learned about these windows.
    for (WindowID window : column.windows) minWidths.erase(window);
}

void WindowManager::send(WindowID id, Rect frame, bool includeSize) {
    const auto found = windows.find(id);
    if (found == windows.end()) return;
    writer.write(id, found->second->pid, found->second->handle, frame, includeSize);
}

std::optional<Rect> WindowManager::shownFrame(WindowID id) const {
    if (dragging() != id) {
        if (auto applied = writer.appliedFrame(id)) return applied;
    }
    return animator.current(id);
}

void WindowManager::checkSizes(const std::vector<StripKey>& keys, double after, int attempts) {
    std::weak_ptr<WindowManager> weak = weak_from_this();
    scheduler.after(after, [weak, keys = distinct(keys), attempts, generation = generation_] {
        auto self = weak.lock();
        if (!self || !self->running || self->generation_ != generation) return;
        std::vector<WindowID> ids;
        for (const StripKey& key : keys) {
            const auto found = self->strips.find(key);
            if (found == self->strips.end()) continue;
            for (WindowID id : found->second.windows()) ids.push_back(id);
        }
        for (WindowID id : ids) self->checkSize(id, attempts);
    });
}

void WindowManager::checkSize(WindowID id, int attempts) {
    if (!running) return;
    WindowPtr window = windowRecord(id);
    if (!window || window->state != ManagedWindow::State::tiled) return;
    if (dragging() || animator.isMoving(id)) return;
    const std::optional<Rect> target = animator.target(id);
    if (!target) return;

    std::weak_ptr<WindowManager> weak = weak_from_this();
    system.frame(window->handle, window->pid,
                 [weak, window, target = *target, attempts,
                  generation = generation_](std::optional<Rect> actual) {
                     auto self = weak.lock();
                     if (!actual || !self || !self->running || self->generation_ != generation) return;
                     const WindowID id = window->id;
                     if (self->windowRecord(id) != window) return;
                     if (window->state != ManagedWindow::State::tiled) return;
                     if (self->dragging() || self->animator.isMoving(id)) return;
                     if (self->animator.target(id) != target) return;

                     // A window that came out wider is noteResize's to learn.
                     const bool mismatch = std::fabs(actual->height - target.height) > 4 ||
                                           actual->width < target.width - 4;
                     if (!mismatch) return;
                     Log::layout([&] {
                         return window->tag() + " is " + sizeText(actual->size()) + ", not " +
                                sizeText(target.size()) + ": resizing it again";
                     });
                     self->send(id, target, true);
                     if (attempts >= 2) {
                         self->scheduler.after(1.0, [weak, id, attempts] {
                             if (auto again = weak.lock()) again->checkSize(id, attempts - 1);
                         });
                     }
                 });
}

void WindowManager::noteResize(WindowID id, Size asked, Size got) {
    if (!running) return;
    WindowPtr window = windowRecord(id);
    if (!window || window->state != ManagedWindow::State::tiled) return;
    noteNarrowWidth(*window, asked, got);
    if (!(got.width > asked.width + 2)) return;
    const auto learned = minWidths.find(id);
    const bool learn = learned == minWidths.end() ? got.width > 1 : learned->second + 1 < got.width;
    if (!learn) return;
    minWidths[id] = got.width;
    Log::layout([&] {
        return window->tag() + " won't go narrower than " + wholePoints(got.width) + " pt";
    });
    if (window->key) relayout({*window->key}, true, ScrollPolicy::keep, true, false);
}

void WindowManager::noteNarrowWidth(const ManagedWindow& window, Size asked, Size got) {
    const bool narrow = got.width < asked.width - 2 && got.width > 1;
    const auto known = narrowWidths.find(window.id);
    if (narrow) {
        if (known != narrowWidths.end() && std::fabs(known->second - got.width) <= 1) return;
        narrowWidths[window.id] = got.width;
    } else {
        if (known == narrowWidths.end()) return;
        narrowWidths.erase(known);
    }
    // The window's parked position depends on its real width.
    if (window.key) relayout({*window.key}, true, ScrollPolicy::keep, true, false);
}

void WindowManager::releaseAll() {
    std::vector<WindowRelease> releases;
    for (const auto& [id, window] : windows) {
        if (window->state != ManagedWindow::State::tiled) continue;
        std::optional<Display> display;
        if (window->key) display = displayByUUID(window->key->display);
        if (!display && !displays.empty()) display = displays.front();
        if (!display) continue;
        releases.push_back({window->handle, window->pid, display->visible});
    }
    system.releaseAll(releases, 1.5);
}

}  // namespace tessaline
