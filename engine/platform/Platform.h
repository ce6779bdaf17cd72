#pragma once
// The six interfaces through which the engine sees and moves the desktop.
//
// Threading, for every interface: each operation is called on the engine's
// (main) thread, and every completion and event handler is invoked on that
// same thread, never re-entrantly from inside the call unless said so below.
// Completions normally arrive after the call has returned; the only two that
// may answer inside the call are WindowSystem::windows and
// WindowSystem::focusedWindow for an application that is not connected.
// An absent answer means "no answer" (not responding, window gone): callers
// try again later or skip the window; it is never an error.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/platform/PlatformTypes.h"

namespace tessaline {

// One window to bring back on screen when tiling stops.
struct WindowRelease {
    WindowHandle window;
    ProcessID pid = 0;
    Rect area;  // an on-screen rectangle the window must end up inside
    friend bool operator==(const WindowRelease&, const WindowRelease&) = default;
};

class WindowSystem {
public:
    using EventHandler = std::function<void(const SystemEvent&)>;
    using ConnectCompletion = std::function<void(std::optional<std::vector<WindowFacts>>)>;
    using WindowsCompletion = std::function<void(std::vector<WindowFacts>)>;
    using FactsCompletion = std::function<void(std::optional<WindowFacts>)>;
    using FrameCompletion = std::function<void(std::optional<Rect>)>;
    using TitleCompletion = std::function<void(std::optional<std::string>)>;
    using FlagCompletion = std::function<void(bool)>;
    using FocusedCompletion = std::function<void(std::optional<WindowHandle>, std::optional<WindowID>)>;

    virtual ~WindowSystem() = default;

    // The program holds the accessibility permission; nothing starts without it.
    virtual bool isTrusted() const = 0;
    // The user asked the system to reduce motion: the engine skips animation.
    virtual bool reduceMotion() const = 0;
    // Deliver system events to the handler until stop(); start after stop works again.
    virtual void start(EventHandler handler) = 0;
    // Stop delivering events and drop every application observer.
    virtual void stop() = 0;
    // Every running application; the engine keeps the regular ones.
    virtual std::vector<AppInfo> runningApps() = 0;
    // One application; absent when it is no longer running.
    virtual std::optional<AppInfo> app(ProcessID pid) = 0;
    virtual std::optional<ProcessID> frontmostApp() const = 0;
    // Bring the application to the front without raising all its windows.
    virtual void activate(ProcessID pid) = 0;
    // Current displays; the first is the primary one.
    virtual std::vector<Display> displays() = 0;
    // The Space of a window and of a display can be read.
    virtual bool supportsSpaces() const = 0;
    // The Space shown now on the display with this UUID; 0 when unknown.
    virtual SpaceID currentSpace(const std::string& displayUUID) = 0;
    // The Spaces a window is on; empty when unknown.
    virtual std::vector<SpaceID> spacesOf(WindowID window) = 0;
    // The application's frontmost ordinary on-screen window, answered at once.
    virtual std::optional<WindowID> frontWindow(ProcessID pid) = 0;
    // The topmost ordinary on-screen window under a point, not one of ours.
    virtual std::optional<WindowID> topWindow(Point point) = 0;
    // Make the window its application's focused, main and key window; false
    // when the request could not be made.
    virtual bool focus(WindowID window, ProcessID pid) = 0;
    // An observer exists for this application.
    virtual bool isConnected(ProcessID pid) const = 0;
    // Observe the application (created, focusChanged) and read its windows.
    // Answers later with the windows, or absent when it cannot be observed yet
    // (still launching, not answering).
    virtual void connect(ProcessID pid, ConnectCompletion completion) = 0;
    // Drop the application's observer and every window subscription.
    virtual void disconnect(ProcessID pid) = 0;
    // All windows of a connected application, later. Not connected: answers
    // at once, inside the call, with an empty list.
    virtual void windows(ProcessID pid, WindowsCompletion completion) = 0;
    // Subscribe to destroyed, minimized, restored, moved, resized and
    // titleChanged for one window; nothing when the application is not
    // connected. moved is raised only while the left button is down.
    virtual void watch(const WindowHandle& window, ProcessID pid) = 0;
    // Re-read one window, later; absent when it is gone or did not answer.
    virtual void facts(const WindowHandle& window, ProcessID pid, FactsCompletion completion) = 0;
    // The window's current frame, later; absent when gone or not answering.
    virtual void frame(const WindowHandle& window, ProcessID pid, FrameCompletion completion) = 0;
    // The window's title, later; absent when gone or not answering.
    virtual void title(const WindowHandle& window, ProcessID pid, TitleCompletion completion) = 0;
    // The full-screen flag, later; false when unknown.
    virtual void isFullScreen(const WindowHandle& window, ProcessID pid, FlagCompletion completion) = 0;
    // The focused window as handle and number, later; the number may be absent
    // while the handle is known. Not connected: (absent, absent) at once.
    virtual void focusedWindow(ProcessID pid, FocusedCompletion completion) = 0;
    // Raise the window above its application's other windows.
    virtual void raise(const WindowHandle& window, ProcessID pid) = 0;
    // Write a frame directly (size, then position), bypassing FrameWriting.
    virtual void setFrame(const WindowHandle& window, ProcessID pid, Rect frame) = 0;
    // Blocks: bring every window inside its area (Parking::fit), all in
    // parallel, returning when done or after `timeout` seconds.
    virtual void releaseAll(const std::vector<WindowRelease>& windows, double timeout) = 0;
};

class FrameWriting {
public:
    // (window, size asked for, size obtained), after every write that set a
    // size and could read it back, whether or not the two differ.
    using ResizeHandler = std::function<void(WindowID, Size asked, Size got)>;
    // After writes were applied; writes finishing before the main thread runs
    // again produce one call.
    using AppliedHandler = std::function<void()>;

