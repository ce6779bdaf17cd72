// The user's commands on the simulated desktop: what they do to the strip,
// which frames reach the windows, and what they leave alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engine/wm/ScrollController.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

using State = ManagedWindow::State;

class Perform : public Scenario {
protected:
    // Three windows of three applications, discovered into the primary strip.
    // Returns them in column order.
    std::vector<WindowID> tileThree() {
        openWindow("Mail", "Inbox", {100, 100, 600, 500});
        openWindow("Notes", "List", {300, 120, 600, 500});
        openWindow("Terminal", "Shell", {500, 140, 600, 500});
        start();
        return order(primaryKey());
    }
    Strip current() { return strip(primaryKey()); }
    void act(Action action) {
        manager().perform(action);
        settle();
    }
    int stripFlashes() const { return desk.overlays()->count("showStrip"); }
    std::string tagOf(WindowID id) { return manager().windowRecord(id)->tag(); }
};

// ---------------------------------------------------------------------------
// Editing the strip

TEST_F(Perform, FocusAndMoveEditTheStripAndMoveTheWindows) {
    const auto ids = tileThree();
    ASSERT_EQ(ids.size(), 3u);
    act(Action::focusFirst);
    EXPECT_EQ(current().focused, 0);
    act(Action::focusRight);
    EXPECT_EQ(current().focused, 1);
    EXPECT_TRUE(logged("layout", "focusRight"));

    const double leftBefore = frameOf(ids[0])->x;
    act(Action::moveLeft);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{ids[1], ids[0], ids[2]}));
    EXPECT_EQ(current().focused, 0);
    EXPECT_EQ(manager().activeKey, primaryKey());
    // The frames written follow the new order.
    EXPECT_LT(frameOf(ids[1])->x, frameOf(ids[0])->x);
    EXPECT_GT(frameOf(ids[0])->x, leftBefore);

    act(Action::moveLast);
    EXPECT_EQ(order(primaryKey()).back(), ids[1]);
    EXPECT_EQ(current().focused, 2);
}

TEST_F(Perform, FocusLeftAtTheLeftEdgeOnlyFlashesTheStrip) {
    tileThree();
    act(Action::focusFirst);
    LogStore::shared().clear();
    const Strip before = current();
    const int flashes = stripFlashes();

    act(Action::focusLeft);
    EXPECT_EQ(current(), before);
    EXPECT_TRUE(logLines("layout").empty());
    ASSERT_EQ(stripFlashes(), flashes + 1);
    EXPECT_EQ(overlays().stripsShown().back(), std::make_pair(primaryKey(), false));
}

TEST_F(Perform, NumberedFocusAndMoveClampToTheLastColumn) {
    const auto ids = tileThree();
    act(Action::focus9);
    EXPECT_EQ(current().focused, 2);
    act(Action::focus1);
    EXPECT_EQ(current().focused, 0);
    act(Action::moveTo9);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{ids[1], ids[2], ids[0]}));
    EXPECT_TRUE(logged("layout", "moveTo9"));
}

TEST_F(Perform, WidthsCycleToggleAndStopAtFullWidth) {
    const auto ids = tileThree();
    act(Action::focusFirst);
    ASSERT_DOUBLE_EQ(current().columns[0].width, 0.5);
    const double halfWidth = frameOf(ids[0])->width;

    act(Action::cycleWidth);
    EXPECT_NEAR(current().columns[0].width, 2.0 / 3.0, 1e-9);
    EXPECT_TRUE(logged("layout", "cycleWidth"));
    EXPECT_GT(frameOf(ids[0])->width, halfWidth);
    act(Action::cycleWidth);  // from the widest preset back to the smallest
    EXPECT_NEAR(current().columns[0].width, 1.0 / 3.0, 1e-9);

    act(Action::fullWidth);
    EXPECT_DOUBLE_EQ(current().columns[0].width, 1.0);
    EXPECT_GT(frameOf(ids[0])->width, 1400);
    LogStore::shared().clear();
    act(Action::wider);
    EXPECT_TRUE(logLines("layout").empty());
    act(Action::fullWidth);
    EXPECT_NEAR(current().columns[0].width, 1.0 / 3.0, 1e-9);
}

TEST_F(Perform, CentreHoldsEvenForAColumnWiderThanTheScreen) {
    // The reveal rule would put such a column's left edge back at the
    // screen's left edge, undoing the centring.
    config.centreMode = CentreMode::never;
    const auto ids = tileThree();
    manager().minWidths[ids[1]] = 1700;
    act(Action::focusFirst);
    act(Action::focusRight);
    ASSERT_GT(std::fabs(frameOf(ids[1])->centre().x - 720), 20);

    act(Action::centre);
    EXPECT_TRUE(logged("layout", "centre"));
    EXPECT_NEAR(frameOf(ids[1])->centre().x, 720, 1);
}

