// tessaline: with a command word, the command-line client; otherwise the
// window manager of the X display.

#include <cstdio>
#include <string_view>

#include "app/ManagerApp.h"
#include "app/shell/CommandClient.h"
#include "app/shell/Role.h"

int main(int argc, char** argv) {
    // A first argument that is not an option is a command for the running manager.
    const tessaline::shell::Role role = tessaline::shell::chooseRole(argc, argv);
    if (role.kind == tessaline::shell::Role::Kind::client) return tessaline::shell::runClient(role.command);

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
