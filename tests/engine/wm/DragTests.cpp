// Dragging tiled windows on the simulated desktop: when a drag starts, title
// bar drags that reorder and stack, edge drags that resize, scrolling at the
// screen edge, drops on another display and the thresholds in between.

#include <gtest/gtest.h>

#include "engine/wm/DragController.h"
#include "engine/wm/ScrollController.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

// The simulated built-in display: 1440×900 below a 25-point menu bar.
const Display builtIn{1, "BUILTIN", "Built-in", {0, 0, 1440, 900}, {0, 25, 1440, 875}};

class Dragging : public Scenario {
protected:
    DragController& drag() { return manager().drag(); }
    double width(WindowID id) { return strip().columns[static_cast<std::size_t>(strip().locate(id)->column)].width; }
    void setScroll(double scroll) {
        manager().strips[primaryKey()].scroll = scroll;
        manager().relayout({primaryKey()}, false, WindowManager::ScrollPolicy::none, true, false);
        settle(0.5);
    }
    // A drag of the first window as the edge scroll sees it, the pointer at `x`.
    DragController::Drag edgeDrag(bool moving = true) {
        DragController::Drag d;
        d.id = 1;
        d.key = primaryKey();
        d.moving = moving;
        return d;
    }
    // Polls the edge scroll at `x` after `dt` seconds and answers the scroll.
    double pollAt(DragController::Drag& d, double x, double dt) {
        input().movePointer({x, 500});
        desk.advance(dt);
        drag().scrollAtEdge(d);
        return strip().scroll;
    }
};

TEST_F(Dragging, ADragStartsOnlyForTheWindowTheButtonWentDownOnOrWithinEightPoints) {
    tile(2);
    const Rect frame = laidOut(1);
    const auto moveAfterPressAt = [&](Point at, double dx) {
        press(at);
        desk.setFrame(1, {frame.x + dx, frame.y, frame.width, frame.height});
        settle(0.1);
        return manager().dragging();
    };
    // A click on the other window, after one on this: the application moving its own window is no drag.
    press({frame.midX(), frame.midY()});
    release(0.5);
    EXPECT_FALSE(moveAfterPressAt({laidOut(2).midX(), laidOut(2).midY()}, 30));
    release(0.5);
    EXPECT_FALSE(moveAfterPressAt({frame.minX() - 8.5, frame.midY()}, 40));
    release(0.5);
    // Without the button, the application resizing itself is no drag either.
    desk.setFrame(1, {frame.x, frame.y, frame.width + 40, frame.height});
    settle(0.1);
    EXPECT_FALSE(manager().dragging());
    settle();
    EXPECT_EQ(moveAfterPressAt({frame.minX() - 8, frame.midY()}, 50), 1u);
    EXPECT_EQ(logLines("drag"), std::vector<std::string>{"dragging " + tag(1)});
    EXPECT_TRUE(drag().polling);
    release();

    // Not during a gesture, nor for a floating window.
    manager().scroll().key = primaryKey();
    grabTitle(1);
    dragTo(1, {grabPoint.x + 200, grabPoint.y});
    EXPECT_FALSE(manager().dragging());
    manager().scroll().key.reset();
    record(1)->state = State::floating;
    drag().windowMoved(record(1));
    EXPECT_FALSE(manager().dragging());
    record(1)->state = State::tiled;
    drag().windowMoved(record(1));
    EXPECT_EQ(manager().dragging(), 1u);
    release();
}

