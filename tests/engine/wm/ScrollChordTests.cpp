// Swipes, modified scrolling, wheel notches and the control+option chord, as a
// user produces them on the simulated desktop.
//
// Geometry used throughout: the built-in display is 1440 points wide, the gap
// is 10 and every column half width (705 points), so column i spans
// [10 + 715 i, 715 + 715 i] and the column edges a scroll can rest on are the
// multiples of 715 (0 to 2145 for five columns).

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/wm/Animator.h"
#include "engine/wm/FocusController.h"
#include "engine/wm/ScrollController.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

constexpr Point kOverStrip{700, 450};
constexpr Modifiers kChord = Modifiers::control | Modifiers::option;

class ScrollChord : public Scenario {
protected:
    // Five tiled columns on the built-in display, the first focused, scrolled
    // to the start, the pointer over the strip. Returns the window ids in
    // column order.
    std::vector<WindowID> fiveColumns() {
        for (int i = 0; i < 5; ++i) openWindow("App" + std::to_string(i));
        start();
        const std::vector<WindowID> ids = order(primaryKey());
        EXPECT_EQ(ids.size(), 5u);
        manager().focusWindow(ids.front(), primaryKey());
        settle();
        input().movePointer(kOverStrip);
        deliver();
        EXPECT_EQ(strip(primaryKey()).scroll, 0);
        EXPECT_EQ(manager().focusedID, ids.front());
        LogStore::shared().clear();
        overlays().clearCalls();
        return ids;
    }

    // Injected events reach the engine on the scheduler's next turn.
    void send(const InputEvent& event) {
        input().inject(event);
        deliver();
    }
    void deliver() { desk.advance(0); }
    void hold(Modifiers modifiers) {
        input().setModifiers(modifiers);
        deliver();
    }

    double scrollOf(const StripKey& key) { return strip(key).scroll; }
    int focusedColumn() { return strip(primaryKey()).focused; }
    // A swipe that moves the strip's content by `points` to the left.
    void swipeBy(double points) {
        send(SwipeBegan{});
        send(SwipeMoved{-points / (1440 * config.swipeSensitivity)});
    }
};

// ---------------------------------------------------------------------------
// Swipes and modified scrolling

TEST_F(ScrollChord, SwipeFollowsTheFingersScaledByWidthAndSensitivity) {
    config.swipeSensitivity = 2.0;
    const std::vector<WindowID> ids = fiveColumns();

    send(SwipeBegan{});
    EXPECT_EQ(manager().scroll().key, primaryKey());
    ASSERT_FALSE(overlays().stripsShown().empty());
    EXPECT_EQ(overlays().stripsShown().back(), std::make_pair(primaryKey(), true));

    // A tenth of the trackpad is 144 points of the display, doubled.
    send(SwipeMoved{-0.1});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 288);
    send(SwipeMoved{0.05});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 144);
    // The windows are steered after the fingers; overlays only move along.
    const auto target = manager().animator.target(ids[1]);
    ASSERT_TRUE(target);
    EXPECT_DOUBLE_EQ(target->x, 725 - 144);
    EXPECT_EQ(overlays().count("refresh"), 0);
    EXPECT_EQ(focusedColumn(), 0);
}

TEST_F(ScrollChord, ModifiedScrollIsTakenAsPointsWithoutSensitivity) {
    config.swipeSensitivity = 2.0;
    fiveColumns();
    send(ScrollBegan{});
    send(ScrollMoved{-100});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 100);
    // The strip's ends hold: it cannot be dragged before its first column.
    send(ScrollMoved{500});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 0);
}

TEST_F(ScrollChord, ReleaseWithoutVelocitySettlesOnTheNearestEdge) {
    fiveColumns();
    swipeBy(300);
    send(SwipeEnded{0});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 0);
    EXPECT_EQ(focusedColumn(), 0);
    EXPECT_EQ(logLines("input"), std::vector<std::string>{"scroll settled on column 1"});
    EXPECT_FALSE(manager().scroll().key);

    LogStore::shared().clear();
    swipeBy(400);
    send(SwipeEnded{0});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 715);
    EXPECT_EQ(logLines("input"), std::vector<std::string>{"scroll settled on column 2"});
    EXPECT_EQ(overlays().stripsShown().back(), std::make_pair(primaryKey(), false));
}

