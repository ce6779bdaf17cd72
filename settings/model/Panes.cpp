#include "settings/model/Panes.h"

namespace tessaline::prefs {

namespace {

struct PaneInfo {
    const char* name;
    const char* title;
    const char* icon;
};

// "Setup" stands where a Mac has its own setup pane: the checks it shows are
// this system's.
constexpr std::array<PaneInfo, allPanes.size()> infos = {{
    {"general", "General", "emblem-system-symbolic"},
    {"layout", "Layout", "view-dual-symbolic"},
    {"appearance", "Appearance", "preferences-desktop-appearance-symbolic"},
    {"trackpad", "Trackpad & Mouse", "input-touchpad-symbolic"},
    {"shortcuts", "Shortcuts", "input-keyboard-symbolic"},
    {"rules", "Window Rules", "focus-windows-symbolic"},
    {"displays", "Displays", "video-joined-displays-symbolic"},
    {"setup", "Setup", "checkbox-checked-symbolic"},
    {"about", "About", "help-about-symbolic"},
}};

const PaneInfo& info(SettingsPane pane) { return infos[static_cast<std::size_t>(pane)]; }

}  // namespace

std::string title(SettingsPane pane) { return info(pane).title; }
std::string iconName(SettingsPane pane) { return info(pane).icon; }
std::string toString(SettingsPane pane) { return info(pane).name; }

std::optional<SettingsPane> paneFromString(std::string_view text) {
    std::string folded;
    for (char c : text) {
        if (c == '-') continue;
        folded += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (SettingsPane pane : allPanes) {
        if (folded == info(pane).name) return pane;
    }
    return std::nullopt;
}

}  // namespace tessaline::prefs
