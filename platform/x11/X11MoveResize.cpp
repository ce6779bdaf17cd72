// Moving and resizing windows by hand. Tessaline draws no title bars, so a
// window is taken by Super + left drag (moved) or Super + right drag (resized
// from the edges nearest the pointer), or by the client itself through
// _NET_WM_MOVERESIZE, which is how a client-side-decorated title bar or edge
// starts a drag.
//
// While it lasts the window follows the pointer: its frame becomes the
// user's. With the left button the engine hears `resized` and `moved` for
// every change, as it would of a window dragged by its own title bar or
// edge; with another button, one `resized` at the end. The engine's drag
// controller takes it from there (gaps, stacking, other displays, edge
// scrolling, column widths).
//
// The pointer is held through an XInput 2 grab whose mask carries the raw
// events too: the input source counts the buttons from raw events, and a
// grabbing client receives those only through its grab. The keyboard is
// held for Escape. Both are let go on every way out: the button coming up,
// Escape, the window going, full screen, the engine stopping, the screen
// being given back.

#include <xcb/xinput.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/log/Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowSystem.h"

namespace tessaline {

namespace {

constexpr std::uint32_t kSuper = 1 << 6;  // Mod4
constexpr std::uint32_t kLock = 1 << 1;   // CapsLock
// The Escape key: X keycode 9 (evdev 1 + 8), the physical key the shortcut
// table names too, whatever the layout.
constexpr std::uint8_t kEscapeKeycode = 9;

// _NET_WM_MOVERESIZE directions.
constexpr std::uint32_t kMove = 8, kSizeKeyboard = 9, kMoveKeyboard = 10, kCancel = 11;
// The edges each sizing direction drags, from top-left clockwise.
constexpr int kEdges[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};

// Device events plus the raw ones, which reach a grabbing client only
// through its grab.
constexpr std::uint32_t kGrabMask =
    XCB_INPUT_XI_EVENT_MASK_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_BUTTON_RELEASE |
    XCB_INPUT_XI_EVENT_MASK_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
    XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;

double fromFixed(xcb_input_fp1616_t value) { return static_cast<double>(value) / 65536.0; }

// The edge of a window nearest to a point, per axis: a pointer in the outer
// third of a side drags that side; in the middle of the window, the nearest
// edge alone.
std::pair<int, int> nearestEdges(const Rect& frame, Point pointer) {
    const auto side = [](double offset, double extent) {
        if (extent <= 0) return 1;
        const double f = offset / extent;
        return f < 1.0 / 3 ? -1 : f > 2.0 / 3 ? 1 : 0;
    };
    int x = side(pointer.x - frame.x, frame.width);
    int y = side(pointer.y - frame.y, frame.height);
    if (x == 0 && y == 0) {
        const double distances[4] = {pointer.x - frame.x, frame.maxX() - pointer.x, pointer.y - frame.y,
                                     frame.maxY() - pointer.y};
        const auto nearest = std::min_element(distances, distances + 4) - distances;
        if (nearest < 2) x = nearest == 0 ? -1 : 1;
        else y = nearest == 2 ? -1 : 1;
    }
    return {x, y};
}

}  // namespace

bool X11WindowSystem::handEligible(const Client& client) const {
    return !client.sticky() && !client.fullscreen && !client.iconified && isShown(client);
}

void X11WindowSystem::setNumLockMask(std::uint16_t mask) {
    if (mask == numLockMask_) return;
    const bool held = handGrabs_;
    if (held) grabHandButtons(false);
    numLockMask_ = mask;
    if (held) grabHandButtons(true);
}

void X11WindowSystem::grabHandButtons(bool on) {
    if (xiOpcode_ == 0) return;
    xcb_connection_t* c = x_.get();
    const std::uint32_t numLock = numLockMask_;
    const std::uint32_t modifiers[4] = {kSuper, kSuper | kLock, kSuper | numLock, kSuper | kLock | numLock};
    for (std::uint8_t button : {1, 3}) {
        if (!on) {
            xcb_input_xi_passive_ungrab_device(c, x_.root(), button, XCB_INPUT_DEVICE_ALL_MASTER, 4,
                                               XCB_INPUT_GRAB_TYPE_BUTTON, modifiers);
            continue;
        }
        auto reply = replyTo(xcb_input_xi_passive_grab_device_reply, c,
                             xcb_input_xi_passive_grab_device(
                                 c, XCB_CURRENT_TIME, x_.root(), XCB_NONE, button, XCB_INPUT_DEVICE_ALL_MASTER, 4, 1,
                                 XCB_INPUT_GRAB_TYPE_BUTTON, XCB_INPUT_GRAB_MODE_22_ASYNC,
                                 XCB_INPUT_GRAB_MODE_22_ASYNC, XCB_INPUT_GRAB_OWNER_NO_OWNER, &kGrabMask, modifiers));
        // The reply lists the combinations another client holds.
        if (!reply || reply->num_modifiers > 0) {
            LogStore::shared().add(Log::input.category(), LogLevel::defaultLevel,
                                   "Super + " + std::string(button == 1 ? "left" : "right") +
                                       " drag is taken by another program");
        }
    }
    handGrabs_ = on;
}

bool X11WindowSystem::beginHand(Client& client, HandMove hand, bool grabbed) {
    xcb_connection_t* c = x_.get();
    if (!grabbed) {
        auto reply = replyTo(xcb_input_xi_grab_device_reply, c,
                             xcb_input_xi_grab_device(c, x_.root(), XCB_CURRENT_TIME, XCB_NONE, hand.device,
                                                      XCB_INPUT_GRAB_MODE_22_ASYNC, XCB_INPUT_GRAB_MODE_22_ASYNC,
                                                      XCB_INPUT_GRAB_OWNER_NO_OWNER, 1, &kGrabMask));
        if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS) {
            Log::input([&] { return "couldn't take the pointer to move window #" + std::to_string(client.window); });
            return false;
        }
    }
    hand_ = hand;
    // Escape ends it; without the keyboard only the button does.
    xcb_discard_reply(c, xcb_grab_keyboard(c, 0, x_.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC).sequence);
    raiseWindow(client.window);
    if (client.acceptsInput || client.takeFocus) setFocus(client.window);
    Log::input([&] {
        return std::string(hand.resize ? "resizing" : "moving") + " window #" + std::to_string(client.window) +
               " by hand";
    });
    return true;
}

