#include "app/InputWiring.h"

#include <utility>

#include "app/SettingsLink.h"
#include "engine/log/Log.h"
#include "engine/wm/WindowManager.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowSystem.h"
#include "platform/x11/input/X11Input.h"

namespace tessaline {

namespace {

void notice(std::string message) {
    LogStore::shared().add(Log::input.category(), LogLevel::defaultLevel, std::move(message));
}

// Stands in when the X server lacks what input capture needs: nothing is
// captured, and the engine still runs on what the window system tells it.
class NoInput final : public InputSource {
public:
    void start(EventHandler) override {}
    void stop() override {}
    void configure(const InputOptions&) override {}
    void watchKeys(bool) override {}
    Point pointer() const override { return {}; }
    int pressedButtons() const override { return 0; }
    void warpPointer(Point) override {}
};

std::string combosText(const std::vector<KeyCombo>& combos) {
    std::string text;
    for (const KeyCombo& combo : combos) {
        if (!text.empty()) text += ", ";
        text += combo.display();
    }
    return text;
}

}  // namespace

InputWiring::InputWiring(X11Connection& connection, X11WindowSystem& system, Scheduler& scheduler)
    : system_(system) {
    input_ = X11Input::create(connection.get(), connection.root(), scheduler, problem_);
    if (!input_) {
        none_ = std::make_unique<NoInput>();
        notice("no input capture (" + problem_ + "): shortcuts, gestures and modified scrolling do nothing");
        return;
    }
    // First in line: the shortcuts, raw input and swipes are the input's; the
    // window system sees what it leaves.
    connection.addEventFilter([input = input_.get(), alive = std::weak_ptr<int>(alive_)](
                                  const xcb_generic_event_t& event) {
        return !alive.expired() && input->handleEvent(event);
    });
    XKeyboard& keyboard = input_->keyboard();
    system_.setNumLockMask(keyboard.numLockMask());
    keyboard.onKeymapChange([this, &keyboard] { system_.setNumLockMask(keyboard.numLockMask()); });
    // Chord scrolling must not take the pointer from a window held by hand.
    input_->setPointerBusy([&system] { return system.handMoving(); });
}

InputWiring::~InputWiring() { system_.isTiled = nullptr; }

InputSource& InputWiring::source() { return input_ ? static_cast<InputSource&>(*input_) : *none_; }

void InputWiring::attach(const std::shared_ptr<WindowManager>& manager, SettingsLink& settings) {
    std::weak_ptr<WindowManager> weak = manager;
    system_.isTiled = [weak](WindowID id) {
        const auto alive = weak.lock();
        const WindowPtr window = alive ? alive->windowRecord(id) : nullptr;
        return window && window->state == ManagedWindow::State::tiled;
    };
    if (!input_) return;

    HotkeyCenter& center = input_->shortcuts().center();
    center.handler = [weak](Action action) {
        Log::input([&] { return "shortcut: " + std::string(toString(action)); });
        if (const auto alive = weak.lock()) alive->perform(action);
    };
    center.onConflicts = [reported = std::vector<KeyCombo>()](const std::vector<KeyCombo>& taken) mutable {
        if (taken == reported) return;
        reported = taken;
        if (!taken.empty()) notice("shortcuts another program holds: " + combosText(taken));
    };
    center.registerBindings(settings.settings().config().bindings);
    // Registering grabs every key again: the link asks only when the table changed.
    settings.onBindingsChanged([&center, alive = std::weak_ptr<int>(alive_)](const Bindings& bindings) {
        if (!alive.expired()) center.registerBindings(bindings);
    });
    settings.setConflictSource([this, alive = std::weak_ptr<int>(alive_)] {
        return alive.expired() ? std::vector<KeyCombo>{} : conflicts();
    });
}

void InputWiring::registerEscape(std::function<void()> handler) {
    if (input_) input_->shortcuts().center().registerEscape(std::move(handler));
}

void InputWiring::releaseEscape() {
    if (input_) input_->shortcuts().center().releaseEscape();
}

void InputWiring::ignoreClicksWhere(std::function<bool(Point)> taken) {
    if (input_) input_->setClickFilter(std::move(taken));
}

Modifiers InputWiring::modifiers() const { return input_ ? input_->keyboard().modifiers() : Modifiers{}; }

bool InputWiring::swipeAvailable() const { return input_ && input_->swipeAvailable(); }

std::string InputWiring::swipeProblem() const { return input_ ? input_->swipeProblem() : problem_; }

std::vector<KeyCombo> InputWiring::conflicts() const {
    return input_ ? input_->shortcuts().center().conflicts() : std::vector<KeyCombo>{};
}

bool InputWiring::gestureTouchpad() const { return input_ && input_->gestureTouchpad(); }

}  // namespace tessaline
