#pragma once
// Installed applications, read from their desktop entries, for the rules
// pane's chooser and for naming the application of a rule.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/model/Status.h"

namespace tessaline::prefs {

struct AppEntry {
    std::string bundleID;   // the class its windows carry
    std::string name;
    std::string icon;       // icon name or absolute path; may be empty
    std::string desktopID;  // "org.gnome.Calculator.desktop"
    bool listed = true;     // false: NoDisplay, kept out of menus
    friend bool operator==(const AppEntry&, const AppEntry&) = default;
};

// An application's entry from the text of its desktop file. Rules are keyed by
// the windows' class, so the entry's StartupWMClass is taken when it gives
// one, else the desktop ID without ".desktop" (the convention most programs
// follow for their class). Absent for hidden entries, non-applications and
// text that is no desktop entry.
std::optional<AppEntry> parseDesktopEntry(std::string_view text, std::string_view desktopID);
std::optional<AppEntry> readDesktopFile(const std::filesystem::path& file);

// "$XDG_DATA_HOME/applications" then each "$XDG_DATA_DIRS/applications", with
// the base-directory defaults for unset or empty variables.
std::vector<std::filesystem::path> applicationFolders(const char* xdgDataHome, const char* xdgDataDirs,
                                                      const char* home);
std::vector<std::filesystem::path> applicationFolders();

// Every listed application in those folders, an earlier folder's entry hiding
// a later one with the same desktop ID; sorted by name.
std::vector<AppEntry> installedApplications(const std::vector<std::filesystem::path>& folders);

// A name and icon for a rule's application: a running application of that
// class first, then an installed one, else the class itself.
AppEntry describeApp(const std::string& bundleID, const std::vector<RunningApp>& running,
                     const std::vector<AppEntry>& installed);

}  // namespace tessaline::prefs
