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

    // Mail (1), Notes (2) and Safari (3), side by side in that order. Mail
    // started first, so it is in front and its window is focused. At a width
    // of 0.6 Notes is cut by the right edge of the display.
    void threeApps(double width = 0.5, double settling = 2.0) {
        config.defaultWidth = width;
        const char* names[] = {"Mail", "Notes", "Safari"};
        for (int i = 0; i < 3; ++i) openWindow(names[i], names[i], {500.0 * i, 100, 600, 500});
        manager().start();
        settle(settling);
        ASSERT_EQ(order(), (std::vector<WindowID>{1, 2, 3}));
        ASSERT_EQ(manager().focusedID, 1u);
    }
    double scroll() { return strip().scroll; }
    // The system says the application came to the front.
    void activated(const char* name) { manager().handle(SystemEvent{AppActivated{app(name)}}); }
    std::string bounce(WindowID id) { return "focus bounced back from " + tag(id) + "; asking again"; }
    // Notes refuses focus and is asked for it.
    void refusingNotes() {
        desk.setRefusesFocus(app("Notes"), true);
        focus().request(2, false);
    }
    // The time `seconds` before now, such that the engine measures exactly
    // `seconds` back to it. Only early on the virtual clock is that possible
    // for thresholds like 0.08 and 0.6, which doubles cannot hold exactly.
    double ago(double seconds) {
        const double t = desk.now() - seconds;
        EXPECT_EQ(desk.now() - t, seconds) << "not representable at " << desk.now();
        return t;
    }
};

TEST_F(Focusing, ARequestFocusesRaisesAndSlidesTheStripWithoutWarpingUnlessAsked) {
    threeApps();
    const double before = scroll();
    overlays().clearCalls();
    focus().request(3, false);
    EXPECT_EQ(manager().focusedID, 3u);  // at once, before any answer
    EXPECT_EQ(overlays().count("refresh"), 1);
    settle(1.0);
    EXPECT_EQ(desk.frontmost(), app("Safari"));
    EXPECT_EQ(desk.focusedWindowOf(app("Safari")), 3u);
    EXPECT_EQ(desk.windowOrder().front(), 3u);
    EXPECT_EQ(text(), "[1]p [2] [3*]");
    EXPECT_EQ(manager().activeKey, primaryKey());
    EXPECT_GT(scroll(), before);
    EXPECT_LE(laidOut(3).maxX(), 1440);
    EXPECT_FALSE(focus().pendingFocus);
    EXPECT_EQ(logCount("focus", "focus is on " + tag(3)), 1);

    focus().request(3, true);
    manager().config.mouseFollowsFocus = true;
    focus().request(2, false);
    EXPECT_TRUE(input().warps().empty());
    settle(1.0);

    // Where focusing is refused, activating the application still raises it.
    desk.setFocusSupported(false);
    focus().request(1, false);
    settle(1.0);
    EXPECT_EQ(desk.frontmost(), app("Mail"));
    EXPECT_EQ(desk.windowOrder().front(), 1u);
    EXPECT_EQ(manager().focusedID, 1u);
}

TEST_F(Focusing, AFocusCommandWarpsToWhereTheWindowIsGoing) {
    config.mouseFollowsFocus = true;
    threeApps();
    manager().perform(Action::focusLast);
    const Rect going = *target(3);
    EXPECT_EQ(input().warps(), std::vector<Point>{going.centre()});
    settle(1.0);
    EXPECT_EQ(desk.frontmost(), app("Safari"));
    EXPECT_EQ(desk.windowOrder().front(), 3u);
    EXPECT_EQ(laidOut(3), going);
    EXPECT_EQ(manager().focusedID, 3u);
}

TEST_F(Focusing, ABounceToThePreviousWindowIsAskedOnceMoreThenIgnoredUntilTheDeadline) {
    threeApps();
    const double t0 = desk.now();
    refusingNotes();
    ASSERT_EQ(focus().pendingFocus->previous, 1u);
    settle(0.1);
    activated("Mail");
    EXPECT_EQ(logCount("focus", bounce(2)), 1);
    EXPECT_TRUE(focus().pendingFocus->retried);
    settle(0.3);
    activated("Mail");
    settle(0.3);
    EXPECT_EQ(logCount("focus", bounce(2)), 1);
    EXPECT_EQ(manager().focusedID, 2u);
    // Past the deadline the report is taken for what it is.
    scheduler().advanceTo(t0 + 1.21);
    activated("Mail");
    EXPECT_EQ(manager().focusedID, 1u);
    EXPECT_FALSE(focus().pendingFocus);
}

