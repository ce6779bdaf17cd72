// The user's commands on the simulated desktop: what they do to the strip,
// which frames reach the windows, and what they leave alone.

#include <gtest/gtest.h>

#include <cmath>

#include "engine/wm/ScrollController.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

using Perform = Scenario;

TEST_F(Perform, CommandsEditTheStripAndTheWindowsFollow) {
    tile(3);
    const std::pair<Action, const char*> walk[] = {
        {Action::focusRight, "[1]p [2*] [3]"},
        {Action::moveLeft, "[2*] [1] [3]"},
        {Action::moveLast, "[1] [3] [2*]"},
        {Action::focus1, "[1*] [3] [2]p"},
        {Action::focus9, "[1]p [3] [2*]"},  // numbers past the end mean the last column
        {Action::moveTo1, "[2*] [1] [3]"},
        {Action::moveTo9, "[1] [3] [2*]"},
        {Action::focusLeft, "[1] [3*] [2]p"},
        {Action::stackLeft, "[1 3*] [2]"},
        {Action::popOutRight, "[1] [3*] [2]"},
        {Action::focusLeft, "[1*] [3]p [2]"},
    };
    for (const auto& [action, expected] : walk) {
        act(action);
        EXPECT_EQ(text(), expected) << toString(action);
        EXPECT_TRUE(logged("layout", toString(action))) << toString(action);
        for (WindowID id : order()) EXPECT_TRUE(inPlace(id)) << toString(action) << " " << id;
    }
    EXPECT_LT(laidOut(1).x, laidOut(3).x);
    EXPECT_LT(laidOut(3).x, laidOut(2).x);
    EXPECT_EQ(manager().activeKey, primaryKey());

    // At the strip's edge a move changes nothing but shows the strip.
    LogStore::shared().clear();
    const int shown = overlays().count("showStrip");
    act(Action::focusLeft);
    EXPECT_EQ(text(), "[1*] [3]p [2]");
    EXPECT_TRUE(logLines("layout").empty());
    EXPECT_EQ(overlays().count("showStrip"), shown + 1);
    EXPECT_EQ(overlays().stripsShown().back(), std::make_pair(primaryKey(), false));
}

TEST_F(Perform, WidthsCycleToggleAndStopAtFullWidth) {
    tile(3);
    const double half = laidOut(1).width;
    act(Action::cycleWidth);
    EXPECT_EQ(text(), "[1*]:0.6667 [2] [3]");
    EXPECT_GT(laidOut(1).width, half);
    act(Action::cycleWidth);  // from the widest preset back to the smallest
    EXPECT_EQ(text(), "[1*]:0.3333 [2] [3]");
    act(Action::fullWidth);
    EXPECT_EQ(text(), "[1*]:1~0.3333 [2] [3]");
    EXPECT_GT(laidOut(1).width, 1400);
    LogStore::shared().clear();
    act(Action::wider);
    EXPECT_TRUE(logLines("layout").empty());
    act(Action::fullWidth);
    EXPECT_EQ(text(), "[1*]:0.3333 [2] [3]");
}

TEST_F(Perform, StacksTurnIntoTabsWhoseHiddenOnesWaitAtTheEdge) {
    tile(3);
    act(Action::focusLast);
    act(Action::stackLeft);
    act(Action::toggleTabbed);
    EXPECT_EQ(text(), "[1] [2 3*]t");
    EXPECT_GE(laidOut(2).x, 1430);
    EXPECT_LT(laidOut(3).x, 1400);
    manager().selectTab(primaryKey(), 1, 0);
    settle();
    EXPECT_EQ(text(), "[1] [2* 3]t");
    EXPECT_LT(laidOut(2).x, 1400);
    EXPECT_GE(laidOut(3).x, 1430);
    manager().selectTab(primaryKey(), 1, 2);  // no such tab
    EXPECT_EQ(text(), "[1] [2* 3]t");
}

// The reveal rule would put a column wider than the screen back at the
// screen's left edge, undoing the centring.
TEST_F(Perform, CentreHoldsEvenForAColumnWiderThanTheScreen) {
    config.centreMode = CentreMode::never;
    tile(3);
    manager().minWidths[2] = 1700;
    act(Action::focusRight);
    ASSERT_GT(std::fabs(laidOut(2).centre().x - 720), 20);
    act(Action::centre);
    EXPECT_TRUE(logged("layout", "centre"));
    EXPECT_NEAR(laidOut(2).centre().x, 720, 1);
}

TEST_F(Perform, FloatingCentresTheWindowAndTilingPutsItBackOnce) {
    tile(3);
    act(Action::toggleFloat);
    EXPECT_EQ(stateOf(1), State::floating);
    EXPECT_TRUE(record(1)->manualFloat);
    EXPECT_EQ(text(), "[2*] [3]");
    // 1440×875 visible below the menu bar: 864×613 (612.5 rounded away from zero).
    EXPECT_EQ(frameOf(1), (Rect{288, 156, 864, 613}));
    EXPECT_TRUE(logged("layout", tag(1) + " floats"));
    manager().focusedID = 1;
    manager().perform(Action::toggleFloat);
    desk.advance(0.05);
    EXPECT_TRUE(manager().animator.hasMotion());  // it glides back in
    settle();
    EXPECT_EQ(stateOf(1), State::tiled);
    EXPECT_EQ(record(1)->manualFloat, false);
    EXPECT_EQ(record(1)->key, primaryKey());
    EXPECT_TRUE(logged("layout", tag(1) + " tiles again"));
    EXPECT_EQ(order().size(), 3u);

    // A window already back in its strip is not inserted twice.
    manager().toggleFloat(record(2));
    settle();
    manager().strips[primaryKey()].insertWindow(2, 0.5, std::nullopt, false);
    manager().toggleFloat(record(2));
    settle();
    EXPECT_EQ(stateOf(2), State::tiled);
    EXPECT_EQ(order().size(), 3u);

    // Without a known focus the platform is asked which window it is.
    desk.focusWindow(3);
    settle();
    manager().focusedID.reset();
    act(Action::toggleFloat);
    EXPECT_EQ(stateOf(3), State::floating);
    EXPECT_EQ(strip().count(), 2);
}

