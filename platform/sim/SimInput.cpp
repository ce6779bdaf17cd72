#include "platform/sim/SimInput.h"

#include <utility>

#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline {

void SimInput::start(EventHandler handler) {
    handler_ = std::move(handler);
    ++generation_;
}

void SimInput::stop() {
    handler_ = nullptr;
    ++generation_;
}

void SimInput::configure(const InputOptions& options) {
    options_ = options;
    configureCalls_.push_back(options);
}

void SimInput::watchKeys(bool on) {
    keysWatched_ = on;
    watchKeysCalls_.push_back(on);
}

Point SimInput::pointer() const { return desk_ ? desk_->pointer_ : Point{}; }
int SimInput::pressedButtons() const { return desk_ ? desk_->buttons_ : 0; }

void SimInput::warpPointer(Point point) {
    warps_.push_back(point);
    if (desk_) desk_->pointer_ = point;  // a warp is not a user's move: no event
}

bool SimInput::captures(const InputEvent& event) const {
    if (std::holds_alternative<PointerMoved>(event)) return options_.pointerMoves;
    if (std::holds_alternative<KeyDown>(event)) return keysWatched_;
    if (std::holds_alternative<SwipeBegan>(event) || std::holds_alternative<SwipeMoved>(event) ||
        std::holds_alternative<SwipeEnded>(event))
        return options_.swipeFingers.has_value();
    if (std::holds_alternative<ScrollBegan>(event) || std::holds_alternative<ScrollMoved>(event) ||
        std::holds_alternative<ScrollEnded>(event) || std::holds_alternative<ScrollStepped>(event))
        return options_.chordScroll;
    return true;
}

void SimInput::inject(const InputEvent& event) {
    if (!desk_ || !handler_ || !captures(event)) return;
    desk_->post(0, [this, generation = generation_, event] {
        if (!handler_ || generation != generation_) return;
        auto handler = handler_;
        handler(event);
    });
}

void SimInput::movePointer(Point point) {
    if (!desk_) return;
    desk_->pointer_ = point;
    inject(PointerMoved{});
}

void SimInput::pressButton(int button) {
    if (!desk_ || button < 0 || button > 30) return;
    desk_->buttons_ |= 1 << button;
    if (button == 0) {
        if (auto top = desk_->system()->topWindow(desk_->pointer_)) desk_->focusWindow(*top);
    }
    if (button <= 1) inject(MouseDown{desk_->pointer_});
}

void SimInput::releaseButton(int button) {
    if (!desk_ || button < 0 || button > 30) return;
    desk_->buttons_ &= ~(1 << button);
    if (button == 0) inject(MouseUp{});
}

void SimInput::click(Point point) {
    movePointer(point);
    pressButton(0);
    releaseButton(0);
}

void SimInput::setModifiers(Modifiers modifiers) {
    if (modifiers == modifiers_) return;
    modifiers_ = modifiers;
    inject(ModifiersChanged{modifiers});
}

void SimInput::pressKey() { inject(KeyDown{}); }

}  // namespace tessaline
