#include "platform/x11/X11Client.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace tessaline {

namespace {

enum : std::uint32_t {
    kUserPosition = 1u << 0,
    kProgramPosition = 1u << 2,
    kMinSize = 1u << 4,
    kMaxSize = 1u << 5,
    kResizeInc = 1u << 6,
    kBaseSize = 1u << 8,
};

// Hints come from other programs: a negative or absurd value must not turn
// into a negative size.
int sane(std::uint32_t value) {
    const auto v = static_cast<std::int32_t>(value);
    return std::clamp(v, 0, 1 << 15);
}

int constrainAxis(int size, int min, int max, int inc, int base) {
    size = std::max(size, min);
    if (max > 0) size = std::min(size, max);
    if (inc > 1) {
        const int steps = std::max(0, (size - base) / inc);
        size = base + steps * inc;
        // Rounding down may go below the minimum; one more step fixes that.
        if (size < min) size += inc;
    }
    return std::max(size, 1);
}

}  // namespace

SizeHints SizeHints::parse(const std::vector<std::uint32_t>& v) {
    SizeHints hints;
    if (v.empty()) return hints;
    const std::uint32_t flags = v[0];
    hints.positioned = flags & (kUserPosition | kProgramPosition);
    auto at = [&](std::size_t i) { return i < v.size() ? sane(v[i]) : 0; };
    const bool hasMin = flags & kMinSize;
    const bool hasBase = flags & kBaseSize;
    if (hasMin) {
        hints.minWidth = at(5);
        hints.minHeight = at(6);
    }
    if (flags & kMaxSize) {
        hints.maxWidth = at(7);
        hints.maxHeight = at(8);
    }
    if (flags & kResizeInc) {
        hints.widthInc = at(9);
        hints.heightInc = at(10);
    }
    if (hasBase) {
        hints.baseWidth = at(15);
        hints.baseHeight = at(16);
    }
    // Each of base and minimum stands in for the other when only one is given.
    if (hasMin && !hasBase) {
        hints.baseWidth = hints.minWidth;
        hints.baseHeight = hints.minHeight;
    } else if (hasBase && !hasMin) {
        hints.minWidth = hints.baseWidth;
        hints.minHeight = hints.baseHeight;
    }
    // A maximum below the minimum means nothing sensible; the minimum wins.
    if (hints.maxWidth > 0 && hints.maxWidth < hints.minWidth) hints.maxWidth = hints.minWidth;
    if (hints.maxHeight > 0 && hints.maxHeight < hints.minHeight) hints.maxHeight = hints.minHeight;
    return hints;
}

bool SizeHints::fixed() const {
    return maxWidth > 0 && maxHeight > 0 && minWidth == maxWidth && minHeight == maxHeight;
}

Size SizeHints::constrain(Size size) const {
    const int width = static_cast<int>(std::lround(std::clamp(size.width, 1.0, 65535.0)));
    const int height = static_cast<int>(std::lround(std::clamp(size.height, 1.0, 65535.0)));
    return Size{static_cast<double>(constrainAxis(width, minWidth, maxWidth, widthInc, baseWidth)),
                static_cast<double>(constrainAxis(height, minHeight, maxHeight, heightInc, baseHeight))};
}

bool Strut::empty() const {
    return values[0] == 0 && values[1] == 0 && values[2] == 0 && values[3] == 0;
}

WindowHandle handleFor(xcb_window_t window) {
    return WindowHandle{std::make_shared<X11Element>(window)};
}

xcb_window_t windowOf(const WindowHandle& handle) {
    const auto* element = dynamic_cast<const X11Element*>(handle.object.get());
    return element ? element->window() : XCB_NONE;
}

}  // namespace tessaline
