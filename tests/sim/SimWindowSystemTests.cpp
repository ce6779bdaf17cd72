#include <algorithm>

#include "SimTestSupport.h"

using namespace tessaline;
using tessaline::testing::SimDesktopTest;

using SimWindowSystemTest = SimDesktopTest;

TEST_F(SimWindowSystemTest, AnswersComeOnTheSchedulersTurnAfterTheLatencyOneAfterTheOther) {
    const ProcessID pid = desk.launchApp(AppSpec{.latency = 0.05});
    const WindowID id = desk.openWindow(pid, "Notes", {10, 30, 500, 400});
    const WindowHandle handle = desk.handleOf(id);
    std::optional<std::vector<WindowFacts>> connected;
    system->connect(pid, [&](auto list) { connected = std::move(list); });
    desk.advance(0.04);
    EXPECT_FALSE(connected);
    desk.advance(0.011);
    ASSERT_TRUE(connected && connected->size() == 1);
    EXPECT_EQ((*connected)[0].id, id);
    EXPECT_EQ((*connected)[0].handle, handle);

    std::vector<std::string> answered;
    system->frame(handle, pid, [&](std::optional<Rect> r) { answered.push_back("frame"); EXPECT_EQ(r, (Rect{10, 30, 500, 400})); });
    system->title(handle, pid, [&](std::optional<std::string> t) { answered.push_back("title"); EXPECT_EQ(t, "Notes"); });
    system->facts(handle, pid, [&](std::optional<WindowFacts> f) { answered.push_back("facts"); EXPECT_TRUE(f && f->standard); });
    system->isFullScreen(handle, pid, [&](bool fs) { answered.push_back("fullScreen"); EXPECT_FALSE(fs); });
    system->windows(pid, [&](std::vector<WindowFacts> list) { answered.push_back("windows"); EXPECT_EQ(list.size(), 1u); });
    system->focusedWindow(pid, [&](std::optional<WindowHandle> h, std::optional<WindowID> n) {
        answered.push_back("focused");
        EXPECT_EQ(h, handle);
        EXPECT_EQ(n, id);
    });
    EXPECT_TRUE(answered.empty());
    desk.advance(0.051);
    EXPECT_EQ(answered, (std::vector<std::string>{"frame"}));
    desk.advance(0.25);
    EXPECT_EQ(answered, (std::vector<std::string>{"frame", "title", "facts", "fullScreen", "windows", "focused"}));

    // An application never connected answers at once, inside the call, with nothing.
    const ProcessID mail = desk.launchApp("Mail");
    desk.openWindow(mail, "Inbox");
    const std::size_t scheduled = desk.scheduler()->pendingCount();
    int immediate = 0;
    system->windows(mail, [&](std::vector<WindowFacts> list) { immediate += list.empty(); });
    system->focusedWindow(mail, [&](auto h, auto n) { immediate += !h && !n; });
    EXPECT_EQ(immediate, 2);
    EXPECT_EQ(desk.scheduler()->pendingCount(), scheduled);

    // A launching application connects only once launched.
    const ProcessID launching = desk.launchApp(AppSpec{.name = "Slow", .launchTime = 1.0});
    desk.openWindow(launching, "Welcome");
    std::vector<std::optional<std::size_t>> answers;
    const auto attempt = [&] {
        system->connect(launching,
                        [&](auto list) { answers.push_back(list ? std::optional(list->size()) : std::nullopt); });
    };
    attempt();
    desk.advance(0.25);
    EXPECT_FALSE(system->isConnected(launching));
    desk.advance(0.8);
    attempt();
    desk.advance(0.1);
    EXPECT_EQ(answers, (std::vector<std::optional<std::size_t>>{std::nullopt, 1u}));
    EXPECT_TRUE(system->isConnected(launching));
    const auto launched = eventsOf<AppLaunched>();
    EXPECT_EQ(std::count(launched.begin(), launched.end(), AppLaunched{launching}), 1);
}

