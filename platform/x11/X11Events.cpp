// Every X event the window manager handles: one switch, one short handler
// per event, and a table for the properties it follows.

#include <xcb/randr.h>

#include <algorithm>
#include <cstdio>

#include "engine/log/Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FrameWriter.h"
#include "platform/x11/X11WindowSystem.h"

namespace tessaline {

namespace {

constexpr std::uint32_t kIconicState = 3;
constexpr std::uint32_t kStateRemove = 0, kStateAdd = 1, kStateToggle = 2;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

// Did the event happen before the request with this sequence number was
// processed? Events carry the low 16 bits of the last request's number.
bool before(std::uint16_t eventSequence, std::uint16_t requestSequence) {
    return static_cast<std::int16_t>(eventSequence - requestSequence) < 0;
}

}  // namespace

void X11WindowSystem::handleEvent(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7f;
    switch (type) {
        case XCB_MAP_REQUEST: onMapRequest(reinterpret_cast<const xcb_map_request_event_t&>(event)); return;
        case XCB_CONFIGURE_REQUEST:
            onConfigureRequest(reinterpret_cast<const xcb_configure_request_event_t&>(event));
            return;
        case XCB_CONFIGURE_NOTIFY:
            onConfigureNotify(reinterpret_cast<const xcb_configure_notify_event_t&>(event));
            return;
        case XCB_UNMAP_NOTIFY: onUnmapNotify(reinterpret_cast<const xcb_unmap_notify_event_t&>(event)); return;
        case XCB_DESTROY_NOTIFY:
            onDestroyNotify(reinterpret_cast<const xcb_destroy_notify_event_t&>(event));
            return;
        case XCB_PROPERTY_NOTIFY:
            onPropertyNotify(reinterpret_cast<const xcb_property_notify_event_t&>(event));
            return;
        case XCB_CLIENT_MESSAGE:
            onClientMessage(reinterpret_cast<const xcb_client_message_event_t&>(event));
            return;
        case XCB_FOCUS_IN: onFocusIn(reinterpret_cast<const xcb_focus_in_event_t&>(event)); return;
        case XCB_BUTTON_PRESS: onButtonPress(reinterpret_cast<const xcb_button_press_event_t&>(event)); return;
        case XCB_SELECTION_CLEAR: {
            const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
            if (clear.selection == x_.atom(Atom::WM_S0) && clear.owner == checkWindow_ && onReplaced) onReplaced();
            return;
        }
        default: break;
    }
    const std::uint8_t randr = x_.randrEvents();
    if (randr && (type == randr + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == randr + XCB_RANDR_NOTIFY)) {
        refreshMonitors();
    }
}

// ---------------------------------------------------------------------------
// Windows appearing and going

void X11WindowSystem::onMapRequest(const xcb_map_request_event_t& event) {
    if (Client* client = find(event.window)) {
        // A client that maps its window again asks to have it back.
        if (client->iconified) deiconify(*client, true);
        return;
    }
    manage(event.window, false);
}

void X11WindowSystem::onUnmapNotify(const xcb_unmap_notify_event_t& event) {
    Client* client = find(event.window);
    if (!client) return;
    const bool synthetic = event.response_type & 0x80;
    if (!synthetic && client->ignoreUnmaps > 0) {
        --client->ignoreUnmaps;  // one of our own
        return;
    }
    if (!synthetic) client->mappedX = false;
    unmanage(*client, false);
}

void X11WindowSystem::onDestroyNotify(const xcb_destroy_notify_event_t& event) {
    if (Client* client = find(event.window)) unmanage(*client, true);
}

// ---------------------------------------------------------------------------
// Geometry

bool X11WindowSystem::tiledByEngine(const Client& client) const {
    return handler_ && client.standard() && !client.hints.fixed() && writer_ &&
           writer_->placedByEngine(client.window);
}

void X11WindowSystem::onConfigureRequest(const xcb_configure_request_event_t& event) {
    Client* client = find(event.window);
    if (!client) {
        // Not ours (yet): as asked.
        std::uint32_t values[7];
        std::uint16_t mask = 0;
        int n = 0;
        auto add = [&](std::uint16_t bit, std::uint32_t value) {
            if (!(event.value_mask & bit)) return;
            mask |= bit;
            values[n++] = value;
        };
        add(XCB_CONFIG_WINDOW_X, static_cast<std::uint32_t>(event.x));
        add(XCB_CONFIG_WINDOW_Y, static_cast<std::uint32_t>(event.y));
        add(XCB_CONFIG_WINDOW_WIDTH, event.width);
        add(XCB_CONFIG_WINDOW_HEIGHT, event.height);
        add(XCB_CONFIG_WINDOW_BORDER_WIDTH, event.border_width);
        add(XCB_CONFIG_WINDOW_SIBLING, event.sibling);
        add(XCB_CONFIG_WINDOW_STACK_MODE, event.stack_mode);
        xcb_configure_window(x_.get(), event.window, mask, values);
        return;
    }
    // Docks place themselves, and so do windows the engine does not tile;
    // a tiled or full-screen window stays where it is.
    Rect asked = client->frame;
    if (client->sticky() || (!tiledByEngine(*client) && !client->fullscreen)) {
        if (event.value_mask & XCB_CONFIG_WINDOW_X) asked.x = event.x;
        if (event.value_mask & XCB_CONFIG_WINDOW_Y) asked.y = event.y;
        if (event.value_mask & XCB_CONFIG_WINDOW_WIDTH) asked.width = std::max<double>(1, event.width);
        if (event.value_mask & XCB_CONFIG_WINDOW_HEIGHT) asked.height = std::max<double>(1, event.height);
    }
    if (asked != client->frame) {
        const bool resized = asked.size() != client->frame.size();
        client->frame = asked;
        markDirty(*client);
        followToDisplay(*client);
        if (resized) emitWindow(WindowEvent::resized, *client);
        return;
    }
    // Refused or unchanged: tell the client where it really is, as ICCCM
    // asks, so it stops waiting for a change that will not come.
    alignas(4) char buffer[32] = {};
    auto* notify = reinterpret_cast<xcb_configure_notify_event_t*>(buffer);
    notify->response_type = XCB_CONFIGURE_NOTIFY;
    notify->event = client->window;
    notify->window = client->window;
    notify->above_sibling = XCB_NONE;
    notify->x = static_cast<std::int16_t>(client->frame.x);
    notify->y = static_cast<std::int16_t>(client->frame.y);
    notify->width = static_cast<std::uint16_t>(client->frame.width);
    notify->height = static_cast<std::uint16_t>(client->frame.height);
    notify->border_width = 0;
    notify->override_redirect = 0;
    xcb_send_event(x_.get(), 0, client->window, XCB_EVENT_MASK_STRUCTURE_NOTIFY, buffer);
}

void X11WindowSystem::onConfigureNotify(const xcb_configure_notify_event_t& event) {
    // The screen itself changed size (Xvfb reports monitor changes this way only).
    if (event.window == x_.root()) refreshMonitors();
}

// ---------------------------------------------------------------------------
// Properties

void X11WindowSystem::onPropertyNotify(const xcb_property_notify_event_t& event) {
    Client* client = find(event.window);
    if (!client) return;
    using Handler = void (*)(X11WindowSystem&, Client&);
    struct Entry {
        Atom atom;
        xcb_atom_t predefined;
        Handler handle;
    };
    static const Entry table[] = {
        {Atom::count, XCB_ATOM_WM_NAME, [](X11WindowSystem& self, Client& c) {
             const std::string old = c.title;
             self.readTitle(c);
             if (c.title != old) self.emitWindow(WindowEvent::titleChanged, c);
         }},
        {Atom::_NET_WM_NAME, XCB_NONE, [](X11WindowSystem& self, Client& c) {
             const std::string old = c.title;
             self.readTitle(c);
             if (c.title != old) self.emitWindow(WindowEvent::titleChanged, c);
         }},
        {Atom::count, XCB_ATOM_WM_NORMAL_HINTS, [](X11WindowSystem& self, Client& c) {
             auto hints = self.x_.readProperty(c.window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 18);
             c.hints = SizeHints::parse(hints ? hints->values() : std::vector<std::uint32_t>{});
         }},
        {Atom::count, XCB_ATOM_WM_HINTS, [](X11WindowSystem& self, Client& c) { self.readHints(c); }},
        {Atom::WM_PROTOCOLS, XCB_NONE, [](X11WindowSystem& self, Client& c) { self.readProtocols(c); }},
        {Atom::count, XCB_ATOM_WM_TRANSIENT_FOR, [](X11WindowSystem& self, Client& c) {
             auto parent = self.x_.readProperty(c.window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1);
             c.transientFor = parent ? parent->first().value_or(XCB_NONE) : XCB_NONE;
         }},
        {Atom::_NET_WM_STRUT_PARTIAL, XCB_NONE, [](X11WindowSystem& self, Client& c) {
             self.readStrut(c);
             if (c.sticky()) self.refreshVisibleAreas();
         }},
        {Atom::_NET_WM_STRUT, XCB_NONE, [](X11WindowSystem& self, Client& c) {
             self.readStrut(c);
             if (c.sticky()) self.refreshVisibleAreas();
         }},
    };
    for (const Entry& entry : table) {
        const xcb_atom_t atom = entry.atom == Atom::count ? entry.predefined : x_.atom(entry.atom);
        if (atom == event.atom) {
            entry.handle(*this, *client);
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Requests from clients, pagers and panels

void X11WindowSystem::onClientMessage(const xcb_client_message_event_t& event) {
    if (event.format != 32) return;
    const std::uint32_t* data = event.data.data32;
    const xcb_atom_t type = event.type;
    if (type == x_.atom(Atom::_TESSALINE_SYNC)) {
        if (data[0] != XCB_NONE) syncs_.emplace_back(data[0], data[1]);
        return;
    }
    if (type == x_.atom(Atom::WM_PROTOCOLS) && data[0] == x_.atom(Atom::_NET_WM_PING)) {
        onPong(event);
        return;
    }
    if (type == x_.atom(Atom::_NET_CURRENT_DESKTOP)) {
        if (auto workspace = workspaceOfDesktop(data[0])) {
            const int monitor = monitorIndex(workspace->display);
            active_ = workspace->display;
            showWorkspace(static_cast<std::size_t>(monitor), workspace->index);
        }
        return;
    }
    if (type == x_.atom(Atom::_NET_REQUEST_FRAME_EXTENTS)) {
        x_.setValues(event.window, x_.atom(Atom::_NET_FRAME_EXTENTS), XCB_ATOM_CARDINAL, {0, 0, 0, 0});
        return;
    }
    Client* client = find(event.window);
    if (!client) return;
    if (type == x_.atom(Atom::WM_CHANGE_STATE)) {
        if (data[0] == kIconicState) iconify(*client);
    } else if (type == x_.atom(Atom::_NET_ACTIVE_WINDOW)) {
        if (data[1] != 0) x_.noteTime(data[1]);
        onActivationRequest(*client);
    } else if (type == x_.atom(Atom::_NET_CLOSE_WINDOW)) {
        if (data[0] != 0) x_.noteTime(data[0]);
        onCloseRequest(*client);
    } else if (type == x_.atom(Atom::_NET_WM_STATE)) {
        onWindowState(*client, data[0], data[1], data[2]);
    } else if (type == x_.atom(Atom::_NET_WM_DESKTOP)) {
        if (data[0] == kAllDesktops || client->sticky()) return;
        if (auto workspace = workspaceOfDesktop(data[0])) moveToWorkspace(*client, *workspace);
    }
}

void X11WindowSystem::onWindowState(Client& client, std::uint32_t action, xcb_atom_t first, xcb_atom_t second) {
    const auto wanted = [action](bool now) {
        if (action == kStateAdd) return true;
        if (action == kStateRemove) return false;
        return action == kStateToggle ? !now : now;
    };
    for (xcb_atom_t atom : {first, second}) {
        if (atom == XCB_NONE) continue;
        if (atom == x_.atom(Atom::_NET_WM_STATE_FULLSCREEN)) {
            setFullscreen(client, wanted(client.fullscreen));
        } else if (atom == x_.atom(Atom::_NET_WM_STATE_HIDDEN)) {
            // Some pagers minimise this way rather than with WM_CHANGE_STATE.
            if (wanted(client.iconified)) {
                iconify(client);
            } else {
                deiconify(client, false);
            }
        }
    }
}

void X11WindowSystem::onActivationRequest(Client& client) {
    if (client.sticky()) return;
    if (client.iconified) deiconify(client, false);
    if (const Monitor* monitor = monitorOf(client.workspace); monitor && monitor->current != client.workspace.index) {
        showWorkspace(static_cast<std::size_t>(monitorIndex(client.workspace.display)), client.workspace.index);
    }
    raiseWindow(client.window);
    setFocus(client.window);
}

void X11WindowSystem::onCloseRequest(Client& client) {
    if (client.deleteWindow) {
        x_.sendMessage(client.window, client.window, x_.atom(Atom::WM_PROTOCOLS),
                       {x_.atom(Atom::WM_DELETE_WINDOW), x_.lastTime(), 0, 0, 0}, XCB_EVENT_MASK_NO_EVENT);
    } else {
        // A client that cannot be asked to close is closed.
        xcb_kill_client(x_.get(), client.window);
    }
}

void X11WindowSystem::onPong(const xcb_client_message_event_t& event) {
    const xcb_window_t window = event.data.data32[2];
    const Client* client = find(window);
    if (!client) return;
    const auto ping = pings_.find(client->pid);
    if (ping == pings_.end() || ping->second.window != window) return;
    const double elapsed = EventLoop::monotonicNow() - ping->second.sentAt;
    loop_.cancelTimer(ping->second.timer);
    pings_.erase(ping);
    if (elapsed > sluggishAfter && writer_) writer_->noteSluggish(client->pid);
}

// ---------------------------------------------------------------------------
// Focus and clicks

void X11WindowSystem::onFocusIn(const xcb_focus_in_event_t& event) {
    if (event.mode == XCB_NOTIFY_MODE_GRAB || event.mode == XCB_NOTIFY_MODE_UNGRAB) return;
    if (event.detail == XCB_NOTIFY_DETAIL_POINTER || event.detail == XCB_NOTIFY_DETAIL_INFERIOR) return;
    if (focusPending_) {
        // Focus we asked for earlier, overtaken by a newer request of ours.
        if (before(event.sequence, focusSequence_)) return;
        focusPending_ = false;
    }
    const Client* client = find(event.event);
    if (!client || client->sticky() || client->window == focus_) return;
    // Our own request landing after focus moved on, before the push that
    // sends the newer choice (a pager asking for two windows in a row).
    if (client->window == focusSent_) return;
    // The client moved the focus itself (among its own windows, or taking
    // the focus it was offered): X already has it.
    focusSent_ = client->window;
    setFocus(client->window);
}

void X11WindowSystem::onButtonPress(const xcb_button_press_event_t& event) {
    // The press was held for us; the window gets it once we let it go.
    xcb_allow_events(x_.get(), XCB_ALLOW_REPLAY_POINTER, event.time);
    Client* client = find(event.event);
    if (!client || client->sticky() || !isShown(*client)) return;
    raiseWindow(client->window);
    if (client->acceptsInput || client->takeFocus) setFocus(client->window);
}

}  // namespace tessaline
