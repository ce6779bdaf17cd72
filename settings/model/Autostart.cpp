#include "settings/model/Autostart.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/settings/AtomicFile.h"
#include "settings/model/Applications.h"

namespace tessaline::prefs::Autostart {

namespace fs = std::filesystem;

namespace {

// Exec quoting of desktop entries: an argument with reserved characters goes
// in double quotes, with ", `, $ and \ escaped.
std::string quoted(const std::string& argument) {
    if (argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") == std::string::npos) return argument;
    std::string out = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::optional<fs::path> entryPath(const char* xdgConfigHome, const char* home) {
    if (xdgConfigHome && *xdgConfigHome == '/') return fs::path(xdgConfigHome) / "autostart" / "tessaline.desktop";
    if (home && *home) return fs::path(home) / ".config" / "autostart" / "tessaline.desktop";
    return std::nullopt;
}

std::optional<fs::path> entryPath() { return entryPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")); }

std::string managerCommand(const fs::path& ownExecutable) {
    std::error_code ec;
    const fs::path beside = ownExecutable.parent_path() / "tessaline";
    if (!ownExecutable.empty() && fs::is_regular_file(beside, ec)) return beside.string();
    return "tessaline";
}

std::string entryText(const std::string& command) {
    // Exec has its own escaping on top of the quoting: a backslash is doubled
    // once more when the value is read as a string, and % starts a field code.
    std::string exec;
    for (char c : quoted(command)) {
        exec += c;
        if (c == '\\' || c == '%') exec += c;
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tessaline\n"
           "Comment=Scrolling window manager\n"
           "Exec=" + exec + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool enabled(const fs::path& entry) {
    std::ifstream in(entry, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    const std::string body = text.str();
    // Hidden=true is how a session disables an entry; GNOME also has its own key.
    if (!parseDesktopEntry(body, entry.filename().string())) return false;
    return body.find("X-GNOME-Autostart-enabled=false") == std::string::npos;
}

std::optional<std::string> setEnabled(const fs::path& entry, bool on, const std::string& command) {
    if (on) {
        if (writeFileAtomically(entry, entryText(command))) return std::nullopt;
        return "Couldn't write " + entry.string() + ".";
    }
    std::error_code ec;
    fs::remove(entry, ec);
    if (!ec) return std::nullopt;
    return "Couldn't remove " + entry.string() + ": " + ec.message() + ".";
}

}  // namespace tessaline::prefs::Autostart
