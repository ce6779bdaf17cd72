#include "StressInvariants.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "core/Layout.h"
#include "core/Parking.h"
#include "core/SavedSession.h"
#include "engine/wm/Animator.h"
#include "platform/sim/SimOverlays.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline::stress {

namespace {

std::string num(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}
std::string text(const Rect& r) {
    return "(" + num(r.x) + ", " + num(r.y) + ", " + num(r.width) + ", " + num(r.height) + ")";
}
std::string text(const std::optional<Rect>& r) { return r ? text(*r) : "none"; }
std::string text(const StripKey& key) { return key.display + "/" + std::to_string(key.space); }
std::string win(WindowID id) { return "window " + std::to_string(id); }

Violation fail(std::string invariant, std::string detail) { return {std::move(invariant), std::move(detail)}; }

// -- every step -------------------------------------------------------------

std::optional<Violation> checkReleased(World& world) {
    auto released = std::exchange(world.released, std::nullopt);
    // The engine can only release onto displays it knows; with a display
    // change still in the post when it stopped, it cannot have known better.
    if (!released || !world.displaysInSync) return std::nullopt;
    for (const World::Released& item : *released) {
        const SimWindow* w = world.desk.window(item.id);
        const SimApp* app = w ? world.desk.app(w->pid) : nullptr;
        if (!w || !app || app->hung || app->refusesWrites) continue;  // the time-out stands for these
        if (w->minimized || w->fullScreen) continue;                   // the system keeps them
        if (w->minSize.width > item.area.width || w->minSize.height > item.area.height) continue;
        if (w->fixedSize && (w->frame.width > item.area.width || w->frame.height > item.area.height)) continue;
        const Rect f = w->frame;
        const Rect a = item.area;
        const bool inside = f.x >= a.x - 0.5 && f.y >= a.y - 0.5 && f.maxX() <= a.maxX() + 0.5 &&
                            f.maxY() <= a.maxY() + 0.5;
        if (!inside) {
            return fail("released-on-screen", win(item.id) + " was tiled when tiling stopped and is at " +
                                                  text(f) + ", outside " + text(a) + " (it was at " +
                                                  text(item.before) + ")");
        }
    }
    return std::nullopt;
}

std::optional<Violation> checkSessionFile(World& world) {
    const auto path = world.folder / "session.json";
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;  // nothing saved yet
    std::ostringstream content;
    content << file.rdbuf();
    // Decoding is what costs; a file already seen to decode needs no second look.
    if (content.str() == world.sessionSeen) return std::nullopt;
    if (!decodeSession(content.str())) {
        return fail("session-decodes", "the session file does not decode (" +
                                           std::to_string(content.str().size()) + " bytes)");
    }
    world.sessionSeen = content.str();
    return std::nullopt;
}

// -- settled -----------------------------------------------------------------

// The layout the engine would send for the strip as it is stored now.
std::map<WindowID, Rect> expectedFrames(const WindowManager& wm, const SimOverlays& overlays,
                                        const StripKey& key, const Strip& strip,
                                        const Display& display) {
    std::vector<Rect> others;
    for (const Display& d : wm.displays) {
        if (d.uuid != key.display) others.push_back(d.frame);
    }
    Rect viewport = display.visible;
    viewport.height -= overlays.reservedHeight(strip.count(), display);
    std::map<WindowID, Rect> frames;
    for (const Placement& p : Layout::placements(strip, viewport, wm.layoutConfig(), wm.minWidths)) {
        // A window known to stay narrower is parked by the width it has.
        Rect real = p.frame;
        if (const auto narrow = wm.narrowWidths.find(p.id); narrow != wm.narrowWidths.end()) {
            real.width = std::min(real.width, narrow->second);
        }
        Rect frame = p.hiddenTab ? Parking::park(real, Parking::Side::right, display.frame, others)
                                 : Parking::resolve(real, display.frame, others);
        frame.width = p.frame.width;
        frames[p.id] = frame;
    }
    return frames;
}

std::optional<Violation> checkLayout(World& world) {
    WindowManager& wm = *world.wm;
    for (const StripKey& key : wm.activeKeys()) {
        const auto found = wm.strips.find(key);
        const auto display = wm.displayByUUID(key.display);
        if (found == wm.strips.end() || !display) continue;
        for (const auto& [id, expected] : expectedFrames(wm, *world.desk.overlays(), key, found->second, *display)) {
            const std::optional<Rect> target = wm.animator.target(id);
            const SimWindow* sim = world.desk.window(id);
            // A drag whose closing frame read went unanswered leaves the window
            // (and its strip's tentative arrangement) to the next relayout,
            // which a quiet desktop may not bring.
            if (sim && world.appNotes[sim->pid].everTroubled && (!target || world.notes[id].dragged)) continue;
            if (target != expected) {
                return fail("target-is-layout", win(id) + " in " + text(key) + ": the animator's target is " +
                                                    text(target) + " but the strip lays it out at " + text(expected));
            }
            const SimWindow* w = world.desk.window(id);
            const SimApp* app = w ? world.desk.app(w->pid) : nullptr;
            if (!w || !app || app->hung || app->refusesWrites || app->hidden || w->minimized || w->fullScreen) continue;
            const WindowNote& note = world.notes[id];
            const AppNote& appNote = world.appNotes[w->pid];
            const auto seen = world.targetSeen.find(id);
            // A frame written while the application misbehaved may have been
            // dropped; only a target given after it recovered must have landed.
            if (appNote.everTroubled && (seen == world.targetSeen.end() || seen->second.second <= appNote.troubleEnded)) continue;
            Rect actual = w->frame;
            Rect want = *target;
            // Moved or resized by its application, or by a drag the engine
            // never saw: the frame is the window's own until the next write.
            if (note.displacedPosition) {
                actual.x = want.x;
                actual.y = want.y;
            }
            if (note.displacedSize || note.sizeRefused || w->fixedSize) {
                actual.width = want.width;
                actual.height = want.height;
            }
            if (w->minSize.width > want.width) actual.width = want.width;
            // A window that kept up to 2 points more than it was given is left
            // so on purpose: only a wider refusal is learned and laid out.
            if (actual.width > want.width && actual.width <= want.width + 2) actual.width = want.width;
            if (w->minSize.height > want.height) actual.height = want.height;
            if (actual != want) {
                return fail("frame-is-target", win(id) + " in " + text(key) + " is at " + text(w->frame) +
                                                   " but its target is " + text(*target));
            }
            if (!w->fixedSize && !note.displacedSize && w->minSize.width > target->width + 2) {
                return fail("refusal-learned", win(id) + " refuses to be narrower than " + num(w->minSize.width) +
                                                   " but keeps being laid out " + num(target->width) + " wide");
            }
            if (!note.displacedPosition && !w->frame.overlaps(display->frame)) {
                return fail("tiled-on-its-display", win(id) + " in " + text(key) + " is at " + text(w->frame) +
                                                        ", entirely off its display " + text(display->frame) +
                                                        " (its target is " + text(*target) + ")");
            }
        }
    }
    return std::nullopt;
}

// The tracker's idea of each window against what the desktop says, for
// windows whose application always answered.
std::optional<Violation> checkTracking(World& world) {
    WindowManager& wm = *world.wm;
    using State = ManagedWindow::State;
    for (const auto& [id, note] : world.notes) {
        const SimWindow* w = world.desk.window(id);
        const SimApp* app = w ? world.desk.app(w->pid) : nullptr;
        if (!w || !app || note.troubled || world.appNotes[w->pid].troubledNow) continue;
        const WindowPtr record = wm.windowRecord(id);
        if (!record) {
            // An application that misbehaved may have outlasted the attempts to
            // connect to it (20, a quarter second apart); it stays unobserved.
            const bool observable = world.desk.system()->isConnected(w->pid) || !world.appNotes[w->pid].everTroubled;
            const bool shouldTrack = note.kind == WindowKind::standard && note.hasNumber && app->regular &&
                                     !app->launching && observable;
            if (shouldTrack) return fail("standard-windows-tracked", win(id) + " of pid " + std::to_string(w->pid) + " is not tracked");
            continue;
        }
        const std::string state(toString(record->state));
        const auto wrong = [&](const std::string& why) {
            return fail("state-matches-desktop", win(id) + " is " + state + " but " + why);
        };
        switch (record->state) {
            case State::tiled:
                if (w->minimized) return wrong("it is minimised");
                if (w->fullScreen) return wrong("it is full screen");
                if (app->hidden) return wrong("its application is hidden");
                break;
            case State::minimized:
                if (!w->minimized) return wrong("it is not minimised");
                break;
            case State::fullscreen:
                if (!w->fullScreen) return wrong("it is not full screen");
                break;
            case State::hidden:
                if (!app->hidden) return wrong("its application is not hidden");
                break;
            case State::floating: break;
        }
    }
    for (const auto& [id, record] : wm.windows) {
        const auto note = world.notes.find(id);
        if (note == world.notes.end() || note->second.troubled || world.desk.window(id)) continue;
        return fail("tracked-windows-exist", win(id) + " is tracked as " + std::string(toString(record->state)) +
                                                 " but it is gone");
    }
    if (wm.focusedID && !wm.windowRecord(*wm.focusedID)) {
        const auto note = world.notes.find(*wm.focusedID);
        const bool explained = note == world.notes.end() || note->second.kind != WindowKind::standard ||
                               !note->second.hasNumber || note->second.troubled;
        if (!explained) {
            return fail("focused-is-tracked", "focusedID names " + win(*wm.focusedID) + (world.desk.window(*wm.focusedID) ? ", a standard window that is not tracked" : ", a window that is gone"));
        }
    }
    return std::nullopt;
}

std::optional<Violation> checkSettled(World& world) {
    WindowManager& wm = *world.wm;
    if (world.stateAnswered != world.stateAsked) {
        return fail("state-answers", std::to_string(world.stateAsked - world.stateAnswered) + " state requests never answered");
    }
    if (!wm.running) return std::nullopt;
    if (wm.displays != world.desk.displays()) return fail("displays-in-step", "the engine's display list differs from the desktop's");
    for (const Display& d : wm.displays) {
        const auto shown = wm.currentSpace.find(d.uuid);
        if (shown == wm.currentSpace.end() || shown->second != world.desk.currentSpace(d.uuid)) {
            return fail("displays-in-step", "the engine thinks " + d.uuid + " shows another Space than it does");
        }
    }
    if (auto v = checkLayout(world)) return v;
    return checkTracking(world);
}

}  // namespace

