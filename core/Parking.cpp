#include "core/Parking.h"

#include <algorithm>

namespace tessaline::Parking {

namespace {

bool overlapsAny(const Rect& frame, std::span<const Rect> others) {
    return std::any_of(others.begin(), others.end(),
                       [&](const Rect& other) { return frame.overlaps(other); });
}

}  // namespace

Rect park(const Rect& frame, Side side, const Rect& display, std::span<const Rect> others) {
    const double rightX = display.maxX() - 1;
    const double leftX = display.minX() - frame.width + 1;
    const double bottomY = display.maxY() - 1;
    const double chosen = side == Side::right ? rightX : leftX;
    const double other = side == Side::right ? leftX : rightX;

    const Rect candidates[] = {
        {chosen, frame.y, frame.width, frame.height},
        {other, frame.y, frame.width, frame.height},
        {chosen, bottomY, frame.width, frame.height},
        {other, bottomY, frame.width, frame.height},
    };
    for (const Rect& candidate : candidates) {
        if (!overlapsAny(candidate, others)) return candidate;
    }
    // Surrounded on every side: the bottom corner of the chosen side at least
    // keeps most of the window under the displays' lower edge.
    return candidates[2];
}

Rect resolve(const Rect& frame, const Rect& display, std::span<const Rect> others) {
    const Side side = frame.midX() < display.midX() ? Side::left : Side::right;

    // A window with at most one point on its display is parked even without
    // neighbours: leaving it at a far-away frame would let the system drag it
    // back or lose it off every screen.
    if (frame.maxX() <= display.minX() + 1 || frame.minX() >= display.maxX() - 1) {
        return park(frame, side, display, others);
    }
    if (frame.minX() >= display.minX() && frame.maxX() <= display.maxX()) return frame;
    if (!overlapsAny(frame, others)) return frame;
    return park(frame, side, display, others);
}

Rect fit(const Rect& frame, const Rect& into) {
    const double width = std::min(frame.width, into.width);
    const double height = std::min(frame.height, into.height);
    const double x = std::min(into.maxX() - width, std::max(frame.minX(), into.minX()));
    const double y = std::min(into.maxY() - height, std::max(frame.minY(), into.minY()));
    return {x, y, width, height};
}

}  // namespace tessaline::Parking
