// Window tracking on the simulated desktop: discovery, new windows, window
// and application events, resizes and full screen, reclassification, and
// answers that arrive after the world moved on.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/wm/WindowTracker.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

using State = ManagedWindow::State;

AppRule floatRule(const std::string& bundleID) {
    AppRule rule;
    rule.bundleID = bundleID;
    rule.floating = true;
    return rule;
}

class Tracking : public Scenario {
protected:
    WindowTracker& tracker() { return manager().tracker(); }

    WindowPtr record(WindowID id) {
        auto found = manager().windows.find(id);
        return found == manager().windows.end() ? nullptr : found->second;
    }
    std::optional<State> stateOf(WindowID id) {
        auto window = record(id);
        return window ? std::optional<State>(window->state) : std::nullopt;
    }
    WindowFacts factsOf(WindowID id) { return *desk.factsOf(*desk.window(id)); }

    // An application the tracker never looks at by itself (not a regular one),
    // so a test can hand its windows to the tracker directly.
    ProcessID quietApp(const std::string& name) {
        AppSpec desc;
        desc.name = name;
        desc.bundleID = "com.example." + name;
        desc.regular = false;
        return desk.launchApp(desc);
    }
    WindowPtr trackQuiet(ProcessID pid, Rect frame, bool withFrame = true) {
        const WindowID id = desk.openWindow(pid, "", frame);
        WindowFacts facts = factsOf(id);
        if (!withFrame) facts.frame.reset();
        return tracker().track(facts, pid);
    }

    std::string secondDisplay() {
        return desk.addDisplay(Rect{1440, 0, 1920, 1080}, "External");
    }
    int columnOf(const StripKey& key, WindowID id) {
        auto location = strip(key).locate(id);
        return location ? location->column : -1;
    }
    std::string tag(WindowID id) { return record(id)->tag(); }
};

// ---------------------------------------------------------------------------
// Discovery and adoption

TEST_F(Tracking, DiscoveryLaysOutThreeApplicationsOnTwoDisplaysInPositionOrder) {
    const std::string external = secondDisplay();
    const WindowID mail = openWindow("Mail", "Inbox", {700, 100, 600, 500});
    const WindowID notes = openWindow("Notes", "List", {50, 100, 600, 500});
    const WindowID safari = openWindow("Safari", "Docs", {2400, 100, 600, 500});
    const WindowID mail2 = openWindow("Mail", "Draft", {1500, 100, 600, 500});
    start();

    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{notes, mail}));
    EXPECT_EQ(order(keyOf(external)), (std::vector<WindowID>{mail2, safari}));
    EXPECT_TRUE(logged("windows", "tracking Mail#" + std::to_string(mail) + ": tiled"));
    for (WindowID id : {mail, notes, safari, mail2}) EXPECT_EQ(stateOf(id), State::tiled);
    // Every window was subscribed to, so its own events arrive.
    desk.minimize(notes);
    settle(0.1);
    EXPECT_EQ(stateOf(notes), State::minimized);
}

TEST_F(Tracking, AdoptionSortsByPositionAndAppendsAfterExistingColumns) {
    start();
    const WindowPtr existing = manage("Old", {0, 100, 300, 400});
    const ProcessID pid = quietApp("Quiet");
    const WindowPtr right = trackQuiet(pid, {900, 100, 300, 400});
    const WindowPtr left = trackQuiet(pid, {100, 100, 300, 400});
    const WindowPtr unknown = trackQuiet(pid, {500, 100, 300, 400}, false);
    const WindowPtr tie = trackQuiet(pid, {100, 300, 300, 400});
    tracker().adopt({right, left, unknown, tie});

    EXPECT_EQ(order(primaryKey()),
              (std::vector<WindowID>{existing->id, unknown->id, left->id, tie->id, right->id}));
    // Adopting twice adds nothing.
    tracker().adopt({right, left});
    EXPECT_EQ(strip(primaryKey()).count(), 5);
}

