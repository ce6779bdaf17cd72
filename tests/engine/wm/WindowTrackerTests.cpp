// Window tracking on the simulated desktop: discovery, new windows, window
// and application events, full screen, reclassification, and answers that
// arrive after the world moved on.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/wm/WindowTracker.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

class Tracking : public Scenario {
protected:
    WindowTracker& tracker() { return manager().tracker(); }
    WindowFacts factsOf(WindowID id) { return *desk.factsOf(*desk.window(id)); }
    // An application the tracker never looks at by itself (not a regular one),
    // so a test can hand its windows to the tracker directly.
    ProcessID quietApp(const std::string& name, bool withBundle = true) {
        const auto bundleID = withBundle ? std::optional("com.example." + name) : std::nullopt;
        return desk.launchApp(AppSpec{.name = name, .bundleID = bundleID, .regular = false});
    }
    WindowPtr trackQuiet(ProcessID pid, Rect frame, bool withFrame = true) {
        const WindowID id = desk.openWindow(pid, "", frame);
        WindowFacts facts = factsOf(id);
        if (!withFrame) facts.frame.reset();
        return tracker().track(facts, pid);
    }
};

TEST_F(Tracking, DiscoveryLaysOutTheWindowsOfEachDisplayInPositionOrder) {
    const std::string external = desk.addDisplay(Rect{1440, 0, 1920, 1080}, "External");
    const WindowID mail = openWindow("Mail", "Inbox", {700, 100, 600, 500});
    const WindowID notes = openWindow("Notes", "List", {50, 100, 600, 500});
    const WindowID safari = openWindow("Safari", "Docs", {2400, 100, 600, 500});
    const WindowID mail2 = openWindow("Mail", "Draft", {1500, 100, 600, 500});
    start();
    EXPECT_EQ(order(), (std::vector<WindowID>{notes, mail}));
    EXPECT_EQ(order(keyOf(external)), (std::vector<WindowID>{mail2, safari}));
    EXPECT_EQ(manager().tiledCount(), 4);
    EXPECT_TRUE(logged("windows", "tracking Mail#" + std::to_string(mail) + ": tiled"));
    // Side by side from the left edge of each display.
    EXPECT_EQ(laidOut(notes).x, 10);
    EXPECT_LT(laidOut(notes).maxX(), laidOut(mail).x);
    EXPECT_EQ(laidOut(mail2).x, 1450);
    EXPECT_LT(laidOut(mail2).maxX(), laidOut(safari).x);
    // Every window was subscribed to, so its own events arrive.
    desk.minimize(notes);
    settle(0.1);
    EXPECT_EQ(stateOf(notes), State::minimized);
}

TEST_F(Tracking, AdoptionSortsByPositionAppendsAndSkipsWhatClosedOrStoppedTiling) {
    start();
    const WindowPtr existing = manage("Old", {0, 100, 300, 400});
    const ProcessID pid = quietApp("Quiet");
    const WindowPtr right = trackQuiet(pid, {900, 100, 300, 400});
    const WindowPtr left = trackQuiet(pid, {100, 100, 300, 400});
    const WindowPtr unknown = trackQuiet(pid, {500, 100, 300, 400}, false);
    const WindowPtr tie = trackQuiet(pid, {100, 300, 300, 400});
    const WindowPtr closed = trackQuiet(pid, {100, 100, 300, 400});
    const WindowPtr minimized = trackQuiet(pid, {500, 100, 300, 400});
    tracker().windowGone(closed);
    tracker().setMinimized(minimized, true);
    EXPECT_EQ(writer().appliedFrame(right->id), (Rect{900, 100, 300, 400}));  // the writer learns where it stands
    EXPECT_EQ(target(right->id), (Rect{900, 100, 300, 400}));
    tracker().adopt({right, left, unknown, tie, closed, minimized});
    EXPECT_EQ(order(), (std::vector<WindowID>{existing->id, unknown->id, left->id, tie->id, right->id}));
    tracker().adopt({right, left});  // adopting twice adds nothing
    EXPECT_EQ(strip().count(), 5);

    bool called = false;
    tracker().discover({}, [&](std::vector<WindowPtr> windows) { called = windows.empty(); });
    EXPECT_TRUE(called);  // discovering nothing completes at once
}

