#include "platform/input/XkbKeyNames.h"

#include <memory>
#include <string>

#include "platform/input/KeyTable.h"

namespace tessaline {

namespace {

std::optional<std::string> characterOf(xkb_keymap* keymap, xkb_layout_index_t layout,
                                       std::uint32_t macKeyCode) {
    auto keycode = KeyTable::xKeycode(macKeyCode);
    if (!keycode) return std::nullopt;
    const xkb_keysym_t* syms = nullptr;
    int count = xkb_keymap_key_get_syms_by_level(keymap, *keycode, layout, 0, &syms);
    if (count != 1) return std::nullopt;
    // Upper-cased here because xkbcommon knows the case of every script, where
    // KeyNames itself only knows ASCII.
    char text[16];
    int size = xkb_keysym_to_utf8(xkb_keysym_to_upper(syms[0]), text, sizeof text);
    if (size <= 1) return std::nullopt;  // no character, or only the terminating NUL
    // Control characters (Tab, Return on keys the fixed names miss) are no name.
    if (static_cast<unsigned char>(text[0]) < 0x20 || text[0] == 0x7f) return std::nullopt;
    return std::string(text, static_cast<std::size_t>(size - 1));
}

}  // namespace

KeyNames::Translator xkbKeyNameTranslator(xkb_keymap* keymap, xkb_layout_index_t layout) {
    if (!keymap) return [](std::uint32_t) { return std::optional<std::string>(); };
    std::shared_ptr<xkb_keymap> held(xkb_keymap_ref(keymap), xkb_keymap_unref);
    return [held, layout](std::uint32_t macKeyCode) {
        return characterOf(held.get(), layout, macKeyCode);
    };
}

}  // namespace tessaline
