#include "app/shell/Version.h"

#ifndef TESSALINE_VERSION
#define TESSALINE_VERSION "0.0.0"
#endif
#ifndef TESSALINE_BUILD
#define TESSALINE_BUILD "?"
#endif

namespace tessaline::shell {

std::string_view version() { return TESSALINE_VERSION; }
std::string_view build() { return TESSALINE_BUILD; }

}  // namespace tessaline::shell