TEST_F(Tracking, SlowApplicationsAreWaitedForAndLaidOutWhenTheyAnswer) {
    const WindowID quick = openWindow("Quick", "", {100, 100, 600, 500});
    const WindowID slow = openWindow("Slow", "", {800, 100, 600, 500});
    desk.setLatency(app("Slow"), 2.5);
    manager().start();
    settle(1.6);
    EXPECT_EQ(order(), (std::vector<WindowID>{quick}));
    EXPECT_EQ(record(slow), nullptr);
    settle(1.5);
    EXPECT_EQ(order(), (std::vector<WindowID>{quick, slow}));
    EXPECT_NE(target(slow), (Rect{800, 100, 600, 500}));  // on its way into its column

    // A launching application is observed until it answers, for about five seconds.
    const ProcessID soon = desk.launchApp(AppSpec{.name = "Soon", .bundleID = "com.example.Soon", .launchTime = 3.0});
    const ProcessID never = desk.launchApp(AppSpec{.name = "Never", .bundleID = "com.example.Never", .launchTime = 8.0});
    const WindowID soonWindow = desk.openWindow(soon, "", {100, 100, 600, 500});
    const WindowID neverWindow = desk.openWindow(never, "", {800, 100, 600, 500});
    settle(10.0);
    EXPECT_EQ(stateOf(soonWindow), State::tiled);
    EXPECT_EQ(record(neverWindow), nullptr);
    EXPECT_FALSE(system().isConnected(never));
}

TEST_F(Tracking, RecordsAreNamedOnceAndClassifiedByRulesSizeSpacesAndTheUsersChoice) {
    config.appRules = {{.bundleID = "com.example.Floaty", .floating = true}};
    start();
    const ProcessID bare = quietApp("Bare", false);
    const WindowPtr window = trackQuiet(bare, {100, 100, 300, 300});
    EXPECT_EQ(window->bundleID, "pid." + std::to_string(bare));
    EXPECT_EQ(window->appName, "Bare");
    EXPECT_EQ(tracker().track(factsOf(window->id), bare), nullptr);  // a window is tracked once

    const ProcessID pid = quietApp("Plain");
    const WindowID id = desk.openWindow(pid, "", {100, 100, 300, 300});
    ManagedWindow plain(id, pid, desk.handleOf(id), "com.example.Plain", "Plain", "");
    ManagedWindow floaty(id, pid, desk.handleOf(id), "com.example.Floaty", "Floaty", "");
    const WindowFacts base = factsOf(id);
    const auto with = [&](std::function<void(WindowFacts&)> change) {
        WindowFacts facts = base;
        change(facts);
        return facts;
    };
    const WindowFacts fixed = with([](WindowFacts& f) { f.fixedSize = true; });
    const WindowFacts twoSpaces = with([](WindowFacts& f) { f.spaces = {1, 2}; });
    const WindowFacts minimized = with([](WindowFacts& f) { f.minimized = true, f.fixedSize = true; });
    const WindowFacts fullScreen = with([](WindowFacts& f) { f.fullScreen = true; });
    EXPECT_EQ(tracker().classify(plain, base), State::tiled);
    EXPECT_EQ(tracker().classify(plain, fixed), State::floating);
    EXPECT_EQ(tracker().classify(plain, twoSpaces), State::floating);
    EXPECT_EQ(tracker().classify(floaty, base), State::floating);
    EXPECT_EQ(tracker().classify(plain, minimized), State::minimized);
    EXPECT_EQ(tracker().classify(plain, fullScreen), State::fullscreen);
    // The user's choice beats size, Spaces and rules, but not the window's own condition.
    plain.manualFloat = false;
    floaty.manualFloat = false;
    EXPECT_EQ(tracker().classify(plain, fixed), State::tiled);
    EXPECT_EQ(tracker().classify(plain, twoSpaces), State::tiled);
    EXPECT_EQ(tracker().classify(floaty, base), State::tiled);
    EXPECT_EQ(tracker().classify(plain, minimized), State::minimized);
    plain.manualFloat = true;
    EXPECT_EQ(tracker().classify(plain, base), State::floating);
    // A hidden application's window is hidden, whatever its rule says.
    desk.hideApp(pid);
    EXPECT_EQ(tracker().classify(floaty, base), State::hidden);
    EXPECT_EQ(tracker().classify(plain, base), State::hidden);
}

