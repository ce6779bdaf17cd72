#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/settings/Config.h"

using namespace tessaline;
using nlohmann::json;

namespace {

Config decoded(const char* text) {
    auto config = decodeConfig(text);
    EXPECT_TRUE(config.has_value()) << text;
    return config.value_or(Config{});
}

Config unusualConfig() {
    Config c;
    c.gap = 4.5;
    c.defaultWidth = 0.6;
    c.presetWidths = {0.25, 1.0 / 3.0, 0.75};
    c.centreMode = CentreMode::always;
    c.animate = false;
    c.animationDuration = 0.1;
    c.focusBorder = true;
    c.borderWidth = 1;
    c.borderColor = {1, 0.5, 0, 0.75};
    c.borderRadius = 12;
    c.dimInactive = true;
    c.dimAmount = 0.4;
    c.stripIndicator = StripIndicator::minimap;
    c.stripIndicatorAlways = true;
    c.overviewPreviews = true;
    c.timelineOnModifiers = false;
    c.timelineLabels = TimelineLabels::windowTitle;
    c.timelineLook = TimelineLook::glass;
    c.swipeEnabled = false;
    c.swipeFingers = 4;
    c.swipeSensitivity = 1.5;
    c.chordScroll = false;
    c.focusFollowsMouse = true;
    c.mouseFollowsFocus = true;
    c.appRules = {{"com.example.a", true, std::nullopt, AppRule::Placement::end},
                  {"com.example.b", false, 0.8, AppRule::Placement::start}};
    c.disabledDisplays = {"37D8832A-2D66-02CA-B9F7-8F30A301B230"};
    c.bindings["focusLeft"] = {{4, KeyCombo::command}};
    c.bindings["toggleTimeline"] = {{17, KeyCombo::ctrlOptCmd}};
    c.hasCompletedOnboarding = true;
    c.detailedLogging = true;
    return c;
}

}  // namespace

TEST(ConfigTest, DefaultsAndDerivedValues) {
    Config c;
    EXPECT_EQ(c.presetWidths, (std::vector<double>{1.0 / 3.0, 0.5, 2.0 / 3.0}));
    EXPECT_EQ(c.centreMode, CentreMode::onOverflow);
    EXPECT_EQ(c.borderColor, (RGBA{0.25, 0.56, 1.0, 1.0}));
    EXPECT_EQ(c.bindings, defaultBindings());
    EXPECT_EQ(c.bindingsVersion, 3);
    EXPECT_EQ(c.layout(), (LayoutConfig{10.0, CentreMode::onOverflow, 26.0}));

    c.gap = 6;
    c.centreMode = CentreMode::never;
    EXPECT_EQ(c.layout(), (LayoutConfig{6.0, CentreMode::never, 26.0}));

    c.appRules = {{"com.a", false, 0.7, AppRule::Placement::start},
                  {"com.b", true, std::nullopt, AppRule::Placement::besideFocus},
                  {"com.a", true, std::nullopt, AppRule::Placement::end},
                  {"com.c", true, std::nullopt, AppRule::Placement::end}};
    EXPECT_EQ(c.rule("com.a")->width, 0.7);  // the first rule for the identifier
    EXPECT_EQ(c.rule("COM.A"), std::nullopt);
    EXPECT_EQ(c.rule("com"), std::nullopt);
    EXPECT_EQ(c.floatingApps(), (std::set<std::string>{"com.a", "com.b", "com.c"}));
}

