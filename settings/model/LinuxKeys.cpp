#include "settings/model/LinuxKeys.h"

#include <array>

#include "engine/actions/KeyNames.h"

namespace tessaline::prefs::LinuxKeys {

namespace {

struct Key {
    std::uint32_t code;    // engine key code
    std::uint32_t evdev;   // Linux input event code
    const char* usName;    // nullptr: named by the engine's fixed table
};

// ANSI positions, plus the ISO key beside the left Shift (code 10).
constexpr Key keys[] = {
    {0, 30, "A"},   {1, 31, "S"},   {2, 32, "D"},   {3, 33, "F"},   {4, 35, "H"},
    {5, 34, "G"},   {6, 44, "Z"},   {7, 45, "X"},   {8, 46, "C"},   {9, 47, "V"},
    {10, 86, "<"},  {11, 48, "B"},  {12, 16, "Q"},  {13, 17, "W"},  {14, 18, "E"},
    {15, 19, "R"},  {16, 21, "Y"},  {17, 20, "T"},  {18, 2, "1"},   {19, 3, "2"},
    {20, 4, "3"},   {21, 5, "4"},   {22, 7, "6"},   {23, 6, "5"},   {24, 13, "="},
    {25, 10, "9"},  {26, 8, "7"},   {27, 12, "-"},  {28, 9, "8"},   {29, 11, "0"},
    {30, 27, "]"},  {31, 24, "O"},  {32, 22, "U"},  {33, 26, "["},  {34, 23, "I"},
    {35, 25, "P"},  {36, 28, nullptr}, {37, 38, "L"}, {38, 36, "J"}, {39, 40, "'"},
    {40, 37, "K"},  {41, 39, ";"},  {42, 43, "\\"}, {43, 51, ","},  {44, 53, "/"},
    {45, 49, "N"},  {46, 50, "M"},  {47, 52, "."},  {48, 15, nullptr}, {49, 57, nullptr},
    {50, 41, "`"},  {51, 14, nullptr}, {53, 1, nullptr},
    {64, 187, "F17"}, {65, 83, "Keypad ."}, {67, 55, "Keypad *"}, {69, 78, "Keypad +"},
    {75, 98, "Keypad /"}, {76, 96, "Keypad Enter"}, {78, 74, "Keypad -"},
    {79, 188, "F18"}, {80, 189, "F19"}, {81, 117, "Keypad ="},
    {82, 82, "Keypad 0"}, {83, 79, "Keypad 1"}, {84, 80, "Keypad 2"}, {85, 81, "Keypad 3"},
    {86, 75, "Keypad 4"}, {87, 76, "Keypad 5"}, {88, 77, "Keypad 6"}, {89, 71, "Keypad 7"},
    {90, 190, "F20"}, {91, 72, "Keypad 8"}, {92, 73, "Keypad 9"},
    {96, 63, nullptr}, {97, 64, nullptr}, {98, 65, nullptr}, {99, 61, nullptr},
    {100, 66, nullptr}, {101, 67, nullptr}, {103, 87, nullptr}, {105, 183, "F13"},
    {106, 186, "F16"}, {107, 184, "F14"}, {109, 68, nullptr}, {111, 88, nullptr},
    {113, 185, "F15"}, {114, 110, "Insert"}, {115, 102, nullptr}, {116, 104, nullptr},
    {117, 111, nullptr}, {118, 62, nullptr}, {119, 107, nullptr}, {120, 60, nullptr},
    {121, 109, nullptr}, {122, 59, nullptr}, {123, 105, nullptr}, {124, 106, nullptr},
    {125, 108, nullptr}, {126, 103, nullptr},
};

constexpr std::uint32_t evdevToX = 8;

const Key* byCode(std::uint32_t code) {
    for (const Key& k : keys) {
        if (k.code == code) return &k;
    }
    return nullptr;
}

}  // namespace

std::optional<std::uint32_t> xKeycode(std::uint32_t keyCode) {
    const Key* k = byCode(keyCode);
    if (!k) return std::nullopt;
    return k->evdev + evdevToX;
}

std::optional<std::uint32_t> keyCodeForX(std::uint32_t x) {
    for (const Key& k : keys) {
        if (k.evdev + evdevToX == x) return k.code;
    }
    return std::nullopt;
}

std::optional<std::string> usName(std::uint32_t keyCode) {
    const Key* k = byCode(keyCode);
    if (!k || !k->usName) return std::nullopt;
    return std::string(k->usName);
}

std::string modifierText(std::uint32_t modifiers) {
    static constexpr std::array<std::pair<std::uint32_t, const char*>, 4> names = {{
        {KeyCombo::control, "Ctrl"},
        {KeyCombo::option, "Alt"},
        {KeyCombo::shift, "Shift"},
        {KeyCombo::command, "Super"},
    }};
    std::string text;
    for (const auto& [bit, name] : names) {
        if (!(modifiers & bit)) continue;
        if (!text.empty()) text += "+";
        text += name;
    }
    return text;
}

std::string display(const KeyCombo& combo) {
    std::string text = modifierText(combo.modifiers);
    return (text.empty() ? text : text + "+") + KeyNames::name(combo.keyCode);
}

bool mayStandAlone(std::uint32_t keyCode) {
    const std::optional<std::string> name = KeyNames::fixedName(keyCode);
    const std::string label = name ? *name : usName(keyCode).value_or("");
    return label.size() >= 2 && label[0] == 'F' && label[1] >= '1' && label[1] <= '9';
}

}  // namespace tessaline::prefs::LinuxKeys
