#include "app/X11Machine.h"

#include <xcb/xcb.h>
// xkb.h names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include "app/shell/XFormats.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowSystem.h"

namespace tessaline {

namespace {

// Atoms only other clients use, looked up without creating them: an atom
// nobody made means nobody published what it names.
xcb_atom_t existingAtom(xcb_connection_t* c, std::string_view name) {
    auto reply = replyTo(xcb_intern_atom_reply, c,
                         xcb_intern_atom(c, 1, static_cast<std::uint16_t>(name.size()), name.data()));
    return reply ? reply->atom : XCB_NONE;
}

std::optional<std::string> propertyBytes(X11Connection& x, xcb_window_t window, xcb_atom_t property) {
    if (property == XCB_NONE) return std::nullopt;
    // Settings daemons publish a few kilobytes; 64 KiB is plenty.
    auto found = x.readProperty(window, property, XCB_GET_PROPERTY_TYPE_ANY, 16384);
    if (!found) return std::nullopt;
    return std::string(found->bytes.begin(), found->bytes.end());
}

// The XKB group in use; 0 when XKB can't say.
std::uint32_t xkbGroup(xcb_connection_t* c) {
    auto use = replyTo(xcb_xkb_use_extension_reply, c,
                       xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION));
    if (!use || !use->supported) return 0;
    auto state = replyTo(xcb_xkb_get_state_reply, c, xcb_xkb_get_state(c, XCB_XKB_ID_USE_CORE_KBD));
    return state ? state->group : 0;
}

}  // namespace

std::string X11Machine::displayName() const { return x_.displayName(); }

std::vector<std::string> X11Machine::displays() const {
    std::vector<std::string> names;
    for (const Display& display : system_.displays()) names.push_back(display.name);
    return names;
}

std::optional<std::string> X11Machine::keyboardLayout() const {
    xcb_connection_t* c = x_.get();
    const auto names = propertyBytes(x_, x_.root(), existingAtom(c, "_XKB_RULES_NAMES"));
    return names ? shell::xkbLayoutName(*names, xkbGroup(c)) : std::nullopt;
}

std::vector<std::string> X11Machine::accessibilitySettings() const {
    // The settings daemon owns the selection and keeps the settings on its window.
    xcb_connection_t* c = x_.get();
    const xcb_atom_t selection = existingAtom(c, "_XSETTINGS_S0");
    if (selection == XCB_NONE) return {};
    auto owner = replyTo(xcb_get_selection_owner_reply, c, xcb_get_selection_owner(c, selection));
    if (!owner || owner->owner == XCB_NONE) return {};
    const auto settings = propertyBytes(x_, owner->owner, existingAtom(c, "_XSETTINGS_SETTINGS"));
    return settings ? shell::xsettingsAccessibility(*settings) : std::vector<std::string>{};
}


}  // namespace tessaline