TEST(ConfigJSONTest, EncodesEveryFieldUnderItsNameAndRoundTrips) {
    const Config c = unusualConfig();
    const json j = toJSON(c).value();
    EXPECT_EQ(j.size(), 30u);
    EXPECT_EQ(j["centreMode"], "always");
    EXPECT_EQ(j["timelineLook"], "glass");
    EXPECT_EQ(j["appRules"][0], json::parse(R"({"bundleID":"com.example.a","float":true,"placement":"end"})"));
    EXPECT_EQ(j["appRules"][1]["width"], 0.8);
    EXPECT_EQ(j["bindings"]["focusLeft"], json::parse(R"([{"keyCode":4,"modifiers":256}])"));
    EXPECT_FALSE(j.contains("minimap"));
    EXPECT_FALSE(j.contains("floatingApps"));

    EXPECT_EQ(configFromJSON(j), c);
    EXPECT_EQ(decodeConfig(encodeConfig(c).value()), c);

    // An absent radius is left out rather than written as null.
    const json plain = toJSON(Config{}).value();
    EXPECT_EQ(plain.size(), 29u);
    EXPECT_FALSE(plain.contains("borderRadius"));
    EXPECT_EQ(configFromJSON(plain), Config{});
}

TEST(ConfigJSONTest, NumbersJSONCannotHoldFailTheEncoding) {
    Config c;
    c.gap = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(toJSON(c), std::nullopt);
    EXPECT_EQ(encodeConfig(c), std::nullopt);

    c = Config{};
    c.appRules = {{"com.a", false, std::numeric_limits<double>::infinity(), AppRule::Placement::end}};
    EXPECT_EQ(encodeConfig(c), std::nullopt);

    c = Config{};
    c.disabledDisplays = {"\xff\xfe"};  // not UTF-8
    EXPECT_EQ(encodeConfig(c), std::nullopt);
}

TEST(ConfigJSONTest, OnlyAJSONObjectDecodes) {
    for (const char* bad : {"", "garbage", "[]", "42", "\"config\"", "null", "{\"gap\": 1"}) {
        EXPECT_EQ(decodeConfig(bad), std::nullopt) << bad;
    }
}

TEST(ConfigJSONTest, EmptyObjectIsTheDefaultsAfterTheUpgrades) {
    EXPECT_EQ(decoded("{}"), Config{});
}

TEST(ConfigJSONTest, MistypedOrUnknownValuesFallBackKeyByKey) {
    Config c = decoded(R"({
        "gap": "wide", "defaultWidth": 0.7, "presetWidths": [0.5, "x"], "centreMode": "sometimes",
        "animate": 1, "animationDuration": null, "swipeFingers": 3.5, "swipeSensitivity": 2,
        "stripIndicator": "bars", "timelineLabels": "appName", "timelineLook": 7,
        "disabledDisplays": ["a", 1], "detailedLogging": true, "borderRadius": "round"})");
    Config expected;
    expected.defaultWidth = 0.7;
    expected.swipeSensitivity = 2;
    expected.timelineLabels = TimelineLabels::appName;
    expected.detailedLogging = true;
    EXPECT_EQ(c, expected);

    // No range checks: odd values are taken as they are.
    c = decoded(R"({"gap": -5, "swipeFingers": 7, "swipeSensitivity": 0, "borderRadius": 0})");
    EXPECT_EQ(c.gap, -5);
    EXPECT_EQ(c.swipeFingers, 7);
    EXPECT_EQ(c.borderRadius, 0.0);
    EXPECT_EQ(decoded(R"({"swipeFingers": 4.0})").swipeFingers, 4);
    EXPECT_EQ(decoded(R"({"swipeFingers": 1e12})").swipeFingers, 3);
    EXPECT_EQ(decoded(R"({"borderRadius": null})").borderRadius, std::nullopt);
}

TEST(ConfigJSONTest, BorderColourNeedsAllFourComponents) {
    EXPECT_EQ(decoded(R"({"borderColor": {"r": 1, "g": 0, "b": 0}})").borderColor, Config{}.borderColor);
    EXPECT_EQ(decoded(R"({"borderColor": {"r": 1, "g": 0, "b": 0, "a": "1"}})").borderColor,
              Config{}.borderColor);
    EXPECT_EQ(decoded(R"({"borderColor": {"r": 1, "g": 0, "b": 0, "a": 0.5}})").borderColor,
              (RGBA{1, 0, 0, 0.5}));
}

