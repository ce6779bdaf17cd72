// One loop turn of the window manager: take in every queued event, then send
// X the difference between the desired state and what X has been told
// (geometry, mapping, window states, stacking, focus, root properties), in
// one batch with one flush, and answer the sync requests that waited for it.

#include <algorithm>
#include <cmath>

#include "engine/log/Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FrameWriter.h"
#include "platform/x11/X11WindowSystem.h"

namespace tessaline {

namespace {

constexpr std::uint32_t kNormalState = 1;
constexpr std::uint32_t kIconicState = 3;

std::uint32_t coordinate(double value) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(std::clamp(value, -32768.0, 32767.0))));
}

std::uint32_t extent(double value) {
    return static_cast<std::uint32_t>(std::lround(std::clamp(value, 1.0, 32767.0)));
}

}  // namespace

void X11WindowSystem::turn() {
    if (x_.broken()) {
        if (managing_) {
            managing_ = false;
            Log::lifecycle.error("lost the connection to the X server");
            if (onConnectionLost) onConnectionLost();
        }
        return;
    }
    const auto handle = [this](const xcb_generic_event_t& event) { handleEvent(event); };
    x_.drain(handle);
    push();
    x_.flush();
    // Replies waited for while pushing may have brought events along.
    while (x_.drainQueued(handle) > 0) {
        push();
        x_.flush();
    }
    showUnplaced();
    answerSyncs();
}

void X11WindowSystem::showUnplaced() {
    // With no work left, the engine has answered every event it was given:
    // a window still held is one it leaves alone (a floating one), shown
    // where its client put it. This bounds the hold to one settling of the loop.
    if (awaitingFrame_.empty() || loop_.hasPostedWork()) return;
    for (xcb_window_t window : std::vector<xcb_window_t>(awaitingFrame_)) {
        if (Client* client = find(window)) stopAwaitingFrame(*client);
    }
    awaitingFrame_.clear();
    push();
    x_.flush();
}

void X11WindowSystem::push() {
    if (!managing_) return;
    // A window held by hand that vanished, went full screen or out of sight
    // lets go of the pointer and keyboard at once.
    if (hand_) {
        const Client* held = find(hand_->window);
        if (!held || !handEligible(*held)) endHand();
    }
    if (writer_) writer_->flushPending();
    // The keyboard moves first when its window is already on screen: the
    // application hears of it before the server works through the frames.
    if (const Client* target = find(focus_); target && target->mappedX && !target->awaitingFrame) pushFocus();
    // Taken out first: pushing one client never dirties another, but a
    // handler run later in the turn may dirty this one again.
    std::vector<xcb_window_t> dirty;
    dirty.swap(dirty_);
    for (xcb_window_t window : dirty) {
        if (Client* client = find(window)) pushClient(*client);
    }
    pushStacking();
    pushFocus();
    pushRoot();
}

void X11WindowSystem::pushClient(Client& client) {
    client.dirty = false;
    xcb_connection_t* c = x_.get();
    if (client.frame != client.xFrame) {
        const std::uint32_t values[4] = {coordinate(client.frame.x), coordinate(client.frame.y),
                                         extent(client.frame.width), extent(client.frame.height)};
        xcb_configure_window(c, client.window,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             values);
        client.xFrame = client.frame;
    }
    if (!client.sticky()) {
        const std::uint32_t state = client.shouldMap ? kNormalState : kIconicState;
        // A window held for its first frame is not iconic: it stays withdrawn
        // until it is mapped.
        if (client.wmState != state && !client.awaitingFrame) {
            const std::uint32_t values[2] = {state, XCB_NONE};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, client.window, x_.atom(Atom::WM_STATE),
                                x_.atom(Atom::WM_STATE), 32, 2, values);
            client.wmState = state;
        }
        std::vector<std::uint32_t> netState;
        if (client.fullscreen) netState.push_back(x_.atom(Atom::_NET_WM_STATE_FULLSCREEN));
        if (client.iconified) netState.push_back(x_.atom(Atom::_NET_WM_STATE_HIDDEN));
        if (client.netState != netState) {
            x_.setValues(client.window, x_.atom(Atom::_NET_WM_STATE), XCB_ATOM_ATOM, netState);
            client.netState = std::move(netState);
        }
    }
    const std::uint32_t desktop = desktopOf(client);
    if (client.desktop != desktop) {
        x_.setValues(client.window, x_.atom(Atom::_NET_WM_DESKTOP), XCB_ATOM_CARDINAL, {desktop});
        client.desktop = desktop;
    }
    if (client.shouldMap && !client.mappedX) {
        xcb_map_window(c, client.window);
        client.mappedX = true;
        client.placed = true;
    } else if (!client.shouldMap && client.mappedX) {
        // Its UnmapNotify is ours, not the client withdrawing.
        ++client.ignoreUnmaps;
        xcb_unmap_window(c, client.window);
        client.mappedX = false;
    }
}

