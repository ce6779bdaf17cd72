#pragma once
// A private Xvfb for one test executable, started on first use and stopped
// when the executable ends. Kept apart from everything else so that the
// shared X test harness can take its place.

#include <string>

namespace tessaline::xinputtest {

// The display name (":N") of the running server; fails the test run when
// Xvfb cannot start.
const std::string& xvfbDisplay();

}  // namespace tessaline::xinputtest