TEST_F(Dragging, WindowsTheEngineMovesOrThatCloseEndNoDragAstray) {
    tile(3);
    // 1 glides right through the point where the button is held: not caught
    // mid-flight. (2 comes to rest under the click, which may count as
    // grabbing it where it is: harmless.)
    press({laidOut(1).midX(), laidOut(1).midY()});
    ASSERT_TRUE(manager().strips[primaryKey()].move(1, NewColumn{2}));
    manager().relayout({primaryKey()}, true, WindowManager::ScrollPolicy::none, true, false);
    settle(1.0);
    EXPECT_NE(manager().dragging(), 1u);
    EXPECT_EQ(laidOut(1).x, 725);
    EXPECT_EQ(laidOut(2).x, 10);
    release();
    EXPECT_EQ(order(), (std::vector<WindowID>{2, 1, 3}));
    EXPECT_EQ(laidOut(1).x, 725);
    // Nor is a window that an earlier press was on, placed under this one.
    press({laidOut(2).midX(), laidOut(2).midY()});
    release(0.5);
    press({laidOut(1).midX(), laidOut(1).midY()});
    ASSERT_TRUE(manager().strips[primaryKey()].move(2, NewColumn{2}));
    manager().relayout({primaryKey()}, true, WindowManager::ScrollPolicy::none, true, false);
    settle(1.0);
    EXPECT_NE(manager().dragging(), 2u);
    release();
    EXPECT_EQ(order(), (std::vector<WindowID>{1, 2, 3}));

    // A window closed during its drag ends the drag at the next poll.
    grabTitle(1);
    dragTo(1, {grabPoint.x + 100, grabPoint.y + 50});
    ASSERT_EQ(manager().dragging(), 1u);
    desk.closeWindow(1);
    settle(0.1);
    EXPECT_NE(manager().dragging(), 1u);
    release();
    EXPECT_EQ(text(), "[2*] [3]");
    EXPECT_EQ(laidOut(2).x, 10);
}

TEST_F(Dragging, ATitleBarDragOpensAGapAndDropsTheWindowThere) {
    tile(3, 0.3);  // columns at x 10, 439 and 868, 419 wide
    grabTitle(1);
    overlays().clearCalls();
    dragTo(1, {1250, 300});  // the right quarter of the third column
    EXPECT_EQ(order(), (std::vector<WindowID>{2, 3, 1}));
    EXPECT_GE(overlays().count("followFrames"), 1);
    // The indicator shows where the window will land, below it.
    EXPECT_EQ(overlays().dropIndicator()->x, 868);
    EXPECT_EQ(overlays().dropBelow(), 1u);
    // Its neighbours slide over; the dragged window is left alone.
    settle(0.5);
    EXPECT_EQ(laidOut(2).x, 10);
    EXPECT_EQ(laidOut(1).x, grabbed.x + 1250 - grabPoint.x);
    // While it is dragged the manager leaves it alone in relayouts too.
    manager().strips[primaryKey()].columns[0].width = 0.2;
    relayoutAll();
    settle(0.5);
    EXPECT_EQ(laidOut(1).x, grabbed.x + 1250 - grabPoint.x);
    EXPECT_NE(laidOut(3).x, 439);

    release();
    EXPECT_FALSE(manager().dragging());
    EXPECT_FALSE(overlays().dropIndicator());
    EXPECT_EQ(text(), "[2]:0.2 [3]:0.3 [1*]:0.3");
    EXPECT_EQ(logLines("drag"), (std::vector<std::string>{"dragging " + tag(1), tag(1) + " dropped in column 3"}));
    EXPECT_EQ(overlays().stripsShown().back(), std::make_pair(primaryKey(), false));
    EXPECT_TRUE(inPlace(1));
}

TEST_F(Dragging, AStackTargetHoldsWhileThePointerStaysOverTheColumnsFormerRange) {
    tile(3, 0.3);
    grabTitle(1);
    // The middle of the second column, low down: 1 goes under 2. The columns
    // shift left under the pointer, which is now over 3.
    dragTo(1, {648, 700});
    EXPECT_EQ(text(), "[2 1*]:0.3 [3]:0.3");
    EXPECT_EQ(*drag().drag->hold, (DragController::Range{439, 858}));
    dragTo(1, {700, 720});
    dragTo(1, {800, 720});
    EXPECT_EQ(text(), "[2 1*]:0.3 [3]:0.3");
    // Beyond the held range the drop is decided afresh.
    dragTo(1, {1100, 300});
    EXPECT_EQ(text(), "[2]:0.3 [3]:0.3 [1*]:0.3");
    release();
}