TEST_F(Perform, StacksTabsAndPoppingOut) {
    const auto ids = tileThree();
    act(Action::focusLast);
    act(Action::stackLeft);
    ASSERT_EQ(current().count(), 2);
    EXPECT_EQ(current().columns[1].windows, (std::vector<WindowID>{ids[1], ids[2]}));

    act(Action::toggleTabbed);
    ASSERT_TRUE(current().columns[1].tabbed);
    EXPECT_EQ(current().columns[1].active, 1);
    // The hidden tab waits at the right edge of the display, the shown one is on screen.
    EXPECT_GE(frameOf(ids[1])->x, 1430);
    EXPECT_LT(frameOf(ids[2])->x, 1400);

    manager().selectTab(primaryKey(), 1, 0);
    settle();
    EXPECT_EQ(current().columns[1].active, 0);
    EXPECT_LT(frameOf(ids[1])->x, 1400);
    EXPECT_GE(frameOf(ids[2])->x, 1430);
    manager().selectTab(primaryKey(), 1, 2);  // no such tab
    EXPECT_EQ(current().columns[1].active, 0);

    act(Action::toggleTabbed);
    act(Action::popOutRight);
    EXPECT_EQ(current().count(), 3);
    EXPECT_EQ(current().columns[2].windows, std::vector<WindowID>{ids[1]});
    EXPECT_TRUE(logged("layout", "popOutRight"));
}

// ---------------------------------------------------------------------------
// Floating and tiling again

TEST_F(Perform, FloatingCentresTheWindowAndTilingPutsItBack) {
    const auto ids = tileThree();
    act(Action::focusFirst);
    const WindowPtr window = manager().windowRecord(ids[0]);
    manager().focusedID = ids[0];

    act(Action::toggleFloat);
    EXPECT_EQ(window->state, State::floating);
    EXPECT_EQ(window->manualFloat, true);
    EXPECT_FALSE(current().contains(ids[0]));
    // 1440×875 visible below the menu bar: 864×613 (612.5 rounded away from zero).
    EXPECT_EQ(frameOf(ids[0]), (Rect{288, 156, 864, 613}));
    EXPECT_TRUE(logged("layout", tagOf(ids[0]) + " floats"));

    manager().focusedID = ids[0];
    act(Action::toggleFloat);
    EXPECT_EQ(window->state, State::tiled);
    EXPECT_EQ(window->manualFloat, false);
    EXPECT_EQ(window->key, primaryKey());
    EXPECT_EQ(current().count(), 3);
    EXPECT_TRUE(current().contains(ids[0]));
    EXPECT_TRUE(logged("layout", tagOf(ids[0]) + " tiles again"));
}

TEST_F(Perform, TilingAWindowAlreadyInItsStripDoesNotInsertItTwice) {
    const auto ids = tileThree();
    const WindowPtr window = manager().windowRecord(ids[1]);
    manager().toggleFloat(window);
    settle();
    ASSERT_EQ(window->state, State::floating);
    manager().strips[primaryKey()].insertWindow(ids[1], 0.5, std::nullopt, false);

    manager().toggleFloat(window);
    settle();
    EXPECT_EQ(window->state, State::tiled);
    const auto windows = order(primaryKey());
    EXPECT_EQ(std::count(windows.begin(), windows.end(), ids[1]), 1);
    EXPECT_EQ(windows.size(), 3u);
}

TEST_F(Perform, FloatWithoutAKnownFocusAsksThePlatform) {
    const auto ids = tileThree();
    desk.focusWindow(ids[2]);
    settle();
    manager().focusedID.reset();

    act(Action::toggleFloat);
    EXPECT_EQ(manager().windowRecord(ids[2])->state, State::floating);
    EXPECT_EQ(current().count(), 2);
}

// ---------------------------------------------------------------------------
// Displays

TEST_F(Perform, SendToNextDisplaySkipsDisabledDisplaysAndWrapsRound) {
    const std::string studio = desk.addDisplay(Rect{1440, 0, 1920, 1080}, "Studio");
    const std::string side = desk.addDisplay(Rect{3360, 0, 1440, 900}, "Side");
    config.disabledDisplays = {studio};
    const auto ids = tileThree();
    act(Action::focusFirst);
    const double width = current().columns[0].width;
    act(Action::cycleWidth);
    const double kept = current().columns[0].width;
    ASSERT_NE(kept, width);

    act(Action::sendToNextDisplay);
    EXPECT_TRUE(logged("layout", tagOf(ids[0]) + " sent to Side"));
    ASSERT_EQ(order(keyOf(side)), std::vector<WindowID>{ids[0]});
    EXPECT_DOUBLE_EQ(strip(keyOf(side)).columns[0].width, kept);
    EXPECT_EQ(manager().windowRecord(ids[0])->key, keyOf(side));
    EXPECT_EQ(manager().activeKey, keyOf(side));
    EXPECT_FALSE(current().contains(ids[0]));
    EXPECT_TRUE(desk.display(side)->frame.contains(frameOf(ids[0])->centre()));
    EXPECT_TRUE(strip(keyOf(studio)).isEmpty());

    act(Action::sendToNextDisplay);  // from the last enabled display back to the first
    EXPECT_TRUE(current().contains(ids[0]));
    EXPECT_TRUE(strip(keyOf(side)).isEmpty());
    EXPECT_TRUE(desk.display(primary)->visible.contains(frameOf(ids[0])->centre()));
}