TEST_F(Focusing, TheSecondAskAfterABounceCanSucceedAndAThirdApplicationIsTakenAtOnce) {
    threeApps();
    refusingNotes();
    settle(0.1);
    desk.setRefusesFocus(app("Notes"), false);
    activated("Mail");
    settle(0.5);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
    EXPECT_EQ(manager().focusedID, 2u);
    EXPECT_FALSE(focus().pendingFocus);

    focus().request(1, false);
    settle();
    refusingNotes();
    settle(0.1);
    activated("Safari");
    EXPECT_EQ(manager().focusedID, 3u);
    EXPECT_EQ(logCount("focus", bounce(2)), 1);  // the first round's only
}

TEST_F(Focusing, AClickJustBeforeTheReportMakesThePreviousWindowStick) {
    threeApps(0.5, 0.3);
    refusingNotes();
    settle(0.1);
    manager().lastClick = ago(0.6);  // 0.6 s is no longer a recent click ...
    activated("Mail");
    EXPECT_EQ(logCount("focus", bounce(2)), 1);
    EXPECT_EQ(manager().focusedID, 2u);
    manager().lastClick = desk.now() - 0.599;  // ... anything less is
    activated("Mail");
    EXPECT_EQ(manager().focusedID, 1u);
    EXPECT_EQ(strip().focusedWindow(), 1u);
}

TEST_F(Focusing, OnlyTheNewestReportCountsAndBackgroundFocusChangesDoNot) {
    threeApps();
    desk.setLatency(app("Notes"), 0.5);
    // Notes, then Safari, in quick succession: Notes answers last.
    desk.focusWindow(2);
    desk.focusWindow(3);
    settle(0.1);
    EXPECT_EQ(manager().focusedID, 3u);
    settle(1.0);
    EXPECT_EQ(manager().focusedID, 3u);
    EXPECT_EQ(strip().focusedWindow(), 3u);

    const WindowID second = openWindow("Notes", "Other", {600, 100, 600, 500});
    settle(1.0);
    ASSERT_NE(manager().focusedID, second);
    focus().focusChanged(app("Notes"), false, true);
    settle(1.0);
    EXPECT_EQ(manager().focusedID, 3u);
}

TEST_F(Focusing, AnApplicationThatNeverComesForwardLeavesFocusWhereItWasWithoutScrolling) {
    threeApps();
    desk.setRefusesFocus(app("Safari"), true);
    manager().strips[primaryKey()].focusWindow(3);
    relayoutAll();
    const double scrolled = scroll();
    ASSERT_GT(scrolled, 0);
    const double t0 = desk.now();
    focus().request(3, false);
    scheduler().advanceTo(t0 + 1.29);
    EXPECT_TRUE(focus().pendingFocus);
    scheduler().advanceTo(t0 + 1.31);
    EXPECT_FALSE(focus().pendingFocus);
    settle(1.0);
    EXPECT_EQ(manager().focusedID, 1u);
    EXPECT_EQ(strip().focusedWindow(), 1u);
    EXPECT_EQ(scroll(), scrolled);
}

TEST_F(Focusing, ABusyApplicationIsAskedOnceASecondAtMostEightTimes) {
    threeApps();
    const ProcessID notes = app("Notes");
    const std::string prefix = tag(2) + " is busy; asking for focus again (";
    const auto busyLines = [&] {
        int n = 0;
        for (const std::string& line : logLines("focus")) n += line.rfind(prefix, 0) == 0;
        return n;
    };
    const double t0 = desk.now();
    // Its frame writes keep going unanswered the whole time.
    const auto runUntil = [&](double t) {
        while (desk.now() < t0 + t) {
            writer().noteUnanswered(notes);
            settle(std::min(0.1, t0 + t - desk.now()));
        }
        return busyLines();
    };
    refusingNotes();
    EXPECT_EQ(runUntil(1.29), 0);
    EXPECT_EQ(runUntil(1.31), 1);
    EXPECT_NEAR(focus().pendingFocus->until, t0 + 1.3 + 1.2, 1e-9);
    EXPECT_EQ(runUntil(8.29), 7);
    EXPECT_EQ(runUntil(8.31), 8);
    EXPECT_TRUE(logged("focus", prefix + "8)"));
    EXPECT_EQ(runUntil(9.31), 8);
    EXPECT_FALSE(focus().pendingFocus);
    settle(0.5);
    EXPECT_EQ(manager().focusedID, 1u);

    // Asked again for the same window, only the second activation's chain
    // runs: 1.3, 2.3 and 3.3 s after it.
    LogStore::shared().clear();
    refusingNotes();
    settle(0.5);
    focus().request(2, false);
    for (int i = 0; i < 40; ++i) {
        writer().noteUnanswered(notes);
        settle(0.1);
    }
    EXPECT_EQ(busyLines(), 3);
}