TEST_F(Tracking, AdoptionSkipsWindowsThatClosedOrStoppedTilingMeanwhile) {
    start();
    const ProcessID pid = quietApp("Quiet");
    const WindowPtr closed = trackQuiet(pid, {100, 100, 300, 400});
    const WindowPtr minimized = trackQuiet(pid, {500, 100, 300, 400});
    const WindowPtr kept = trackQuiet(pid, {900, 100, 300, 400});
    tracker().windowGone(closed);
    tracker().setMinimized(minimized, true);
    tracker().adopt({closed, minimized, kept});
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{kept->id}));
}

TEST_F(Tracking, DiscoveringNothingCompletesAtOnce) {
    bool called = false;
    tracker().discover({}, [&](std::vector<WindowPtr> windows) {
        called = true;
        EXPECT_TRUE(windows.empty());
    });
    EXPECT_TRUE(called);
}

TEST_F(Tracking, AnApplicationAnsweringAfterTheTimeOutStillGetsItsWindowsLaidOut) {
    const WindowID quick = openWindow("Quick", "", {100, 100, 600, 500});
    const WindowID slow = openWindow("Slow", "", {800, 100, 600, 500});
    desk.setLatency(app("Slow"), 2.5);
    manager().start();
    settle(1.6);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{quick}));
    EXPECT_EQ(record(slow), nullptr);
    settle(1.5);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{quick, slow}));
    // Laid out, not just filed away: the window is on its way into its column.
    EXPECT_NE(manager().animator.target(slow), std::optional<Rect>(Rect{800, 100, 600, 500}));
}

TEST_F(Tracking, ALaunchingApplicationIsObservedUntilItAnswers) {
    start();
    auto launching = [&](const std::string& name, double launchTime) {
        AppSpec desc;
        desc.name = name;
        desc.bundleID = "com.example." + name;
        desc.launchTime = launchTime;
        return desk.launchApp(desc);
    };
    const ProcessID soonPid = launching("Soon", 3.0);
    const ProcessID neverPid = launching("Never", 8.0);
    const WindowID soonWindow = desk.openWindow(soonPid, "", {100, 100, 600, 500});
    const WindowID neverWindow = desk.openWindow(neverPid, "", {800, 100, 600, 500});
    settle(10.0);
    EXPECT_EQ(stateOf(soonWindow), State::tiled);
    // Gave up after about five seconds of tries.
    EXPECT_EQ(record(neverWindow), nullptr);
    EXPECT_FALSE(system().isConnected(neverPid));
}

// ---------------------------------------------------------------------------
// Records, classification and keys

TEST_F(Tracking, AnApplicationWithoutBundleIdentifierIsNamedByItsPid) {
    start();
    AppSpec desc;
    desc.name = "Bare";
    desc.regular = false;
    const ProcessID pid = desk.launchApp(desc);
    const WindowPtr window = trackQuiet(pid, {100, 100, 300, 300});
    ASSERT_TRUE(window);
    EXPECT_EQ(window->bundleID, "pid." + std::to_string(pid));
    EXPECT_EQ(window->appName, "Bare");
    // A window is tracked once.
    EXPECT_EQ(tracker().track(factsOf(window->id), pid), nullptr);
}

