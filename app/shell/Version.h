#pragma once
// The program's version, set by the build (TESSALINE_VERSION, and the commit
// the build was configured at as TESSALINE_BUILD).

#include <string_view>

namespace tessaline::shell {

#ifndef TESSALINE_VERSION
#define TESSALINE_VERSION "0.0.0"
#endif
#ifndef TESSALINE_BUILD
#define TESSALINE_BUILD "?"
#endif

inline constexpr std::string_view version = TESSALINE_VERSION;
inline constexpr std::string_view build = TESSALINE_BUILD;

}  // namespace tessaline::shell
