#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "engine/actions/Action.h"
#include "engine/actions/KeyCombo.h"
#include "engine/actions/KeyNames.h"

using namespace tessaline;
using nlohmann::json;

namespace {

// Restores the layout translator however a test ends.
struct TranslatorGuard {
    ~TranslatorGuard() { KeyNames::setTranslator(nullptr); }
};

}  // namespace

TEST(ActionTest, NamesAreUniqueAndRoundTripInDeclarationOrder) {
    const auto& all = allActions();
    ASSERT_EQ(all.size(), 48u);
    EXPECT_EQ(toString(all.front()), "focusLeft");
    EXPECT_EQ(toString(all[6]), "focus1");
    EXPECT_EQ(toString(all[29]), "moveTo9");
    EXPECT_EQ(toString(all[40]), "popOutRight");
    EXPECT_EQ(toString(all[46]), "toggleTimeline");
    EXPECT_EQ(toString(all.back()), "overview");

    std::set<std::string> seen;
    for (Action a : all) {
        EXPECT_TRUE(seen.insert(toString(a)).second) << toString(a);
        EXPECT_EQ(actionFromString(toString(a)), a);
    }
    EXPECT_EQ(actionFromString("FocusLeft"), std::nullopt);
    EXPECT_EQ(actionFromString(""), std::nullopt);
}

TEST(ActionTest, LenientLookupIgnoresCaseAndHyphensOnly) {
    EXPECT_EQ(actionNamed("Move-To-3"), Action::moveTo3);
    EXPECT_EQ(actionNamed("FOCUS-LEFT"), Action::focusLeft);
    EXPECT_EQ(actionNamed("toggle-timeline"), Action::toggleTimeline);
    EXPECT_EQ(actionNamed("-overview-"), Action::overview);
    EXPECT_EQ(actionNamed("focus10"), std::nullopt);
    EXPECT_EQ(actionNamed("focus 1"), std::nullopt);
    EXPECT_EQ(actionNamed("focus_left"), std::nullopt);
    EXPECT_EQ(actionNamed(""), std::nullopt);
    EXPECT_EQ(actionNamed("-"), std::nullopt);
}

TEST(ActionTest, IndexesComeOnlyFromNumberedNames) {
    EXPECT_EQ(jumpIndex(Action::focusLeft), std::nullopt);
    EXPECT_EQ(jumpIndex(Action::focus1), 1);
    EXPECT_EQ(jumpIndex(Action::focus9), 9);
    EXPECT_EQ(jumpIndex(Action::moveTo3), std::nullopt);
    EXPECT_EQ(moveIndex(Action::moveLeft), std::nullopt);
    EXPECT_EQ(moveIndex(Action::moveTo1), 1);
    EXPECT_EQ(moveIndex(Action::moveTo9), 9);
    EXPECT_EQ(moveIndex(Action::focus4), std::nullopt);

    int jumps = 0, moves = 0;
    for (Action a : allActions()) {
        jumps += jumpIndex(a).has_value();
        moves += moveIndex(a).has_value();
    }
    EXPECT_EQ(jumps, 9);
    EXPECT_EQ(moves, 9);
}

