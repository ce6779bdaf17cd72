#pragma once
// The engine's WindowSystem on X11: Tessaline is the screen's window manager
// (non-reparenting; it draws no decorations), and this object is where X
// comes in and goes out.
//
// Applications are processes (by _NET_WM_PID, else grouped by client leader
// or class). Displays are RandR monitors minus the docks' struts. Every
// display has `workspacesPerDisplay` workspaces of its own, published as EWMH
// desktops (display by display), and shows one of them; the engine sees them
// as Spaces. Everything the engine or a handler changes goes into a desired
// state first; push(), once per loop turn, sends X the difference.
//
// Answers the engine asks for come from what the manager already knows (it
// reads each window's properties once and follows their changes), and are
// delivered on the loop a moment later, as the engine's contract wants.

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/platform/Platform.h"
#include "platform/x11/EventLoop.h"
#include "platform/x11/X11Client.h"
#include "platform/x11/X11Monitors.h"

namespace tessaline {

class X11Connection;
class X11FrameWriter;
class X11Scheduler;

class X11WindowSystem final : public WindowSystem {
public:
    // Enough for a panel's workspace switcher to be worth having, few enough
    // that a pager stays readable with two or three displays.
    static constexpr int workspacesPerDisplay = 4;
    // A ping unanswered this long makes the application busy.
    static constexpr double pingTimeout = 3.0;
    // A ping answered slower than this makes it sluggish.
    static constexpr double sluggishAfter = 0.12;

    X11WindowSystem(X11Connection& connection, EventLoop& loop, X11Scheduler& scheduler);
    ~X11WindowSystem() override;
    X11WindowSystem(const X11WindowSystem&) = delete;
    X11WindowSystem& operator=(const X11WindowSystem&) = delete;

    // ---- the screen
    // Becomes the screen's window manager: takes WM_S0 (from the manager
    // holding it when `replace`), redirects the root's substructure, takes
    // on the windows already mapped and publishes the EWMH root properties.
    // Answers what stood in the way when it could not.
    std::optional<std::string> manageScreen(bool replace);
    // Leaves every window as a user without a window manager needs it:
    // mapped, inside its display, in the normal state; then gives up the
    // screen's properties. Called last, after the engine stopped.
    void releaseScreen();
    // Another window manager asked for the screen (WM_S0).
    std::function<void()> onReplaced;
    // Whether the engine tiles the window now. A window it does not tile
    // (floated by a rule or by the user, or not adopted yet) places and
    // sizes itself; a tiled one keeps its column. Without an answer, a
    // window the engine ever placed counts as tiled.
    std::function<bool(WindowID)> isTiled;
    // The X server went away.
    std::function<void()> onConnectionLost;

    // ---- for the frame writer
    void attachWriter(X11FrameWriter* writer) { writer_ = writer; }
    // The nearest size the window's WM_NORMAL_HINTS allow; absent for a window
    // that is not managed.
    std::optional<Size> allowedSize(WindowID window, Size size) const;
    // Where the window should be from now on. False for a window that is not
    // managed or that is full screen (its frame is the display's until it
    // leaves full screen).
    bool place(WindowID window, Rect frame);
    // The desired frame of a managed window.
    std::optional<Rect> desiredFrame(WindowID window) const;
    // Pings the application when it has not been asked for a while.
    void pingSoon(ProcessID pid);

    // ---- moving and resizing by hand (X11MoveResize.cpp)
    // Super + left drag moves a window, Super + right drag resizes it from
    // the nearest edge, and a client's _NET_WM_MOVERESIZE starts the same.
    // While one lasts the pointer and the keyboard (for Escape) are ours.
    bool handMoving() const { return hand_.has_value(); }
    // The modifier NumLock sits on: the Super grabs hold with it locked too.
    void setNumLockMask(std::uint16_t mask);

