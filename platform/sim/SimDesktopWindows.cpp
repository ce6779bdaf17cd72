// The windows of the simulated desktop: opening, closing, minimising, full
// screen, frames, focus and stacking order.

#include <algorithm>
#include <cmath>

#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline {

namespace {

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

bool contains(const std::vector<SpaceID>& spaces, SpaceID space) {
    return std::find(spaces.begin(), spaces.end(), space) != spaces.end();
}

Size atLeast(Size size, Size minimum) {
    // No window is smaller than a point, whatever it is asked.
    return {std::max({size.width, minimum.width, 1.0}), std::max({size.height, minimum.height, 1.0})};
}

}  // namespace

// ---------------------------------------------------------------------------
// Lookups

SimWindow* SimDesktop::findWindow(WindowID window) {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

const SimWindow* SimDesktop::window(WindowID window) const {
    return const_cast<SimDesktop*>(this)->findWindow(window);
}

std::optional<Rect> SimDesktop::frameOf(WindowID window) const {
    const SimWindow* w = this->window(window);
    if (!w) return std::nullopt;
    return w->frame;
}

WindowHandle SimDesktop::handleOf(WindowID window) const {
    const SimWindow* w = this->window(window);
    if (!w) return {};
    return WindowHandle{std::make_shared<SimElement>(w->element, w->pid)};
}

const SimWindow* SimDesktop::windowForHandle(const WindowHandle& handle) const {
    const auto* element = dynamic_cast<const SimElement*>(handle.object.get());
    if (!element) return nullptr;
    auto it = elements_.find(element->element());
    return it == elements_.end() ? nullptr : window(it->second);
}

std::vector<WindowID> SimDesktop::windowsOf(ProcessID pid) const {
    std::vector<WindowID> result;
    for (WindowID id : zOrder_)
        if (windows_.at(id).pid == pid) result.push_back(id);
    return result;
}

std::optional<WindowID> SimDesktop::focusedWindowOf(ProcessID pid) const {
    const SimApp* a = app(pid);
    return a ? a->focusedWindow : std::nullopt;
}

bool SimDesktop::isOnScreen(WindowID window) const {
    const SimWindow* w = this->window(window);
    const SimApp* a = w ? app(w->pid) : nullptr;
    if (!w || !a || a->hidden || w->minimized) return false;
    if (w->spaces.empty()) return true;
    for (SpaceID s : w->spaces)
        if (displayShowingSpace(s)) return true;
    return false;
}

std::optional<WindowFacts> SimDesktop::factsOf(const SimWindow& window) const {
    if (!window.hasNumber) return std::nullopt;
    WindowFacts facts;
    facts.handle = handleOf(window.id);
    facts.id = window.id;
    if (window.kind == WindowKind::notWindow) return facts;
    facts.isWindow = true;
    if (window.kind == WindowKind::dialog) return facts;
    facts.standard = true;
    facts.title = window.title;
    facts.minimized = window.minimized;
    facts.fullScreen = window.fullScreen;
    facts.fixedSize = window.fixedSize;
    facts.frame = window.frame;
    if (spacesSupported_) facts.spaces = window.spaces;
    return facts;
}

// ---------------------------------------------------------------------------
// Opening and closing

WindowID SimDesktop::openWindow(const WindowSpec& desc) {
    SimApp* app = findApp(desc.pid);
    if (!app) return 0;
    SimWindow w;
    w.id = nextWindow_++;
    w.pid = desc.pid;
    w.element = nextElement_++;
    w.kind = desc.kind;
    w.hasNumber = desc.hasNumber;
    w.title = desc.title;
    w.fixedSize = desc.fixedSize;
    w.minSize = desc.minSize;
    w.minimized = desc.minimized;
    Rect f = finite(desc.frame) ? desc.frame : Rect{100, 100, 800, 600};
    const Size size = atLeast(f.size(), desc.minSize);
    w.frame = {f.x, f.y, size.width, size.height};
    if (desc.spaces) {
        w.spaces = *desc.spaces;
    } else {
        const SimDisplayState* d = displayAt(w.frame.centre());
        if (!d) d = displayOfWindow(w);
        if (d) w.spaces = {d->current};
    }
    const WindowID id = w.id;
    elements_[w.element] = id;
    zOrder_.insert(zOrder_.begin(), id);
    const SimWindow& stored = windows_[id] = std::move(w);
    emitWindow(WindowEvent::created, stored);
    if (desc.focus && !desc.minimized) {
        app->focusedWindow = id;
        emitWindow(WindowEvent::focusChanged, stored);
    }
    return id;
}

WindowID SimDesktop::openWindow(ProcessID pid, std::string title, Rect frame) {
    WindowSpec desc;
    desc.pid = pid;
    desc.title = std::move(title);
    desc.frame = frame;
    return openWindow(desc);
}

void SimDesktop::eraseWindow(WindowID window) {
    SimWindow* w = findWindow(window);
    if (!w) return;
    elements_.erase(w->element);
    system_->forgetElement(w->element);
    zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), window), zOrder_.end());
    windows_.erase(window);
}

