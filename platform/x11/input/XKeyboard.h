#pragma once
// The keyboard as XKB describes it: the keymap (for key names and for the
// modifier NumLock sits on) and the modifier state, kept current from XKB's
// state and keymap notifications through xkbcommon.

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/platform/PlatformTypes.h"

namespace tessaline {

class XKeyboard {
public:
    // Absent, with the reason in `error`, when the server has no usable XKB.
    static std::unique_ptr<XKeyboard> create(xcb_connection_t* connection, std::string& error);
    ~XKeyboard();
    XKeyboard(const XKeyboard&) = delete;
    XKeyboard& operator=(const XKeyboard&) = delete;

    // XKB's notifications and the core MappingNotify; false for anything else.
    bool handleEvent(const xcb_generic_event_t& event);

    // The held modifiers as the engine counts them (Control, Alt as option,
    // Super as command, Shift).
    Modifiers modifiers() const { return modifiers_; }
    // The X modifier bits in effect now.
    std::uint16_t state() const;
    // The modifier bit NumLock locks (Mod2 on almost every keymap).
    std::uint16_t numLockMask() const { return numLockMask_; }
    xkb_keymap* keymap() const { return keymap_; }
    // The layout (XKB group) in use.
    xkb_layout_index_t layout() const;

    // Called whenever the engine's set of held modifiers changes.
    void onModifiers(std::function<void(Modifiers)> listener);
    // Called after the keymap was read again (layout switched, keys remapped,
    // another keyboard plugged in).
    void onKeymapChange(std::function<void()> listener);
    // Called when the user switched to another layout of the keymap.
    void onLayoutChange(std::function<void()> listener);

private:
    XKeyboard(xcb_connection_t* connection, xkb_context* context, std::uint8_t firstEvent,
              std::int32_t device);
    bool reload();
    void stateChanged();

    xcb_connection_t* connection_;
    xkb_context* context_;
    std::uint8_t firstEvent_;
    std::int32_t device_;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    Modifiers modifiers_;
    std::uint16_t numLockMask_ = 0;
    std::vector<std::function<void(Modifiers)>> modifierListeners_;
    std::vector<std::function<void()>> keymapListeners_;
    std::vector<std::function<void()>> layoutListeners_;
    xkb_layout_index_t layout_ = 0;
};

}  // namespace tessaline
