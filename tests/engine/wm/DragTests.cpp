// Dragging tiled windows on the simulated desktop: when a drag starts, title
// bar drags that reorder and stack, edge drags that resize, scrolling at the
// screen edge, drops on another display and the thresholds in between.

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    std::string tag(WindowID id) { return manager().windowRecord(id)->tag(); }
    Rect laidOut(WindowID id) { return *frameOf(id); }

    // Opens one window per application, left to right, and starts tiling.
    std::vector<WindowID> tile(int count, double width = 0.5) {
        config.defaultWidth = width;
        const char* names[] = {"Mail", "Notes", "Safari", "Music", "Maps"};
        std::vector<WindowID> ids;
        for (int i = 0; i < count; ++i) {
            ids.push_back(openWindow(names[i], "", {100.0 + 150 * i, 100, 600, 500}));
        }
        start();
        return ids;
    }

    // The user holds the left button down at a point.
    void press(Point at) {
        input().movePointer(at);
        input().pressButton();
        settle(0.05);
    }
    // Grabs a window by its title bar and starts pulling it (its first
    // point of travel starts the drag).
    void grabTitle(WindowID id) {
        grabbed_ = laidOut(id);
        grabPoint_ = {grabbed_.midX(), grabbed_.minY() + 10};
        press(grabPoint_);
        dragTo(id, {grabPoint_.x + 1, grabPoint_.y});
    }
    // The pointer goes to `to` and the grabbed window travels along with it.
    void dragTo(WindowID id, Point to) {
        input().movePointer(to);
        desk.setFrame(id, {grabbed_.x + to.x - grabPoint_.x, grabbed_.y + to.y - grabPoint_.y,
                           grabbed_.width, grabbed_.height});
        settle(0.1);
    }
    // Grabs a window by its right edge.
    void grabRightEdge(WindowID id) {
        grabbed_ = laidOut(id);
        grabPoint_ = {grabbed_.maxX() - 1, grabbed_.midY()};
        press(grabPoint_);
    }
    void resizeTo(WindowID id, double width, double height) {
        desk.setFrame(id, {grabbed_.x, grabbed_.y, width, height});
        settle(0.1);
    }
    void release() {
        input().releaseButton();
        settle(1.0);
    }

    const Column& columnOf(WindowID id) {
        const Strip& s = manager().strips[primaryKey()];
        return s.columns[static_cast<std::size_t>(s.locate(id)->column)];
    }
    // Every column of the strip holds a single window.
    bool noStacks(const StripKey& key) {
        for (const Column& column : strip(key).columns) {
            if (column.windows.size() != 1) return false;
        }
        return true;
    }
    void setScroll(double scroll) {
        manager().strips[primaryKey()].scroll = scroll;
        manager().relayout({primaryKey()}, false, WindowManager::ScrollPolicy::none, true, false);
        settle(0.5);
    }

    Rect grabbed_;
    Point grabPoint_;
};

// ---------------------------------------------------------------------------
// Starting

TEST_F(Dragging, StartsOnlyWhenTheLastClickWasOnTheWindowOrWithinEightPoints) {
    const auto ids = tile(2);
    const WindowID a = ids[0];
    const Rect frame = laidOut(a);

    // A click on the other window: the application moving its own window is no drag.
    press({laidOut(ids[1]).midX(), laidOut(ids[1]).midY()});
    desk.setFrame(a, {frame.x + 30, frame.y, frame.width, frame.height});
    settle(0.1);
    EXPECT_FALSE(manager().dragging());
    input().releaseButton();
    settle(0.5);

    press({frame.minX() - 8.5, frame.midY()});
    desk.setFrame(a, {frame.x + 40, frame.y, frame.width, frame.height});
    settle(0.1);
    EXPECT_FALSE(manager().dragging());
    input().releaseButton();
    settle(0.5);

    press({frame.minX() - 8, frame.midY()});
    desk.setFrame(a, {frame.x + 50, frame.y, frame.width, frame.height});
    settle(0.1);
    EXPECT_EQ(manager().dragging(), a);
    EXPECT_EQ(logLines("drag"), std::vector<std::string>{"dragging " + tag(a)});
    EXPECT_TRUE(drag().polling);
}

