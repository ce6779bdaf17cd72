#pragma once
// Names of printable keys in the keyboard layout in use, for KeyNames: the
// stored (macOS) key code goes to its X keycode through KeyTable, and the
// layout's character for that key without modifiers is upper-cased. Keys
// without a character there (dead keys among them) get no name, so KeyNames
// falls back to "#" and the code.

#include <xkbcommon/xkbcommon.h>

#include "engine/actions/KeyNames.h"

namespace tessaline {

// A translator over `layout` of `keymap`; it keeps its own reference to the
// keymap. A null keymap gives a translator that never names anything.
KeyNames::Translator xkbKeyNameTranslator(xkb_keymap* keymap, xkb_layout_index_t layout = 0);

}  // namespace tessaline
