// Tessaline as the window manager of a real X server, with real clients:
// what a user sees of windows, states, docks, workspaces, monitors, restarts
// and other window managers. Each test ends with the manager stopped by
// SIGTERM and every window left mapped, on screen and in the normal state.

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "ManagedScreen.h"
#include "Spawn.h"
#include "UserInput.h"

using namespace tessaline::xtest;

namespace {

// A column of the default width (half the screen) with the default gap of 10.
constexpr int kColumnWidth = 945, kColumnHeight = 1060;

Rect column(int x) { return Rect{x, 10, kColumnWidth, kColumnHeight}; }

// Every frame is final once the manager has answered a sync.
ManagerOptions withoutAnimation(std::vector<std::string> args = {}) {
    return ManagerOptions::tessaline(R"({"animate":false})", std::move(args));
}

std::vector<uint32_t> rootList(Connection& c, const char* property) {
    return c.property32(c.root(), c.atom(property)).value_or(std::vector<uint32_t>{});
}

class Tessaline : public ManagedScreen {
protected:
    explicit Tessaline(ManagerOptions options = withoutAnimation()) : ManagedScreen(std::move(options)) {}

    void TearDown() override {
        ManagedScreen::TearDown();
        for (TestClient& client : clients) {
            if (!client.alive()) continue;
            EXPECT_TRUE(client.viewable()) << client.window();
            EXPECT_EQ(client.wmState(), WmState::normal) << client.window();
            const auto g = client.geometry();
            ASSERT_TRUE(g);
            EXPECT_TRUE(g->x >= 0 && g->y >= 0 && g->x + g->w <= XServer::shared().width())
                << "window " << client.window() << " left off screen at " << *g;
        }
    }

    void sendToRoot(xcb_window_t window, const char* type, std::array<uint32_t, 5> data) {
        wm.control().sendToRoot(window, type, data);
        wm.sync();
    }
};

// Windows glide as users have it.
class TessalineAnimating : public Tessaline {
protected:
    TessalineAnimating() : Tessaline(ManagerOptions::tessaline()) {}
};

}  // namespace

TEST_F(Tessaline, WindowsBecomeColumnsBesideTheFocusedOneWhileDialogsAndFixedWindowsFloat) {
    TestClient& a = open(ClientBuilder().title("a"));
    EXPECT_EQ(a.geometry(), column(10));
    TestClient& b = open(ClientBuilder().title("b"));
    EXPECT_EQ(a.geometry(), column(10));
    EXPECT_EQ(b.geometry(), column(965)) << "a new window opens beside the focused one";
    EXPECT_EQ(active(), b.window());
    EXPECT_EQ(rootList(wm.control(), "_NET_CLIENT_LIST"), (std::vector<uint32_t>{a.window(), b.window()}));
    EXPECT_EQ(wm.control().property32(b.window(), wm.control().atom("_NET_FRAME_EXTENTS")),
              (std::vector<uint32_t>{0, 0, 0, 0}));

    TestClient& dialog = open(
        ClientBuilder().type(WindowType::dialog).transientFor(a).geometry({0, 0, 300, 200}).title("dialog"));
    const Rect d = *dialog.geometry();
    EXPECT_EQ(std::make_pair(d.w, d.h), std::make_pair(300, 200));
    EXPECT_NEAR(d.x + d.w / 2, 10 + kColumnWidth / 2, 1) << "centred over the window it belongs to";
    TestClient& fixed = open(ClientBuilder().fixedSize(400, 300).geometry({600, 500, 400, 300}));
    EXPECT_EQ(fixed.geometry(), (Rect{600, 500, 400, 300}));
    EXPECT_EQ(b.geometry(), column(965)) << "neither of them is a column";

    // A tiled window keeps its column and hears where it is; a dialog moves as asked.
    b.requestGeometry({100, 100, 500, 500});
    dialog.requestGeometry({50, 60, 320, 240});
    wm.sync();
    EXPECT_EQ(b.geometry(), column(965));
    EXPECT_TRUE(b.waitFor("a synthetic ConfigureNotify", [](const xcb_generic_event_t& e) {
        return eventType(e) == XCB_CONFIGURE_NOTIFY && (e.response_type & 0x80);
    }));
    EXPECT_EQ(dialog.geometry(), (Rect{50, 60, 320, 240}));

    a.close();
    wm.sync();
    EXPECT_EQ(b.geometry(), column(10)) << "the strip closes the gap";

    // A dock's strut shrinks the area columns use for as long as it is there.
    TestClient& dock = open(ClientBuilder().type(WindowType::dock).geometry({0, 0, 1920, 40})
                                .strut(Strut::atTop(40, 0, 1919)));
    EXPECT_EQ(b.geometry(), (Rect{10, 50, kColumnWidth, kColumnHeight - 40}));
    EXPECT_EQ(dock.geometry(), (Rect{0, 0, 1920, 40})) << "a dock stays where it put itself";
    EXPECT_EQ(std::ranges::count(rootList(wm.control(), "_NET_CLIENT_LIST"), dock.window()), 0);
    dock.close();
    wm.sync();
    EXPECT_EQ(b.geometry(), column(10));
}

