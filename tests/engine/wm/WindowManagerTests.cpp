#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/Layout.h"
#include "engine/wm/DragController.h"
#include "engine/wm/WindowTracker.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

using Policy = WindowManager::ScrollPolicy;
using State = ManagedWindow::State;
using nlohmann::json;

constexpr Rect kSecondFrame{1440, 0, 1920, 1080};

bool inside(const Rect& inner, const Rect& outer) {
    return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() &&
           inner.minY() >= outer.minY() && inner.maxY() <= outer.maxY();
}

// Writes of one window since the history was last cleared.
std::vector<SimFrameWriter::WriteRecord> writesTo(SimFrameWriter& writer, WindowID id) {
    std::vector<SimFrameWriter::WriteRecord> result;
    for (const auto& record : writer.history()) {
        if (record.window == id) result.push_back(record);
    }
    return result;
}

// ---------------------------------------------------------------------------
// Starting and stopping

TEST_F(Scenario, StartRunsOnceAndAlwaysNotifies) {
    int changes = 0;
    manager().onChange = [&] { ++changes; };
    start();
    manager().start();
    settle();
    EXPECT_TRUE(manager().running);
    EXPECT_EQ(logLines("lifecycle"), std::vector<std::string>{"tiling started"});
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(input().configureCalls().size(), 1u);
    EXPECT_TRUE(system().started());
    EXPECT_TRUE(input().started());
}

TEST_F(Scenario, StopWhenStoppedDoesNothing) {
    int changes = 0;
    manager().onChange = [&] { ++changes; };
    manager().stop();
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(logLines("lifecycle").empty());
    EXPECT_EQ(overlays().count("hideAll"), 0);
}

TEST_F(Scenario, WithoutPermissionStartLeavesTilingOffButNotifies) {
    desk.setTrusted(false);
    const WindowID id = openWindow("Mail");
    int changes = 0;
    manager().onChange = [&] { ++changes; };
    start();
    EXPECT_FALSE(manager().running);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(system().started());
    EXPECT_TRUE(manager().windows.empty());
    EXPECT_EQ(frameOf(id), (Rect{100, 100, 800, 600}));
}

TEST_F(Scenario, ToggleSwitchesBetweenRunningAndStopped) {
    manager().toggle();
    EXPECT_TRUE(manager().running);
    manager().toggle();
    EXPECT_FALSE(manager().running);
    EXPECT_EQ(logLines("lifecycle"), (std::vector<std::string>{"tiling started", "tiling stopped"}));
}

TEST_F(Scenario, StopDrainsWritesBringsWindowsOnScreenAndForgetsEverything) {
    start();
    std::vector<WindowPtr> placed;
    for (int i = 0; i < 5; ++i) placed.push_back(manage("Editor"));
    manager().focusedID = placed.back()->id;
    manager().minWidths[placed[0]->id] = 300;
    // Animated, so that flights are still under way when tiling stops.
    manager().relayout(manager().activeKeys(), true, Policy::reveal, true, false);
    int changes = 0;
    manager().onChange = [&] { ++changes; };

    manager().stop();
    EXPECT_EQ(writer().pendingCount(), 0u);
    const Rect visible = desk.display(primary)->visible;
    for (const WindowPtr& window : placed) {
        EXPECT_TRUE(inside(*frameOf(window->id), visible)) << window->tag();
    }
    EXPECT_FALSE(manager().running);
    EXPECT_TRUE(manager().windows.empty());
    EXPECT_TRUE(manager().strips.empty());
    EXPECT_TRUE(manager().handles.empty());
    EXPECT_TRUE(manager().minWidths.empty());
    EXPECT_FALSE(manager().focusedID);
    EXPECT_FALSE(manager().activeKey);
    EXPECT_FALSE(system().started());
    EXPECT_FALSE(input().started());
    EXPECT_EQ(overlays().count("hideAll"), 1);
    EXPECT_EQ(changes, 1);

    // Nothing left in flight writes afterwards.
    writer().clearHistory();
    settle();
    EXPECT_TRUE(writer().history().empty());
}