    virtual ~FrameWriting() = default;

    // Set by the window manager; an implementation calls them on the main thread.
    ResizeHandler onResize;
    AppliedHandler onApplied;

    // Queue a frame; with writeSize false only the position is written. At most
    // one write per window is pending: a newer frame replaces it. A size is
    // never lost: one given up on after its retries goes with the next write.
    virtual void write(WindowID window, ProcessID pid, const WindowHandle& handle, Rect frame,
                       bool writeSize) = 0;
    // The last frame written to, or noted for, the window.
    virtual std::optional<Rect> appliedFrame(WindowID window) const = 0;
    // Record a frame as applied without writing it (the user moved the window);
    // a frame still waiting to be written for the window is dropped.
    virtual void noteApplied(WindowID window, Rect frame) = 0;
    // This writer wrote the window's size less than `within` seconds ago.
    virtual bool resizedRecently(WindowID window, double within) const = 0;
    // A write or focus request to the application failed less than 3 s ago.
    virtual bool isBusy(ProcessID pid) const = 0;
    // The application was marked slow less than `within` seconds ago.
    virtual bool wasSluggish(ProcessID pid, double within) const = 0;
    // Drop all state of an application (it quit).
    virtual void forget(ProcessID pid) = 0;
    // Drop all state of a window (it closed).
    virtual void forgetWindow(WindowID window) = 0;
    // Blocks: drop every pending frame, then wait for the request in progress
    // for each application.
    virtual void drain() = 0;
};

class InputSource {
public:
    using EventHandler = std::function<void(const InputEvent&)>;

    virtual ~InputSource() = default;

    // Deliver input events to the handler until stop().
    virtual void start(EventHandler handler) = 0;
    virtual void stop() = 0;
    // Change what is captured; called at start and when the options change.
    virtual void configure(const InputOptions& options) = 0;
    // Turn delivery of KeyDown on or off.
    virtual void watchKeys(bool on) = 0;
    // Pointer position in global coordinates.
    virtual Point pointer() const = 0;
    // Mouse buttons held now; bit 0 is the left button.
    virtual int pressedButtons() const = 0;
    // Move the pointer without clicking.
    virtual void warpPointer(Point point) = 0;
};

class ScheduledTask {
public:
    virtual ~ScheduledTask() = default;
    // The work will not run again. Harmless twice, after a one-shot ran, and
    // from inside the work itself (a repeating task stops after this run).
    virtual void cancel() = 0;
};

// Dropping the returned handle does not cancel the task; only cancel() does.
class Scheduler {
public:
    using Work = std::function<void()>;

    virtual ~Scheduler() = default;

    // Monotonic seconds, not wall time.
    virtual double now() const = 0;
    // Run the work once on the main thread after the delay.
    virtual std::shared_ptr<ScheduledTask> after(double delay, Work work) = 0;
    // Run the work on the main thread every interval until cancelled.
    virtual std::shared_ptr<ScheduledTask> every(double interval, Work work) = 0;
    // Run the work once per display refresh until cancelled.
    virtual std::shared_ptr<ScheduledTask> frames(Work work) = 0;
};

class OverlayPresenter {
public:
    virtual ~OverlayPresenter() = default;

    // Recompute every overlay from the window manager's state.
    virtual void refresh() = 0;
    // Move overlays to the newest frames without rebuilding them.
    virtual void followFrames() = 0;
    virtual void hideAll() = 0;
    // Show the strip indicator of an active strip; it hides after 1.2 s, or
    // 2.5 s with `hold`. With the timeline open, the timeline switches strips.
    virtual void showStrip(const StripKey& key, bool hold) = 0;
    // Drop preview at the rectangle, just below the window; absent hides it.
    virtual void showDropIndicator(std::optional<Rect> frame, std::optional<WindowID> below) = 0;
    // A click outside the overlays: a pinned timeline closes.
    virtual void clickedElsewhere() = 0;
    virtual bool timelineOpen() const = 0;
    // Open the timeline as a peek; ignored while the overview is open.
    virtual void beginTimelinePeek(const StripKey& key) = 0;
    // From peek: pin true pins, false closes. From pinned: true closes, false
    // keeps it. From closed: nothing.
    virtual void endTimelinePeek(bool pin) = 0;
    virtual void closeTimeline() = 0;
    // Height the strip bar keeps at the bottom of the display for this many
    // columns; every relayout takes it off the viewport.
    virtual double reservedHeight(int columns, const Display& display) const = 0;
    virtual bool overviewOpen() const = 0;
    virtual void showOverview(const StripKey& key) = 0;
    virtual void closeOverview() = 0;
};

}  // namespace tessaline
