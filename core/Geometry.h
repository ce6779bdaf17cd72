#pragma once
// Screen geometry shared by every layer: double-precision points, origin at the
// top left of the primary display, y growing downwards.

#include <cmath>
#include <cstdint>

namespace tessaline {

using WindowID = std::uint32_t;  // the window server's number; 0 is never a window
using ProcessID = std::int32_t;
using SpaceID = std::uint64_t;   // 0 where the platform has no Spaces

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    constexpr double minX() const { return x; }
    constexpr double minY() const { return y; }
    constexpr double maxX() const { return x + width; }
    constexpr double maxY() const { return y + height; }
    constexpr double midX() const { return x + width * 0.5; }
    constexpr double midY() const { return y + height * 0.5; }
    constexpr Point origin() const { return {x, y}; }
    constexpr Size size() const { return {width, height}; }
    constexpr Point centre() const { return {midX(), midY()}; }
    constexpr bool contains(Point p) const {
        return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY();
    }
    // True when the two rectangles share an area of positive size; touching
    // along an edge is not an overlap.
    constexpr bool overlaps(const Rect& o) const {
        return std::fmin(maxX(), o.maxX()) > std::fmax(x, o.x) &&
               std::fmin(maxY(), o.maxY()) > std::fmax(y, o.y);
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

// Rounds halves away from zero (std::round already does; named for intent).
inline double roundHalfAway(double v) { return std::round(v); }

}  // namespace tessaline