TEST_F(Tracking, ClassificationRules) {
    config.appRules = {floatRule("com.example.Floaty")};
    start();
    const ProcessID pid = quietApp("Plain");
    const WindowID id = desk.openWindow(pid, "", {100, 100, 300, 300});
    ManagedWindow plain(id, pid, desk.handleOf(id), "com.example.Plain", "Plain", "");
    ManagedWindow floaty(id, pid, desk.handleOf(id), "com.example.Floaty", "Floaty", "");
    const WindowFacts base = factsOf(id);

    auto with = [&](auto change) {
        WindowFacts facts = base;
        change(facts);
        return facts;
    };
    const auto fixed = with([](WindowFacts& f) { f.fixedSize = true; });
    const auto twoSpaces = with([](WindowFacts& f) { f.spaces = {1, 2}; });
    const auto minimized = with([](WindowFacts& f) { f.minimized = true; f.fixedSize = true; });
    const auto fullScreen = with([](WindowFacts& f) { f.fullScreen = true; });

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

TEST_F(Tracking, KeysFollowTheShownSpaceThenTheFrame) {
    const std::string external = secondDisplay();
    const SpaceID hiddenSpace = desk.addSpace(external);
    start();
    const ProcessID pid = quietApp("Plain");
    const WindowID id = desk.openWindow(pid, "", {100, 100, 300, 300});
    ManagedWindow window(id, pid, desk.handleOf(id), "com.example.Plain", "Plain", "");
    WindowFacts facts = factsOf(id);

    // The first Space shown on a display wins over the frame.
    facts.spaces = {desk.currentSpace(external)};
    EXPECT_EQ(tracker().keyFor(window, facts), keyOf(external));
    // A Space nobody shows: the display under the frame, and the window's own Space.
    facts.spaces = {hiddenSpace};
    facts.frame = Rect{2000, 100, 300, 300};
    EXPECT_EQ(tracker().keyFor(window, facts), (StripKey{external, hiddenSpace}));
    facts.frame = Rect{100, 100, 300, 300};
    EXPECT_EQ(tracker().keyFor(window, facts), (StripKey{primary, hiddenSpace}));
    // No Spaces known: the Space the display shows.
    facts.spaces.clear();
    EXPECT_EQ(tracker().keyFor(window, facts), primaryKey());
}

TEST_F(Tracking, AWindowOnADisabledDisplayFloats) {
    const std::string external = secondDisplay();
    config.disabledDisplays = {external};
    const WindowID there = openWindow("Mail", "", {2000, 100, 600, 500});
    const WindowID here = openWindow("Mail", "", {100, 100, 600, 500});
    start();
    EXPECT_EQ(stateOf(there), State::floating);
    EXPECT_EQ(stateOf(here), State::tiled);
    EXPECT_TRUE(strip(keyOf(external)).isEmpty());
}

// ---------------------------------------------------------------------------
// New windows

TEST_F(Tracking, ANewWindowOpensBesideTheFocusedColumn) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Mail", "", {600, 100, 400, 500});
    const WindowID c = openWindow("Mail", "", {1000, 100, 400, 500});
    start();
    manager().strips[primaryKey()].focusColumn(0);
    const WindowID fresh = openWindow("Mail", "New");
    settle(0.5);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a, fresh, b, c}));
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), fresh);  // Mail is in front
    EXPECT_FALSE(overlays().stripsShown().empty());
}

TEST_F(Tracking, ANonStandardWindowIsReadThreeTimesMoreAndANonWindowNever) {
    start();
    const ProcessID pid = app("Mail");
    settle(0.5);
    auto open = [&](WindowKind kind) {
        WindowSpec desc;
        desc.pid = pid;
        desc.kind = kind;
        return desk.openWindow(desc);
    };

    // Becomes standard between the second and third re-read: tracked.
    const WindowID late = open(WindowKind::dialog);
    settle(0.35);
    desk.setKind(late, WindowKind::standard);
    settle(0.5);
    EXPECT_EQ(stateOf(late), State::tiled);

    // Becomes standard only after the last re-read: stays untracked.
    const WindowID tooLate = open(WindowKind::dialog);
    settle(0.6);
    desk.setKind(tooLate, WindowKind::standard);
    settle(1.0);
    EXPECT_EQ(record(tooLate), nullptr);

    // Not a window at all: never read again.
    const WindowID popover = open(WindowKind::notWindow);
    settle(0.05);
    desk.setKind(popover, WindowKind::standard);
    settle(1.0);
    EXPECT_EQ(record(popover), nullptr);
}

// ---------------------------------------------------------------------------
// Closing, minimising, applications

