#pragma once
// Starting other programs from the window manager (the settings window, the
// desktop's URL opener) so that they owe it nothing: no child to reap, none of
// its blocked signals, its descriptors or its terminal, and they live on when
// it quits.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::shell {

// The program's path: `name` itself when it holds a "/", else the first
// executable of that name on $PATH. Absent when there is none.
std::optional<std::filesystem::path> findProgram(const std::string& name);

// Starts `program` with `arguments` in a session of its own and returns at
// once; false when it could not be started. `passFd`, when given, is the
// program's fd 3 (every other descriptor but the standard ones is closed).
bool launchDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    int passFd = -1);

// The settings program: $TESSALINE_SETTINGS_PROGRAM when set (empty: none is
// installed), else "tessaline-settings" beside this executable, in the build
// tree beside it, or on $PATH.
std::optional<std::filesystem::path> settingsProgram();

// Opens the settings window with these arguments ("--pane", "about";
// "--welcome"). The program keeps a single window and brings it forward at the
// asked pane when it runs already. False when no settings program is installed.
bool openSettingsWindow(const std::vector<std::string>& arguments);

}  // namespace tessaline::shell
