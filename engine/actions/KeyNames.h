#pragma once
// Printable names of keys for the settings window, menus and shortcut labels.
// Key codes are the stored shortcut codes (macOS virtual key codes); a backend
// with a keyboard-layout service plugs in a translator for the keys that the
// fixed table does not name.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tessaline::KeyNames {

// Answers the characters the current keyboard layout produces for a key with
// no modifiers (UTF-8), or absent/empty when the layout gives none.
using Translator = std::function<std::optional<std::string>(std::uint32_t keyCode)>;

// Replaces the layout translator; an empty function removes it.
void setTranslator(Translator translator);

// The name from the fixed table (arrows, Return, Tab, Space, F1-F12, ...), or absent.
std::optional<std::string> fixedName(std::uint32_t keyCode);

// The fixed name; otherwise the translator's characters with ASCII letters
// upper-cased; otherwise "#" followed by the decimal key code.
std::string name(std::uint32_t keyCode);

}  // namespace tessaline::KeyNames
