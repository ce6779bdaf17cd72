#pragma once
// What the status icon shows: one of three icons and the menu, rebuilt each
// time it opens. Free of any toolkit or bus, so the tray item only has to
// draw it and report which entry was chosen.

#include "engine/actions/KeyCombo.h"

#include <optional>
#include <string>
#include <vector>

namespace tessaline::shell {

enum class StatusIcon { tiling, paused, needsDisplay };

struct MenuEntry {
    enum class Kind { item, separator };
    // What choosing the entry does: a command word for the command center
    // ("start", "stop", "retile", "overview", "settings", "update"), or one
    // of "startHelp", "welcome", "about", "quit" that the shell handles itself.
    // Empty for the status line and separators.
    Kind kind = Kind::item;
    std::string id;
    std::string title;
    bool enabled = true;
    std::string keyEquivalent;  // "," for Settings, "q" for Quit
    friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};

struct StatusInputs {
    bool managesDisplay = false;
    bool running = false;
    int tiledCount = 0;
    Bindings bindings;  // for the shortcuts shown beside Pause and Overview
};

struct StatusModel {
    StatusIcon icon = StatusIcon::needsDisplay;
    std::vector<MenuEntry> menu;
    // Something the user should know, shown under the status line in the
    // tooltip (a settings file that couldn't be read); empty: nothing.
    std::string notice;
    friend bool operator==(const StatusModel&, const StatusModel&) = default;
};

StatusModel statusModel(const StatusInputs& inputs);

}  // namespace tessaline::shell
