#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/settings/Config.h"

using namespace tessaline;
using nlohmann::json;

namespace {

Config decoded(const std::string& text) {
    auto config = decodeConfig(text);
    EXPECT_TRUE(config.has_value()) << text;
    return config.value_or(Config{});
}
// The shortcuts stored for one action, after the reading upgraded them.
std::vector<KeyCombo> stored(const std::string& text, const std::string& action) {
    return decoded(text).bindings.at(action);
}
const auto defaults = [](const std::string& action) { return defaultBindings().at(action); };

}  // namespace

TEST(ConfigTest, DerivedValuesFollowTheFields) {
    Config c;
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

TEST(ConfigTest, EveryFieldRoundTripsUnderItsNameAndUnencodableNumbersFail) {
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
    const json j = toJSON(c).value();
    EXPECT_EQ(j.size(), 30u);
    EXPECT_EQ(j["centreMode"], "always");
    EXPECT_EQ(j["timelineLook"], "glass");
    EXPECT_EQ(j["appRules"][0], json::parse(R"({"bundleID":"com.example.a","float":true,"placement":"end"})"));
    EXPECT_EQ(j["appRules"][1]["width"], 0.8);
    EXPECT_EQ(j["bindings"]["focusLeft"], json::parse(R"([{"keyCode":4,"modifiers":256}])"));
    EXPECT_FALSE(j.contains("minimap") || j.contains("floatingApps"));
    EXPECT_EQ(configFromJSON(j), c);
    EXPECT_EQ(decodeConfig(encodeConfig(c).value()), c);
    // An absent radius is left out rather than written as null.
    const json plain = toJSON(Config{}).value();
    EXPECT_EQ(plain.size(), 29u);
    EXPECT_FALSE(plain.contains("borderRadius"));
    EXPECT_EQ(configFromJSON(plain), Config{});
    EXPECT_EQ(decoded("{}"), Config{});

    const Config notANumber{.gap = std::numeric_limits<double>::quiet_NaN()};
    EXPECT_EQ(toJSON(notANumber), std::nullopt);
    EXPECT_EQ(encodeConfig(notANumber), std::nullopt);
    const double infinite = std::numeric_limits<double>::infinity();
    EXPECT_EQ(encodeConfig(Config{.appRules = {{"com.a", false, infinite, AppRule::Placement::end}}}), std::nullopt);
    EXPECT_EQ(encodeConfig(Config{.disabledDisplays = {"\xff\xfe"}}), std::nullopt);  // not UTF-8
    for (const char* bad : {"", "garbage", "[]", "42", "\"config\"", "null", "{\"gap\": 1"}) {
        EXPECT_EQ(decodeConfig(bad), std::nullopt) << bad;
    }
}

TEST(ConfigTest, MistypedOrUnknownValuesFallBackKeyByKey) {
    const Config expected{.defaultWidth = 0.7, .timelineLabels = TimelineLabels::appName, .swipeSensitivity = 2,
                          .detailedLogging = true};
    EXPECT_EQ(decoded(R"({
        "gap": "wide", "defaultWidth": 0.7, "presetWidths": [0.5, "x"], "centreMode": "sometimes",
        "animate": 1, "animationDuration": null, "swipeFingers": 3.5, "swipeSensitivity": 2,
        "stripIndicator": "bars", "timelineLabels": "appName", "timelineLook": 7,
        "disabledDisplays": ["a", 1], "detailedLogging": true, "borderRadius": "round"})"),
              expected);
    // No range checks: odd values are taken as they are.
    const Config odd = decoded(R"({"gap": -5, "swipeFingers": 7, "swipeSensitivity": 0, "borderRadius": 0})");
    EXPECT_EQ(odd.gap, -5);
    EXPECT_EQ(odd.swipeFingers, 7);
    EXPECT_EQ(odd.borderRadius, 0.0);
    EXPECT_EQ(decoded(R"({"swipeFingers": 4.0})").swipeFingers, 4);
    EXPECT_EQ(decoded(R"({"swipeFingers": 1e12})").swipeFingers, 3);
    EXPECT_EQ(decoded(R"({"borderRadius": null})").borderRadius, std::nullopt);
    // A colour needs all four components.
    EXPECT_EQ(decoded(R"({"borderColor": {"r": 1, "g": 0, "b": 0}})").borderColor, Config{}.borderColor);
    EXPECT_EQ(decoded(R"({"borderColor": {"r": 1, "g": 0, "b": 0, "a": "1"}})").borderColor, Config{}.borderColor);
    EXPECT_EQ(decoded(R"({"borderColor": {"r": 1, "g": 0, "b": 0, "a": 0.5}})").borderColor, (RGBA{1, 0, 0, 0.5}));
}

