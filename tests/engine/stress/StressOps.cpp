// What each operation does to the desktop, the user's input or the engine.
// Every operation tolerates a world where its subject is gone: it then does
// nothing, so a shrunk sequence still runs.

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

#include "StressWorld.h"
#include "engine/wm/Animator.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimOverlays.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline::stress {

namespace {

std::string said(bool explain, const std::string& text) { return explain ? text : std::string(); }
std::string num(double value) { return std::to_string(static_cast<long long>(std::lround(value))); }
std::string rectText(const Rect& r) {
    return "(" + num(r.x) + ", " + num(r.y) + ", " + num(r.width) + ", " + num(r.height) + ")";
}

// Lays the displays out side by side without overlapping, the primary one
// at the origin, the others alternately right and left of what is placed.
std::vector<Rect> arrange(const std::vector<Size>& sizes, std::uint32_t selector) {
    std::vector<Rect> frames;
    double left = 0;
    double right = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const Size size = sizes[i];
        if (i == 0) {
            frames.push_back({0, 0, size.width, size.height});
            right = size.width;
            continue;
        }
        const double dy = static_cast<double>((selector >> (i * 3)) % 5) * 100 - 200;
        if ((selector >> i) & 1) {
            frames.push_back({right, dy, size.width, size.height});
            right += size.width;
        } else {
            left -= size.width;
            frames.push_back({left, dy, size.width, size.height});
        }
    }
    return frames;
}

Size displaySize(std::uint32_t selector) {
    static constexpr std::array<Size, 5> sizes = {Size{1440, 900}, Size{1920, 1080}, Size{2560, 1440},
                                                  Size{1280, 1024}, Size{1024, 768}};
    return sizes[selector % sizes.size()];
}

}  // namespace

// ---------------------------------------------------------------------------
// Applications

std::string World::apps(const Op& op, bool explain) {
    if (op.kind == OpKind::launchApp) {
        if (liveApps().size() >= 8) return said(explain, "launchApp: enough apps already");
        AppSpec desc;
        desc.name = "App" + std::to_string(op.a % 100);
        if (op.a % 7 != 6) desc.bundleID = "com.stress.app" + std::to_string(op.a % 6);
        desc.regular = op.b % 10 != 0;
        desc.launchTime = (op.b >> 8) % 4 == 0 ? op.x * 3.0 : 0;
        desc.latency = (op.b >> 12) % 10 == 0 ? 0.2 : 0.005 + op.y * 0.05;
        const ProcessID pid = desk.launchApp(desc);
        appNotes[pid];
        if ((op.b >> 16) % 2 == 0) {
            WindowSpec window;
            window.pid = pid;
            window.title = desc.name + " first";
            window.frame = randomFrame(op.a, op.y, op.x);
            const WindowID id = desk.openWindow(window);
            if (id) notes[id] = WindowNote{pid, WindowKind::standard, true, false};
        }
        return said(explain, "launch " + desc.name + " pid " + std::to_string(pid) +
                                 (desc.regular ? "" : " (not regular)") + " launchTime " +
                                 std::to_string(desc.launchTime));
    }
    const auto pid = pickApp(op.a);
    if (!pid) return said(explain, toString(op.kind) + ": no app");
    const std::string who = "pid " + std::to_string(*pid);
    switch (op.kind) {
        case OpKind::quitApp: desk.quitApp(*pid); return said(explain, "quit " + who);
        case OpKind::hideApp: desk.hideApp(*pid); return said(explain, "hide " + who);
        case OpKind::showApp: desk.showApp(*pid); return said(explain, "show " + who);
        case OpKind::activateApp: desk.activateApp(*pid); return said(explain, "activate " + who);
        case OpKind::hangApp:
            desk.setHung(*pid, true);
            markTrouble(*pid, true);
            return said(explain, "hang " + who);
        case OpKind::recoverApp: {
            // Prefer an application that is in trouble: recovery is the point.
            std::optional<ProcessID> target;
            const auto all = liveApps();
            for (std::size_t i = 0; i < all.size() && !target; ++i) {
                const ProcessID candidate = all[(op.a + i) % all.size()];
                if (appNotes[candidate].troubledNow) target = candidate;
            }
            const ProcessID chosen = target.value_or(*pid);
            desk.setHung(chosen, false);
            desk.setRefusesWrites(chosen, false);
            markTrouble(chosen, false);
            return said(explain, "recover pid " + std::to_string(chosen));
        }
        case OpKind::refuseWrites:
            desk.setRefusesWrites(*pid, true);
            markTrouble(*pid, true);
            return said(explain, "refuse writes " + who);
        case OpKind::acceptWrites:
            desk.setRefusesWrites(*pid, false);
            markTrouble(*pid, false);
            return said(explain, "accept writes " + who);
        case OpKind::refuseFocus:
            desk.setRefusesFocus(*pid, op.b & 1);
            return said(explain, std::string(op.b & 1 ? "refuse" : "accept") + " focus " + who);
        case OpKind::stallActivation:
            desk.setActivationStall(*pid, op.b % 3 == 0 ? 0 : op.x * 1.5);
            return said(explain, "activation stall " + who);
        case OpKind::setLatency:
            desk.setLatency(*pid, op.b % 10 == 0 ? 0.3 : 0.005 + op.x * 0.1);
            return said(explain, "latency " + who);
        default: return {};
    }
}

