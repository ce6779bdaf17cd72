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

TEST_F(SimFrameWriterTest, CoalescedWritesCarryTheNewestFrameAndKeepASizeRequest) {
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

    // A position-only write leaves the size alone.
    write(id, {0, 30, 100, 100}, false);
    desk.advance(0.1);
    EXPECT_EQ(desk.frameOf(id), (Rect{0, 30, 700, 500}));
    EXPECT_EQ(writer->appliedFrame(id), (Rect{0, 30, 100, 100}));  // what was asked, as recorded
}

TEST_F(SimFrameWriterTest, WindowsKeepTheirMinimumSizeAndSayWhatTheyGot) {
    const ProcessID pid = connectedApp();
    WindowSpec desc;
    desc.pid = pid;
    desc.minSize = {500, 200};
    const WindowID id = desk.openWindow(desc);
    std::vector<std::tuple<WindowID, Size, Size>> resizes;
    writer->onResize = [&](WindowID w, Size asked, Size got) { resizes.emplace_back(w, asked, got); };

    write(id, {0, 30, 300, 400});
    bool reportedInsideTheWrite = !resizes.empty();
    desk.advance(0.1);
    EXPECT_FALSE(reportedInsideTheWrite);
    ASSERT_EQ(resizes.size(), 1u);
    EXPECT_EQ(resizes[0], std::make_tuple(id, Size{300, 400}, Size{500, 400}));
    EXPECT_EQ(desk.frameOf(id), (Rect{0, 30, 500, 400}));
    EXPECT_EQ(writer->appliedFrame(id), (Rect{0, 30, 500, 400}));

    write(id, {0, 30, 600, 400});  // obeyed: still reported
    writer->write(id + 1000, pid, desk.handleOf(id), {0, 30, 600, 400}, false);  // an id we never opened: harmless
    desk.advance(0.1);
    ASSERT_EQ(resizes.size(), 2u);
    EXPECT_EQ(std::get<2>(resizes[1]), (Size{600, 400}));

    // A fixed-size window keeps its size whatever is written.
    desk.setFixedSize(id, true);
    write(id, {5, 30, 900, 900});
    desk.advance(0.1);
    EXPECT_EQ(desk.frameOf(id), (Rect{5, 30, 600, 400}));
    EXPECT_EQ(std::get<2>(resizes.back()), (Size{600, 400}));
}

TEST_F(SimFrameWriterTest, WritesLandingTogetherShareOneAppliedNotice) {
    std::vector<WindowID> ids;
    for (const char* name : {"A", "B", "C"}) ids.push_back(openIn(connectedApp(name)));
    int notices = 0;
    writer->onApplied = [&] { ++notices; };
    for (WindowID id : ids) write(id, {0, 30, 400, 400});
    desk.advance(0.1);
    EXPECT_EQ(notices, 1);
    write(ids[0], {10, 30, 400, 400});
    desk.advance(0.1);
    EXPECT_EQ(notices, 2);
}

TEST_F(SimFrameWriterTest, SlowApplicationsAreSluggishAndOnlyDelayThemselves) {
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
}

TEST_F(SimFrameWriterTest, ApplicationThatStallsWhenActivatedTurnsSluggish) {
    const ProcessID other = connectedApp("Other");
    const ProcessID pid = connectedApp("Stalling");
    const WindowID id = openIn(pid);
    desk.setActivationStall(pid, 0.5);
    write(id, {0, 30, 400, 400});
    desk.advance(0.1);
    EXPECT_FALSE(writer->wasSluggish(pid, 1.0));  // not stalled before it is activated

    const double activated = desk.now();
    EXPECT_TRUE(system->focus(id, pid));
    write(id, {10, 30, 400, 400});
    desk.advance(0.3);
    EXPECT_EQ(desk.frameOf(id)->x, 0);  // still stalled
    desk.advance(0.3);
    EXPECT_EQ(desk.frameOf(id)->x, 10);
    EXPECT_TRUE(writer->wasSluggish(pid, desk.now() - activated));
    EXPECT_FALSE(writer->wasSluggish(other, 10));
}