TEST_F(Tracking, AWindowOnADisabledDisplayFloats) {
    const std::string external = desk.addDisplay(Rect{1440, 0, 1920, 1080}, "External");
    const WindowID there = openWindow("Mail", "", {2000, 100, 600, 500});
    const WindowID here = openWindow("Mail", "", {100, 100, 600, 500});
    config.disabledDisplays = {external};
    start();
    EXPECT_EQ(stateOf(there), State::floating);
    EXPECT_EQ(stateOf(here), State::tiled);
    EXPECT_TRUE(strip(keyOf(external)).isEmpty());
}

TEST_F(Tracking, KeysFollowTheShownSpaceThenTheFrame) {
    const std::string external = desk.addDisplay(Rect{1440, 0, 1920, 1080}, "External");
    const SpaceID hiddenSpace = desk.addSpace(external);
    const WindowID here = openWindow("Mail", "", {100, 100, 600, 500});
    start();

    ManagedWindow window(here, app("Mail"), desk.handleOf(here), "com.example.Mail", "Mail", "");
    WindowFacts facts = factsOf(here);
    facts.spaces = {desk.currentSpace(external)};  // the first Space shown on a display wins over the frame
    EXPECT_EQ(tracker().keyFor(window, facts), keyOf(external));
    // A Space nobody shows: the display under the frame, and the window's own Space.
    facts.spaces = {hiddenSpace};
    facts.frame = Rect{2000, 100, 300, 300};
    EXPECT_EQ(tracker().keyFor(window, facts), (StripKey{external, hiddenSpace}));
    facts.frame = Rect{100, 100, 300, 300};
    EXPECT_EQ(tracker().keyFor(window, facts), (StripKey{primary, hiddenSpace}));
    facts.spaces.clear();  // no Spaces known: the Space the display shows
    EXPECT_EQ(tracker().keyFor(window, facts), primaryKey());
    manager().currentSpace.erase(primary);  // nor a Space the display shows: Space 0
    EXPECT_EQ(tracker().keyFor(window, facts), (StripKey{primary, 0}));
}

TEST_F(Tracking, ANewWindowOpensBesideTheFocusAndOddOnesAreReadAgainAFewTimes) {
    tile(3);
    const WindowID fresh = openWindow("Mail", "New");
    settle(0.5);
    desk.closeWindow(openWindow("Mail", "Flash"));  // gone before its facts are read
    overlays().clearCalls();
    desk.openWindow(WindowSpec{.pid = app("Mail"), .fixedSize = true});  // floats, and still shows in the overlays
    settle(0.5);
    EXPECT_GE(overlays().count("refresh"), 1);
    EXPECT_EQ(text(), "[1]p [4*] [2] [3]");  // Mail is in front
    EXPECT_FALSE(overlays().stripsShown().empty());

    const auto open = [&](WindowKind kind) { return desk.openWindow(WindowSpec{.pid = app("Mail"), .kind = kind}); };
    const WindowID late = open(WindowKind::dialog);  // standard between the second and third re-read
    settle(0.35);
    desk.setKind(late, WindowKind::standard);
    settle(0.5);
    EXPECT_EQ(stateOf(late), State::tiled);
    const WindowID tooLate = open(WindowKind::dialog);  // only after the last re-read
    settle(0.6);
    desk.setKind(tooLate, WindowKind::standard);
    settle(1.0);
    EXPECT_EQ(record(tooLate), nullptr);
    const WindowID popover = open(WindowKind::notWindow);  // not a window: never read again
    settle(0.05);
    desk.setKind(popover, WindowKind::standard);
    settle(1.0);
    EXPECT_EQ(record(popover), nullptr);
    EXPECT_TRUE(strip().contains(fresh));
}

