// Becoming the window manager and handing the screen back, and the
// operations the engine calls, answered from what the manager knows.

#include "platform/x11/X11WindowSystem.h"

#include <poll.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "core/Parking.h"
#include "engine/log/Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FrameWriter.h"
#include "platform/x11/X11Scheduler.h"

namespace tessaline {

namespace {

// How long a manager we replace gets to leave.
constexpr double kReplaceTimeout = 10.0;

// Waits up to `seconds` for an event that `match` accepts; others are dropped
// (nothing else is selected this early).
bool waitForEvent(xcb_connection_t* c, double seconds, const std::function<bool(const xcb_generic_event_t&)>& match) {
    const double deadline = EventLoop::monotonicNow() + seconds;
    while (true) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const bool found = match(*event);
            std::free(event);
            if (found) return true;
        }
        const double left = deadline - EventLoop::monotonicNow();
        if (left <= 0 || xcb_connection_has_error(c)) return false;
        pollfd descriptor{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&descriptor, 1, static_cast<int>(left * 1000) + 1);
    }
}

}  // namespace

X11WindowSystem::X11WindowSystem(X11Connection& connection, EventLoop& loop, X11Scheduler& scheduler)
    : x_(connection), loop_(loop), scheduler_(scheduler) {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) == 0) hostname_ = name;
    const xcb_screen_t& screen = *x_.screen();
    screenSize_ = Size{static_cast<double>(screen.width_in_pixels), static_cast<double>(screen.height_in_pixels)};
    loop_.watch(x_.fd(), [] {});  // the turn hook reads the events
    loop_.addHook([this] { turn(); });
}

X11WindowSystem::~X11WindowSystem() {
    for (const auto& [pid, ping] : pings_) loop_.cancelTimer(ping.timer);
    loop_.unwatch(x_.fd());
}

Client* X11WindowSystem::find(xcb_window_t window) {
    if (window == XCB_NONE) return nullptr;
    auto found = clients_.find(window);
    return found == clients_.end() ? nullptr : &found->second;
}

const Client* X11WindowSystem::find(xcb_window_t window) const {
    if (window == XCB_NONE) return nullptr;
    auto found = clients_.find(window);
    return found == clients_.end() ? nullptr : &found->second;
}

// ---------------------------------------------------------------------------
// The screen