TEST(ConfigTest, LegacyKeysAreMigratedUnlessTheirSuccessorsDecode) {
    const std::pair<const char*, StripIndicator> indicators[] = {
        {R"({"minimap": false})", StripIndicator::off},
        {R"({"minimap": true})", StripIndicator::icons},
        {R"({"minimap": "no"})", StripIndicator::icons},
        {R"({"minimap": false, "stripIndicator": "minimap"})", StripIndicator::minimap},
        {R"({"minimap": false, "stripIndicator": "bars"})", StripIndicator::off},  // names no case: the migrated value
    };
    for (const auto& [text, indicator] : indicators) EXPECT_EQ(decoded(text).stripIndicator, indicator) << text;

    using Rules = std::vector<AppRule>;
    const auto old = AppRule{"com.old", true, std::nullopt, AppRule::Placement::besideFocus};
    const std::pair<const char*, Rules> rules[] = {
        {R"({"floatingApps": ["com.old"]})", {old}},
        {R"({"floatingApps": ["com.old"], "appRules": [{"bundleID": "com.new", "width": 0.4, "placement": "start"}]})",
         {{"com.new", false, 0.4, AppRule::Placement::start}}},
        // One rule without an identifier spoils the whole list, not only itself.
        {R"({"floatingApps": ["com.old"], "appRules": [{"bundleID": "com.new"}, {"float": true}]})", {old}},
        {R"({"appRules": [{"bundleID": "com.new"}, {"bundleID": 12}]})", {}},
        // An empty stored list is a decision, not a missing key.
        {R"({"floatingApps": ["com.old"], "appRules": []})", {}},
        {R"({"floatingApps": ["com.old", 3]})", {}},
    };
    for (const auto& [text, expected] : rules) EXPECT_EQ(decoded(text).appRules, expected) << text;
    // Keys other than the identifier are optional, and a placement from a
    // newer version does not cost the user the rule.
    EXPECT_EQ(appRuleFromJSON(json::parse(R"({"bundleID": "com.a"})")),
              (AppRule{"com.a", false, std::nullopt, AppRule::Placement::besideFocus}));
    EXPECT_EQ(appRuleFromJSON(json::parse(R"({"bundleID": "com.a", "float": true, "placement": "middle", "width": null})")),
              (AppRule{"com.a", true, std::nullopt, AppRule::Placement::besideFocus}));
    EXPECT_EQ(appRuleFromJSON(json::parse(R"({"bundleID": null})")), std::nullopt);
    EXPECT_EQ(appRuleFromJSON(json::parse(R"(["com.a"])")), std::nullopt);
}

TEST(ConfigTest, StoredShortcutsAreCompletedAndUpgradedUnlessTheUserChangedThem) {
    // Any bad combo: the whole table falls back to the defaults.
    EXPECT_EQ(decoded(R"({"bindingsVersion": 3, "bindings": {"focusLeft": [{"keyCode": 4, "modifiers": 256}],
                                                             "wider": [{"keyCode": 1}]}})").bindings,
              defaultBindings());
    const Config completed = decoded(R"({"bindingsVersion": 3, "bindings": {
        "focusLeft": [{"keyCode": 4, "modifiers": 256}], "centre": [],
        "focusEverything": [{"keyCode": 9, "modifiers": 6144}]}})");
    EXPECT_EQ(completed.bindings.at("focusLeft"), (std::vector<KeyCombo>{{4, 256}}));
    EXPECT_TRUE(completed.bindings.at("centre").empty());  // removed by the user: not refilled
    EXPECT_EQ(completed.bindings.at("focusEverything"), (std::vector<KeyCombo>{{9, 6144}}));
    EXPECT_EQ(completed.bindings.at("moveTo4"), defaults("moveTo4"));
    EXPECT_FALSE(completed.bindings.contains("toggleTimeline"));
    EXPECT_EQ(completed.bindings.size(), 48u);

    // Without a version the table is version 1: its old defaults are upgraded,
    // the user's own choices kept, and what was never stored completed.
    const std::string v1 = R"({"bindings": {
        "wider": [{"keyCode": 24, "modifiers": 6144}], "narrower": [{"keyCode": 27, "modifiers": 6144}],
        "stackLeft": [{"keyCode": 30, "modifiers": 6144}, {"keyCode": 0, "modifiers": 256}],
        "stackRight": [{"keyCode": 33, "modifiers": 2048}], "popOutLeft": []}})";
    EXPECT_EQ(decoded(v1).bindingsVersion, 3);
    EXPECT_EQ(stored(v1, "wider"), defaults("wider"));
    EXPECT_EQ(stored(v1, "narrower"), defaults("narrower"));
    EXPECT_EQ(stored(v1, "stackLeft"), (std::vector<KeyCombo>{{30, 6144}, {0, 256}}));
    EXPECT_EQ(stored(v1, "stackRight"), (std::vector<KeyCombo>{{33, 2048}}));
    EXPECT_TRUE(stored(v1, "popOutLeft").empty());
    EXPECT_EQ(stored(v1, "taller"), defaults("taller"));
    const std::string v2 = R"({"bindingsVersion": 2, "bindings": {
        "narrower": [{"keyCode": 13, "modifiers": 6656}], "taller": [{"keyCode": 9, "modifiers": 6144}],
        "shorter": [{"keyCode": 9, "modifiers": 6144}], "wider": [{"keyCode": 24, "modifiers": 6144}]}})";
    EXPECT_EQ(stored(v2, "narrower"), defaults("narrower"));
    EXPECT_EQ(stored(v2, "taller"), defaults("taller"));
    EXPECT_EQ(stored(v2, "shorter"), (std::vector<KeyCombo>{{9, 6144}}));
    EXPECT_EQ(stored(v2, "wider"), (std::vector<KeyCombo>{{24, 6144}}));  // the version-1 table no longer applies
    // Upgrades stop at the current version; an undecodable version counts as 1.
    for (const char* version : {"3", "4"}) {
        const std::string text = std::string(R"({"bindingsVersion": )") + version +
                                 R"(, "bindings": {"narrower": [{"keyCode": 13, "modifiers": 6656}]}})";
        EXPECT_EQ(decoded(text).bindingsVersion, std::stoi(version));
        EXPECT_EQ(stored(text, "narrower"), (std::vector<KeyCombo>{{13, 6656}})) << version;
    }
    const std::string odd = R"({"bindingsVersion": "3", "bindings": {"narrower": [{"keyCode": 27, "modifiers": 6144}]}})";
    EXPECT_EQ(decoded(odd).bindingsVersion, 3);
    EXPECT_EQ(stored(odd, "narrower"), defaults("narrower"));
}
