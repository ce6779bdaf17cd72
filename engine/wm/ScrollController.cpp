// Moving the strip by hand: swipes and modified scrolls drag it one point for
// one point and let it glide onto a column edge; wheel notches step focus a
// column at a time. The chord controller decides between a peek and a pin of
// the timeline when control+option is released.

#include "engine/wm/ScrollController.h"

#include <algorithm>
#include <string>
#include <utility>

#include "core/Layout.h"
#include "engine/wm/FocusController.h"
#include "engine/log/Log.h"
#include "engine/wm/WindowManager.h"

namespace tessaline {

namespace {

using Policy = WindowManager::ScrollPolicy;

// How far a release keeps gliding: this many seconds of its velocity.
constexpr double kFlingTime = 0.12;
// A settle never animates faster than this, so the glide reads as one motion.
constexpr double kMinSettleDuration = 0.3;
// Focus follows the wheel only once the user pauses this long.
constexpr double kLandDelay = 0.3;
// The focus report that answers our own request must not slide the strip again.
constexpr double kQuietTime = 1.0;

}  // namespace

ScrollController::ScrollController(WindowManager& manager)
    : manager_(manager), self_(std::make_shared<ScrollController*>(this)) {}

ScrollController::~ScrollController() {
    if (stepping) stepping->land->cancel();
}

void ScrollController::reset() {
    key.reset();
    if (stepping) stepping->land->cancel();
    stepping.reset();
}

std::optional<StripKey> ScrollController::stripUnderPointer() const {
    std::optional<Display> display = manager_.displayAt(manager_.input.pointer());
    if (!display) {
        if (manager_.displays.empty()) return std::nullopt;
        display = manager_.displays.front();
    }
    const StripKey found = manager_.keyOn(*display);
    if (!manager_.isActive(found)) return std::nullopt;
    const auto strip = manager_.strips.find(found);
    if (strip == manager_.strips.end() || strip->second.isEmpty()) return std::nullopt;
    return found;
}

void ScrollController::begin() {
    // A gesture over nothing forgets any earlier one that never ended, so its
    // moves are dropped rather than steering a strip the fingers left.
    key = stripUnderPointer();
    if (key) manager_.overlays.showStrip(*key, true);
}

void ScrollController::moved(double points) {
    if (!key) return;
    const auto found = manager_.strips.find(*key);
    if (found == manager_.strips.end()) return;
    // Content moves with the fingers: moving right reveals what lies left.
    found->second.scroll -= points;
    const StripKey current = *key;
    // Follow mode and no overlay rebuild: this runs once per input event.
    manager_.relayout({current}, true, Policy::keep, false, true);
    manager_.overlays.showStrip(current, true);
}

void ScrollController::settle(double velocity, double maxFling) {
    // Whatever happens below, the gesture is over.
    const std::optional<StripKey> settling = std::exchange(key, std::nullopt);
    if (!settling) return;
    const auto found = manager_.strips.find(*settling);
    const std::optional<Display> display = manager_.displayByUUID(settling->display);
    // A strip that left the screen meanwhile (another Space came up) must not
    // take focus: asking for its window would pull that Space back.
    if (found == manager_.strips.end() || !display || found->second.isEmpty() ||
        !manager_.isActive(*settling)) {
        return;
    }

    Strip& strip = found->second;
    const double width = display->visible.width;
    const LayoutConfig layout = manager_.layoutConfig();
    const double fling = std::clamp(kFlingTime * velocity, -maxFling, maxFling);
    strip.scroll = Layout::snapScroll(strip.scroll - fling, strip, width, layout,
                                      manager_.minWidths);
    if (auto column = Layout::settledColumn(strip, width, layout, manager_.minWidths)) {
        strip.focusColumn(*column);
    }
    manager_.activeKey = *settling;
    Log::input([&] { return "scroll settled on column " + std::to_string(strip.focused + 1); });
    const std::optional<WindowID> window = strip.focusedWindow();

    manager_.relayout({*settling}, true, Policy::keep, true, false, std::nullopt,
                      std::max(kMinSettleDuration, manager_.config.animationDuration));
    manager_.overlays.showStrip(*settling, false);
    if (window) {
        FocusController& focus = manager_.focus();
        focus.quietFocus = FocusController::QuietFocus{*window, manager_.scheduler.now() + kQuietTime};
        focus.request(*window, false);
    }
}

void ScrollController::stepped(int n) {
    const std::optional<StripKey> target = stepping ? std::optional(stepping->key) : stripUnderPointer();
    if (!target) return;
    const auto found = manager_.strips.find(*target);
    if (found == manager_.strips.end()) return;
    if (stepping) stepping->land->cancel();

    Strip& strip = found->second;
    const StripKey current = *target;
    // The strip may have emptied since the first notch; there is nothing to step to.
    if (!strip.isEmpty()) {
        const int to = std::clamp(strip.focused + n, 0, strip.count() - 1);
        Log::input([&] {
            return "wheel: " + std::string(n >= 1 ? "+" : "") + std::to_string(n) +
                   " column(s), to column " + std::to_string(to + 1);
        });
        if (to != strip.focused) {
            strip.focusColumn(to);
            manager_.activeKey = current;
            manager_.relayout({current}, true, Policy::reveal, true, false);
        }
    }
    manager_.overlays.showStrip(current, true);

    std::weak_ptr<ScrollController*> weak = self_;
    auto task = manager_.scheduler.after(kLandDelay, [weak] {
        if (auto self = weak.lock()) (*self)->land();
    });
    stepping = Stepping{current, std::move(task)};
}

void ScrollController::land() {
    if (!stepping) return;
    const StripKey landed = stepping->key;
    stepping.reset();
    manager_.overlays.showStrip(landed, false);

    const auto found = manager_.strips.find(landed);
    if (found == manager_.strips.end()) return;
    const Strip& strip = found->second;
    const std::optional<WindowID> window = strip.focusedWindow();
    if (!window || window == manager_.focusedID) return;
    Log::input([&] { return "wheel stopped on column " + std::to_string(strip.focused + 1); });
    FocusController& focus = manager_.focus();
    focus.quietFocus = FocusController::QuietFocus{*window, manager_.scheduler.now() + kQuietTime};
    focus.request(*window, false);
}

// ---------------------------------------------------------------------------
// The chord

ChordController::ChordController(WindowManager& manager) : manager_(manager) {}

void ChordController::modifiersChanged(Modifiers modifiers) {
    const bool control = modifiers.contains(Modifiers::control);
    const bool option = modifiers.contains(Modifiers::option);

    if (control && option && !start) {
        start = manager_.scheduler.now();
        used = false;
        // Every other key press now arrives and marks the chord used.
        manager_.input.watchKeys(true);
        if (manager_.config.timelineOnModifiers) {
            if (auto key = manager_.currentKey()) manager_.overlays.beginTimelinePeek(*key);
        }
        return;
    }
    if (!control && !option && start) {
        const double held = manager_.scheduler.now() - *start;
        start.reset();
        manager_.input.watchKeys(false);
        const bool tap = !used && !modifiers.contains(Modifiers::command) &&
                         !modifiers.contains(Modifiers::shift) && held < tapTime;
        manager_.overlays.endTimelinePeek(tap);
    }
}

}  // namespace tessaline