std::optional<std::string> X11WindowSystem::manageScreen(bool replace) {
    xcb_connection_t* c = x_.get();
    const xcb_window_t root = x_.root();
    const std::string display = "'" + x_.displayName() + "'";

    // Our own window: owner of WM_S0 and the EWMH check window.
    checkWindow_ = xcb_generate_id(c);
    const std::uint32_t values[2] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, checkWindow_, root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    x_.setText(checkWindow_, x_.atom(Atom::_NET_WM_NAME), "Tessaline");
    xcb_flush(c);
    // A real server time for the selection: the time of our own property change.
    xcb_timestamp_t now = XCB_CURRENT_TIME;
    waitForEvent(c, 5, [&](const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        now = reinterpret_cast<const xcb_property_notify_event_t&>(event).time;
        return true;
    });
    x_.noteTime(now);

    auto owner = replyTo(xcb_get_selection_owner_reply, c, xcb_get_selection_owner(c, x_.atom(Atom::WM_S0)));
    const xcb_window_t previous = owner ? owner->owner : XCB_NONE;
    const auto takeSelection = [&]() -> bool {
        xcb_set_selection_owner(c, checkWindow_, x_.atom(Atom::WM_S0), now);
        auto check = replyTo(xcb_get_selection_owner_reply, c, xcb_get_selection_owner(c, x_.atom(Atom::WM_S0)));
        return check && check->owner == checkWindow_;
    };
    const auto giveUp = [&](std::string reason) {
        xcb_destroy_window(c, checkWindow_);
        checkWindow_ = XCB_NONE;
        xcb_flush(c);
        return std::optional<std::string>(std::move(reason));
    };

    if (previous != XCB_NONE) {
        if (!replace) {
            return giveUp("Another window manager is running on display " + display +
                          ". Start Tessaline with --replace to take its place.");
        }
        const std::uint32_t watchIt = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_change_window_attributes_checked(c, previous, XCB_CW_EVENT_MASK, &watchIt));
        const bool alreadyGone = error != nullptr;
        std::free(error);
        if (!takeSelection()) return giveUp("Couldn't take over display " + display + " from its window manager.");
        // ICCCM: the old manager destroys its window when it has let go.
        if (!alreadyGone && !waitForEvent(c, kReplaceTimeout, [&](const xcb_generic_event_t& event) {
                return (event.response_type & 0x7f) == XCB_DESTROY_NOTIFY &&
                       reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window == previous;
            })) {
            return giveUp("The window manager on display " + display + " didn't give up the screen.");
        }
    }

    // The old manager's window is gone, and with it (a manager destroys it
    // last, or the server frees everything of a client that quit at once)
    // its hold on the root.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY |
                                     XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &rootEvents));
    const bool refused = error != nullptr;
    std::free(error);
    if (refused) return giveUp("Another window manager is running on display " + display + ".");

    // Windows are moved and resized by hand through XInput 2 grabs (the
    // input source owns the root's XInput selection; grabs need none).
    if (const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id); xi && xi->present) {
        auto version = replyTo(xcb_input_xi_query_version_reply, c, xcb_input_xi_query_version(c, 2, 4));
        if (version && (version->major_version > 2 || version->minor_version >= 2)) xiOpcode_ = xi->major_opcode;
    }
    grabHandButtons(true);
    if (x_.randrEvents()) {
        xcb_randr_select_input(c, root,
                               XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    }
    auto geometry = replyTo(xcb_get_geometry_reply, c, xcb_get_geometry(c, root));
    if (geometry) screenSize_ = Size{static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
    refreshMonitors();
    // The user works where the pointer is.
    auto pointer = replyTo(xcb_query_pointer_reply, c, xcb_query_pointer(c, root));
    if (pointer) {
        for (const Monitor& monitor : monitors_) {
            if (monitor.info.frame.contains(Point{static_cast<double>(pointer->root_x),
                                                  static_cast<double>(pointer->root_y)})) {
                active_ = monitor.info.uuid;
            }
        }
    }

    managing_ = true;
    // The windows already there, bottom to top.
    auto tree = replyTo(xcb_query_tree_reply, c, xcb_query_tree(c, root));
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const std::vector<xcb_window_t> existing(children, children + xcb_query_tree_children_length(tree.get()));
        for (xcb_window_t window : existing) manage(window, true);
    }
    auto focused = replyTo(xcb_get_input_focus_reply, c, xcb_get_input_focus(c));
    if (focused && find(focused->focus)) {
        setFocus(focused->focus);
    } else {
        focusFallback();
    }

    std::vector<std::uint32_t> supported;
    for (Atom atom : {Atom::_NET_SUPPORTED, Atom::_NET_SUPPORTING_WM_CHECK, Atom::_NET_CLIENT_LIST,
                      Atom::_NET_CLIENT_LIST_STACKING, Atom::_NET_NUMBER_OF_DESKTOPS, Atom::_NET_CURRENT_DESKTOP,
                      Atom::_NET_DESKTOP_NAMES, Atom::_NET_ACTIVE_WINDOW, Atom::_NET_CLOSE_WINDOW,
                      Atom::_NET_WM_NAME, Atom::_NET_WM_DESKTOP, Atom::_NET_WM_WINDOW_TYPE,
                      Atom::_NET_WM_WINDOW_TYPE_DESKTOP, Atom::_NET_WM_WINDOW_TYPE_DOCK,
                      Atom::_NET_WM_WINDOW_TYPE_TOOLBAR, Atom::_NET_WM_WINDOW_TYPE_MENU,
                      Atom::_NET_WM_WINDOW_TYPE_UTILITY, Atom::_NET_WM_WINDOW_TYPE_SPLASH,
                      Atom::_NET_WM_WINDOW_TYPE_DIALOG, Atom::_NET_WM_WINDOW_TYPE_NORMAL,
                      Atom::_NET_WM_WINDOW_TYPE_NOTIFICATION, Atom::_NET_WM_STATE,
                      Atom::_NET_WM_STATE_FULLSCREEN, Atom::_NET_WM_STATE_HIDDEN, Atom::_NET_WM_STRUT,
                      Atom::_NET_WM_STRUT_PARTIAL, Atom::_NET_WM_PID, Atom::_NET_WM_PING,
                      Atom::_NET_WM_USER_TIME, Atom::_NET_FRAME_EXTENTS, Atom::_NET_REQUEST_FRAME_EXTENTS,
                      Atom::_NET_WM_MOVERESIZE}) {
        supported.push_back(x_.atom(atom));
    }
    x_.setValues(root, x_.atom(Atom::_NET_SUPPORTED), XCB_ATOM_ATOM, supported);
    push();
    // Ready: the selection and the check window say a manager runs here.
    if (previous == XCB_NONE && !takeSelection()) {
        managing_ = false;
        return giveUp("Another window manager took display " + display + " while Tessaline started.");
    }
    x_.sendMessage(root, root, x_.atom(Atom::MANAGER), {now, x_.atom(Atom::WM_S0), checkWindow_, 0, 0},
                   XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    x_.setValues(checkWindow_, x_.atom(Atom::_NET_SUPPORTING_WM_CHECK), XCB_ATOM_WINDOW, {checkWindow_});
    x_.setValues(root, x_.atom(Atom::_NET_SUPPORTING_WM_CHECK), XCB_ATOM_WINDOW, {checkWindow_});
    x_.flush();
    Log::lifecycle([&] {
        return "managing display " + display + " with " + std::to_string(clients_.size()) + " windows";
    });
    return std::nullopt;
}

void X11WindowSystem::releaseScreen() {
    if (!managing_) return;
    xcb_connection_t* c = x_.get();
    endHand();
    grabHandButtons(false);
    if (writer_) writer_->drain();
    for (auto& [window, client] : clients_) {
        if (client.sticky()) continue;
        client.iconified = false;
        if (!client.fullscreen) {
            const Monitor* monitor = monitorOf(client.workspace);
            if (!monitor && !monitors_.empty()) monitor = &monitors_.front();
            if (monitor) client.frame = Parking::fit(client.frame, monitor->visible);
        }
        client.awaitingFrame = false;
        client.shouldMap = true;
        markDirty(client);
    }
    awaitingFrame_.clear();
    push();
    for (const auto& [window, client] : clients_) {
        xcb_ungrab_button(c, XCB_BUTTON_INDEX_ANY, window, XCB_MOD_MASK_ANY);
    }
    const xcb_window_t root = x_.root();
    for (Atom atom : {Atom::_NET_SUPPORTING_WM_CHECK, Atom::_NET_SUPPORTED, Atom::_NET_ACTIVE_WINDOW,
                      Atom::_NET_CLIENT_LIST, Atom::_NET_CLIENT_LIST_STACKING}) {
        x_.deleteProperty(root, x_.atom(atom));
    }
    const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &none);
    // Destroying the selection's owner tells a manager taking over that we left.
    xcb_destroy_window(c, checkWindow_);
    checkWindow_ = XCB_NONE;
    managing_ = false;
    x_.sync();
    Log::lifecycle([&] { return "gave back " + std::to_string(clients_.size()) + " windows"; });
}