TEST_F(Focusing, AStallingApplicationIsRememberedAndActivatedAfterTheSlide) {
    threeApps();
    desk.setActivationStall(app("Notes"), 0.5);
    focus().request(2, false);
    focus().request(3, false);  // Safari answers promptly
    settle(1.0);
    const std::string line = "com.example.Notes stalls when activated; it gets focus after windows settle from now on";
    EXPECT_EQ(logCount("focus", line), 1);
    EXPECT_EQ(defaults.value("slowToActivate"), nlohmann::json::array({"com.example.Notes"}));
    focus().request(2, false);  // known already: neither logged nor stored again
    settle(1.0);
    EXPECT_EQ(logCount("focus", line), 1);

    // Remembered across runs; while the strip is still, it is activated at once.
    manager().stop();
    destroyManager();
    start();
    EXPECT_EQ(focus().slowToActivate, std::set<std::string>{"com.example.Notes"});
    desk.setActivationStall(app("Notes"), 0);
    focus().request(2, false);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
    focus().request(1, false);
    settle();
    ASSERT_EQ(desk.frontmost(), app("Mail"));
    // While the strip slides, only after the slide.
    manager().strips[primaryKey()].focusWindow(3);
    manager().relayout({primaryKey()}, true, WindowManager::ScrollPolicy::reveal, true, false);
    ASSERT_TRUE(manager().animator.hasMotion());
    const double t0 = desk.now();
    focus().request(2, false);
    EXPECT_TRUE(logged("focus", tag(2) + " is slow to activate: focusing it after the slide"));
    EXPECT_NEAR(focus().pendingFocus->until, t0 + 1.2 + config.animationDuration, 1e-9);
    scheduler().advanceTo(t0 + config.animationDuration + 0.029);
    EXPECT_EQ(desk.frontmost(), app("Mail"));
    scheduler().advanceTo(t0 + config.animationDuration + 0.031);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
}

TEST_F(Focusing, AMalformedListOfStallingApplicationsCountsAsEmpty) {
    for (const nlohmann::json& stored : {nlohmann::json::array({"com.example.Notes", 3}), nlohmann::json("x")}) {
        defaults.setValue("slowToActivate", stored);
        EXPECT_TRUE(focus().slowToActivate.empty()) << stored.dump();
        destroyManager();
    }
}

TEST_F(Focusing, AReportedWindowTheTrackerMissedIsTakenOnOnlyWithAHandle) {
    threeApps();
    const ProcessID quiet = desk.launchApp(AppSpec{.name = "Quiet", .regular = false});
    const WindowID missed = desk.openWindow(quiet, "Missed");
    const WindowID bare = desk.openWindow(quiet, "Bare");
    focus().apply(bare, quiet, std::nullopt, false, true, focus().applied + 1);
    EXPECT_EQ(manager().focusedID, bare);
    focus().apply(missed, quiet, desk.handleOf(missed), false, true, focus().applied + 1);
    settle(1.0);
    EXPECT_TRUE(record(missed));
    EXPECT_FALSE(record(bare));
    focus().apply(1, app("Mail"), std::nullopt, true, true, focus().applied);  // a stale number is dropped
    EXPECT_EQ(manager().focusedID, missed);
    // A reported window that is no standard one is read once, not again later.
    const WindowID odd = desk.openWindow(WindowSpec{.pid = quiet, .kind = WindowKind::dialog});
    focus().apply(odd, quiet, desk.handleOf(odd), false, true, focus().applied + 1);
    settle(0.05);
    desk.setKind(odd, WindowKind::standard);
    settle(1.0);
    EXPECT_FALSE(record(odd));
}

// The focus named a window of an application the tracker never took on (a
// dialog here; in the stress run a new window not yet tracked) when the
// application quit: the focus went on naming a window that no longer existed,
// since quitting cleared it only for the windows that were tracked.
TEST_F(Focusing, AQuittingAppTakesTheFocusOfAWindowNeverTracked) {
    threeApps();
    const WindowID dialog = desk.openWindow(WindowSpec{.pid = app("Mail"), .title = "Find", .kind = WindowKind::dialog});
    settle();
    ASSERT_EQ(manager().focusedID, dialog);
    ASSERT_EQ(record(dialog), nullptr);
    desk.quitApp(app("Mail"));
    settle();
    EXPECT_FALSE(manager().focusedID.has_value());
}

TEST_F(Focusing, LateAnswersAfterTheManagerIsGoneDoNothing) {
    threeApps();
    desk.setLatency(app("Notes"), 0.5);
    desk.setRefusesFocus(app("Safari"), true);
    focus().request(3, true);
    desk.focusWindow(2);
    settle(0.05);
    destroyManager();
    settle(12.0);  // confirmation, sluggish check and answers all find nothing
}

