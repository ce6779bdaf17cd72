#pragma once
// Readable failures for geometry.

#include <ostream>

#include "core/Geometry.h"

namespace tessaline {

inline void PrintTo(const Size& s, std::ostream* os) { *os << s.width << "×" << s.height; }
inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << r.width << "×" << r.height << " at " << r.x << "," << r.y;
}

}  // namespace tessaline
