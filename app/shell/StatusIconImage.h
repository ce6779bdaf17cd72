#pragma once
// The status icon's pictures, drawn in code so nothing has to be installed
// into an icon theme: a strip of three columns while tiling, its middle column
// turned into a pause sign while paused, and faded and struck through while
// Tessaline doesn't manage the display.

#include "app/shell/StatusModel.h"

#include <cstdint>
#include <vector>

namespace tessaline::shell {

// `size` x `size` pixels, each four bytes A, R, G, B (not premultiplied),
// rows top to bottom: the layout of a StatusNotifierItem's IconPixmap.
std::vector<std::uint8_t> statusIconImage(StatusIcon icon, int size);

}  // namespace tessaline::shell
