// The settings window's edits: preset widths, rules and displays, shortcuts,
// and the settings file it shares with the manager.

#include <gtest/gtest.h>

#include <vector>

#include "Files.h"
#include "settings/model/ConfigEdits.h"
#include "settings/model/LinuxKeys.h"
#include "settings/model/SharedSettings.h"
#include "settings/model/Shortcuts.h"

using namespace tessaline;
using namespace tessaline::prefs;
using namespace tessaline::prefs::testing;
using Outcome = ShortcutRecorder::Outcome;
using Result = SharedSettings::EditResult;

namespace {

struct PresetCase {
    const char* what;
    std::vector<double> before;
    double width;
    bool on;
    std::vector<double> after;  // equal to `before`: nothing changes
};

const double third = 1.0 / 3, half = 0.5, twoThirds = 2.0 / 3;

constexpr std::uint32_t keyP = 35, keyR = 15, keyF5 = 96, escape = 53;

std::vector<KeyCombo> combos(const Config& config, Action action) { return config.bindings.at(toString(action)); }

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

TEST(ConfigEditsTest, RulesAreAddedOncePerApplicationAndASwitchedOffDisplayIsListedOnceEvenWhenDisconnected) {
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

    // A display switched off is listed once; a disconnected one keeps its entry.
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

TEST(ShortcutsTest, TheRecorderAppendsTheNextComboAndEscapeLeavesTheShortcutsAlone) {
    Config config;
    const auto before = combos(config, Action::overview);
    ShortcutRecorder recorder;
    EXPECT_EQ(recorder.press({keyP, KeyCombo::ctrlOpt}).outcome, Outcome::ignored) << "not recording";

    recorder.begin(Action::overview);
    EXPECT_EQ(recorder.press({0, KeyCombo::control, true}).outcome, Outcome::ignored) << "a modifier alone";
    EXPECT_EQ(recorder.press({escape, 0}).outcome, Outcome::cancelled);
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(combos(config, Action::overview), before);

    recorder.begin(Action::overview);
    EXPECT_EQ(recorder.press({keyP, 0}).outcome, Outcome::ignored) << "a typing key needs a modifier";
    EXPECT_TRUE(recorder.recording());
    const auto result = recorder.press({keyP, KeyCombo::ctrlOptCmd});
    ASSERT_EQ(result.outcome, Outcome::recorded);
    EXPECT_EQ(result.action, Action::overview);
    EXPECT_TRUE(appendShortcut(config, *result.action, result.combo));
    EXPECT_FALSE(appendShortcut(config, Action::overview, result.combo));
    EXPECT_EQ(combos(config, Action::overview).back(), (KeyCombo{keyP, KeyCombo::ctrlOptCmd}));

    recorder.begin(Action::toggleTimeline);
    const auto function = recorder.press({keyF5, 0});
    ASSERT_EQ(function.outcome, Outcome::recorded) << "function keys may stand alone";
    EXPECT_TRUE(appendShortcut(config, Action::toggleTimeline, function.combo));

    // A combo bound twice is pointed out on both rows.
    const KeyCombo cycle{keyR, KeyCombo::ctrlOpt};
    EXPECT_TRUE(appendShortcut(config, Action::centre, cycle));
    EXPECT_EQ(otherActionsUsing(config, Action::centre, cycle), std::vector<Action>{Action::cycleWidth});

    // Removing every shortcut of an action keeps an empty list, which stays empty.
    EXPECT_TRUE(removeShortcut(config, Action::cycleWidth, 0));
    EXPECT_FALSE(removeShortcut(config, Action::cycleWidth, 0));
    EXPECT_TRUE(combos(config, Action::cycleWidth).empty());
    EXPECT_FALSE(firstShortcut(config, Action::cycleWidth));

    EXPECT_TRUE(restoreDefaultShortcuts(config));
    EXPECT_EQ(config.bindings, defaultBindings());
    EXPECT_FALSE(restoreDefaultShortcuts(config));
}

TEST(ShortcutsTest, SectionsListEveryActionOnceEveryDefaultKeyHasAnXKeyAndShortcutsReadTheLinuxWay) {
    const auto groups = shortcutGroups(Config());
    std::vector<Action> seen;
    for (const auto& group : groups) {
        for (const auto& row : group.rows) {
            EXPECT_EQ(section(row.action), group.section);
            seen.push_back(row.action);
        }
    }
    ASSERT_EQ(groups.size(), allActionSections.size());
    EXPECT_EQ(groups.front().rows.back().action, Action::overview) << "overview is navigation";
    EXPECT_EQ(seen.size(), actionCount);

    for (const auto& [name, list] : defaultBindings()) {
        for (const KeyCombo& combo : list) {
            const auto x = LinuxKeys::xKeycode(combo.keyCode);
            ASSERT_TRUE(x) << name;
            EXPECT_EQ(LinuxKeys::keyCodeForX(*x), combo.keyCode) << name;
        }
    }
    EXPECT_EQ(LinuxKeys::display({123, KeyCombo::ctrlOptShiftCmd}), "Ctrl+Alt+Shift+Super+←");
    EXPECT_EQ(LinuxKeys::xKeycode(keyR), 27u) << "R is evdev 19";
    EXPECT_EQ(LinuxKeys::modifierText(KeyCombo::ctrlOpt), "Ctrl+Alt");
}

TEST(SharedSettingsTest, TheWindowAndTheManagerEditOneFileWithoutLosingEachOthersChanges) {
    TempFolder folder;
    const fs::path file = folder.path / "tessaline" / "settings.json";
    SharedSettings window(file);
    int changes = 0;
    window.setOnChange([&] { ++changes; });
    EXPECT_FALSE(fs::exists(file)) << "opening the window writes nothing";

    EXPECT_EQ(window.edit([](Config& c) { c.gap = 16; }), Result::saved);
    const std::string written = readFile(file);
    EXPECT_EQ(window.edit([](Config& c) { c.gap = 16; }), Result::unchanged);
    EXPECT_EQ(readFile(file), written) << "an equal value is not written again";

    // The manager (another reader of the same file) changes something else.
    {
        SharedSettings manager(file);
        EXPECT_EQ(manager.config().gap, 16);
        manager.edit([](Config& c) { c.animate = false; });
    }
    EXPECT_EQ(window.edit([](Config& c) { c.dimInactive = true; }), Result::saved);
    SharedSettings reader(file);
    EXPECT_EQ(reader.config().gap, 16);
    EXPECT_FALSE(reader.config().animate) << "the window's edit starts from the newest file";
    EXPECT_TRUE(reader.config().dimInactive);
    EXPECT_EQ(changes, 3);

    // A hand edit that breaks the file is shown, and never written over; the
    // last good settings stay.
    const Config good = window.config();
    writeFile(file, "{\"config\": {\"gap\": 8,");
    EXPECT_TRUE(window.reloadIfChanged());
    ASSERT_TRUE(window.problem());
    EXPECT_EQ(window.config(), good);
    EXPECT_EQ(window.edit([](Config& c) { c.gap = 30; }), Result::refused);
    EXPECT_EQ(readFile(file), "{\"config\": {\"gap\": 8,");
    EXPECT_FALSE(window.reloadIfChanged()) << "the same broken text is read once";

    // Repaired by hand: followed.
    writeFile(file, "{\"config\": {\"gap\": 8}}");
    EXPECT_TRUE(window.reloadIfChanged());
    EXPECT_FALSE(window.problem());
    EXPECT_EQ(window.config().gap, 8);

    // Broken again, then set aside on request: the broken text is kept beside.
    writeFile(file, "{\"config\": [1, 2]}");
    window.reloadIfChanged();
    EXPECT_TRUE(window.problem());
    const auto aside = window.setAside();
    ASSERT_TRUE(aside);
    EXPECT_EQ(aside->filename(), "settings.json.broken");
    EXPECT_EQ(readFile(*aside), "{\"config\": [1, 2]}");
    EXPECT_FALSE(window.problem());
    EXPECT_EQ(window.config(), Config()) << "starting over means the defaults";
    EXPECT_EQ(window.edit([](Config& c) { c.gap = 30; }), Result::saved);
    EXPECT_FALSE(window.setAside()) << "a readable file stays where it is";
}