TEST_F(Dragging, NoDragWithoutTheButtonDuringAGestureOrForAFloatingWindow) {
    const auto ids = tile(2);
    const WindowID a = ids[0];
    const Rect frame = laidOut(a);

    // The application resizes itself with no button held.
    input().movePointer({frame.midX(), frame.minY() + 10});
    desk.setFrame(a, {frame.x, frame.y, frame.width + 40, frame.height});
    settle(0.1);
    EXPECT_FALSE(manager().dragging());
    settle(2.0);

    manager().scroll().key = primaryKey();
    grabTitle(a);
    dragTo(a, {grabPoint_.x + 200, grabPoint_.y});
    EXPECT_FALSE(manager().dragging());
    manager().scroll().key.reset();

    // The button is still down on the window: only its state stands in the way.
    const WindowPtr record = manager().windowRecord(a);
    record->state = ManagedWindow::State::floating;
    drag().windowMoved(record);
    EXPECT_FALSE(manager().dragging());
    record->state = ManagedWindow::State::tiled;
    drag().windowMoved(record);
    EXPECT_EQ(manager().dragging(), a);
}

TEST_F(Dragging, AWindowClosedDuringTheDragEndsItAtTheNextPoll) {
    const auto ids = tile(2);
    const WindowID a = ids[0], b = ids[1];
    grabTitle(a);
    dragTo(a, {grabPoint_.x + 100, grabPoint_.y + 50});
    ASSERT_EQ(manager().dragging(), a);
    desk.closeWindow(a);
    settle(0.1);
    EXPECT_NE(manager().dragging(), a);
    release();
    EXPECT_EQ(order(primaryKey()), std::vector<WindowID>{b});
    EXPECT_EQ(laidOut(b).x, 10);
}

TEST_F(Dragging, AWindowThisProgramGlidesUnderAHeldClickIsNotDragged) {
    const auto ids = tile(2);
    const WindowID a = ids[0], b = ids[1];
    press({laidOut(a).midX(), laidOut(a).midY()});
    // a glides to the right through the point where the button is held.
    ASSERT_TRUE(manager().strips[primaryKey()].move(a, NewColumn{2}));
    manager().relayout({primaryKey()}, true, WindowManager::ScrollPolicy::none, true, false);
    settle(1.0);
    // Not caught mid-flight and left there. (b comes to rest under the held
    // click, which may count as grabbing it where it is: harmless.)
    EXPECT_NE(manager().dragging(), a);
    EXPECT_EQ(laidOut(a).x, 725);
    EXPECT_EQ(laidOut(b).x, 10);
    release();
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{b, a}));
    EXPECT_EQ(laidOut(a).x, 725);
}

// ---------------------------------------------------------------------------
// Title bar drags

TEST_F(Dragging, DraggingATitleBarOpensAGapAndDropsTheWindowThere) {
    const auto ids = tile(3, 0.3);  // columns at x 10, 439 and 868, 419 wide
    const WindowID a = ids[0], b = ids[1], c = ids[2];
    grabTitle(a);
    dragTo(a, {1250, 300});  // the right quarter of the third column
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{b, c, a}));
    // The indicator shows where the window will land, below it.
    ASSERT_TRUE(overlays().dropIndicator());
    EXPECT_EQ(overlays().dropIndicator()->x, 868);
    EXPECT_EQ(overlays().dropBelow(), a);
    // Its neighbours slide over; the dragged window is left alone.
    settle(0.5);
    EXPECT_EQ(laidOut(b).x, 10);
    EXPECT_EQ(laidOut(a).x, grabbed_.x + 1250 - grabPoint_.x);

    release();
    EXPECT_FALSE(manager().dragging());
    EXPECT_FALSE(overlays().dropIndicator());
    EXPECT_EQ(laidOut(a).x, 868);
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), a);
    EXPECT_EQ(logLines("drag"),
              (std::vector<std::string>{"dragging " + tag(a), tag(a) + " dropped in column 3"}));
    ASSERT_FALSE(overlays().stripsShown().empty());
    EXPECT_EQ(overlays().stripsShown().back(), std::make_pair(primaryKey(), false));
}

