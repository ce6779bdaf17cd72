#include "platform/input/TouchpadGeometry.h"

namespace tessaline {

namespace {

constexpr double millimetresPerUnit = 25.4 / 1000.0;  // 1000 dpi
// Smaller than a fingertip or larger than a drawing tablet: the axis lies.
constexpr double shortestPad = 20;
constexpr double longestPad = 500;

std::optional<double> lengthOf(const std::optional<DeviceAxis>& axis) {
    if (!axis || !axis->absolute || !(axis->resolution > 0) || !(axis->max > axis->min)) {
        return std::nullopt;
    }
    double millimetres = (axis->max - axis->min) / axis->resolution * 1000.0;
    if (!(millimetres >= shortestPad && millimetres <= longestPad)) return std::nullopt;
    return millimetres;
}

}  // namespace

TouchpadSize touchpadSize(const std::optional<DeviceAxis>& x, const std::optional<DeviceAxis>& y) {
    TouchpadSize size;
    if (auto width = lengthOf(x)) size.width = *width;
    if (auto height = lengthOf(y)) size.height = *height;
    return size;
}

PadDelta padDelta(const TouchpadSize& pad, double dxUnits, double dyUnits) {
    return {dxUnits * millimetresPerUnit / pad.width, dyUnits * millimetresPerUnit / pad.height};
}

}  // namespace tessaline
