#pragma once
// A simulated desktop: displays with Spaces, applications with windows, the
// frontmost application, the pointer and its buttons. Tests drive it like a
// user would (open, move, close windows, switch Spaces, quit apps) and the
// engine sees it through the platform objects it hands out (system(),
// writer(), input(), overlays(), scheduler()).
//
// Every answer the platform objects give travels through the virtual clock:
// requests to one application are served one after the other, each taking
// the application's latency (0.5 s and an absent answer while it hangs), so
// a hung application delays only itself. Changes made here raise their
// SystemEvents on the scheduler's next turn, never inside the call.
//
// Every operation tolerates ids that do not (or no longer) exist: it does
// nothing, or answers absent.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/platform/Platform.h"

namespace tessaline {

class SimScheduler;
class SimWindowSystem;
class SimFrameWriter;
class SimInput;
class SimOverlays;

// The platform object behind a simulated WindowHandle. Each call to
// SimDesktop::handleOf makes a new one, so handles are compared by element.
class SimElement final : public PlatformElement {
public:
    SimElement(std::uint64_t element, ProcessID pid) : element_(element), pid_(pid) {}
    bool equals(const PlatformElement& other) const override;
    std::size_t hash() const override;
    std::uint64_t element() const { return element_; }
    ProcessID pid() const { return pid_; }

private:
    std::uint64_t element_;
    ProcessID pid_;
};

struct DisplaySpec {
    // Not an aggregate, so that addDisplay({x, y, w, h}) means a frame.
    DisplaySpec() = default;
    std::string name = "Display";
    Rect frame{0, 0, 1440, 900};
    std::optional<Rect> visible;     // default: the frame less a 25-point menu bar
    std::optional<std::string> uuid; // default: "SIM-DISPLAY-" and the display number
};

struct AppSpec {
    std::string name = "App";
    std::optional<std::string> bundleID;
    bool regular = true;
    bool hidden = false;
    double launchTime = 0;  // seconds during which it cannot be connected yet
    double latency = 0.01;  // seconds each request to it takes
};

enum class WindowKind {
    standard,   // an ordinary document window: tracked and tiled
    dialog,     // a window whose subrole is not standard
    notWindow,  // an element that is not a window at all (a popover, a sheet)
};

struct WindowSpec {
    ProcessID pid = 0;
    std::string title;
    Rect frame{100, 100, 800, 600};
    WindowKind kind = WindowKind::standard;
    bool hasNumber = true;       // false: the window server gives it no number
    bool fixedSize = false;
    Size minSize{};              // the window refuses to go smaller
    std::optional<std::vector<SpaceID>> spaces;  // default: the current Space of its display
    bool minimized = false;
    bool focus = true;           // becomes its application's focused window, raised
};

struct SimDisplayState {
    Display display;
    std::vector<SpaceID> spaces;
    SpaceID current = 0;
};

struct SimApp {
    ProcessID pid = 0;
    std::optional<std::string> bundleID;
    std::string name;
    bool regular = true;
    bool hidden = false;
    bool launching = false;
    bool hung = false;
    bool refusesWrites = false;  // frame writes and make-main requests fail quickly
    bool refusesFocus = false;   // focus requests are accepted and ignored
    double latency = 0.01;
    double activationStall = 0;  // after activation, requests stall this long
    double stalledUntil = 0;
    std::optional<WindowID> focusedWindow;
};

struct SimWindow {
    WindowID id = 0;
    ProcessID pid = 0;
    std::uint64_t element = 0;
    WindowKind kind = WindowKind::standard;
    bool hasNumber = true;
    std::string title;
    Rect frame;
    bool minimized = false;
    bool fullScreen = false;
    bool fixedSize = false;
    Size minSize{};
    std::vector<SpaceID> spaces;
    // Where the window was before it went full screen.
    Rect savedFrame;
    std::vector<SpaceID> savedSpaces;
    SpaceID savedShownSpace = 0;
};

// How a frame change came about: a user's or application's own change, or a
// write by this program through the accessibility interface.
enum class FrameChange { byUser, byProgram };

class SimDesktop {
public:
    SimDesktop();
    ~SimDesktop();
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    // -- the platform objects handed to the engine
    std::shared_ptr<SimScheduler> scheduler() const { return scheduler_; }
    std::shared_ptr<SimWindowSystem> system() const { return system_; }
    std::shared_ptr<SimFrameWriter> writer() const { return writer_; }
    std::shared_ptr<SimInput> input() const { return input_; }
    std::shared_ptr<SimOverlays> overlays() const { return overlays_; }