TEST_F(Focusing, FocusUnderAHeldButtonRevealsTheWindowOnlyOnAPlainRelease) {
    threeApps(0.6);
    const double before = scroll();
    press({1300, 300});  // on Notes: it comes forward
    settle(0.5);
    EXPECT_EQ(manager().focusedID, 2u);
    EXPECT_EQ(focus().revealAfterClick, 2u);
    EXPECT_EQ(scroll(), before);
    release();
    EXPECT_GT(scroll(), before);
    EXPECT_LE(laidOut(2).maxX(), 1440);
    EXPECT_FALSE(focus().revealAfterClick);

    // Not during a drag, nor once focus moved on.
    desk.focusWindow(1);
    settle(1.0);
    const double back = scroll();
    press({1300, 300});
    settle(0.5);
    ASSERT_EQ(focus().revealAfterClick, 2u);
    manager().drag().drag = DragController::Drag{};
    manager().drag().drag->id = 2;
    release();
    EXPECT_EQ(scroll(), back);
    manager().drag().cancel();
    desk.focusWindow(1);
    settle(1.0);
    const double after = scroll();
    press({1300, 300});
    settle(0.5);
    ASSERT_EQ(focus().revealAfterClick, 2u);
    manager().focusedID = 1;
    release();
    EXPECT_EQ(scroll(), after);

    // Stopping forgets a reveal still waiting for the release.
    desk.focusWindow(1);
    settle(1.0);
    press({1300, 300});
    ASSERT_EQ(focus().revealAfterClick, 2u);
    manager().stop();
    EXPECT_FALSE(focus().revealAfterClick);
    input().releaseButton();
}

TEST_F(Focusing, ThePointerFocusesAHalfVisibleWindowWithoutScrolling) {
    config.focusFollowsMouse = true;
    config.mouseFollowsFocus = true;  // the pointer is where it is: no warp
    threeApps(0.6);
    const double before = scroll();
    const Rect frame = laidOut(2);
    input().movePointer({1300, 300});
    settle(0.01);
    EXPECT_EQ(strip().focusedWindow(), 2u);
    EXPECT_EQ(focus().quietFocus->id, 2u);
    settle(0.9);
    EXPECT_EQ(desk.frontmost(), app("Notes"));
    EXPECT_EQ(manager().focusedID, 2u);
    EXPECT_EQ(scroll(), before);
    EXPECT_EQ(laidOut(2), frame);
    EXPECT_TRUE(input().warps().empty());
}

TEST_F(Focusing, PointerChecksAreThrottledToMoreThanAnEightiethOfASecond) {
    threeApps(0.6, 0.1875);
    input().movePointer({1300, 300});
    const double boundary = ago(0.08);
    focus().lastPointerCheck = boundary;
    focus().pointerMoved();
    EXPECT_EQ(focus().lastPointerCheck, boundary);
    EXPECT_EQ(manager().focusedID, 1u);
    focus().lastPointerCheck = desk.now() - 0.081;
    focus().pointerMoved();
    EXPECT_EQ(focus().lastPointerCheck, desk.now());
    EXPECT_EQ(manager().focusedID, 2u);
}

TEST_F(Focusing, ThePointerIsIgnoredWhileTheUserDoesSomethingElseOrOverNothingToFocus) {
    threeApps(0.6);
    input().movePointer({1300, 300});
    const auto ignored = [&](const char* what) {
        focus().pointerMoved();
        EXPECT_EQ(manager().focusedID, 1u) << what;
        EXPECT_EQ(focus().lastPointerCheck, 0) << what;
    };
    manager().scroll().key = primaryKey();
    ignored("swipe");
    manager().scroll().key.reset();
    manager().scroll().stepping = ScrollController::Stepping{primaryKey(), scheduler().after(60, [] {})};
    ignored("wheel step");
    manager().scroll().reset();
    manager().drag().drag = DragController::Drag{};
    manager().drag().drag->id = 3;
    ignored("drag");
    manager().drag().cancel();
    input().pressButton(1);
    ignored("held button");
    input().releaseButton(1);
    focus().pointerMoved();
    EXPECT_EQ(manager().focusedID, 2u);

    settle();
    focus().pointerMoved();  // over the focused window
    EXPECT_FALSE(focus().pendingFocus);
    input().movePointer({300, 300});
    settle(0.1);
    record(1)->state = State::floating;
    focus().pointerMoved();
    record(1)->state = State::tiled;
    EXPECT_EQ(manager().focusedID, 2u);
}

}  // namespace
}  // namespace tessaline
