#include "SimTestSupport.h"

using namespace tessaline;
using tessaline::testing::SimDesktopTest;

class SimInputTest : public SimDesktopTest {
protected:
    void SetUp() override {
        SimDesktopTest::SetUp();
        input->start([this](const InputEvent& e) { received.push_back(e); });
    }
    std::vector<std::size_t> kinds() const {
        std::vector<std::size_t> result;
        for (const auto& e : received) result.push_back(e.index());
        return result;
    }
    std::vector<InputEvent> received;
};

TEST_F(SimInputTest, DeliversOnlyWhatIsCapturedAndNeverInsideTheCall) {
    input->movePointer({10, 10});
    input->pressKey();
    input->inject(SwipeBegan{});
    input->inject(ScrollStepped{1});
    input->setModifiers(Modifiers::control | Modifiers::option);
    EXPECT_TRUE(received.empty());
    desk.advance(0);
    EXPECT_EQ(kinds(), (std::vector<std::size_t>{1}));  // only the modifiers

    received.clear();
    input->configure({3, true, true});
    input->watchKeys(true);
    input->movePointer({20, 20});
    input->pressKey();
    input->inject(SwipeMoved{0.1});
    input->inject(ScrollMoved{-4});
    desk.advance(0);
    EXPECT_EQ(kinds(), (std::vector<std::size_t>{8, 9, 2, 4}));
    EXPECT_EQ(input->pointer(), (Point{20, 20}));

    received.clear();
    input->inject(MouseUp{});
    input->stop();  // stopped before delivery: dropped
    desk.advance(0);
    EXPECT_TRUE(received.empty());
    input->inject(MouseUp{});
    desk.advance(0);
    EXPECT_TRUE(received.empty());
}

TEST_F(SimInputTest, ButtonsClickWindowsToTheFront) {
    const ProcessID a = desk.launchApp("A");
    const ProcessID b = desk.launchApp("B");
    const WindowID wa = desk.openWindow(a, "a", {0, 30, 600, 600});
    desk.openWindow(b, "b", {700, 30, 600, 600});
    EXPECT_EQ(desk.frontmost(), a);

    input->movePointer({800, 100});
    input->pressButton();
    EXPECT_EQ(input->pressedButtons(), 1);
    EXPECT_EQ(desk.frontmost(), b);
    input->pressButton(1);
    EXPECT_EQ(input->pressedButtons(), 3);
    input->releaseButton(1);
    input->releaseButton(0);
    EXPECT_EQ(input->pressedButtons(), 0);
    desk.advance(0);
    ASSERT_EQ(kinds(), (std::vector<std::size_t>{0, 0, 7}));  // two presses, one left release
    EXPECT_EQ(std::get<MouseDown>(received[0]).point, (Point{800, 100}));

    input->click({10, 100});
    EXPECT_EQ(desk.frontmost(), a);
    EXPECT_EQ(desk.windowOrder().front(), wa);

    // What the engine asked for is recorded; a warp is no move.
    desk.advance(0);
    received.clear();
    input->configure({std::nullopt, true, false});
    input->configure({2, false, true});
    input->watchKeys(true);
    input->watchKeys(false);
    input->warpPointer({300, 200});
    desk.advance(0);
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(input->pointer(), (Point{300, 200}));
    EXPECT_EQ(input->warps(), (std::vector<Point>{{300, 200}}));
    EXPECT_EQ(input->configureCalls().size(), 2u);
    EXPECT_EQ(input->options(), (InputOptions{2, false, true}));
    EXPECT_EQ(input->watchKeysCalls(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(input->keysWatched());
}

TEST(SimOverlays, TimelineModesFollowPeekAndPin) {
    SimOverlays overlays;
    const StripKey key{"D", 1};
    overlays.endTimelinePeek(true);  // closed: nothing
    EXPECT_FALSE(overlays.timelineOpen());

    overlays.beginTimelinePeek(key);
    EXPECT_EQ(overlays.timeline(), SimOverlays::Timeline::peek);
    overlays.endTimelinePeek(false);
    EXPECT_FALSE(overlays.timelineOpen());

    overlays.beginTimelinePeek(key);
    overlays.endTimelinePeek(true);
    EXPECT_EQ(overlays.timeline(), SimOverlays::Timeline::pinned);
    overlays.endTimelinePeek(false);  // pinned stays pinned
    EXPECT_EQ(overlays.timeline(), SimOverlays::Timeline::pinned);
    overlays.showStrip({"D", 2}, false);  // switches the open timeline's strip
    EXPECT_EQ(overlays.timelineKey(), (StripKey{"D", 2}));
    overlays.clickedElsewhere();
    EXPECT_FALSE(overlays.timelineOpen());

    overlays.showOverview(key);
    overlays.beginTimelinePeek(key);  // ignored while the overview is open
    EXPECT_FALSE(overlays.timelineOpen());
    overlays.hideAll();
    EXPECT_FALSE(overlays.overviewOpen());
    EXPECT_EQ(overlays.count("beginTimelinePeek"), 3);
    EXPECT_EQ(overlays.stripsShown().size(), 1u);
}
