#include "SimTestSupport.h"

using namespace tessaline;
using tessaline::testing::SimDesktopTest;

class SimFrameWriterTest : public SimDesktopTest {
protected:
    WindowID openIn(ProcessID pid, Rect frame = {100, 100, 800, 600}) { return desk.openWindow(pid, "w", frame); }
    void write(WindowID id, Rect frame, bool size = true) {
        writer->write(id, desk.window(id)->pid, desk.handleOf(id), frame, size);
    }
};

TEST_F(SimFrameWriterTest, CoalescedWritesCarryTheNewestFrameKeepASizeRequestAndWindowsKeepTheirMinimumSize) {
    const ProcessID pid = connectedApp("Editor", 0.05);
    const WindowID id = openIn(pid);
    write(id, {10, 30, 500, 400}, true);
    write(id, {20, 30, 600, 400}, false);
    write(id, {30, 40, 700, 500}, false);
    EXPECT_EQ(writer->pendingCount(), 1u);
    EXPECT_EQ(writer->pendingFrame(id), (Rect{30, 40, 700, 500}));
    EXPECT_EQ(desk.frameOf(id), (Rect{100, 100, 800, 600}));  // nothing before the app's turn
    desk.advance(0.2);
    ASSERT_EQ(writer->history().size(), 1u);
    EXPECT_EQ(writer->history()[0].asked, (Rect{30, 40, 700, 500}));
    EXPECT_TRUE(writer->history()[0].writeSize);
    EXPECT_EQ(desk.frameOf(id), (Rect{30, 40, 700, 500}));
    EXPECT_EQ(writer->appliedFrame(id), (Rect{30, 40, 700, 500}));
    write(id, {0, 30, 100, 100}, false);  // a position alone leaves the size
    desk.advance(0.1);
    EXPECT_EQ(desk.frameOf(id), (Rect{0, 30, 700, 500}));
    EXPECT_EQ(writer->appliedFrame(id), (Rect{0, 30, 100, 100}));  // what was asked, as recorded

    // Landing together, writes share one applied notice.
    std::vector<WindowID> ids{openIn(connectedApp("A")), openIn(connectedApp("B")), openIn(connectedApp("C"))};
    int notices = 0;
    writer->onApplied = [&] { ++notices; };
    for (WindowID each : ids) write(each, {0, 30, 400, 400});
    desk.advance(0.1);
    EXPECT_EQ(notices, 1);

    // Only a write with a size is an own resize, and only for a while; the
    // program's writes never come back as moves.
    const WindowID own = openIn(connectedApp("D"));
    watch(own);
    desk.advance(0);
    events.clear();
    write(own, {0, 30, 400, 400}, false);
    desk.advance(0.1);
    EXPECT_FALSE(writer->resizedRecently(own, 0.3));
    write(own, {0, 30, 500, 400}, true);
    desk.advance(0.1);
    EXPECT_TRUE(writer->resizedRecently(own, 0.3));
    desk.advance(0.3);
    EXPECT_FALSE(writer->resizedRecently(own, 0.3));
    EXPECT_EQ(windowEvents(), (std::vector<WindowEvent>{WindowEvent::resized}));

    // Windows keep their minimum or fixed size and say what they got.
    const WindowID sized = desk.openWindow({.pid = pid, .minSize = {500, 200}});
    std::vector<std::tuple<WindowID, Size, Size>> resizes;
    writer->onResize = [&](WindowID w, Size asked, Size got) { resizes.emplace_back(w, asked, got); };
    write(sized, {0, 30, 300, 400});
    EXPECT_TRUE(resizes.empty());  // not inside the write
    desk.advance(0.1);
    EXPECT_EQ(resizes, (std::vector<std::tuple<WindowID, Size, Size>>{{sized, {300, 400}, {500, 400}}}));
    EXPECT_EQ(desk.frameOf(sized), (Rect{0, 30, 500, 400}));
    EXPECT_EQ(writer->appliedFrame(sized), (Rect{0, 30, 500, 400}));
    write(sized, {0, 30, 600, 400});  // obeyed: still reported
    writer->write(sized + 1000, pid, desk.handleOf(sized), {0, 30, 600, 400}, false);  // an id never opened: harmless
    desk.advance(0.1);
    ASSERT_EQ(resizes.size(), 2u);
    EXPECT_EQ(std::get<2>(resizes[1]), (Size{600, 400}));
    desk.setFixedSize(sized, true);
    write(sized, {5, 30, 900, 900});
    desk.advance(0.1);
    EXPECT_EQ(desk.frameOf(sized), (Rect{5, 30, 600, 400}));
    EXPECT_EQ(std::get<2>(resizes.back()), (Size{600, 400}));
}