TEST_F(Tracking, ClosingTheFocusedWindowRefocusesItsStripShortlyAfter) {
    config.mouseFollowsFocus = true;
    tile(3);
    act(Action::focusRight);
    manager().focusedID = 2;
    const std::string closedTag = tag(2);
    const auto warps = input().warps().size();
    desk.closeWindow(2);
    settle(0.02);
    EXPECT_EQ(record(2), nullptr);
    EXPECT_TRUE(logged("windows", closedTag + " closed"));
    const auto successor = strip().focusedWindow();
    ASSERT_TRUE(successor);
    EXPECT_NE(manager().focusedID, 2u);
    EXPECT_NE(manager().focusedID, successor);
    settle(0.1);
    EXPECT_EQ(manager().focusedID, successor);
    EXPECT_EQ(input().warps().size(), warps);  // the pointer stays where the user left it
    // Closing a window that is not the focused one leaves focus alone.
    desk.closeWindow(*successor == 1 ? 3 : 1);
    settle(0.2);
    EXPECT_EQ(manager().focusedID, successor);
    EXPECT_EQ(order(), (std::vector<WindowID>{*successor}));
    // Nor does a window the strip has not focused, while a floating one has the focus.
    const WindowID floating = desk.openWindow(WindowSpec{.pid = app("Notes"), .fixedSize = true});
    const WindowID goes = openWindow("Notes");
    settle();
    manager().strips[primaryKey()].focusWindow(*successor);
    desk.focusWindow(floating);
    settle();
    ASSERT_EQ(manager().focusedID, floating);
    desk.closeWindow(goes);
    settle(0.3);
    EXPECT_EQ(manager().focusedID, floating);
}

TEST_F(Tracking, MinimisedAndFullScreenWindowsComeBackToTheirSlots) {
    tile(3);
    manager().strips[primaryKey()].columns[1].width = 0.7;
    desk.minimize(2);
    settle(0.2);
    EXPECT_EQ(stateOf(2), State::minimized);
    EXPECT_EQ(order(), (std::vector<WindowID>{1, 3}));
    EXPECT_TRUE(logged("windows", tag(2) + " minimized"));
    desk.restore(2);
    settle(0.5);
    EXPECT_EQ(stateOf(2), State::tiled);
    EXPECT_EQ(text(), "[1]p [2*]:0.7 [3]");
    EXPECT_TRUE(logged("windows", tag(2) + " back from the Dock"));

    desk.setFullScreen(2, true);
    settle(0.5);
    EXPECT_EQ(stateOf(2), State::fullscreen);
    EXPECT_EQ(record(2)->slot, (ManagedWindow::Slot{1, 0.7}));
    EXPECT_TRUE(logged("windows", tag(2) + " went full screen"));
    desk.setFullScreen(2, false);
    settle(1.5);
    EXPECT_EQ(stateOf(2), State::tiled);
    EXPECT_EQ(order(), (std::vector<WindowID>{1, 2, 3}));
    EXPECT_TRUE(logged("windows", tag(2) + " left full screen"));

    // Told the window left full screen, the tracker waits and checks fresh facts.
    tracker().fullScreenChanged(record(2), true);
    EXPECT_EQ(order(), (std::vector<WindowID>{1, 3}));
    tracker().fullScreenChanged(record(2), false);
    settle(0.65);
    EXPECT_EQ(stateOf(2), State::fullscreen);
    while (stateOf(2) == State::fullscreen && desk.now() < 100) desk.advance(0.01);
    EXPECT_FALSE(manager().animator.hasMotion());  // back in its slot at once, the others too
    settle(0.2);
    EXPECT_EQ(stateOf(2), State::tiled);
    desk.setFullScreen(1, true);
    settle(0.5);
    tracker().fullScreenChanged(record(1), false);  // still full screen by its own facts: it stays out
    settle(1.0);
    EXPECT_EQ(stateOf(1), State::fullscreen);
    EXPECT_FALSE(strip().contains(1));
}