TEST(ActionTest, SectionsTitlesAndStripFlash) {
    // Sizes of the settings window's groups; overview sits with Navigate.
    std::map<ActionSection, int> perSection;
    for (Action a : allActions()) ++perSection[section(a)];
    EXPECT_EQ(perSection, (std::map<ActionSection, int>{{ActionSection::navigate, 16},
                                                         {ActionSection::move, 15},
                                                         {ActionSection::size, 8},
                                                         {ActionSection::stacks, 6},
                                                         {ActionSection::system, 3}}));
    EXPECT_EQ(section(Action::overview), ActionSection::navigate);
    EXPECT_EQ(section(Action::toggleFloat), ActionSection::stacks);

    std::vector<std::string> sectionNames;
    for (ActionSection s : allActionSections) sectionNames.push_back(toString(s));
    EXPECT_EQ(sectionNames,
              (std::vector<std::string>{"Navigate", "Move", "Size", "Stacks", "System"}));

    EXPECT_EQ(title(Action::focus3), "Jump to column 3");
    EXPECT_EQ(title(Action::moveTo9), "Move column to position 9");
    EXPECT_EQ(title(Action::toggleFloat), "Float / unfloat window");
    EXPECT_EQ(title(Action::overview), "Overview of the whole strip");
    std::set<std::string> titles;
    for (Action a : allActions()) EXPECT_TRUE(titles.insert(title(a)).second) << title(a);

    int flashing = 0;
    for (Action a : allActions()) flashing += showsStrip(a);
    EXPECT_EQ(flashing, 37);
    EXPECT_TRUE(showsStrip(Action::fullWidth));
    EXPECT_TRUE(showsStrip(Action::popOutLeft));
    EXPECT_FALSE(showsStrip(Action::centre));
    EXPECT_FALSE(showsStrip(Action::toggleTabbed));
}

TEST(DefaultBindingsTest, EveryActionButTheTimelineHasAShortcut) {
    const Bindings& table = defaultBindings();
    EXPECT_EQ(table.size(), 47u);
    for (Action a : allActions()) {
        EXPECT_EQ(table.contains(toString(a)), a != Action::toggleTimeline) << toString(a);
    }
    // Arrow key first where an action has two.
    EXPECT_EQ(table.at("focusLeft"),
              (std::vector<KeyCombo>{{123, KeyCombo::ctrlOpt}, {4, KeyCombo::ctrlOpt}}));
    EXPECT_EQ(table.at("moveFirst"), (std::vector<KeyCombo>{{123, KeyCombo::ctrlOptShiftCmd}}));
    EXPECT_EQ(table.at("focus5"), (std::vector<KeyCombo>{{23, KeyCombo::ctrlOpt}}));
    EXPECT_EQ(table.at("focus6"), (std::vector<KeyCombo>{{22, KeyCombo::ctrlOpt}}));
    EXPECT_EQ(table.at("moveTo9"), (std::vector<KeyCombo>{{25, KeyCombo::ctrlOptShift}}));
    EXPECT_EQ(table.at("narrower"), (std::vector<KeyCombo>{{1, KeyCombo::ctrlOpt}}));
}

TEST(DefaultBindingsTest, NoTwoActionsShareAShortcut) {
    std::set<std::pair<std::uint32_t, std::uint32_t>> used;
    for (const auto& [name, combos] : defaultBindings()) {
        EXPECT_TRUE(actionFromString(name).has_value()) << name;
        for (const KeyCombo& c : combos) {
            EXPECT_TRUE(used.insert({c.keyCode, c.modifiers}).second) << name;
        }
    }
}

TEST(DefaultBindingsTest, EarlierTablesNameActionsAndDifferFromTheCurrentOne) {
    EXPECT_EQ(punctuationDefaults().size(), 8u);
    EXPECT_EQ(version2SizeDefaults().size(), 3u);
    for (const Bindings* old : {&punctuationDefaults(), &version2SizeDefaults()}) {
        for (const auto& [name, combos] : *old) {
            EXPECT_TRUE(actionFromString(name).has_value()) << name;
            EXPECT_NE(defaultBindings().at(name), combos) << name;
        }
    }
    EXPECT_EQ(punctuationDefaults().at("popOutLeft"),
              (std::vector<KeyCombo>{{33, KeyCombo::ctrlOptShift}}));
    EXPECT_EQ(version2SizeDefaults().at("taller"), (std::vector<KeyCombo>{{9, KeyCombo::ctrlOpt}}));
}