TEST_F(ScrollChord, SettlingFocusesTheColumnQuietlyAndSlidesForAtLeastAThirdOfASecond) {
    const std::vector<WindowID> ids = fiveColumns();
    swipeBy(400);
    const double released = desk.now();
    send(SwipeEnded{0});

    EXPECT_EQ(focusedColumn(), 1);
    EXPECT_EQ(manager().activeKey, primaryKey());
    EXPECT_EQ(manager().focusedID, ids[1]);
    const auto quiet = manager().focus().quietFocus;
    ASSERT_TRUE(quiet);
    EXPECT_EQ(quiet->id, ids[1]);
    EXPECT_DOUBLE_EQ(quiet->until, released + 1.0);

    // The glide lasts max(0.3, animationDuration), not the shorter default slide.
    desk.advance(0.25);
    EXPECT_TRUE(manager().animator.isMoving(ids[1]));
    settle();
    EXPECT_FALSE(manager().animator.isMoving(ids[1]));
    // When the system reports the focus we asked for, the strip stays put.
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 715);
    EXPECT_EQ(frameOf(ids[1])->x, 10);
}

TEST_F(ScrollChord, AFlingTravelsAtMostHalfTheVisibleWidth) {
    fiveColumns();
    // From 144, a fast release would reach the strip's end, but half a screen
    // (720) more only gets to 864, whose nearest edge is 715.
    swipeBy(144);
    send(SwipeEnded{-100});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 715);

    // A slow release glides 0.12 s of its velocity: 0.5 widths/s is 86.4
    // points, enough to carry 300 past the midpoint between 0 and 715...
    swipeBy(300 - 715);
    send(SwipeEnded{-0.5});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 715);
    // ...and, the other way, to bring 400 back below it.
    swipeBy(400 - 715);
    send(SwipeEnded{0.5});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 0);
}

TEST_F(ScrollChord, SwipeFlingCapScalesWithSensitivity) {
    config.swipeSensitivity = 0.5;
    fiveColumns();
    // Capped at 360 the fling reaches 1460 and rests on 1430; a cap of a
    // full half screen (720) would carry it on to 2145.
    swipeBy(1100);
    send(SwipeEnded{-100});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 1430);
}

TEST_F(ScrollChord, ModifiedScrollFlingIsCappedByHalfTheWidthInPoints) {
    config.swipeSensitivity = 0.25;  // must not shrink a modified scroll's fling
    fiveColumns();
    send(ScrollBegan{});
    send(ScrollMoved{-100});
    send(ScrollEnded{-10000});  // 1200 points uncapped, 720 capped: 820 -> 715
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 715);
}

TEST_F(ScrollChord, GestureOverAnEmptyDisplayIsIgnored) {
    const std::string second = desk.addDisplay(Rect{1440, 0, 1440, 900}, "Second");
    fiveColumns();
    input().movePointer({2000, 400});
    deliver();

    send(SwipeBegan{});
    EXPECT_FALSE(manager().scroll().key);
    send(SwipeMoved{-0.2});
    send(ScrollMoved{-200});
    send(SwipeEnded{-3});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 0);
    EXPECT_DOUBLE_EQ(scrollOf(keyOf(second)), 0);
    EXPECT_EQ(overlays().count("showStrip"), 0);
    EXPECT_TRUE(logLines("input").empty());
}

TEST_F(ScrollChord, AGestureOverNothingForgetsOneThatNeverEnded) {
    desk.addDisplay(Rect{1440, 0, 1440, 900}, "Second");
    fiveColumns();
    send(SwipeBegan{});
    ASSERT_TRUE(manager().scroll().key);
    input().movePointer({2000, 400});
    deliver();
    send(SwipeBegan{});
    send(SwipeMoved{-0.2});
    EXPECT_FALSE(manager().scroll().key);
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), 0);
}

TEST_F(ScrollChord, GestureWhoseDisplayWentAwayMovesNothingAndEndsCleanly) {
    const std::string second = desk.addDisplay(Rect{1440, 0, 1440, 900}, "Second");
    openWindow("Left");
    openWindow("Right", "", Rect{1600, 100, 800, 600});
    start();
    input().movePointer({2000, 400});
    deliver();
    send(SwipeBegan{});
    ASSERT_EQ(manager().scroll().key, keyOf(second));

    desk.removeDisplay(second);
    settle();
    LogStore::shared().clear();
    const double before = scrollOf(primaryKey());
    send(SwipeMoved{-0.2});
    EXPECT_DOUBLE_EQ(scrollOf(primaryKey()), before);
    send(SwipeEnded{0});
    EXPECT_FALSE(manager().scroll().key);
    EXPECT_TRUE(logLines("input").empty());
}

TEST_F(ScrollChord, SettleOverAnEmptyStripChangesNothing) {
    start();
    manager().strips[primaryKey()] = Strip{};
    manager().activeKey.reset();
    // The strip emptied under a running gesture (its last window closed).
    manager().scroll().key = primaryKey();
    send(ScrollEnded{-500});
    EXPECT_FALSE(manager().scroll().key);
    EXPECT_FALSE(manager().activeKey);
    EXPECT_TRUE(logLines("input").empty());
    EXPECT_EQ(overlays().count("showStrip"), 0);
}

