// The command center driving a real window manager on the simulated desktop;
// x11shell walks every word against the running program.

#include "Fakes.h"

#include "app/shell/CommandCenter.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

using shell::CommandCenter;

// The simulated desktop runs on the test thread; nothing here is posted.
class SameThread final : public shell::LoopAccess {
public:
    void watch(int, std::function<void()>) override {}
    void unwatch(int) override {}
    void post(std::function<void()> work) override { work(); }
};

TEST_F(Scenario, CommandsDriveTheWindowManagerAndStopWhenItIsGone) {
    const WindowID mail = openWindow("Mail", "Inbox");
    const WindowID notes = openWindow("Notes", "Todo");
    start();
    shell::WindowManagerSide side(managerPtr());
    shell::FakeShell parts;
    shell::FakeMachine machine;
    SameThread loop;
    CommandCenter center(side, parts, machine, loop, std::nullopt);

    ASSERT_EQ(manager().focusedID, mail);
    EXPECT_TRUE(center.run("Focus-Last"));
    settle();
    EXPECT_EQ(manager().focusedID, notes);
    std::string state;
    const auto keep = [&](std::string text) { state = std::move(text); };
    EXPECT_TRUE(center.run("state", keep));
    settle();
    EXPECT_EQ(nlohmann::json::parse(state)["strips"][0]["columns"].size(), 2u);
    EXPECT_TRUE(center.run("STOP"));
    EXPECT_FALSE(manager().running);

    destroyManager();
    EXPECT_TRUE(center.run("start"));
    EXPECT_TRUE(center.run("state", keep));
    EXPECT_EQ(nlohmann::json::parse(state)["strips"], nullptr) << "a manager that is gone answers nothing of it";
}

}  // namespace
}  // namespace tessaline
