#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestConnection.h"
#include "XvfbServer.h"
#include "engine/actions/Action.h"
#include "platform/input/KeyTable.h"
#include "platform/x11/input/X11Shortcuts.h"
#include "platform/x11/input/XKeyboard.h"

using namespace tessaline;
using namespace tessaline::xinputtest;
using namespace tessaline::KeyTable;

namespace {

// X keycodes of a PC keyboard.
constexpr std::uint8_t ctrl = 37, alt = 64, shift = 50, numLock = 77, capsLock = 66;
constexpr std::uint8_t keyH = 43, keyJ = 44, left = 113;
constexpr std::uint16_t ctrlAlt = controlMask | mod1Mask;

bool grabChecked(TestConnection& c, std::uint8_t key, std::uint16_t mods) {
    xcb_generic_error_t* error = xcb_request_check(
        c.get(), xcb_grab_key_checked(c.get(), 1, c.root(), mods, key, XCB_GRAB_MODE_ASYNC,
                                      XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return error == nullptr;
}

}  // namespace

TEST(X11ShortcutsTest, ShortcutsFireUnderEveryLockReportATakenComboAndGrabAgainAfterAMappingChange) {
    const std::string& display = xvfbDisplay();
    TestConnection wm(display), other(display), user(display);
    ASSERT_TRUE(grabChecked(other, keyH, ctrlAlt));  // another program holds ⌃⌥H

    std::string error;
    auto keyboard = XKeyboard::create(wm.get(), error);
    ASSERT_TRUE(keyboard) << error;
    EXPECT_EQ(keyboard->numLockMask(), mod2Mask);
    std::vector<int> modifiers;
    keyboard->onModifiers([&](Modifiers m) { modifiers.push_back(m.rawValue); });

    std::vector<std::string> performed;
    {
        X11Shortcuts shortcuts(wm.get(), wm.root(), *keyboard);
        shortcuts.center().handler = [&](Action a) { performed.push_back(toString(a)); };
        shortcuts.center().registerBindings(defaultBindings());
        EXPECT_EQ(shortcuts.center().conflicts(), (std::vector<KeyCombo>{{4, KeyCombo::ctrlOpt}}));
        auto pump = [&] {
            wm.drain([&](const xcb_generic_event_t& e) {
                if (!keyboard->handleEvent(e)) shortcuts.handleEvent(e);
            });
        };

        user.chord({ctrl, alt, left});
        pump();
        EXPECT_EQ(modifiers, (std::vector<int>{1, 3, 1, 0}));
        user.chord({numLock});
        user.chord({ctrl, alt, keyJ});
        user.chord({capsLock});
        user.chord({ctrl, alt, shift, left});
        user.chord({capsLock});
        user.chord({numLock});
        pump();
        EXPECT_EQ(performed, (std::vector<std::string>{"focusLeft", "focusDown", "moveLeft"}));

        // The other program lets go; a keymap change grabs the table again.
        xcb_ungrab_key(other.get(), keyH, other.root(), ctrlAlt);
        other.roundTrip();
        xcb_keysym_t f13 = 0xffca;
        xcb_change_keyboard_mapping(user.get(), 1, 200, 1, &f13);
        user.roundTrip();
        pump();
        EXPECT_TRUE(shortcuts.center().conflicts().empty());
        user.chord({ctrl, alt, keyH});
        pump();
        EXPECT_EQ(performed.back(), "focusLeft");
    }

    // Gone: every key it held is free for others, lock variants included.
    wm.roundTrip();
    for (std::uint16_t locks : {0, int(mod2Mask), int(lockMask), mod2Mask | lockMask}) {
        EXPECT_TRUE(grabChecked(other, left, ctrlAlt | locks)) << locks;
    }
}
