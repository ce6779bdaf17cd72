#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <string>

#include "engine/actions/KeyCombo.h"
#include "engine/actions/KeyNames.h"
#include "platform/input/KeyTable.h"
#include "platform/input/XkbKeyNames.h"

using namespace tessaline;

namespace {

using Keymap = std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)>;

// Compiled from the installed layout files, without any X server.
Keymap compileKeymap(const char* layout) {
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), xkb_context_unref);
    xkb_rule_names names{"evdev", "pc105", layout, "", ""};
    return Keymap(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS),
                  xkb_keymap_unref);
}

std::string nameOf(xkb_keysym_t sym) {
    char name[64];
    xkb_keysym_get_name(sym, name, sizeof name);
    return name;
}

std::string keysymName(xkb_keymap* keymap, std::uint32_t macKeyCode) {
    auto keycode = KeyTable::xKeycode(macKeyCode);
    if (!keycode) return "no key";
    const xkb_keysym_t* syms = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap, *keycode, 0, 0, &syms) != 1) return "no symbol";
    return nameOf(syms[0]);
}

struct TranslatorGuard {
    ~TranslatorGuard() { KeyNames::setTranslator(nullptr); }
};

}  // namespace

// The US layout's evdev keycodes are an independent account of where each key
// sits, so the table is checked against it rather than against itself.
TEST(KeyTableTest, EveryMacKeyLandsOnTheSamePhysicalKeyOfAUSKeyboardAndIsNamedByTheLayoutInUse) {
    Keymap us = compileKeymap("us");
    ASSERT_TRUE(us);

    // The ANSI legends by macOS code; '?' where the key prints nothing.
    const std::string legends = "asdfhgzxcv?bqweryt123465=97-80]ou[ip?lj'k;\\,/nm.??`";
    for (std::uint32_t code = 0; code < legends.size(); ++code) {
        if (legends[code] == '?') continue;
        EXPECT_EQ(keysymName(us.get(), code), nameOf(xkb_utf32_to_keysym(legends[code])))
            << "macOS key " << code;
    }

    const std::pair<std::uint32_t, const char*> named[] = {
        {123, "Left"},   {124, "Right"},  {126, "Up"},     {125, "Down"},   {36, "Return"},
        {48, "Tab"},     {49, "space"},   {51, "BackSpace"}, {117, "Delete"}, {53, "Escape"},
        {115, "Home"},   {119, "End"},    {116, "Prior"},  {121, "Next"},   {122, "F1"},
        {120, "F2"},     {99, "F3"},      {118, "F4"},     {96, "F5"},      {97, "F6"},
        {98, "F7"},      {100, "F8"},     {101, "F9"},     {109, "F10"},    {103, "F11"},
        {111, "F12"},    {0x37, "Super_L"}, {0x3A, "Alt_L"}, {0x3B, "Control_L"}, {0x38, "Shift_L"},
    };
    for (auto [code, name] : named) EXPECT_EQ(keysymName(us.get(), code), name) << code;

    for (std::uint32_t code = 0; code < 128; ++code) {
        if (auto x = KeyTable::xKeycode(code)) {
            EXPECT_EQ(KeyTable::macKeyCode(*x), code);
        }
    }
    EXPECT_EQ(KeyTable::xKeycode(0x3F), std::nullopt);  // Fn has no PC counterpart

    using namespace KeyTable;
    EXPECT_EQ(xModifiers(KeyCombo::ctrlOptShiftCmd), controlMask | mod1Mask | shiftMask | mod4Mask);
    EXPECT_EQ(xModifiers(KeyCombo::ctrlOpt), controlMask | mod1Mask);
    EXPECT_EQ(xModifiers(KeyCombo::ctrlOpt | 0x10000), std::nullopt);  // caps lock as a modifier
    EXPECT_EQ(comboModifiers(controlMask | mod1Mask | lockMask | mod2Mask), KeyCombo::ctrlOpt);
    EXPECT_EQ(inputModifiers(controlMask | mod4Mask | lockMask), Modifiers::control | Modifiers::command);

    // Printable keys are named by the layout in use.
    TranslatorGuard guard;
    Keymap de = compileKeymap("de");
    ASSERT_TRUE(de);

    struct Case {
        xkb_keymap* keymap;
        std::uint32_t code;
        const char* name;
    } cases[] = {
        {us.get(), 0, "A"},     {us.get(), 41, ";"},    {us.get(), 50, "`"},
        {us.get(), 49, "Space"}, {us.get(), 123, "←"},  {us.get(), 0x3F, "#63"},
        {de.get(), 6, "Y"},     {de.get(), 16, "Z"},    {de.get(), 41, "Ö"},
        {de.get(), 33, "Ü"},    {de.get(), 50, "#50"},  // a dead key prints nothing
        {de.get(), 49, "Space"}, {de.get(), 36, "↩"},
        {nullptr, 0, "#0"},
    };
    for (const Case& c : cases) {
        KeyNames::setTranslator(xkbKeyNameTranslator(c.keymap));
        EXPECT_EQ(KeyNames::name(c.code), c.name) << c.code;
    }
}

