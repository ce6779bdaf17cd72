// Focus control on the simulated desktop: requests that focus, raise and
// warp; bounces, busy and stalling applications; reports answered out of
// order; the held-button reveal; focus follows mouse and its throttle.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/wm/DragController.h"
#include "engine/wm/FocusController.h"
#include "engine/wm/ScrollController.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

class Focusing : public Scenario {
protected:
    FocusController& focus() { return manager().focus(); }

    // Mail, Notes and Safari with one window each, side by side in that order.
    // Mail started first, so it is in front and its window is focused.
    void threeApps(double settling = 2.0) {
        a = openWindow("Mail", "Inbox", {0, 100, 600, 500});
        b = openWindow("Notes", "List", {500, 100, 600, 500});
        c = openWindow("Safari", "Docs", {1000, 100, 600, 500});
        manager().start();
        settle(settling);
        ASSERT_EQ(order(primaryKey()), (std::vector<WindowID>{a, b, c}));
        ASSERT_EQ(manager().focusedID, a);
    }
    // Columns 60% wide: Notes is cut by the right edge of the display.
    void notesHalfVisible(double settling = 2.0) {
        config.defaultWidth = 0.6;
        threeApps(settling);
        const Rect frame = *frameOf(b);
        ASSERT_LT(frame.minX(), 1440);
        ASSERT_GT(frame.maxX(), 1440);
    }

    std::string tag(WindowID id) { return manager().windowRecord(id)->tag(); }
    double scroll() { return strip(primaryKey()).scroll; }
    // The system says the application came to the front.
    void activated(ProcessID pid) { manager().handle(SystemEvent{AppActivated{pid}}); }
    int count(const std::string& message) {
        int n = 0;
        for (const std::string& line : logLines("focus")) n += line == message;
        return n;
    }
    std::string bounce(WindowID id) { return "focus bounced back from " + tag(id) + "; asking again"; }

    // The time `seconds` before now, such that the engine measures exactly
    // `seconds` back to it. Only early on the virtual clock is that possible
    // for thresholds like 0.08 and 0.6, which doubles cannot hold exactly.
    double ago(double seconds) {
        const double t = desk.now() - seconds;
        EXPECT_EQ(desk.now() - t, seconds) << "not representable at " << desk.now();
        return t;
    }

    WindowID a = 0, b = 0, c = 0;
};

// ---------------------------------------------------------------------------
// Requests

TEST_F(Focusing, RequestFocusesAndRaisesTheWindowAndTheStripSlidesToIt) {
    threeApps();
    const double before = scroll();
    focus().request(c, false);
    EXPECT_EQ(manager().focusedID, c);  // at once, before any answer
    settle(1.0);

    EXPECT_EQ(desk.frontmost(), app("Safari"));
    EXPECT_EQ(desk.focusedWindowOf(app("Safari")), c);
    EXPECT_EQ(desk.windowOrder().front(), c);
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), c);
    EXPECT_EQ(manager().activeKey, primaryKey());
    EXPECT_GT(scroll(), before);
    EXPECT_LE(frameOf(c)->maxX(), 1440);
    EXPECT_FALSE(focus().pendingFocus);
    EXPECT_EQ(count("focus is on " + tag(c)), 1);
}

TEST_F(Focusing, AFocusCommandFocusesRaisesSlidesAndWarpsToWhereTheWindowIsGoing) {
    config.mouseFollowsFocus = true;
    threeApps();
    manager().perform(Action::focusLast);
    const Rect target = *manager().animator.target(c);
    ASSERT_EQ(input().warps().size(), 1u);
    EXPECT_EQ(input().warps().back(), target.centre());
    settle(1.0);
    EXPECT_EQ(desk.frontmost(), app("Safari"));
    EXPECT_EQ(desk.windowOrder().front(), c);
    EXPECT_EQ(*frameOf(c), target);
    EXPECT_EQ(manager().focusedID, c);
}