    // ---- WindowSystem
    bool isTrusted() const override { return true; }
    bool reduceMotion() const override { return false; }
    void start(EventHandler handler) override;
    void stop() override;
    std::vector<AppInfo> runningApps() override;
    std::optional<AppInfo> app(ProcessID pid) override;
    std::optional<ProcessID> frontmostApp() const override;
    void activate(ProcessID pid) override;
    std::vector<Display> displays() override;
    bool supportsSpaces() const override { return true; }
    SpaceID currentSpace(const std::string& displayUUID) override;
    std::vector<SpaceID> spacesOf(WindowID window) override;
    std::optional<WindowID> frontWindow(ProcessID pid) override;
    std::optional<WindowID> topWindow(Point point) override;
    bool focus(WindowID window, ProcessID pid) override;
    bool isConnected(ProcessID pid) const override;
    void connect(ProcessID pid, ConnectCompletion completion) override;
    void disconnect(ProcessID pid) override;
    void windows(ProcessID pid, WindowsCompletion completion) override;
    void watch(const WindowHandle& window, ProcessID pid) override;
    void facts(const WindowHandle& window, ProcessID pid, FactsCompletion completion) override;
    void frame(const WindowHandle& window, ProcessID pid, FrameCompletion completion) override;
    void title(const WindowHandle& window, ProcessID pid, TitleCompletion completion) override;
    void isFullScreen(const WindowHandle& window, ProcessID pid, FlagCompletion completion) override;
    void focusedWindow(ProcessID pid, FocusedCompletion completion) override;
    void raise(const WindowHandle& window, ProcessID pid) override;
    void setFrame(const WindowHandle& window, ProcessID pid, Rect frame) override;
    void releaseAll(const std::vector<WindowRelease>& windows, double timeout) override;

    // The Space identifier of a display's workspace: stable across restarts
    // (made from the display's UUID) and never 0.
    static SpaceID spaceID(const Workspace& workspace);

private:
    struct App {
        ProcessID pid = 0;
        std::string className;
        std::string instance;
        std::vector<xcb_window_t> windows;  // in the order they were managed
        xcb_window_t lastFocused = XCB_NONE;
    };
    struct Monitor {
        MonitorInfo info;
        Rect visible;
        int current = 0;  // the workspace shown
    };
    struct Ping {
        xcb_window_t window = XCB_NONE;
        double sentAt = 0;
        EventLoop::TimerID timer = 0;
    };

    // ---- one loop turn (X11Push.cpp)
    void turn();
    void push();
    void pushClient(Client& client);
    void pushStacking();
    void pushFocus();
    void pushRoot();
    void showUnplaced();
    void answerSyncs();
    std::vector<xcb_window_t> stackingOrder() const;

    // ---- events (X11Events.cpp)
    void handleEvent(const xcb_generic_event_t& event);
    void onMapRequest(const xcb_map_request_event_t& event);
    void onConfigureRequest(const xcb_configure_request_event_t& event);
    void onConfigureNotify(const xcb_configure_notify_event_t& event);
    void onUnmapNotify(const xcb_unmap_notify_event_t& event);
    void onDestroyNotify(const xcb_destroy_notify_event_t& event);
    void onPropertyNotify(const xcb_property_notify_event_t& event);
    void onClientMessage(const xcb_client_message_event_t& event);
    void onFocusIn(const xcb_focus_in_event_t& event);
    void onButtonPress(const xcb_button_press_event_t& event);
    void onWindowState(Client& client, std::uint32_t action, xcb_atom_t first, xcb_atom_t second);
    void onPong(const xcb_client_message_event_t& event);
    void onMoveResizeRequest(Client& client, const std::uint32_t* data);
    void onGenericEvent(const xcb_generic_event_t& event);
    void onKeyPress(const xcb_key_press_event_t& event);
    void onActivationRequest(Client& client);
    void onCloseRequest(Client& client);
    bool tiledByEngine(const Client& client) const;

    // ---- windows (X11Manage.cpp)
    void manage(xcb_window_t window, bool adopting);
    void unmanage(Client& client, bool destroyed);
    void readTitle(Client& client);
    void readHints(Client& client);
    void readProtocols(Client& client);
    void readStrut(Client& client);
    ProcessID groupOf(xcb_window_t window, std::optional<std::uint32_t> pid, xcb_window_t leader,
                      const std::string& className, bool sameMachine);
    Workspace workspaceForNew(const Client& client, std::optional<std::uint32_t> desktop);
    void fitOntoMonitor(Client& client, bool centre);
    void iconify(Client& client);
    void deiconify(Client& client, bool focusIt);
    void setFullscreen(Client& client, bool on);
    void setFocus(xcb_window_t window);
    // Focuses the most recent window still on screen; with `sameDisplay`
    // only one on the display the user works on.
    void focusFallback(bool sameDisplay = false);
    void raiseWindow(xcb_window_t window);
    void ping(Client& client);
    void markDirty(Client& client);
    WindowFacts factsOf(const Client& client) const;

