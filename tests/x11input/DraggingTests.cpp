// Windows moved and resized by hand on the real manager: Super + left drag
// feeds the engine's dragging (reorder, stack, edge scrolling, another
// monitor), Super + right drag and a client's own _NET_WM_MOVERESIZE resize,
// and every grab of the manager is let go however a drag or the manager ends.

#include <csignal>
#include <regex>

#include "WithInput.h"

using namespace tessaline;
using namespace tessaline::xtest;

class Dragging : public WithInput {
protected:
    // Super and a button down on `from`, the pointer carried to `to` in a few steps.
    void take(Point from, uint8_t button = 1) {
        user.press(keys::super);
        user.moveTo(from.x, from.y);
        user.buttonDown(button);
        wm.sync();
        at_ = from;
    }
    void carry(Point to) {
        for (int step = 1; step <= 4; ++step) {
            user.moveTo(at_.x + (to.x - at_.x) * step / 4, at_.y + (to.y - at_.y) * step / 4);
            wm.sync();
        }
        at_ = to;
    }
    void drop(uint8_t button = 1) {
        user.buttonUp(button);
        user.release(keys::super);
        if (wm.running()) wm.sync();
    }
    // Holds the window near where it is until `done`. The engine looks at a
    // drag at the display's rate and decides how it travels from there on,
    // which a test's quick steps may outrun: the hand trembles meanwhile.
    bool holdUntil(const std::function<bool()>& done, int tremble = 5) {
        int beat = 0;
        const bool held = waitUntil(
            [&] {
                user.moveTo(at_.x + (++beat % 2 ? tremble : 0), at_.y);
                return done();
            },
            waitLimit(), std::chrono::milliseconds(20));
        user.moveTo(at_.x, at_.y);
        wm.sync();
        return held;
    }

    // The engine follows a drag at the display's rate: wait for what it shows
    // (without the heights of a stack whose window is still held).
    void expectLayout(const std::string& expected, bool heights = true) {
        const auto shown = [&] {
            const std::string text = layout();
            return heights ? text : std::regex_replace(text, std::regex("/[0-9]+"), "");
        };
        EXPECT_TRUE(waitUntil([&] { return shown() == expected; }, waitLimit(), std::chrono::milliseconds(20)))
            << shown() << " is not " << expected;
    }

    Point at_{};
};

TEST_F(Dragging, SuperDragReordersColumnsStacksAWindowScrollsAtTheEdgeAndDropsOnAnotherMonitor) {
    XServer::shared().setMonitors({{"left", kLeftMonitor, true}, {"right", kRightMonitor}});
    user.moveTo(100, 100);
    wm.start();
    for (const char* title : {"a", "b", "c", "d", "e"}) open(title);
    ASSERT_EQ(layout(), "a b c d e*");

    // Onto the left quarter of the column to its left: a new place in the strip.
    const Rect d = *client("d").geometry();
    take(client("e").geometry()->centre());
    carry({d.x + d.w / 8, d.y + d.h / 2});
    expectLayout("a b c e* d");
    drop();
    EXPECT_TRUE(waitUntil([&] { return client("e").geometry() == d; }, waitLimit(), std::chrono::milliseconds(20)))
        << "it settles where its column is";

    // Onto the middle of another column: stacked into it.
    const Rect e = *client("e").geometry();
    take(client("d").geometry()->centre());
    carry({e.x + e.w / 2, e.y + e.h * 3 / 4});
    expectLayout("a b c (e d*)", false);
    drop();
    expectLayout("a b c (e/525 d*/525)");

    // Over the other monitor: it leaves this strip for that one's.
    take(client("d").geometry()->centre());
    carry({2880, 540});
    drop();
    expectLayout("a b c e | d*");
    EXPECT_GE(client("d").geometry()->x, 1920);

    // Held at the left edge, the strip scrolls towards its start.
    const double scrolled = state()["strips"][0]["scroll"];
    ASSERT_GT(scrolled, 0);
    take(client("e").geometry()->centre());
    carry({20, 540});
    EXPECT_TRUE(holdUntil([&] { return state()["strips"][0]["scroll"].get<double>() < scrolled; }));
    drop();
}

TEST_F(Dragging, SuperRightDragAndTheWindowsOwnResizeRequestChangeItsColumnsWidth) {
    wm.start();
    open("a");
    open("b");
    ASSERT_EQ(layout(), "a b*");

    // Near its right edge: only the width changes, and the column keeps it.
    const Rect b = *client("b").geometry();
    take({b.x + b.w - 20, b.y + b.h / 2}, 3);
    carry({b.x + b.w - 320, b.y + b.h / 2});
    EXPECT_EQ(client("b").geometry(), (Rect{b.x, b.y, b.w - 300, b.h})) << "it follows the pointer";
    drop(3);
    expectLayout("a b*:34");

    // A client-side-decorated window drags its own left edge, and says so.
    Connection& root = wm.control();
    const auto supported = root.property32(root.root(), root.atom("_NET_SUPPORTED")).value_or(std::vector<uint32_t>{});
    EXPECT_NE(std::find(supported.begin(), supported.end(), root.atom("_NET_WM_MOVERESIZE")), supported.end());
    TestClient& a = client("a");
    const Rect before = *a.geometry();
    const Point edge{before.x + 5, before.y + before.h / 2};
    user.moveTo(edge.x, edge.y);
    user.buttonDown(1);
    a.connection().sendToRoot(a.window(), "_NET_WM_MOVERESIZE",
                              {uint32_t(edge.x), uint32_t(edge.y), 7 /* left */, 1, 1});
    wm.sync();
    at_ = edge;
    carry({edge.x + 190, edge.y});
    EXPECT_TRUE(holdUntil([&] { return layout() == "a*:40 b:34"; })) << "the column follows while it is held";
    user.buttonUp(1);
    wm.sync();
    expectLayout("a*:40 b:34");
}

TEST_F(Dragging, EveryGrabIsLetGoWhenTheHeldWindowDiesEscapeIsPressedOrTheManagerStopsOrDies) {
    const std::pair<std::string, std::function<void()>> endings[] = {
        {"the window's client crashing", [this] { client("a").die(); }},
        {"Escape", [this] { user.chord({keys::escape}); }},
        {"tiling paused", [this] {
             command("stop");
             waitFor("tiling to stop", [&] { return state()["running"] == false; });
         }},
        {"SIGTERM", [this] { EXPECT_EQ(wm.stop(), (ManagerProcess::Exit{0, 0})); }},
        {"SIGKILL", [this] { EXPECT_EQ(wm.kill().signal, SIGKILL); }},
    };
    for (const auto& [ending, end] : endings) {
        if (!wm.running()) wm.start();
        clients.clear();
        open("a");
        take(client("a").geometry()->centre());
        carry({at_.x + 50, at_.y + 50});
        EXPECT_FALSE(inputIsFree()) << ending << ": the drag holds the pointer";
        end();
        if (wm.running()) wm.sync();
        EXPECT_TRUE(inputIsFree()) << ending;
        drop();
    }
    // Chord scrolling holds the pointer while control and option are down.
    wm.start();
    user.press(keys::control);
    user.press(keys::alt);
    wm.sync();
    EXPECT_FALSE(inputIsFree());
    EXPECT_EQ(wm.kill().signal, SIGKILL);
    EXPECT_TRUE(inputIsFree());
    user.release(keys::alt);
    user.release(keys::control);
}
