#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "engine/log/Log.h"
#include "platform/input/HotkeyCenter.h"
#include "platform/input/KeyTable.h"

using namespace tessaline;
using namespace tessaline::KeyTable;

namespace {

// A session in which other programs hold some keys.
struct FakeGrabber final : KeyGrabber {
    std::set<KeyGrab> others;
    std::set<KeyGrab> ours;

    std::vector<bool> grab(const std::vector<KeyGrab>& keys) override {
        std::vector<bool> answers;
        for (const KeyGrab& k : keys) {
            bool free = !others.contains(k);
            if (free) ours.insert(k);
            answers.push_back(free);
        }
        return answers;
    }
    void release(const std::vector<KeyGrab>& keys) override {
        for (const KeyGrab& k : keys) ours.erase(k);
    }
    // Every key of ours with these modifiers, lock bits ignored.
    int heldWith(std::uint8_t keycode, std::uint16_t mods, std::uint16_t locks) const {
        return static_cast<int>(std::count_if(ours.begin(), ours.end(), [&](const KeyGrab& k) {
            return k.keycode == keycode && (k.modifiers & ~locks) == mods;
        }));
    }
};

constexpr std::uint8_t keyH = 43, key3 = 12, keyLeft = 113, keyEscape = 9;
constexpr std::uint16_t ctrlAlt = controlMask | mod1Mask;
constexpr std::uint16_t locks = mod2Mask | lockMask;

struct HotkeyCenterTest : ::testing::Test {
    FakeGrabber grabber;
    HotkeyCenter center{grabber};
    std::vector<std::string> performed;
    std::vector<std::vector<KeyCombo>> reported;

    void SetUp() override {
        center.handler = [this](Action a) { performed.push_back(toString(a)); };
        center.onConflicts = [this](const auto& c) { reported.push_back(c); };
        LogStore::shared().clear();
        LogStore::shared().setCollectsDebug(true);
    }
    void TearDown() override { LogStore::shared().setCollectsDebug(false); }

    std::vector<std::string> take() { return std::exchange(performed, {}); }
};

}  // namespace

TEST_F(HotkeyCenterTest, DefaultShortcutsWorkWithAnyLockATakenComboLeavesTheRestWorkingAndNumbersCountEveryCombo) {
    // Another program holds ⌃⌥H, but only while NumLock is on.
    grabber.others.insert({keyH, ctrlAlt | mod2Mask});
    center.registerBindings(defaultBindings());

    const KeyCombo takenH{4, KeyCombo::ctrlOpt};
    EXPECT_EQ(center.conflicts(), std::vector<KeyCombo>{takenH});
    EXPECT_EQ(reported, std::vector<std::vector<KeyCombo>>{{takenH}});
    EXPECT_EQ(grabber.heldWith(keyH, ctrlAlt, locks), 0);  // none of its variants kept
    EXPECT_EQ(grabber.heldWith(keyLeft, ctrlAlt, locks), 4);

    EXPECT_TRUE(center.keyPressed(keyLeft, ctrlAlt | mod2Mask | lockMask));
    EXPECT_TRUE(center.keyPressed(key3, ctrlAlt | shiftMask | lockMask));
    EXPECT_TRUE(center.keyPressed(keyH, ctrlAlt | shiftMask | 0x100));  // button 1 held too
    EXPECT_FALSE(center.keyPressed(keyH, ctrlAlt));
    EXPECT_FALSE(center.keyPressed(keyLeft, ctrlAlt | mod4Mask | shiftMask | controlMask | 0x80));
    EXPECT_EQ(take(), (std::vector<std::string>{"focusLeft", "moveTo3", "moveLeft"}));

    EXPECT_TRUE(std::ranges::any_of(LogStore::shared().records(), [&](const LogRecord& r) {
        return r.category == "input" && r.message == "shortcut " + takenH.display() + " is taken by another program";
    }));

    // Registering again replaces every grab; stopping leaves no key grabbed.
    center.registerBindings({{"toggleFloat", {{17, KeyCombo::ctrlOpt}}}});
    EXPECT_EQ(grabber.ours.size(), 4u);
    EXPECT_TRUE(center.conflicts().empty());
    center.releaseAll();
    EXPECT_TRUE(grabber.ours.empty());

    // Numbers count every combo in action order, registered or not.
    center.registerBindings({
        {"focusRight", {{0, KeyCombo::ctrlOpt}}},  // 3: the same key as number 1
        {"focusLeft", {{0, KeyCombo::ctrlOpt}, {0x3F, KeyCombo::ctrlOpt}}},  // 1, and 2 on Fn: no key
        {"focusUp", {{11, KeyCombo::ctrlOpt | 0x10000}}},                      // 4: odd modifier
        {"focusDown", {{11, KeyCombo::ctrlOpt}}},        // 5
        {"noSuchAction", {{20, KeyCombo::ctrlOpt}}},     // kept, never grabbed
    });
    EXPECT_EQ(center.conflicts(), (std::vector<KeyCombo>{{0x3F, KeyCombo::ctrlOpt},
                                                         {0, KeyCombo::ctrlOpt},
                                                         {11, KeyCombo::ctrlOpt | 0x10000}}));
    EXPECT_TRUE(center.bindings().contains("noSuchAction"));
    for (std::uint32_t n : {1u, 2u, 3u, 4u, 5u, 6u}) center.fire(n);
    EXPECT_EQ(take(), (std::vector<std::string>{"focusLeft", "focusDown"}));
    EXPECT_EQ(grabber.ours.size(), 8u);
}