TEST_F(Perform, SendToNextDisplayNeedsTwoEnabledDisplays) {
    const std::string studio = desk.addDisplay(Rect{1440, 0, 1920, 1080}, "Studio");
    config.disabledDisplays = {studio};
    tileThree();
    const Strip before = current();
    act(Action::sendToNextDisplay);
    EXPECT_EQ(current(), before);
    EXPECT_TRUE(strip(keyOf(studio)).isEmpty());
}

// ---------------------------------------------------------------------------
// Tiling, timeline and overview

TEST_F(Perform, OnlyToggleTilingWorksWhilePaused) {
    const WindowPtr a = manage("Editor");
    manage("Editor");
    const Strip before = current();
    manager().perform(Action::focusFirst);
    manager().perform(Action::toggleTimeline);
    manager().perform(Action::overview);
    EXPECT_EQ(current(), before);
    EXPECT_TRUE(overlays().calls().empty());
    EXPECT_TRUE(manager().chord().used);

    manager().perform(Action::toggleTiling);
    EXPECT_TRUE(manager().running);
    manager().perform(Action::toggleTiling);
    EXPECT_FALSE(manager().running);
}

TEST_F(Perform, ToggleTimelineOpensPinnedAndCloses) {
    tileThree();
    act(Action::toggleTimeline);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::pinned);
    EXPECT_EQ(overlays().timelineKey(), primaryKey());
    act(Action::toggleTimeline);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);

    overlays().beginTimelinePeek(primaryKey());
    act(Action::toggleTimeline);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);
}

TEST_F(Perform, OverviewNeedsWindowsAndClosesTheTimeline) {
    start();
    act(Action::overview);
    EXPECT_FALSE(overlays().overviewOpen());
    EXPECT_EQ(overlays().count("closeTimeline"), 0);

    openWindow("Mail", "Inbox");
    settle();
    ASSERT_EQ(current().count(), 1);
    act(Action::toggleTimeline);
    act(Action::overview);
    EXPECT_EQ(overlays().overviewKey(), primaryKey());
    EXPECT_FALSE(overlays().timelineOpen());
    act(Action::overview);
    EXPECT_FALSE(overlays().overviewOpen());
}

// ---------------------------------------------------------------------------
// Operations of the timeline and the overview

TEST_F(Perform, TimelineFocusesColumnsAndWindows) {
    const auto ids = tileThree();
    const int flashes = stripFlashes();
    manager().focusColumn(3, primaryKey());
    manager().focusColumn(-1, primaryKey());
    EXPECT_EQ(stripFlashes(), flashes);

    manager().focusColumn(0, primaryKey());
    settle();
    EXPECT_EQ(current().focused, 0);
    EXPECT_EQ(stripFlashes(), flashes + 1);

    manager().focusWindow(ids[2], primaryKey());
    settle();
    EXPECT_EQ(current().focused, 2);
    const Strip before = current();
    manager().focusWindow(99999, primaryKey());
    manager().focusWindow(ids[0], StripKey{"no such display", 0});
    EXPECT_EQ(current(), before);
}

TEST_F(Perform, DropsMoveWindowsAndLogOnlyRealMoves) {
    const auto ids = tileThree();
    manager().drop(ids[2], Stack{0, 1}, primaryKey());
    settle();
    EXPECT_EQ(current().count(), 2);
    EXPECT_EQ(current().columns[0].windows, (std::vector<WindowID>{ids[0], ids[2]}));
    EXPECT_TRUE(logged("layout", "window #" + std::to_string(ids[2]) + " moved in the timeline"));
    // The two windows now share the column's height.
    EXPECT_LT(frameOf(ids[0])->height, 500);
    EXPECT_GT(frameOf(ids[2])->y, frameOf(ids[0])->y);

    LogStore::shared().clear();
    const Strip before = current();
    manager().drop(ids[1], NewColumn{1}, primaryKey());  // where it already is
    manager().drop(99999, NewColumn{0}, primaryKey());
    EXPECT_EQ(current(), before);
    EXPECT_TRUE(logLines("layout").empty());
}

}  // namespace
}  // namespace tessaline