TEST_F(SimWindowSystemTest, AHungQuittingOrClosingApplicationAnswersAbsentAndDelaysOnlyItself) {
    const ProcessID hung = connectedApp("Hung");
    const ProcessID fine = connectedApp("Fine");
    const WindowHandle stuck = desk.handleOf(desk.openWindow(hung));
    const WindowHandle quick = desk.handleOf(desk.openWindow(fine));
    desk.setHung(hung, true);
    std::vector<std::pair<double, bool>> hungAnswers;
    std::optional<double> fineAnsweredAt;
    const double start = desk.now();
    for (int i = 0; i < 2; ++i) {
        system->frame(stuck, hung, [&](std::optional<Rect> r) { hungAnswers.emplace_back(desk.now() - start, r.has_value()); });
    }
    system->frame(quick, fine, [&](std::optional<Rect> r) { EXPECT_TRUE(r); fineAnsweredAt = desk.now(); });
    desk.advance(0.02);
    EXPECT_NEAR(fineAnsweredAt.value_or(-1) - start, 0.01, 1e-9);
    EXPECT_TRUE(hungAnswers.empty());
    desk.advance(1.0);
    ASSERT_EQ(hungAnswers.size(), 2u);  // each request waits out the time-out
    EXPECT_NEAR(hungAnswers[0].first, 0.5, 1e-9);
    EXPECT_NEAR(hungAnswers[1].first, 1.0, 1e-9);
    EXPECT_FALSE(hungAnswers[0].second || hungAnswers[1].second);
    bool connectAnswer = true;
    system->connect(hung, [&](auto list) { connectAnswer = list.has_value(); });
    desk.advance(0.6);
    EXPECT_FALSE(connectAnswer);
    desk.setHung(hung, false);
    std::optional<Rect> later;
    system->frame(stuck, hung, [&](std::optional<Rect> r) { later = r; });
    desk.advance(0.02);
    EXPECT_TRUE(later);

    // Quitting or closing with questions in flight answers them absent too.
    const ProcessID pid = connectedApp();
    WindowID id = desk.openWindow(pid);
    WindowHandle handle = desk.handleOf(id);
    std::optional<WindowFacts> facts{WindowFacts{}};
    system->facts(handle, pid, [&](auto f) { facts = f; });
    desk.closeWindow(id);  // after the question, before the answer
    desk.advance(0.1);
    EXPECT_FALSE(facts);
    EXPECT_FALSE(desk.frameOf(id));

    id = desk.openWindow(pid);
    handle = desk.handleOf(id);
    int answered = 0;
    system->frame(handle, pid, [&](std::optional<Rect> r) { answered += !r; });
    system->frame(WindowHandle{}, pid, [&](std::optional<Rect> r) { answered += !r; });
    system->facts(handle, pid, [&](std::optional<WindowFacts> f) { answered += !f; });
    system->title(handle, pid, [&](std::optional<std::string> t) { answered += !t; });
    system->isFullScreen(handle, pid, [&](bool fs) { answered += !fs; });
    system->windows(pid, [&](std::vector<WindowFacts> list) { answered += list.empty(); });
    system->focusedWindow(pid, [&](auto h, auto n) { answered += !h && !n; });
    system->connect(pid, [&](auto list) { answered += !list; });
    system->raise(handle, pid);
    system->setFrame(handle, pid, {0, 0, 10, 10});
    writer->write(id, pid, handle, {0, 0, 100, 100}, true);
    desk.quitApp(pid);
    desk.advance(1.0);
    EXPECT_EQ(answered, 8);
    EXPECT_EQ(eventsOf<AppTerminated>(), (std::vector<AppTerminated>{{pid}}));
    EXPECT_FALSE(system->app(pid));
    EXPECT_EQ(system->frontWindow(pid), std::nullopt);
    // The observer stays until the engine disconnects, as on the real desktop.
    EXPECT_TRUE(system->isConnected(pid));
    system->disconnect(pid);
    EXPECT_FALSE(system->isConnected(pid));
}