TEST(KeyComboTest, DisplayListsModifiersInFixedOrder) {
    EXPECT_EQ((KeyCombo{123, 6912}).display(), "⌃⌥⇧⌘←");
    EXPECT_EQ((KeyCombo{49, KeyCombo::command | KeyCombo::control}).display(), "⌃⌘Space");
    EXPECT_EQ((KeyCombo{111, 0}).display(), "F12");
    EXPECT_EQ((KeyCombo{4, KeyCombo::ctrlOpt}).display(), "⌃⌥#4");
}

TEST(KeyComboTest, JSONNeedsBothKeysAsUnsigned32BitNumbers) {
    const KeyCombo combo{123, 6912};
    EXPECT_EQ(toJSON(combo), json::parse(R"({"keyCode":123,"modifiers":6912})"));
    EXPECT_EQ(keyComboFromJSON(toJSON(combo)), combo);
    EXPECT_EQ(keyComboFromJSON(json::parse(R"({"keyCode":4294967295,"modifiers":0})")),
              (KeyCombo{4294967295u, 0}));
    EXPECT_EQ(keyComboFromJSON(json::parse(R"({"keyCode":4.0,"modifiers":256})")),
              (KeyCombo{4, 256}));

    for (const char* bad : {R"({"keyCode":1})", R"({"modifiers":1})", R"({"keyCode":-1,"modifiers":0})",
                            R"({"keyCode":4294967296,"modifiers":0})", R"({"keyCode":1.5,"modifiers":0})",
                            R"({"keyCode":"1","modifiers":0})", R"([1, 2])", "null"}) {
        EXPECT_EQ(keyComboFromJSON(json::parse(bad)), std::nullopt) << bad;
    }
}

TEST(KeyComboTest, BindingsJSONFailsWholeOnOneBadCombo) {
    const Bindings bindings = {{"focusLeft", {{123, 6144}, {4, 6144}}}, {"toggleTimeline", {}},
                               {"notAnAction", {{1, 2}}}};
    EXPECT_EQ(bindingsFromJSON(toJSON(bindings)), bindings);
    EXPECT_EQ(bindingsFromJSON(json::parse(R"({"focusLeft":[{"keyCode":1}]})")), std::nullopt);
    EXPECT_EQ(bindingsFromJSON(json::parse(R"({"focusLeft":{"keyCode":1,"modifiers":0}})")),
              std::nullopt);
    EXPECT_EQ(bindingsFromJSON(json::parse("[]")), std::nullopt);
}

TEST(KeyNamesTest, FixedTableThenLayoutThenCode) {
    TranslatorGuard guard;
    EXPECT_EQ(KeyNames::name(49), "Space");
    EXPECT_EQ(KeyNames::name(53), "⎋");
    EXPECT_EQ(KeyNames::name(121), "⇟");
    EXPECT_EQ(KeyNames::name(50), "#50");

    KeyNames::setTranslator([](std::uint32_t code) -> std::optional<std::string> {
        if (code == 50) return "`";
        if (code == 0) return "a";
        if (code == 12) return "é";
        if (code == 49) return "space";
        if (code == 7) return "";
        if (code == 8) throw std::runtime_error("layout service gone");
        return std::nullopt;
    });
    EXPECT_EQ(KeyNames::name(50), "`");
    EXPECT_EQ(KeyNames::name(0), "A");
    EXPECT_EQ(KeyNames::name(12), "é");       // left to the layout's own case mapping
    EXPECT_EQ(KeyNames::name(49), "Space");   // the fixed table wins whatever the layout
    EXPECT_EQ(KeyNames::name(7), "#7");       // no characters
    EXPECT_EQ(KeyNames::name(8), "#8");       // a failing translator
    EXPECT_EQ(KeyNames::name(99999), "#99999");
    EXPECT_EQ((KeyCombo{0, KeyCombo::ctrlOpt}).display(), "⌃⌥A");

    KeyNames::setTranslator(nullptr);
    EXPECT_EQ(KeyNames::name(0), "#0");
}