std::optional<Violation> checkEveryStep(World& world) {
    if (auto v = checkReleased(world)) return v;
    if (world.stateAnsweredTwice) return fail("state-answers", "a state request was answered twice");
    if (auto v = checkSessionFile(world)) return v;
    WindowManager& wm = *world.wm;
    if (auto broken = wm.checkInvariants()) {
        const std::size_t colon = broken->find(": ");
        return fail(broken->substr(0, colon), broken->substr(colon + 2));
    }
    if (!wm.running) return std::nullopt;
    std::vector<WindowID> inLimbo;
    for (const auto& [id, record] : wm.windows) {
        const SimApp* app = world.desk.app(record->pid);
        if (!app) return fail("tracked-app-alive", win(id) + " is tracked but its application " + std::to_string(record->pid) + " quit");
        if (!app->regular) return fail("tracked-app-alive", win(id) + " is tracked but its application is not a regular one");
        if (record->state != ManagedWindow::State::tiled) continue;
        const auto strip = wm.strips.find(*record->key);
        if (strip != wm.strips.end() && strip->second.contains(id)) continue;
        // A discovery tracks windows as it hears of them and adopts them
        // into their strips when it completes, 1.5 s after it began at the
        // latest; only a window left out longer than that is lost.
        const double since = world.limbo.emplace(id, world.lastStepStart).first->second;
        inLimbo.push_back(id);
        if (world.desk.now() - since > 1.6) {
            return fail("tiled-in-its-strip", win(id) + " is tiled in " + text(*record->key) +
                                                  " but has been in no strip since t=" + num(since));
        }
    }
    std::erase_if(world.limbo, [&](const auto& entry) {
        return std::find(inLimbo.begin(), inLimbo.end(), entry.first) == inLimbo.end();
    });
    return std::nullopt;
}

std::optional<Violation> settleAndCheck(World& world, double quiet) {
    world.advance(quiet);
    if (auto v = checkEveryStep(world)) return v;
    if (!checkSettled(world)) return std::nullopt;
    // Something may still have been on its way (a focus confirmation, a
    // retried write, the queue of a slow application): give it much longer
    // before calling it a fault. A real fault stays however long one waits.
    std::optional<Violation> v;
    for (int i = 0; i < 15; ++i) {
        world.advance(4.0);
        if ((v = checkEveryStep(world))) return v;
        if (!(v = checkSettled(world))) return std::nullopt;
    }
    return v;
}

}  // namespace tessaline::stress