void X11WindowSystem::followHand(Point pointer) {
    Client* client = hand_ ? find(hand_->window) : nullptr;
    if (!client) return;
    const HandMove& hand = *hand_;
    const double dx = std::round(pointer.x - hand.start.x), dy = std::round(pointer.y - hand.start.y);
    Rect frame = hand.frame;
    if (!hand.resize) {
        frame.x += dx;
        frame.y += dy;
    } else {
        const Size wanted{std::max(1.0, hand.frame.width + hand.edgeX * dx),
                          std::max(1.0, hand.frame.height + hand.edgeY * dy)};
        const Size allowed = client->hints.constrain(Size{hand.edgeX ? wanted.width : hand.frame.width,
                                                          hand.edgeY ? wanted.height : hand.frame.height});
        frame.width = allowed.width;
        frame.height = allowed.height;
        // The edges held still stay where they are.
        if (hand.edgeX < 0) frame.x = hand.frame.maxX() - allowed.width;
        if (hand.edgeY < 0) frame.y = hand.frame.maxY() - allowed.height;
    }
    if (frame == client->frame) return;
    const bool resized = frame.size() != client->frame.size();
    const bool moved = frame.origin() != client->frame.origin();
    client->frame = frame;
    markDirty(*client);
    // With the left button down the engine's drag follows the window live
    // (moves count as drags only then). Any other button is no drag to it: it
    // would take each size as the window's own and lay the column out
    // around it while the user still pulls, so it hears of the size once.
    if (hand.button != 1) {
        hand_->resizedUnsaid = hand_->resizedUnsaid || resized;
        return;
    }
    if (resized) emitWindow(WindowEvent::resized, *client);
    if (moved) emitWindow(WindowEvent::moved, *client);
}