std::vector<xcb_window_t> X11WindowSystem::stackingOrder() const {
    // Layers from the bottom: desktops, application windows, their dialogs
    // and tools, docks, full-screen windows; a transient sits above the
    // window it belongs to.
    const auto own = [this](const Client& client) {
        if (client.fullscreen) return 5;
        if (client.kind == WindowKind::desktop) return 0;
        if (client.kind == WindowKind::dock) return 4;
        // Dialogs, tools, fixed-size windows and the windows the engine
        // floats lie above the columns.
        if (!client.standard() || client.hints.fixed()) return 2;
        return !handler_ || !isTiled || isTiled(client.window) ? 1 : 2;
    };
    // Doubled, so that a transient can sit just above its window's layer.
    const auto layerOf = [&](const Client& client) {
        int layer = 2 * own(client);
        int below = -1;
        const Client* parent = find(client.transientFor);
        for (int depth = 0; parent && depth < 8; ++depth) {
            below = std::max(below, 2 * own(*parent) + 1 + depth);
            parent = find(parent->transientFor);
        }
        return std::max(layer, below);
    };
    std::vector<std::pair<int, xcb_window_t>> layered;
    layered.reserve(stack_.size());
    for (xcb_window_t window : stack_) {
        if (const Client* client = find(window)) layered.emplace_back(layerOf(*client), window);
    }
    std::stable_sort(layered.begin(), layered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<xcb_window_t> order;
    order.reserve(layered.size());
    for (const auto& entry : layered) order.push_back(entry.second);
    return order;
}

void X11WindowSystem::pushStacking() {
    if (!stackDirty_) return;
    stackDirty_ = false;
    const std::vector<xcb_window_t> desired = stackingOrder();
    // What X has, without the windows that are gone.
    std::erase_if(publishedStack_, [this](xcb_window_t window) { return !find(window); });
    std::size_t first = 0;
    while (first < desired.size() && first < publishedStack_.size() && desired[first] == publishedStack_[first]) ++first;
    if (first == desired.size() && desired.size() == publishedStack_.size()) return;
    // Everything from the first difference up is put in place, bottom to top.
    for (std::size_t i = first; i < desired.size(); ++i) {
        if (i == 0) {
            const std::uint32_t bottom = XCB_STACK_MODE_BELOW;
            xcb_configure_window(x_.get(), desired[i], XCB_CONFIG_WINDOW_STACK_MODE, &bottom);
        } else {
            const std::uint32_t values[2] = {desired[i - 1], XCB_STACK_MODE_ABOVE};
            xcb_configure_window(x_.get(), desired[i], XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE,
                                 values);
        }
    }
    publishedStack_ = desired;
    rootDirty_ = true;
}

void X11WindowSystem::pushFocus() {
    if (focus_ == focusSent_ && !refocus_) return;
    const Client* client = find(focus_);
    // A new window gets the focus once it is mapped, in the push that maps it.
    if (client && client->awaitingFrame) return;
    refocus_ = false;
    const xcb_timestamp_t time = x_.lastTime() ? x_.lastTime() : XCB_CURRENT_TIME;
    if (!client || !client->mappedX) {
        // Nothing to focus: the keyboard goes to the root (and its grabs).
        const auto cookie =
            xcb_set_input_focus(x_.get(), XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT, time);
        focusSequence_ = static_cast<std::uint16_t>(cookie.sequence);
        focusPending_ = true;
        focusSent_ = focus_;
        return;
    }
    if (client->acceptsInput) {
        const auto cookie = xcb_set_input_focus(x_.get(), XCB_INPUT_FOCUS_POINTER_ROOT, client->window, time);
        focusSequence_ = static_cast<std::uint16_t>(cookie.sequence);
        focusPending_ = true;
    }
    if (client->takeFocus) {
        x_.sendMessage(client->window, client->window, x_.atom(Atom::WM_PROTOCOLS),
                       {x_.atom(Atom::WM_TAKE_FOCUS), time, 0, 0, 0}, XCB_EVENT_MASK_NO_EVENT);
    }
    focusSent_ = focus_;
}

void X11WindowSystem::pushRoot() {
    if (!rootDirty_) return;
    rootDirty_ = false;
    const xcb_window_t root = x_.root();

    std::vector<const Client*> ordered;
    ordered.reserve(clients_.size());
    for (const auto& [window, client] : clients_) {
        if (!client.sticky()) ordered.push_back(&client);
    }
    std::sort(ordered.begin(), ordered.end(), [](const Client* a, const Client* b) { return a->order < b->order; });
    std::vector<xcb_window_t> list;
    list.reserve(ordered.size());
    for (const Client* client : ordered) list.push_back(client->window);
    if (list != publishedClients_) {
        x_.setValues(root, x_.atom(Atom::_NET_CLIENT_LIST), XCB_ATOM_WINDOW, list);
        publishedClients_ = std::move(list);
    }

    std::vector<xcb_window_t> stacking;
    stacking.reserve(publishedStack_.size());
    for (xcb_window_t window : publishedStack_) {
        const Client* client = find(window);
        if (client && !client->sticky()) stacking.push_back(window);
    }
    if (stacking != publishedStacking_) {
        x_.setValues(root, x_.atom(Atom::_NET_CLIENT_LIST_STACKING), XCB_ATOM_WINDOW, stacking);
        publishedStacking_ = std::move(stacking);
    }

    const auto count = static_cast<std::uint32_t>(monitors_.size() * workspacesPerDisplay);
    if (publishedDesktops_ != count) {
        x_.setValues(root, x_.atom(Atom::_NET_NUMBER_OF_DESKTOPS), XCB_ATOM_CARDINAL, {count});
        publishedDesktops_ = count;
    }
    std::string names;
    for (const Monitor& monitor : monitors_) {
        for (int i = 1; i <= workspacesPerDisplay; ++i) {
            if (monitors_.size() > 1) names += monitor.info.name + ":";
            names += std::to_string(i);
            names += '\0';
        }
    }
    if (publishedNames_ != names) {
        x_.setText(root, x_.atom(Atom::_NET_DESKTOP_NAMES), names);
        publishedNames_ = names;
    }
    const int active = monitorIndex(activeMonitor());
    const std::uint32_t current =
        active < 0 ? 0
                   : static_cast<std::uint32_t>(active * workspacesPerDisplay +
                                                monitors_[static_cast<std::size_t>(active)].current);
    if (publishedCurrent_ != current) {
        x_.setValues(root, x_.atom(Atom::_NET_CURRENT_DESKTOP), XCB_ATOM_CARDINAL, {current});
        publishedCurrent_ = current;
    }
    const xcb_window_t activeWindow = find(focus_) ? focus_ : XCB_NONE;
    if (publishedActive_ != activeWindow) {
        x_.setValues(root, x_.atom(Atom::_NET_ACTIVE_WINDOW), XCB_ATOM_WINDOW, {activeWindow});
        publishedActive_ = activeWindow;
    }
}

void X11WindowSystem::answerSyncs() {
    // Only once nothing is left to do: the work the synced events started
    // (the engine's answers, its frames) is part of what the client waits for.
    if (syncs_.empty() || loop_.hasPostedWork()) return;
    for (const auto& [window, cookie] : syncs_) {
        x_.sendMessage(window, window, x_.atom(Atom::_TESSALINE_SYNC), {window, cookie, 0, 0, 0},
                       XCB_EVENT_MASK_NO_EVENT);
    }
    syncs_.clear();
    x_.flush();
}

}  // namespace tessaline