TEST_F(Tracking, ClosingTheFocusedWindowRefocusesItsStripShortlyAfter) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Notes", "", {600, 100, 400, 500});
    const WindowID c = openWindow("Maps", "", {1000, 100, 400, 500});
    start();
    WindowManager& wm = manager();
    wm.strips[primaryKey()].focusColumn(1);
    wm.activeKey = primaryKey();
    wm.focusedID = b;
    const std::string closedTag = tag(b);

    desk.closeWindow(b);
    settle(0.02);
    EXPECT_EQ(record(b), nullptr);
    EXPECT_TRUE(logged("windows", closedTag + " closed"));
    EXPECT_NE(wm.focusedID, std::optional<WindowID>(b));
    const auto successor = strip(primaryKey()).focusedWindow();
    ASSERT_TRUE(successor);
    EXPECT_NE(wm.focusedID, successor);
    settle(0.1);
    EXPECT_EQ(wm.focusedID, successor);

    // Closing a window that is not the focused one leaves focus alone.
    const WindowID other = *successor == a ? c : a;
    desk.closeWindow(other);
    settle(0.2);
    EXPECT_EQ(wm.focusedID, successor);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{*successor}));
}

TEST_F(Tracking, MinimiseAndRestoreReturnTheWindowToItsSlot) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Mail", "", {600, 100, 400, 500});
    const WindowID c = openWindow("Mail", "", {1000, 100, 400, 500});
    start();
    manager().strips[primaryKey()].columns[1].width = 0.7;

    desk.minimize(b);
    settle(0.2);
    EXPECT_EQ(stateOf(b), State::minimized);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a, c}));
    EXPECT_TRUE(logged("windows", tag(b) + " minimized"));

    desk.restore(b);
    settle(0.5);
    EXPECT_EQ(stateOf(b), State::tiled);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a, b, c}));
    EXPECT_DOUBLE_EQ(strip(primaryKey()).columns[1].width, 0.7);
    EXPECT_TRUE(logged("windows", tag(b) + " back from the Dock"));
}

TEST_F(Tracking, AWindowThatNeverAnswersKeepsItsStateAndIsReported) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    start();
    desk.minimize(a);
    settle(0.2);
    desk.restore(a);
    desk.setHung(app("Mail"), true);
    settle(5.0);
    EXPECT_EQ(stateOf(a), State::minimized);
    const std::string expected = tag(a) + " isn't answering";
    int errors = 0;
    for (const LogRecord& line : LogStore::shared().records())
        if (line.category == "windows" && line.message == expected && line.level == LogLevel::error) ++errors;
    EXPECT_EQ(errors, 1);
}

TEST_F(Tracking, AQuittingApplicationLeavesNoTrace) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Notes", "", {600, 100, 400, 500});
    const WindowID c = openWindow("Mail", "", {1000, 100, 400, 500});
    start();
    manager().minWidths[a] = 500;
    manager().focusedID = c;
    const WindowHandle handle = record(a)->handle;

    desk.quitApp(app("Mail"));
    settle(0.5);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{b}));
    EXPECT_EQ(record(a), nullptr);
    EXPECT_EQ(record(c), nullptr);
    EXPECT_EQ(manager().handles.count(handle), 0u);
    EXPECT_EQ(manager().minWidths.count(a), 0u);
    EXPECT_FALSE(writer().appliedFrame(a));
    EXPECT_FALSE(manager().animator.current(c));
    EXPECT_FALSE(manager().focusedID);
}

TEST_F(Tracking, HidingAnApplicationTakesItsTiledWindowsOutAndShowingPutsThemBack) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Notes", "", {600, 100, 400, 500});
    WindowSpec fixed;
    fixed.pid = app("Mail");
    fixed.fixedSize = true;
    const WindowID floating = desk.openWindow(fixed);
    start();
    ASSERT_EQ(stateOf(floating), State::floating);

    desk.hideApp(app("Mail"));
    settle(0.2);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{b}));
    EXPECT_EQ(stateOf(a), State::hidden);
    EXPECT_EQ(stateOf(floating), State::floating);

    desk.showApp(app("Mail"));
    settle(0.5);
    EXPECT_EQ(stateOf(a), State::tiled);
    EXPECT_TRUE(strip(primaryKey()).contains(a));
    EXPECT_EQ(strip(primaryKey()).count(), 2);
}