TEST_F(Tracking, AWindowThatNeverAnswersKeepsItsStateAndIsReportedOnce) {
    tile(1);
    desk.minimize(1);
    settle(0.2);
    desk.restore(1);
    desk.setHung(app("Mail"), true);
    settle(5.0);
    EXPECT_EQ(stateOf(1), State::minimized);
    int errors = 0;
    for (const LogRecord& line : LogStore::shared().records())
        errors += line.category == "windows" && line.message == tag(1) + " isn't answering" && line.level == LogLevel::error;
    EXPECT_EQ(errors, 1);
}

TEST_F(Tracking, AQuittingApplicationLeavesNoTraceAndAHiddenOneComesBack) {
    tile(2);
    const WindowID floating = desk.openWindow(WindowSpec{.pid = app("Mail"), .fixedSize = true});
    const WindowID other = openWindow("Mail", "", {1000, 100, 400, 500});
    settle();
    ASSERT_EQ(stateOf(floating), State::floating);
    desk.hideApp(app("Mail"));
    settle(0.2);
    EXPECT_EQ(order(), (std::vector<WindowID>{2}));
    EXPECT_EQ(target(2)->x, 10);  // the others close up
    EXPECT_EQ(stateOf(1), State::hidden);
    EXPECT_EQ(stateOf(floating), State::floating);
    desk.showApp(app("Mail"));
    settle(0.5);
    EXPECT_EQ(stateOf(1), State::tiled);
    EXPECT_EQ(text(), "[2*] [1] [4]");
    EXPECT_TRUE(inPlace(1) && inPlace(4));
    act(Action::moveLast);

    manager().minWidths[1] = 500;
    manager().focusedID = other;
    const WindowHandle handle = record(1)->handle;
    desk.quitApp(app("Mail"));
    settle(0.5);
    EXPECT_EQ(order(), (std::vector<WindowID>{2}));
    EXPECT_EQ(target(2)->x, 10);
    EXPECT_EQ(record(1), nullptr);
    EXPECT_EQ(record(other), nullptr);
    EXPECT_EQ(manager().handles.count(handle), 0u);
    EXPECT_EQ(manager().minWidths.count(1), 0u);
    EXPECT_FALSE(writer().appliedFrame(1));
    EXPECT_FALSE(manager().animator.current(other));
    EXPECT_FALSE(manager().focusedID);
}

TEST_F(Tracking, ChangedRulesFloatWindowsOnScreenAndTileThemAgain) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Notes", "", {600, 100, 400, 500});
    const WindowID c = openWindow("Notes", "", {1000, 100, 400, 500});
    config.defaultWidth = 0.9;  // long strip: the last column lies off screen
    start();
    Config floaty = config;
    floaty.appRules = {{.bundleID = "com.example.Notes", .floating = true}};
    manager().apply(floaty);
    settle(1.0);
    EXPECT_EQ(stateOf(b), State::floating);
    EXPECT_EQ(stateOf(c), State::floating);
    EXPECT_EQ(order(), (std::vector<WindowID>{a}));
    const Rect visible = desk.display(primary)->visible;
    for (WindowID id : {b, c}) {  // pulled back on screen where the user can reach it
        EXPECT_GE(laidOut(id).minX(), visible.minX());
        EXPECT_LE(laidOut(id).maxX(), visible.maxX());
    }
    manager().apply(config);
    settle(1.0);
    EXPECT_EQ(stateOf(b), State::tiled);
    EXPECT_EQ(strip().count(), 3);
}

