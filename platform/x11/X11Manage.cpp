// Taking windows on and letting them go: reading what a client says about
// itself, grouping windows into applications, choosing a new window's
// workspace, and the window states the manager keeps (iconified, full
// screen, focused), with the pings that tell a hung application.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/log/Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FrameWriter.h"
#include "platform/x11/X11WindowSystem.h"

namespace tessaline {

namespace {

constexpr std::uint32_t kIconicState = 3;
constexpr std::uint32_t kInputHint = 1;
constexpr std::uint32_t kStateHint = 2;
// Pings ride along with frame writes at most this often per application.
constexpr double kPingInterval = 2.0;
// How long a closed tiled window's focus waits for the engine to choose.
constexpr double kFocusHandover = 0.25;


std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// What a client says

namespace {

void applyTitle(Client& client, const std::optional<Property>& net, const std::optional<Property>& plain,
                xcb_atom_t utf8) {
    if (net) {
        client.title = net->text(utf8);
        client.netName = true;
    } else {
        client.netName = false;
        client.title = plain ? plain->text(utf8) : std::string();
    }
}

void applyHints(Client& client, const std::optional<Property>& hints) {
    const std::vector<std::uint32_t> v = hints ? hints->values() : std::vector<std::uint32_t>{};
    client.acceptsInput = v.size() < 2 || !(v[0] & kInputHint) || v[1] != 0;
}

void applyProtocols(Client& client, const std::optional<Property>& protocols, const X11Connection& x) {
    client.takeFocus = client.deleteWindow = client.ping = false;
    if (!protocols) return;
    for (std::uint32_t atom : protocols->values()) {
        if (atom == x.atom(Atom::WM_TAKE_FOCUS)) client.takeFocus = true;
        if (atom == x.atom(Atom::WM_DELETE_WINDOW)) client.deleteWindow = true;
        if (atom == x.atom(Atom::_NET_WM_PING)) client.ping = true;
    }
}

void applyType(Client& client, const std::optional<Property>& types, const X11Connection& x) {
    client.typed = false;
    client.kind = WindowKind::normal;
    if (!types) return;
    const std::pair<Atom, WindowKind> known[] = {
        {Atom::_NET_WM_WINDOW_TYPE_NORMAL, WindowKind::normal},
        {Atom::_NET_WM_WINDOW_TYPE_DIALOG, WindowKind::dialog},
        {Atom::_NET_WM_WINDOW_TYPE_UTILITY, WindowKind::utility},
        {Atom::_NET_WM_WINDOW_TYPE_TOOLBAR, WindowKind::toolbar},
        {Atom::_NET_WM_WINDOW_TYPE_MENU, WindowKind::menu},
        {Atom::_NET_WM_WINDOW_TYPE_SPLASH, WindowKind::splash},
        {Atom::_NET_WM_WINDOW_TYPE_NOTIFICATION, WindowKind::notification},
        {Atom::_NET_WM_WINDOW_TYPE_DOCK, WindowKind::dock},
        {Atom::_NET_WM_WINDOW_TYPE_DESKTOP, WindowKind::desktop},
    };
    // The first type we know wins; the list is in order of preference.
    for (std::uint32_t atom : types->values()) {
        for (const auto& [name, kind] : known) {
            if (atom == x.atom(name)) {
                client.kind = kind;
                client.typed = true;
                return;
            }
        }
    }
}

void applyStrut(Client& client, const std::optional<Property>& partial, const std::optional<Property>& plain,
                Size screen) {
    client.strut = Strut{};
    std::vector<std::uint32_t> v = partial ? partial->values() : std::vector<std::uint32_t>{};
    if (v.size() >= 12) {
        std::copy_n(v.begin(), 12, client.strut.values.begin());
        return;
    }
    v = plain ? plain->values() : std::vector<std::uint32_t>{};
    if (v.size() < 4) return;
    // A plain strut spans its whole edge.
    const auto w = static_cast<std::uint32_t>(screen.width), h = static_cast<std::uint32_t>(screen.height);
    client.strut.values = {v[0], v[1], v[2], v[3], 0, h - 1, 0, h - 1, 0, w - 1, 0, w - 1};
}

}  // namespace

void X11WindowSystem::readTitle(Client& client) {
    auto net = x_.requestProperty(client.window, x_.atom(Atom::_NET_WM_NAME), x_.atom(Atom::UTF8_STRING), 256);
    auto plain = x_.requestProperty(client.window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 256);
    const std::optional<Property> netValue = x_.property(net);
    applyTitle(client, netValue, x_.property(plain), x_.atom(Atom::UTF8_STRING));
}

void X11WindowSystem::readHints(Client& client) {
    applyHints(client, x_.readProperty(client.window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 9));
}

void X11WindowSystem::readProtocols(Client& client) {
    applyProtocols(client, x_.readProperty(client.window, x_.atom(Atom::WM_PROTOCOLS), XCB_ATOM_ATOM, 32), x_);
}

void X11WindowSystem::readStrut(Client& client) {
    auto partial = x_.requestProperty(client.window, x_.atom(Atom::_NET_WM_STRUT_PARTIAL), XCB_ATOM_CARDINAL, 12);
    auto plain = x_.requestProperty(client.window, x_.atom(Atom::_NET_WM_STRUT), XCB_ATOM_CARDINAL, 4);
    const std::optional<Property> partialValue = x_.property(partial);
    applyStrut(client, partialValue, x_.property(plain), screenSize_);
}

// ---------------------------------------------------------------------------
// Taking a window on

void X11WindowSystem::manage(xcb_window_t window, bool adopting) {
    if (window == checkWindow_ || window == x_.root() || find(window)) return;
    xcb_connection_t* c = x_.get();
    const auto attributesCookie = xcb_get_window_attributes(c, window);
    const auto geometryCookie = xcb_get_geometry(c, window);
    auto ask = [&](xcb_atom_t property, xcb_atom_t type, std::uint32_t longs) {
        return x_.requestProperty(window, property, type, longs);
    };
    const auto classCookie = ask(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 64);
    const auto netNameCookie = ask(x_.atom(Atom::_NET_WM_NAME), x_.atom(Atom::UTF8_STRING), 256);
    const auto nameCookie = ask(XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 256);
    const auto normalCookie = ask(XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 18);
    const auto hintsCookie = ask(XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 9);
    const auto protocolsCookie = ask(x_.atom(Atom::WM_PROTOCOLS), XCB_ATOM_ATOM, 32);
    const auto transientCookie = ask(XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1);
    const auto typeCookie = ask(x_.atom(Atom::_NET_WM_WINDOW_TYPE), XCB_ATOM_ATOM, 32);
    const auto pidCookie = ask(x_.atom(Atom::_NET_WM_PID), XCB_ATOM_CARDINAL, 1);
    const auto leaderCookie = ask(x_.atom(Atom::WM_CLIENT_LEADER), XCB_ATOM_WINDOW, 1);
    const auto machineCookie = ask(x_.atom(Atom::WM_CLIENT_MACHINE), XCB_ATOM_STRING, 64);
    const auto strutPartialCookie = ask(x_.atom(Atom::_NET_WM_STRUT_PARTIAL), XCB_ATOM_CARDINAL, 12);
    const auto strutCookie = ask(x_.atom(Atom::_NET_WM_STRUT), XCB_ATOM_CARDINAL, 4);
    const auto stateCookie = ask(x_.atom(Atom::_NET_WM_STATE), XCB_ATOM_ATOM, 32);
    const auto desktopCookie = ask(x_.atom(Atom::_NET_WM_DESKTOP), XCB_ATOM_CARDINAL, 1);
    const auto userTimeCookie = ask(x_.atom(Atom::_NET_WM_USER_TIME), XCB_ATOM_CARDINAL, 1);
    const auto wmStateCookie = ask(x_.atom(Atom::WM_STATE), x_.atom(Atom::WM_STATE), 2);

    const auto attributes = replyTo(xcb_get_window_attributes_reply, c, attributesCookie);
    const auto geometry = replyTo(xcb_get_geometry_reply, c, geometryCookie);
    const std::optional<Property> classes = x_.property(classCookie);
    const std::optional<Property> netName = x_.property(netNameCookie);
    const std::optional<Property> name = x_.property(nameCookie);
    const std::optional<Property> normal = x_.property(normalCookie);
    const std::optional<Property> hints = x_.property(hintsCookie);
    const std::optional<Property> protocols = x_.property(protocolsCookie);
    const std::optional<Property> transient = x_.property(transientCookie);
    const std::optional<Property> types = x_.property(typeCookie);
    const std::optional<Property> pidValue = x_.property(pidCookie);
    const std::optional<Property> leader = x_.property(leaderCookie);
    const std::optional<Property> machine = x_.property(machineCookie);
    const std::optional<Property> strutPartial = x_.property(strutPartialCookie);
    const std::optional<Property> strut = x_.property(strutCookie);
    const std::optional<Property> netState = x_.property(stateCookie);
    const std::optional<Property> desktop = x_.property(desktopCookie);
    const std::optional<Property> userTime = x_.property(userTimeCookie);
    const std::optional<Property> wmState = x_.property(wmStateCookie);

    // Gone already, or not ours to manage.
    if (!attributes || !geometry || attributes->override_redirect) return;
    if (attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY) return;
    const bool wasIconic = wmState && wmState->first() == kIconicState;
    if (adopting && attributes->map_state != XCB_MAP_STATE_VIEWABLE && !wasIconic) return;

    Client client;
    client.window = window;
    client.order = nextOrder_++;
    const std::vector<std::string> classNames = classes ? classes->strings() : std::vector<std::string>{};
    if (!classNames.empty()) client.instance = classNames[0];
    if (classNames.size() > 1) client.className = classNames[1];
    applyTitle(client, netName, name, x_.atom(Atom::UTF8_STRING));
    client.hints = SizeHints::parse(normal ? normal->values() : std::vector<std::uint32_t>{});
    applyHints(client, hints);
    applyProtocols(client, protocols, x_);
    applyType(client, types, x_);
    applyStrut(client, strutPartial, strut, screenSize_);
    if (transient && transient->first() && *transient->first() != window) client.transientFor = *transient->first();
    client.noFocusOnMap = userTime && userTime->first() == 0u;
    client.frame = Rect{static_cast<double>(geometry->x), static_cast<double>(geometry->y),
                        static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
    client.xFrame = client.frame;
    client.mappedX = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    client.placed = adopting && client.mappedX;

    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_FOCUS_CHANGE;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &events);
    // Should the manager die, the server maps what it hid.
    xcb_change_save_set(c, XCB_SET_MODE_INSERT, window);
    if (geometry->border_width != 0) {
        const std::uint32_t none = 0;
        xcb_configure_window(c, window, XCB_CONFIG_WINDOW_BORDER_WIDTH, &none);
    }
    const std::uint32_t noExtents[4] = {0, 0, 0, 0};
    x_.setValues(window, x_.atom(Atom::_NET_FRAME_EXTENTS), XCB_ATOM_CARDINAL, {noExtents, noExtents + 4});

    if (client.sticky()) {
        client.shouldMap = true;
        client.placed = true;
        clients_.emplace(window, std::move(client));
        stack_.push_back(window);
        markDirty(clients_.at(window));
        stackDirty_ = true;
        if (!clients_.at(window).strut.empty()) refreshVisibleAreas();
        return;
    }

    // Click to focus: presses on a window pass through the manager first.
    for (std::uint8_t button : {1, 2, 3}) {
        xcb_grab_button(c, 0, window, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_SYNC, XCB_GRAB_MODE_ASYNC,
                        XCB_NONE, XCB_NONE, button, XCB_MOD_MASK_ANY);
    }

    const std::string machineName = machine ? machine->text(x_.atom(Atom::UTF8_STRING)) : std::string();
    const bool sameMachine = machineName.empty() || machineName == hostname_ ||
                             machineName == "localhost";
    std::optional<std::uint32_t> pid;
    if (pidValue) pid = pidValue->first();
    client.pid = groupOf(window, pid, leader ? leader->first().value_or(XCB_NONE) : XCB_NONE,
                         client.className, sameMachine);

    std::optional<std::uint32_t> desktopValue;
    if (desktop) desktopValue = desktop->first();
    client.workspace = workspaceForNew(client, desktopValue);
    if (!adopting) fitOntoMonitor(client, !client.standard() && !client.hints.positioned);

    const bool startsIconic =
        adopting ? wasIconic : hints && hints->values().size() >= 3 && (hints->values()[0] & kStateHint) &&
                                   hints->values()[2] == kIconicState;
    client.iconified = startsIconic;

    const ProcessID owner = client.pid;
    auto [entry, inserted] = clients_.emplace(window, std::move(client));
    Client& managed = entry->second;
    stack_.push_back(window);
    stackDirty_ = true;
    rootDirty_ = true;

    if (netState) {
        for (std::uint32_t atom : netState->values()) {
            if (atom == x_.atom(Atom::_NET_WM_STATE_FULLSCREEN)) setFullscreen(managed, true);
        }
    }
    // Tiling X11 managers map a new window only once it is configured where
    // it belongs; ours is the engine's first frame for it, which comes within
    // this loop turn's settling.
    if (!adopting && handler_ && managed.standard() && !managed.hints.fixed() && !managed.fullscreen &&
        isShown(managed)) {
        managed.awaitingFrame = true;
        awaitingFrame_.push_back(window);
    }
    updateVisibility(managed);
    markDirty(managed);

    App& app = apps_[owner];
    const bool newApp = app.windows.empty();
    if (newApp) {
        app.pid = owner;
        app.className = managed.className;
        app.instance = managed.instance;
        appOrder_.push_back(owner);
    }
    app.windows.push_back(window);
    Log::windows([&] {
        char text[160];
        std::snprintf(text, sizeof text, "managing %s#%u%s", app.className.c_str(), window,
                      adopting ? " (already open)" : "");
        return std::string(text);
    });
    if (newApp) {
        emit(AppLaunched{owner});
    } else {
        emitWindow(WindowEvent::created, managed);
    }

    const bool wantsFocus = managed.acceptsInput || managed.takeFocus;
    const bool focusKind = managed.kind == WindowKind::normal || managed.kind == WindowKind::dialog ||
                           managed.kind == WindowKind::utility;
    if (!adopting && wantsFocus && focusKind && !managed.noFocusOnMap && isShown(managed)) setFocus(window);
}

ProcessID X11WindowSystem::groupOf(xcb_window_t window, std::optional<std::uint32_t> pid, xcb_window_t leader,
                                   const std::string& className, bool sameMachine) {
    // A pid of another machine may name any local process.
    if (pid && *pid > 0 && *pid <= 0x7fffffff && sameMachine) return static_cast<ProcessID>(*pid);
    // Without a pid, windows of one client leader, else of one class, are
    // taken for one application.
    std::string groupKey;
    char hex[16];
    if (leader != XCB_NONE) {
        std::snprintf(hex, sizeof hex, "%x", leader);
        groupKey = std::string("leader:") + hex;
    } else if (!className.empty()) {
        groupKey = "class:" + lower(className);
    } else {
        std::snprintf(hex, sizeof hex, "%x", window);
        groupKey = std::string("window:") + hex;
    }
    auto found = standIns_.find(groupKey);
    if (found != standIns_.end()) return found->second;
    const ProcessID standIn = nextStandIn_--;
    standIns_.emplace(std::move(groupKey), standIn);
    return standIn;
}

Workspace X11WindowSystem::workspaceForNew(const Client& client, std::optional<std::uint32_t> desktop) {
    if (client.transientFor != XCB_NONE) {
        if (const Client* parent = find(client.transientFor); parent && !parent->sticky()) return parent->workspace;
    }
    if (desktop) {
        if (auto workspace = workspaceOfDesktop(*desktop)) return *workspace;
    }
    const std::string uuid = activeMonitor();
    const Monitor* monitor = nullptr;
    for (const Monitor& m : monitors_) {
        if (m.info.uuid == uuid) monitor = &m;
    }
    if (!monitor && !monitors_.empty()) monitor = &monitors_.front();
    return monitor ? Workspace{monitor->info.uuid, monitor->current} : Workspace{};
}

void X11WindowSystem::fitOntoMonitor(Client& client, bool centre) {
    const Monitor* monitor = monitorOf(client.workspace);
    if (!monitor) return;
    const Rect& area = monitor->visible;
    Rect frame = client.frame;
    frame.width = std::min(frame.width, area.width);
    frame.height = std::min(frame.height, area.height);
    Rect around = area;
    if (const Client* parent = find(client.transientFor); parent && centre) around = parent->frame;
    if (centre || !frame.overlaps(area)) {
        frame.x = std::round(around.midX() - frame.width / 2);
        frame.y = std::round(around.midY() - frame.height / 2);
    }
    frame.x = std::clamp(frame.x, area.x, area.maxX() - frame.width);
    frame.y = std::clamp(frame.y, area.y, area.maxY() - frame.height);
    client.frame = frame;
}

// ---------------------------------------------------------------------------
// Letting a window go

void X11WindowSystem::unmanage(Client& client, bool destroyed) {
    const xcb_window_t window = client.window;
    const ProcessID pid = client.pid;
    const bool sticky = client.sticky();
    const bool standard = client.standard();
    const bool hadStrut = !client.strut.empty();
    xcb_connection_t* c = x_.get();
    if (!destroyed) {
        // Withdrawn: the client may map it again later as a new window.
        xcb_change_save_set(c, XCB_SET_MODE_DELETE, window);
        const std::uint32_t withdrawn[2] = {0, XCB_NONE};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x_.atom(Atom::WM_STATE), x_.atom(Atom::WM_STATE), 32,
                            2, withdrawn);
        x_.deleteProperty(window, x_.atom(Atom::_NET_WM_STATE));
        x_.deleteProperty(window, x_.atom(Atom::_NET_WM_DESKTOP));
        xcb_ungrab_button(c, XCB_BUTTON_INDEX_ANY, window, XCB_MOD_MASK_ANY);
        const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &none);
    }
    if (auto ping = pings_.find(pid); ping != pings_.end() && ping->second.window == window) {
        loop_.cancelTimer(ping->second.timer);
        pings_.erase(ping);
    }
    std::erase(stack_, window);
    std::erase(focusHistory_, window);
    std::erase(awaitingFrame_, window);
    stackDirty_ = true;
    rootDirty_ = true;
    const bool wasFocused = focus_ == window;
    if (wasFocused) focus_ = XCB_NONE;
    if (focusSent_ == window) focusSent_ = XCB_NONE;