// ---------------------------------------------------------------------------
// For the frame writer

std::optional<Size> X11WindowSystem::allowedSize(WindowID window, Size size) const {
    const Client* client = find(window);
    if (!client) return std::nullopt;
    return client->hints.constrain(size);
}

bool X11WindowSystem::place(WindowID window, Rect frame) {
    Client* client = find(window);
    if (!client || client->fullscreen || client->sticky()) return false;
    if (client->frame != frame) {
        client->frame = frame;
        markDirty(*client);
        followToDisplay(*client);
    }
    // Configured and mapped in the same push.
    stopAwaitingFrame(*client);
    return true;
}

void X11WindowSystem::stopAwaitingFrame(Client& client) {
    if (!client.awaitingFrame) return;
    client.awaitingFrame = false;
    std::erase(awaitingFrame_, client.window);
    updateVisibility(client);
}

std::optional<Rect> X11WindowSystem::desiredFrame(WindowID window) const {
    const Client* client = find(window);
    return client ? std::optional<Rect>(client->frame) : std::nullopt;
}

// ---------------------------------------------------------------------------
// Engine events

void X11WindowSystem::emit(SystemEvent event) {
    if (!handler_) return;
    loop_.post([this, generation = generation_, event = std::move(event)] {
        if (!handler_ || generation != generation_) return;
        EventHandler handler = handler_;  // the handler may stop us while it runs
        handler(event);
    });
}

void X11WindowSystem::emitWindow(WindowEvent event, const Client& client) {
    if (!handler_ || client.sticky()) return;
    const bool forApplication = event == WindowEvent::created || event == WindowEvent::focusChanged;
    if (forApplication ? !connected_.count(client.pid) : !watched_.count(client.window)) return;
    emit(WindowNotification{event, handleFor(client.window), client.pid});
}

void X11WindowSystem::later(std::function<void()> work) { loop_.post(std::move(work)); }

