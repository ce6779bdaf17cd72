#pragma once
// Where a window really goes when its layout frame lies outside its display:
// a one-point sliver stays at an edge of its own display, at full size, so it
// never spills onto a neighbouring display. All functions are stateless.

#include <span>

#include "core/Geometry.h"

namespace tessaline::Parking {

enum class Side { left, right };

// Parks `frame` at `side` of `display`, avoiding every display in `others`
// where some candidate position allows it.
Rect park(const Rect& frame, Side side, const Rect& display, std::span<const Rect> others);

// The frame to send for a layout frame: unchanged when it stays on `display`
// or only its own display's outside would be covered, else parked.
Rect resolve(const Rect& frame, const Rect& display, std::span<const Rect> others);

// Brings `frame` fully inside `area`, shrinking it only when it is larger.
Rect fit(const Rect& frame, const Rect& into);

}  // namespace tessaline::Parking