    if (!sticky) {
        Log::windows([&] {
            char text[64];
            std::snprintf(text, sizeof text, "letting go of #%u", window);
            return std::string(text);
        });
        if (watched_.count(window)) emitWindow(WindowEvent::destroyed, client);
        watched_.erase(window);
    }
    clients_.erase(window);

    if (!sticky) {
        auto app = apps_.find(pid);
        if (app != apps_.end()) {
            std::erase(app->second.windows, window);
            if (app->second.lastFocused == window) app->second.lastFocused = XCB_NONE;
            if (app->second.windows.empty()) {
                apps_.erase(app);
                std::erase(appOrder_, pid);
                lastPing_.erase(pid);
                emit(AppTerminated{pid});
            }
        }
    } else if (hadStrut) {
        refreshVisibleAreas();
    }

    if (!wasFocused) return;
    if (handler_ && standard) {
        // The engine picks the closed column's successor itself; the manager
        // steps in only when it does not.
        loop_.addTimer(EventLoop::monotonicNow() + kFocusHandover, [this] {
            if (focus_ == XCB_NONE) focusFallback();
        });
    } else {
        focusFallback();
    }
}

// ---------------------------------------------------------------------------
// States the manager keeps

void X11WindowSystem::iconify(Client& client) {
    if (client.iconified || client.sticky()) return;
    client.iconified = true;
    updateVisibility(client);
    markDirty(client);
    emitWindow(WindowEvent::minimized, client);
    if (focus_ == client.window) {
        focus_ = XCB_NONE;
        focusFallback();
    }
}