TEST_F(Dragging, AReleaseWithinEightPointsOnlyRefocuses) {
    tile(2);
    grabTitle(1);
    dragTo(1, {grabPoint.x + 8, grabPoint.y - 8});
    EXPECT_TRUE(drag().drag->moving);
    release();
    EXPECT_EQ(logLines("drag"), std::vector<std::string>{"dragging " + tag(1)});
    EXPECT_EQ(text(), "[1*] [2]");
    EXPECT_EQ(laidOut(1), grabbed);

    LogStore::shared().clear();
    grabTitle(2);
    dragTo(2, {grabPoint.x + 9, grabPoint.y});
    release();
    EXPECT_EQ(logLines("drag"), (std::vector<std::string>{"dragging " + tag(2), tag(2) + " dropped in column 2"}));
}

TEST_F(Dragging, EdgeScrollingRunsFrom300To1800PointsPerSecondAfterAFirstPoll) {
    tile(4, 0.3);  // 1726 points of content: up to 286 of scroll
    setScroll(200);
    DragController::Drag d = edgeDrag();
    EXPECT_EQ(pollAt(d, 0, 0), 200);  // 40 points into the left zone: the first poll only notes the time
    EXPECT_EQ(d.edgeScrolled, scheduler().now());
    EXPECT_NEAR(pollAt(d, 0, 0.01), 200 - 18, 1e-9);   // full speed
    EXPECT_NEAR(target(2)->x, 439 - strip().scroll, 0.5);  // and the windows go along
    EXPECT_NEAR(pollAt(d, 20, 0.02), 182 - 21, 1e-9);  // halfway: 1050 points a second
    EXPECT_NEAR(pollAt(d, 40, 0.01), 161, 1e-9);       // the zone's inner boundary is outside it
    EXPECT_FALSE(d.edgeScrolled);
    // Coming back in starts over; a long gap between polls counts as 0.05 s.
    EXPECT_NEAR(pollAt(d, 39, 0), 161, 1e-9);
    EXPECT_NEAR(pollAt(d, 39, 0.2), 161 - 337.5 * 0.05, 1e-9);
    // The right edge scrolls the other way, up to the end of the strip.
    pollAt(d, 1430, 0);
    EXPECT_NEAR(pollAt(d, 1430, 0.01), 161 - 16.875 + 14.25, 1e-9);
    for (int i = 0; i < 3; ++i) pollAt(d, 1430, 0.05);
    EXPECT_NEAR(strip().scroll, 286, 1e-9);

    // Only a window that travels scrolls the strip.
    d = edgeDrag(false);
    setScroll(100);
    pollAt(d, 0, 0);
    EXPECT_EQ(pollAt(d, 0, 0.01), 100);
}

TEST_F(Dragging, ANeighbouringDisplayTurnsEdgeScrollingOffOnItsSide) {
    desk.addDisplay(Rect{-1440, 0, 1440, 900}, "Left");
    tile(4, 0.3);
    setScroll(200);
    DragController::Drag d = edgeDrag();
    for (int i = 0; i < 3; ++i) pollAt(d, 0, 0.01);
    EXPECT_FALSE(d.edgeScrolled);
    EXPECT_EQ(strip().scroll, 200);
    EXPECT_EQ(pollAt(d, -5, 0), 200);  // over the neighbour itself nothing happens either
    pollAt(d, 1439, 0);
    EXPECT_NEAR(pollAt(d, 1439, 0.01), 200 + 17.625, 1e-9);
}

