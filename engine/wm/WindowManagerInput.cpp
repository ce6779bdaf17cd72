// The single entry point of the input source: every event is routed to the
// focus, scroll or chord controller.

#include "engine/wm/WindowManager.h"

#include <variant>

#include "engine/wm/DragController.h"
#include "engine/wm/FocusController.h"
#include "engine/wm/Overloaded.h"
#include "engine/wm/ScrollController.h"

namespace tessaline {

void WindowManager::handle(const InputEvent& event) {
    if (!running) return;

    // Width of the visible area under the gesture in progress: swipe deltas
    // and flings are measured against it. Absent when no gesture runs or its
    // display went away.
    const auto gestureWidth = [this]() -> std::optional<double> {
        const ScrollController& controller = scroll();
        if (!controller.key) return std::nullopt;
        const std::optional<Display> display = displayByUUID(controller.key->display);
        if (!display) return std::nullopt;
        return display->visible.width;
    };

    std::visit(Overloaded{
                   [&](const MouseDown& e) {
                       lastClick = scheduler.now();
                       lastClickPoint = e.point;
                       drag().pressed(e.point);
                       overlays.clickedElsewhere();
                   },
                   [&](const ModifiersChanged& e) { chord().modifiersChanged(e.modifiers); },
                   [&](const SwipeMoved& e) {
                       if (auto width = gestureWidth()) {
                           scroll().moved(*width * e.delta * config.swipeSensitivity);
                       }
                   },
                   [&](const SwipeEnded& e) {
                       if (auto width = gestureWidth()) {
                           const double k = *width * config.swipeSensitivity;
                           scroll().settle(e.velocity * k, 0.5 * k);
                       } else {
                           scroll().reset();
                       }
                   },
                   // Modified scrolling already arrives in points.
                   [&](const ScrollMoved& e) { scroll().moved(e.delta); },
                   [&](const ScrollEnded& e) {
                       if (auto width = gestureWidth()) {
                           scroll().settle(e.velocity, 0.5 * *width);
                       } else {
                           scroll().reset();
                       }
                   },
                   [&](const ScrollStepped& e) {
                       chord().used = true;
                       scroll().stepped(e.steps);
                   },
                   [&](const MouseUp&) { focus().mouseReleased(); },
                   [&](const PointerMoved&) { focus().pointerMoved(); },
                   [&](const KeyDown&) { chord().used = true; },
                   [&](const SwipeBegan&) { scroll().begin(); },
                   [&](const ScrollBegan&) {
                       chord().used = true;
                       scroll().begin();
                   },
               },
               event);
}

}  // namespace tessaline