TEST_F(TessalineAnimating, ANewWindowAppearsAtItsColumnInsteadOfGlidingInFromWhereItsClientMadeIt) {
    for (const Rect laidOut : {column(10), column(965)}) {
        clients.push_back(ClientBuilder().geometry({0, 0, 300, 200}).create());
        TestClient& window = clients.back();
        window.mapNoWait();
        window.waitForMapped();
        // Where it stood when it became visible: its last ConfigureNotify before its MapNotify.
        Rect shownAt{0, 0, 300, 200};
        while (Event e = window.connection().take([](const xcb_generic_event_t&) { return true; })) {
            if (eventType(*e) == XCB_MAP_NOTIFY) break;
            if (eventType(*e) != XCB_CONFIGURE_NOTIFY) continue;
            const auto* c = reinterpret_cast<const xcb_configure_notify_event_t*>(e.get());
            shownAt = Rect{c->x, c->y, c->width, c->height};
        }
        EXPECT_EQ(shownAt, laidOut);
        wm.sync();
        EXPECT_EQ(window.geometry(), laidOut) << "nothing left to glide";
    }
}

TEST_F(Tessaline, MinimisedFullScreenAndClosedWindowsLeaveTheStripAndComeBack) {
    TestClient& a = open(ClientBuilder().title("a"));
    TestClient& b = open(ClientBuilder().title("b"));
    TestClient& c = open(ClientBuilder().title("c"));
    EXPECT_EQ(b.geometry(), column(10)) << "a has scrolled off to the left";

    b.iconify();
    wm.sync();
    EXPECT_EQ(b.wmState(), WmState::iconic);
    EXPECT_FALSE(b.viewable());
    EXPECT_TRUE(b.hasNetWmState("_NET_WM_STATE_HIDDEN"));
    EXPECT_EQ(a.geometry(), column(10)) << "the two left close up";
    EXPECT_EQ(c.geometry(), column(965));

    b.requestActivate();
    wm.sync();
    EXPECT_TRUE(b.viewable());
    EXPECT_EQ(b.wmState(), WmState::normal);
    EXPECT_EQ(active(), b.window());
    EXPECT_EQ(b.geometry()->w, kColumnWidth);

    a.requestFullscreen(true);
    wm.sync();
    EXPECT_EQ(a.geometry(), kMonitor);
    EXPECT_TRUE(a.hasNetWmState("_NET_WM_STATE_FULLSCREEN"));
    a.requestFullscreen(false);
    // The engine waits for the application to settle before it takes the window back.
    waitFor("a back in a column", [&] { return a.geometry() && a.geometry()->w == kColumnWidth; });
    EXPECT_FALSE(a.hasNetWmState("_NET_WM_STATE_FULLSCREEN"));

    b.setTitle("renamed");
    wm.sync();
    EXPECT_NE(wm.command("state").find("renamed"), std::string::npos) << "titles follow _NET_WM_NAME";

    c.requestClose();
    waitFor("the close request to reach the client", [&] { return c.deleteRequests() > 0; });
    wm.sync();  // and its window's end to reach the manager
    EXPECT_EQ(c.deleteRequests(), 1);
    EXPECT_EQ(std::ranges::count(rootList(wm.control(), "_NET_CLIENT_LIST"), c.window()), 0);
}

TEST_F(Tessaline, FocusIsOfferedAsEachWindowWantsItAndFollowsClicks) {
    TestClient& a = open(ClientBuilder().title("a"));
    TestClient& offered = open(ClientBuilder().input(false).protocols({Protocol::takeFocus}).title("offered"));
    waitFor("WM_TAKE_FOCUS for a window that takes focus itself", [&] { return offered.focusOffers() > 0; });
    EXPECT_EQ(active(), offered.window());
    TestClient& quiet = open(ClientBuilder().title("quiet").beforeMap([](TestClient& c) {
        const uint32_t zero = 0;
        xcb_change_property(c.connection().get(), XCB_PROP_MODE_REPLACE, c.window(),
                            c.connection().atom("_NET_WM_USER_TIME"), XCB_ATOM_CARDINAL, 32, 1, &zero);
        c.connection().flush();
    }));
    EXPECT_EQ(active(), offered.window())
        << "a window mapped with user time 0 does not take the focus";
    EXPECT_TRUE(quiet.viewable());

    // A click focuses and raises the window under the pointer.
    const Rect g = *a.geometry();
    UserInput user;
    user.moveTo(g.x + 20, g.y + 20);
    user.buttonDown(1);
    user.buttonUp(1);
    wm.sync();
    EXPECT_EQ(active(), a.window());
    EXPECT_EQ(rootList(wm.control(), "_NET_CLIENT_LIST_STACKING").back(), a.window());
}