TEST_F(Dragging, AtTheScreenEdgeOnlyNewColumnsAreOfferedUnlessADisplayLiesBeyond) {
    tile(4, 0.3);
    grabTitle(1);
    dragTo(1, {1300, 500});  // a new column before the fourth one
    ASSERT_EQ(order(), (std::vector<WindowID>{2, 3, 1, 4}));
    // In the right zone, over the left part of the fourth column, where
    // stacking would otherwise be offered.
    dragTo(1, {1420, 500});
    for (int i = 0; i < 30; ++i) {
        settle(1.0 / 60);
        ASSERT_EQ(strip().windows().size(), static_cast<std::size_t>(strip().count())) << "poll " << i;
    }
    EXPECT_GT(strip().scroll, 0);
    EXPECT_NE(order().front(), 1u);
    release();
}

TEST_F(Dragging, WithADisplayBeyondTheEdgeTheSameSpotStacks) {
    desk.addDisplay(Rect{1440, 0, 1920, 1080}, "External");
    tile(4, 0.3);
    grabTitle(1);
    dragTo(1, {1300, 500});
    dragTo(1, {1420, 500});
    settle(0.2);
    EXPECT_EQ(strip().scroll, 0);
    EXPECT_EQ(text(), "[2]:0.3 [3]:0.3 [4 1*]:0.3");
    release();
}

TEST_F(Dragging, AResizeFollowsTheWidthBeyondTwoPointsAndScalesOneStackWeight) {
    Strip s = parseStrip("[1*] [2]");
    manager().minWidths[1] = 800;
    DragController::Drag d;
    d.id = 1;
    d.origin = {10, 35, 705, 855};
    Strip unchanged = s;
    drag().applyResize({10, 35, 707, 855}, d, unchanged, builtIn);
    EXPECT_EQ(unchanged, s);
    EXPECT_TRUE(manager().minWidths.count(1));
    s.columns[0].savedWidth = 0.5;
    drag().applyResize({10, 35, 707.5, 855}, d, s, builtIn);
    EXPECT_DOUBLE_EQ(s.columns[0].width, (707.5 + 10) / 1430);
    EXPECT_FALSE(s.columns[0].savedWidth);
    EXPECT_FALSE(manager().minWidths.count(1));
    drag().applyResize({10, 35, 50, 855}, d, s, builtIn);
    EXPECT_EQ(stripText(s), "[1*]:0.1 [2]");
    drag().applyResize({10, 35, 2000, 855}, d, s, builtIn);
    EXPECT_EQ(stripText(s), "[1*]:1 [2]");

    // A stack's row takes its share from the start of the drag; two points is
    // no change, and a tabbed column or a stack that changed keeps its weights.
    d.id = 2;
    d.origin = {10, 320, 705, 280};
    d.weights = {1, 1, 1};
    const auto resized = [&](const char* text, double height) {
        Strip stack = parseStrip(text);
        drag().applyResize({10, 320, 705, height}, d, stack, builtIn);
        return stripText(stack);
    };
    EXPECT_EQ(resized("[1* 2 3]", 420), "[1/1* 2/1.5 3/1]");
    EXPECT_EQ(resized("[1* 2 3]", 336), "[1/1* 2/1.2 3/1]");
    EXPECT_EQ(resized("[1* 2 3]", 282), "[1* 2 3]");
    EXPECT_EQ(resized("[1* 2 3]t", 420), "[1* 2 3]t");
    EXPECT_EQ(resized("[1* 2 3 4]", 420), "[1* 2 3 4]");
}

