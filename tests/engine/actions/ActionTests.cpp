#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "engine/actions/Action.h"
#include "engine/actions/KeyCombo.h"
#include "engine/actions/KeyNames.h"

using namespace tessaline;
using nlohmann::json;

TEST(ActionTest, NamesAndTitlesAreUniqueAndNamesReadBackStrictlyOrLeniently) {
    std::set<std::string> names, titles;
    int jumps = 0, moves = 0;
    for (Action a : allActions()) {
        EXPECT_TRUE(names.insert(toString(a)).second) << toString(a);
        EXPECT_TRUE(titles.insert(title(a)).second) << title(a);
        EXPECT_EQ(actionFromString(toString(a)), a);
        jumps += jumpIndex(a).has_value();
        moves += moveIndex(a).has_value();
    }
    EXPECT_EQ(jumps, 9);
    EXPECT_EQ(moves, 9);
    EXPECT_EQ(jumpIndex(Action::focus9), 9);
    EXPECT_EQ(jumpIndex(Action::moveTo3), std::nullopt);
    EXPECT_EQ(moveIndex(Action::moveTo1), 1);
    EXPECT_EQ(moveIndex(Action::focus4), std::nullopt);
    EXPECT_EQ(actionFromString("FocusLeft"), std::nullopt);
    EXPECT_EQ(actionFromString(""), std::nullopt);
    // Leniently: case and hyphens are ignored, nothing else.
    EXPECT_EQ(actionNamed("Move-To-3"), Action::moveTo3);
    EXPECT_EQ(actionNamed("FOCUS-LEFT"), Action::focusLeft);
    EXPECT_EQ(actionNamed("-overview-"), Action::overview);
    for (const char* bad : {"focus10", "focus 1", "focus_left", "", "-"}) EXPECT_EQ(actionNamed(bad), std::nullopt) << bad;
    EXPECT_EQ(title(Action::focus3), "Jump to column 3");
    EXPECT_EQ(section(Action::overview), ActionSection::navigate);
    EXPECT_FALSE(showsStrip(Action::centre));
    EXPECT_TRUE(showsStrip(Action::popOutLeft));
}

TEST(ActionTest, EveryActionButTheTimelineHasItsOwnDefaultShortcut) {
    const Bindings& table = defaultBindings();
    for (Action a : allActions()) EXPECT_EQ(table.contains(toString(a)), a != Action::toggleTimeline) << toString(a);
    std::set<std::pair<std::uint32_t, std::uint32_t>> used;
    for (const auto& [name, combos] : table) {
        EXPECT_TRUE(actionFromString(name).has_value()) << name;
        for (const KeyCombo& c : combos) EXPECT_TRUE(used.insert({c.keyCode, c.modifiers}).second) << name;
    }
    // Earlier default tables name actions and differ from the current one.
    for (const Bindings* old : {&punctuationDefaults(), &version2SizeDefaults()}) {
        for (const auto& [name, combos] : *old) EXPECT_NE(table.at(name), combos) << name;
    }
}

TEST(ActionTest, KeyCombosShowModifiersInFixedOrderAndReadBackOnlyWhole) {
    EXPECT_EQ((KeyCombo{123, 6912}).display(), "⌃⌥⇧⌘←");
    EXPECT_EQ((KeyCombo{49, KeyCombo::command | KeyCombo::control}).display(), "⌃⌘Space");
    EXPECT_EQ((KeyCombo{111, 0}).display(), "F12");
    EXPECT_EQ((KeyCombo{4, KeyCombo::ctrlOpt}).display(), "⌃⌥#4");

    const KeyCombo combo{123, 6912};
    EXPECT_EQ(toJSON(combo), json::parse(R"({"keyCode":123,"modifiers":6912})"));
    EXPECT_EQ(keyComboFromJSON(toJSON(combo)), combo);
    EXPECT_EQ(keyComboFromJSON(json::parse(R"({"keyCode":4294967295,"modifiers":0})")), (KeyCombo{4294967295u, 0}));
    EXPECT_EQ(keyComboFromJSON(json::parse(R"({"keyCode":4.0,"modifiers":256})")), (KeyCombo{4, 256}));
    for (const char* bad : {R"({"keyCode":1})", R"({"modifiers":1})", R"({"keyCode":-1,"modifiers":0})",
                            R"({"keyCode":4294967296,"modifiers":0})", R"({"keyCode":1.5,"modifiers":0})",
                            R"({"keyCode":"1","modifiers":0})", R"([1, 2])", "null"}) {
        EXPECT_EQ(keyComboFromJSON(json::parse(bad)), std::nullopt) << bad;
    }
    // One bad combo fails a whole table; unknown names are kept.
    const Bindings bindings = {{"focusLeft", {{123, 6144}, {4, 6144}}}, {"toggleTimeline", {}}, {"notAnAction", {{1, 2}}}};
    EXPECT_EQ(bindingsFromJSON(toJSON(bindings)), bindings);
    for (const char* bad : {R"({"focusLeft":[{"keyCode":1}]})", R"({"focusLeft":{"keyCode":1,"modifiers":0}})", "[]"}) {
        EXPECT_EQ(bindingsFromJSON(json::parse(bad)), std::nullopt) << bad;
    }
}

TEST(ActionTest, KeysAreNamedByTheFixedTableThenTheLayoutThenTheirCode) {
    struct Restore {
        ~Restore() { KeyNames::setTranslator(nullptr); }
    } restore;
    EXPECT_EQ(KeyNames::name(49), "Space");
    EXPECT_EQ(KeyNames::name(53), "⎋");
    EXPECT_EQ(KeyNames::name(50), "#50");
    KeyNames::setTranslator([](std::uint32_t code) -> std::optional<std::string> {
        switch (code) {
            case 50: return "`";
            case 0: return "a";
            case 12: return "é";
            case 49: return "space";
            case 7: return "";
            case 8: throw std::runtime_error("layout service gone");
            default: return std::nullopt;
        }
    });
    EXPECT_EQ(KeyNames::name(50), "`");
    EXPECT_EQ(KeyNames::name(0), "A");
    EXPECT_EQ(KeyNames::name(12), "é");      // left to the layout's own case mapping
    EXPECT_EQ(KeyNames::name(49), "Space");  // the fixed table wins whatever the layout
    EXPECT_EQ(KeyNames::name(7), "#7");      // no characters
    EXPECT_EQ(KeyNames::name(8), "#8");      // a failing translator
    EXPECT_EQ(KeyNames::name(99999), "#99999");
    EXPECT_EQ((KeyCombo{0, KeyCombo::ctrlOpt}).display(), "⌃⌥A");
    KeyNames::setTranslator(nullptr);
    EXPECT_EQ(KeyNames::name(0), "#0");
}