    // -- time
    double now() const;
    void advance(double seconds);

    // -- system settings
    void setTrusted(bool trusted) { trusted_ = trusted; }
    bool trusted() const { return trusted_; }
    void setReduceMotion(bool on);  // raises accessibilityChanged
    bool reduceMotion() const { return reduceMotion_; }
    void setSpacesSupported(bool supported) { spacesSupported_ = supported; }
    bool spacesSupported() const { return spacesSupported_; }
    void setFocusSupported(bool supported) { focusSupported_ = supported; }
    bool focusSupported() const { return focusSupported_; }

    // -- displays and Spaces
    std::string addDisplay(const DisplaySpec& desc = {});
    std::string addDisplay(Rect frame, std::string name = "Display");
    void removeDisplay(const std::string& uuid);
    // A display moves with its windows, as a real one does: the windows of its
    // Spaces keep their place relative to it.
    void setDisplayFrame(const std::string& uuid, Rect frame, std::optional<Rect> visible = {});
    // Several displays rearranged at once, announced by one change.
    void arrangeDisplays(const std::vector<std::pair<std::string, Rect>>& frames);
    std::vector<Display> displays() const;
    std::optional<Display> display(const std::string& uuid) const;
    SpaceID addSpace(const std::string& uuid);
    std::vector<SpaceID> spacesOn(const std::string& uuid) const;
    SpaceID currentSpace(const std::string& uuid) const;  // 0 for an unknown display
    void switchSpace(const std::string& uuid, SpaceID space);
    void moveToSpace(WindowID window, SpaceID space);

    // -- applications
    ProcessID launchApp(const AppSpec& desc = {});
    ProcessID launchApp(std::string name, std::optional<std::string> bundleID = {});
    void finishLaunching(ProcessID pid);
    void quitApp(ProcessID pid);
    void hideApp(ProcessID pid);
    void showApp(ProcessID pid);
    void activateApp(ProcessID pid);
    void setHung(ProcessID pid, bool hung);
    void setLatency(ProcessID pid, double seconds);
    void setRefusesWrites(ProcessID pid, bool refuses);
    void setRefusesFocus(ProcessID pid, bool refuses);
    void setActivationStall(ProcessID pid, double seconds);
    const SimApp* app(ProcessID pid) const;
    std::vector<ProcessID> apps() const;  // in launch order
    std::optional<ProcessID> frontmost() const { return frontmost_; }

    // -- windows
    WindowID openWindow(const WindowSpec& desc);
    WindowID openWindow(ProcessID pid, std::string title = {}, Rect frame = {100, 100, 800, 600});
    void closeWindow(WindowID window);
    void minimize(WindowID window);
    void restore(WindowID window);
    void setFullScreen(WindowID window, bool on);
    // The user or the application itself moved or resized the window.
    void setFrame(WindowID window, Rect frame);
    void setTitle(WindowID window, std::string title);
    void setMinSize(WindowID window, Size size);
    void setFixedSize(WindowID window, bool fixed);
    void setKind(WindowID window, WindowKind kind);
    // The user clicked the window: its application comes to the front and it
    // becomes the focused window.
    void focusWindow(WindowID window);
    void raiseWindow(WindowID window);