TEST_F(Dragging, AnEdgeDragTurnsIntoAResizeBeyondThreePointsAndStaysOne) {
    tile(2);
    grabRightEdge(1);
    const double w = grabbed.width, h = grabbed.height;
    resizeTo(1, w + 2, h);  // starts the drag; the first read is the reference
    ASSERT_EQ(manager().dragging(), 1u);
    resizeTo(1, w + 5, h);
    EXPECT_FALSE(drag().drag->resizing);
    EXPECT_EQ(width(1), 0.5);
    resizeTo(1, w + 6, h);
    EXPECT_TRUE(drag().drag->resizing);
    EXPECT_DOUBLE_EQ(width(1), (w + 6 + 10) / 1430);
    EXPECT_EQ(laidOut(2).x, grabbed.x + w + 6 + 10);  // the neighbour moves along live
    resizeTo(1, w + 5, h);                             // back under the threshold: still a resize
    EXPECT_DOUBLE_EQ(width(1), (w + 5 + 10) / 1430);
    desk.setFrame(1, {grabbed.x, grabbed.y, w + 80, h});  // let go before the next look: the drop reads it
    release();
    EXPECT_EQ(logLines("drag").back(), tag(1) + " resized by hand to " + wholePoints(w + 80) + "×" + wholePoints(h));
    EXPECT_DOUBLE_EQ(width(1), (w + 80 + 10) / 1430);
    EXPECT_EQ(laidOut(1).width, w + 80);
    EXPECT_EQ(laidOut(2).x, grabbed.x + w + 80 + 10);

    // Dragged to nearly the full width, measured against the column as it was
    // before the drag widened it live, it works as the full-width toggle.
    for (double nearlyFull : {1368.0, 1420.0}) {
        setStrip("[1*] [2]");
        grabRightEdge(1);
        resizeTo(1, grabbed.width + 2, grabbed.height);
        resizeTo(1, nearlyFull, grabbed.height);
        release();
        EXPECT_EQ(logLines("drag").back(), tag(1) + " resized by hand to " + wholePoints(nearlyFull) + "×" +
                                               wholePoints(grabbed.height));
        EXPECT_EQ(text(), "[1*]:1~0.5 [2]") << nearlyFull;
    }
}

TEST_F(Dragging, GrabbingTheRightEdgeOfAStackedWindowKeepsItInItsStack) {
    tile(3, 0.3);
    setStrip("[1* 2]:0.3 [3]:0.3");
    grabRightEdge(1);
    resizeTo(1, grabbed.width + 2, grabbed.height);
    ASSERT_EQ(manager().dragging(), 1u);
    EXPECT_EQ(text(), "[1* 2]:0.3 [3]:0.3");
    resizeTo(1, grabbed.width + 60, grabbed.height);
    desk.setFrame(1, {grabbed.x, grabbed.y, grabbed.width + 60, grabbed.height * 1.5});  // taller, just before letting go
    release();
    EXPECT_EQ(strip().columns[0].windows, (std::vector<WindowID>{1, 2}));
    EXPECT_DOUBLE_EQ(width(1), (grabbed.width + 70) / 1430);
    EXPECT_EQ(laidOut(2).width, grabbed.width + 60);
    EXPECT_DOUBLE_EQ(strip().columns[0].weights[0], 1.5);
}

TEST_F(Dragging, WithoutAFrameReadOnlyTwelvePointsCountAsAResize) {
    tile(2);
    DragController::Drag d = edgeDrag();
    d.origin = laidOut(1);
    d.base = strip();
    drag().end(d, Rect{d.origin.x, d.origin.y, d.origin.width + 12, d.origin.height - 12});
    EXPECT_TRUE(logLines("drag").empty());
    drag().end(d, std::nullopt);  // a missing frame drops the whole step
    EXPECT_TRUE(logLines("drag").empty());
    drag().end(d, Rect{d.origin.x, d.origin.y, d.origin.width + 13, d.origin.height});
    EXPECT_EQ(logLines("drag"),
              std::vector<std::string>{tag(1) + " resized by hand to 718×" + wholePoints(d.origin.height)});
}

