#include "platform/sim/SimDesktop.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/Parking.h"
#include "platform/sim/SimFrameWriter.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimOverlays.h"
#include "platform/sim/SimScheduler.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline {

namespace {

// How long a request to a hung application waits before giving up, as the
// accessibility messaging time-out does.
constexpr double kHungTimeout = 0.5;
constexpr double kDefaultLatency = 0.01;
constexpr double kMenuBarHeight = 25;

double overlapArea(const Rect& a, const Rect& b) {
    const double w = std::min(a.maxX(), b.maxX()) - std::max(a.x, b.x);
    const double h = std::min(a.maxY(), b.maxY()) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

template <typename T>
void eraseValue(std::vector<T>& values, const T& value) {
    values.erase(std::remove(values.begin(), values.end(), value), values.end());
}

bool contains(const std::vector<SpaceID>& spaces, SpaceID space) {
    return std::find(spaces.begin(), spaces.end(), space) != spaces.end();
}

}  // namespace

// ---------------------------------------------------------------------------
// SimElement

bool SimElement::equals(const PlatformElement& other) const {
    const auto* sim = dynamic_cast<const SimElement*>(&other);
    return sim && sim->element_ == element_;
}

std::size_t SimElement::hash() const { return std::hash<std::uint64_t>{}(element_); }

// ---------------------------------------------------------------------------
// Life and time

SimDesktop::SimDesktop()
    : alive_(std::make_shared<int>(0)),
      scheduler_(std::make_shared<SimScheduler>()),
      system_(std::make_shared<SimWindowSystem>(*this)),
      writer_(std::make_shared<SimFrameWriter>(*this)),
      input_(std::make_shared<SimInput>(*this)),
      overlays_(std::make_shared<SimOverlays>()) {}

SimDesktop::~SimDesktop() {
    // The engine may keep the platform objects (and the scheduler with work
    // of ours in it) longer than the desktop: cut every path back to it.
    alive_.reset();
    system_->detach();
    writer_->detach();
    input_->detach();
}

double SimDesktop::now() const { return scheduler_->now(); }
void SimDesktop::advance(double seconds) { scheduler_->advance(seconds); }

void SimDesktop::post(double delay, std::function<void()> work) {
    scheduler_->after(delay, [token = std::weak_ptr<int>(alive_), work = std::move(work)] {
        if (token.lock()) work();
    });
}

void SimDesktop::enqueue(ProcessID pid, std::function<void(bool, double)> serve) {
    queues_[pid].requests.push_back({std::move(serve)});
    startNext(pid);
}

void SimDesktop::startNext(ProcessID pid) {
    WorkQueue& queue = queues_[pid];
    if (queue.busy || queue.requests.empty()) return;
    queue.busy = true;
    const SimApp* app = findApp(pid);
    const bool timedOut = app && app->hung;
    double cost = kHungTimeout;
    if (!timedOut) {
        cost = app ? app->latency : kDefaultLatency;
        if (app) cost += std::max(0.0, app->stalledUntil - now());
    }
    post(cost, [this, pid, timedOut, cost] {
        WorkQueue& q = queues_[pid];
        auto request = std::move(q.requests.front());
        q.requests.pop_front();
        q.busy = false;
        request.serve(timedOut, cost);
        startNext(pid);
    });
}

// ---------------------------------------------------------------------------
// Events

void SimDesktop::emit(const SystemEvent& event) { system_->deliver(event); }

void SimDesktop::emitWindow(WindowEvent event, const SimWindow& window) {
    if (!system_->isConnected(window.pid)) return;
    const bool applicationEvent = event == WindowEvent::created || event == WindowEvent::focusChanged;
    if (!applicationEvent && !system_->isWatched(window.element, window.pid)) return;
    system_->deliver(WindowNotification{event, handleOf(window.id), window.pid});
}

void SimDesktop::setReduceMotion(bool on) {
    if (reduceMotion_ == on) return;
    reduceMotion_ = on;
    emit(AccessibilityChanged{});
}

// ---------------------------------------------------------------------------
// Displays and Spaces

SimDisplayState* SimDesktop::displayState(const std::string& uuid) {
    for (auto& d : displays_)
        if (d.display.uuid == uuid) return &d;
    return nullptr;
}

const SimDisplayState* SimDesktop::displayState(const std::string& uuid) const {
    return const_cast<SimDesktop*>(this)->displayState(uuid);
}

const SimDisplayState* SimDesktop::displayShowingSpace(SpaceID space) const {
    for (const auto& d : displays_)
        if (d.current == space) return &d;
    return nullptr;
}

const SimDisplayState* SimDesktop::displayAt(Point point) const {
    for (const auto& d : displays_)
        if (d.display.frame.contains(point)) return &d;
    return nullptr;
}

const SimDisplayState* SimDesktop::displayOfWindow(const SimWindow& window) const {
    for (const auto& d : displays_)
        for (SpaceID s : window.spaces)
            if (contains(d.spaces, s)) return &d;
    const SimDisplayState* best = nullptr;
    double bestArea = 0;
    for (const auto& d : displays_) {
        const double area = overlapArea(d.display.frame, window.frame);
        if (area > bestArea) best = &d, bestArea = area;
    }
    if (best) return best;
    return displays_.empty() ? nullptr : &displays_.front();
}

std::string SimDesktop::addDisplay(const DisplaySpec& desc) {
    const std::uint32_t id = nextDisplayID_++;
    const std::string uuid = desc.uuid.value_or("SIM-DISPLAY-" + std::to_string(id));
    if (displayState(uuid)) return uuid;
    SimDisplayState state;
    const Rect f = desc.frame;
    state.display = Display{id, uuid, desc.name, f,
                            desc.visible.value_or(Rect{f.x, f.y + kMenuBarHeight, f.width,
                                                       std::max(0.0, f.height - kMenuBarHeight)})};
    state.current = nextSpace_++;
    state.spaces = {state.current};
    const SpaceID shown = state.current;
    displays_.push_back(std::move(state));
    // Windows stranded when the last display went away turn up on this one.
    for (auto& [id, w] : windows_) {
        bool placed = w.spaces.empty();
        for (SpaceID s : w.spaces)
            for (const auto& d : displays_) placed = placed || contains(d.spaces, s);
        if (!placed) w.spaces = {shown};
    }
    emit(DisplaysChanged{});
    return uuid;
}

std::string SimDesktop::addDisplay(Rect frame, std::string name) {
    DisplaySpec desc;
    desc.frame = frame;
    desc.name = std::move(name);
    return addDisplay(desc);
}

void SimDesktop::removeDisplay(const std::string& uuid) {
    auto it = std::find_if(displays_.begin(), displays_.end(),
                           [&](const SimDisplayState& d) { return d.display.uuid == uuid; });
    if (it == displays_.end()) return;
    const SimDisplayState gone = *it;
    displays_.erase(it);

    // Like the real thing, windows of a display that went away land on the
    // primary display's current Space, kept inside its usable area.
    for (auto& [id, w] : windows_) {
        bool onGone = false;
        for (SpaceID s : w.spaces) onGone = onGone || contains(gone.spaces, s);
        if (!onGone) continue;
        // A full-screen window leaves full screen for its old frame; the
        // change of size is noticed like any other.
        Rect moved = w.fullScreen ? w.savedFrame : w.frame;
        w.fullScreen = false;
        if (displays_.empty()) {
            const Rect before = w.frame;
            w.frame = moved;
            if (before.size() != moved.size()) emitWindow(WindowEvent::resized, w);
            continue;
        }
        const SimDisplayState& home = displays_.front();
        w.spaces = {home.current};
        moved.x += home.display.frame.x - gone.display.frame.x;
        moved.y += home.display.frame.y - gone.display.frame.y;
        moved = Parking::fit(moved, home.display.visible);
        applyFrame(id, moved, true, FrameChange::byUser);
    }
    emit(DisplaysChanged{});
}

void SimDesktop::placeDisplay(SimDisplayState& d, Rect frame, std::optional<Rect> visible) {
    const double dx = frame.x - d.display.frame.x;
    const double dy = frame.y - d.display.frame.y;
    d.display.frame = frame;
    d.display.visible = visible.value_or(
        Rect{frame.x, frame.y + kMenuBarHeight, frame.width, std::max(0.0, frame.height - kMenuBarHeight)});
    if (dx == 0 && dy == 0) return;
    for (auto& [id, w] : windows_) {
        bool onIt = false;
        for (SpaceID s : w.spaces) onIt = onIt || contains(d.spaces, s);
        // A window shown on several Spaces stays where it is.
        if (!onIt || w.spaces.size() != 1) continue;
        w.frame.x += dx;
        w.frame.y += dy;
        w.savedFrame.x += dx;
        w.savedFrame.y += dy;
    }
}

void SimDesktop::setDisplayFrame(const std::string& uuid, Rect frame, std::optional<Rect> visible) {
    SimDisplayState* d = displayState(uuid);
    if (!d) return;
    placeDisplay(*d, frame, visible);
    emit(DisplaysChanged{});
}

void SimDesktop::arrangeDisplays(const std::vector<std::pair<std::string, Rect>>& frames) {
    bool any = false;
    for (const auto& [uuid, frame] : frames) {
        if (SimDisplayState* d = displayState(uuid)) {
            placeDisplay(*d, frame, std::nullopt);
            any = true;
        }
    }
    if (any) emit(DisplaysChanged{});
}

std::vector<Display> SimDesktop::displays() const {
    std::vector<Display> result;
    for (const auto& d : displays_) result.push_back(d.display);
    return result;
}

std::optional<Display> SimDesktop::display(const std::string& uuid) const {
    const SimDisplayState* d = displayState(uuid);
    if (!d) return std::nullopt;
    return d->display;
}

SpaceID SimDesktop::addSpace(const std::string& uuid) {
    SimDisplayState* d = displayState(uuid);
    if (!d) return 0;
    d->spaces.push_back(nextSpace_++);
    return d->spaces.back();
}

std::vector<SpaceID> SimDesktop::spacesOn(const std::string& uuid) const {
    const SimDisplayState* d = displayState(uuid);
    return d ? d->spaces : std::vector<SpaceID>{};
}

SpaceID SimDesktop::currentSpace(const std::string& uuid) const {
    const SimDisplayState* d = displayState(uuid);
    return d ? d->current : 0;
}

void SimDesktop::switchSpace(const std::string& uuid, SpaceID space) {
    SimDisplayState* d = displayState(uuid);
    if (!d || d->current == space || !contains(d->spaces, space)) return;
    d->current = space;
    emit(SpaceChanged{});
}

void SimDesktop::moveToSpace(WindowID window, SpaceID space) {
    SimWindow* w = findWindow(window);
    if (!w || w->fullScreen) return;
    const SimDisplayState* from = displayOfWindow(*w);
    const SimDisplayState* to = nullptr;
    for (const auto& d : displays_)
        if (contains(d.spaces, space)) to = &d;
    if (!to) return;
    w->spaces = {space};
    if (from && from != to) {
        // Keep the window's place relative to its display on the new one,
        // never below the window's own minimum size.
        Rect moved = w->frame;
        moved.x += to->display.frame.x - from->display.frame.x;
        moved.y += to->display.frame.y - from->display.frame.y;
        applyFrame(window, Parking::fit(moved, to->display.visible), true, FrameChange::byUser);
    }
    if (!isOnScreen(window)) refocusApp(w->pid);
}

// ---------------------------------------------------------------------------
// Applications

SimApp* SimDesktop::findApp(ProcessID pid) {
    auto it = apps_.find(pid);
    return it == apps_.end() ? nullptr : &it->second;
}

const SimApp* SimDesktop::app(ProcessID pid) const { return const_cast<SimDesktop*>(this)->findApp(pid); }

std::vector<ProcessID> SimDesktop::apps() const { return launchOrder_; }

ProcessID SimDesktop::launchApp(const AppSpec& desc) {
    const ProcessID pid = nextPid_++;
    SimApp app;
    app.pid = pid;
    app.bundleID = desc.bundleID;
    app.name = desc.name;
    app.regular = desc.regular;
    app.hidden = desc.hidden;
    app.launching = desc.launchTime > 0;
    app.latency = std::max(0.0, desc.latency);
    apps_[pid] = app;
    launchOrder_.push_back(pid);
    emit(AppLaunched{pid});
    if (app.launching) post(desc.launchTime, [this, pid] { finishLaunching(pid); });
    // The first visible application to start is the one in front.
    if (!frontmost_ && app.regular && !app.hidden) makeFrontmost(pid);
    return pid;
}

ProcessID SimDesktop::launchApp(std::string name, std::optional<std::string> bundleID) {
    AppSpec desc;
    desc.name = std::move(name);
    desc.bundleID = std::move(bundleID);
    return launchApp(desc);
}

void SimDesktop::finishLaunching(ProcessID pid) {
    if (SimApp* app = findApp(pid)) app->launching = false;
}

void SimDesktop::quitApp(ProcessID pid) {
    if (!findApp(pid)) return;
    for (WindowID id : windowsOf(pid)) {
        if (SimWindow* w = findWindow(id); w && w->fullScreen) leaveFullScreen(*w, true);
        eraseWindow(id);
    }
    apps_.erase(pid);
    eraseValue(launchOrder_, pid);
    eraseValue(activationOrder_, pid);
    emit(AppTerminated{pid});
    if (frontmost_ == pid) {
        frontmost_.reset();
        activateNext();
    }
}

void SimDesktop::hideApp(ProcessID pid) {
    SimApp* app = findApp(pid);
    if (!app || app->hidden) return;
    app->hidden = true;
    emit(AppHidden{pid});
    if (frontmost_ == pid) activateNext();
}

void SimDesktop::showApp(ProcessID pid) {
    SimApp* app = findApp(pid);
    if (!app || !app->hidden) return;
    app->hidden = false;
    emit(AppShown{pid});
}

void SimDesktop::activateApp(ProcessID pid) {
    SimApp* app = findApp(pid);
    if (!app) return;
    showApp(pid);
    makeFrontmost(pid);
    if (app->focusedWindow) bringToFront(*app->focusedWindow);
}

void SimDesktop::makeFrontmost(ProcessID pid) {
    SimApp* app = findApp(pid);
    if (!app || frontmost_ == pid) return;
    frontmost_ = pid;
    eraseValue(activationOrder_, pid);
    activationOrder_.insert(activationOrder_.begin(), pid);
    app->stalledUntil = now() + app->activationStall;
    emit(AppActivated{pid});
}

void SimDesktop::activateNext() {
    for (ProcessID pid : activationOrder_) {
        const SimApp* app = findApp(pid);
        if (pid != frontmost_ && app && app->regular && !app->hidden) {
            makeFrontmost(pid);
            return;
        }
    }
    frontmost_.reset();
}

void SimDesktop::setHung(ProcessID pid, bool hung) {
    if (SimApp* app = findApp(pid)) app->hung = hung;
}
void SimDesktop::setLatency(ProcessID pid, double seconds) {
    if (SimApp* app = findApp(pid)) app->latency = seconds > 0 ? seconds : 0;
}
void SimDesktop::setRefusesWrites(ProcessID pid, bool refuses) {
    if (SimApp* app = findApp(pid)) app->refusesWrites = refuses;
}
void SimDesktop::setRefusesFocus(ProcessID pid, bool refuses) {
    if (SimApp* app = findApp(pid)) app->refusesFocus = refuses;
}
void SimDesktop::setActivationStall(ProcessID pid, double seconds) {
    if (SimApp* app = findApp(pid)) app->activationStall = seconds > 0 ? seconds : 0;
}

}  // namespace tessaline