TEST_F(Tessaline, EachMonitorsWorkspacesArePublishedAsDesktopsPagersSwitchThemAndEachSetupGetsItsLayoutBack) {
    Connection& root = wm.control();
    EXPECT_EQ(rootList(root, "_NET_NUMBER_OF_DESKTOPS"), std::vector<uint32_t>{4});
    TestClient& a = open(ClientBuilder().title("a"));
    sendToRoot(root.root(), "_NET_CURRENT_DESKTOP", {1});
    EXPECT_FALSE(a.viewable());
    EXPECT_EQ(rootList(root, "_NET_CURRENT_DESKTOP"), std::vector<uint32_t>{1});

    TestClient& b = open(ClientBuilder().title("b"));
    EXPECT_EQ(root.property32(b.window(), root.atom("_NET_WM_DESKTOP")), std::vector<uint32_t>{1});
    EXPECT_EQ(b.geometry(), column(10)) << "alone on its workspace's strip";
    sendToRoot(b.window(), "_NET_WM_DESKTOP", {0});
    EXPECT_FALSE(b.viewable());

    sendToRoot(root.root(), "_NET_CURRENT_DESKTOP", {0});
    EXPECT_TRUE(a.viewable() && b.viewable());
    EXPECT_EQ(a.geometry(), column(10));
    EXPECT_EQ(b.geometry(), column(965));

    // Monitors coming, going and moving give each setup its layout back.
    const Monitor left{"left", kMonitor, true}, right{"right", {1920, 0, 1920, 1080}};
    XServer::shared().setMonitors({left, right});
    wm.sync();
    EXPECT_EQ(rootList(root, "_NET_NUMBER_OF_DESKTOPS"), std::vector<uint32_t>{8});
    sendToRoot(b.window(), "_NET_WM_DESKTOP", {4});  // the right monitor's first workspace
    EXPECT_EQ(b.geometry(), column(1930));
    EXPECT_EQ(a.geometry(), column(10));

    XServer::shared().setMonitors({left});
    wm.sync();
    EXPECT_TRUE(b.viewable());
    EXPECT_LT(b.geometry()->x + b.geometry()->w, 1921) << "the right monitor's windows come over";

    XServer::shared().setMonitors({left, right});
    wm.sync();
    EXPECT_EQ(b.geometry(), column(1930)) << "and go back when it returns";
    EXPECT_EQ(a.geometry(), column(10));

    // The same monitors swapped round: each keeps its windows.
    XServer::shared().setMonitors({{"left", {1920, 0, 1920, 1080}, true}, {"right", kMonitor}});
    wm.sync();
    EXPECT_EQ(a.geometry(), column(1930));
    EXPECT_EQ(b.geometry(), column(10));
}