// ---------------------------------------------------------------------------
// Windows

std::string World::windows(const Op& op, bool explain) {
    WindowSpec desc;
    WindowID opened = 0;
    switch (op.kind) {
        case OpKind::openStandard: opened = open(op, desc); break;
        case OpKind::openDialog: desc.kind = WindowKind::dialog; opened = open(op, desc); break;
        case OpKind::openFixed: desc.fixedSize = true; opened = open(op, desc); break;
        case OpKind::openRefusing:
            desc.minSize = {400 + op.x * 900, op.y < 0.3 ? 300 + op.y * 1500 : 0};
            opened = open(op, desc);
            break;
        case OpKind::openOnOtherSpace:
        case OpKind::openOnTwoSpaces: {
            const auto uuid = pickDisplay(op.b);
            if (!uuid) return said(explain, "open: no display");
            const auto spaces = desk.spacesOn(*uuid);
            const SpaceID current = desk.currentSpace(*uuid);
            SpaceID other = spaces[op.a % spaces.size()];
            if (op.kind == OpKind::openOnTwoSpaces) {
                if (other == current) other = spaces[(op.a + 1) % spaces.size()];
                desc.spaces = other == current ? std::vector<SpaceID>{current}
                                               : std::vector<SpaceID>{current, other};
            } else {
                desc.spaces = std::vector<SpaceID>{other};
            }
            opened = open(op, desc);
            break;
        }
        case OpKind::openOdd:
            switch (op.b % 3) {
                case 0: desc.kind = WindowKind::notWindow; break;
                case 1: desc.hasNumber = false; break;
                default: desc.minimized = true; break;
            }
            opened = open(op, desc);
            break;
        default: break;
    }
    if (opened || op.kind <= OpKind::openOdd) {
        return said(explain, toString(op.kind) + (opened ? " -> window " + std::to_string(opened) +
                                                               " of pid " + std::to_string(notes[opened].pid)
                                                         : std::string(" (nothing)")));
    }

    const auto pickedWindow = [&]() -> std::optional<WindowID> {
        // Restoring or leaving full screen is only interesting for a window in that state.
        if (op.kind == OpKind::restoreWindow || op.kind == OpKind::leaveFullScreen) {
            const auto ids = liveWindows();
            for (std::size_t i = 0; i < ids.size(); ++i) {
                const WindowID id = ids[(op.a + i) % ids.size()];
                const SimWindow* w = desk.window(id);
                if (op.kind == OpKind::restoreWindow ? w->minimized : w->fullScreen) return id;
            }
            return std::nullopt;
        }
        return op.b % 2 ? pickTiled(op.a) : pickWindow(op.a);
    }();
    if (!pickedWindow) return said(explain, toString(op.kind) + ": no window");
    const WindowID id = *pickedWindow;
    const Rect frame = desk.frameOf(id).value_or(Rect{});
    const std::string who = "window " + std::to_string(id);
    switch (op.kind) {
        case OpKind::closeWindow: desk.closeWindow(id); return said(explain, "close " + who);
        case OpKind::minimizeWindow: desk.minimize(id); return said(explain, "minimize " + who);
        case OpKind::restoreWindow: desk.restore(id); return said(explain, "restore " + who);
        case OpKind::enterFullScreen: desk.setFullScreen(id, true); return said(explain, "full screen " + who);
        case OpKind::leaveFullScreen: desk.setFullScreen(id, false); return said(explain, "leave full screen " + who);
        case OpKind::resizeItself: {
            Rect next = frame;
            next.width = std::max(80.0, std::round(frame.width * (0.6 + op.x * 0.9)));
            next.height = std::max(80.0, std::round(frame.height * (0.8 + op.y * 0.4)));
            desk.setFrame(id, next);
            displace(id, frame);
            return said(explain, who + " resizes itself to " + rectText(next));
        }
        case OpKind::moveItself: {
            Rect next = frame;
            next.x += std::round((op.x - 0.5) * 800);
            next.y += std::round((op.y - 0.5) * 200);
            desk.setFrame(id, next);
            displace(id, frame);
            return said(explain, who + " moves itself to " + rectText(next));
        }
        case OpKind::refuseSizes: {
            const Size size = op.b % 4 == 0 ? Size{} : Size{400 + op.x * 1000, op.y < 0.2 ? 500 + op.y * 2000 : 0};
            desk.setMinSize(id, size);
            displace(id, frame);
            return said(explain, who + " refuses to be smaller than " + num(size.width) + "x" + num(size.height));
        }
        case OpKind::changeTitle:
            desk.setTitle(id, "Title " + std::to_string(op.b % 50));
            return said(explain, "retitle " + who);
        case OpKind::moveToSpace: {
            std::vector<SpaceID> spaces;
            for (const Display& d : desk.displays()) {
                for (SpaceID s : desk.spacesOn(d.uuid)) spaces.push_back(s);
            }
            if (spaces.empty()) return {};
            const SpaceID space = spaces[op.b % spaces.size()];
            desk.moveToSpace(id, space);
            displace(id, frame);
            return said(explain, "move " + who + " to Space " + std::to_string(space));
        }
        case OpKind::appFocusesWindow: desk.focusWindow(id); return said(explain, "app focuses " + who);
        case OpKind::raiseWindow: desk.raiseWindow(id); return said(explain, "raise " + who);
        default: return {};
    }
}

