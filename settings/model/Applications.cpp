#include "settings/model/Applications.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace tessaline::prefs {

namespace fs = std::filesystem;

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The escapes of desktop-entry string values.
std::string unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default: out += '\\'; out += value[i]; break;
        }
    }
    return out;
}

std::optional<std::string> readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<fs::path> splitFolders(const char* list) {
    std::vector<fs::path> folders;
    std::string_view rest = list ? list : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view part = rest.substr(0, colon);
        // Relative entries are ignored, as for the other base-directory variables.
        if (!part.empty() && part.front() == '/') folders.emplace_back(part);
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    }
    return folders;
}

}  // namespace

std::optional<AppEntry> parseDesktopEntry(std::string_view text, std::string_view desktopID) {
    bool inMain = false;
    bool sawMain = false;
    std::string type, name, icon, wmClass;
    bool hidden = false, noDisplay = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inMain = line == "[Desktop Entry]";
            sawMain = sawMain || inMain;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inMain || eq == std::string_view::npos) continue;
        const std::string_view key = trim(line.substr(0, eq));
        const std::string value = unescape(trim(line.substr(eq + 1)));
        if (key == "Type") type = value;
        else if (key == "Name") name = value;
        else if (key == "Icon") icon = value;
        else if (key == "StartupWMClass") wmClass = value;
        else if (key == "Hidden") hidden = value == "true";
        else if (key == "NoDisplay") noDisplay = value == "true";
    }
    if (!sawMain || type != "Application" || hidden || name.empty()) return std::nullopt;

    std::string id(desktopID);
    std::string stem = id.ends_with(".desktop") ? id.substr(0, id.size() - 8) : id;
    if (wmClass.empty() && stem.empty()) return std::nullopt;
    return AppEntry{wmClass.empty() ? stem : wmClass, name, icon, id, !noDisplay};
}

std::optional<AppEntry> readDesktopFile(const fs::path& file) {
    const std::optional<std::string> text = readText(file);
    if (!text) return std::nullopt;
    return parseDesktopEntry(*text, file.filename().string());
}

std::vector<fs::path> applicationFolders(const char* xdgDataHome, const char* xdgDataDirs,
                                         const char* home) {
    std::vector<fs::path> folders;
    if (xdgDataHome && *xdgDataHome == '/') folders.push_back(fs::path(xdgDataHome) / "applications");
    else if (home && *home) folders.push_back(fs::path(home) / ".local/share/applications");
    std::vector<fs::path> system = splitFolders(xdgDataDirs);
    if (system.empty()) system = {"/usr/local/share", "/usr/share"};
    for (const fs::path& folder : system) folders.push_back(folder / "applications");
    return folders;
}

std::vector<fs::path> applicationFolders() {
    return applicationFolders(std::getenv("XDG_DATA_HOME"), std::getenv("XDG_DATA_DIRS"),
                              std::getenv("HOME"));
}

std::vector<AppEntry> installedApplications(const std::vector<fs::path>& folders) {
    std::set<std::string> seen;
    std::vector<AppEntry> apps;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const fs::path& file = it->path();
            if (file.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
            // A file in a subfolder has the folder names, joined by "-", in its ID.
            std::string id = fs::relative(file, folder, ec).string();
            std::replace(id.begin(), id.end(), '/', '-');
            // The first folder decides, even when its entry is hidden: that is how
            // a user hides a system application.
            if (!seen.insert(id).second) continue;
            const std::optional<std::string> text = readText(file);
            if (!text) continue;
            std::optional<AppEntry> entry = parseDesktopEntry(*text, id);
            if (entry && entry->listed) apps.push_back(std::move(*entry));
        }
    }
    std::stable_sort(apps.begin(), apps.end(), [](const AppEntry& a, const AppEntry& b) { return a.name < b.name; });
    return apps;
}

AppEntry describeApp(const std::string& bundleID, const std::vector<RunningApp>& running,
                     const std::vector<AppEntry>& installed) {
    for (const RunningApp& app : running) {
        if (app.bundleID == bundleID) return {bundleID, app.name, app.icon, {}, true};
    }
    for (const AppEntry& app : installed) {
        if (app.bundleID == bundleID) return app;
    }
    return {bundleID, bundleID, {}, {}, true};
}

}  // namespace tessaline::prefs