// ---------------------------------------------------------------------------
// Discovery and the relayout pipeline

TEST_F(Scenario, DiscoversWindowsOfThreeAppsOnTwoDisplaysInPositionOrder) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    const WindowID mailRight = openWindow("Mail", "Inbox", {600, 100, 700, 500});
    const WindowID notes = openWindow("Notes", "List", {50, 120, 500, 500});
    const WindowID safari = openWindow("Safari", "News", {1500, 100, 900, 700});
    const WindowID mailFar = openWindow("Mail", "Draft", {2600, 100, 600, 500});
    start();

    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{notes, mailRight}));
    EXPECT_EQ(order(keyOf(second)), (std::vector<WindowID>{safari, mailFar}));
    EXPECT_EQ(manager().tiledCount(), 4);

    // Laid out: side by side from the left edge of each display.
    const Rect visible = desk.display(primary)->visible;
    EXPECT_DOUBLE_EQ(frameOf(notes)->x, visible.x + manager().config.gap);
    EXPECT_LT(frameOf(notes)->maxX(), frameOf(mailRight)->x);
    EXPECT_DOUBLE_EQ(frameOf(safari)->x, kSecondFrame.x + manager().config.gap);
    EXPECT_LT(frameOf(safari)->maxX(), frameOf(mailFar)->x);
}

TEST_F(Scenario, UnchangedFramesAreNeverSentAgain) {
    start();
    const WindowPtr a = manage("Editor");
    const WindowPtr b = manage("Editor");
    relayoutAll();
    settle();
    ASSERT_FALSE(writesTo(writer(), a->id).empty());

    writer().clearHistory();
    relayoutAll();
    manager().relayout(manager().activeKeys(), true, Policy::keep, false, false);
    settle();
    EXPECT_TRUE(writer().history().empty());

    // Retiling forgets what was sent, so every window is written once more.
    manager().retile();
    settle();
    EXPECT_EQ(writesTo(writer(), a->id).size(), 1u);
    EXPECT_EQ(writesTo(writer(), b->id).size(), 1u);
}

TEST_F(Scenario, StripOfAnInactiveSpaceOrDisabledDisplayIsNotLaidOut) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    config.disabledDisplays = {second};
    const SpaceID other = desk.addSpace(primary);
    start();
    const StripKey hiddenKey{primary, other};
    const WindowPtr away = manage("Editor", {100, 100, 800, 600}, hiddenKey);
    const WindowPtr off = manage("Editor", {1600, 100, 800, 600}, keyOf(second));
    manager().relayout({hiddenKey, keyOf(second), primaryKey()}, false, Policy::reveal, true, false);
    settle();
    EXPECT_TRUE(writesTo(writer(), away->id).empty());
    EXPECT_TRUE(writesTo(writer(), off->id).empty());
    EXPECT_FALSE(manager().isActive(hiddenKey));
    EXPECT_FALSE(manager().isActive(keyOf(second)));
    EXPECT_EQ(manager().activeKeys(), std::vector<StripKey>{primaryKey()});

    // Once its Space is shown, the strip is laid out.
    desk.switchSpace(primary, other);
    settle();
    EXPECT_FALSE(writesTo(writer(), away->id).empty());
    EXPECT_TRUE(writesTo(writer(), off->id).empty());
}

TEST_F(Scenario, DraggedWindowIsLeftAlone) {
    start();
    const WindowPtr a = manage("Editor");
    const WindowPtr b = manage("Editor");
    relayoutAll();
    settle();
    const Rect before = *frameOf(a->id);
    const Rect other = *frameOf(b->id);

    DragController::Drag drag;
    drag.id = a->id;
    drag.key = primaryKey();
    manager().drag().drag = drag;
    ASSERT_EQ(manager().dragging(), a->id);
    manager().strips[primaryKey()].columns[0].width = 0.3;
    manager().strips[primaryKey()].columns[1].width = 0.3;
    manager().relayout({primaryKey()}, false, Policy::reveal, true, false);
    settle();
    EXPECT_EQ(*frameOf(a->id), before);
    EXPECT_NE(*frameOf(b->id), other);
    manager().drag().drag.reset();
}