void SimDesktop::closeWindow(WindowID window) {
    SimWindow* w = findWindow(window);
    if (!w) return;
    const ProcessID pid = w->pid;
    if (w->fullScreen) leaveFullScreen(*w, true);
    emitWindow(WindowEvent::destroyed, *w);
    eraseWindow(window);
    if (focusedWindowOf(pid) == window) refocusApp(pid);
}

// ---------------------------------------------------------------------------
// Minimise, full screen

void SimDesktop::minimize(WindowID window) {
    SimWindow* w = findWindow(window);
    if (!w || w->minimized || w->fullScreen) return;
    w->minimized = true;
    emitWindow(WindowEvent::minimized, *w);
    if (focusedWindowOf(w->pid) == window) refocusApp(w->pid);
}

void SimDesktop::restore(WindowID window) {
    SimWindow* w = findWindow(window);
    if (!w || !w->minimized) return;
    w->minimized = false;
    emitWindow(WindowEvent::restored, *w);
    focusWindow(window);  // coming back from the Dock brings it to the front
}

void SimDesktop::setFullScreen(WindowID window, bool on) {
    SimWindow* w = findWindow(window);
    if (!w) return;
    if (!on) {
        if (w->fullScreen) leaveFullScreen(*w, false);
        return;
    }
    if (w->fullScreen || w->minimized) return;
    auto* d = const_cast<SimDisplayState*>(displayOfWindow(*w));
    if (!d) return;
    // Native full screen gives the window a Space of its own, next to the
    // one it came from, and shows that Space.
    w->savedFrame = w->frame;
    w->savedSpaces = w->spaces;
    w->savedShownSpace = d->current;
    const SpaceID space = nextSpace_++;
    auto at = std::find(d->spaces.begin(), d->spaces.end(), d->current);
    d->spaces.insert(at == d->spaces.end() ? at : at + 1, space);
    w->spaces = {space};
    w->fullScreen = true;
    const Rect before = w->frame;
    w->frame = d->display.frame;
    if (before.size() != w->frame.size()) emitWindow(WindowEvent::resized, *w);
    d->current = space;
    emit(SpaceChanged{});
    focusWindow(window);
}

void SimDesktop::leaveFullScreen(SimWindow& w, bool closing) {
    const SpaceID space = w.spaces.empty() ? 0 : w.spaces.front();
    w.fullScreen = false;
    SimDisplayState* d = nullptr;
    for (auto& candidate : displays_)
        if (contains(candidate.spaces, space)) d = &candidate;

    SpaceID fallback = 0;
    if (d) {
        d->spaces.erase(std::remove(d->spaces.begin(), d->spaces.end(), space), d->spaces.end());
        if (d->spaces.empty()) d->spaces.push_back(nextSpace_++);
        fallback = contains(d->spaces, w.savedShownSpace) ? w.savedShownSpace : d->spaces.front();
        // Anything else the user put on the full-screen Space goes back too.
        for (auto& [id, other] : windows_)
            for (SpaceID& s : other.spaces)
                if (s == space && &other != &w) s = fallback;
    }
    if (!closing) {
        std::vector<SpaceID> back;
        for (SpaceID s : w.savedSpaces)
            for (const auto& candidate : displays_)
                if (contains(candidate.spaces, s)) back.push_back(s);
        if (back.empty() && fallback != 0) back.push_back(fallback);
        w.spaces = back;
        const Rect before = w.frame;
        w.frame = w.savedFrame;
        // A minimum size set while it was full screen holds when it comes back.
        const Size size = atLeast(w.frame.size(), w.minSize);
        w.frame.width = size.width;
        w.frame.height = size.height;
        if (before.size() != w.frame.size()) emitWindow(WindowEvent::resized, w);
    }
    if (d && d->current == space) {
        d->current = fallback;
        emit(SpaceChanged{});
    }
}

// ---------------------------------------------------------------------------
// Frames and attributes

