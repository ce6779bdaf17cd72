// Swipes, modified scrolling, wheel notches and the control+option chord, as a
// user produces them on the simulated desktop.
//
// Geometry used throughout: the built-in display is 1440 points wide, the gap
// is 10 and every column half width (705 points), so column i spans
// [10 + 715 i, 715 + 715 i] and the column edges a scroll can rest on are the
// multiples of 715 (0 to 2145 for five columns).

#include <gtest/gtest.h>

#include <functional>

#include "engine/wm/FocusController.h"
#include "engine/wm/ScrollController.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

constexpr Modifiers kChord = Modifiers::control | Modifiers::option;

class ScrollChord : public Scenario {
protected:
    // Five tiled columns, the first focused, scrolled to the start, the
    // pointer over the strip.
    void fiveColumns() {
        tile(5);
        input().movePointer({700, 450});
        deliver();
        ASSERT_EQ(strip().scroll, 0);
        ASSERT_EQ(manager().focusedID, 1u);
        LogStore::shared().clear();
        overlays().clearCalls();
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
    double scroll() { return strip().scroll; }
    // A swipe that moves the strip's content by `points` to the left.
    void swipeBy(double points) {
        send(SwipeBegan{});
        send(SwipeMoved{-points / (1440 * config.swipeSensitivity)});
    }
    std::string lastStripShown() {
        const auto& shown = overlays().stripsShown();
        return shown.empty() ? "none" : std::string(shown.back().second ? "held" : "fading");
    }
};

TEST_F(ScrollChord, SwipesFollowTheFingersScaledBySensitivityAndModifiedScrollsByPoints) {
    config.swipeSensitivity = 2.0;
    fiveColumns();
    send(SwipeBegan{});
    EXPECT_EQ(manager().scroll().key, primaryKey());
    EXPECT_EQ(lastStripShown(), "held");
    // A tenth of the trackpad is 144 points of the display, doubled.
    send(SwipeMoved{-0.1});
    EXPECT_DOUBLE_EQ(scroll(), 288);
    send(SwipeMoved{0.05});
    EXPECT_DOUBLE_EQ(scroll(), 144);
    // The windows are steered after the fingers; overlays only move along.
    EXPECT_DOUBLE_EQ(target(2)->x, 725 - 144);
    EXPECT_EQ(overlays().count("refresh"), 0);
    EXPECT_EQ(strip().focused, 0);
    send(SwipeEnded{0});
    EXPECT_DOUBLE_EQ(scroll(), 0);

    send(ScrollBegan{});
    send(ScrollMoved{-100});
    EXPECT_DOUBLE_EQ(scroll(), 100);
    send(ScrollMoved{500});  // the strip cannot be dragged before its first column
    EXPECT_DOUBLE_EQ(scroll(), 0);
}

TEST_F(ScrollChord, AReleaseSettlesOnTheNearestEdgeAndQuietlyFocusesThatColumn) {
    fiveColumns();
    swipeBy(300);
    send(SwipeEnded{0});
    EXPECT_DOUBLE_EQ(scroll(), 0);
    EXPECT_EQ(strip().focused, 0);
    EXPECT_EQ(logLines("input"), std::vector<std::string>{"scroll settled on column 1"});
    EXPECT_FALSE(manager().scroll().key);

    LogStore::shared().clear();
    swipeBy(400);
    const double released = desk.now();
    send(SwipeEnded{0});
    EXPECT_DOUBLE_EQ(scroll(), 715);
    EXPECT_EQ(logLines("input"), std::vector<std::string>{"scroll settled on column 2"});
    EXPECT_EQ(lastStripShown(), "fading");
    EXPECT_EQ(strip().focused, 1);
    EXPECT_EQ(manager().activeKey, primaryKey());
    EXPECT_EQ(manager().focusedID, 2u);
    EXPECT_EQ(manager().focus().quietFocus, (FocusController::QuietFocus{2, released + 1.0}));
    // The glide lasts max(0.3, animationDuration), not the shorter default slide.
    desk.advance(0.25);
    EXPECT_TRUE(manager().animator.isMoving(2));
    settle();
    EXPECT_FALSE(manager().animator.isMoving(2));
    // When the system reports the focus asked for, the strip stays put.
    EXPECT_DOUBLE_EQ(scroll(), 715);
    EXPECT_EQ(laidOut(2).x, 10);

    // A strip that left the screen before the release takes no focus.
    LogStore::shared().clear();
    swipeBy(400);
    desk.switchSpace(primary, desk.addSpace(primary));
    settle();
    send(SwipeEnded{0});
    EXPECT_FALSE(manager().scroll().key);
    EXPECT_EQ(manager().focusedID, 2u);
    EXPECT_TRUE(logLines("input").empty());
}

TEST_F(ScrollChord, AFlingTravelsAtMostHalfTheVisibleWidthScaledByTheSwipesSensitivity) {
    fiveColumns();
    // From 144, a fast release would reach the strip's end, but half a screen
    // (720) more only gets to 864, whose nearest edge is 715.
    swipeBy(144);
    send(SwipeEnded{-100});
    EXPECT_DOUBLE_EQ(scroll(), 715);
    // A slow release glides 0.12 s of its velocity: 0.5 widths/s is 86.4
    // points, enough to carry 300 past the midpoint between 0 and 715...
    swipeBy(300 - 715);
    send(SwipeEnded{-0.5});
    EXPECT_DOUBLE_EQ(scroll(), 715);
    // ...and, the other way, to bring 400 back below it.
    swipeBy(400 - 715);
    send(SwipeEnded{0.5});
    EXPECT_DOUBLE_EQ(scroll(), 0);

    // The cap scales with the swipe's sensitivity: capped at 360 the fling
    // reaches 1460 and rests on 1430; a full half screen would carry it on to 2145.
    config.swipeSensitivity = manager().config.swipeSensitivity = 0.5;
    swipeBy(1100);
    send(SwipeEnded{-100});
    EXPECT_DOUBLE_EQ(scroll(), 1430);
    manager().config.swipeSensitivity = 0.25;
    act(Action::focusFirst);
    ASSERT_DOUBLE_EQ(scroll(), 0);
    send(ScrollBegan{});
    send(ScrollMoved{-100});
    send(ScrollEnded{-10000});  // a modified scroll's cap does not scale: 1200 points uncapped, 720 capped: 820 -> 715
    EXPECT_DOUBLE_EQ(scroll(), 715);
}

TEST_F(ScrollChord, AGestureOverAnEmptyDisplayIsIgnoredAndForgetsOneThatNeverEnded) {
    const std::string second = desk.addDisplay(Rect{1440, 0, 1440, 900}, "Second");
    fiveColumns();
    send(SwipeBegan{});
    ASSERT_TRUE(manager().scroll().key);
    input().movePointer({2000, 400});
    deliver();
    send(SwipeBegan{});
    EXPECT_FALSE(manager().scroll().key);
    send(SwipeMoved{-0.2});
    send(ScrollMoved{-200});
    send(SwipeEnded{-3});
    EXPECT_DOUBLE_EQ(scroll(), 0);
    EXPECT_DOUBLE_EQ(strip(keyOf(second)).scroll, 0);
    EXPECT_EQ(lastStripShown(), "held");  // only the first gesture's
    EXPECT_TRUE(logLines("input").empty());
}

TEST_F(ScrollChord, AGestureWhoseDisplayOrStripWentAwayMovesNothingAndEndsCleanly) {
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
    const double before = scroll();
    send(SwipeMoved{-0.2});
    EXPECT_DOUBLE_EQ(scroll(), before);
    send(SwipeEnded{0});
    EXPECT_FALSE(manager().scroll().key);
    EXPECT_TRUE(logLines("input").empty());

    // The strip emptied under a running gesture (its last window closed).
    manager().stop();
    desk.quitApp(app("Left"));
    desk.quitApp(app("Right"));
    start();
    manager().strips[primaryKey()];
    manager().activeKey.reset();
    overlays().clearCalls();
    manager().scroll().key = primaryKey();
    send(ScrollEnded{-500});
    EXPECT_FALSE(manager().scroll().key);
    EXPECT_FALSE(manager().activeKey);
    EXPECT_TRUE(logLines("input").empty());
    EXPECT_EQ(overlays().count("showStrip"), 0);
}

TEST_F(ScrollChord, NotchesStepAColumnEachAndFocusOnceAfterThePause) {
    fiveColumns();
    for (int notch = 1; notch <= 3; ++notch) {
        send(ScrollStepped{1});
        EXPECT_EQ(strip().focused, notch);
        EXPECT_EQ(manager().focusedID, 1u) << "keyboard focus moved at notch " << notch;
        desk.advance(0.2);  // past where the first notch's timer would have run
    }
    EXPECT_GT(scroll(), 0);  // each notch slides the strip
    EXPECT_EQ(logLines("input"), (std::vector<std::string>{"wheel: +1 column(s), to column 2",
                                                           "wheel: +1 column(s), to column 3",
                                                           "wheel: +1 column(s), to column 4"}));
    EXPECT_TRUE(manager().scroll().stepping);
    desk.advance(0.09);  // 0.29 s after the last notch
    EXPECT_EQ(manager().focusedID, 1u);
    desk.advance(0.02);
    EXPECT_EQ(manager().focusedID, 4u);
    EXPECT_FALSE(manager().scroll().stepping);
    EXPECT_EQ(manager().focus().quietFocus->id, 4u);
    settle();
    EXPECT_EQ(manager().focusedID, 4u);
    EXPECT_EQ(strip().focused, 3);
    EXPECT_EQ(logCount("input", "wheel stopped on column 4"), 1);
    EXPECT_EQ(lastStripShown(), "fading");  // every notch held the indicator; landing lets it fade

    // Notches stop at the strip's ends.
    for (int i = 0; i < 3; ++i) send(ScrollStepped{1});
    EXPECT_EQ(strip().focused, 4);
    EXPECT_EQ(logLines("input").back(), "wheel: +1 column(s), to column 5");
    settle();
    EXPECT_EQ(manager().focusedID, 5u);
    LogStore::shared().clear();
    act(Action::focusFirst);
    send(ScrollStepped{-1});
    EXPECT_EQ(strip().focused, 0);
    EXPECT_EQ(logLines("input"), std::vector<std::string>{"wheel: -1 column(s), to column 1"});
    settle();
    EXPECT_FALSE(logged("input", "wheel stopped on column 1"));  // already focused: landing asks for nothing
}

TEST_F(ScrollChord, ANotchUndoneResetOrOnAnEmptiedStripLeavesFocusAlone) {
    fiveColumns();
    send(ScrollStepped{1});
    desk.advance(0.1);
    send(ScrollStepped{-1});
    settle();
    EXPECT_EQ(strip().focused, 0);
    EXPECT_EQ(manager().focusedID, 1u);
    for (const std::string& line : logLines("input")) EXPECT_EQ(line.rfind("wheel stopped", 0), std::string::npos);

    // A swipe end with no gesture running resets the controller.
    send(ScrollStepped{1});
    send(SwipeEnded{0});
    EXPECT_TRUE(manager().scroll().isIdle());
    settle();
    EXPECT_EQ(strip().focused, 1);
    EXPECT_EQ(manager().focusedID, 1u);

    // Every window of the strip went away between two notches.
    LogStore::shared().clear();
    send(ScrollStepped{1});
    manager().strips[primaryKey()] = Strip{};
    send(ScrollStepped{1});
    EXPECT_EQ(logLines("input"), std::vector<std::string>{"wheel: +1 column(s), to column 3"});
    settle();
    EXPECT_TRUE(manager().scroll().isIdle());
    EXPECT_EQ(manager().focusedID, 1u);
}

TEST_F(ScrollChord, TheChordPeeksAndATapPinsWithTheBoundaryExact) {
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

    // Releasing one modifier decides nothing; pressing it again starts nothing new.
    hold(kChord);
    hold(Modifiers::option);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::peek);
    EXPECT_TRUE(manager().chord().start);
    hold(kChord);
    EXPECT_EQ(overlays().count("beginTimelinePeek"), 3);
    hold(Modifiers::control);
    EXPECT_EQ(overlays().count("endTimelinePeek"), 2);
    hold({});
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::pinned);
    EXPECT_EQ(input().watchKeysCalls(), (std::vector<bool>{true, false, true, false, true, false}));

    // A forgotten chord is not decided on release.
    overlays().closeTimeline();
    hold(kChord);
    manager().resetChord();
    EXPECT_FALSE(input().keysWatched());
    hold({});
    EXPECT_EQ(overlays().count("endTimelinePeek"), 3);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::peek);

    // Without the timeline on modifiers the chord shows nothing.
    manager().config.timelineOnModifiers = false;
    overlays().clearCalls();
    overlays().closeTimeline();
    hold(kChord);
    EXPECT_EQ(overlays().count("beginTimelinePeek"), 0);
    EXPECT_TRUE(input().keysWatched());
    hold({});
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);
}

TEST_F(ScrollChord, AUsedChordCloses) {
    fiveColumns();
    struct Case {
        const char* what;
        std::function<void()> during;
        Modifiers releasedTo;
    };
    const Case cases[] = {
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

TEST_F(ScrollChord, AClickIsRecordedAndClosesThePinnedTimelineButNothingHappensWhileStopped) {
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

    start();
    hold(kChord);
    hold({});
    ASSERT_EQ(overlays().timeline(), SimOverlays::Timeline::pinned);
    desk.advance(3);
    const double at = desk.now();
    press({300, 200}, 1);  // a right click counts as well
    EXPECT_DOUBLE_EQ(wm.lastClick, at);
    EXPECT_EQ(wm.lastClickPoint, (Point{300, 200}));
    EXPECT_EQ(overlays().count("clickedElsewhere"), 1);
    EXPECT_EQ(overlays().timeline(), SimOverlays::Timeline::closed);
    input().releaseButton(1);
}

}  // namespace
}  // namespace tessaline