    // ---- moving and resizing by hand (X11MoveResize.cpp)
    struct HandMove {
        xcb_window_t window = XCB_NONE;
        std::uint16_t device = 0;  // the master pointer held
        std::uint8_t button = 1;
        bool resize = false;
        int edgeX = 0, edgeY = 0;  // the edges that follow: -1 left or top, 1 right or bottom
        Point start;               // the pointer when it began
        Rect frame;                // the window's frame when it began
        bool resizedUnsaid = false;  // a resize the engine hears of at the end
    };
    void grabHandButtons(bool on);
    bool beginHand(Client& client, HandMove hand, bool grabbed);
    void followHand(Point pointer);
    void endHand();
    bool handEligible(const Client& client) const;

    // ---- displays and workspaces (X11Workspaces.cpp)
    void refreshMonitors();
    void refreshVisibleAreas();
    std::vector<Strut> struts() const;
    const Monitor* monitorOf(const Workspace& workspace) const;
    Monitor* monitorByUUID(const std::string& uuid);
    int monitorIndex(const std::string& uuid) const;
    // A window the engine or its client moved onto another display joins
    // the workspace shown there, as it does on a system with Spaces.
    void followToDisplay(Client& client);
    bool isShown(const Client& client) const;
    void updateVisibility(Client& client);
    // Lets a new window held for its first frame be mapped.
    void stopAwaitingFrame(Client& client);
    void showWorkspace(std::size_t monitor, int index);
    void moveToWorkspace(Client& client, const Workspace& target);
    std::optional<Workspace> workspaceOfDesktop(std::uint32_t desktop) const;
    std::uint32_t desktopOf(const Client& client) const;
    std::string activeMonitor() const;

    // ---- engine events
    void emit(SystemEvent event);
    void emitWindow(WindowEvent event, const Client& client);
    // Answers on the loop a moment later, unless the engine stopped meanwhile.
    void later(std::function<void()> work);

    Client* find(xcb_window_t window);
    const Client* find(xcb_window_t window) const;

    X11Connection& x_;
    EventLoop& loop_;
    X11Scheduler& scheduler_;
    X11FrameWriter* writer_ = nullptr;
    xcb_window_t checkWindow_ = XCB_NONE;
    bool managing_ = false;

    std::unordered_map<xcb_window_t, Client> clients_;
    std::vector<xcb_window_t> stack_;  // bottom to top, every managed window
    std::uint64_t nextOrder_ = 1;
    std::unordered_map<ProcessID, App> apps_;
    std::vector<ProcessID> appOrder_;
    std::map<std::string, ProcessID> standIns_;  // group key -> stand-in pid (negative)
    ProcessID nextStandIn_ = -2;
    std::string hostname_;

    std::vector<Monitor> monitors_;
    std::unordered_map<std::string, int> leftWorkspaces_;  // UUID -> workspace shown when it left
    std::string active_;  // UUID of the display the user works on
    Size screenSize_;

    xcb_window_t focus_ = XCB_NONE;
    xcb_window_t focusSent_ = XCB_NONE;
    std::uint16_t focusSequence_ = 0;  // of our last SetInputFocus
    bool focusPending_ = false;
    bool refocus_ = false;  // the engine asked again for the focused window
    std::vector<xcb_window_t> focusHistory_;  // most recent last

    std::unordered_map<ProcessID, Ping> pings_;
    std::unordered_map<ProcessID, double> lastPing_;

    std::vector<xcb_window_t> dirty_;
    std::vector<xcb_window_t> awaitingFrame_;  // new windows held unmapped, see Client::awaitingFrame
    bool stackDirty_ = true;
    bool rootDirty_ = true;
    std::vector<xcb_window_t> publishedStack_;
    std::vector<xcb_window_t> publishedClients_;
    std::vector<xcb_window_t> publishedStacking_;
    std::optional<std::uint32_t> publishedDesktops_;
    std::optional<std::uint32_t> publishedCurrent_;
    std::optional<std::string> publishedNames_;
    std::optional<xcb_window_t> publishedActive_;
    std::vector<std::pair<xcb_window_t, std::uint32_t>> syncs_;

    std::optional<HandMove> hand_;
    std::uint8_t xiOpcode_ = 0;
    std::uint16_t numLockMask_ = 1 << 4;  // Mod2
    bool handGrabs_ = false;

    EventHandler handler_;
    std::uint64_t generation_ = 0;
    std::unordered_set<ProcessID> connected_;
    std::unordered_set<xcb_window_t> watched_;
};

}  // namespace tessaline