TEST_F(Scenario, HiddenTabsAreParkedRightAndTheActiveTabSitsBelowTheTabBar) {
    start();
    const WindowPtr a = manage("Editor");
    const WindowPtr b = manage("Editor");
    const WindowPtr c = manage("Editor");
    Strip& strip = manager().strips[primaryKey()];
    strip = Strip({Column({a->id, b->id}, 0.5, true), Column({c->id}, 0.5)}, 0, 0);
    relayoutAll();
    settle();

    const Display display = *desk.display(primary);
    const Rect shown = *frameOf(a->id);
    const Rect plain = *frameOf(c->id);
    EXPECT_DOUBLE_EQ(shown.y, plain.y + WindowManager::tabBarHeight);
    EXPECT_DOUBLE_EQ(shown.height, plain.height - WindowManager::tabBarHeight);
    EXPECT_DOUBLE_EQ(frameOf(b->id)->x, display.frame.maxX() - 1);

    const auto bars = manager().tabBars();
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0].ids, (std::vector<WindowID>{a->id, b->id}));
    EXPECT_EQ(bars[0].column, 0);
    EXPECT_EQ(bars[0].active, 0);
}

TEST_F(Scenario, ViewportLosesTheStripBarsReservedHeight) {
    overlays().setReservedHeight([](int columns, const Display&) { return columns * 10.0; });
    start();
    const WindowPtr a = manage("Editor");
    relayoutAll();
    settle();
    const Rect tall = *frameOf(a->id);
    manage("Editor");
    relayoutAll();
    settle();
    EXPECT_DOUBLE_EQ(frameOf(a->id)->height, tall.height - 10);
}

TEST_F(Scenario, FollowingRelayoutSkipsTheSaveAndOnlyMovesOverlays) {
    start();
    manage("Editor");
    overlays().clearCalls();
    manager().relayout({primaryKey()}, true, Policy::keep, false, true);
    EXPECT_EQ(overlays().count("refresh"), 0);
    EXPECT_GE(overlays().count("followFrames"), 1);
}

// ---------------------------------------------------------------------------
// Windows that do not take their size

TEST_F(Scenario, WindowThatRefusesToShrinkWidensItsColumnForGood) {
    start();
    const WindowPtr wide = manage("Wide");
    desk.setMinSize(wide->id, {900, 0});
    manage("Editor");
    relayoutAll();
    settle();

    EXPECT_DOUBLE_EQ(manager().minWidths.at(wide->id), 900);
    EXPECT_TRUE(logged("layout", wide->tag() + " won't go narrower than 900 pt"));
    const Column& column = manager().strips[primaryKey()].columns[0];
    EXPECT_NEAR(column.width, Layout::fractionForWidth(900, 1440, 10), 1e-9);
    EXPECT_DOUBLE_EQ(frameOf(wide->id)->width, 900);

    // Learned once: later layouts keep the column wide and log nothing more.
    manager().retile();
    settle();
    EXPECT_EQ(logLines("layout").size(), 1u);
    EXPECT_NEAR(manager().strips[primaryKey()].columns[0].width,
                Layout::fractionForWidth(900, 1440, 10), 1e-9);
}

TEST_F(Scenario, WidthIsLearnedFromThreePointsWiderAndOnlyWhenItGrowsByAPoint) {
    start();
    const WindowPtr a = manage("Editor");
    WindowManager& wm = manager();
    wm.noteResize(a->id, {700, 800}, {702, 800});
    EXPECT_FALSE(wm.minWidths.count(a->id));
    wm.noteResize(a->id, {700, 800}, {703, 800});
    EXPECT_DOUBLE_EQ(wm.minWidths.at(a->id), 703);
    wm.noteResize(a->id, {700, 800}, {703.9, 800});
    EXPECT_DOUBLE_EQ(wm.minWidths.at(a->id), 703);
    wm.noteResize(a->id, {700, 800}, {704.5, 800});
    EXPECT_DOUBLE_EQ(wm.minWidths.at(a->id), 704.5);
    EXPECT_EQ(logLines("layout"), (std::vector<std::string>{
                                      a->tag() + " won't go narrower than 703 pt",
                                      a->tag() + " won't go narrower than 704 pt"}));

    // Floating windows and a stopped manager learn nothing.
    a->state = State::floating;
    wm.noteResize(a->id, {700, 800}, {900, 800});
    EXPECT_DOUBLE_EQ(wm.minWidths.at(a->id), 704.5);
}