// ---------------------------------------------------------------------------
// Displays and Spaces

std::string World::displays(const Op& op, bool explain) {
    const auto current = desk.displays();
    const auto relayAll = [&](std::vector<Size> sizes, const std::vector<std::string>& uuids) {
        const auto frames = arrange(sizes, op.b);
        std::vector<std::pair<std::string, Rect>> placed;
        for (std::size_t i = 0; i < uuids.size(); ++i) placed.emplace_back(uuids[i], frames[i]);
        desk.arrangeDisplays(placed);
    };
    switch (op.kind) {
        case OpKind::addDisplay: {
            if (current.size() >= 3) return said(explain, "addDisplay: three already");
            const Size size = displaySize(op.a);
            double x = 0;
            for (const Display& d : current) x = std::max(x, d.frame.maxX());
            Rect frame{x, 0, size.width, size.height};
            if (op.b % 2 && !current.empty()) {
                double left = 0;
                for (const Display& d : current) left = std::min(left, d.frame.x);
                frame.x = left - size.width;
            }
            const std::string uuid = desk.addDisplay(frame, "Display" + std::to_string(op.a % 5));
            return said(explain, "add display " + uuid + " at " + rectText(frame));
        }
        case OpKind::removeDisplay: {
            // The last display goes only rarely: the engine then has nowhere to tile.
            if (current.empty() || (current.size() == 1 && op.b % 8 != 0)) return said(explain, "removeDisplay: kept the last one");
            const std::string uuid = current[op.a % current.size()].uuid;
            desk.removeDisplay(uuid);
            return said(explain, "remove display " + uuid);
        }
        case OpKind::resizeDisplay:
        case OpKind::rearrangeDisplays: {
            if (current.empty()) return {};
            std::vector<Size> sizes;
            std::vector<std::string> uuids;
            for (const Display& d : current) {
                sizes.push_back(d.frame.size());
                uuids.push_back(d.uuid);
            }
            if (op.kind == OpKind::resizeDisplay) {
                sizes[op.a % sizes.size()] = displaySize(op.a >> 4);
            } else if (uuids.size() > 2) {
                std::swap(uuids[1], uuids[2]);
                std::swap(sizes[1], sizes[2]);
            }
            relayAll(sizes, uuids);
            return said(explain, toString(op.kind) + " (" + std::to_string(uuids.size()) + " displays)");
        }
        case OpKind::addSpace: {
            const auto uuid = pickDisplay(op.a);
            if (!uuid || desk.spacesOn(*uuid).size() >= 4) return {};
            const SpaceID space = desk.addSpace(*uuid);
            return said(explain, "add Space " + std::to_string(space) + " on " + *uuid);
        }
        case OpKind::switchSpace: {
            const auto uuid = pickDisplay(op.a);
            if (!uuid) return {};
            const auto spaces = desk.spacesOn(*uuid);
            if (spaces.empty()) return {};
            const SpaceID space = spaces[op.b % spaces.size()];
            desk.switchSpace(*uuid, space);
            return said(explain, "switch " + *uuid + " to Space " + std::to_string(space));
        }
        case OpKind::reduceMotion:
            desk.setReduceMotion(op.a % 3 == 0);
            return said(explain, std::string("reduce motion ") + (op.a % 3 == 0 ? "on" : "off"));
        default: return {};
    }
}

