#include "platform/x11/input/X11Input.h"

#include <xcb/xinput.h>

#include <cstdlib>

#include "engine/actions/KeyNames.h"
#include "platform/input/XkbKeyNames.h"
#include "platform/x11/input/XiEvents.h"

namespace tessaline {

std::unique_ptr<X11Input> X11Input::create(xcb_connection_t* connection, xcb_window_t root,
                                           Scheduler& scheduler, std::string& error) {
    if (xi::opcode(connection) == 0) {
        error = "the X server has no XInput extension";
        return nullptr;
    }
    auto* version = xcb_input_xi_query_version_reply(
        connection, xcb_input_xi_query_version(connection, 2, 4), nullptr);
    int major = version ? version->major_version : 0;
    int minor = version ? version->minor_version : 0;
    std::free(version);
    if (major < 2 || (major == 2 && minor < 2)) {
        error = "the X server's XInput is older than 2.2";
        return nullptr;
    }
    auto keyboard = XKeyboard::create(connection, error);
    if (!keyboard) return nullptr;
    bool gestures = major > 2 || minor >= 4;
    return std::unique_ptr<X11Input>(
        new X11Input(connection, root, scheduler, std::move(keyboard), gestures));
}

X11Input::X11Input(xcb_connection_t* connection, xcb_window_t root, Scheduler& scheduler,
                   std::unique_ptr<XKeyboard> keyboard, bool gestures)
    : connection_(connection),
      root_(root),
      opcode_(xi::opcode(connection)),
      gestures_(gestures),
      keyboard_(std::move(keyboard)),
      devices_(connection),
      pointer_(connection, root),
      scroll_(connection, root, scheduler, devices_),
      swipes_(connection, root, devices_),
      shortcuts_(connection, root, *keyboard_) {
    auto deliver = [this](const InputEvent& e) { this->deliver(e); };
    pointer_.onEvent = deliver;
    scroll_.onEvent = deliver;
    swipes_.onEvent = deliver;
    // Key names follow the keymap and the layout in use.
    auto names = [this] {
        KeyNames::setTranslator(xkbKeyNameTranslator(keyboard_->keymap(), keyboard_->layout()));
    };
    names();
    keyboard_->onKeymapChange(names);
    keyboard_->onLayoutChange(names);
    keyboard_->onModifiers([this](Modifiers held) {
        scroll_.modifiersChanged(held);
        this->deliver(ModifiersChanged{held});
    });
}

X11Input::~X11Input() {
    stop();
    KeyNames::setTranslator(nullptr);
}

void X11Input::start(EventHandler handler) {
    handler_ = std::move(handler);
    devices_.refresh();
    pointer_.resync();
    scroll_.modifiersChanged(keyboard_->modifiers());
    selectRootEvents(true);
}

void X11Input::stop() {
    selectRootEvents(false);
    configure({});
    watchKeys(false);
    handler_ = nullptr;
}

void X11Input::configure(const InputOptions& options) {
    if (configured_ && options == options_) return;
    bool fingersChanged = !configured_ || options.swipeFingers != options_.swipeFingers;
    options_ = options;
    configured_ = true;
    if (fingersChanged) swipes_.setFingers(gestures_ ? options.swipeFingers : std::nullopt);
    scroll_.setEnabled(options.chordScroll);
    pointer_.pointerMoves = options.pointerMoves;
}

void X11Input::watchKeys(bool on) { pointer_.keys = on; }

std::string X11Input::swipeProblem() const {
    if (!gestures_ && options_.swipeFingers) return "the X server's XInput is older than 2.4, which brought touchpad gestures";
    return swipes_.problem();
}

Point X11Input::pointer() const { return pointer_.pointer(); }

int X11Input::pressedButtons() const { return pointer_.pressedButtons(); }

void X11Input::warpPointer(Point point) { pointer_.warpPointer(point); }

bool X11Input::handleEvent(const xcb_generic_event_t& event) {
    bool handled = keyboard_->handleEvent(event);
    handled = shortcuts_.handleEvent(event) || handled;
    // A device came, went or changed: what it can do is read again, and a
    // touchpad plugged in late can start swiping.
    if (auto type = xi::eventType(event, opcode_);
        type && (*type == XCB_INPUT_HIERARCHY || *type == XCB_INPUT_DEVICE_CHANGED)) {
        devices_.refresh();
        if (!swipes_.available() && options_.swipeFingers && gestures_) {
            swipes_.setFingers(options_.swipeFingers);
        }
        return true;
    }
    // Every piece sees every event, started or not: a swipe's start holds the
    // touchpad until it is answered, so nothing may be left unanswered.
    handled = pointer_.handleEvent(event) || handled;
    handled = scroll_.handleEvent(event) || handled;
    handled = swipes_.handleEvent(event) || handled;
    return handled;
}

void X11Input::deliver(const InputEvent& event) {
    if (const auto* down = std::get_if<MouseDown>(&event); down && clickTaken_ && clickTaken_(down->point)) return;
    if (handler_) handler_(event);
}

// One selection for the whole program on the root window: XISelectEvents
// replaces a client's earlier mask for the same window and device.
void X11Input::selectRootEvents(bool on) {
    std::uint32_t devices = XCB_INPUT_XI_EVENT_MASK_HIERARCHY | XCB_INPUT_XI_EVENT_MASK_DEVICE_CHANGED;
    std::uint32_t raw = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                        XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE |
                        XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
    xi::select(connection_, root_, on ? devices : 0, on ? raw : 0);
}

}  // namespace tessaline