void X11WindowSystem::endHand() {
    if (!hand_) return;
    const HandMove hand = *hand_;
    hand_.reset();
    xcb_input_xi_ungrab_device(x_.get(), XCB_CURRENT_TIME, hand.device);
    xcb_ungrab_keyboard(x_.get(), XCB_CURRENT_TIME);
    Client* client = find(hand.window);
    if (!client) return;
    followToDisplay(*client);
    if (hand.resizedUnsaid) emitWindow(WindowEvent::resized, *client);
}

// ---------------------------------------------------------------------------
// Events

void X11WindowSystem::onGenericEvent(const xcb_generic_event_t& event) {
    if (xiOpcode_ == 0) return;
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (generic.extension != xiOpcode_) return;
    switch (generic.event_type) {
        case XCB_INPUT_BUTTON_PRESS: {
            // A Super-button grab went off: take the window under the pointer.
            const auto& press = reinterpret_cast<const xcb_input_button_press_event_t&>(event);
            x_.noteTime(press.time);
            if (hand_) return;  // another button during a drag changes nothing
            Client* client = find(press.child);
            const Point pointer{fromFixed(press.root_x), fromFixed(press.root_y)};
            if (!client || !handEligible(*client)) {
                xcb_input_xi_ungrab_device(x_.get(), press.time, press.deviceid);
                return;
            }
            HandMove hand{client->window, press.deviceid, static_cast<std::uint8_t>(press.detail),
                          press.detail != 1, 0, 0, pointer, client->frame};
            if (hand.resize) std::tie(hand.edgeX, hand.edgeY) = nearestEdges(client->frame, pointer);
            beginHand(*client, hand, true);
            return;
        }
        case XCB_INPUT_MOTION: {
            const auto& motion = reinterpret_cast<const xcb_input_motion_event_t&>(event);
            if (hand_ && motion.deviceid == hand_->device) followHand({fromFixed(motion.root_x), fromFixed(motion.root_y)});
            return;
        }
        case XCB_INPUT_BUTTON_RELEASE:
        case XCB_INPUT_RAW_BUTTON_RELEASE: {
            // Raw releases end it too, should the grab have been taken from us.
            const auto& release = reinterpret_cast<const xcb_input_button_release_event_t&>(event);
            if (hand_ && (generic.event_type == XCB_INPUT_RAW_BUTTON_RELEASE || release.detail == hand_->button)) {
                x_.noteTime(release.time);
                endHand();
            }
            return;
        }
        default: return;
    }
}

void X11WindowSystem::onKeyPress(const xcb_key_press_event_t& event) {
    if (hand_ && event.detail == kEscapeKeycode) endHand();
}

void X11WindowSystem::onMoveResizeRequest(Client& client, const std::uint32_t* data) {
    const std::uint32_t direction = data[2];
    if (direction == kCancel) {
        if (hand_ && hand_->window == client.window) endHand();
        return;
    }
    // Moving with the arrow keys is left to the shortcuts.
    if (direction == kSizeKeyboard || direction == kMoveKeyboard || direction > kCancel) return;
    if (hand_ || !handEligible(client)) return;

    xcb_connection_t* c = x_.get();
    auto device = replyTo(xcb_input_xi_get_client_pointer_reply, c, xcb_input_xi_get_client_pointer(c, XCB_NONE));
    HandMove hand;
    hand.window = client.window;
    hand.device = device && device->set ? device->deviceid : 2;  // 2: the core pointer
    hand.button = static_cast<std::uint8_t>(data[3] >= 1 && data[3] <= 5 ? data[3] : 1);
    hand.resize = direction != kMove;
    if (hand.resize) {
        hand.edgeX = kEdges[direction][0];
        hand.edgeY = kEdges[direction][1];
    }
    hand.frame = client.frame;
    if (!beginHand(client, hand, false)) return;
    // The button may have come up before the request arrived: then it is over
    // already. Where the pointer is now is where the drag starts.
    auto pointer = replyTo(xcb_query_pointer_reply, c, xcb_query_pointer(c, x_.root()));
    if (!pointer || !(pointer->mask & (XCB_BUTTON_MASK_1 << (hand.button - 1)))) {
        endHand();
        return;
    }
    hand_->start = Point{static_cast<double>(pointer->root_x), static_cast<double>(pointer->root_y)};
}

}  // namespace tessaline