class SizeCheck : public Scenario {
protected:
    // One tiled window, settled at its target frame.
    WindowPtr settled() {
        start();
        WindowPtr window = manage("Editor");
        relayoutAll();
        settle();
        writer().clearHistory();
        return window;
    }
};

TEST_F(SizeCheck, HeightOffByFourIsAcceptedByFiveResent) {
    const WindowPtr a = settled();
    const Rect target = *manager().animator.target(a->id);

    desk.setFrame(a->id, {target.x, target.y, target.width, target.height - 4});
    manager().checkSize(a->id, 1);
    settle();
    EXPECT_TRUE(writer().history().empty());

    desk.setFrame(a->id, {target.x, target.y, target.width, target.height - 5});
    manager().checkSize(a->id, 1);
    settle();
    ASSERT_EQ(writesTo(writer(), a->id).size(), 1u);
    EXPECT_EQ(writer().history()[0].asked, target);
    EXPECT_TRUE(writer().history()[0].writeSize);
    EXPECT_EQ(*frameOf(a->id), target);
    EXPECT_EQ(logLines("layout"),
              std::vector<std::string>{a->tag() + " is " + sizeText({target.width, target.height - 5}) +
                                       ", not " + sizeText(target.size()) + ": resizing it again"});
}

TEST_F(SizeCheck, NarrowWindowIsResentOnceMoreASecondLater) {
    const WindowPtr a = settled();
    const Rect target = *manager().animator.target(a->id);
    // Grows taller than asked and stays so: both attempts are spent, no more.
    desk.setMinSize(a->id, {0, target.height + 30});
    writer().clearHistory();
    manager().checkSizes({primaryKey(), primaryKey()}, 0.72, 2);
    settle(0.7);
    EXPECT_TRUE(writer().history().empty());
    settle(5);
    EXPECT_EQ(writesTo(writer(), a->id).size(), 2u);
    EXPECT_EQ(logLines("layout").size(), 2u);

    // Wider than asked is not this check's business.
    LogStore::shared().clear();
    writer().clearHistory();
    desk.setMinSize(a->id, {0, 0});
    desk.setFrame(a->id, {target.x, target.y, target.width + 50, target.height});
    manager().checkSize(a->id, 2);
    settle(5);
    EXPECT_TRUE(writer().history().empty());
}

TEST_F(SizeCheck, LateAnswersChangeNothing) {
    const WindowPtr a = settled();
    const Rect target = *manager().animator.target(a->id);
    desk.setFrame(a->id, {target.x, target.y, target.width, target.height - 50});

    // The window's record went away (closed) before the frame arrived.
    manager().checkSize(a->id, 2);
    manager().windows.erase(a->id);
    settle();
    EXPECT_TRUE(writer().history().empty());

    // A new target was set meanwhile.
    manager().windows[a->id] = a;
    manager().checkSize(a->id, 2);
    manager().animator.assume(a->id, {0, 0, 300, 300});
    settle();
    EXPECT_TRUE(writer().history().empty());

    // The manager stopped before the answer came.
    manager().animator.assume(a->id, target);
    manager().checkSize(a->id, 2);
    manager().stop();
    writer().clearHistory();
    settle();
    EXPECT_TRUE(writer().history().empty());
}

TEST_F(SizeCheck, AnswersAfterTheManagerIsGoneAreDropped) {
    const WindowPtr a = settled();
    const Rect target = *manager().animator.target(a->id);
    desk.setFrame(a->id, {target.x, target.y, target.width, target.height - 50});
    manager().checkSize(a->id, 2);
    manager().checkSizes({primaryKey()}, 0.1, 2);
    bool answered = false;
    manager().debugState(true, [&](const json& state) { answered = state.empty(); });
    destroyManager();
    settle();
    EXPECT_TRUE(writer().history().empty());
    EXPECT_TRUE(answered);
}

