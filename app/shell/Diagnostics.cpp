#include "app/shell/Diagnostics.h"

#include "app/shell/ManagerSide.h"
#include "app/shell/Version.h"
#include "engine/settings/AtomicFile.h"

#include <nlohmann/json.hpp>

namespace tessaline::shell::Diagnostics {

namespace {

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (const auto& part : parts) {
        if (!out.empty()) out += separator;
        out += part;
    }
    return out;
}

// Pretty JSON with sorted keys (the library's objects are sorted maps). A
// string that isn't UTF-8 is shown with replacement characters rather than
// losing the whole section.
std::string pretty(const std::optional<nlohmann::json>& value) {
    if (!value) return "?";
    try {
        return value->dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (...) {
        return "?";
    }
}

}  // namespace

Environment gather(const ManagerSide& manager, const MachineFacts& machine) {
    Environment environment;
    environment.running = manager.running();
    environment.managesDisplay = manager.managesDisplay();
    environment.displayName = machine.displayName();
    environment.system = machine.system();
    environment.displays = machine.displays();
    environment.separateWorkspaces = machine.separateWorkspaces();
    environment.keyboardLayout = machine.keyboardLayout();
    environment.accessibilitySettings = machine.accessibilitySettings();
    return environment;
}

std::vector<std::string> environmentLines(const Environment& e) {
    std::vector<std::string> lines;
    lines.push_back("Tessaline " + std::string(version()) + " (" + std::string(build()) + "), " +
                    (e.running ? "tiling" : "paused") + ", X display " + e.displayName + " " +
                    (e.managesDisplay ? "managed" : "not managed"));
    lines.push_back(e.system.distribution + ", Linux " + e.system.kernel + " on " + e.system.model +
                    ", " + e.system.processor);
    const std::size_t count = e.displays.size();
    std::string displays = std::to_string(count) + " display" + (count == 1 ? "" : "s");
    if (count > 0) displays += " (" + joined(e.displays, ", ") + ")";
    lines.push_back(displays + ", Displays have separate workspaces " +
                    (e.separateWorkspaces ? "on" : "off"));
    lines.push_back("Keyboard " + e.keyboardLayout.value_or("?"));
    lines.push_back("Accessibility settings: " +
                    (e.accessibilitySettings.empty() ? std::string("none")
                                                     : joined(e.accessibilitySettings, ", ")));
    return lines;
}

std::string report(const std::vector<std::string>& environment, const nlohmann::json& state,
                   const Config& config, std::string_view logText) {
    std::vector<std::string> items;
    for (const auto& line : environment) items.push_back("- " + line);
    std::string out = "## Tessaline diagnostics\n\n";
    out += joined(items, "\n");
    out += "\n\n### Settings\n```json\n";
    out += pretty(toJSON(config));
    out += "\n```\n\n### Strips\n```json\n";
    out += pretty(state);
    out += "\n```\n\n### Recent log\n```\n";
    out += logText;
    out += "\n```";
    return out;
}

std::optional<std::filesystem::path> write(std::string_view report,
                                           const std::filesystem::path& cachesFolder) {
    try {
        auto path = cachesFolder / std::filesystem::path(fileName);
        if (!writeFileAtomically(path, report)) return std::nullopt;
        return path;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace tessaline::shell::Diagnostics
