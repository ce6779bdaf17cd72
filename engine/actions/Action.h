#pragma once
// Every command a user can give: by shortcut, command line, URL or menu. The
// action's name is the stable word used in the stored shortcut table, on the
// command line and in URLs.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "engine/actions/KeyCombo.h"

namespace tessaline {

enum class Action {
    focusLeft, focusRight, focusUp, focusDown, focusFirst, focusLast,
    focus1, focus2, focus3, focus4, focus5, focus6, focus7, focus8, focus9,
    moveLeft, moveRight, moveUp, moveDown, moveFirst, moveLast,
    moveTo1, moveTo2, moveTo3, moveTo4, moveTo5, moveTo6, moveTo7, moveTo8, moveTo9,
    cycleWidth, fullWidth, centre, wider, narrower, taller, shorter, equalizeHeights,
    stackLeft, stackRight, popOutRight, popOutLeft, toggleTabbed, toggleFloat,
    sendToNextDisplay, toggleTiling, toggleTimeline,
    overview,
};

inline constexpr std::size_t actionCount = 48;

// Every action in declaration order; the settings window and `actionNamed` follow it.
const std::array<Action, actionCount>& allActions();

// The groups of the settings window, in display order.
enum class ActionSection { navigate, move, size, stacks, system };
inline constexpr std::array<ActionSection, 5> allActionSections = {
    ActionSection::navigate, ActionSection::move, ActionSection::size,
    ActionSection::stacks, ActionSection::system};

// "Navigate", "Move", "Size", "Stacks", "System".
std::string toString(ActionSection section);

// The action's name, spelled as its case ("focusLeft", "moveTo3", ...).
std::string toString(Action action);
// Exact, case-sensitive name lookup.
std::optional<Action> actionFromString(std::string_view name);
// Lenient lookup for typed commands: case is ignored and "-" removed, so
// "Move-To-3" finds moveTo3. The first match in `allActions` order wins.
std::optional<Action> actionNamed(std::string_view text);

ActionSection section(Action action);
std::string title(Action action);
// After such an action the strip indicator is flashed.
bool showsStrip(Action action);
// 1-9 for focus1...focus9; absent for every other action.
std::optional<int> jumpIndex(Action action);
// 1-9 for moveTo1...moveTo9; absent for every other action.
std::optional<int> moveIndex(Action action);

// The current default shortcut table (version 3): every action but toggleTimeline.
const Bindings& defaultBindings();
// Earlier default tables, only compared against when upgrading stored shortcuts.
const Bindings& punctuationDefaults();   // version 1
const Bindings& version2SizeDefaults();  // version 2

}  // namespace tessaline
