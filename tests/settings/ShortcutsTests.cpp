#include <gtest/gtest.h>

#include "settings/model/LinuxKeys.h"
#include "settings/model/Shortcuts.h"

using namespace tessaline;
using namespace tessaline::prefs;
using Outcome = ShortcutRecorder::Outcome;

namespace {

constexpr std::uint32_t keyP = 35, keyR = 15, keyF5 = 96, escape = 53;

std::vector<KeyCombo> combos(const Config& config, Action action) { return config.bindings.at(toString(action)); }

}  // namespace

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

TEST(ShortcutsTest, SectionsListEveryActionOnceInOrder) {
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
}

TEST(ShortcutsTest, EveryDefaultKeyHasAnXKeyAndShortcutsReadTheLinuxWay) {
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