// ---------------------------------------------------------------------------
// Sizes chosen by the user

TEST_F(Scenario, MaximisingByHandTogglesFullWidth) {
    const Display display = *desk.display(primary);
    Strip strip({Column({1}, 0.5), Column({2}, 0.5)}, 0, 0);
    manager().minWidths[1] = 400;
    const Rect maximised{0, 25, display.visible.width, 875};

    const Column before = strip.columns[0];
    manager().adoptSize(maximised, 1, strip, display, &before);
    EXPECT_DOUBLE_EQ(strip.columns[0].width, 1.0);
    EXPECT_EQ(strip.columns[0].savedWidth, 0.5);
    EXPECT_FALSE(manager().minWidths.count(1));

    const Column full = strip.columns[0];
    manager().adoptSize(maximised, 1, strip, display, &full);
    EXPECT_DOUBLE_EQ(strip.columns[0].width, 0.5);
    EXPECT_FALSE(strip.columns[0].savedWidth);

    // Already full width without a saved width: back to the default width.
    strip.columns[0].width = 1.0;
    manager().adoptSize({0, 25, 0.95 * display.visible.width, 875}, 1, strip, display);
    EXPECT_DOUBLE_EQ(strip.columns[0].width, manager().config.defaultWidth);

    // An ordinary resize takes its share of the screen, bounded to 0.1...1.
    manager().adoptSize({0, 25, 700, 875}, 1, strip, display);
    EXPECT_DOUBLE_EQ(strip.columns[0].width, Layout::fractionForWidth(700, 1440, 10));
    manager().adoptSize({0, 25, 20, 875}, 1, strip, display);
    EXPECT_DOUBLE_EQ(strip.columns[0].width, 0.1);
    const Strip unchanged = strip;
    manager().adoptSize({0, 25, 700, 875}, 99, strip, display);
    EXPECT_EQ(strip, unchanged);
}

// ---------------------------------------------------------------------------
// Spaces and displays

TEST_F(Scenario, WindowMovedToAnotherSpaceFollowsToThatStrip) {
    const SpaceID first = desk.currentSpace(primary);
    const SpaceID other = desk.addSpace(primary);
    start();
    const WindowPtr a = manage("Editor");
    const WindowPtr b = manage("Editor");
    relayoutAll();
    settle();
    manager().strips[primaryKey()].columns[1].width = 0.75;

    desk.moveToSpace(b->id, other);
    manager().spaceChanged();
    settle();
    const StripKey otherKey{primary, other};
    EXPECT_EQ(b->key, otherKey);
    EXPECT_EQ(order(StripKey{primary, first}), std::vector<WindowID>{a->id});
    EXPECT_EQ(order(otherKey), std::vector<WindowID>{b->id});
    EXPECT_DOUBLE_EQ(manager().strips[otherKey].columns[0].width, 0.75);
    EXPECT_EQ(logLines("spaces"),
              (std::vector<std::string>{"Space changed", b->tag() + " moved to another Space"}));

    // Switching to that Space lays its strip out.
    writer().clearHistory();
    desk.switchSpace(primary, other);
    settle();
    EXPECT_EQ(writesTo(writer(), b->id).size(), 1u);
    EXPECT_TRUE(writesTo(writer(), a->id).empty());
}

TEST_F(Scenario, SpaceMoveAnsweredAfterTheWindowClosedChangesNothing) {
    const SpaceID other = desk.addSpace(primary);
    start();
    const WindowPtr a = manage("Editor");
    desk.moveToSpace(a->id, other);
    manager().reconcileSpaces();
    manager().removeFromStrip(*a);
    manager().windows.erase(a->id);
    settle();
    EXPECT_FALSE(manager().strips.count(StripKey{primary, other}));
    EXPECT_EQ(a->key, primaryKey());
}

