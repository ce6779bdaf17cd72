// The user's hands: clicks, pointer moves, swipes, modified scrolls, wheel
// notches, the control+option chord, and drags of windows by their title
// bar or their edge, dropped anywhere, also on another display.

#include <algorithm>
#include <cmath>

#include "StressWorld.h"
#include "engine/wm/Animator.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline::stress {

namespace {

std::string said(bool explain, const std::string& text) { return explain ? text : std::string(); }
std::string num(double value) { return std::to_string(static_cast<long long>(std::lround(value))); }
std::string pointText(Point p) { return "(" + num(p.x) + ", " + num(p.y) + ")"; }

const Modifiers chordKeys = Modifiers::control | Modifiers::option;

}  // namespace

std::string World::input(const Op& op, bool explain) {
    SimInput& in = *desk.input();
    const auto displays = desk.displays();
    // A point on some display, by fractions of its frame.
    const auto pointOn = [&](std::uint32_t selector, double fx, double fy) {
        if (displays.empty()) return Point{fx * 1000, fy * 800};
        const Rect f = displays[selector % displays.size()].frame;
        return Point{std::round(f.x + fx * (f.width - 1)), std::round(f.y + fy * (f.height - 1))};
    };
    // The pointer never leaves the displays: a point outside them is taken to
    // the nearest point of the nearest display, as the system does.
    const auto reachable = [&](Point p) {
        Point best = p;
        double bestDistance = -1;
        for (const Display& d : displays) {
            const Point q{std::clamp(p.x, d.frame.x, d.frame.maxX() - 1),
                          std::clamp(p.y, d.frame.y, d.frame.maxY() - 1)};
            const double distance = std::hypot(q.x - p.x, q.y - p.y);
            if (bestDistance < 0 || distance < bestDistance) {
                best = q;
                bestDistance = distance;
            }
        }
        return best;
    };

    switch (op.kind) {
        case OpKind::click: {
            if (desk.pressedButtons() & 1) return said(explain, "click: button already down");
            const Point p = pointOn(op.a, op.x, op.y);
            in.click(p);
            return said(explain, "click at " + pointText(p));
        }
        case OpKind::movePointer: {
            const Point p = pointOn(op.a, op.x, op.y);
            in.movePointer(p);
            return said(explain, "pointer to " + pointText(p));
        }
        case OpKind::swipeBegin:
            if (swiping) return said(explain, "swipe already under way");
            if (op.b % 2) in.movePointer(pointOn(op.a, op.x, op.y));
            in.inject(SwipeBegan{});
            swiping = true;
            return said(explain, "swipe begins");
        case OpKind::swipeMove:
            if (!swiping) return said(explain, "swipeMove: no swipe");
            in.inject(SwipeMoved{(op.x - 0.5) * 0.4});
            return said(explain, "swipe moves");
        case OpKind::swipeEnd:
            if (!swiping) return said(explain, "swipeEnd: no swipe");
            in.inject(SwipeEnded{(op.x - 0.5) * 6});
            swiping = false;
            return said(explain, "swipe ends");
        case OpKind::scrollBegin:
            if (scrolling) return said(explain, "scroll already under way");
            in.setModifiers(chordKeys);
            chord = true;
            in.inject(ScrollBegan{});
            scrolling = true;
            return said(explain, "modified scroll begins");
        case OpKind::scrollMove:
            if (!scrolling) return said(explain, "scrollMove: no scroll");
            in.inject(ScrollMoved{(op.x - 0.5) * 300});
            return said(explain, "modified scroll moves");
        case OpKind::scrollEnd:
            if (!scrolling) return said(explain, "scrollEnd: no scroll");
            in.inject(ScrollEnded{(op.x - 0.5) * 3000});
            scrolling = false;
            return said(explain, "modified scroll ends");
        case OpKind::wheel: {
            if (!chord) {
                in.setModifiers(chordKeys);
                chord = true;
            }
            const int steps = op.a % 2 ? 1 : -1;
            in.inject(ScrollStepped{steps});
            return said(explain, "wheel notch " + std::to_string(steps));
        }
        case OpKind::chordDown: {
            Modifiers mods = chordKeys;
            if (op.a % 5 == 0) mods.insert(Modifiers::shift);
            if (op.a % 7 == 0) mods.insert(Modifiers::command);
            in.setModifiers(op.b % 4 == 0 ? Modifiers::control : mods);
            chord = true;
            return said(explain, "modifiers down");
        }
        case OpKind::chordUp:
            if (scrolling) return said(explain, "chordUp: a scroll holds them");
            in.setModifiers(op.a % 4 == 0 && chord ? Modifiers::option : Modifiers{});
            chord = in.modifiers() != Modifiers{};
            return said(explain, "modifiers up");
        case OpKind::pressKey:
            in.pressKey();
            return said(explain, "a key");
        case OpKind::pressOnWindow: {
            if (desk.pressedButtons() & 1) return said(explain, "press: button already down");
            const auto chosen = op.b % 4 == 0 ? pickWindow(op.a) : pickTiled(op.a);
            if (!chosen) return said(explain, "press: no window");
            const Rect frame = desk.frameOf(*chosen).value_or(Rect{});
            const Point wanted = (op.b >> 4) % 3 == 0
                                     ? Point{frame.maxX() - 2, std::round(frame.midY())}
                                     : Point{std::round(frame.x + std::clamp(frame.width * op.x, 10.0,
                                                                             std::max(10.0, frame.width - 10))),
                                             frame.y + 8};
            const Point p = reachable(wanted);
            // An edge off the displays cannot be taken: the press lands elsewhere.
            const bool edge = (op.b >> 4) % 3 == 0 && p == wanted;
            in.movePointer(p);
            // Whatever is really under the pointer is what the press grabs.
            const auto top = desk.system()->topWindow(p);
            in.pressButton(0);
            if (!top || !notes.count(*top)) return said(explain, "press on the desktop at " + pointText(p));
            held = *top;
            notes[*top].dragged = true;
            heldEdge = edge && *top == *chosen;
            const Rect topFrame = desk.frameOf(*top).value_or(Rect{});
            grab = {p.x - topFrame.x, p.y - topFrame.y};
            return said(explain, "press on window " + std::to_string(*top) + (heldEdge ? " (edge)" : " (title)") +
                                     " at " + pointText(p));
        }
        case OpKind::dragMove:
        case OpKind::dragToDisplay: {
            if (!held || !desk.window(*held)) return said(explain, "drag: nothing held");
            const Rect frame = *desk.frameOf(*held);
            const Point now = desk.pointer();
            Point p = op.kind == OpKind::dragToDisplay
                          ? pointOn(op.a, 0.05 + op.x * 0.9, 0.05 + op.y * 0.9)
                          : reachable(Point{std::round(now.x + (op.x - 0.5) * 600),
                                            std::round(now.y + (op.y - 0.5) * 200)});
            Rect next = frame;
            if (heldEdge) {
                next.width = std::max(60.0, frame.width + (p.x - now.x));
                if (op.b % 3 == 0) next.height = std::max(60.0, frame.height + (p.y - now.y));
                p = reachable({next.maxX() - 2, now.y});
            } else {
                next.x = p.x - grab.x;
                next.y = p.y - grab.y;
            }
            in.movePointer(p);
            desk.setFrame(*held, next);
            displace(*held, frame);
            return said(explain, "drag window " + std::to_string(*held) + " to " + pointText(p));
        }
        case OpKind::release:
            if (!(desk.pressedButtons() & 1)) return said(explain, "release: nothing held");
            in.releaseButton(0);
            held.reset();
            return said(explain, "release the button");
        default: return {};
    }
}

}  // namespace tessaline::stress