TEST(ConfigJSONTest, LegacyMinimapSwitch) {
    EXPECT_EQ(decoded(R"({"minimap": false})").stripIndicator, StripIndicator::off);
    EXPECT_EQ(decoded(R"({"minimap": true})").stripIndicator, StripIndicator::icons);
    EXPECT_EQ(decoded(R"({"minimap": "no"})").stripIndicator, StripIndicator::icons);
    EXPECT_EQ(decoded(R"({"minimap": false, "stripIndicator": "minimap"})").stripIndicator,
              StripIndicator::minimap);
    // A stored indicator that names no case leaves the migrated value.
    EXPECT_EQ(decoded(R"({"minimap": false, "stripIndicator": "bars"})").stripIndicator,
              StripIndicator::off);
}

TEST(ConfigJSONTest, LegacyFloatingAppsBecomeRulesUnlessRulesDecode) {
    Config c = decoded(R"({"floatingApps": ["com.example.calc", "com.example.notes"]})");
    ASSERT_EQ(c.appRules.size(), 2u);
    EXPECT_EQ(c.appRules[0], (AppRule{"com.example.calc", true, std::nullopt, AppRule::Placement::besideFocus}));
    EXPECT_EQ(c.appRules[1].bundleID, "com.example.notes");
    EXPECT_EQ(c.floatingApps(), (std::set<std::string>{"com.example.calc", "com.example.notes"}));

    c = decoded(R"({"floatingApps": ["com.old"],
                    "appRules": [{"bundleID": "com.new", "width": 0.4, "placement": "start"}]})");
    EXPECT_EQ(c.appRules, (std::vector<AppRule>{{"com.new", false, 0.4, AppRule::Placement::start}}));

    // One rule without an identifier spoils the whole list, not only itself.
    c = decoded(R"({"floatingApps": ["com.old"],
                    "appRules": [{"bundleID": "com.new"}, {"float": true}]})");
    EXPECT_EQ(c.appRules, (std::vector<AppRule>{{"com.old", true, std::nullopt, AppRule::Placement::besideFocus}}));
    c = decoded(R"({"appRules": [{"bundleID": "com.new"}, {"bundleID": 12}]})");
    EXPECT_TRUE(c.appRules.empty());

    // An empty stored list is a decision, not a missing key.
    EXPECT_TRUE(decoded(R"({"floatingApps": ["com.old"], "appRules": []})").appRules.empty());
    EXPECT_TRUE(decoded(R"({"floatingApps": ["com.old", 3]})").appRules.empty());
}

TEST(ConfigJSONTest, RuleKeysOtherThanTheIdentifierAreOptional) {
    EXPECT_EQ(appRuleFromJSON(json::parse(R"({"bundleID": "com.a"})")),
              (AppRule{"com.a", false, std::nullopt, AppRule::Placement::besideFocus}));
    // A placement from a newer version does not cost the user the rule.
    EXPECT_EQ(appRuleFromJSON(json::parse(R"({"bundleID": "com.a", "float": true,
                                              "placement": "middle", "width": null})")),
              (AppRule{"com.a", true, std::nullopt, AppRule::Placement::besideFocus}));
    EXPECT_EQ(appRuleFromJSON(json::parse(R"({"bundleID": null})")), std::nullopt);
    EXPECT_EQ(appRuleFromJSON(json::parse(R"(["com.a"])")), std::nullopt);
}

TEST(ConfigJSONTest, BindingsFallBackWholeWhenAnyComboIsBad) {
    Config c = decoded(R"({"bindingsVersion": 3,
        "bindings": {"focusLeft": [{"keyCode": 4, "modifiers": 256}], "wider": [{"keyCode": 1}]}})");
    EXPECT_EQ(c.bindings, defaultBindings());
}

