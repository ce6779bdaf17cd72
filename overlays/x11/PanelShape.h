#pragma once
// The shapes a panel window is cut to, as whole-pixel rectangles: the
// painted part of an image (where no compositor gives true transparency),
// and the rounded hole the shade leaves over the focused window.

#include <cstdint>
#include <vector>

#include "overlays/model/FocusGeometry.h"

namespace tessaline {

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

namespace PanelShape {

// Pixels at least this opaque belong to the shape: an edge pixel that is
// mostly transparent would show as a dark fringe once it is opaque.
inline constexpr std::uint8_t solid = 128;

// The pixels of a premultiplied ARGB32 image (`stride` bytes a row) whose
// alpha is at least `solid`, as rectangles in y-x bands: rows with the same
// runs share one rectangle.
std::vector<PixelRect> opaqueArea(const std::uint32_t* pixels, int width, int height, int stride);

// A rounded rectangle as rectangles, one per row in its corners.
std::vector<PixelRect> rounded(const RoundedRect& shape);

}  // namespace PanelShape
}  // namespace tessaline
