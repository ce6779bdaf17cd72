#include <gtest/gtest.h>

#include <vector>

#include "settings/model/ConfigEdits.h"

using namespace tessaline;
using namespace tessaline::prefs;

namespace {

struct PresetCase {
    const char* what;
    std::vector<double> before;
    double width;
    bool on;
    std::vector<double> after;  // equal to `before`: nothing changes
};

const double third = 1.0 / 3, half = 0.5, twoThirds = 2.0 / 3;

}  // namespace

TEST(ConfigEditsTest, PresetWidthsToggleWithinAToleranceStaySortedAndNeverEmpty) {
    const PresetCase cases[] = {
        {"a new width is inserted in order", {third, half, twoThirds}, 0.25, true, {0.25, third, half, twoThirds}},
        {"a width within 0.001 is already there", {third, half}, 0.3335, true, {third, half}},
        {"switching off takes a width within 0.001", {third, half, twoThirds}, 0.5008, false, {third, twoThirds}},
        {"a width 0.002 away is another width", {third, half}, 0.502, false, {third, half}},
        {"the last width stays", {half}, half, false, {half}},
        {"a hand-written unsorted list is sorted by the next change", {0.7, 0.2}, 0.5, true, {0.2, 0.5, 0.7}},
    };
    for (const PresetCase& c : cases) {
        Config config;
        config.presetWidths = c.before;
        EXPECT_EQ(setPreset(config, c.width, c.on), c.after != c.before) << c.what;
        EXPECT_EQ(config.presetWidths, c.after) << c.what;
    }

    Config handWritten;
    handWritten.presetWidths = {0.4, half};
    EXPECT_EQ(presetChoices(handWritten), (std::vector<double>{0.25, third, 0.4, half, twoThirds, 0.75, 1.0}))
        << "a stored width that is offered nowhere gets its own switch";
    EXPECT_EQ(widthLabel(0.4), "40%");
    EXPECT_EQ(widthLabel(0.3334), "1/3");
}

TEST(ConfigEditsTest, RulesAreAddedOncePerApplicationAndEditedByTheirPlace) {
    Config config;
    EXPECT_TRUE(addRule(config, "Firefox-esr"));
    EXPECT_TRUE(addRule(config, "org.gnome.Calculator"));
    EXPECT_FALSE(addRule(config, "Firefox-esr")) << "one rule per application";
    EXPECT_FALSE(addRule(config, ""));

    EXPECT_TRUE(setRuleFloating(config, 1, true));
    EXPECT_FALSE(setRuleFloating(config, 1, true));
    EXPECT_TRUE(setRuleWidth(config, 0, 2.0 / 3));
    EXPECT_TRUE(setRulePlacement(config, 0, AppRule::Placement::end));
    EXPECT_FALSE(setRuleWidth(config, 5, 0.5)) << "a place past the end changes nothing";
    EXPECT_EQ(config.appRules,
              (std::vector<AppRule>{{"Firefox-esr", false, 2.0 / 3, AppRule::Placement::end},
                                    {"org.gnome.Calculator", true, std::nullopt, AppRule::Placement::besideFocus}}));
    EXPECT_EQ(config.floatingApps(), (std::set<std::string>{"org.gnome.Calculator"}));

    EXPECT_TRUE(setRuleWidth(config, 0, std::nullopt));
    EXPECT_TRUE(removeRule(config, 0));
    EXPECT_FALSE(removeRule(config, 1));
    ASSERT_EQ(config.appRules.size(), 1u);
    EXPECT_EQ(config.appRules[0].bundleID, "org.gnome.Calculator");
}

TEST(ConfigEditsTest, ADisplaySwitchedOffIsListedOnceAndADisconnectedOneKeepsItsEntry) {
    Config config;
    config.disabledDisplays = {"projector"};
    const std::vector<DisplayInfo> connected = {{"edid-1", "Built-in"}, {"edid-2", "DP-1"}};

    EXPECT_TRUE(setDisplayTiled(config, "edid-2", false));
    EXPECT_FALSE(setDisplayTiled(config, "edid-2", false));
    EXPECT_EQ(displayRows(config, connected),
              (std::vector<DisplayRow>{{"edid-1", "Built-in", true}, {"edid-2", "DP-1", false}}));
    EXPECT_TRUE(setDisplayTiled(config, "edid-2", true));
    EXPECT_FALSE(setDisplayTiled(config, "edid-1", true));
    EXPECT_EQ(config.disabledDisplays, std::vector<std::string>{"projector"});
}