TEST_F(SimFrameWriterTest, SlowStallingAndHungApplicationsDelayOnlyThemselvesAndTurnSluggishOrBusy) {
    const ProcessID slow = connectedApp("Slow", 0.2);
    const ProcessID fast = connectedApp("Fast", 0.01);
    const WindowID s = openIn(slow), f = openIn(fast);
    write(s, {0, 30, 400, 400});
    write(f, {500, 30, 400, 400});
    desk.advance(0.05);
    EXPECT_EQ(desk.frameOf(f)->x, 500);
    EXPECT_EQ(desk.frameOf(s)->x, 100);
    desk.advance(0.2);
    EXPECT_EQ(desk.frameOf(s)->x, 0);
    EXPECT_TRUE(writer->wasSluggish(slow, 1.0));
    EXPECT_FALSE(writer->wasSluggish(fast, 1.0));
    EXPECT_FALSE(writer->isBusy(slow));
    desk.advance(1.0);
    EXPECT_FALSE(writer->wasSluggish(slow, 1.0));

    // Stalled only once activated.
    const ProcessID stalling = connectedApp("Stalling");
    const WindowID id = openIn(stalling);
    desk.setActivationStall(stalling, 0.5);
    write(id, {0, 30, 400, 400});
    desk.advance(0.1);
    EXPECT_FALSE(writer->wasSluggish(stalling, 1.0));
    const double activated = desk.now();
    EXPECT_TRUE(system->focus(id, stalling));
    write(id, {10, 30, 400, 400});
    desk.advance(0.3);
    EXPECT_EQ(desk.frameOf(id)->x, 0);
    desk.advance(0.3);
    EXPECT_EQ(desk.frameOf(id)->x, 10);
    EXPECT_TRUE(writer->wasSluggish(stalling, desk.now() - activated));
    EXPECT_FALSE(writer->wasSluggish(fast, 10));

    // A hung one times out and is busy.
    desk.setHung(slow, true);
    write(s, {0, 30, 300, 300});
    write(f, {0, 30, 300, 300});
    desk.advance(0.1);
    EXPECT_EQ(desk.frameOf(f)->width, 300);
    EXPECT_FALSE(writer->isBusy(slow));
    desk.advance(0.45);
    EXPECT_TRUE(writer->isBusy(slow));
    EXPECT_FALSE(writer->isBusy(fast));
    EXPECT_EQ(desk.frameOf(s)->width, 400);
}

// A frame with a new size was given up on while the application refused
// writes; the later frames carried only positions, so the size never arrived.
TEST_F(SimFrameWriterTest, RefusedWritesAreRetriedThenDroppedAndTheirSizeGoesWithTheNextFrame) {
    const ProcessID pid = connectedApp();
    const WindowID id = openIn(pid);
    desk.setRefusesWrites(pid, true);
    write(id, {0, 30, 400, 400});
    desk.advance(0.05);
    EXPECT_TRUE(writer->isBusy(pid));
    desk.advance(1.5);
    EXPECT_EQ(writer->pendingCount(), 1u);  // still retrying, a quarter second apart
    desk.advance(0.7);
    EXPECT_EQ(writer->pendingCount(), 0u);  // nine tries, then given up
    EXPECT_TRUE(writer->history().empty());
    EXPECT_TRUE(writer->isBusy(pid));
    desk.advance(3.0);
    EXPECT_FALSE(writer->isBusy(pid));
    EXPECT_EQ(desk.frameOf(id), (Rect{100, 100, 800, 600}));
    desk.setRefusesWrites(pid, false);
    write(id, {200, 30, 400, 400}, false);
    desk.advance(0.5);
    EXPECT_EQ(desk.frameOf(id), (Rect{200, 30, 400, 400}));
    write(id, {300, 30, 400, 400}, false);  // once the size has landed, positions go alone again
    desk.advance(0.5);
    EXPECT_FALSE(writer->history().back().writeSize);

    // A new frame replaces one waiting for its retry, keeping its size.
    desk.setRefusesWrites(pid, true);
    write(id, {0, 30, 500, 500});
    desk.advance(0.05);
    desk.setRefusesWrites(pid, false);
    writer->clearHistory();
    write(id, {200, 30, 500, 500}, false);
    desk.advance(0.5);
    ASSERT_EQ(writer->history().size(), 1u);
    EXPECT_EQ(writer->history()[0].asked, (Rect{200, 30, 500, 500}));
    EXPECT_TRUE(writer->history()[0].writeSize);
}

// A frame of the engine's was still waiting for a slow application when the
// engine noted where the user had dropped the window; the old frame landed
// afterwards and threw the window off screen.
TEST_F(SimFrameWriterTest, AFrameNotedAsAppliedDropsTheOneStillWaitingAndDrainDropsAll) {
    const ProcessID pid = connectedApp();
    const WindowID id = openIn(pid);
    desk.setLatency(pid, 0.3);
    write(id, {-700, 100, 800, 600}, false);
    desk.advance(0.01);
    writer->noteApplied(id, {100, 100, 800, 600});
    desk.advance(1.0);
    EXPECT_EQ(desk.frameOf(id), (Rect{100, 100, 800, 600}));
    EXPECT_EQ(writer->appliedFrame(id), (Rect{100, 100, 800, 600}));

    desk.setLatency(pid, 0.01);
    write(id, {0, 30, 400, 400});
    writer->drain();
    desk.advance(0.5);
    EXPECT_TRUE(writer->history().empty());
    EXPECT_EQ(desk.frameOf(id), (Rect{100, 100, 800, 600}));
    write(id, {0, 30, 400, 400});  // the writer keeps working afterwards
    desk.advance(0.5);
    EXPECT_EQ(writer->history().size(), 1u);
    writer->forgetWindow(id);
    EXPECT_FALSE(writer->appliedFrame(id));

    write(id, {0, 30, 500, 400});  // to a window that closes: fails quietly
    desk.closeWindow(id);
    desk.advance(3.0);
    EXPECT_EQ(writer->pendingCount(), 0u);
    EXPECT_EQ(writer->history().size(), 1u);
}