TEST_F(Perform, SendToNextDisplaySkipsDisabledDisplaysAndWrapsRound) {
    const std::string studio = desk.addDisplay(Rect{1440, 0, 1920, 1080}, "Studio");
    const std::string side = desk.addDisplay(Rect{3360, 0, 1440, 900}, "Side");
    config.disabledDisplays = {studio};
    tile(3);
    act(Action::cycleWidth);
    manager().perform(Action::sendToNextDisplay);
    EXPECT_TRUE(manager().animator.hasMotion());  // the others close up
    settle();
    EXPECT_TRUE(logged("layout", tag(1) + " sent to Side"));
    EXPECT_EQ(text(keyOf(side)), "[1*]:0.6667");
    EXPECT_EQ(record(1)->key, keyOf(side));
    EXPECT_EQ(manager().activeKey, keyOf(side));
    EXPECT_EQ(order(), (std::vector<WindowID>{2, 3}));
    EXPECT_TRUE(desk.display(side)->frame.contains(laidOut(1).centre()));
    EXPECT_TRUE(strip(keyOf(studio)).isEmpty());
    act(Action::sendToNextDisplay);  // from the last enabled display back to the first
    EXPECT_TRUE(strip().contains(1));
    EXPECT_TRUE(strip(keyOf(side)).isEmpty());
    EXPECT_TRUE(desk.display(primary)->visible.contains(laidOut(1).centre()));

    // With only one enabled display left there is nowhere to send.
    Config one = manager().config;
    one.disabledDisplays = {studio, side};
    manager().apply(one);
    settle();
    const Strip before = strip();
    act(Action::sendToNextDisplay);
    EXPECT_EQ(strip(), before);
}

TEST_F(Perform, OnlyToggleTilingWorksWhilePaused) {
    manage("Editor");
    manage("Editor");
    const Strip before = strip();
    manager().perform(Action::focusFirst);
    manager().perform(Action::toggleTimeline);
    manager().perform(Action::overview);
    EXPECT_EQ(strip(), before);
    EXPECT_TRUE(overlays().calls().empty());
    EXPECT_TRUE(manager().chord().used);
    manager().perform(Action::toggleTiling);
    EXPECT_TRUE(manager().running);
    manager().perform(Action::toggleTiling);
    EXPECT_FALSE(manager().running);
}

TEST_F(Perform, TheTimelineTogglesAndTheOverviewNeedsWindowsAndClosesIt) {
    start();
    act(Action::overview);
    EXPECT_FALSE(overlays().overviewOpen());
    EXPECT_EQ(overlays().count("closeTimeline"), 0);
    openWindow("Mail", "Inbox");
    settle();
    act(Action::toggleTimeline);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::pinned);
    EXPECT_EQ(overlays().timelineKey(), primaryKey());
    act(Action::toggleTimeline);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);
    overlays().beginTimelinePeek(primaryKey());
    act(Action::toggleTimeline);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);

    act(Action::toggleTimeline);
    act(Action::overview);
    EXPECT_EQ(overlays().overviewKey(), primaryKey());
    EXPECT_FALSE(overlays().timelineOpen());
    act(Action::overview);
    EXPECT_FALSE(overlays().overviewOpen());
}

TEST_F(Perform, TheTimelineFocusesColumnsAndWindowsAndDropsOnlyRealMoves) {
    config.mouseFollowsFocus = true;
    tile(3);
    act(Action::focusLast);
    const auto warps = input().warps().size();  // the timeline is where the pointer is
    const int shown = overlays().count("showStrip");
    manager().focusColumn(3, primaryKey());
    manager().focusColumn(-1, primaryKey());
    EXPECT_EQ(overlays().count("showStrip"), shown);
    manager().focusColumn(0, primaryKey());
    EXPECT_TRUE(manager().animator.hasMotion());  // the strip slides
    settle();
    EXPECT_EQ(text(), "[1*] [2] [3]p");
    EXPECT_EQ(strip().scroll, 0);
    EXPECT_EQ(overlays().count("showStrip"), shown + 1);
    EXPECT_FALSE(overlays().stripsShown().back().second);  // and fades
    manager().focusWindow(3, primaryKey());
    EXPECT_TRUE(manager().animator.hasMotion());
    settle();
    EXPECT_EQ(text(), "[1]p [2] [3*]");
    manager().focusWindow(99999, primaryKey());
    manager().focusWindow(1, StripKey{"no such display", 0});
    EXPECT_EQ(text(), "[1]p [2] [3*]");

    manager().drop(3, Stack{0, 1}, primaryKey());
    EXPECT_TRUE(manager().animator.hasMotion());
    settle();
    EXPECT_EQ(input().warps().size(), warps);
    EXPECT_EQ(text(), "[1 3*] [2]");
    EXPECT_TRUE(logged("layout", "window #3 moved in the timeline"));
    EXPECT_LT(laidOut(1).height, 500);  // the two share the column's height
    EXPECT_GT(laidOut(3).y, laidOut(1).y);
    LogStore::shared().clear();
    manager().drop(2, NewColumn{1}, primaryKey());  // where it already is
    manager().drop(99999, NewColumn{0}, primaryKey());
    EXPECT_EQ(text(), "[1 3*] [2]");
    EXPECT_TRUE(logLines("layout").empty());
}

}  // namespace
}  // namespace tessaline