// A window went full screen while the user held it by its title bar, then
// left full screen before the button came up: the drag went on for a window
// in no strip, and as the dragged window its change of size was not looked
// at, so it stayed full screen for the engine for good.
TEST_F(Dragging, AWindowThatGoesFullScreenMidDragComesBackTiled) {
    tile(2);
    grabTitle(1);
    dragTo(1, {grabPoint.x + 100, grabPoint.y + 20});
    ASSERT_EQ(manager().dragging(), 1u);
    desk.setFullScreen(1, true);
    settle(0.5);
    ASSERT_EQ(stateOf(1), State::fullscreen);
    EXPECT_FALSE(manager().dragging());
    desk.setFullScreen(1, false);
    settle(2);
    release();
    EXPECT_EQ(stateOf(1), State::tiled);
    EXPECT_TRUE(strip().contains(1));
}

class DraggingAcrossDisplays : public Dragging {
protected:
    DraggingAcrossDisplays() { external = desk.addDisplay(Rect{1440, 0, 1920, 1080}, "External"); }
    std::string external;
};

TEST_F(DraggingAcrossDisplays, ADropLandsAtTheColumnUnderThePointerAndActivatesThatStrip) {
    const WindowID a = openWindow("Mail", "", {100, 100, 600, 500});
    const WindowID b = openWindow("Notes", "", {300, 100, 600, 500});
    const WindowID c = openWindow("Safari", "", {1500, 100, 600, 500});
    const WindowID d = openWindow("Music", "", {2500, 100, 600, 500});
    start();
    ASSERT_EQ(order(keyOf(external)), (std::vector<WindowID>{c, d}));
    grabTitle(a);
    dragTo(a, {1300, 300});
    EXPECT_EQ(order(), (std::vector<WindowID>{b, a}));
    // Over the other display the gap closes and the indicator goes.
    overlays().clearCalls();
    dragTo(a, {1440 + 1200, 300});
    EXPECT_EQ(overlays().count("refresh"), 0);
    EXPECT_EQ(order(), (std::vector<WindowID>{a, b}));
    EXPECT_FALSE(overlays().dropIndicator());
    release();
    EXPECT_EQ(logLines("drag").back(), tag(a) + " dropped on External");
    EXPECT_EQ(text(), "[2*]");
    EXPECT_EQ(text(keyOf(external)), "[3]p [1*] [4]");
    EXPECT_EQ(record(a)->key, keyOf(external));
    EXPECT_EQ(manager().activeKey, keyOf(external));
    EXPECT_EQ(laidOut(a).x, 1440 + 965);
}

TEST_F(DraggingAcrossDisplays, AnEmptyStripTakesTheWindowAndADisabledOneDoesNot) {
    tile(3);
    grabTitle(2);
    dragTo(2, {2000, 500});
    release();
    EXPECT_EQ(order(keyOf(external)), std::vector<WindowID>{2});
    EXPECT_EQ(order(), (std::vector<WindowID>{1, 3}));
    EXPECT_EQ(laidOut(2).x, 1450);

    Config off = manager().config;
    off.disabledDisplays = {external};
    manager().apply(off);
    settle();
    LogStore::shared().clear();
    grabTitle(1);
    dragTo(1, {2000, 500});
    release();
    EXPECT_EQ(logLines("drag").back(), tag(1) + " dropped in column 1");
    EXPECT_EQ(order(), (std::vector<WindowID>{1, 3}));
    EXPECT_EQ(record(1)->key, primaryKey());
    EXPECT_EQ(laidOut(1).x, 10);
}

TEST_F(DraggingAcrossDisplays, ClosingTheGapNeverBringsBackAClosedWindow) {
    tile(3, 0.3);
    grabTitle(1);
    dragTo(1, {1250, 300});
    ASSERT_EQ(order(), (std::vector<WindowID>{2, 3, 1}));
    desk.closeWindow(2);
    settle(0.1);
    dragTo(1, {2000, 300});
    EXPECT_EQ(order(), (std::vector<WindowID>{3, 1}));
    release();
}

}  // namespace
}  // namespace tessaline
