#include "platform/x11/input/XKeyboard.h"

// xkb.h names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

#include <utility>

#include "engine/log/Log.h"
#include "platform/input/KeyTable.h"

namespace tessaline {

namespace {

constexpr std::uint16_t realModifiers = 0xff;

// XKB keeps NumLock as a virtual modifier mapped onto a real one; locking it
// in a scratch state shows which real bit that is.
std::uint16_t findNumLockMask(xkb_keymap* keymap) {
    xkb_mod_index_t numLock = xkb_keymap_mod_get_index(keymap, "NumLock");
    if (numLock == XKB_MOD_INVALID || numLock >= 32) return KeyTable::mod2Mask;
    xkb_state* scratch = xkb_state_new(keymap);
    if (!scratch) return KeyTable::mod2Mask;
    xkb_state_update_mask(scratch, 0, 0, 1u << numLock, 0, 0, 0);
    auto mask = static_cast<std::uint16_t>(
        xkb_state_serialize_mods(scratch, XKB_STATE_MODS_EFFECTIVE) & realModifiers);
    xkb_state_unref(scratch);
    return mask != 0 ? mask : KeyTable::mod2Mask;
}

}  // namespace

std::unique_ptr<XKeyboard> XKeyboard::create(xcb_connection_t* connection, std::string& error) {
    std::uint8_t firstEvent = 0;
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                     &firstEvent, nullptr)) {
        error = "the X server has no usable XKB extension";
        return nullptr;
    }
    std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (device < 0 || !context) {
        if (context) xkb_context_unref(context);
        error = "no core keyboard";
        return nullptr;
    }
    std::unique_ptr<XKeyboard> keyboard(new XKeyboard(connection, context, firstEvent, device));
    if (!keyboard->reload()) {
        error = "couldn't read the keymap";
        return nullptr;
    }
    keyboard->modifiers_ = KeyTable::inputModifiers(keyboard->state());
    keyboard->layout_ = keyboard->layout();

    constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    constexpr std::uint16_t mapParts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
        XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
        XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    xcb_xkb_select_events(connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, mapParts,
                          mapParts, nullptr);
    return keyboard;
}

XKeyboard::XKeyboard(xcb_connection_t* connection, xkb_context* context, std::uint8_t firstEvent,
                     std::int32_t device)
    : connection_(connection), context_(context), firstEvent_(firstEvent), device_(device) {}

XKeyboard::~XKeyboard() {
    if (state_) xkb_state_unref(state_);
    if (keymap_) xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

bool XKeyboard::reload() {
    xkb_keymap* keymap =
        xkb_x11_keymap_new_from_device(context_, connection_, device_, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return false;
    xkb_state* state = nullptr;
    if (state_) {
        // The server's state now may be ahead of the state notifications
        // still queued; carrying the old state over keeps the modifiers in
        // the order the keys went down.
        state = xkb_state_new(keymap);
        if (state) {
            xkb_state_update_mask(state, xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
                                  xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
                                  xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED),
                                  xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_DEPRESSED),
                                  xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_LATCHED),
                                  xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_LOCKED));
        }
    } else {
        state = xkb_x11_state_new_from_device(keymap, connection_, device_);
    }
    if (!state) {
        xkb_keymap_unref(keymap);
        return false;
    }
    if (state_) xkb_state_unref(state_);
    if (keymap_) xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = state;
    numLockMask_ = findNumLockMask(keymap_);
    return true;
}

bool XKeyboard::handleEvent(const xcb_generic_event_t& event) {
    std::uint8_t type = event.response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        // Core clients (xmodmap) change the mapping this way; XKB follows it.
        const auto& mapping = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
        if (mapping.request == XCB_MAPPING_POINTER) return false;
    } else if (type != firstEvent_) {
        return false;
    }
    if (type == firstEvent_) {
        // Every XKB event carries its kind in the second byte.
        std::uint8_t kind = event.pad0;
        if (kind == XCB_XKB_STATE_NOTIFY) {
            const auto& s = reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event);
            xkb_state_update_mask(state_, s.baseMods, s.latchedMods, s.lockedMods,
                                  static_cast<xkb_layout_index_t>(s.baseGroup),
                                  static_cast<xkb_layout_index_t>(s.latchedGroup), s.lockedGroup);
            stateChanged();
            return true;
        }
        if (kind != XCB_XKB_NEW_KEYBOARD_NOTIFY && kind != XCB_XKB_MAP_NOTIFY) return true;
    }
    if (!reload()) {
        Log::input("couldn't read the new keymap; keeping the old one");
        return true;
    }
    stateChanged();
    for (const auto& listener : keymapListeners_) listener();
    return true;
}

std::uint16_t XKeyboard::state() const {
    return static_cast<std::uint16_t>(xkb_state_serialize_mods(state_, XKB_STATE_MODS_EFFECTIVE) &
                                      realModifiers);
}

xkb_layout_index_t XKeyboard::layout() const {
    return xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE);
}

void XKeyboard::onModifiers(std::function<void(Modifiers)> listener) {
    modifierListeners_.push_back(std::move(listener));
}

void XKeyboard::onKeymapChange(std::function<void()> listener) {
    keymapListeners_.push_back(std::move(listener));
}

void XKeyboard::onLayoutChange(std::function<void()> listener) {
    layoutListeners_.push_back(std::move(listener));
}

void XKeyboard::stateChanged() {
    if (xkb_layout_index_t now = layout(); now != layout_) {
        layout_ = now;
        for (const auto& listener : layoutListeners_) listener();
    }
    Modifiers held = KeyTable::inputModifiers(state());
    if (held == modifiers_) return;
    modifiers_ = held;
    for (const auto& listener : modifierListeners_) listener(held);
}

}  // namespace tessaline