TEST_F(Scenario, UnpluggingADisplayFoldsItsColumnsIntoThePrimaryStrip) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    start();
    const WindowPtr a1 = manage("Editor", {100, 100, 600, 600});
    const WindowPtr a2 = manage("Editor", {100, 100, 600, 600});
    const WindowPtr b1 = manage("Editor", {1600, 100, 600, 600});
    const WindowPtr b2 = manage("Editor", {1600, 100, 600, 600});
    relayoutAll();
    settle();
    int changes = 0;
    manager().onChange = [&] { ++changes; };
    writer().clearHistory();

    desk.removeDisplay(second);
    settle();
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a1->id, a2->id, b1->id, b2->id}));
    EXPECT_FALSE(manager().strips.count(keyOf(second)) ||
                 manager().strips.count(StripKey{second, 0}));
    for (const WindowPtr& w : {b1, b2}) {
        EXPECT_EQ(w->key, primaryKey());
        // Sent whole again, as a window new to the display.
        const auto writes = writesTo(writer(), w->id);
        ASSERT_FALSE(writes.empty()) << w->tag();
        EXPECT_TRUE(writes.front().writeSize);
    }
    EXPECT_EQ(manager().displays.size(), 1u);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(logged("spaces", "displays changed: Built-in"));
}

TEST_F(Scenario, DisplayLookups) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    start();
    WindowManager& wm = manager();
    EXPECT_EQ(wm.displayByUUID(second)->name, "Studio");
    EXPECT_FALSE(wm.displayByUUID("gone"));
    EXPECT_EQ(wm.displayAt({1440, 10})->uuid, second);
    EXPECT_EQ(wm.displayAt({1439, 10})->uuid, primary);
    EXPECT_FALSE(wm.displayAt({-5, 10}));
    // Largest overlap wins; a tie goes to the first display.
    EXPECT_EQ(wm.displayFor({1000, 100, 1000, 500})->uuid, second);
    EXPECT_EQ(wm.displayFor({1240, 100, 400, 500})->uuid, primary);
    // No overlap: the display nearest to the centre.
    EXPECT_EQ(wm.displayFor({3500, 100, 200, 200})->uuid, second);
    EXPECT_EQ(wm.displayFor({-900, 2000, 100, 100})->uuid, primary);
    EXPECT_EQ(wm.keyOn(*wm.displayByUUID(second)), keyOf(second));
}

// ---------------------------------------------------------------------------
// Putting windows into strips

TEST_F(Scenario, NewWindowsGoBesideTheFocusOrWhereTheirRuleSays) {
    AppRule rule;
    rule.bundleID = "com.example.Late";
    rule.placement = AppRule::Placement::end;
    rule.width = 0.4;
    config.appRules = {rule};
    start();
    const WindowPtr a = manage("Editor");
    const WindowPtr b = manage("Editor");
    const WindowPtr c = manage("Editor");
    manager().strips[primaryKey()].focusColumn(0);

    const WindowPtr late = manage("Late");  // placed by hand; now put it in by rule
    manager().removeFromStrip(*late);
    manager().insertNew(*late, false);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a->id, b->id, c->id, late->id}));
    EXPECT_DOUBLE_EQ(manager().strips[primaryKey()].columns[3].width, 0.4);

    manager().strips[primaryKey()].focusColumn(0);
    const WindowPtr plain = manage("Plain");
    manager().removeFromStrip(*plain);
    manager().insertNew(*plain, true);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a->id, plain->id, b->id, c->id, late->id}));
    EXPECT_EQ(manager().activeKey, primaryKey());
}

TEST_F(Scenario, SlotIsRememberedAndRestored) {
    start();
    const WindowPtr a = manage("Editor");
    const WindowPtr b = manage("Editor");
    manage("Editor");
    manager().strips[primaryKey()].columns[1].width = 0.7;

    manager().rememberSlot(*b);
    EXPECT_EQ(b->slot, (ManagedWindow::Slot{1, 0.7}));
    EXPECT_EQ(manager().removeFromStrip(*b), primaryKey());
    EXPECT_EQ(b->key, primaryKey());  // the key stays with the window
    EXPECT_FALSE(manager().removeFromStrip(*b));

    manager().insertAtSlot(*b, false);
    EXPECT_FALSE(b->slot);
    EXPECT_EQ(manager().strips[primaryKey()].locate(b->id), (Strip::Location{1, 0}));
    EXPECT_DOUBLE_EQ(manager().strips[primaryKey()].columns[1].width, 0.7);

    // Inserting twice keeps one copy; without a key nothing happens.
    manager().insert(*b, false);
    EXPECT_EQ(manager().strips[primaryKey()].count(), 3);
    a->key.reset();
    manager().removeFromStrip(*a);
    EXPECT_EQ(manager().strips[primaryKey()].count(), 3);
}

