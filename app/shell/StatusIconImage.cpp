#include "app/shell/StatusIconImage.h"

#include <algorithm>
#include <cmath>

namespace tessaline::shell {

namespace {

struct Colour {
    double r = 0, g = 0, b = 0, a = 0;  // 0..1, not premultiplied
};

struct Box {
    double left, top, right, bottom;
    bool contains(double x, double y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// The focused column in the middle and its neighbours cut off at the edges:
// the strip running past the screen, which is what the program is about.
constexpr Box leftColumn{0.00, 0.20, 0.22, 0.80};
constexpr Box focusedColumn{0.30, 0.14, 0.70, 0.86};
constexpr Box rightColumn{0.78, 0.20, 1.00, 0.80};
// Paused, the focused column becomes a pause sign.
constexpr Box leftBar{0.31, 0.14, 0.46, 0.86};
constexpr Box rightBar{0.54, 0.14, 0.69, 0.86};

// Panels come light and dark; a dark rim around light fill reads on both.
constexpr Colour rim{0.16, 0.16, 0.16, 1.0};
constexpr Colour focusedFill{0.96, 0.96, 0.96, 1.0};
constexpr Colour sideFill{0.74, 0.74, 0.74, 1.0};
constexpr Colour strike{0.88, 0.30, 0.23, 1.0};

struct Shape {
    Box box;
    Colour fill;
    bool faded = false;
};

std::vector<Shape> shapes(StatusIcon icon) {
    switch (icon) {
        case StatusIcon::tiling:
            return {{leftColumn, sideFill}, {focusedColumn, focusedFill}, {rightColumn, sideFill}};
        case StatusIcon::paused:
            return {{leftColumn, sideFill, true}, {leftBar, focusedFill}, {rightBar, focusedFill},
                    {rightColumn, sideFill, true}};
        case StatusIcon::needsDisplay:
            return {{leftColumn, sideFill, true}, {focusedColumn, focusedFill, true}, {rightColumn, sideFill, true}};
    }
    return {};
}

Colour faded(Colour colour) {
    colour.a *= 0.4;
    return colour;
}

// Distance from the stroke from the lower left to the upper right, round at its ends.
double distanceToStrike(double x, double y) {
    constexpr double x0 = 0.12, y0 = 0.88, x1 = 0.88, y1 = 0.12;
    const double dx = x1 - x0, dy = y1 - y0;
    const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
}

Colour shade(StatusIcon icon, double x, double y, double pixel) {
    if (icon == StatusIcon::needsDisplay && distanceToStrike(x, y) < std::max(1.6 * pixel, 0.06)) return strike;
    const double border = 1.2 * pixel;
    for (const Shape& shape : shapes(icon)) {
        const Box& box = shape.box;
        if (!box.contains(x, y)) continue;
        // Columns cut off by the picture's edge have no rim there, as if they went on.
        const bool onRim = (x - box.left < border && box.left > 0.0) || (box.right - x < border && box.right < 1.0) ||
                           y - box.top < border || box.bottom - y < border;
        const Colour colour = onRim ? rim : shape.fill;
        return shape.faded ? faded(colour) : colour;
    }
    return {};
}

std::uint8_t byte(double value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

}  // namespace

std::vector<std::uint8_t> statusIconImage(StatusIcon icon, int size) {
    if (size <= 0) return {};
    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<std::size_t>(size) * size * 4);
    const double pixel = 1.0 / size;
    constexpr int samples = 4;  // per axis, for smooth edges at small sizes
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            Colour sum;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double x = (column + (sx + 0.5) / samples) * pixel;
                    const double y = (row + (sy + 0.5) / samples) * pixel;
                    const Colour c = shade(icon, x, y, pixel);
                    sum.r += c.r * c.a;
                    sum.g += c.g * c.a;
                    sum.b += c.b * c.a;
                    sum.a += c.a;
                }
            }
            const double alpha = sum.a / (samples * samples);
            const double scale = sum.a > 0 ? 1.0 / sum.a : 0.0;
            pixels.push_back(byte(alpha));
            pixels.push_back(byte(sum.r * scale));
            pixels.push_back(byte(sum.g * scale));
            pixels.push_back(byte(sum.b * scale));
        }
    }
    return pixels;
}

}  // namespace tessaline::shell
