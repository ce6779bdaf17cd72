#pragma once
// One global shortcut: a key code and the hot-key service's modifier mask.
// These masks are not the engine's input `Modifiers` bits; the two never mix.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

namespace tessaline {

struct KeyCombo {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;

    static constexpr std::uint32_t command = 0x100;
    static constexpr std::uint32_t shift = 0x200;
    static constexpr std::uint32_t option = 0x800;
    static constexpr std::uint32_t control = 0x1000;

    static constexpr std::uint32_t ctrlOpt = control | option;                        // 6144
    static constexpr std::uint32_t ctrlOptShift = control | option | shift;           // 6656
    static constexpr std::uint32_t ctrlOptCmd = control | option | command;           // 6400
    static constexpr std::uint32_t ctrlOptShiftCmd = control | option | shift | command;  // 6912

    // "⌃⌥⇧⌘" for the bits that are set, in that order, then the key's name.
    std::string display() const;

    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;
};

// Shortcuts by action name; an action may have several combos or none.
using Bindings = std::map<std::string, std::vector<KeyCombo>>;

// {"keyCode": n, "modifiers": n}; both keys are required and must be
// unsigned 32-bit integers.
nlohmann::json toJSON(const KeyCombo& combo);
std::optional<KeyCombo> keyComboFromJSON(const nlohmann::json& j);

// An object of action name -> array of combos. Reading fails as a whole when
// any entry is not an array of valid combos.
nlohmann::json toJSON(const Bindings& bindings);
std::optional<Bindings> bindingsFromJSON(const nlohmann::json& j);

}  // namespace tessaline

template <>
struct std::hash<tessaline::KeyCombo> {
    std::size_t operator()(const tessaline::KeyCombo& c) const noexcept {
        return std::hash<std::uint64_t>{}((std::uint64_t{c.keyCode} << 32) | c.modifiers);
    }
};