// ---------------------------------------------------------------------------
// Resizes and full screen

TEST_F(Tracking, AWindowThatResizesItselfIsAdoptedBeyondSixPoints) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Mail", "", {600, 100, 400, 500});
    start();
    const Rect laidOut = *writer().appliedFrame(a);
    const Strip before = strip(primaryKey());

    desk.setFrame(a, {laidOut.x, laidOut.y, laidOut.width + 6.0, laidOut.height});
    settle(0.5);
    EXPECT_EQ(strip(primaryKey()).columns, before.columns);
    EXPECT_TRUE(logLines("layout").empty() ||
                std::none_of(logLines("layout").begin(), logLines("layout").end(), [](const std::string& l) {
                    return l.find(" resized itself to ") != std::string::npos;
                }));

    const Rect grown{laidOut.x, laidOut.y, laidOut.width + 6.5, laidOut.height};
    desk.setFrame(a, grown);
    settle(0.5);
    EXPECT_TRUE(logged("layout", tag(a) + " resized itself to " + sizeText(grown.size())));
    EXPECT_GT(strip(primaryKey()).columns[0].width, before.columns[0].width);
    EXPECT_EQ(strip(primaryKey()).focusedWindow(), a);
    EXPECT_TRUE(strip(primaryKey()).contains(b));
}

TEST_F(Tracking, ResizeNoticesRightAfterOwnWritesDoNotAskAboutFullScreen) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    start();
    const WindowPtr window = record(a);
    manager().send(a, {10, 30, 500, 500}, true);
    settle(0.05);
    ASSERT_TRUE(writer().resizedRecently(a, 0.3));
    tracker().moved(window, true);
    EXPECT_EQ(tracker().fullScreenChecks.count(a), 0u);
    EXPECT_EQ(tracker().resizeChecks.count(a), 1u);

    settle(0.4);
    // A burst of notices costs one check.
    const auto asked = system().requests();
    tracker().moved(window, true);
    tracker().moved(window, true);
    tracker().moved(window, true);
    EXPECT_EQ(tracker().fullScreenChecks.count(a), 1u);
    EXPECT_EQ(system().requests() - asked, 1u);
}

TEST_F(Tracking, FullScreenTakesTheWindowOutAndBringsItBackToItsSlot) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Mail", "", {600, 100, 400, 500});
    const WindowID c = openWindow("Mail", "", {1000, 100, 400, 500});
    start();

    desk.setFullScreen(b, true);
    settle(0.5);
    EXPECT_EQ(stateOf(b), State::fullscreen);
    EXPECT_EQ(record(b)->slot, (ManagedWindow::Slot{1, 0.5}));
    EXPECT_TRUE(logged("windows", tag(b) + " went full screen"));

    desk.setFullScreen(b, false);
    settle(1.5);
    EXPECT_EQ(stateOf(b), State::tiled);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a, b, c}));
    EXPECT_TRUE(logged("windows", tag(b) + " left full screen"));
}

TEST_F(Tracking, LeavingFullScreenWaitsAndChecksFreshFacts) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Mail", "", {600, 100, 400, 500});
    start();
    const WindowPtr window = record(b);

    // The platform says the window went full screen and came out again.
    tracker().fullScreenChanged(window, true);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a}));
    tracker().fullScreenChanged(window, false);
    settle(0.65);
    EXPECT_EQ(stateOf(b), State::fullscreen);
    settle(0.2);
    EXPECT_EQ(stateOf(b), State::tiled);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a, b}));

    // Still full screen by the window's own facts: it stays out.
    desk.setFullScreen(a, true);
    settle(0.5);
    ASSERT_EQ(stateOf(a), State::fullscreen);
    tracker().fullScreenChanged(record(a), false);
    settle(1.0);
    EXPECT_EQ(stateOf(a), State::fullscreen);
    EXPECT_FALSE(strip(primaryKey()).contains(a));
}