TEST_F(ScrollChord, StripThatLeftTheScreenMidGestureDoesNotTakeFocus) {
    fiveColumns();
    swipeBy(400);
    const SpaceID other = desk.addSpace(primary);
    desk.switchSpace(primary, other);
    settle();
    const auto focusedBefore = manager().focusedID;
    send(SwipeEnded{0});
    EXPECT_FALSE(manager().scroll().key);
    EXPECT_EQ(manager().focusedID, focusedBefore);
    EXPECT_TRUE(logLines("input").empty());
}

// ---------------------------------------------------------------------------
// Wheel notches

TEST_F(ScrollChord, ThreeNotchesStepThreeColumnsAndFocusOnceAfterThePause) {
    const std::vector<WindowID> ids = fiveColumns();
    for (int notch = 1; notch <= 3; ++notch) {
        send(ScrollStepped{1});
        EXPECT_EQ(focusedColumn(), notch);
        EXPECT_EQ(manager().focusedID, ids[0]) << "keyboard focus moved at notch " << notch;
        desk.advance(0.2);  // past where the first notch's timer would have run
    }
    EXPECT_EQ(logLines("input"), (std::vector<std::string>{"wheel: +1 column(s), to column 2",
                                                           "wheel: +1 column(s), to column 3",
                                                           "wheel: +1 column(s), to column 4"}));
    EXPECT_TRUE(manager().scroll().stepping);

    desk.advance(0.09);  // 0.29 s after the last notch
    EXPECT_EQ(manager().focusedID, ids[0]);
    desk.advance(0.02);
    EXPECT_EQ(manager().focusedID, ids[3]);
    EXPECT_FALSE(manager().scroll().stepping);
    const auto quiet = manager().focus().quietFocus;
    ASSERT_TRUE(quiet);
    EXPECT_EQ(quiet->id, ids[3]);

    settle();
    EXPECT_EQ(manager().focusedID, ids[3]);
    EXPECT_EQ(focusedColumn(), 3);
    int stops = 0;
    for (const std::string& line : logLines("input")) stops += line == "wheel stopped on column 4";
    EXPECT_EQ(stops, 1);
    // Every notch held the indicator; landing lets it fade.
    ASSERT_FALSE(overlays().stripsShown().empty());
    EXPECT_EQ(overlays().stripsShown().back(), std::make_pair(primaryKey(), false));
}

TEST_F(ScrollChord, NotchesStopAtTheStripEnds) {
    const std::vector<WindowID> ids = fiveColumns();
    send(ScrollStepped{-1});
    EXPECT_EQ(focusedColumn(), 0);
    EXPECT_EQ(logLines("input"), std::vector<std::string>{"wheel: -1 column(s), to column 1"});
    settle();
    // Already focused: landing asks for nothing.
    EXPECT_FALSE(logged("input", "wheel stopped on column 1"));

    for (int i = 0; i < 6; ++i) send(ScrollStepped{1});
    EXPECT_EQ(focusedColumn(), 4);
    EXPECT_EQ(logLines("input").back(), "wheel: +1 column(s), to column 5");
    settle();
    EXPECT_EQ(manager().focusedID, ids[4]);
}

TEST_F(ScrollChord, NotchThereAndBackBeforeThePauseLeavesFocusAlone) {
    const std::vector<WindowID> ids = fiveColumns();
    send(ScrollStepped{1});
    desk.advance(0.1);
    send(ScrollStepped{-1});
    settle();
    EXPECT_EQ(focusedColumn(), 0);
    EXPECT_EQ(manager().focusedID, ids[0]);
    for (const std::string& line : logLines("input")) EXPECT_EQ(line.rfind("wheel stopped", 0), std::string::npos);
}

TEST_F(ScrollChord, ResetDropsAPendingLanding) {
    const std::vector<WindowID> ids = fiveColumns();
    send(ScrollStepped{1});
    // A swipe end with no gesture running resets the controller.
    send(SwipeEnded{0});
    EXPECT_TRUE(manager().scroll().isIdle());
    settle();
    EXPECT_EQ(focusedColumn(), 1);
    EXPECT_EQ(manager().focusedID, ids[0]);
}

TEST_F(ScrollChord, NotchOnAStripThatEmptiedMeanwhileStepsNowhere) {
    const std::vector<WindowID> ids = fiveColumns();
    send(ScrollStepped{1});
    // Every window of the strip went away between two notches.
    manager().strips[primaryKey()] = Strip{};
    send(ScrollStepped{1});
    EXPECT_EQ(logLines("input"), std::vector<std::string>{"wheel: +1 column(s), to column 2"});
    settle();
    EXPECT_TRUE(manager().scroll().isIdle());
    EXPECT_EQ(manager().focusedID, ids[0]);
}