TEST_F(Tracking, AWindowThatResizesItselfIsAdoptedBeyondSixPointsAndCostsOneCheckPerBurst) {
    tile(2);
    const Rect laid = laidOut(2);
    desk.setFrame(2, {laid.x, laid.y, laid.width + 6.0, laid.height});
    settle(0.5);
    EXPECT_EQ(text(), "[1*] [2]");
    for (const std::string& line : logLines("layout")) EXPECT_EQ(line.find(" resized itself to "), std::string::npos);
    const Rect grown{laid.x, laid.y, laid.width + 6.5, laid.height};
    desk.setFrame(2, grown);
    settle(0.5);
    EXPECT_TRUE(logged("layout", tag(2) + " resized itself to " + sizeText(grown.size())));
    EXPECT_GT(strip().columns[1].width, 0.5);
    EXPECT_EQ(strip().focusedWindow(), 2u);  // the strip follows the window that changed

    // Right after the engine's own size write a notice asks nothing about full screen.
    manager().send(1, {10, 30, 500, 500}, true);
    settle(0.05);
    ASSERT_TRUE(writer().resizedRecently(1, 0.3));
    tracker().moved(record(1), true);
    EXPECT_EQ(tracker().fullScreenChecks.count(1), 0u);
    EXPECT_EQ(tracker().resizeChecks.count(1), 1u);
    settle(0.4);
    const auto asked = system().requests();
    for (int i = 0; i < 3; ++i) tracker().moved(record(1), true);
    EXPECT_EQ(tracker().fullScreenChecks.count(1), 1u);
    EXPECT_EQ(system().requests() - asked, 1u);
}

// A floating window the user asks to tile while it cannot (full screen, its
// application hidden) was put into a strip all the same. Now it waits, and
// tiles once it can.
TEST_F(Tracking, AFloatingWindowAskedToTileWhileItCannotTilesWhenItCan) {
    struct Case {
        const char* what;
        std::function<void()> away, back;
        State waiting;
    };
    const Case cases[] = {
        {"full screen", [&] { desk.setFullScreen(1, true); }, [&] { desk.setFullScreen(1, false); }, State::fullscreen},
        {"hidden", [&] { desk.hideApp(app("Mail")); }, [&] { desk.showApp(app("Mail")); }, State::hidden},
    };
    tile(2);
    for (const Case& c : cases) {
        manager().toggleFloat(record(1));
        settle();
        ASSERT_EQ(stateOf(1), State::floating) << c.what;
        c.away();
        settle();
        manager().toggleFloat(record(1));
        settle();
        EXPECT_FALSE(strip().contains(1)) << c.what;
        EXPECT_EQ(stateOf(1), c.waiting) << c.what;
        c.back();
        settle();
        EXPECT_EQ(stateOf(1), State::tiled) << c.what;
        EXPECT_TRUE(strip().contains(1)) << c.what;
    }
}

