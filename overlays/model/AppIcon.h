#pragma once
// Application icons and window images as plain pixels, free of any drawing
// library: the X11 side reads them from _NET_WM_ICON (or a window's pixmap),
// the drawing turns them into Cairo surfaces when it paints.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tessaline {

// One picture: width × height pixels, row by row, each 0xAARRGGBB with
// straight (not premultiplied) alpha, as _NET_WM_ICON carries them.
struct ArgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool valid() const {
        return width > 0 && height > 0 &&
               pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    friend bool operator==(const ArgbImage&, const ArgbImage&) = default;
};
using ArgbImageRef = std::shared_ptr<const ArgbImage>;

// Every size an application offers for its icon.
struct AppIcon {
    std::vector<ArgbImage> sizes;

    // The largest size that fits an edge of `edge` pixels; the smallest one
    // when none fits (it is scaled down); null when there is none.
    const ArgbImage* pick(double edge) const;

    // The sizes in a _NET_WM_ICON value (width, height, then width × height
    // pixels, repeated). Stops at the first entry that is malformed or runs
    // past the end; entries larger than 1024 pixels a side are skipped, so a
    // misbehaving client cannot make us hold gigabytes. Null when nothing
    // usable is left.
    static std::shared_ptr<const AppIcon> fromCardinals(std::span<const std::uint32_t> data);
};
// Icons are shared and never change: a new icon is a new object, so models
// compare them by pointer.
using AppIconRef = std::shared_ptr<const AppIcon>;

}  // namespace tessaline
