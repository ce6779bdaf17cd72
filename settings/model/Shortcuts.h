#pragma once
// The Shortcuts pane: the actions grouped by section, their shortcuts, the
// recorder that adds one, and the edits it makes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/actions/Action.h"
#include "engine/settings/Config.h"

namespace tessaline::prefs {

struct ShortcutRow {
    Action action;
    std::string title;
    std::vector<KeyCombo> combos;
};

struct ShortcutGroup {
    ActionSection section;
    std::string title;
    std::vector<ShortcutRow> rows;
};

// The sections in their order, each with its actions in declaration order.
std::vector<ShortcutGroup> shortcutGroups(const Config& config);

// The first shortcut of an action, when it has one.
std::optional<KeyCombo> firstShortcut(const Config& config, Action action);
// The other actions that a combo is also bound to, in declaration order.
std::vector<Action> otherActionsUsing(const Config& config, Action action, const KeyCombo& combo);

bool removeShortcut(Config& config, Action action, std::size_t index);
// Appends a combo to an action's list; an action never lists a combo twice.
bool appendShortcut(Config& config, Action action, const KeyCombo& combo);
// Puts back the current default table, entries for unknown names included.
bool restoreDefaultShortcuts(Config& config);

// Turns an action's row into a recorder: the next key with its modifiers
// becomes a new shortcut, Escape gives up.
class ShortcutRecorder {
public:
    struct Press {
        std::uint32_t keyCode = 0;    // engine key code; absent keys cannot be recorded
        std::uint32_t modifiers = 0;  // KeyCombo masks
        bool modifierKey = false;     // the key itself is Shift, Control, Alt, Super...
    };

    enum class Outcome {
        ignored,    // still recording: a modifier alone, or a key that needs a modifier
        cancelled,  // Escape
        recorded,
    };

    struct Result {
        Outcome outcome = Outcome::ignored;
        std::optional<Action> action;  // the action recorded for, with `recorded`
        KeyCombo combo;
    };

    void begin(Action action) { recording_ = action; }
    void cancel() { recording_.reset(); }
    const std::optional<Action>& recording() const { return recording_; }

    // A key went down while the window has the keyboard. Presses while not
    // recording are ignored.
    Result press(const Press& press);

private:
    std::optional<Action> recording_;
};

}  // namespace tessaline::prefs