TEST_F(Focusing, RefusedFocusActivatesTheApplicationAndStillRaises) {
    threeApps();
    desk.setFocusSupported(false);
    focus().request(b, false);
    settle(1.0);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
    EXPECT_EQ(desk.windowOrder().front(), b);
    EXPECT_EQ(manager().focusedID, b);
}

TEST_F(Focusing, NoWarpUnlessAskedForAndEnabled) {
    threeApps();
    focus().request(c, true);
    manager().config.mouseFollowsFocus = true;
    focus().request(b, false);
    EXPECT_TRUE(input().warps().empty());
}

// ---------------------------------------------------------------------------
// The pending request's filter

TEST_F(Focusing, BounceToThePreviousWindowIsAskedOnceMoreThenIgnoredUntilTheDeadline) {
    threeApps();
    desk.setRefusesFocus(app("Notes"), true);
    const double t0 = desk.now();
    focus().request(b, false);
    ASSERT_EQ(focus().pendingFocus->previous, a);

    settle(0.1);
    activated(app("Mail"));
    EXPECT_EQ(count(bounce(b)), 1);
    EXPECT_TRUE(focus().pendingFocus->retried);
    settle(0.3);
    activated(app("Mail"));
    settle(0.3);
    EXPECT_EQ(count(bounce(b)), 1);
    EXPECT_EQ(manager().focusedID, b);

    // Past the deadline the report is taken for what it is.
    desk.scheduler()->advanceTo(t0 + 1.21);
    activated(app("Mail"));
    EXPECT_EQ(manager().focusedID, a);
    EXPECT_FALSE(focus().pendingFocus);
}

TEST_F(Focusing, TheSecondAskAfterABounceCanSucceed) {
    threeApps();
    desk.setRefusesFocus(app("Notes"), true);
    focus().request(b, false);
    settle(0.1);
    desk.setRefusesFocus(app("Notes"), false);
    activated(app("Mail"));
    settle(0.5);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
    EXPECT_EQ(manager().focusedID, b);
    EXPECT_FALSE(focus().pendingFocus);
}

TEST_F(Focusing, AClickJustBeforeTheReportMakesThePreviousWindowStick) {
    threeApps(0.3);
    desk.setRefusesFocus(app("Notes"), true);
    focus().request(b, false);
    settle(0.1);

    // 0.6 s is no longer a recent click ...
    manager().lastClick = ago(0.6);
    activated(app("Mail"));
    EXPECT_EQ(count(bounce(b)), 1);
    EXPECT_EQ(manager().focusedID, b);

    // ... anything less is.
    manager().lastClick = desk.now() - 0.599;
    activated(app("Mail"));
    EXPECT_EQ(manager().focusedID, a);
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), a);
}

TEST_F(Focusing, AThirdApplicationComingForwardIsAcceptedAtOnce) {
    threeApps();
    desk.setRefusesFocus(app("Notes"), true);
    focus().request(b, false);
    settle(0.1);
    activated(app("Safari"));
    EXPECT_EQ(manager().focusedID, c);
    EXPECT_EQ(count(bounce(b)), 0);
}

TEST_F(Focusing, ReportsAnsweredInReverseOrderApplyOnlyTheNewer) {
    threeApps();
    desk.setLatency(app("Notes"), 0.5);
    // Notes, then Safari, in quick succession: Notes answers last.
    desk.focusWindow(b);
    desk.focusWindow(c);
    settle(0.1);
    EXPECT_EQ(manager().focusedID, c);
    settle(1.0);
    EXPECT_EQ(manager().focusedID, c);
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), c);
}

TEST_F(Focusing, FocusMovedByABackgroundApplicationIsIgnored) {
    threeApps();
    const WindowID second = openWindow("Notes", "Other", {600, 100, 600, 500});
    settle(1.0);
    ASSERT_NE(manager().focusedID, second);
    focus().focusChanged(app("Notes"), false, true);
    settle(1.0);
    EXPECT_EQ(manager().focusedID, a);
}