TEST_F(SimFrameWriterTest, RefusedWritesAreRetriedThenDroppedAndMakeTheAppBusy) {
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
}

TEST_F(SimFrameWriterTest, NewFrameReplacesOneWaitingForItsRetry) {
    const ProcessID pid = connectedApp();
    const WindowID id = openIn(pid);
    desk.setRefusesWrites(pid, true);
    write(id, {0, 30, 400, 400});
    desk.advance(0.05);  // failed once, waiting to try again
    desk.setRefusesWrites(pid, false);
    write(id, {200, 30, 400, 400}, false);
    desk.advance(0.5);
    ASSERT_EQ(writer->history().size(), 1u);
    EXPECT_EQ(writer->history()[0].asked, (Rect{200, 30, 400, 400}));
    EXPECT_TRUE(writer->history()[0].writeSize);
    EXPECT_EQ(desk.frameOf(id), (Rect{200, 30, 400, 400}));
}

TEST_F(SimFrameWriterTest, HungApplicationTimesOutAndBecomesBusy) {
    const ProcessID hung = connectedApp("Hung");
    const ProcessID fine = connectedApp("Fine");
    const WindowID h = openIn(hung), f = openIn(fine);
    desk.setHung(hung, true);
    write(h, {0, 30, 400, 400});
    write(f, {0, 30, 400, 400});
    desk.advance(0.1);
    EXPECT_EQ(desk.frameOf(f)->width, 400);
    EXPECT_FALSE(writer->isBusy(hung));
    desk.advance(0.45);
    EXPECT_TRUE(writer->isBusy(hung));
    EXPECT_FALSE(writer->isBusy(fine));
    EXPECT_EQ(desk.frameOf(h)->width, 800);
}

TEST_F(SimFrameWriterTest, OwnResizesAreRecentAndProgramWritesNeverComeBackAsMoves) {
    const ProcessID pid = connectedApp();
    const WindowID id = openIn(pid);
    watch(id);
    desk.advance(0);
    events.clear();
    write(id, {0, 30, 400, 400}, false);
    desk.advance(0.1);
    EXPECT_FALSE(writer->resizedRecently(id, 0.3));
    write(id, {0, 30, 500, 400}, true);
    desk.advance(0.1);
    EXPECT_TRUE(writer->resizedRecently(id, 0.3));
    desk.advance(0.3);
    EXPECT_FALSE(writer->resizedRecently(id, 0.3));
    EXPECT_EQ(windowEvents(), (std::vector<WindowEvent>{WindowEvent::resized}));

    writer->forgetWindow(id);
    EXPECT_FALSE(writer->appliedFrame(id));
    writer->noteApplied(id, {1, 2, 3, 4});
    EXPECT_EQ(writer->appliedFrame(id), (Rect{1, 2, 3, 4}));
}

TEST_F(SimFrameWriterTest, DrainDropsWhatIsNotWrittenYet) {
    const ProcessID pid = connectedApp();
    const WindowID id = openIn(pid);
    write(id, {0, 30, 400, 400});
    writer->drain();
    desk.advance(0.5);
    EXPECT_TRUE(writer->history().empty());
    EXPECT_EQ(desk.frameOf(id), (Rect{100, 100, 800, 600}));
    write(id, {0, 30, 400, 400});  // the writer keeps working afterwards
    desk.advance(0.1);
    EXPECT_EQ(writer->history().size(), 1u);
}

TEST_F(SimFrameWriterTest, WriteToAClosedWindowFailsQuietly) {
    const ProcessID pid = connectedApp();
    const WindowID id = openIn(pid);
    write(id, {0, 30, 400, 400});
    desk.closeWindow(id);
    desk.advance(3.0);
    EXPECT_EQ(writer->pendingCount(), 0u);
    EXPECT_TRUE(writer->history().empty());
}