    const SimWindow* window(WindowID window) const;
    std::optional<Rect> frameOf(WindowID window) const;
    WindowHandle handleOf(WindowID window) const;  // empty for an unknown window
    std::vector<WindowID> windowsOf(ProcessID pid) const;  // front to back
    std::optional<WindowID> focusedWindowOf(ProcessID pid) const;
    std::vector<WindowID> windowOrder() const { return zOrder_; }  // front to back
    bool isOnScreen(WindowID window) const;

    // -- pointer (SimInput drives these and raises the input events)
    Point pointer() const { return pointer_; }
    int pressedButtons() const { return buttons_; }

    // -- used by the platform objects
    const SimWindow* windowForHandle(const WindowHandle& handle) const;
    std::optional<WindowFacts> factsOf(const SimWindow& window) const;
    // Queue a request on the application's serial worker. `serve` runs on a
    // later scheduler turn, when the request is done; `timedOut` is true when
    // the application hung while serving it, `elapsed` is how long it took.
    void enqueue(ProcessID pid, std::function<void(bool timedOut, double elapsed)> serve);
    // Run work on the scheduler's next turn (never inside the caller).
    void post(double delay, std::function<void()> work);
    // Apply a frame under the window's own rules (minimum size, fixed size)
    // and raise moved/resized. Returns the frame the window ended up with.
    std::optional<Rect> applyFrame(WindowID window, Rect frame, bool writeSize, FrameChange change);
    void focusByProgram(WindowID window);
    void activateByProgram(ProcessID pid);
    void raiseByProgram(WindowID window);

private:
    friend class SimInput;

    struct WorkQueue {
        struct Request {
            std::function<void(bool, double)> serve;
        };
        std::deque<Request> requests;
        bool busy = false;
    };

    SimDisplayState* displayState(const std::string& uuid);
    const SimDisplayState* displayState(const std::string& uuid) const;
    const SimDisplayState* displayShowingSpace(SpaceID space) const;
    const SimDisplayState* displayOfWindow(const SimWindow& window) const;
    const SimDisplayState* displayAt(Point point) const;
    SimWindow* findWindow(WindowID window);
    SimApp* findApp(ProcessID pid);
    void startNext(ProcessID pid);
    void emit(const SystemEvent& event);
    void emitWindow(WindowEvent event, const SimWindow& window);
    void makeFrontmost(ProcessID pid);
    void activateNext();
    void refocusApp(ProcessID pid);
    void bringToFront(WindowID window);
    void eraseWindow(WindowID window);
    void leaveFullScreen(SimWindow& window, bool closing);
    void followDisplay(SimWindow& window);
    void placeDisplay(SimDisplayState& display, Rect frame, std::optional<Rect> visible);

    std::shared_ptr<int> alive_;
    std::shared_ptr<SimScheduler> scheduler_;
    std::shared_ptr<SimWindowSystem> system_;
    std::shared_ptr<SimFrameWriter> writer_;
    std::shared_ptr<SimInput> input_;
    std::shared_ptr<SimOverlays> overlays_;

    bool trusted_ = true;
    bool reduceMotion_ = false;
    bool spacesSupported_ = true;
    bool focusSupported_ = true;

    std::vector<SimDisplayState> displays_;
    std::map<ProcessID, SimApp> apps_;
    std::vector<ProcessID> launchOrder_;
    std::vector<ProcessID> activationOrder_;  // most recent first
    std::optional<ProcessID> frontmost_;
    std::map<WindowID, SimWindow> windows_;
    std::map<std::uint64_t, WindowID> elements_;
    std::vector<WindowID> zOrder_;
    std::map<ProcessID, WorkQueue> queues_;

    Point pointer_{};
    int buttons_ = 0;

    std::uint32_t nextDisplayID_ = 1;
    SpaceID nextSpace_ = 1;
    ProcessID nextPid_ = 100;
    WindowID nextWindow_ = 1;
    std::uint64_t nextElement_ = 1;
};

}  // namespace tessaline