// ---------------------------------------------------------------------------
// Confirming

TEST_F(Focusing, ConfirmWithoutBusinessTakesOverTheFrontmostWindowWithoutScrolling) {
    threeApps();
    desk.setRefusesFocus(app("Safari"), true);
    manager().strips[primaryKey()].focusWindow(c);
    relayoutAll();
    const double scrolled = scroll();
    ASSERT_GT(scrolled, 0);

    const double t0 = desk.now();
    focus().request(c, false);
    desk.scheduler()->advanceTo(t0 + 1.29);
    EXPECT_TRUE(focus().pendingFocus);
    desk.scheduler()->advanceTo(t0 + 1.31);
    EXPECT_FALSE(focus().pendingFocus);
    settle(1.0);
    EXPECT_EQ(manager().focusedID, a);  // Safari never came forward; Mail kept focus
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), a);
    EXPECT_EQ(scroll(), scrolled);
}

TEST_F(Focusing, ABusyApplicationIsAskedOnceASecondAtMostEightTimes) {
    threeApps();
    const ProcessID notes = app("Notes");
    desk.setRefusesFocus(notes, true);
    const std::string prefix = tag(b) + " is busy; asking for focus again (";
    auto busyLines = [&] {
        int n = 0;
        for (const std::string& line : logLines("focus")) n += line.rfind(prefix, 0) == 0;
        return n;
    };
    const double t0 = desk.now();
    // Its frame writes keep going unanswered the whole time.
    auto runUntil = [&](double t) {
        while (desk.now() < t0 + t) {
            writer().noteUnanswered(notes);
            settle(std::min(0.1, t0 + t - desk.now()));
        }
    };
    focus().request(b, false);
    runUntil(1.29);
    EXPECT_EQ(busyLines(), 0);
    runUntil(1.31);
    EXPECT_EQ(busyLines(), 1);
    EXPECT_NEAR(focus().pendingFocus->until, t0 + 1.3 + 1.2, 1e-9);
    runUntil(8.29);
    EXPECT_EQ(busyLines(), 7);
    runUntil(8.31);
    EXPECT_EQ(busyLines(), 8);
    EXPECT_TRUE(logged("focus", prefix + "8)"));
    runUntil(9.31);
    EXPECT_EQ(busyLines(), 8);
    EXPECT_FALSE(focus().pendingFocus);
    settle(0.5);
    EXPECT_EQ(manager().focusedID, a);
}

TEST_F(Focusing, RequestingTheSameWindowAgainDoesNotDoubleTheReasks) {
    threeApps();
    const ProcessID notes = app("Notes");
    desk.setRefusesFocus(notes, true);
    focus().request(b, false);
    settle(0.5);
    focus().request(b, false);
    for (int i = 0; i < 40; ++i) {
        writer().noteUnanswered(notes);
        settle(0.1);
    }
    // Only the second activation's chain runs: 1.3, 2.3 and 3.3 s after it.
    int asks = 0;
    for (const std::string& line : logLines("focus")) asks += line.find(" is busy; ") != std::string::npos;
    EXPECT_EQ(asks, 3);
}

// ---------------------------------------------------------------------------
// Applications that stall when activated

TEST_F(Focusing, AStallingApplicationIsRememberedAcrossRestarts) {
    threeApps();
    desk.setActivationStall(app("Notes"), 0.5);
    focus().request(b, false);
    focus().request(c, false);  // Safari answers promptly
    settle(1.0);
    const std::string line =
        "com.example.Notes stalls when activated; it gets focus after windows settle from now on";
    EXPECT_EQ(count(line), 1);
    EXPECT_EQ(defaults.value("slowToActivate"), nlohmann::json::array({"com.example.Notes"}));

    focus().request(b, false);  // known already: neither logged nor stored again
    settle(1.0);
    EXPECT_EQ(count(line), 1);

    manager().stop();
    destroyManager();
    EXPECT_EQ(manager().focus().slowToActivate, std::set<std::string>{"com.example.Notes"});
}