void X11WindowSystem::deiconify(Client& client, bool focusIt) {
    if (client.iconified) {
        client.iconified = false;
        updateVisibility(client);
        markDirty(client);
        emitWindow(WindowEvent::restored, client);
    }
    if (focusIt && isShown(client)) setFocus(client.window);
}

void X11WindowSystem::setFullscreen(Client& client, bool on) {
    if (client.fullscreen == on || client.sticky()) return;
    const Monitor* monitor = monitorOf(client.workspace);
    if (on) {
        client.beforeFullscreen = client.frame;
        if (monitor) client.frame = monitor->info.frame;
    } else {
        client.frame = client.beforeFullscreen;
    }
    client.fullscreen = on;
    stackDirty_ = true;
    markDirty(client);
    // The engine learns of it as a resize, and asks.
    emitWindow(WindowEvent::resized, client);
}

void X11WindowSystem::setFocus(xcb_window_t window) {
    Client* client = find(window);
    if (!client || client->sticky()) return;
    ping(*client);
    if (focus_ == window) return;
    const Client* previous = find(focus_);
    const bool sameApp = previous && previous->pid == client->pid;
    focus_ = window;
    std::erase(focusHistory_, window);
    focusHistory_.push_back(window);
    if (auto app = apps_.find(client->pid); app != apps_.end()) app->second.lastFocused = window;
    active_ = client->workspace.display;
    stackDirty_ = true;
    rootDirty_ = true;
    if (sameApp) {
        emitWindow(WindowEvent::focusChanged, *client);
    } else {
        emit(AppActivated{client->pid});
    }
}

