// The window manager's entry point, called by the tessaline executable once
// it has chosen the manager role (see Main.cpp).

#include <cstdio>
#include <string_view>

#include "app/ManagerApp.h"

extern "C" __attribute__((visibility("default"))) int tessaline_manager_main(int argc, char** argv) {
    tessaline::ManagerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--replace") {
            options.replace = true;
        } else if (argument == "--exit-on-x-error") {
            options.exitOnXError = true;
        } else if (argument == "--display" && i + 1 < argc) {
            options.display = argv[++i];
        } else {
            // Sessions and launchers add options of their own; none stops the manager.
            std::fprintf(stderr, "tessaline: ignoring the unknown option '%s'\n", argv[i]);
        }
    }
    return tessaline::runManager(options);
}
