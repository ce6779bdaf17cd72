#include "engine/actions/KeyCombo.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "engine/actions/KeyNames.h"

namespace tessaline {

namespace {

// Accepts integers, and floats with an integral value (a hand-edited "123.0"),
// that fit in 32 unsigned bits.
std::optional<std::uint32_t> uint32FromJSON(const nlohmann::json& j) {
    constexpr auto max = std::numeric_limits<std::uint32_t>::max();
    if (j.is_number_unsigned()) {
        auto v = j.get<std::uint64_t>();
        if (v <= max) return static_cast<std::uint32_t>(v);
    } else if (j.is_number_integer()) {
        auto v = j.get<std::int64_t>();
        if (v >= 0 && static_cast<std::uint64_t>(v) <= max) return static_cast<std::uint32_t>(v);
    } else if (j.is_number_float()) {
        double v = j.get<double>();
        if (v >= 0 && v <= max && std::trunc(v) == v) return static_cast<std::uint32_t>(v);
    }
    return std::nullopt;
}

}  // namespace

std::string KeyCombo::display() const {
    std::string text;
    if (modifiers & control) text += "⌃";
    if (modifiers & option) text += "⌥";
    if (modifiers & shift) text += "⇧";
    if (modifiers & command) text += "⌘";
    return text + KeyNames::name(keyCode);
}

nlohmann::json toJSON(const KeyCombo& combo) {
    return {{"keyCode", combo.keyCode}, {"modifiers", combo.modifiers}};
}

std::optional<KeyCombo> keyComboFromJSON(const nlohmann::json& j) {
    if (!j.is_object()) return std::nullopt;
    auto code = j.find("keyCode");
    auto mods = j.find("modifiers");
    if (code == j.end() || mods == j.end()) return std::nullopt;
    auto keyCode = uint32FromJSON(*code);
    auto modifiers = uint32FromJSON(*mods);
    if (!keyCode || !modifiers) return std::nullopt;
    return KeyCombo{*keyCode, *modifiers};
}

nlohmann::json toJSON(const Bindings& bindings) {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [name, combos] : bindings) {
        nlohmann::json list = nlohmann::json::array();
        for (const KeyCombo& c : combos) list.push_back(toJSON(c));
        out[name] = std::move(list);
    }
    return out;
}

std::optional<Bindings> bindingsFromJSON(const nlohmann::json& j) {
    if (!j.is_object()) return std::nullopt;
    Bindings bindings;
    for (const auto& [name, list] : j.items()) {
        if (!list.is_array()) return std::nullopt;
        std::vector<KeyCombo> combos;
        combos.reserve(list.size());
        for (const auto& item : list) {
            auto combo = keyComboFromJSON(item);
            if (!combo) return std::nullopt;
            combos.push_back(*combo);
        }
        bindings.emplace(name, std::move(combos));
    }
    return bindings;
}

}  // namespace tessaline