// ---------------------------------------------------------------------------
// The engine's commands

std::string World::perform(const Op& op, bool explain) {
    // Picks a strip of the manager and, optionally, one of its windows.
    const auto pickStrip = [&]() -> std::optional<StripKey> {
        std::vector<StripKey> keys;
        for (const auto& [key, strip] : wm->strips) keys.push_back(key);
        std::sort(keys.begin(), keys.end(), [](const StripKey& l, const StripKey& r) {
            return std::tie(l.display, l.space) < std::tie(r.display, r.space);
        });
        if (keys.empty()) return std::nullopt;
        return keys[op.a % keys.size()];
    };
    switch (op.kind) {
        case OpKind::perform: {
            const Action action = allActions()[op.a % actionCount];
            stopEngine([&] { wm->perform(action); });
            return said(explain, "perform " + tessaline::toString(action));
        }
        case OpKind::focusWindowIn:
        case OpKind::focusColumnIn:
        case OpKind::selectTab:
        case OpKind::timelineDrop: {
            const auto key = pickStrip();
            if (!key) return said(explain, toString(op.kind) + ": no strip");
            const Strip strip = wm->strips.at(*key);
            const auto ids = strip.windows();
            const WindowID id = ids.empty() || op.b % 9 == 0 ? 4242 : ids[op.b % ids.size()];
            const int column = static_cast<int>(op.b % static_cast<std::uint32_t>(strip.count() + 2)) - 1;
            const int row = static_cast<int>((op.b >> 8) % 4);
            const std::string where = " in " + key->display + "/" + std::to_string(key->space);
            if (op.kind == OpKind::focusWindowIn) {
                wm->focusWindow(id, *key);
                return said(explain, "focus window " + std::to_string(id) + where);
            }
            if (op.kind == OpKind::focusColumnIn) {
                wm->focusColumn(column, *key);
                return said(explain, "focus column " + std::to_string(column) + where);
            }
            if (op.kind == OpKind::selectTab) {
                wm->selectTab(*key, column, row);
                return said(explain, "select tab " + std::to_string(column) + "/" + std::to_string(row) + where);
            }
            DropTarget target = NewColumn{column + 1};
            if ((op.b >> 12) % 2) target = Stack{column, row};
            wm->drop(id, target, *key);
            return said(explain, "timeline drop " + std::to_string(id) +
                                     (std::holds_alternative<Stack>(target) ? " into stack " : " as column ") +
                                     std::to_string(column) + where);
        }
        case OpKind::retile: wm->retile(); return said(explain, "retile");
        case OpKind::stop: stopEngine([&] { wm->stop(); }); return said(explain, "stop");
        case OpKind::start: wm->start(); return said(explain, "start");
        case OpKind::toggle: stopEngine([&] { wm->toggle(); }); return said(explain, "toggle");
        case OpKind::askState: {
            ++stateAsked;
            auto answered = std::make_shared<bool>(false);
            wm->debugState(op.a % 2, [this, answered](const nlohmann::json&) {
                if (*answered) ++stateAnsweredTwice;
                *answered = true;
                ++stateAnswered;
            });
            return said(explain, "ask for the state");
        }
        default: return {};
    }
}

