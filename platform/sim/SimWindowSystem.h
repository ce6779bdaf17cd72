#pragma once
// The simulated desktop seen through the WindowSystem interface. Reads and
// requests go through the owning application's serial worker on the virtual
// clock (SimDesktop::enqueue); events raised by the desktop reach the handler
// given to start() on the scheduler's next turn.

#include <cstdint>
#include <map>
#include <set>

#include "engine/platform/Platform.h"

namespace tessaline {

class SimDesktop;

class SimWindowSystem final : public WindowSystem {
public:
    explicit SimWindowSystem(SimDesktop& desktop) : desk_(&desktop) {}

    bool isTrusted() const override;
    bool reduceMotion() const override;
    void start(EventHandler handler) override;
    void stop() override;
    std::vector<AppInfo> runningApps() override;
    std::optional<AppInfo> app(ProcessID pid) override;
    std::optional<ProcessID> frontmostApp() const override;
    void activate(ProcessID pid) override;
    std::vector<Display> displays() override;
    bool supportsSpaces() const override;
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

    // -- for the desktop and for tests
    bool started() const { return static_cast<bool>(handler_); }
    bool isWatched(std::uint64_t element, ProcessID pid) const;
    // Hand an event to the handler on the scheduler's next turn; dropped when
    // not started, or when stopped before it is delivered.
    void deliver(const SystemEvent& event);
    void forgetElement(std::uint64_t element) { watched_.erase(element); }
    // Number of requests made of the window system so far, for drivers.
    std::uint64_t requests() const { return requests_; }
    void detach() { desk_ = nullptr; }

private:
    std::vector<WindowFacts> listWindows(ProcessID pid) const;

    SimDesktop* desk_;
    EventHandler handler_;
    std::uint64_t generation_ = 0;
    std::set<ProcessID> connected_;
    std::map<std::uint64_t, ProcessID> watched_;  // element -> the pid that watches it
    std::uint64_t requests_ = 0;
};

}  // namespace tessaline
