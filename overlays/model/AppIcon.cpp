#include "overlays/model/AppIcon.h"

#include <algorithm>

namespace tessaline {

namespace {
// Larger icons exist (512 px themes) but nothing we draw needs more, and a
// client's claim of a huge size must not make us allocate it.
constexpr std::uint32_t largestEdge = 1024;
}  // namespace

const ArgbImage* AppIcon::pick(double edge) const {
    const ArgbImage* best = nullptr;
    const ArgbImage* smallest = nullptr;
    for (const ArgbImage& image : sizes) {
        const int side = std::max(image.width, image.height);
        if (!smallest || side < std::max(smallest->width, smallest->height)) smallest = &image;
        if (side <= edge && (!best || side > std::max(best->width, best->height))) best = &image;
    }
    return best ? best : smallest;
}

std::shared_ptr<const AppIcon> AppIcon::fromCardinals(std::span<const std::uint32_t> data) {
    auto icon = std::make_shared<AppIcon>();
    std::size_t at = 0;
    while (data.size() - at >= 2) {
        const std::uint32_t width = data[at];
        const std::uint32_t height = data[at + 1];
        if (width == 0 || height == 0) break;
        const std::uint64_t count = std::uint64_t{width} * height;
        if (count > data.size() - at - 2) break;
        const auto first = data.begin() + static_cast<std::ptrdiff_t>(at + 2);
        if (width <= largestEdge && height <= largestEdge) {
            ArgbImage image;
            image.width = static_cast<int>(width);
            image.height = static_cast<int>(height);
            image.pixels.assign(first, first + static_cast<std::ptrdiff_t>(count));
            icon->sizes.push_back(std::move(image));
        }
        at += 2 + static_cast<std::size_t>(count);
    }
    if (icon->sizes.empty()) return nullptr;
    return icon;
}

}  // namespace tessaline