// ---------------------------------------------------------------------------
// Settings

std::string World::settings(const Op& op, bool explain) {
    switch (op.kind) {
        case OpKind::setGap: {
            static constexpr std::array<double, 5> gaps = {0, 5, 10, 20, 40};
            const double gap = gaps[op.a % gaps.size()];
            changeConfig([&](Config& c) { c.gap = gap; });
            return said(explain, "gap " + num(gap));
        }
        case OpKind::setCentreMode:
            changeConfig([&](Config& c) { c.centreMode = static_cast<CentreMode>(op.a % 3); });
            return said(explain, "centre mode " + tessaline::toString(static_cast<CentreMode>(op.a % 3)));
        case OpKind::setRules: {
            const std::string bundle = "com.stress.app" + std::to_string(op.a % 6);
            changeConfig([&](Config& c) {
                auto& rules = c.appRules;
                rules.erase(std::remove_if(rules.begin(), rules.end(),
                                           [&](const AppRule& r) { return r.bundleID == bundle; }),
                            rules.end());
                if (op.b % 3 == 0) return;
                AppRule rule;
                rule.bundleID = bundle;
                rule.floating = op.b & 2;
                if (op.b & 4) rule.width = 0.25 + op.x * 0.75;
                rule.placement = static_cast<AppRule::Placement>((op.b >> 3) % 3);
                rules.push_back(rule);
            });
            return said(explain, "rules for " + bundle);
        }
        case OpKind::disableDisplay: {
            const auto uuid = op.b % 5 == 0 ? std::optional<std::string>("NO-SUCH-DISPLAY") : pickDisplay(op.a);
            if (!uuid) return {};
            changeConfig([&](Config& c) {
                auto& list = c.disabledDisplays;
                auto found = std::find(list.begin(), list.end(), *uuid);
                if (found != list.end()) {
                    list.erase(found);
                } else {
                    list.push_back(*uuid);
                }
            });
            return said(explain, "toggle disabled display " + *uuid);
        }
        case OpKind::setAnimation:
            changeConfig([&](Config& c) {
                c.animate = op.a % 5 != 0;
                c.animationDuration = op.b % 7 == 0 ? 0 : 0.05 + op.x * 0.4;
            });
            return said(explain, "animation");
        case OpKind::setInputSettings:
            changeConfig([&](Config& c) {
                c.swipeEnabled = op.a % 6 != 0;
                c.swipeFingers = 3 + static_cast<int>((op.a >> 4) % 2);
                c.chordScroll = op.b % 6 != 0;
                c.focusFollowsMouse = (op.b >> 4) % 3 == 0;
                c.mouseFollowsFocus = (op.b >> 8) % 2 == 0;
                c.timelineOnModifiers = (op.b >> 12) % 4 != 0;
                c.swipeSensitivity = 0.5 + op.x * 1.5;
            });
            return said(explain, "input settings");
        case OpKind::setWidths:
            changeConfig([&](Config& c) {
                static constexpr std::array<double, 4> widths = {1.0 / 3.0, 0.5, 2.0 / 3.0, 0.8};
                c.defaultWidth = widths[op.a % widths.size()];
                c.presetWidths.clear();
                for (std::size_t i = 0; i < widths.size(); ++i) {
                    if ((op.b >> i) & 1) c.presetWidths.push_back(widths[i]);
                }
            });
            return said(explain, "widths");
        default: return {};
    }
}

}  // namespace tessaline::stress
