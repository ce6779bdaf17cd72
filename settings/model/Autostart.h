#pragma once
// "Launch at login": an XDG autostart entry that starts Tessaline with the
// desktop session.

#include <filesystem>
#include <optional>
#include <string>

namespace tessaline::prefs::Autostart {

// "$XDG_CONFIG_HOME/autostart/tessaline.desktop", or under "~/.config" when
// that variable is unset, empty or relative; absent without a home folder.
std::optional<std::filesystem::path> entryPath(const char* xdgConfigHome, const char* home);
std::optional<std::filesystem::path> entryPath();

// The window manager's executable: beside this program when it is there,
// else "tessaline" found on the PATH at login.
std::string managerCommand(const std::filesystem::path& ownExecutable);

// The entry as written, starting `command`.
std::string entryText(const std::string& command);

// Whether the session will start the entry: it exists and is not hidden or
// switched off.
bool enabled(const std::filesystem::path& entry);

// Writes the entry (atomically) or removes it. Absent on success, else why it failed.
std::optional<std::string> setEnabled(const std::filesystem::path& entry, bool on,
                                      const std::string& command);

}  // namespace tessaline::prefs::Autostart
