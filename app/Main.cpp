// tessaline: with a command word, the command-line client; otherwise the
// window manager of the X display.

#include <cstdio>
#include <string_view>

#include "app/Client.h"
#include "app/ManagerApp.h"

int main(int argc, char** argv) {
    // A first argument that is not an option is a command for the running manager.
    if (argc >= 2 && argv[1][0] != '-') return tessaline::runClient(argv[1]);

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