TEST_F(SimWindowSystemTest, FactsAreCompleteOnlyForStandardWindowsListedFrontToBack) {
    const ProcessID pid = connectedApp();
    const WindowID dialog = desk.openWindow({.pid = pid, .title = "Save?", .kind = WindowKind::dialog});
    const WindowID popover = desk.openWindow({.pid = pid, .title = "Save?", .kind = WindowKind::notWindow});
    const WindowID unnumbered = desk.openWindow({.pid = pid, .title = "Save?", .hasNumber = false});
    const WindowID doc = desk.openWindow({.pid = pid, .title = "Doc", .fixedSize = true});
    std::vector<WindowFacts> listed;
    system->windows(pid, [&](std::vector<WindowFacts> list) { listed = std::move(list); });
    std::optional<WindowFacts> none{WindowFacts{}};
    system->facts(desk.handleOf(unnumbered), pid, [&](auto f) { none = f; });
    desk.advance(0.1);
    EXPECT_FALSE(none);
    ASSERT_EQ(listed.size(), 3u);  // the window without a number yields nothing
    EXPECT_EQ(listed[0].id, doc);
    EXPECT_TRUE(listed[0].standard && listed[0].isWindow && listed[0].fixedSize);
    EXPECT_EQ(listed[0].title, "Doc");
    EXPECT_EQ(listed[0].frame, (Rect{100, 100, 800, 600}));
    EXPECT_EQ(listed[0].spaces, std::vector<SpaceID>{desk.currentSpace(display)});
    EXPECT_EQ(listed[1].id, popover);
    EXPECT_FALSE(listed[1].isWindow);
    EXPECT_EQ(listed[2].id, dialog);
    EXPECT_TRUE(listed[2].isWindow && !listed[2].standard);
    EXPECT_EQ(listed[2].title, "");
    EXPECT_FALSE(listed[2].frame);
}

TEST_F(SimWindowSystemTest, EventsReachOnlyConnectedAndWatchedWindowsUntilStopped) {
    desk.openWindow(desk.launchApp("NotConnected"));
    const ProcessID pid = connectedApp();
    const WindowID id = desk.openWindow(pid, "a", {0, 30, 400, 300});
    desk.advance(0);
    EXPECT_EQ(windowEvents(), (std::vector<WindowEvent>{WindowEvent::created, WindowEvent::focusChanged}));
    EXPECT_EQ(eventsOf<WindowNotification>()[0].handle, desk.handleOf(id));
    events.clear();
    desk.setTitle(id, "unwatched");
    desk.advance(0);
    EXPECT_TRUE(events.empty());
    watch(id);
    desk.setFrame(id, {50, 30, 400, 300});  // a move without the button: not reported
    desk.setFrame(id, {50, 30, 500, 300});  // a resize always is
    input->movePointer({60, 40});
    input->pressButton();
    desk.setFrame(id, {80, 60, 500, 300});  // a drag is
    input->releaseButton();
    desk.setTitle(id, "b");
    desk.minimize(id);
    desk.restore(id);
    desk.closeWindow(id);
    desk.advance(0);
    EXPECT_EQ(windowEvents(), (std::vector<WindowEvent>{WindowEvent::resized, WindowEvent::moved,
                                                        WindowEvent::titleChanged, WindowEvent::minimized,
                                                        WindowEvent::restored, WindowEvent::focusChanged,
                                                        WindowEvent::destroyed}));
    events.clear();
    system->disconnect(pid);
    desk.openWindow(pid);
    desk.advance(0);
    EXPECT_TRUE(eventsOf<WindowNotification>().empty());

    // Stopping drops events and requests in flight, and every observer.
    connectedApp("Again");
    std::optional<std::vector<WindowFacts>> late{std::vector<WindowFacts>{}};
    const ProcessID other = desk.launchApp("Other");
    system->connect(other, [&](auto list) { late = std::move(list); });
    system->stop();
    desk.advance(0.1);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(late);
    EXPECT_FALSE(system->isConnected(other));
    system->start([this](const SystemEvent& e) { events.push_back(e); });
    desk.hideApp(pid);
    desk.advance(0);
    EXPECT_EQ(eventsOf<AppHidden>(), (std::vector<AppHidden>{{pid}}));
}