// Tiling switched off and on again before a discovery was answered (the first
// one, or the one after a Space change): the old discovery's answers tracked
// the windows, the new one skipped them as known, and no one tiled them. An
// answer from the old run about a new window tracked it while its application
// was not observed again, so its closing went unnoticed.
TEST_F(Tracking, RestartingBeforeADiscoveryAnswersLosesNoWindowAndTakesNoStaleAnswer) {
    openWindow("Mail", "Inbox");
    const WindowID film = openWindow("Video", "Film");
    manager().start();
    manager().stop();
    start();
    EXPECT_EQ(order().size(), 2u);
    desk.setFullScreen(film, true);  // a Space change: the manager rediscovers
    desk.advance(0);
    manager().stop();
    start();
    EXPECT_EQ(manager().windows.size(), 2u);
    EXPECT_EQ(stateOf(film), State::fullscreen);

    desk.setLatency(app("Slow"), 0.5);
    openWindow("Slow", "Palette", Rect{700, 100, 500, 400});
    settle();
    const WindowID sketch = openWindow("Slow", "Sketch", Rect{800, 150, 500, 400});  // its facts are asked for
    desk.advance(0.1);
    manager().stop();
    manager().start();
    settle(3);
    ASSERT_NE(record(sketch), nullptr);
    desk.closeWindow(sketch);
    settle(3);
    EXPECT_EQ(record(sketch), nullptr);
}

// A window went full screen and its display was unplugged: it left full
// screen as it moved to the remaining display, without the resize notice a
// real desktop sends, and the engine went on believing it full screen.
TEST_F(Tracking, AFullScreenWindowWhoseDisplayIsUnpluggedComesBackTiled) {
    const std::string right = desk.addDisplay(Rect{1440, 0, 1280, 1024}, "Right");
    const WindowID film = openWindow("Video", "Film");
    openWindow("Mail", "Inbox", Rect{1500, 100, 800, 600});
    start();
    desk.setFullScreen(film, true);
    desk.advance(0.04);
    ASSERT_EQ(stateOf(film), State::fullscreen);
    desk.removeDisplay(primary);
    settle(5);
    ASSERT_FALSE(desk.window(film)->fullScreen);
    EXPECT_EQ(stateOf(film), State::tiled);
    EXPECT_TRUE(strip(keyOf(right)).contains(film));
}

TEST_F(Tracking, LateAnswersAboutAClosedOrReplacedRecordChangeNothing) {
    tile(2);
    desk.minimize(1);
    settle(0.2);
    desk.setLatency(app("Mail"), 0.5);
    desk.restore(1);
    settle(0.05);  // the restore is seen, its facts are on their way
    // The record is dropped before they arrive while the element still
    // answers (the focus controller may track the window afresh meanwhile).
    const WindowPtr old = record(1);
    tracker().windowGone(old);
    settle(2.0);
    EXPECT_EQ(old->state, State::minimized);
    EXPECT_NE(record(1), old);
    EXPECT_FALSE(logged("windows", "Mail#1 back from the Dock"));

    // The same number now stands for another record.
    const WindowPtr now = record(2);
    tracker().fullScreenChanged(now, true);
    tracker().fullScreenChanged(now, false);
    auto replacement = std::make_shared<ManagedWindow>(2, now->pid, now->handle, now->bundleID, now->appName, now->title);
    replacement->state = State::fullscreen;
    manager().windows[2] = replacement;
    settle(1.0);
    EXPECT_EQ(replacement->state, State::fullscreen);
    EXPECT_FALSE(strip().contains(2));
}

TEST_F(Tracking, NothingHappensAfterTheManagerStoppedOrWentAway) {
    const WindowID slow = openWindow("Slow", "", {100, 100, 400, 500});
    desk.setLatency(app("Slow"), 1.0);
    manager().start();
    settle(0.5);
    manager().stop();
    settle(2.0);
    EXPECT_TRUE(manager().windows.empty());
    start();
    settle();
    ASSERT_EQ(stateOf(slow), State::tiled);
    desk.minimize(slow);
    settle(0.2);
    desk.restore(slow);
    settle(0.1);
    desk.setTitle(slow, "renamed");  // a title asked for
    desk.launchApp(AppSpec{.name = "Launching", .launchTime = 3});  // observed again and again until it answers
    settle(0.5);
    destroyManager();
    settle(3.0);  // the answers find no tracker; nothing crashes
    EXPECT_TRUE(desk.window(slow));
}

}  // namespace
}  // namespace tessaline