TEST_F(Focusing, MalformedListOfStallingApplicationsCountsAsEmpty) {
    defaults.setValue("slowToActivate", nlohmann::json::array({"com.example.Notes", 3}));
    EXPECT_TRUE(focus().slowToActivate.empty());
    destroyManager();
    defaults.setValue("slowToActivate", "com.example.Notes");
    EXPECT_TRUE(focus().slowToActivate.empty());
}

TEST_F(Focusing, AStallingApplicationIsActivatedAfterTheSlideOnlyWhileTheStripSlides) {
    defaults.setValue("slowToActivate", nlohmann::json::array({"com.example.Notes"}));
    threeApps();
    // Not sliding: at once.
    focus().request(b, false);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
    focus().request(a, false);
    settle(2.0);
    ASSERT_EQ(desk.frontmost(), app("Mail"));

    manager().strips[primaryKey()].focusWindow(c);
    manager().relayout({primaryKey()}, true, WindowManager::ScrollPolicy::reveal, true, false);
    ASSERT_TRUE(manager().animator.hasMotion());
    const double t0 = desk.now();
    focus().request(b, false);
    EXPECT_TRUE(logged("focus", tag(b) + " is slow to activate: focusing it after the slide"));
    EXPECT_NEAR(focus().pendingFocus->until, t0 + 1.2 + config.animationDuration, 1e-9);
    desk.scheduler()->advanceTo(t0 + config.animationDuration + 0.029);
    EXPECT_EQ(desk.frontmost(), app("Mail"));
    desk.scheduler()->advanceTo(t0 + config.animationDuration + 0.031);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
}

// ---------------------------------------------------------------------------
// Reports of windows the strip does not hold

TEST_F(Focusing, AReportedWindowTheTrackerMissedIsTakenOnOnlyWithAHandle) {
    threeApps();
    AppSpec desc;
    desc.name = "Quiet";
    desc.regular = false;
    const ProcessID quiet = desk.launchApp(desc);
    const WindowID missed = desk.openWindow(quiet, "Missed");
    const WindowID bare = desk.openWindow(quiet, "Bare");

    focus().apply(bare, quiet, std::nullopt, false, true, focus().applied + 1);
    EXPECT_EQ(manager().focusedID, bare);
    focus().apply(missed, quiet, desk.handleOf(missed), false, true, focus().applied + 1);
    settle(1.0);
    EXPECT_TRUE(manager().windowRecord(missed));
    EXPECT_FALSE(manager().windowRecord(bare));

    // A stale number is dropped.
    focus().apply(a, app("Mail"), std::nullopt, true, true, focus().applied);
    EXPECT_EQ(manager().focusedID, missed);
}

TEST_F(Focusing, LateAnswersAfterTheManagerIsGoneDoNothing) {
    threeApps();
    desk.setLatency(app("Notes"), 0.5);
    desk.setRefusesFocus(app("Safari"), true);
    focus().request(c, true);
    desk.focusWindow(b);
    settle(0.05);
    destroyManager();
    settle(12.0);  // confirmation, sluggish check and answers all find nothing
    SUCCEED();
}

// ---------------------------------------------------------------------------
// Held button

TEST_F(Focusing, FocusUnderAHeldButtonScrollsOnlyWhenReleased) {
    notesHalfVisible();
    const double before = scroll();
    input().movePointer({1300, 300});
    input().pressButton(0);  // on Notes: it comes forward
    settle(0.5);
    EXPECT_EQ(manager().focusedID, b);
    EXPECT_EQ(focus().revealAfterClick, b);
    EXPECT_EQ(scroll(), before);

    input().releaseButton(0);
    settle(1.0);
    EXPECT_GT(scroll(), before);
    EXPECT_LE(frameOf(b)->maxX(), 1440);
    EXPECT_FALSE(focus().revealAfterClick);
}

