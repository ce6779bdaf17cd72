#pragma once
// The executable as the window manager: builds the objects (settings,
// session store, loop and scheduler, window system and frame writer, input
// and overlays), takes the screen, runs until asked to stop, and leaves
// every window usable behind it.

#include <string>

namespace tessaline {

struct ManagerOptions {
    std::string display;        // empty: $DISPLAY
    bool replace = false;       // take the screen from the running window manager
    bool exitOnXError = false;  // an unexpected X error ends the program (tests)
};

// Answers the exit status: 0 after a clean stop (a signal, or another
// manager taking over), 1 when the screen could not be managed or the X
// server went away.
int runManager(const ManagerOptions& options);

}  // namespace tessaline