TEST_F(SimWindowSystemTest, ApplicationSpaceAndDisplayChangesRaiseTheirEvents) {
    const ProcessID a = desk.launchApp("A");
    const ProcessID b = desk.launchApp("B");
    desk.advance(0);
    EXPECT_EQ(eventsOf<AppActivated>(), (std::vector<AppActivated>{{a}}));  // the first one comes to the front
    events.clear();
    desk.activateApp(b);
    desk.hideApp(b);  // the hidden front application hands the front to the previous one
    desk.showApp(b);
    const SpaceID second = desk.addSpace(display);
    desk.switchSpace(display, second);
    desk.switchSpace(display, second);  // no change, no event
    desk.addDisplay({1440, 0, 1920, 1080});
    desk.setReduceMotion(true);
    desk.quitApp(a);
    desk.advance(0);
    std::vector<std::size_t> kinds;
    for (const auto& e : events) kinds.push_back(e.index());
    EXPECT_EQ(kinds, (std::vector<std::size_t>{2, 3, 2, 4, 6, 7, 8, 1, 2}));
    EXPECT_EQ(std::get<AppActivated>(events.back()).pid, b);
    EXPECT_EQ(system->frontmostApp(), b);
    EXPECT_TRUE(system->reduceMotion());
    EXPECT_EQ(system->currentSpace(display), second);
}