std::optional<Rect> SimDesktop::applyFrame(WindowID window, Rect frame, bool writeSize, FrameChange change) {
    SimWindow* w = findWindow(window);
    if (!w) return std::nullopt;
    if (!finite(frame)) return w->frame;
    // A full-screen or minimised window ignores frames written to it.
    if (change == FrameChange::byProgram && (w->fullScreen || w->minimized)) return w->frame;
    Rect next = w->frame;
    next.x = frame.x;
    next.y = frame.y;
    if (writeSize && (change == FrameChange::byUser || !w->fixedSize)) {
        const Size size = atLeast(frame.size(), w->minSize);
        next.width = size.width;
        next.height = size.height;
    }
    const Rect before = w->frame;
    w->frame = next;
    followDisplay(*w);
    // Moves are only reported while the left button is down, so that the
    // program's own writes never come back as moves.
    if (before.origin() != next.origin() && (buttons_ & 1)) emitWindow(WindowEvent::moved, *w);
    if (before.size() != next.size()) emitWindow(WindowEvent::resized, *w);
    return next;
}

void SimDesktop::followDisplay(SimWindow& w) {
    // A window moved onto another display joins the Space that display shows.
    if (w.fullScreen || w.spaces.size() != 1) return;
    const SimDisplayState* d = displayAt(w.frame.centre());
    if (!d || contains(d->spaces, w.spaces.front())) return;
    w.spaces = {d->current};
}

void SimDesktop::setFrame(WindowID window, Rect frame) {
    applyFrame(window, frame, true, FrameChange::byUser);
}

void SimDesktop::setTitle(WindowID window, std::string title) {
    SimWindow* w = findWindow(window);
    if (!w || w->title == title) return;
    w->title = std::move(title);
    emitWindow(WindowEvent::titleChanged, *w);
}

void SimDesktop::setMinSize(WindowID window, Size size) {
    SimWindow* w = findWindow(window);
    if (!w) return;
    w->minSize = size;
    if (w->frame.width < size.width || w->frame.height < size.height)
        applyFrame(window, w->frame, true, FrameChange::byUser);
}

void SimDesktop::setFixedSize(WindowID window, bool fixed) {
    if (SimWindow* w = findWindow(window)) w->fixedSize = fixed;
}

void SimDesktop::setKind(WindowID window, WindowKind kind) {
    if (SimWindow* w = findWindow(window)) w->kind = kind;
}

// ---------------------------------------------------------------------------
// Focus and stacking

void SimDesktop::bringToFront(WindowID window) {
    auto it = std::find(zOrder_.begin(), zOrder_.end(), window);
    if (it == zOrder_.end()) return;
    zOrder_.erase(it);
    zOrder_.insert(zOrder_.begin(), window);
}

void SimDesktop::refocusApp(ProcessID pid) {
    SimApp* app = findApp(pid);
    if (!app) return;
    for (WindowID id : zOrder_) {
        const SimWindow& w = windows_.at(id);
        if (w.pid != pid || !isOnScreen(id)) continue;
        if (app->focusedWindow != id) {
            app->focusedWindow = id;
            emitWindow(WindowEvent::focusChanged, w);
        }
        return;
    }
    app->focusedWindow.reset();
}

void SimDesktop::focusWindow(WindowID window) {
    SimWindow* w = findWindow(window);
    SimApp* app = w ? findApp(w->pid) : nullptr;
    if (!w || !app || w->minimized) return;
    showApp(w->pid);
    makeFrontmost(w->pid);
    if (app->focusedWindow != window) {
        app->focusedWindow = window;
        emitWindow(WindowEvent::focusChanged, *w);
    }
    bringToFront(window);
}

void SimDesktop::raiseWindow(WindowID window) { bringToFront(window); }

void SimDesktop::focusByProgram(WindowID window) {
    const SimWindow* w = this->window(window);
    const SimApp* a = w ? app(w->pid) : nullptr;
    if (!a || a->refusesFocus) return;
    focusWindow(window);
}

void SimDesktop::activateByProgram(ProcessID pid) { activateApp(pid); }

void SimDesktop::raiseByProgram(WindowID window) {
    SimWindow* w = findWindow(window);
    SimApp* app = w ? findApp(w->pid) : nullptr;
    if (!w || !app) return;
    // Raising makes the window its application's main window, which the
    // application reports as a focus change.
    if (app->focusedWindow != window && !w->minimized) {
        app->focusedWindow = window;
        emitWindow(WindowEvent::focusChanged, *w);
    }
    bringToFront(window);
}

}  // namespace tessaline
