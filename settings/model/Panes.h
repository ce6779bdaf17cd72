#pragma once
// The settings window's sidebar: its panes in order, with their titles and
// icons, and the names that pick one on the command line.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tessaline::prefs {

enum class SettingsPane { general, layout, appearance, trackpad, shortcuts, rules, displays, setup, about };

inline constexpr std::array<SettingsPane, 9> allPanes = {
    SettingsPane::general,  SettingsPane::layout, SettingsPane::appearance,
    SettingsPane::trackpad, SettingsPane::shortcuts, SettingsPane::rules,
    SettingsPane::displays, SettingsPane::setup, SettingsPane::about};

// "General", "Layout", ... as the sidebar shows them.
std::string title(SettingsPane pane);
// A symbolic icon of the desktop's icon theme.
std::string iconName(SettingsPane pane);
// "general", "layout", ...: the word that opens the window at that pane.
std::string toString(SettingsPane pane);
// Case is ignored and "-" removed, as for commands.
std::optional<SettingsPane> paneFromString(std::string_view text);

}  // namespace tessaline::prefs
