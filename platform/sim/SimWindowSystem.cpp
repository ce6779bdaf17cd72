#include "platform/sim/SimWindowSystem.h"

#include <utility>

#include "core/Parking.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimFrameWriter.h"

namespace tessaline {

namespace {

// A raise slower than this marks the application as sluggish, as a write does.
constexpr double kSluggishSeconds = 0.12;

}  // namespace

bool SimWindowSystem::isTrusted() const { return desk_ && desk_->trusted(); }
bool SimWindowSystem::reduceMotion() const { return desk_ && desk_->reduceMotion(); }

void SimWindowSystem::start(EventHandler handler) {
    handler_ = std::move(handler);
    ++generation_;
}

void SimWindowSystem::stop() {
    handler_ = nullptr;
    ++generation_;
    connected_.clear();
    watched_.clear();
}

void SimWindowSystem::deliver(const SystemEvent& event) {
    if (!desk_ || !handler_) return;
    desk_->post(0, [this, generation = generation_, event] {
        if (!handler_ || generation != generation_) return;
        auto handler = handler_;  // the handler may stop us while it runs
        handler(event);
    });
}

bool SimWindowSystem::isWatched(std::uint64_t element, ProcessID pid) const {
    auto it = watched_.find(element);
    return it != watched_.end() && it->second == pid;
}

std::vector<AppInfo> SimWindowSystem::runningApps() {
    std::vector<AppInfo> result;
    if (!desk_) return result;
    for (ProcessID pid : desk_->apps())
        if (auto info = app(pid)) result.push_back(*info);
    return result;
}

std::optional<AppInfo> SimWindowSystem::app(ProcessID pid) {
    const SimApp* a = desk_ ? desk_->app(pid) : nullptr;
    if (!a) return std::nullopt;
    return AppInfo{a->pid, a->bundleID, a->name, a->regular, a->hidden};
}

std::optional<ProcessID> SimWindowSystem::frontmostApp() const {
    return desk_ ? desk_->frontmost() : std::nullopt;
}

void SimWindowSystem::activate(ProcessID pid) {
    if (desk_) desk_->activateByProgram(pid);
}

std::vector<Display> SimWindowSystem::displays() { return desk_ ? desk_->displays() : std::vector<Display>{}; }

bool SimWindowSystem::supportsSpaces() const { return desk_ && desk_->spacesSupported(); }

SpaceID SimWindowSystem::currentSpace(const std::string& displayUUID) {
    return supportsSpaces() ? desk_->currentSpace(displayUUID) : 0;
}

std::vector<SpaceID> SimWindowSystem::spacesOf(WindowID window) {
    const SimWindow* w = supportsSpaces() ? desk_->window(window) : nullptr;
    return w ? w->spaces : std::vector<SpaceID>{};
}

std::optional<WindowID> SimWindowSystem::frontWindow(ProcessID pid) {
    if (!desk_) return std::nullopt;
    for (WindowID id : desk_->windowOrder()) {
        const SimWindow* w = desk_->window(id);
        if (w->pid == pid && w->hasNumber && desk_->isOnScreen(id)) return id;
    }
    return std::nullopt;
}

std::optional<WindowID> SimWindowSystem::topWindow(Point point) {
    if (!desk_) return std::nullopt;
    for (WindowID id : desk_->windowOrder()) {
        const SimWindow* w = desk_->window(id);
        if (w->hasNumber && desk_->isOnScreen(id) && w->frame.contains(point)) return id;
    }
    return std::nullopt;
}

bool SimWindowSystem::focus(WindowID window, ProcessID pid) {
    if (!desk_ || !desk_->focusSupported() || !desk_->app(pid)) return false;
    const SimWindow* w = desk_->window(window);
    if (w && w->pid == pid) desk_->focusByProgram(window);
    else desk_->activateByProgram(pid);  // the process still comes to the front
    return true;
}

bool SimWindowSystem::isConnected(ProcessID pid) const { return connected_.count(pid) > 0; }

std::vector<WindowFacts> SimWindowSystem::listWindows(ProcessID pid) const {
    std::vector<WindowFacts> result;
    for (WindowID id : desk_->windowsOf(pid))
        if (auto facts = desk_->factsOf(*desk_->window(id))) result.push_back(std::move(*facts));
    return result;
}

void SimWindowSystem::connect(ProcessID pid, ConnectCompletion completion) {
    if (!desk_ || !completion) return;
    ++requests_;
    desk_->enqueue(pid, [this, pid, completion = std::move(completion)](bool timedOut, double) {
        const SimApp* a = desk_->app(pid);
        // Not observable: gone, still launching, not answering, or the window
        // system was stopped while the request was on its way.
        if (timedOut || !a || a->launching || !handler_) return completion(std::nullopt);
        connected_.insert(pid);
        completion(listWindows(pid));
    });
}

void SimWindowSystem::disconnect(ProcessID pid) {
    connected_.erase(pid);
    std::erase_if(watched_, [pid](const auto& entry) { return entry.second == pid; });
}

void SimWindowSystem::windows(ProcessID pid, WindowsCompletion completion) {
    if (!completion) return;
    if (!desk_ || !isConnected(pid)) return completion({});
    ++requests_;
    desk_->enqueue(pid, [this, pid, completion = std::move(completion)](bool timedOut, double) {
        if (timedOut || !desk_->app(pid)) return completion({});
        completion(listWindows(pid));
    });
}

void SimWindowSystem::watch(const WindowHandle& window, ProcessID pid) {
    const auto* element = dynamic_cast<const SimElement*>(window.object.get());
    if (!element || !isConnected(pid)) return;
    watched_[element->element()] = pid;
}

void SimWindowSystem::facts(const WindowHandle& window, ProcessID pid, FactsCompletion completion) {
    if (!desk_ || !completion) return;
    ++requests_;
    desk_->enqueue(pid, [this, window, completion = std::move(completion)](bool timedOut, double) {
        const SimWindow* w = timedOut ? nullptr : desk_->windowForHandle(window);
        completion(w ? desk_->factsOf(*w) : std::nullopt);
    });
}

void SimWindowSystem::frame(const WindowHandle& window, ProcessID pid, FrameCompletion completion) {
    if (!desk_ || !completion) return;
    ++requests_;
    desk_->enqueue(pid, [this, window, completion = std::move(completion)](bool timedOut, double) {
        const SimWindow* w = timedOut ? nullptr : desk_->windowForHandle(window);
        completion(w ? std::optional<Rect>(w->frame) : std::nullopt);
    });
}

void SimWindowSystem::title(const WindowHandle& window, ProcessID pid, TitleCompletion completion) {
    if (!desk_ || !completion) return;
    ++requests_;
    desk_->enqueue(pid, [this, window, completion = std::move(completion)](bool timedOut, double) {
        const SimWindow* w = timedOut ? nullptr : desk_->windowForHandle(window);
        completion(w ? std::optional<std::string>(w->title) : std::nullopt);
    });
}

void SimWindowSystem::isFullScreen(const WindowHandle& window, ProcessID pid, FlagCompletion completion) {
    if (!desk_ || !completion) return;
    ++requests_;
    desk_->enqueue(pid, [this, window, completion = std::move(completion)](bool timedOut, double) {
        const SimWindow* w = timedOut ? nullptr : desk_->windowForHandle(window);
        completion(w && w->fullScreen);
    });
}

void SimWindowSystem::focusedWindow(ProcessID pid, FocusedCompletion completion) {
    if (!completion) return;
    if (!desk_ || !isConnected(pid)) return completion(std::nullopt, std::nullopt);
    ++requests_;
    desk_->enqueue(pid, [this, pid, completion = std::move(completion)](bool timedOut, double) {
        auto focused = timedOut ? std::nullopt : desk_->focusedWindowOf(pid);
        const SimWindow* w = focused ? desk_->window(*focused) : nullptr;
        if (!w) return completion(std::nullopt, std::nullopt);
        completion(desk_->handleOf(w->id), w->hasNumber ? std::optional<WindowID>(w->id) : std::nullopt);
    });
}

void SimWindowSystem::raise(const WindowHandle& window, ProcessID pid) {
    if (!desk_) return;
    ++requests_;
    desk_->enqueue(pid, [this, window, pid](bool timedOut, double elapsed) {
        const SimWindow* w = timedOut ? nullptr : desk_->windowForHandle(window);
        const SimApp* a = w ? desk_->app(w->pid) : nullptr;
        if (!a || a->refusesWrites) {
            desk_->writer()->noteUnanswered(pid);
            return;
        }
        desk_->raiseByProgram(w->id);
        if (elapsed > kSluggishSeconds) desk_->writer()->noteSluggish(pid);
    });
}

void SimWindowSystem::setFrame(const WindowHandle& window, ProcessID pid, Rect frame) {
    if (!desk_) return;
    ++requests_;
    desk_->enqueue(pid, [this, window, frame](bool timedOut, double) {
        const SimWindow* w = timedOut ? nullptr : desk_->windowForHandle(window);
        const SimApp* a = w ? desk_->app(w->pid) : nullptr;
        if (a && !a->refusesWrites) desk_->applyFrame(w->id, frame, true, FrameChange::byProgram);
    });
}

void SimWindowSystem::releaseAll(const std::vector<WindowRelease>& windows, double /*timeout*/) {
    if (!desk_) return;
    // Blocking by contract, and the virtual clock cannot run inside a call:
    // every window whose application answers is fitted at once, and the
    // ones that would not answer (hung, refusing) stand for the time-out.
    for (const auto& item : windows) {
        const SimWindow* w = desk_->windowForHandle(item.window);
        const SimApp* a = w ? desk_->app(w->pid) : nullptr;
        if (!a || a->hung || a->refusesWrites) continue;
        const Rect fitted = Parking::fit(w->frame, item.area);
        if (fitted != w->frame) desk_->applyFrame(w->id, fitted, true, FrameChange::byProgram);
    }
}

}  // namespace tessaline