TEST_F(Dragging, AStackTargetHoldsWhileThePointerStaysOverTheColumnsFormerRange) {
    const auto ids = tile(3, 0.3);
    const WindowID a = ids[0], b = ids[1], c = ids[2];
    grabTitle(a);
    // The middle of the second column, low down: a goes under b. The columns
    // shift left under the pointer, which is now over c.
    dragTo(a, {648, 700});
    EXPECT_EQ(strip(primaryKey()).columns[0].windows, (std::vector<WindowID>{b, a}));
    ASSERT_TRUE(drag().drag->hold);
    EXPECT_EQ(*drag().drag->hold, (DragController::Range{439, 858}));
    dragTo(a, {700, 720});
    dragTo(a, {800, 720});
    EXPECT_EQ(strip(primaryKey()).columns[0].windows, (std::vector<WindowID>{b, a}));
    EXPECT_EQ(strip(primaryKey()).count(), 2);

    // Beyond the held range the drop is decided afresh.
    dragTo(a, {1100, 300});
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{b, c, a}));
    EXPECT_TRUE(noStacks(primaryKey()));
}

TEST_F(Dragging, AReleaseWithinEightPointsOnlyRefocuses) {
    const auto ids = tile(2);
    const WindowID a = ids[0], b = ids[1];
    const Strip before = strip(primaryKey());
    grabTitle(a);
    dragTo(a, {grabPoint_.x + 8, grabPoint_.y - 8});
    ASSERT_EQ(manager().dragging(), a);
    EXPECT_TRUE(drag().drag->moving);
    release();
    EXPECT_EQ(logLines("drag"), std::vector<std::string>{"dragging " + tag(a)});
    EXPECT_EQ(order(primaryKey()), before.windows());
    EXPECT_EQ(laidOut(a), grabbed_);
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), a);

    LogStore::shared().clear();
    grabTitle(b);
    dragTo(b, {grabPoint_.x + 9, grabPoint_.y});
    release();
    EXPECT_EQ(logLines("drag"),
              (std::vector<std::string>{"dragging " + tag(b), tag(b) + " dropped in column 2"}));
}

// ---------------------------------------------------------------------------
// Edge scrolling

TEST_F(Dragging, EdgeScrollingRunsFrom300To1800PointsPerSecondAfterAFirstPoll) {
    const auto ids = tile(4, 0.3);  // 1726 points of content: up to 286 of scroll
    setScroll(200);
    DragController::Drag d;
    d.id = ids[0];
    d.key = primaryKey();
    d.moving = true;
    auto scroll = [&] { return manager().strips[primaryKey()].scroll; };

    input().movePointer({0, 500});  // 40 points into the left zone: full speed
    drag().scrollAtEdge(d);
    EXPECT_EQ(d.edgeScrolled, scheduler().now());
    EXPECT_EQ(scroll(), 200);
    desk.advance(0.01);
    drag().scrollAtEdge(d);
    EXPECT_NEAR(scroll(), 200 - 18, 1e-9);

    input().movePointer({20, 500});  // halfway: 1050 points a second
    desk.advance(0.02);
    drag().scrollAtEdge(d);
    EXPECT_NEAR(scroll(), 182 - 21, 1e-9);

    input().movePointer({40, 500});  // the zone's inner boundary is outside it
    desk.advance(0.01);
    drag().scrollAtEdge(d);
    EXPECT_FALSE(d.edgeScrolled);
    EXPECT_NEAR(scroll(), 161, 1e-9);

    // Coming back in starts over; a long gap between polls counts as 0.05 s.
    input().movePointer({39, 500});
    drag().scrollAtEdge(d);
    EXPECT_NEAR(scroll(), 161, 1e-9);
    desk.advance(0.2);
    drag().scrollAtEdge(d);
    EXPECT_NEAR(scroll(), 161 - 337.5 * 0.05, 1e-9);

    // The right edge scrolls the other way, up to the end of the strip.
    input().movePointer({1430, 500});
    drag().scrollAtEdge(d);
    desk.advance(0.01);
    drag().scrollAtEdge(d);
    EXPECT_NEAR(scroll(), 161 - 16.875 + 14.25, 1e-9);
    desk.advance(0.05);
    drag().scrollAtEdge(d);
    desk.advance(0.05);
    drag().scrollAtEdge(d);
    desk.advance(0.05);
    drag().scrollAtEdge(d);
    EXPECT_NEAR(scroll(), 286, 1e-9);

    // Only a window that travels scrolls the strip.
    d.moving = false;
    d.edgeScrolled.reset();
    setScroll(100);
    input().movePointer({0, 500});
    drag().scrollAtEdge(d);
    desk.advance(0.01);
    drag().scrollAtEdge(d);
    EXPECT_EQ(scroll(), 100);
}

