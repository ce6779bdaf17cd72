#pragma once
// The keyboard as the settings window sees it on Linux: which X key a stored
// key code stands for, and how a shortcut is written.
//
// Stored shortcuts keep the engine's key codes (the Mac's numbering of
// physical keys), so the same settings file means the same keys everywhere.
// This file is the window's own small copy of the translation until the
// input layer's key table can be shared; nothing else in the window knows key
// numbers.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/actions/KeyCombo.h"

namespace tessaline::prefs::LinuxKeys {

// The X key code (the evdev code + 8) of the physical key behind an engine key code.
std::optional<std::uint32_t> xKeycode(std::uint32_t keyCode);
// The engine key code of an X key code; absent for keys the table lacks.
std::optional<std::uint32_t> keyCodeForX(std::uint32_t xKeycode);

// The key's label on a US keyboard ("R", "=", "Keypad 5"), absent for keys
// the engine's fixed names already cover and for unknown keys.
std::optional<std::string> usName(std::uint32_t keyCode);

// Modifiers as Linux names them, in the engine's order (control, option,
// shift, command): "Ctrl+Alt+Shift+Super". Empty for no modifier.
std::string modifierText(std::uint32_t modifiers);
// "Ctrl+Alt+R": the modifiers, then the key's name (KeyNames).
std::string display(const KeyCombo& combo);

// Keys that a shortcut may use without a modifier: the function keys. Any
// other key grabbed on its own would stop it from typing in every program.
bool mayStandAlone(std::uint32_t keyCode);

}  // namespace tessaline::prefs::LinuxKeys