// ---------------------------------------------------------------------------
// Reclassification

TEST_F(Tracking, ChangedRulesFloatAndTileWindows) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Notes", "", {600, 100, 400, 500});
    const WindowID c = openWindow("Notes", "", {1000, 100, 400, 500});
    config.defaultWidth = 0.9;  // long strip: the last column lies off screen
    start();
    ASSERT_EQ(order(primaryKey()), (std::vector<WindowID>{a, b, c}));

    Config floaty = config;
    floaty.appRules = {floatRule("com.example.Notes")};
    manager().apply(floaty);
    settle(1.0);
    EXPECT_EQ(stateOf(b), State::floating);
    EXPECT_EQ(stateOf(c), State::floating);
    EXPECT_EQ(order(primaryKey()), (std::vector<WindowID>{a}));
    // Pulled back on screen where the user can reach it.
    const Rect visible = desk.display(primary)->visible;
    for (WindowID id : {b, c}) {
        const Rect frame = *frameOf(id);
        EXPECT_GE(frame.minX(), visible.minX());
        EXPECT_LE(frame.maxX(), visible.maxX());
    }

    manager().apply(config);
    settle(1.0);
    EXPECT_EQ(stateOf(b), State::tiled);
    EXPECT_EQ(strip(primaryKey()).count(), 3);
}

// ---------------------------------------------------------------------------
// Late answers

TEST_F(Tracking, LateAnswersAboutAClosedWindowChangeNothing) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    const WindowID b = openWindow("Mail", "", {600, 100, 400, 500});
    start();
    desk.minimize(a);
    settle(0.2);
    desk.setLatency(app("Mail"), 0.5);
    desk.restore(a);
    settle(0.05);  // the restore is seen, its facts are on their way
    // The record is dropped before they arrive while the element still
    // answers (the focus controller may track the window afresh meanwhile).
    const WindowPtr old = record(a);
    tracker().windowGone(old);
    settle(2.0);
    EXPECT_EQ(old->state, State::minimized);
    EXPECT_NE(record(a), old);
    EXPECT_FALSE(logged("windows", "Mail#" + std::to_string(a) + " back from the Dock"));
    const auto ids = order(primaryKey());
    EXPECT_EQ(std::count(ids.begin(), ids.end(), a), record(a) ? 1 : 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), b), 1);
}

TEST_F(Tracking, LateAnswersForAReplacedRecordAreDropped) {
    const WindowID a = openWindow("Mail", "", {100, 100, 400, 500});
    start();
    const WindowPtr old = record(a);
    tracker().fullScreenChanged(old, true);
    tracker().fullScreenChanged(old, false);
    // The same number now stands for another record.
    auto replacement = std::make_shared<ManagedWindow>(a, old->pid, old->handle, old->bundleID,
                                                       old->appName, old->title);
    replacement->state = State::fullscreen;
    manager().windows[a] = replacement;
    settle(1.0);
    EXPECT_EQ(replacement->state, State::fullscreen);
    EXPECT_TRUE(strip(primaryKey()).isEmpty());
}

TEST_F(Tracking, NothingHappensAfterTheManagerStoppedOrWentAway) {
    const WindowID slow = openWindow("Slow", "", {100, 100, 400, 500});
    desk.setLatency(app("Slow"), 1.0);
    manager().start();
    settle(0.5);
    manager().stop();
    settle(2.0);
    EXPECT_TRUE(manager().windows.empty());
    EXPECT_TRUE(manager().strips.empty());

    manager().start();
    settle(3.0);
    ASSERT_EQ(stateOf(slow), State::tiled);
    desk.minimize(slow);
    settle(0.2);
    desk.restore(slow);
    settle(0.1);
    destroyManager();
    settle(3.0);  // the answers find no tracker; nothing crashes
    EXPECT_TRUE(desk.window(slow));
}

}  // namespace
}  // namespace tessaline