TEST_F(SimWindowSystemTest, FocusRaiseStackingOrderAndSpacesDecideWhatIsOnScreenWithFullScreenOnOneOfItsOwn) {
    const ProcessID a = connectedApp("A");
    const ProcessID b = connectedApp("B");
    const WindowID a1 = desk.openWindow(a, "a1", {0, 30, 700, 800});
    const WindowID b1 = desk.openWindow(b, "b1", {600, 30, 700, 800});
    const WindowID a2 = desk.openWindow(a, "a2", {800, 30, 600, 800});
    desk.advance(0);
    events.clear();
    EXPECT_EQ(system->frontmostApp(), a);
    EXPECT_EQ(system->frontWindow(a), a2);
    EXPECT_EQ(system->topWindow({650, 100}), b1);  // b1 is above a1 there
    EXPECT_EQ(system->topWindow({2000, 100}), std::nullopt);
    EXPECT_TRUE(system->focus(b1, b));
    desk.advance(0);
    EXPECT_EQ(system->frontmostApp(), b);
    EXPECT_EQ(eventsOf<AppActivated>(), (std::vector<AppActivated>{{b}}));
    events.clear();
    system->raise(desk.handleOf(a1), a);    // makes a1 the main window of A...
    EXPECT_EQ(system->frontWindow(a), a2);  // ...once A has answered
    desk.advance(0.02);
    EXPECT_EQ(system->frontWindow(a), a1);
    EXPECT_EQ(desk.focusedWindowOf(a), a1);
    EXPECT_EQ(windowEvents(), (std::vector<WindowEvent>{WindowEvent::focusChanged}));
    EXPECT_EQ(system->frontmostApp(), b);  // raising does not activate
    desk.setRefusesFocus(a, true);
    EXPECT_TRUE(system->focus(a2, a));  // accepted and ignored
    EXPECT_EQ(system->frontmostApp(), b);
    desk.setFocusSupported(false);
    EXPECT_FALSE(system->focus(b1, b));
    EXPECT_FALSE(system->focus(a1, 4242));

    // Spaces decide what is on screen, and a full-screen window has one of its own.
    const ProcessID pid = connectedApp();
    const SpaceID desktopSpace = desk.currentSpace(display);
    const SpaceID second = desk.addSpace(display);
    const WindowID here = desk.openWindow(pid, "here", {100, 100, 640, 480});
    const WindowID there = desk.openWindow(pid, "there");
    desk.moveToSpace(there, second);
    EXPECT_TRUE(system->supportsSpaces());
    EXPECT_EQ(system->spacesOf(there), std::vector<SpaceID>{second});
    EXPECT_EQ(system->frontWindow(pid), here);
    desk.switchSpace(display, second);
    EXPECT_EQ(system->frontWindow(pid), there);
    EXPECT_EQ(system->currentSpace("no such display"), 0u);
    desk.switchSpace(display, desktopSpace);

    watch(here);
    desk.advance(0);
    events.clear();
    desk.setFullScreen(here, true);
    const SpaceID own = desk.currentSpace(display);
    EXPECT_NE(own, desktopSpace);
    EXPECT_EQ(desk.frameOf(here), (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(system->spacesOf(here), std::vector<SpaceID>{own});
    bool fullScreen = false;
    system->isFullScreen(desk.handleOf(here), pid, [&](bool fs) { fullScreen = fs; });
    system->setFrame(desk.handleOf(here), pid, {0, 0, 10, 10});  // writes do not move it
    desk.advance(0.1);
    EXPECT_TRUE(fullScreen);
    EXPECT_EQ(desk.frameOf(here), (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(windowEvents(), (std::vector<WindowEvent>{WindowEvent::resized}));
    EXPECT_EQ(eventsOf<SpaceChanged>().size(), 1u);
    desk.setFullScreen(here, false);
    EXPECT_EQ(desk.frameOf(here), (Rect{100, 100, 640, 480}));
    EXPECT_EQ(desk.currentSpace(display), desktopSpace);
    EXPECT_EQ(desk.spacesOn(display), (std::vector<SpaceID>{desktopSpace, second}));
    desk.setFullScreen(here, true);
    desk.closeWindow(here);  // closing it takes its Space away too
    EXPECT_EQ(desk.currentSpace(display), desktopSpace);
    EXPECT_EQ(desk.spacesOn(display).size(), 2u);

    desk.setSpacesSupported(false);
    EXPECT_EQ(system->currentSpace(display), 0u);
    EXPECT_TRUE(system->spacesOf(there).empty());
    std::optional<WindowFacts> facts;
    system->facts(desk.handleOf(there), pid, [&](auto f) { facts = f; });
    desk.advance(0.1);
    EXPECT_TRUE(facts && facts->spaces.empty());
}

// A window whose minimum size grew while it was full screen came back smaller
// than that minimum; released onto a display it then grew past the edge.
TEST_F(SimWindowSystemTest, ReleaseAllFitsAnsweringWindowsAtOnceKeepingTheirMinimumSizes) {
    const ProcessID fine = connectedApp("Fine");
    const ProcessID hung = connectedApp("Hung");
    const WindowID parked = desk.openWindow(fine, "parked", {1439, 30, 700, 800});
    const WindowID inside = desk.openWindow(fine, "inside", {10, 30, 700, 800});
    const WindowID stuck = desk.openWindow(hung, "stuck", {-699, 30, 700, 800});
    const WindowID film = desk.openWindow(fine, "film", {100, 100, 640, 480});
    desk.setFullScreen(film, true);
    desk.setMinSize(film, {900, 500});
    desk.setFullScreen(film, false);
    EXPECT_EQ(desk.frameOf(film), (Rect{100, 100, 900, 500}));
    desk.setHung(hung, true);
    const Rect area = desk.display(display)->visible;
    const double before = desk.now();
    system->releaseAll({{desk.handleOf(parked), fine, area}, {desk.handleOf(inside), fine, area},
                        {desk.handleOf(stuck), hung, area}, {desk.handleOf(film), fine, area}, {WindowHandle{}, fine, area}},
                       1.5);
    EXPECT_EQ(desk.now(), before);
    EXPECT_EQ(desk.frameOf(parked), (Rect{740, 30, 700, 800}));
    EXPECT_EQ(desk.frameOf(inside), (Rect{10, 30, 700, 800}));
    EXPECT_EQ(desk.frameOf(stuck), (Rect{-699, 30, 700, 800}));
    EXPECT_LE(desk.frameOf(film)->maxX(), 1440);
}

TEST_F(SimWindowSystemTest, AnUnpluggedDisplayHandsItsWindowsToThePrimary) {
    const ProcessID pid = connectedApp();
    const std::string side = desk.addDisplay({1440, 0, 1920, 1080}, "Side");
    const WindowID id = desk.openWindow(pid, "far", {1540, 100, 1800, 900});
    EXPECT_EQ(system->spacesOf(id), std::vector<SpaceID>{desk.currentSpace(side)});
    desk.removeDisplay(side);
    EXPECT_EQ(system->displays().size(), 1u);
    EXPECT_EQ(system->spacesOf(id), std::vector<SpaceID>{desk.currentSpace(display)});
    const Rect frame = *desk.frameOf(id);
    EXPECT_TRUE(frame.x >= 0 && frame.maxX() <= 1440 && frame.y >= 25 && frame.maxY() <= 900);
    EXPECT_TRUE(desk.isOnScreen(id));
    desk.advance(0);
    EXPECT_EQ(eventsOf<DisplaysChanged>().size(), 2u);  // plugged in, then out
    // With no display at all nothing is on screen; the next one takes everything.
    desk.removeDisplay(display);
    EXPECT_TRUE(system->displays().empty());
    EXPECT_FALSE(desk.isOnScreen(id));
    EXPECT_EQ(system->topWindow({100, 100}), std::nullopt);
    const std::string fresh = desk.addDisplay({0, 0, 1280, 800});
    EXPECT_EQ(system->spacesOf(id), std::vector<SpaceID>{desk.currentSpace(fresh)});
    EXPECT_TRUE(desk.isOnScreen(id));
}

// Displays rearranged one at a time passed through arrangements no real
// rearrangement shows, and a display that moved left its windows behind; a
// window moved to a smaller display's Space was fitted below its minimum.
TEST_F(SimWindowSystemTest, DisplaysMoveWithTheirWindowsAndWindowsKeepTheirMinimumSizes) {
    const std::string right = desk.addDisplay(Rect{1440, 0, 1440, 900}, "Right");
    const ProcessID pid = connectedApp();
    const WindowID onRight = desk.openWindow(pid, "r", {1500, 100, 800, 600});
    const WindowID onMain = desk.openWindow(pid, "m", {100, 100, 800, 600});
    events.clear();
    desk.arrangeDisplays({{display, Rect{1440, 0, 1440, 900}}, {right, Rect{0, 0, 1440, 900}}});
    desk.advance(0.1);
    EXPECT_EQ(eventsOf<DisplaysChanged>().size(), 1u);
    EXPECT_EQ(desk.frameOf(onRight), (Rect{60, 100, 800, 600}));
    EXPECT_EQ(desk.frameOf(onMain), (Rect{1540, 100, 800, 600}));

    const std::string small = desk.addDisplay(Rect{2880, 0, 800, 600}, "Small");
    desk.setMinSize(onMain, {1000, 300});
    desk.moveToSpace(onMain, desk.currentSpace(small));
    EXPECT_GE(desk.frameOf(onMain)->width, 1000);
}

TEST(SimDesktopLifetime, PlatformObjectsOutlivingTheDesktopAreInert) {
    std::shared_ptr<SimWindowSystem> system;
    std::shared_ptr<SimScheduler> scheduler;
    std::shared_ptr<SimFrameWriter> writer;
    bool answered = false;
    {
        SimDesktop desk;
        desk.addDisplay();
        system = desk.system();
        scheduler = desk.scheduler();
        writer = desk.writer();
        system->start([](const SystemEvent&) {});
        const ProcessID pid = desk.launchApp("Editor");
        const WindowID id = desk.openWindow(pid);
        system->frame(desk.handleOf(id), pid, [&](auto) { answered = true; });
        writer->write(id, pid, desk.handleOf(id), {0, 0, 10, 10}, true);
    }
    scheduler->advance(5);
    EXPECT_FALSE(answered);
    EXPECT_TRUE(system->displays().empty());
    EXPECT_FALSE(system->isTrusted());
    bool immediate = false;
    system->windows(1, [&](auto list) { immediate = list.empty(); });
    EXPECT_TRUE(immediate);
    writer->write(1, 1, WindowHandle{}, {}, true);
    system->releaseAll({{WindowHandle{}, 1, {}}}, 1);
}
