#include "overlays/model/FocusGeometry.h"

#include <algorithm>
#include <cmath>

namespace tessaline::FocusGeometry {

bool isOnScreen(const Rect& rect, const std::vector<Display>& displays) {
    for (const Display& display : displays) {
        const Rect& d = display.frame;
        const double width = std::min(rect.maxX(), d.maxX()) - std::max(rect.x, d.x);
        const double height = std::min(rect.maxY(), d.maxY()) - std::max(rect.y, d.y);
        if (width > 40 && height > 0) return true;
    }
    return false;
}

double cornerRadius(const Config& config) {
    return config.borderRadius.value_or(systemCornerRadius);
}

BorderStyle borderStyle(const Config& config) {
    return {config.borderColor, config.borderWidth, cornerRadius(config)};
}

Rect borderPanelFrame(const Rect& shown, double lineWidth) {
    const double grow = lineWidth + shadowRoom;
    return {shown.x - grow, shown.y - grow, shown.width + 2 * grow, shown.height + 2 * grow};
}

RoundedRect rim(Size panel, const BorderStyle& style) {
    const double inset = style.lineWidth * 0.5 + shadowRoom;
    return {{inset, inset, std::max(panel.width - 2 * inset, 0.0), std::max(panel.height - 2 * inset, 0.0)},
            style.radius + style.lineWidth * 0.5};
}

RoundedRect shine(Size panel, const BorderStyle& style) {
    const RoundedRect outer = rim(panel, style);
    const double inset = style.lineWidth * 0.25;
    return {{outer.rect.x + inset, outer.rect.y + inset, std::max(outer.rect.width - 2 * inset, 0.0),
             std::max(outer.rect.height - 2 * inset, 0.0)},
            std::max(outer.radius - inset, 0.0)};
}

Rect tabBarFrame(const Rect& window) {
    return {window.x, window.y - tabBarRise, window.width, tabBarHeight};
}

std::optional<int> tabAt(double x, double width, int count) {
    if (count <= 0 || width <= 0 || x < 0 || x >= width) return std::nullopt;
    return std::min(static_cast<int>(std::floor(x / (width / count))), count - 1);
}

}  // namespace tessaline::FocusGeometry
