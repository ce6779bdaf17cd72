// tessaline: with a command word, the command-line client; otherwise the
// window manager of the X display.
//
// The manager is a program of its own that this one becomes with exec in that
// role, so the client links little and starts about as fast as a program that
// does nothing (scripts and key bindings run it often, and its start is most
// of the time a command takes), and the manager's process carries none of the
// client's code.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/shell/CommandClient.h"
#include "app/shell/Role.h"

#ifndef TESSALINE_MANAGER_PROGRAM
#define TESSALINE_MANAGER_PROGRAM "tessaline-manager"
#endif
#ifndef TESSALINE_MANAGER_PROGRAM_INSTALLED
#define TESSALINE_MANAGER_PROGRAM_INSTALLED "../libexec/tessaline/tessaline-manager"
#endif

namespace {

// Beside the executable in a build tree; where the install puts it otherwise.
int runManagerProgram(char** argv) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    std::string problems;
    for (const char* relative : {TESSALINE_MANAGER_PROGRAM, TESSALINE_MANAGER_PROGRAM_INSTALLED}) {
        const std::filesystem::path program = folder / relative;
        if (!std::filesystem::exists(program, error)) continue;
        // The arguments pass unchanged: the manager reads its options, and
        // process lists keep showing what the user typed.
        ::execv(program.c_str(), argv);
        problems += "\n  " + program.string() + ": " + std::strerror(errno);
    }
    std::fprintf(stderr, "tessaline: the window manager program isn't installed beside %s%s\n", folder.c_str(),
                 problems.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // A first argument that is not an option is a command for the running manager.
    const tessaline::shell::Role role = tessaline::shell::chooseRole(argc, argv);
    if (role.kind == tessaline::shell::Role::Kind::client) return tessaline::shell::runClient(role.command);
    return runManagerProgram(argv);
}
