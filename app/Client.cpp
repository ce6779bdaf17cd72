#include "app/Client.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <string>

#include "engine/actions/Action.h"

namespace tessaline {

namespace {

constexpr std::array<std::string_view, 9> kBuiltIns = {"state", "retile", "settings", "start", "stop",
                                                      "snapshot", "log", "diagnostics", "update"};

constexpr const char* kUsage =
    "Usage: tessaline <command>\n\nCommands:\n  state       Print the current strips as JSON\n"
    "  log         Print the last 10 minutes of Tessaline's log\n"
    "  diagnostics Print a report for a bug report (no window titles)\n"
    "  snapshot    Render the timeline and focus border to PNGs\n"
    "  retile      Re-apply the layout to every window\n  settings    Open the settings window\n"
    "  update      Check for updates\n  start/stop  Resume or pause tiling";

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

}  // namespace

int runClient(std::string_view command) {
    if (command == "help") {
        std::printf("%s\n\nActions:\n", kUsage);
        for (Action action : allActions()) {
            std::printf("  %-18s%s\n", toString(action).c_str(), title(action).c_str());
        }
        std::printf("\nThe same names work as URLs, for example: open tessaline://focusRight\n");
        return 0;
    }
    const std::string name = lower(command);
    const bool builtIn = std::find(kBuiltIns.begin(), kBuiltIns.end(), name) != kBuiltIns.end();
    if (!builtIn && !actionNamed(command)) {
        std::fprintf(stderr, "Unknown command '%.*s'. Try: tessaline help\n", static_cast<int>(command.size()),
                     command.data());
        return 2;
    }
    // No command channel yet: no running manager can be reached.
    std::fprintf(stderr, "Tessaline isn't running.\n");
    return 1;
}

}  // namespace tessaline
