#include "engine/actions/KeyNames.h"

#include <utility>

namespace tessaline::KeyNames {

namespace {

struct Entry {
    std::uint32_t code;
    const char* name;
};

constexpr Entry fixedTable[] = {
    {123, "←"},     {124, "→"},     {126, "↑"},    {125, "↓"},    {36, "↩"},
    {48, "⇥"},      {49, "Space"},  {51, "⌫"},     {117, "⌦"},    {53, "⎋"},
    {115, "↖"},     {119, "↘"},     {116, "⇞"},    {121, "⇟"},    {122, "F1"},
    {120, "F2"},    {99, "F3"},     {118, "F4"},   {96, "F5"},    {97, "F6"},
    {98, "F7"},     {100, "F8"},    {101, "F9"},   {109, "F10"},  {103, "F11"},
    {111, "F12"},
};

Translator& translatorSlot() {
    static Translator slot;
    return slot;
}

// Only ASCII is upper-cased here: other scripts need the layout's own case
// mapping, which a translator can apply before answering.
std::string upperASCII(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

void setTranslator(Translator translator) { translatorSlot() = std::move(translator); }

std::optional<std::string> fixedName(std::uint32_t keyCode) {
    for (const Entry& e : fixedTable) {
        if (e.code == keyCode) return std::string(e.name);
    }
    return std::nullopt;
}

std::string name(std::uint32_t keyCode) {
    if (auto fixed = fixedName(keyCode)) return *fixed;
    if (const Translator& translate = translatorSlot()) {
        std::optional<std::string> chars;
        try {
            chars = translate(keyCode);
        } catch (...) {
            // A failing layout service must not take the settings window down.
            chars.reset();
        }
        if (chars && !chars->empty()) return upperASCII(std::move(*chars));
    }
    return "#" + std::to_string(keyCode);
}

}  // namespace tessaline::KeyNames