TEST_F(HotkeyCenterTest, EscapeIsLentOnceKeptAcrossRegistrationsAndGrabbedAgainAfterAMappingChange) {
    center.registerBindings({{"centre", {{8, KeyCombo::ctrlOpt}}}});
    int first = 0, second = 0;
    center.registerEscape([&] { ++first; });
    center.registerEscape([&] { ++second; });
    EXPECT_EQ(grabber.heldWith(keyEscape, 0, locks), 4);

    center.registerBindings({{"wider", {{13, KeyCombo::ctrlOpt}}}});
    EXPECT_TRUE(center.keyPressed(keyEscape, mod2Mask));
    EXPECT_EQ(std::pair(first, second), std::pair(0, 1));

    // NumLock moved to Mod3: every grab follows it.
    constexpr std::uint16_t mod3Mask = 1 << 5;
    center.regrab(mod3Mask);
    EXPECT_EQ(grabber.ours, (std::set<KeyGrab>{
        {keyEscape, 0}, {keyEscape, mod3Mask}, {keyEscape, lockMask}, {keyEscape, mod3Mask | lockMask},
        {25, ctrlAlt}, {25, ctrlAlt | mod3Mask}, {25, ctrlAlt | lockMask}, {25, ctrlAlt | mod3Mask | lockMask},
    }));
    EXPECT_TRUE(center.keyPressed(keyEscape, mod3Mask));
    EXPECT_EQ(second, 2);

    // Escape handed back (as the timeline does from inside its own handler).
    center.registerEscape([&] { center.releaseEscape(); });
    EXPECT_TRUE(center.keyPressed(keyEscape, 0));
    EXPECT_FALSE(center.keyPressed(keyEscape, 0));
    EXPECT_EQ(grabber.heldWith(keyEscape, 0, locks), 0);

    // Held by someone else: not lent, and the next request tries again.
    grabber.others.insert({keyEscape, lockMask});
    center.registerEscape([] {});
    EXPECT_FALSE(center.escapeHeld());
    EXPECT_EQ(grabber.heldWith(keyEscape, 0, locks), 0);
    grabber.others.clear();
    center.registerEscape([] {});
    EXPECT_TRUE(center.escapeHeld());
}
