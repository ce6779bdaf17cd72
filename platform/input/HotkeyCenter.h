#pragma once
// The global shortcuts: registers the settings' shortcut table through a
// KeyGrabber, turns a pressed shortcut into its Action, reports the shortcuts
// another program already holds, and lends the Escape key to the timeline and
// the overview while they need it.
//
// Every combo of the table is numbered from 1 in the order of `allActions`
// and, within an action, of its list; a combo that cannot be registered still
// uses its number. Escape always has the number 3676. Each combo is grabbed
// with and without NumLock and CapsLock, so shortcuts work whatever the lock
// lights say; a combo any variant of which another program holds is a
// conflict, and the variants that did succeed are let go again.

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "engine/actions/Action.h"
#include "engine/actions/KeyCombo.h"
#include "platform/input/KeyGrabber.h"

namespace tessaline {

class HotkeyCenter {
public:
    static constexpr std::uint32_t escapeNumber = 3676;

    // The grabber must outlive the centre.
    explicit HotkeyCenter(KeyGrabber& grabber);
    HotkeyCenter(const HotkeyCenter&) = delete;
    HotkeyCenter& operator=(const HotkeyCenter&) = delete;

    // Performs the action of a pressed shortcut.
    std::function<void(Action)> handler;
    // The refused combos, after every registration (settings, diagnostics).
    std::function<void(const std::vector<KeyCombo>&)> onConflicts;

    // Replaces every shortcut grab with the table's; Escape is left alone.
    // Entries whose name is no action are kept but never grabbed.
    void registerBindings(const Bindings& bindings);
    // Lends Escape (no modifiers) to `handler`; grabbed once however often
    // this is called, the newest handler wins. When Escape cannot be grabbed
    // the next call tries again.
    void registerEscape(std::function<void()> handler);
    void releaseEscape();
    // The keyboard mapping changed, and NumLock may sit on another modifier
    // bit: grab the same table, and Escape if it is lent, again.
    void regrab(std::uint16_t numLockMask);
    // Lets go of every key (stopping, quitting); the table is kept for regrab.
    void releaseAll();

    // A grabbed key went down (the key event's keycode and modifier state).
    // False when it is none of ours.
    bool keyPressed(std::uint8_t keycode, std::uint16_t state);
    // Runs the shortcut with this number; unknown numbers do nothing.
    void fire(std::uint32_t number);

    const Bindings& bindings() const { return bindings_; }
    const std::vector<KeyCombo>& conflicts() const { return conflicts_; }
    bool escapeHeld() const { return escapeHeld_; }

private:
    struct Registered {
        std::uint32_t number;
        Action action;
    };

    std::vector<KeyGrab> variants(KeyGrab key) const;
    // Grabs every variant of each key; true for a key whose variants are all
    // held now. The variants of a key that failed are released again.
    std::vector<bool> grabAll(const std::vector<KeyGrab>& keys);
    void releaseShortcuts();
    std::uint16_t lockMasks() const { return numLock_ | capsLock_; }

    KeyGrabber& grabber_;
    std::uint16_t numLock_;
    std::uint16_t capsLock_;
    Bindings bindings_;
    std::map<KeyGrab, Registered> shortcuts_;
    std::vector<KeyCombo> conflicts_;
    bool escapeHeld_ = false;
    std::function<void()> escapeHandler_;
};

}  // namespace tessaline