// ---------------------------------------------------------------------------
// Queries

TEST_F(Scenario, CurrentKeyFallsBackToThePointerThenToTheFirstStripWithWindows) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    start();
    WindowManager& wm = manager();
    EXPECT_FALSE(wm.currentKey());

    const WindowPtr there = manage("Editor", {1600, 100, 600, 600});
    wm.activeKey = primaryKey();
    wm.strips[primaryKey()];  // empty
    input().movePointer({1700, 500});
    EXPECT_EQ(wm.currentKey(), keyOf(second));
    input().movePointer({100, 500});
    EXPECT_EQ(wm.currentKey(), keyOf(second));

    manage("Editor", {100, 100, 600, 600});
    EXPECT_EQ(wm.currentKey(), primaryKey());
    wm.activeKey = keyOf(second);
    EXPECT_EQ(wm.currentKey(), keyOf(second));
}

TEST_F(Scenario, FocusedTiledWindowOnlyOnAnActiveStrip) {
    const SpaceID other = desk.addSpace(primary);
    start();
    const WindowPtr a = manage("Editor");
    manager().focusedID = a->id;
    EXPECT_EQ(manager().focusedTiledWindow(), a->id);
    desk.switchSpace(primary, other);
    settle();
    EXPECT_FALSE(manager().focusedTiledWindow());
}

TEST_F(Scenario, TabBarsNameWindowsByTitleThenAppName) {
    start();
    const WindowPtr a = manage("Editor");
    const WindowPtr b = manage("Editor");
    b->title.clear();
    manager().strips[primaryKey()] = Strip({Column({a->id, b->id, 999}, 0.5, true)}, 0, 0);
    manager().strips[primaryKey()].columns[0].active = 1;
    const auto bars = manager().tabBars();
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0].titles, (std::vector<std::string>{"Editor window", "Editor", ""}));
    EXPECT_EQ(bars[0].active, 1);
    manager().stop();
    EXPECT_TRUE(manager().tabBars().empty());
}

TEST_F(Scenario, ReduceMotionChangeIsLoggedAndRefreshesOverlays) {
    start();
    overlays().clearCalls();
    desk.setReduceMotion(true);
    settle(0.1);
    EXPECT_TRUE(logged("lifecycle", "Reduce motion is on"));
    EXPECT_EQ(overlays().count("refresh"), 1);
}

TEST_F(Scenario, ApplyReconfiguresInputOnlyWhenOptionsChange) {
    start();
    Config next = manager().config;
    next.swipeEnabled = false;
    manager().apply(next);
    EXPECT_EQ(input().configureCalls().size(), 2u);
    EXPECT_FALSE(input().options().swipeFingers);
    next.swipeFingers = 4;  // swipe still off: the same options
    manager().apply(next);
    EXPECT_EQ(input().configureCalls().size(), 2u);

    const WindowPtr a = manage("Editor");
    relayoutAll();
    settle();
    const Rect before = *frameOf(a->id);
    next.gap = 30;
    next.detailedLogging = true;
    manager().apply(next);
    settle();
    EXPECT_TRUE(Log::detailed);
    EXPECT_DOUBLE_EQ(frameOf(a->id)->x, before.x + 20);

    // Stopped, settings are only stored.
    manager().stop();
    next.gap = 5;
    manager().apply(next);
    EXPECT_DOUBLE_EQ(manager().config.gap, 5);
}

// ---------------------------------------------------------------------------
// State dictionary