TEST_F(Dragging, ANeighbouringDisplayTurnsEdgeScrollingOffOnItsSide) {
    desk.addDisplay(Rect{-1440, 0, 1440, 900}, "Left");
    const auto ids = tile(4, 0.3);
    setScroll(200);
    DragController::Drag d;
    d.id = ids[0];
    d.key = primaryKey();
    d.moving = true;
    auto scroll = [&] { return manager().strips[primaryKey()].scroll; };

    input().movePointer({0, 500});
    for (int i = 0; i < 3; ++i) {
        drag().scrollAtEdge(d);
        desk.advance(0.01);
    }
    EXPECT_FALSE(d.edgeScrolled);
    EXPECT_EQ(scroll(), 200);

    // Over the neighbour itself nothing happens either.
    input().movePointer({-5, 500});
    drag().scrollAtEdge(d);
    EXPECT_EQ(scroll(), 200);

    input().movePointer({1439, 500});
    drag().scrollAtEdge(d);
    desk.advance(0.01);
    drag().scrollAtEdge(d);
    EXPECT_NEAR(scroll(), 200 + 17.625, 1e-9);
}

TEST_F(Dragging, WhileEdgeScrollingOnlyNewColumnsAreOffered) {
    const auto ids = tile(4, 0.3);
    setScroll(0);
    grabTitle(ids[0]);
    dragTo(ids[0], {1300, 500});  // a new column before the fourth one
    ASSERT_EQ(order(primaryKey()), (std::vector<WindowID>{ids[1], ids[2], ids[0], ids[3]}));
    // In the right zone, over the left part of the fourth column, where
    // stacking would otherwise be offered.
    dragTo(ids[0], {1420, 500});
    for (int i = 0; i < 30; ++i) {
        settle(1.0 / 60);
        ASSERT_TRUE(noStacks(primaryKey())) << "poll " << i;
    }
    EXPECT_GT(strip(primaryKey()).scroll, 0);
    EXPECT_NE(order(primaryKey()).front(), ids[0]);
}

TEST_F(Dragging, WithANeighbourBeyondTheEdgeTheSameSpotStacks) {
    desk.addDisplay(Rect{1440, 0, 1920, 1080}, "External");
    const auto ids = tile(4, 0.3);
    setScroll(0);
    grabTitle(ids[0]);
    dragTo(ids[0], {1300, 500});
    dragTo(ids[0], {1420, 500});
    settle(0.2);
    EXPECT_EQ(strip(primaryKey()).scroll, 0);
    EXPECT_EQ(strip(primaryKey()).columns.back().windows, (std::vector<WindowID>{ids[3], ids[0]}));
}

// ---------------------------------------------------------------------------
// Resizing by an edge

TEST_F(Dragging, ApplyResizeFollowsTheWidthBeyondTwoPoints) {
    Strip s({Column({1}, 0.5), Column({2}, 0.5)}, 0, 0);
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
    EXPECT_DOUBLE_EQ(s.columns[0].width, 0.1);
    drag().applyResize({10, 35, 2000, 855}, d, s, builtIn);
    EXPECT_DOUBLE_EQ(s.columns[0].width, 1.0);
    EXPECT_EQ(s.columns[1], Column({2}, 0.5));
}

TEST_F(Dragging, ApplyResizeScalesOneStackWeightFromTheStartOfTheDrag) {
    Strip s({Column({1, 2, 3}, 0.5)}, 0, 0);
    DragController::Drag d;
    d.id = 2;
    d.origin = {10, 320, 705, 280};
    d.weights = {1, 1, 1};

    drag().applyResize({10, 320, 705, 420}, d, s, builtIn);
    EXPECT_EQ(s.columns[0].weights, (std::vector<double>{1, 1.5, 1}));
    drag().applyResize({10, 320, 705, 336}, d, s, builtIn);
    EXPECT_EQ(s.columns[0].weights, (std::vector<double>{1, 1.2, 1}));
    EXPECT_DOUBLE_EQ(s.columns[0].width, 0.5);

    // Two points is no change; a tabbed column or a stack that changed
    // since the start keeps its weights.
    Strip still({Column({1, 2, 3}, 0.5)}, 0, 0);
    drag().applyResize({10, 320, 705, 282}, d, still, builtIn);
    EXPECT_EQ(still.columns[0].weights, (std::vector<double>{1, 1, 1}));
    Strip tabbed({Column({1, 2, 3}, 0.5, true)}, 0, 0);
    drag().applyResize({10, 320, 705, 420}, d, tabbed, builtIn);
    EXPECT_EQ(tabbed.columns[0].weights, (std::vector<double>{1, 1, 1}));
    Strip grown({Column({1, 2, 3, 4}, 0.5)}, 0, 0);
    drag().applyResize({10, 320, 705, 420}, d, grown, builtIn);
    EXPECT_EQ(grown.columns[0].weights, (std::vector<double>{1, 1, 1, 1}));
}