TEST(ConfigJSONTest, MissingDefaultShortcutsAreCompletedAndUnknownNamesKept) {
    Config c = decoded(R"({"bindingsVersion": 3, "bindings": {
        "focusLeft": [{"keyCode": 4, "modifiers": 256}],
        "centre": [],
        "focusEverything": [{"keyCode": 9, "modifiers": 6144}]}})");
    EXPECT_EQ(c.bindings.at("focusLeft"), (std::vector<KeyCombo>{{4, 256}}));
    EXPECT_TRUE(c.bindings.at("centre").empty());  // the user removed it: not refilled
    EXPECT_EQ(c.bindings.at("focusEverything"), (std::vector<KeyCombo>{{9, 6144}}));
    EXPECT_EQ(c.bindings.at("moveTo4"), defaultBindings().at("moveTo4"));
    EXPECT_FALSE(c.bindings.contains("toggleTimeline"));
    EXPECT_EQ(c.bindings.size(), 48u);
}

TEST(ConfigJSONTest, VersionOneShortcutsAreUpgradedUnlessTheUserChangedThem) {
    // Without a version the table is taken as version 1.
    Config c = decoded(R"({"bindings": {
        "wider":      [{"keyCode": 24, "modifiers": 6144}],
        "narrower":   [{"keyCode": 27, "modifiers": 6144}],
        "stackLeft":  [{"keyCode": 30, "modifiers": 6144}, {"keyCode": 0, "modifiers": 256}],
        "stackRight": [{"keyCode": 33, "modifiers": 2048}],
        "popOutLeft": []}})");
    EXPECT_EQ(c.bindingsVersion, 3);
    EXPECT_EQ(c.bindings.at("wider"), defaultBindings().at("wider"));
    EXPECT_EQ(c.bindings.at("narrower"), defaultBindings().at("narrower"));
    // Changed by the user: a combo added, a modifier changed, the list emptied.
    EXPECT_EQ(c.bindings.at("stackLeft"), (std::vector<KeyCombo>{{30, 6144}, {0, 256}}));
    EXPECT_EQ(c.bindings.at("stackRight"), (std::vector<KeyCombo>{{33, 2048}}));
    EXPECT_TRUE(c.bindings.at("popOutLeft").empty());
    // Never stored: completed from the current table.
    EXPECT_EQ(c.bindings.at("taller"), defaultBindings().at("taller"));
}

TEST(ConfigJSONTest, VersionTwoSizeShortcutsAreUpgradedUnlessTheUserChangedThem) {
    Config c = decoded(R"({"bindingsVersion": 2, "bindings": {
        "narrower": [{"keyCode": 13, "modifiers": 6656}],
        "taller":   [{"keyCode": 9, "modifiers": 6144}],
        "shorter":  [{"keyCode": 9, "modifiers": 6144}],
        "wider":    [{"keyCode": 24, "modifiers": 6144}]}})");
    EXPECT_EQ(c.bindingsVersion, 3);
    EXPECT_EQ(c.bindings.at("narrower"), defaultBindings().at("narrower"));
    EXPECT_EQ(c.bindings.at("taller"), defaultBindings().at("taller"));
    EXPECT_EQ(c.bindings.at("shorter"), (std::vector<KeyCombo>{{9, 6144}}));
    // The version-1 table is no longer consulted at version 2.
    EXPECT_EQ(c.bindings.at("wider"), (std::vector<KeyCombo>{{24, 6144}}));
}

TEST(ConfigJSONTest, UpgradesStopAtTheCurrentVersion) {
    const char* oldNarrower = R"("bindings": {"narrower": [{"keyCode": 13, "modifiers": 6656}]})";
    for (int version : {3, 4}) {
        std::string text = "{\"bindingsVersion\": " + std::to_string(version) + ", " + oldNarrower + "}";
        Config c = decoded(text.c_str());
        EXPECT_EQ(c.bindingsVersion, version);
        EXPECT_EQ(c.bindings.at("narrower"), (std::vector<KeyCombo>{{13, 6656}})) << version;
    }
    // An undecodable version counts as 1 and goes through both upgrades.
    Config c = decoded(R"({"bindingsVersion": "3", "bindings": {"narrower": [{"keyCode": 27, "modifiers": 6144}]}})");
    EXPECT_EQ(c.bindingsVersion, 3);
    EXPECT_EQ(c.bindings.at("narrower"), defaultBindings().at("narrower"));
}