TEST_F(Scenario, StateWithNoWindowsCompletesAtOnce) {
    std::optional<json> state;
    manager().debugState(false, [&](const json& s) { state = s; });
    ASSERT_TRUE(state);
    EXPECT_EQ((*state)["running"], false);
    EXPECT_EQ((*state)["trusted"], true);
    EXPECT_EQ((*state)["strips"], json::array());
    EXPECT_EQ((*state)["untiled"], json::array());
}

TEST_F(Scenario, StateDescribesDisplaysStripsAndUntiledWindows) {
    start();
    const WindowPtr a = manage("Notes");
    const WindowPtr floating = manage("Calc");
    manager().removeFromStrip(*floating);
    floating->state = State::floating;
    relayoutAll();
    settle();
    const Rect target = *manager().animator.target(a->id);
    const std::string rect = wholePoints(target.x) + "," + wholePoints(target.y) + " " +
                             sizeText(target.size());

    std::vector<json> answers;
    manager().debugState(true, [&](const json& s) { answers.push_back(s); });
    EXPECT_TRUE(answers.empty());  // frames are read first
    settle();
    ASSERT_EQ(answers.size(), 1u);
    const json& s = answers[0];
    EXPECT_EQ(s["running"], true);
    EXPECT_EQ(s["spacesSupported"], true);
    EXPECT_EQ(s["displays"], json::parse(R"([{"uuid":")" + primary +
                                         R"(","name":"Built-in","visible":"0,25 1440×875","space":)" +
                                         std::to_string(desk.currentSpace(primary)) + "}]"));
    ASSERT_EQ(s["strips"].size(), 1u);
    const json& strip = s["strips"][0];
    EXPECT_EQ(strip["display"], primary);
    EXPECT_EQ(strip["space"], desk.currentSpace(primary));
    EXPECT_EQ(strip["active"], true);
    EXPECT_EQ(strip["focused"], 0);
    EXPECT_TRUE(strip["scroll"].is_number());
    EXPECT_EQ(strip["columns"][0]["width"], 0.5);
    EXPECT_EQ(strip["columns"][0]["tabbed"], false);
    EXPECT_EQ(strip["columns"][0]["windows"],
              json::array({"Notes — Notes window | target " + rect + " | actual " + rect}));
    EXPECT_EQ(s["untiled"], json::array({"floating: Calc — Calc window"}));

    answers.clear();
    manager().strips[primaryKey()].columns[0].windows.push_back(4242);
    manager().debugState(false, [&](const json& state) { answers.push_back(state); });
    settle();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0]["strips"][0]["columns"][0]["windows"][0],
              a->tag().replace(a->tag().find('#'), 1, " #") + " | target " + rect + " | actual " + rect);
    EXPECT_EQ(answers[0]["strips"][0]["columns"][0]["windows"][1], "? #4242 | target ? | actual ?");
    EXPECT_EQ(answers[0]["untiled"], json::array({"floating: Calc #" + std::to_string(floating->id)}));
}

TEST_F(Scenario, StateDoesNotWaitLongerThanOneAndAHalfSecondsForASlowApp) {
    start();
    const WindowPtr a = manage("Stuck");
    relayoutAll();
    settle();
    desk.setLatency(a->pid, 3.0);
    int answers = 0;
    std::string windowText;
    manager().debugState(false, [&](const json& s) {
        ++answers;
        windowText = s["strips"][0]["columns"][0]["windows"][0];
    });
    settle(1.4);
    EXPECT_EQ(answers, 0);
    settle(0.2);
    EXPECT_EQ(answers, 1);
    EXPECT_TRUE(windowText.ends_with(" | actual ?")) << windowText;
    settle(5);
    EXPECT_EQ(answers, 1);
}

TEST(ManagedWindowState, TextFormsRoundTrip) {
    for (State state : {State::tiled, State::floating, State::minimized, State::fullscreen, State::hidden}) {
        EXPECT_EQ(windowStateFromString(toString(state)), state);
    }
    EXPECT_EQ(toString(State::fullscreen), "fullscreen");
    EXPECT_FALSE(windowStateFromString("Tiled"));
    EXPECT_FALSE(windowStateFromString(""));
}

}  // namespace
}  // namespace tessaline