// ---------------------------------------------------------------------------
// WindowSystem

void X11WindowSystem::start(EventHandler handler) {
    handler_ = std::move(handler);
    ++generation_;
}

void X11WindowSystem::stop() {
    endHand();
    handler_ = nullptr;
    ++generation_;
    connected_.clear();
    watched_.clear();
}

std::vector<AppInfo> X11WindowSystem::runningApps() {
    std::vector<AppInfo> result;
    result.reserve(appOrder_.size());
    for (ProcessID pid : appOrder_) {
        if (auto info = app(pid)) result.push_back(std::move(*info));
    }
    return result;
}

std::optional<AppInfo> X11WindowSystem::app(ProcessID pid) {
    const auto found = apps_.find(pid);
    if (found == apps_.end()) return std::nullopt;
    const App& app = found->second;
    AppInfo info;
    info.pid = pid;
    if (!app.className.empty()) info.bundleID = app.className;
    info.name = !app.instance.empty() ? app.instance : app.className;
    info.isRegular = pid != static_cast<ProcessID>(::getpid());
    return info;
}

std::optional<ProcessID> X11WindowSystem::frontmostApp() const {
    const Client* client = find(focus_);
    return client ? std::optional<ProcessID>(client->pid) : std::nullopt;
}

void X11WindowSystem::activate(ProcessID pid) {
    const auto app = apps_.find(pid);
    if (app == apps_.end()) return;
    xcb_window_t target = XCB_NONE;
    if (const Client* last = find(app->second.lastFocused); last && isShown(*last)) target = last->window;
    if (target == XCB_NONE) {
        if (auto front = frontWindow(pid)) target = *front;
    }
    if (target == XCB_NONE) return;
    raiseWindow(target);
    setFocus(target);
}

std::vector<Display> X11WindowSystem::displays() {
    std::vector<Display> result;
    result.reserve(monitors_.size());
    for (const Monitor& monitor : monitors_) {
        result.push_back(Display{monitor.info.id, monitor.info.uuid, monitor.info.name, monitor.info.frame,
                                 monitor.visible});
    }
    return result;
}

SpaceID X11WindowSystem::currentSpace(const std::string& displayUUID) {
    const Monitor* monitor = monitorOf(Workspace{displayUUID, 0});
    return monitor ? spaceID(Workspace{displayUUID, monitor->current}) : 0;
}

std::vector<SpaceID> X11WindowSystem::spacesOf(WindowID window) {
    const Client* client = find(window);
    if (!client || client->sticky()) return {};
    return {spaceID(client->workspace)};
}

std::optional<WindowID> X11WindowSystem::frontWindow(ProcessID pid) {
    const std::vector<xcb_window_t> order = stackingOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const Client* client = find(*it);
        if (client && client->pid == pid && !client->sticky() && isShown(*client)) return *it;
    }
    return std::nullopt;
}

std::optional<WindowID> X11WindowSystem::topWindow(Point point) {
    const std::vector<xcb_window_t> order = stackingOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const Client* client = find(*it);
        if (client && !client->sticky() && isShown(*client) && client->frame.contains(point)) return *it;
    }
    return std::nullopt;
}

bool X11WindowSystem::focus(WindowID window, ProcessID pid) {
    Client* client = find(window);
    if (!client) {
        activate(pid);
        return apps_.count(pid) > 0;
    }
    if (!isShown(*client) || (!client->acceptsInput && !client->takeFocus)) return false;
    refocus_ = focus_ == window;
    setFocus(window);
    return true;
}

bool X11WindowSystem::isConnected(ProcessID pid) const { return connected_.count(pid) > 0; }

WindowFacts X11WindowSystem::factsOf(const Client& client) const {
    WindowFacts facts;
    facts.handle = handleFor(client.window);
    facts.id = client.window;
    facts.isWindow = true;
    if (!client.standard()) return facts;
    facts.standard = true;
    facts.title = client.title;
    facts.minimized = client.iconified;
    facts.fullScreen = client.fullscreen;
    facts.fixedSize = client.hints.fixed();
    // A window about to be shown for the first time stands nowhere yet: the
    // engine places it at once instead of gliding it in from its corner.
    if (client.placed || !isShown(client)) facts.frame = client.frame;
    facts.spaces = {spaceID(client.workspace)};
    return facts;
}

