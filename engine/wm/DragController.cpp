// Dragging tiled windows by their own title bars and edges. The controller
// never draws a handle: it notices that a tiled window moves while the left
// button is held on it, then polls the pointer and the window's frame until
// the button comes up, rearranging the strip (or resizing the column) as the
// window goes.

#include "engine/wm/DragController.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/Layout.h"
#include "engine/wm/Animator.h"
#include "engine/log/Log.h"
#include "engine/wm/ScrollController.h"
#include "engine/wm/WindowManager.h"

namespace tessaline {

namespace {

using Policy = WindowManager::ScrollPolicy;

// The poll runs at display rate for the whole drag.
constexpr double pollInterval = 1.0 / 60.0;
// A click this far outside a window still counts as a click on it (its
// resize edges reach a little beyond the frame).
constexpr double clickSlop = 8;
// Size or origin changes up to this are jitter of the frame reads.
constexpr double decideThreshold = 3;
// A width or height change smaller than this is not applied to the column.
constexpr double resizeThreshold = 2;
// Without a single frame read during the drag, only a clear size change counts.
constexpr double unreadResizeThreshold = 12;
// A drop this close to where the window started is a click, not a move.
constexpr double dropThreshold = 8;
// Width of the zones at the display's left and right edge that scroll the strip.
constexpr double edgeZone = 40;
constexpr double slowestEdgeSpeed = 300;
constexpr double fastestEdgeSpeed = 1800;
// A hitch in the poll must not fling the strip.
constexpr double longestEdgeStep = 0.05;
// A drag wider than this share of the display is a maximise (the manager's
// full-width toggle), not a width of its own.
constexpr double fullWidthShare = 0.9;

Rect grown(Rect rect, double by) {
    return {rect.x - by, rect.y - by, rect.width + 2 * by, rect.height + 2 * by};
}

bool sizeDiffers(Size a, Size b, double threshold) {
    return std::fabs(a.width - b.width) > threshold || std::fabs(a.height - b.height) > threshold;
}

bool originDiffers(Point a, Point b, double threshold) {
    return std::fabs(a.x - b.x) > threshold || std::fabs(a.y - b.y) > threshold;
}

// The window has really left its place: it moved since the first read, or
// that read already found it away from where it was laid out.
bool travels(const DragController::Drag& drag) {
    return drag.moving || (drag.startOrigin && originDiffers(*drag.startOrigin, drag.origin.origin(),
                                                             decideThreshold));
}

// The area the strip's windows are laid out in: the visible area less the
// timeline's room at the bottom, exactly as relayout computes it.
Rect viewportOf(const WindowManager& manager, const Strip& strip, const Display& display) {
    Rect viewport = display.visible;
    viewport.height -= manager.overlays.reservedHeight(strip.count(), display);
    return viewport;
}

std::vector<WindowID> sortedWindows(const Strip& strip) {
    std::vector<WindowID> ids = strip.windows();
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace

DragController::DragController(WindowManager& manager)
    : manager_(manager), self_(std::make_shared<DragController*>(this)) {}

DragController::~DragController() {
    cancel();
    // Answers still in flight find nothing to act on.
    self_.reset();
}

// ---------------------------------------------------------------------------
// Starting and stopping

void DragController::windowMoved(const std::shared_ptr<ManagedWindow>& window) {
    if (!window || !manager_.running) return;
    if (window->state != ManagedWindow::State::tiled || drag) return;
    // A window this program is gliding reports moves too; held under the
    // pointer it would otherwise be taken for one the user drags.
    if (manager_.animator.isMoving(window->id)) return;
    if (!manager_.scroll().isIdle()) return;
    // An application moving its own window while the user happens to hold
    // the button elsewhere is not a drag.
    if (!inHand(*window)) return;
    begin(window);
}

namespace {

// The window's frame as the animator knows it, grown by the click slop,
// contains the point.
bool under(const Animator& animator, WindowID id, Point point) {
    std::optional<Rect> known = animator.current(id);
    if (!known) known = animator.target(id);
    return known && grown(*known, clickSlop).contains(point);
}

}  // namespace

void DragController::pressed(Point point) {
    underPress_.clear();
    for (const auto& [id, window] : manager_.windows) {
        if (under(manager_.animator, id, point)) underPress_.push_back(id);
    }
}

bool DragController::inHand(const ManagedWindow& window) const {
    if ((manager_.input.pressedButtons() & 1) == 0) return false;
    if (std::find(underPress_.begin(), underPress_.end(), window.id) == underPress_.end()) return false;
    return under(manager_.animator, window.id, manager_.lastClickPoint);
}

void DragController::cancel() {
    if (polling) polling->cancel();
    polling.reset();
    drag.reset();
}

void DragController::begin(const std::shared_ptr<ManagedWindow>& window) {
    if (!window || !window->key) return;
    const std::optional<Rect> target = manager_.animator.target(window->id);
    if (!target) return;
    const auto found = manager_.strips.find(*window->key);
    if (found == manager_.strips.end()) return;
    const auto location = found->second.locate(window->id);
    if (!location) return;

    Log::drag([&] { return "dragging " + window->tag(); });
    Drag started;
    started.id = window->id;
    started.key = *window->key;
    started.origin = *target;
    started.weights = found->second.columns[static_cast<std::size_t>(location->column)].weights;
    started.base = found->second;
    drag = std::move(started);
    ++serial_;

    std::weak_ptr<DragController*> weak = self_;
    polling = manager_.scheduler.every(pollInterval, [weak] {
        if (auto self = weak.lock()) (*self)->poll();
    });
}

// ---------------------------------------------------------------------------
// Polling

void DragController::poll() {
    if (!drag || !manager_.windows.count(drag->id)) {
        cancel();
        return;
    }
    const WindowPtr window = manager_.windows.at(drag->id);
    if (window->state != ManagedWindow::State::tiled) {
        // It left the strip under the user's hand (full screen, minimised):
        // there is nothing to drop, and while it counted as dragged its own
        // changes of size went unheeded.
        cancel();
        manager_.overlays.showDropIndicator(std::nullopt, std::nullopt);
        return;
    }
    std::weak_ptr<DragController*> weak = self_;

    if ((manager_.input.pressedButtons() & 1) == 0) {
        const Drag finished = *drag;
        cancel();
        manager_.overlays.showDropIndicator(std::nullopt, std::nullopt);
        manager_.system.frame(window->handle, window->pid,
                              [weak, finished](std::optional<Rect> frame) {
                                  if (auto self = weak.lock()) (*self)->end(finished, frame);
                              });
        return;
    }

    scrollAtEdge(*drag);
    if (!drag || drag->reading) return;
    drag->reading = true;
    // The answer belongs to this drag only: a drag that ended (and perhaps a
    // new one that began) in the meantime must not take it.
    const std::uint64_t serial = serial_;
    manager_.system.frame(window->handle, window->pid, [weak, serial](std::optional<Rect> frame) {
        auto self = weak.lock();
        if (!self || (*self)->serial_ != serial) return;
        (*self)->moved(frame);
    });
}

// ---------------------------------------------------------------------------
// Following the window

void DragController::moved(std::optional<Rect> frame) {
    if (!drag) return;
    drag->reading = false;
    if (!manager_.running || !frame) return;
    const auto found = manager_.strips.find(drag->key);
    if (found == manager_.strips.end()) return;
    const std::optional<Display> display = manager_.displayByUUID(drag->key.display);
    if (!display) return;

    // The window is where the user put it; nothing must push it back.
    manager_.animator.assume(drag->id, *frame);
    manager_.writer.noteApplied(drag->id, *frame);

    if (!drag->startSize) drag->startSize = frame->size();
    if (!drag->startOrigin) drag->startOrigin = frame->origin();

    if (drag->resizing || sizeDiffers(frame->size(), *drag->startSize, decideThreshold)) {
        drag->resizing = true;
        Strip strip = found->second;
        applyResize(*frame, *drag, strip, *display);
        const StripKey key = drag->key;
        manager_.strips[key] = std::move(strip);
        // The neighbours move along live while the user holds the edge.
        manager_.relayout({key}, true, Policy::keep, false, true, drag->id);
        return;
    }
    if (originDiffers(frame->origin(), *drag->startOrigin, decideThreshold)) drag->moving = true;
    openGap(*drag, *display);
}

// ---------------------------------------------------------------------------
// Resizing by an edge

void DragController::applyResize(Rect frame, const Drag& drag, Strip& strip,
                                 const Display& display) {
    const auto location = strip.locate(drag.id);
    if (!location) return;
    Column& column = strip.columns[static_cast<std::size_t>(location->column)];

    if (std::fabs(frame.width - drag.origin.width) > resizeThreshold) {
        const double fraction =
            Layout::fractionForWidth(frame.width, display.visible.width, manager_.config.gap);
        column.width = std::clamp(fraction, 0.1, 1.0);
        column.savedWidth.reset();
        // The user's width replaces whatever was learned about these windows.
        for (WindowID id : column.windows) manager_.minWidths.erase(id);
    }

    if (std::fabs(frame.height - drag.origin.height) > resizeThreshold &&
        drag.origin.height > 0 && column.windows.size() >= 2 && !column.tabbed &&
        drag.weights.size() == column.windows.size()) {
        // Always scaled from the weights at the start, so rounding of earlier
        // polls never accumulates.
        std::vector<double> weights = drag.weights;
        const auto row = static_cast<std::size_t>(location->row);
        weights[row] = drag.weights[row] * frame.height / drag.origin.height;
        column.weights = std::move(weights);
    }
}

// ---------------------------------------------------------------------------
// Opening a gap

void DragController::openGap(Drag& drag, const Display& display) {
    const auto found = manager_.strips.find(drag.key);
    if (found == manager_.strips.end()) return;
    const StripKey key = drag.key;
    const WindowID id = drag.id;
    const Point pointer = manager_.input.pointer();

    const std::optional<Display> under = manager_.displayAt(pointer);
    if (under && under->uuid != display.uuid) {
        // Over another display the move is decided on release; close the gap.
        drag.hold.reset();
        // Put the starting arrangement back only when it still holds the same
        // windows: one that opened or closed meanwhile must not be lost or
        // brought back from the dead.
        if (found->second != drag.base && sortedWindows(found->second) == sortedWindows(drag.base)) {
            found->second = drag.base;
            manager_.relayout({key}, true, Policy::none, false, false);
        }
        manager_.overlays.showDropIndicator(std::nullopt, std::nullopt);
        return;
    }

    const LayoutConfig config = manager_.layoutConfig();
    const bool held = drag.hold && drag.hold->contains(pointer.x);
    // Only a window that really travels rearranges the strip: one held by an
    // edge (a resize not yet past its threshold) stays in its column.
    if (!held && travels(drag)) {
        drag.hold.reset();
        const Strip& strip = found->second;
        const Rect viewport = viewportOf(manager_, strip, display);
        const std::vector<Range> ranges = screenRanges(strip, viewport);
        // A pointer that just entered a scrolling zone is not yet stamped in
        // edgeScrolled (the next poll does that); stacking there would only
        // be undone by the scroll a moment later.
        const bool stacking =
            !drag.edgeScrolled && !(drag.moving && edgeZoneAt(display, pointer));
        const std::optional<DropTarget> target = Layout::dropTarget(
            pointer, id, strip, viewport, config, manager_.minWidths, stacking);
        if (target) {
            Strip changed = strip;
            if (changed.move(id, *target)) {
                manager_.strips[key] = std::move(changed);
                manager_.relayout({key}, true, Policy::none, false, false);
                const auto* stack = std::get_if<Stack>(&*target);
                const auto now = manager_.strips.find(key);
                if (stack && now != manager_.strips.end() && stack->column >= 0 &&
                    static_cast<std::size_t>(stack->column) < ranges.size()) {
                    const auto location = now->second.locate(id);
                    const std::vector<Range> after = screenRanges(now->second, viewport);
                    // Stacking shifts the columns under the pointer; without a
                    // hold the next poll would see another target and undo it.
                    if (location && static_cast<std::size_t>(location->column) < after.size() &&
                        after[static_cast<std::size_t>(location->column)] !=
                            ranges[static_cast<std::size_t>(stack->column)]) {
                        drag.hold = ranges[static_cast<std::size_t>(stack->column)];
                    }
                }
            }
        }
    } else if (!held) {
        drag.hold.reset();
    }

    const auto current = manager_.strips.find(key);
    std::optional<Rect> indicator;
    if (current != manager_.strips.end()) {
        const Rect viewport = viewportOf(manager_, current->second, display);
        for (const Placement& placement :
             Layout::placements(current->second, viewport, config, manager_.minWidths)) {
            if (placement.id == id) {
                indicator = placement.frame;
                break;
            }
        }
    }
    manager_.overlays.showDropIndicator(indicator, id);
    manager_.overlays.followFrames();
}

std::vector<DragController::Range> DragController::screenRanges(const Strip& strip,
                                                                Rect viewport) const {
    std::vector<Range> ranges;
    const double left = viewport.minX() - strip.scroll;
    for (const Span& span :
         Layout::spans(strip, viewport.width, manager_.config.gap, manager_.minWidths)) {
        ranges.push_back({left + span.x, left + span.maxX()});
    }
    return ranges;
}

// ---------------------------------------------------------------------------
// Edge scrolling

void DragController::scrollAtEdge(Drag& drag) {
    if (!drag.moving || drag.resizing) return;
    const auto found = manager_.strips.find(drag.key);
    if (found == manager_.strips.end()) return;
    const std::optional<Display> display = manager_.displayByUUID(drag.key.display);
    if (!display) return;
    const Point pointer = manager_.input.pointer();
    if (!display->frame.contains(pointer)) return;
    const std::optional<EdgeZone> zone = edgeZoneAt(*display, pointer);
    if (!zone) {
        drag.edgeScrolled.reset();
        return;
    }

    const double now = manager_.scheduler.now();
    const std::optional<double> previous = drag.edgeScrolled;
    drag.edgeScrolled = now;
    // The first poll in the zone only starts the clock.
    if (!previous) return;
    const double speed = slowestEdgeSpeed + (fastestEdgeSpeed - slowestEdgeSpeed) *
                                                std::min(zone->depth / edgeZone, 1.0);
    const double dt = std::min(now - *previous, longestEdgeStep);

    Strip strip = found->second;
    const double before = strip.scroll;
    strip.scroll += zone->direction * speed * dt;
    const Rect& visible = display->visible;
    Layout::clampScroll(strip, visible.width, manager_.layoutConfig(), manager_.minWidths);
    if (strip.scroll == before) return;
    drag.hold.reset();
    const StripKey key = drag.key;
    manager_.strips[key] = std::move(strip);
    manager_.relayout({key}, true, Policy::none, false, true);
}

std::optional<DragController::EdgeZone> DragController::edgeZoneAt(const Display& display,
                                                                   Point pointer) const {
    if (!display.frame.contains(pointer)) return std::nullopt;
    const Rect& visible = display.visible;
    if (pointer.x < visible.minX() + edgeZone) {
        // Towards a neighbouring display the pointer is on its way over there.
        if (hasNeighbour(display, display.frame.minX() - 2, pointer.y)) return std::nullopt;
        return EdgeZone{visible.minX() + edgeZone - pointer.x, -1};
    }
    if (pointer.x > visible.maxX() - edgeZone) {
        if (hasNeighbour(display, display.frame.maxX() + 2, pointer.y)) return std::nullopt;
        return EdgeZone{pointer.x - (visible.maxX() - edgeZone), 1};
    }
    return std::nullopt;
}

bool DragController::hasNeighbour(const Display& display, double x, double y) const {
    for (const Display& other : manager_.displays) {
        if (other.uuid != display.uuid && other.frame.contains({x, y})) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Dropping

void DragController::end(const Drag& drag, std::optional<Rect> frame) {
    if (!manager_.running || !frame) return;
    const WindowPtr window = manager_.windowRecord(drag.id);
    if (!window || window->state != ManagedWindow::State::tiled) return;
    // Every layout skipped the window while it was dragged. When its strip went
    // away under the drag (display unplugged, sent elsewhere, another Space) the
    // drop cannot be carried out, but the strip it belongs to now must still
    // place it, or it stays wherever the user let go.
    const auto layOutWhereItIs = [&] {
        if (window->key && !manager_.dragging())
            manager_.relayout({*window->key}, true, WindowManager::ScrollPolicy::keep, true, false);
    };
    if (window->key != drag.key) return layOutWhereItIs();
    const auto found = manager_.strips.find(drag.key);
    if (found == manager_.strips.end()) return layOutWhereItIs();
    const std::optional<Display> display = manager_.displayByUUID(drag.key.display);
    if (!display) return layOutWhereItIs();

    manager_.animator.assume(drag.id, *frame);
    manager_.writer.noteApplied(drag.id, *frame);

    const bool resized =
        drag.resizing ||
        (drag.startSize ? sizeDiffers(frame->size(), *drag.startSize, decideThreshold)
                        : sizeDiffers(frame->size(), drag.origin.size(), unreadResizeThreshold));
    const bool moved = originDiffers(frame->origin(), drag.origin.origin(), dropThreshold);

    Strip strip = found->second;
    std::vector<StripKey> keys{drag.key};

    if (resized) {
        Log::drag([&] { return window->tag() + " resized by hand to " + sizeText(frame->size()); });
        if (frame->width < fullWidthShare * display->visible.width) {
            applyResize(*frame, drag, strip, *display);
        } else if (const auto location = strip.locate(drag.id)) {
            // The column as it was before the drag: the live resize has
            // already widened it, and the full-width toggle must see the width
            // to return to.
            Column before = strip.columns[static_cast<std::size_t>(location->column)];
            if (const auto start = drag.base.locate(drag.id)) {
                before = drag.base.columns[static_cast<std::size_t>(start->column)];
            }
            manager_.adoptSize(*frame, drag.id, strip, *display, &before);
        }
    } else if (moved) {
        const Point pointer = manager_.input.pointer();
        const std::optional<Display> target = manager_.displayAt(pointer);
        const auto& disabled = manager_.config.disabledDisplays;
        const auto location = strip.locate(drag.id);
        if (target && target->uuid != display->uuid &&
            std::find(disabled.begin(), disabled.end(), target->uuid) == disabled.end() &&
            location) {
            Log::drag([&] { return window->tag() + " dropped on " + target->name; });
            const double width = strip.columns[static_cast<std::size_t>(location->column)].width;
            strip.remove(drag.id);
            const StripKey newKey = manager_.keyOn(*target);
            const auto existing = manager_.strips.find(newKey);
            Strip destination = existing == manager_.strips.end() ? Strip{} : existing->second;
            const std::optional<int> at = Layout::columnAtViewportX(
                pointer.x - target->visible.minX(), destination, target->visible.width,
                manager_.layoutConfig(), manager_.minWidths);
            destination.insertWindow(drag.id, width, at.value_or(0), true);
            manager_.strips[newKey] = std::move(destination);
            window->key = newKey;
            manager_.activeKey = newKey;
            keys.push_back(newKey);
        } else {
            const int column = location ? location->column + 1 : 1;
            Log::drag([&] { return window->tag() + " dropped in column " + std::to_string(column); });
        }
    }

    strip.focusWindow(drag.id);
    manager_.strips[drag.key] = std::move(strip);
    manager_.relayout(keys, true, Policy::nudge, true, false);
    manager_.overlays.refresh();
    manager_.checkSizes(keys, manager_.config.animationDuration + 0.5, 2);
    if (moved) manager_.overlays.showStrip(drag.key, false);
}

}  // namespace tessaline
