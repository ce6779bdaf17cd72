// The window manager's executable. Users start it as `tessaline`, which hands
// over to this program with exec (see Main.cpp): the process keeps its id and
// its arguments, and maps only the manager's code, not the client's.

#include <malloc.h>
#include <sys/prctl.h>

#include <cstdio>
#include <string_view>

#include "app/ManagerApp.h"

// Fontconfig, loaded with Pango the first time the overlays draw text, keeps
// its caches for the life of the process on purpose: not a leak of ours.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    // Process lists, pgrep and pkill know the manager by the name users start it with.
    ::prctl(PR_SET_NAME, "tessaline", 0, 0, 0);
    // The manager's few other threads (the session writer, the diagnostics
    // worker) allocate little and seldom: sharing the main thread's heap
    // keeps an arena of their own, a few hundred KiB touched, out of memory.
    ::mallopt(M_ARENA_MAX, 1);
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