TEST_F(Dragging, AnEdgeDragTurnsIntoAResizeBeyondThreePointsAndStaysOne) {
    const auto ids = tile(2);
    const WindowID a = ids[0], b = ids[1];
    grabRightEdge(a);
    const double w = grabbed_.width, h = grabbed_.height;
    resizeTo(a, w + 2, h);  // starts the drag; the first read is the reference
    ASSERT_EQ(manager().dragging(), a);
    resizeTo(a, w + 5, h);
    EXPECT_FALSE(drag().drag->resizing);
    EXPECT_EQ(columnOf(a).width, 0.5);

    resizeTo(a, w + 6, h);
    EXPECT_TRUE(drag().drag->resizing);
    EXPECT_DOUBLE_EQ(columnOf(a).width, (w + 6 + 10) / 1430);
    // The neighbour moves along live.
    EXPECT_EQ(laidOut(b).x, grabbed_.x + w + 6 + 10);

    resizeTo(a, w + 5, h);  // back under the threshold: still a resize
    EXPECT_DOUBLE_EQ(columnOf(a).width, (w + 5 + 10) / 1430);
    resizeTo(a, w + 80, h);
    release();
    EXPECT_EQ(logLines("drag").back(),
              tag(a) + " resized by hand to " + wholePoints(w + 80) + "×" + wholePoints(h));
    EXPECT_DOUBLE_EQ(columnOf(a).width, (w + 80 + 10) / 1430);
    EXPECT_EQ(laidOut(a).width, w + 80);
    EXPECT_EQ(laidOut(b).x, grabbed_.x + w + 80 + 10);
}

TEST_F(Dragging, GrabbingTheRightEdgeOfAStackedWindowKeepsItInItsStack) {
    const auto ids = tile(3, 0.3);
    const WindowID a = ids[0], b = ids[1];
    Strip& s = manager().strips[primaryKey()];
    ASSERT_TRUE(s.move(b, Stack{0, 1}));
    relayoutAll();
    settle(1.0);
    grabRightEdge(a);
    resizeTo(a, grabbed_.width + 2, grabbed_.height);
    ASSERT_EQ(manager().dragging(), a);
    EXPECT_EQ(strip(primaryKey()).columns[0].windows, (std::vector<WindowID>{a, b}));
    resizeTo(a, grabbed_.width + 60, grabbed_.height);
    release();
    EXPECT_EQ(strip(primaryKey()).columns[0].windows, (std::vector<WindowID>{a, b}));
    EXPECT_DOUBLE_EQ(columnOf(a).width, (grabbed_.width + 70) / 1430);
    EXPECT_EQ(laidOut(b).width, grabbed_.width + 60);
}

// A window dragged to nearly the full width works as the full-width toggle,
// measured against the column as it was before the drag widened it live.
class DraggingToFullWidth : public Dragging, public ::testing::WithParamInterface<double> {};