void X11WindowSystem::connect(ProcessID pid, ConnectCompletion completion) {
    if (!completion) return;
    const auto app = apps_.find(pid);
    if (!handler_ || app == apps_.end()) {
        later([completion = std::move(completion)] { completion(std::nullopt); });
        return;
    }
    connected_.insert(pid);
    std::vector<WindowFacts> list;
    for (xcb_window_t window : app->second.windows) {
        if (const Client* client = find(window)) list.push_back(factsOf(*client));
    }
    later([completion = std::move(completion), list = std::move(list)]() mutable { completion(std::move(list)); });
}

void X11WindowSystem::disconnect(ProcessID pid) {
    connected_.erase(pid);
    std::erase_if(watched_, [&](xcb_window_t window) {
        const Client* client = find(window);
        return !client || client->pid == pid;
    });
}

void X11WindowSystem::windows(ProcessID pid, WindowsCompletion completion) {
    if (!completion) return;
    const auto app = apps_.find(pid);
    if (!isConnected(pid) || app == apps_.end()) {
        completion({});
        return;
    }
    std::vector<WindowFacts> list;
    for (xcb_window_t window : app->second.windows) {
        if (const Client* client = find(window)) list.push_back(factsOf(*client));
    }
    later([completion = std::move(completion), list = std::move(list)]() mutable { completion(std::move(list)); });
}

void X11WindowSystem::watch(const WindowHandle& window, ProcessID pid) {
    const Client* client = find(windowOf(window));
    if (client && client->pid == pid && isConnected(pid)) watched_.insert(client->window);
}

void X11WindowSystem::facts(const WindowHandle& window, ProcessID, FactsCompletion completion) {
    if (!completion) return;
    const Client* client = find(windowOf(window));
    std::optional<WindowFacts> facts;
    if (client && !client->sticky()) facts = factsOf(*client);
    later([completion = std::move(completion), facts = std::move(facts)]() mutable { completion(std::move(facts)); });
}

void X11WindowSystem::frame(const WindowHandle& window, ProcessID, FrameCompletion completion) {
    if (!completion) return;
    const xcb_window_t id = windowOf(window);
    // Read when the answer is delivered: by then this turn's writes are out.
    later([this, id, completion = std::move(completion)] {
        const Client* client = find(id);
        completion(client ? std::optional<Rect>(client->xFrame) : std::nullopt);
    });
}

void X11WindowSystem::title(const WindowHandle& window, ProcessID, TitleCompletion completion) {
    if (!completion) return;
    const Client* client = find(windowOf(window));
    std::optional<std::string> title;
    if (client) title = client->title;
    later([completion = std::move(completion), title = std::move(title)]() mutable { completion(std::move(title)); });
}

void X11WindowSystem::isFullScreen(const WindowHandle& window, ProcessID, FlagCompletion completion) {
    if (!completion) return;
    const Client* client = find(windowOf(window));
    const bool fullscreen = client && client->fullscreen;
    later([completion = std::move(completion), fullscreen] { completion(fullscreen); });
}

void X11WindowSystem::focusedWindow(ProcessID pid, FocusedCompletion completion) {
    if (!completion) return;
    const auto app = apps_.find(pid);
    if (!isConnected(pid) || app == apps_.end()) {
        completion(std::nullopt, std::nullopt);
        return;
    }
    xcb_window_t window = XCB_NONE;
    if (const Client* focused = find(focus_); focused && focused->pid == pid) {
        window = focus_;
    } else if (find(app->second.lastFocused)) {
        window = app->second.lastFocused;
    }
    if (window == XCB_NONE) {
        later([completion = std::move(completion)] { completion(std::nullopt, std::nullopt); });
        return;
    }
    later([completion = std::move(completion), window] { completion(handleFor(window), WindowID{window}); });
}

void X11WindowSystem::raise(const WindowHandle& window, ProcessID) { raiseWindow(windowOf(window)); }

void X11WindowSystem::setFrame(const WindowHandle& window, ProcessID, Rect frame) {
    Client* client = find(windowOf(window));
    if (!client) return;
    const Size size = client->hints.constrain(frame.size());
    place(client->window, Rect{frame.x, frame.y, size.width, size.height});
}

void X11WindowSystem::releaseAll(const std::vector<WindowRelease>& windows, double) {
    for (const WindowRelease& item : windows) {
        Client* client = find(windowOf(item.window));
        if (!client || client->fullscreen) continue;
        place(client->window, Parking::fit(client->frame, item.area));
    }
    // X answers for every window at once; one round trip is the whole wait.
    push();
    x_.flush();
    x_.sync();
}

}  // namespace tessaline
