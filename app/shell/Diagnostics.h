#pragma once
// The diagnostics report: a Markdown document for bug reports, with the
// environment, the settings, the strips (no window titles) and the recent log.

#include "app/shell/MachineFacts.h"
#include "engine/settings/Config.h"

#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::shell {
class ManagerSide;
}

namespace tessaline::shell::Diagnostics {

// Under the user's caches folder.
inline constexpr std::string_view fileName = "Tessaline/diagnostics.md";

// Everything the environment lines say, gathered on the loop thread.
struct Environment {
    bool running = false;
    bool managesDisplay = false;
    std::string displayName;
    SystemFacts system;
    std::vector<std::string> displays;
    bool separateWorkspaces = true;
    std::optional<std::string> keyboardLayout;
    std::vector<std::string> accessibilitySettings;
};

Environment gather(const ManagerSide& manager, const MachineFacts& machine);

// Version and state; system and processor; displays; keyboard; accessibility.
std::vector<std::string> environmentLines(const Environment& environment);

// The whole report. `state` is the manager's dictionary without titles (with
// "swipe" and "timeline" added); JSON that can't be written shows as "?".
std::string report(const std::vector<std::string>& environment, const nlohmann::json& state,
                   const Config& config, std::string_view logText);

// Replaces fileName under `cachesFolder` atomically; the file's path, absent
// when it couldn't be written.
std::optional<std::filesystem::path> write(std::string_view report,
                                           const std::filesystem::path& cachesFolder);

}  // namespace tessaline::shell::Diagnostics
