#pragma once
// Stored shortcuts keep macOS virtual key codes (the settings file is the same
// on every system); on Linux each one names the X keycode of the same
// physical key, evdev code + 8 (the A key: macOS 0, evdev 30, X 38).
// Modifiers: command → Super (Mod4), option → Alt (Mod1), control → Control,
// shift → Shift.

#include <cstdint>
#include <optional>

#include "engine/platform/PlatformTypes.h"

namespace tessaline::KeyTable {

// The X core protocol's modifier bits.
inline constexpr std::uint16_t shiftMask = 1 << 0;
inline constexpr std::uint16_t lockMask = 1 << 1;
inline constexpr std::uint16_t controlMask = 1 << 2;
inline constexpr std::uint16_t mod1Mask = 1 << 3;  // Alt
inline constexpr std::uint16_t mod2Mask = 1 << 4;  // NumLock on most keymaps
inline constexpr std::uint16_t mod4Mask = 1 << 6;  // Super

// The X keycode of the key with this macOS virtual key code; absent for a
// key this table does not know.
std::optional<std::uint8_t> xKeycode(std::uint32_t macKeyCode);
// The other way round, for shortcuts recorded on Linux.
std::optional<std::uint32_t> macKeyCode(std::uint8_t xKeycode);

// KeyCombo's modifier mask as X modifier bits; absent when it holds a bit
// other than command, shift, option and control.
std::optional<std::uint16_t> xModifiers(std::uint32_t comboModifiers);
// X modifier state as KeyCombo's mask (other bits, locks included, dropped).
std::uint32_t comboModifiers(std::uint16_t xState);
// X modifier state as the engine's input modifiers.
Modifiers inputModifiers(std::uint16_t xState);

}  // namespace tessaline::KeyTable