TEST_P(DraggingToFullWidth, IsHandedToSizeAdoption) {
    const auto ids = tile(2);
    const WindowID a = ids[0];
    grabRightEdge(a);
    resizeTo(a, grabbed_.width + 2, grabbed_.height);
    resizeTo(a, GetParam(), grabbed_.height);
    release();
    EXPECT_EQ(logLines("drag").back(),
              tag(a) + " resized by hand to " + wholePoints(GetParam()) + "×" +
                  wholePoints(grabbed_.height));
    EXPECT_EQ(columnOf(a).width, 1.0);
    EXPECT_EQ(columnOf(a).savedWidth, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Widths, DraggingToFullWidth, ::testing::Values(1368.0, 1420.0));

TEST_F(Dragging, WithoutAFrameReadOnlyTwelvePointsCountAsAResize) {
    const auto ids = tile(2);
    const WindowID a = ids[0];
    DragController::Drag d;
    d.id = a;
    d.key = primaryKey();
    d.origin = laidOut(a);
    d.base = strip(primaryKey());
    drag().end(d, Rect{d.origin.x, d.origin.y, d.origin.width + 12, d.origin.height - 12});
    EXPECT_TRUE(logLines("drag").empty());
    drag().end(d, Rect{d.origin.x, d.origin.y, d.origin.width + 13, d.origin.height});
    EXPECT_EQ(logLines("drag"),
              std::vector<std::string>{tag(a) + " resized by hand to 718×" +
                                       wholePoints(d.origin.height)});
    // A missing frame drops the whole step.
    LogStore::shared().clear();
    drag().end(d, std::nullopt);
    EXPECT_TRUE(logLines("drag").empty());
}

// ---------------------------------------------------------------------------
// Other displays

class DraggingAcrossDisplays : public Dragging {
protected:
    DraggingAcrossDisplays() { external = desk.addDisplay(Rect{1440, 0, 1920, 1080}, "External"); }
    std::string external;
};

TEST_F(DraggingAcrossDisplays, DropsAtTheColumnUnderThePointerAndActivatesThatStrip) {
    const WindowID a = openWindow("Mail", "", {100, 100, 600, 500});
    const WindowID b = openWindow("Notes", "", {300, 100, 600, 500});
    const WindowID c = openWindow("Safari", "", {1500, 100, 600, 500});
    const WindowID d = openWindow("Music", "", {2500, 100, 600, 500});
    start();
    ASSERT_EQ(order(keyOf(external)), (std::vector<WindowID>{c, d}));

    grabTitle(a);
    dragTo(a, {1300, 300});
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{b, a}));
    // Over the other display the gap closes and the indicator goes.
    dragTo(a, {1440 + 1200, 300});
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a, b}));
    EXPECT_FALSE(overlays().dropIndicator());

    release();
    EXPECT_EQ(logLines("drag").back(), tag(a) + " dropped on External");
    EXPECT_EQ(order(primaryKey()), std::vector<WindowID>{b});
    EXPECT_EQ(order(keyOf(external)), (std::vector<WindowID>{c, a, d}));
    EXPECT_EQ(strip(keyOf(external)).focusedWindow(), a);
    EXPECT_EQ(manager().windowRecord(a)->key, keyOf(external));
    EXPECT_EQ(manager().activeKey, keyOf(external));
    EXPECT_EQ(laidOut(a).x, 1440 + 965);
}

TEST_F(DraggingAcrossDisplays, AnEmptyStripTakesTheWindowAsItsFirstColumn) {
    const auto ids = tile(2);
    grabTitle(ids[1]);
    dragTo(ids[1], {2000, 500});
    release();
    EXPECT_EQ(order(keyOf(external)), std::vector<WindowID>{ids[1]});
    EXPECT_EQ(order(primaryKey()), std::vector<WindowID>{ids[0]});
    EXPECT_EQ(laidOut(ids[1]).x, 1450);
}

TEST_F(DraggingAcrossDisplays, ADisabledDisplayCountsAsADropOnTheStartingStrip) {
    config.disabledDisplays = {external};
    const auto ids = tile(2);
    grabTitle(ids[0]);
    dragTo(ids[0], {2000, 500});
    release();
    EXPECT_EQ(logLines("drag").back(), tag(ids[0]) + " dropped in column 1");
    EXPECT_EQ(order(primaryKey()), ids);
    EXPECT_EQ(manager().windowRecord(ids[0])->key, primaryKey());
    EXPECT_EQ(laidOut(ids[0]).x, 10);
}

TEST_F(DraggingAcrossDisplays, ClosingTheGapNeverBringsBackAClosedWindow) {
    const auto ids = tile(3, 0.3);
    const WindowID a = ids[0], b = ids[1], c = ids[2];
    grabTitle(a);
    dragTo(a, {1250, 300});
    ASSERT_EQ(order(primaryKey()), (std::vector<WindowID>{b, c, a}));
    desk.closeWindow(b);
    settle(0.1);
    dragTo(a, {2000, 300});
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{c, a}));
}

}  // namespace
}  // namespace tessaline