// ---------------------------------------------------------------------------
// The chord

TEST_F(ScrollChord, ChordPeeksAndATapPinsWithTheBoundaryExact) {
    fiveColumns();
    hold(kChord);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::peek);
    EXPECT_EQ(overlays().timelineKey(), primaryKey());
    EXPECT_TRUE(input().keysWatched());
    desk.advance(0.79);
    hold({});
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::pinned);
    EXPECT_FALSE(input().keysWatched());
    EXPECT_FALSE(manager().chord().start);

    overlays().closeTimeline();
    hold(kChord);
    desk.advance(0.81);
    hold({});
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);
    EXPECT_EQ(overlays().count("endTimelinePeek"), 2);
}

TEST_F(ScrollChord, AUsedChordCloses) {
    fiveColumns();
    struct Case {
        const char* what;
        std::function<void()> during;
        Modifiers releasedTo;
    };
    const std::vector<Case> cases = {
        {"wheel notch", [&] { send(ScrollStepped{1}); }, {}},
        {"key press", [&] { input().pressKey(); deliver(); }, {}},
        {"modified scroll", [&] { send(ScrollBegan{}); send(ScrollEnded{0}); }, {}},
        {"shift at release", [&] { hold(kChord | Modifiers::shift); }, Modifiers::shift},
        {"command at release", [&] { hold(kChord | Modifiers::command); }, Modifiers::command},
    };
    for (const Case& c : cases) {
        hold(kChord);
        ASSERT_EQ(overlays().timeline(), SimOverlays::Timeline::peek) << c.what;
        c.during();
        desk.advance(0.1);
        hold(c.releasedTo);
        EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed) << c.what;
        hold({});
        settle();
    }
    // The press after a used chord starts afresh: a plain tap pins again.
    hold(kChord);
    hold({});
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::pinned);
}

TEST_F(ScrollChord, ReleasingOneModifierDecidesNothing) {
    fiveColumns();
    hold(kChord);
    hold(Modifiers::option);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::peek);
    EXPECT_TRUE(manager().chord().start);
    // Pressing control again while the chord is still started starts nothing new.
    hold(kChord);
    EXPECT_EQ(overlays().count("beginTimelinePeek"), 1);
    hold(Modifiers::control);
    EXPECT_EQ(overlays().count("endTimelinePeek"), 0);
    hold({});
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::pinned);
    EXPECT_EQ(input().watchKeysCalls(), (std::vector<bool>{true, false}));
}

TEST_F(ScrollChord, AForgottenChordIsNotDecidedOnRelease) {
    fiveColumns();
    hold(kChord);
    manager().resetChord();
    EXPECT_FALSE(input().keysWatched());
    hold({});
    EXPECT_EQ(overlays().count("endTimelinePeek"), 0);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::peek);
}

TEST_F(ScrollChord, WithoutTimelineOnModifiersTheChordShowsNothing) {
    config.timelineOnModifiers = false;
    fiveColumns();
    hold(kChord);
    EXPECT_EQ(overlays().count("beginTimelinePeek"), 0);
    EXPECT_TRUE(input().keysWatched());
    hold({});
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);
}

// ---------------------------------------------------------------------------
// Clicks and the running state

TEST_F(ScrollChord, MouseDownRecordsTheClickAndTellsTheOverlays) {
    fiveColumns();
    hold(kChord);
    hold({});
    ASSERT_EQ(overlays().timeline(), SimOverlays::Timeline::pinned);
    desk.advance(3);
    const double at = desk.now();
    input().movePointer({300, 200});
    input().pressButton(1);  // a right click counts as well
    deliver();
    EXPECT_DOUBLE_EQ(manager().lastClick, at);
    EXPECT_EQ(manager().lastClickPoint, (Point{300, 200}));
    EXPECT_EQ(overlays().count("clickedElsewhere"), 1);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);
}

TEST_F(ScrollChord, NothingHappensWhileStopped) {
    openWindow("Mail");
    WindowManager& wm = manager();
    wm.handle(MouseDown{{5, 5}});
    wm.handle(ModifiersChanged{kChord});
    wm.handle(ScrollStepped{1});
    wm.handle(KeyDown{});
    EXPECT_EQ(wm.lastClick, 0);
    EXPECT_EQ(wm.lastClickPoint, (Point{-1, -1}));
    EXPECT_FALSE(wm.chord().start);
    EXPECT_FALSE(wm.chord().used);
    EXPECT_TRUE(wm.scroll().isIdle());
    EXPECT_TRUE(overlays().calls().empty());
}

}  // namespace
}  // namespace tessaline