TEST_F(Focusing, ReleaseDoesNotScrollDuringADragOrAfterFocusMovedOn) {
    notesHalfVisible();
    const double before = scroll();
    input().movePointer({1300, 300});
    input().pressButton(0);
    settle(0.5);
    ASSERT_EQ(focus().revealAfterClick, b);
    manager().drag().drag = DragController::Drag{};
    manager().drag().drag->id = b;
    input().releaseButton(0);
    settle(1.0);
    EXPECT_EQ(scroll(), before);
    manager().drag().cancel();

    desk.focusWindow(a);
    settle(1.0);
    const double after = scroll();
    input().pressButton(0);
    settle(0.5);
    ASSERT_EQ(focus().revealAfterClick, b);
    manager().focusedID = a;  // focus moved on before the release
    input().releaseButton(0);
    settle(1.0);
    EXPECT_EQ(scroll(), after);
}

// ---------------------------------------------------------------------------
// Focus follows mouse

TEST_F(Focusing, PointerFocusesAHalfVisibleWindowWithoutScrolling) {
    config.focusFollowsMouse = true;
    notesHalfVisible();
    const double before = scroll();
    const Rect frame = *frameOf(b);
    input().movePointer({1300, 300});
    settle(0.01);
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), b);
    ASSERT_TRUE(focus().quietFocus);
    EXPECT_EQ(focus().quietFocus->id, b);
    settle(0.9);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
    EXPECT_EQ(manager().focusedID, b);
    EXPECT_EQ(scroll(), before);
    EXPECT_EQ(*frameOf(b), frame);
}

TEST_F(Focusing, PointerChecksAreThrottledToMoreThanAnEightiethOfASecond) {
    notesHalfVisible(0.1875);
    input().movePointer({1300, 300});
    const double boundary = ago(0.08);
    focus().lastPointerCheck = boundary;
    focus().pointerMoved();
    EXPECT_EQ(focus().lastPointerCheck, boundary);
    EXPECT_EQ(manager().focusedID, a);

    focus().lastPointerCheck = desk.now() - 0.081;
    focus().pointerMoved();
    EXPECT_EQ(focus().lastPointerCheck, desk.now());
    EXPECT_EQ(manager().focusedID, b);
}

TEST_F(Focusing, PointerIsIgnoredDuringSwipesWheelStepsDragsAndHeldButtons) {
    notesHalfVisible();
    input().movePointer({1300, 300});
    auto ignored = [&](const char* what) {
        focus().pointerMoved();
        EXPECT_EQ(manager().focusedID, a) << what;
        EXPECT_EQ(focus().lastPointerCheck, 0) << what;
    };
    manager().scroll().key = primaryKey();
    ignored("swipe");
    manager().scroll().key.reset();

    manager().scroll().stepping = ScrollController::Stepping{primaryKey(), scheduler().after(60, [] {})};
    ignored("wheel step");
    manager().scroll().reset();

    manager().drag().drag = DragController::Drag{};
    manager().drag().drag->id = c;
    ignored("drag");
    manager().drag().cancel();

    input().pressButton(1);
    ignored("held button");
    input().releaseButton(1);

    focus().pointerMoved();
    EXPECT_EQ(manager().focusedID, b);
}

TEST_F(Focusing, PointerOverTheFocusedOrAFloatingWindowDoesNothing) {
    notesHalfVisible();
    input().movePointer({300, 300});  // Mail, focused already
    focus().pointerMoved();
    EXPECT_FALSE(focus().pendingFocus);

    manager().windowRecord(b)->state = ManagedWindow::State::floating;
    input().movePointer({1300, 300});
    settle(0.1);
    focus().pointerMoved();
    EXPECT_EQ(manager().focusedID, a);
}

}  // namespace
}  // namespace tessaline
