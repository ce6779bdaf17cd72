#include "overlays/x11/PanelShape.h"

#include <algorithm>
#include <cmath>

namespace tessaline::PanelShape {

namespace {

// Whether any of eight pixels has some alpha (a plain loop the compiler vectorizes).
bool anyAlpha8(const std::uint32_t* pixels) {
    std::uint32_t alpha = 0;
    for (int i = 0; i < 8; ++i) alpha |= pixels[i] & 0xff000000u;
    return alpha != 0;
}

}  // namespace

std::vector<PixelRect> opaqueArea(const std::uint32_t* pixels, int width, int height, int stride) {
    std::vector<PixelRect> done;
    std::vector<PixelRect> open;  // the runs of the rows above, still growing
    std::vector<PixelRect> runs;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pixels);
    for (int y = 0; y <= height; ++y) {
        runs.clear();
        if (y < height) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(bytes + static_cast<std::size_t>(y) * stride);
            for (int x = 0; x < width;) {
                // Most of a large panel is clear: skip it eight pixels at a time.
                while (x + 8 <= width && !anyAlpha8(row + x)) x += 8;
                while (x < width && (row[x] >> 24) < solid) ++x;
                const int start = x;
                while (x < width && (row[x] >> 24) >= solid) ++x;
                if (x > start) runs.push_back({start, y, x - start, 1});
            }
        }
        const bool same = runs.size() == open.size() &&
                          std::equal(runs.begin(), runs.end(), open.begin(), [](const PixelRect& a, const PixelRect& b) {
                              return a.x == b.x && a.width == b.width;
                          });
        if (same) {
            for (PixelRect& rect : open) ++rect.height;
        } else {
            done.insert(done.end(), open.begin(), open.end());
            open = runs;
        }
    }
    return done;
}

std::vector<PixelRect> rounded(const RoundedRect& shape) {
    const int left = static_cast<int>(std::lround(shape.rect.x));
    const int top = static_cast<int>(std::lround(shape.rect.y));
    const int width = static_cast<int>(std::lround(shape.rect.width));
    const int height = static_cast<int>(std::lround(shape.rect.height));
    if (width <= 0 || height <= 0) return {};
    const double r = std::clamp(shape.radius, 0.0, std::min(width, height) / 2.0);
    const int band = static_cast<int>(std::ceil(r));
    std::vector<PixelRect> rects;
    // How far a row at `dy` pixels from the corner's edge is cut in.
    const auto inset = [&](int dy) {
        const double from = r - (dy + 0.5);
        return static_cast<int>(std::lround(r - std::sqrt(std::max(0.0, r * r - from * from))));
    };
    for (int dy = 0; dy < band; ++dy) {
        const int cut = inset(dy);
        rects.push_back({left + cut, top + dy, width - 2 * cut, 1});
    }
    if (height > 2 * band) rects.push_back({left, top + band, width, height - 2 * band});
    for (int dy = band - 1; dy >= 0; --dy) {
        const int cut = inset(dy);
        rects.push_back({left + cut, top + height - 1 - dy, width - 2 * cut, 1});
    }
    return rects;
}

}  // namespace tessaline::PanelShape
