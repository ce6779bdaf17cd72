#pragma once
// The program's version, set by the build (TESSALINE_VERSION, and the commit
// the build was configured at as TESSALINE_BUILD). Only Version.cpp sees
// them, so a new commit recompiles one file, not everything that reports it.

#include <string_view>

namespace tessaline::shell {

std::string_view version();
std::string_view build();

}  // namespace tessaline::shell
