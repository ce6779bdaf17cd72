// tessaline: with a command word, the command-line client; otherwise the
// window manager of the X display.
//
// The manager's code (X, D-Bus, the engine at work) lives in a module loaded
// only in that role, so the client links little and starts about as fast as
// a program that does nothing: scripts and key bindings run it often, and its
// start is most of the time a command takes.

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/shell/CommandClient.h"
#include "app/shell/Role.h"

#ifndef TESSALINE_MANAGER_MODULE
#define TESSALINE_MANAGER_MODULE "tessaline-manager.so"
#endif
#ifndef TESSALINE_MANAGER_MODULE_INSTALLED
#define TESSALINE_MANAGER_MODULE_INSTALLED "../lib/tessaline/tessaline-manager.so"
#endif

// Fontconfig, loaded with Pango the first time the overlays draw text, keeps
// its caches for the life of the process on purpose: not a leak of ours. The
// leak checker asks the executable for this, never the manager module.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

// Beside the executable in a build tree; where the install puts it otherwise.
int runManagerModule(int argc, char** argv) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    std::string problems;
    for (const char* relative : {TESSALINE_MANAGER_MODULE, TESSALINE_MANAGER_MODULE_INSTALLED}) {
        const std::filesystem::path module = folder / relative;
        if (!std::filesystem::exists(module, error)) continue;
        // Opened for the life of the process: the manager runs until main returns.
        void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto* entry = handle ? reinterpret_cast<int (*)(int, char**)>(::dlsym(handle, "tessaline_manager_main")) : nullptr;
        if (entry) return entry(argc, argv);
        problems += std::string("\n  ") + ::dlerror();
    }
    std::fprintf(stderr, "tessaline: the window manager module isn't installed beside %s%s\n", folder.c_str(),
                 problems.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // A first argument that is not an option is a command for the running manager.
    const tessaline::shell::Role role = tessaline::shell::chooseRole(argc, argv);
    if (role.kind == tessaline::shell::Role::Kind::client) return tessaline::shell::runClient(role.command);
    return runManagerModule(argc, argv);
}