TEST_F(Tessaline, TheLayoutSurvivesACrashAndARestart) {
    TestClient& a = open(ClientBuilder().title("a"));
    TestClient& b = open(ClientBuilder().title("b"));
    sendToRoot(a.window(), "_NET_WM_DESKTOP", {1});
    // The session file is written a second after the last change; wait for it.
    const std::filesystem::path folder = wm.home() / ".local/share/Tessaline";
    std::filesystem::create_directories(folder);
    const int notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(notify, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    bool written = false;
    watch(notify, [&] {
        char buffer[4096];
        while (::read(notify, buffer, sizeof buffer) > 0) written = true;
    });
    wm.command("fullWidth");
    EXPECT_EQ(b.geometry()->w, 1900);
    waitFor("the session file", [&] {
        return written && readFile(folder / "session.json").find("\"width\":1.0") != std::string::npos;
    });
    unwatch(notify);
    ::close(notify);

    EXPECT_EQ(wm.kill().signal, SIGKILL);
    EXPECT_TRUE(a.viewable()) << "the server maps what the manager hid";
    wm.start();
    wm.sync();
    EXPECT_EQ(b.geometry()->w, 1900) << "the full-width column comes back from the session";
    EXPECT_FALSE(a.viewable()) << "and the other window to its workspace";
    wm.restart();
    wm.sync();
    EXPECT_EQ(b.geometry()->w, 1900);
}

TEST_F(Tessaline, AnotherWindowManagerIsRefusedUnlessReplacedAndTessalineLeavesWhenAsked) {
    TestClient& a = open();
    ManagerProcess refused{withoutAnimation()};
    EXPECT_EQ(refused.startExpectingExit(), (ManagerProcess::Exit{1, 0}));
    EXPECT_NE(refused.stderrText().find("Another window manager is running"), std::string::npos);

    ManagerOptions replacingI3 = ManagerOptions::i3();
    replacingI3.args.push_back("--replace");
    ManagerProcess i3{replacingI3};
    i3.start();
    EXPECT_EQ(wm.waitForExit(), (ManagerProcess::Exit{0, 0})) << "Tessaline gives the screen up cleanly";
    EXPECT_TRUE(a.viewable());

    EXPECT_EQ(refused.startExpectingExit(), (ManagerProcess::Exit{1, 0})) << "i3 holds the screen";
    ManagerProcess replacing{withoutAnimation({"--replace"})};
    replacing.start();
    EXPECT_EQ(i3.waitForExit().code, 0);
    replacing.sync();
    EXPECT_EQ(a.geometry(), column(10));
    EXPECT_EQ(replacing.stop(), (ManagerProcess::Exit{0, 0}));
}

TEST_F(Tessaline, TwoHundredWindowsMappedAtOnceAreAllTakenAndClientsThatVanishOrHangNeverUpsetTheManager) {
    Connection burst(XServer::shared().display());
    std::vector<xcb_window_t> windows;
    for (int i = 0; i < 200; ++i) {
        const xcb_window_t w = xcb_generate_id(burst.get());
        xcb_create_window(burst.get(), XCB_COPY_FROM_PARENT, w, burst.root(), 0, 0, 300, 200, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(burst.get(), w);
        windows.push_back(w);
    }
    burst.flush();
    wm.sync();
    EXPECT_EQ(rootList(wm.control(), "_NET_CLIENT_LIST").size(), 200u);
    for (xcb_window_t w : windows) EXPECT_EQ(burst.mapState(w), XCB_MAP_STATE_VIEWABLE);
    burst.disconnect();
    wm.sync();
    EXPECT_TRUE(rootList(wm.control(), "_NET_CLIENT_LIST").empty());

    TestClient& stays = open(ClientBuilder().title("stays"));
    // An application of its own: the manager pings applications, not windows.
    TestClient& hung = open(ClientBuilder().neverAnswerPing().pid(uint32_t(::getpid()) + 1).title("hung"));
    waitFor("the manager to ping the hung client", [&] { return hung.pings() > 0; });
    // One after the other: the server orders requests from two connections as it pleases.
    stays.requestActivate();
    waitFor("the window that stays to be active", [&] { return active() == stays.window(); });
    hung.requestActivate();
    wm.sync();
    EXPECT_EQ(active(), hung.window());

    // Last, because a focused window that closes hands focus on a moment later.
    for (int i = 0; i < 20; ++i) {
        TestClient gone = ClientBuilder().create();
        gone.mapNoWait();
        if (i % 2) gone.setTitle("going");
        gone.die();
    }
    wm.sync();
    const std::vector<uint32_t> remaining{stays.window(), hung.window()};
    waitFor("the vanished clients to leave the client list",
            [&] { return rootList(wm.control(), "_NET_CLIENT_LIST") == remaining; });
}

TEST_F(Tessaline, AnXtermOpensAsAColumn) {
    Connection& watcher = wm.control();  // hears the root's property changes
    const pid_t xterm = spawn({.argv = {"xterm", "-title", "smoke", "-e", "sleep", "60"},
                               .environment = environmentWith({{"DISPLAY", XServer::shared().display()}})});
    waitFor("xterm's window", [&] { return rootList(watcher, "_NET_CLIENT_LIST").size() == 1; });
    wm.sync();
    const xcb_window_t window = rootList(watcher, "_NET_CLIENT_LIST").at(0);
    const auto g = watcher.rootGeometry(window);
    ASSERT_TRUE(g);
    EXPECT_EQ(std::make_pair(g->x, g->y), std::make_pair(10, 10));
    EXPECT_NEAR(g->w, kColumnWidth, 12) << "xterm sizes in character cells";
    ::kill(xterm, SIGTERM);
    waitFor("xterm to go", [&] { return rootList(watcher, "_NET_CLIENT_LIST").empty(); });
    ::waitpid(xterm, nullptr, 0);
}
