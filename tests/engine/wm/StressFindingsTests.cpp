// Faults the randomized stress runs (tests/engine/stress) found in the engine, each
// reduced to the few steps that show it.

#include "tests/engine/Scenario.h"
#include "core/Layout.h"

namespace tessaline {
namespace {

class StressFindings : public Scenario {
protected:
    // Every tiled window sits in the strip its key names.
    void expectEveryTiledWindowInItsStrip() {
        for (const auto& [id, window] : manager().windows) {
            if (window->state != ManagedWindow::State::tiled) continue;
            ASSERT_TRUE(window->key.has_value()) << "window " << id;
            EXPECT_TRUE(strip(*window->key).contains(id)) << "window " << id << " is tiled in no strip";
        }
    }
    // The user takes the window by its title bar and moves it a little, with
    // the button still down: a drag is in progress.
    void grabByTitleBarAndMove(WindowID id) {
        const Rect f = *frameOf(id);
        input().movePointer({f.x + 60, f.y + 8});
        input().pressButton();
        desk.advance(0.05);
        desk.setFrame(id, {f.x + 100, f.y + 20, f.width, f.height});
        input().movePointer({f.x + 100, f.y + 28});
        desk.advance(0.1);
    }
};

// Tiling switched off and on again before the first discovery was answered:
// the old discovery's answers tracked the windows, the new one skipped them
// as known, and no one put them into a strip.
TEST_F(StressFindings, RestartingBeforeTheDiscoveryAnswersLosesNoWindow) {
    openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    manager().start();
    manager().stop();
    manager().start();
    settle();
    EXPECT_EQ(manager().windows.size(), 2u);
    EXPECT_EQ(order(primaryKey()).size(), 2u);
    expectEveryTiledWindowInItsStrip();
}

// The same with the rediscovery that follows a Space change.
TEST_F(StressFindings, RestartingRightAfterASpaceChangeLosesNoWindow) {
    openWindow("Mail", "Inbox");
    const WindowID film = openWindow("Video", "Film");
    start();
    desk.setFullScreen(film, true);  // a Space change: the manager rediscovers
    desk.advance(0);
    manager().stop();
    manager().start();
    settle();
    EXPECT_EQ(manager().windows.size(), 2u);
    EXPECT_GE(manager().tiledCount(), 1);
    expectEveryTiledWindowInItsStrip();
}

// A drag whose window changed strips under it (here its display went away
// and its strip was folded into the primary one) ended without laying the
// window out: relayouts skip the dragged window, and the drop gave up because
// the key had changed, so the window was left wherever the user let go.
TEST_F(StressFindings, ADragWhoseStripWentAwayStillEndsLaidOut) {
    desk.addDisplay(Rect{-1280, 0, 1280, 1024}, "Left");
    const WindowID a = openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    start();
    grabByTitleBarAndMove(a);
    ASSERT_EQ(manager().dragging(), a);

    desk.removeDisplay(primary);
    desk.advance(0.5);
    input().releaseButton();
    settle();

    const auto key = manager().windows.at(a)->key;
    ASSERT_TRUE(key.has_value());
    ASSERT_TRUE(strip(*key).contains(a));
    EXPECT_TRUE(manager().animator.target(a).has_value());
    EXPECT_EQ(frameOf(a), manager().animator.target(a));
}

// The focus named a window of an application the tracker never took on (a
// dialog here; in the stress run a new window not yet tracked) when the
// application quit: the focus went on naming a window that no longer existed,
// since quitting cleared it only for the windows that were tracked.
TEST_F(StressFindings, AQuittingAppTakesTheFocusOfAWindowNeverTracked) {
    const ProcessID pid = app("Mail");
    openWindow("Mail", "Inbox");
    start();
    WindowSpec desc;
    desc.pid = pid;
    desc.title = "Find";
    desc.kind = WindowKind::dialog;
    const WindowID dialog = desk.openWindow(desc);
    settle();
    ASSERT_EQ(manager().focusedID, dialog);
    ASSERT_EQ(manager().windowRecord(dialog), nullptr);

    desk.quitApp(pid);
    settle();
    EXPECT_FALSE(manager().focusedID.has_value());
}

// A window went full screen and its display was unplugged: the window left
// full screen as it moved to the remaining display, but the simulated desktop
// did so without the resize notice a real one sends, so the engine went on
// believing it full screen and never tiled it again.
TEST_F(StressFindings, AFullScreenWindowWhoseDisplayIsUnpluggedComesBackTiled) {
    const std::string right = desk.addDisplay(Rect{1440, 0, 1280, 1024}, "Right");
    const WindowID film = openWindow("Video", "Film");
    openWindow("Mail", "Inbox", Rect{1500, 100, 800, 600});
    start();
    desk.setFullScreen(film, true);
    desk.advance(0.04);
    ASSERT_EQ(manager().windows.at(film)->state, ManagedWindow::State::fullscreen);

    desk.removeDisplay(primary);
    settle(5);
    ASSERT_FALSE(desk.window(film)->fullScreen);
    EXPECT_EQ(manager().windows.at(film)->state, ManagedWindow::State::tiled);
    EXPECT_TRUE(strip(keyOf(right)).contains(film));
}

// An application answered a question about its new window only after tiling
// had been switched off and on again. The answer of the old run was taken in
// the new one: the window was tracked while its application was not yet
// observed again, so it was never watched and its closing went unnoticed.
TEST_F(StressFindings, AnAnswerFromBeforeARestartTracksNothing) {
    openWindow("Mail", "Inbox");
    const ProcessID slow = app("Slow");
    openWindow("Slow", "Palette", Rect{700, 100, 500, 400});
    start();
    desk.setLatency(slow, 0.5);
    const WindowID sketch = openWindow("Slow", "Sketch", Rect{800, 150, 500, 400});  // its facts are asked for
    desk.advance(0.1);
    manager().stop();
    manager().start();
    settle(3);
    ASSERT_NE(manager().windowRecord(sketch), nullptr);

    desk.closeWindow(sketch);
    settle(3);
    EXPECT_EQ(manager().windowRecord(sketch), nullptr);
}

// A window went full screen while the user still held it by its title bar,
// then left full screen before the button came up. The drag went on for a
// window no longer in any strip, and as the dragged window its change of
// size was not looked at, so it stayed full screen for the engine for good.
TEST_F(StressFindings, AWindowThatGoesFullScreenMidDragComesBackTiled) {
    const WindowID a = openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    start();
    grabByTitleBarAndMove(a);
    ASSERT_EQ(manager().dragging(), a);

    desk.setFullScreen(a, true);
    desk.advance(0.5);
    ASSERT_EQ(manager().windows.at(a)->state, ManagedWindow::State::fullscreen);
    EXPECT_FALSE(manager().dragging().has_value());
    desk.setFullScreen(a, false);
    desk.advance(2);
    input().releaseButton();
    settle();
    EXPECT_EQ(manager().windows.at(a)->state, ManagedWindow::State::tiled);
    EXPECT_TRUE(strip(primaryKey()).contains(a));
}

// A window resized itself while the engine was sliding it (its neighbour
// had just closed). The resize check skipped it as one of the engine's own
// moves, so the engine went on believing the size it had sent: its later
// frames carried only positions, and parking it left of the display, sized
// for the old width, put it entirely off screen.
TEST_F(StressFindings, AWindowResizingItselfInMidSlideKeepsItsFrameInStep) {
    const WindowID a = openWindow("Mail", "Inbox");
    const WindowID b = openWindow("Notes", "Ideas");
    start();
    desk.closeWindow(a);
    desk.advance(0.01);
    ASSERT_TRUE(manager().animator.isMoving(b));
    const Rect f = *frameOf(b);
    desk.setFrame(b, {f.x, f.y, f.width - 150, f.height - 80});
    settle(3);
    EXPECT_EQ(frameOf(b), manager().animator.target(b));
}

// An application resized its window while the user held the button down
// somewhere else. Resize checks were skipped whenever the button was down,
// as if the user were resizing the window by hand, so the new size was
// never looked at and the window kept a frame of its own choosing.
TEST_F(StressFindings, AnAppResizingItsWindowWhileTheButtonIsHeldElsewhereIsNoticed) {
    const WindowID a = openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    start();
    input().movePointer({700, 10});  // on the menu bar
    input().pressButton();
    desk.advance(0.05);
    const Rect f = *frameOf(a);
    desk.setFrame(a, {f.x - 500, f.y, f.width - 150, f.height});
    desk.advance(1);
    EXPECT_FALSE(manager().dragging().has_value());
    input().releaseButton();
    settle();
    EXPECT_EQ(frameOf(a), manager().animator.target(a));
}

// A floating window went full screen (a trip the engine does not follow for
// floating windows) and the user asked for it to tile again: the facts said
// full screen, but it was put into a strip all the same, tiled while full
// screen. Now it waits, and tiles once it leaves full screen.
TEST_F(StressFindings, AFloatingWindowAskedToTileWhileFullScreenTilesWhenItLeaves) {
    const WindowID a = openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    start();
    manager().toggleFloat(manager().windows.at(a));
    settle();
    ASSERT_EQ(manager().windows.at(a)->state, ManagedWindow::State::floating);
    desk.setFullScreen(a, true);
    settle();

    manager().toggleFloat(manager().windows.at(a));
    settle();
    EXPECT_FALSE(strip(keyOf(primary)).contains(a));
    EXPECT_EQ(manager().windows.at(a)->state, ManagedWindow::State::fullscreen);

    desk.setFullScreen(a, false);
    settle();
    EXPECT_EQ(manager().windows.at(a)->state, ManagedWindow::State::tiled);
    EXPECT_TRUE(strip(primaryKey()).contains(a));
}

// The same just after the engine had written the window's size: the resize
// notice was taken for the echo of that write and dropped for good.
TEST_F(StressFindings, AWindowResizingItselfRightAfterBeingResizedKeepsItsFrameInStep) {
    openWindow("Mail", "Inbox");
    const WindowID b = openWindow("Notes", "Ideas");
    start();
    manager().perform(Action::focusLast);
    settle();
    ASSERT_EQ(manager().focusedID, b);
    manager().perform(Action::wider);
    desk.advance(0.3);  // the new width has landed; the animation is over
    ASSERT_FALSE(manager().animator.isMoving(b));
    const Rect f = *frameOf(b);
    desk.setFrame(b, {f.x, f.y, f.width - 150, f.height - 80});
    settle(3);
    EXPECT_EQ(frameOf(b), manager().animator.target(b));
}

// And while the user dragged a window on another display: the check was
// dropped because a drag was in progress, and the drop looks again only at
// the strip of the dragged window.
TEST_F(StressFindings, AWindowResizingItselfDuringAnotherDisplaysDragKeepsItsFrameInStep) {
    desk.addDisplay(Rect{1440, 0, 1280, 1024}, "Right");
    const WindowID a = openWindow("Mail", "Inbox");
    const WindowID d = openWindow("Notes", "Ideas", Rect{1500, 100, 800, 600});
    start();
    grabByTitleBarAndMove(d);
    ASSERT_EQ(manager().dragging(), d);

    const Rect g = *frameOf(a);
    desk.setFrame(a, {g.x, g.y, g.width - 150, g.height - 80});
    desk.advance(1);
    input().releaseButton();
    settle(3);
    EXPECT_EQ(frameOf(a), manager().animator.target(a));
}

// The user resized a window by its edge while a swipe was going on, so no
// drag could start. The resize notice was skipped because the window was in
// the user's hand, and nothing looked at it after the button came up: the
// engine kept the old size and later parked the narrower window entirely off
// screen.
TEST_F(StressFindings, AWindowResizedByHandDuringASwipeIsLookedAtOnRelease) {
    const WindowID a = openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    start();
    input().inject(SwipeBegan{});
    desk.advance(0.05);
    const Rect f = *frameOf(a);
    input().movePointer({f.maxX() - 2, f.y + 200});
    input().pressButton();
    desk.advance(0.05);
    desk.setFrame(a, {f.x, f.y, f.width - 250, f.height});
    desk.advance(0.5);
    ASSERT_FALSE(manager().dragging().has_value());
    input().releaseButton();
    input().inject(SwipeEnded{});
    settle(3);
    EXPECT_EQ(frameOf(a), manager().animator.target(a));
}

// A strip changed while its display was left out of tiling (a window of it
// was hidden), and the display was taken back while its other application
// hung: the reclassification's answers never came, nothing laid the strip
// out again, and its windows kept the places of the old arrangement.
TEST_F(StressFindings, ADisplayTakenBackIntoTilingIsLaidOutAsItsStripIsNow) {
    const WindowID a = openWindow("Mail", "Inbox");
    const WindowID b = openWindow("Notes", "Ideas");
    start();
    Config off = config;
    off.disabledDisplays = {primary};
    desk.setHung(app("Notes"), true);
    manager().apply(off);
    desk.hideApp(app("Mail"));
    settle();
    ASSERT_FALSE(strip(primaryKey()).contains(a));

    manager().apply(config);
    settle(3);
    const std::vector<Placement> placements =
        Layout::placements(strip(primaryKey()), desk.displays().front().visible, manager().layoutConfig(),
                           manager().minWidths);
    ASSERT_EQ(placements.size(), 1u);
    EXPECT_EQ(manager().animator.target(b), placements.front().frame);
}

// The same for a floating window whose application was hidden: it was put
// into a strip while hidden. Now it tiles once its application is shown.
TEST_F(StressFindings, AFloatingWindowAskedToTileWhileItsAppIsHiddenTilesWhenShown) {
    const WindowID a = openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    start();
    manager().toggleFloat(manager().windows.at(a));
    settle();
    desk.hideApp(app("Mail"));
    settle();
    ASSERT_EQ(manager().windows.at(a)->state, ManagedWindow::State::floating);

    manager().toggleFloat(manager().windows.at(a));
    settle();
    EXPECT_FALSE(strip(primaryKey()).contains(a));
    EXPECT_EQ(manager().windows.at(a)->state, ManagedWindow::State::hidden);

    desk.showApp(app("Mail"));
    settle();
    EXPECT_EQ(manager().windows.at(a)->state, ManagedWindow::State::tiled);
    EXPECT_TRUE(strip(primaryKey()).contains(a));
}

// A fixed-size window the user chose to tile keeps its own, smaller size. Its
// column parked at the left edge put the layout's width one point inside the
// display, so the real window lay wholly outside it. Parking now goes by the
// width the window kept.
TEST_F(StressFindings, ANarrowFixedSizeWindowParkedAtTheLeftKeepsASliverOnScreen) {
    WindowSpec palette;
    palette.pid = app("Paint");
    palette.title = "Palette";
    palette.frame = {100, 100, 500, 400};
    palette.fixedSize = true;
    const WindowID fixed = desk.openWindow(palette);
    start();
    ASSERT_EQ(manager().windows.at(fixed)->state, ManagedWindow::State::floating);
    manager().toggleFloat(manager().windows.at(fixed));
    settle();
    ASSERT_TRUE(strip(primaryKey()).contains(fixed));
    for (int i = 0; i < 4; ++i) openWindow("Mail", "Mail " + std::to_string(i));
    settle();
    manager().perform(Action::focusLast);
    settle();

    const Rect display = desk.displays().front().frame;
    const Rect real = *frameOf(fixed);
    ASSERT_LT(real.width, manager().animator.target(fixed)->width);
    EXPECT_LT(real.x, display.x) << "the window is parked, not on screen";
    EXPECT_EQ(real.maxX(), display.x + 1) << "one point of it stays on the display";
}

// An application resized its window; the engine's look at the new frame was
// answered only after the engine had begun to slide the window elsewhere.
// The answer, telling where the window had been, was taken as where it was:
// the slide was dropped while its last write still landed, and the engine,
// believing the window in place, never wrote it again.
TEST_F(StressFindings, AFrameReadBeforeASlideIsNotTakenAsWhereTheWindowIs) {
    config.defaultWidth = 1.0;
    openWindow("Mail", "Inbox");
    const WindowID b = openWindow("Notes", "Ideas");
    start();
    manager().perform(Action::focusLast);
    settle();
    Config slow = config;
    slow.animationDuration = 2;  // the answer comes back mid-slide
    manager().apply(slow);
    desk.setLatency(app("Notes"), 0.2);
    const Rect f = *frameOf(b);
    desk.setFrame(b, {f.x + 300, f.y, f.width - 300, f.height});  // narrowed from the left
    desk.advance(0.25);  // the check has asked for b's frame; the answer is on its way
    manager().perform(Action::focusLeft);
    desk.advance(0.01);
    ASSERT_TRUE(manager().animator.isMoving(b));
    settle(5);
    EXPECT_EQ(frameOf(b), manager().animator.target(b));
}

// Right after tiling started, a hung application held the discovery up, so
// the windows already found had no strip yet. One of them resized itself in
// that time; its resize was dropped for want of a column, and when the strip
// was laid out only a position was written: the window kept its own size.
TEST_F(StressFindings, AWindowResizingItselfBeforeItsStripIsLaidOutGetsItsSize) {
    const WindowID a = openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    start();
    manager().stop();  // the windows keep the sizes the strip gave them
    desk.setHung(app("Notes"), true);
    manager().start();
    desk.advance(0.1);
    ASSERT_TRUE(manager().windowRecord(a));
    ASSERT_FALSE(manager().strips.count(primaryKey()) && strip(primaryKey()).contains(a));
    const Rect f = *frameOf(a);
    desk.setFrame(a, {f.x, f.y, f.width - 200, f.height - 100});
    settle(5);
    ASSERT_TRUE(strip(primaryKey()).contains(a));
    EXPECT_EQ(frameOf(a), manager().animator.target(a));
}

// A window parked at the right edge of the main display belonged to the Space
// of the display on its left (a slide had carried it across). When that
// display was unplugged the system brought the window onto the main display,
// where the engine, believing it still parked, never wrote it again.
TEST_F(StressFindings, AWindowTheSystemMovesOffAnUnpluggedDisplayIsLaidOutAgain) {
    const std::string left = desk.addDisplay(Rect{-1440, 0, 1440, 900}, "Left");
    config.defaultWidth = 0.8;
    openWindow("Mail", "Inbox");
    openWindow("Notes", "Ideas");
    const WindowID c = openWindow("Paint", "Canvas");
    start();
    manager().perform(Action::focusFirst);
    settle();
    ASSERT_EQ(manager().animator.target(c)->x, 1439) << "parked at the main display's right edge";

    desk.moveToSpace(c, desk.currentSpace(left));  // carried across by a slide, say
    manager().retile();                             // and laid out again where it was
    settle();
    ASSERT_EQ(frameOf(c), manager().animator.target(c));

    desk.removeDisplay(left);
    settle();
    EXPECT_EQ(frameOf(c), manager().animator.target(c));
}

// An application resized its window and, before the engine's look at it was
// answered, the user began to drag another window. The answer was dropped
// because a drag was in progress, and nothing looked again: the window kept
// its own size while the engine parked and placed it by the old one.
TEST_F(StressFindings, AResizeAnsweredAfterAnotherWindowsDragBeganIsLookedAtAgain) {
    const WindowID a = openWindow("Mail", "Inbox");
    const WindowID b = openWindow("Notes", "Ideas");
    start();
    desk.setLatency(app("Notes"), 0.2);
    const Rect f = *frameOf(b);
    desk.setFrame(b, {f.x, f.y, f.width - 200, f.height});
    desk.advance(0.25);  // the check has asked for b's frame
    grabByTitleBarAndMove(a);
    ASSERT_EQ(manager().dragging(), a);
    desk.advance(0.5);   // the answer comes during the drag
    input().releaseButton();
    settle(5);
    EXPECT_EQ(frameOf(b), manager().animator.target(b));
    EXPECT_EQ(frameOf(b)->width, f.width - 200);
}

// The user held the button down; a window that opened meanwhile was placed by
// the engine right under the pointer, and the engine's own move
// of it was taken for the start of a drag: from then on relayouts left it
// where it was, and the other windows' checks waited for a drag that was not.
TEST_F(StressFindings, AWindowPlacedUnderTheHeldButtonIsNotDragged) {
    config.defaultWidth = 0.5;
    openWindow("Mail", "Inbox");
    const WindowID b = openWindow("Mail", "Outbox");
    start();
    manager().perform(Action::focusLast);
    settle();
    const Rect f = *frameOf(b);
    input().movePointer({f.maxX() + 300, f.y + 8});  // on the desktop right of b
    input().pressButton();
    desk.advance(0.05);
    const WindowID c = openWindow("Mail", "Drafts");
    settle(1);
    ASSERT_TRUE(manager().animator.target(c)->contains(desk.pointer())) << "c opened under the pointer";
    EXPECT_FALSE(manager().dragging().has_value());
    input().releaseButton();
    settle();
    EXPECT_EQ(frameOf(c), manager().animator.target(c));
}

}  // namespace
}  // namespace tessaline
