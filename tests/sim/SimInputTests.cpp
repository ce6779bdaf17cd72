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

TEST_F(SimInputTest, ButtonsClickWindowsToTheFrontAndTheRestIsDeliveredOnlyWhenCapturedNeverInsideTheCall) {
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
    desk.advance(0);

    received.clear();
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