void X11WindowSystem::focusFallback(bool sameDisplay) {
    // The most recently focused window still on screen, else the topmost,
    // preferring the display the user works on.
    const std::string monitor = activeMonitor();
    std::vector<xcb_window_t> candidates(focusHistory_.rbegin(), focusHistory_.rend());
    const std::vector<xcb_window_t> order = stackingOrder();
    candidates.insert(candidates.end(), order.rbegin(), order.rend());
    xcb_window_t best = XCB_NONE;
    for (xcb_window_t window : candidates) {
        const Client* client = find(window);
        if (!client || client->sticky() || !isShown(*client) || (!client->acceptsInput && !client->takeFocus)) continue;
        if (client->workspace.display == monitor) {
            best = window;
            break;
        }
        if (best == XCB_NONE && !sameDisplay) best = window;
    }
    if (best != XCB_NONE) {
        setFocus(best);
    } else {
        focus_ = XCB_NONE;
        rootDirty_ = true;
    }
}

void X11WindowSystem::raiseWindow(xcb_window_t window) {
    auto it = std::find(stack_.begin(), stack_.end(), window);
    if (it == stack_.end() || std::next(it) == stack_.end()) return;
    stack_.erase(it);
    stack_.push_back(window);
    stackDirty_ = true;
}

void X11WindowSystem::ping(Client& client) {
    if (!client.ping || pings_.count(client.pid)) return;
    const double now = EventLoop::monotonicNow();
    const ProcessID pid = client.pid;
    x_.sendMessage(client.window, client.window, x_.atom(Atom::WM_PROTOCOLS),
                   {x_.atom(Atom::_NET_WM_PING), x_.lastTime(), client.window, 0, 0}, XCB_EVENT_MASK_NO_EVENT);
    Ping ping;
    ping.window = client.window;
    ping.sentAt = now;
    ping.timer = loop_.addTimer(now + pingTimeout, [this, pid] {
        pings_.erase(pid);
        if (writer_) writer_->noteUnanswered(pid);
        Log::focus([&] { return "application " + std::to_string(pid) + " isn't answering pings"; });
    });
    pings_[pid] = ping;
    lastPing_[pid] = now;
}

void X11WindowSystem::pingSoon(ProcessID pid) {
    const double now = EventLoop::monotonicNow();
    if (auto last = lastPing_.find(pid); last != lastPing_.end() && now - last->second < kPingInterval) return;
    auto app = apps_.find(pid);
    if (app == apps_.end()) return;
    for (xcb_window_t window : app->second.windows) {
        Client* client = find(window);
        if (client && client->ping) {
            ping(*client);
            return;
        }
    }
    lastPing_[pid] = now;
}

void X11WindowSystem::markDirty(Client& client) {
    if (client.dirty) return;
    client.dirty = true;
    dirty_.push_back(client.window);
}

}  // namespace tessaline
