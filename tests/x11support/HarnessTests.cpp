// The X11 harness proved against a manager that exists today: i3 speaks the same
// sync protocol under another atom name.

#include "ManagerProcess.h"
#include "TestClient.h"

#include <gtest/gtest.h>

using namespace tessaline::xtest;
using namespace std::chrono_literals;

namespace {

bool listed(Connection& c, const TestClient& client) {
    const auto list = c.property32(c.root(), c.atom("_NET_CLIENT_LIST")).value_or(std::vector<uint32_t>{});
    return std::find(list.begin(), list.end(), client.window()) != list.end();
}

}  // namespace

// Dying clients and a second manager on i3 are the random clients' and the
// Tessaline tests' to walk.
TEST(Harness, SetsMonitorsAndOnI3EveryRequestIsHandledBeforeTheSyncAnswer) {
    XServer& x = XServer::shared();
    const std::vector<Monitor> two{{"left", {0, 0, 1920, 1080}, true}, {"right", {1920, 0, 1280, 1024}}};
    x.setMonitors(two);
    EXPECT_EQ(x.monitors(), two);
    x.setMonitors({});
    EXPECT_EQ(x.monitors().size(), 1u);
    EXPECT_EQ(x.monitors().at(0).rect, (Rect{0, 0, x.width(), x.height()}));
    EXPECT_THROW(waitFor("nothing", [] { return false; }, 20ms), HarnessError);

    ManagerProcess i3{ManagerOptions::i3()};
    i3.start();
    auto a = ClientBuilder().title("a").open();
    auto b = ClientBuilder().title("b").protocols({Protocol::deleteWindow, Protocol::takeFocus}).open();
    i3.sync();
    EXPECT_EQ(a.wmState(), WmState::normal);
    EXPECT_TRUE(listed(i3.control(), a) && listed(i3.control(), b));
    auto ga = a.geometry(), gb = b.geometry();
    ASSERT_TRUE(ga && gb);
    EXPECT_NE(ga->x, gb->x) << "i3 tiles them side by side: " << *ga << " and " << *gb;

    b.requestClose();
    i3.sync();  // the close request reaches the client...
    i3.sync();  // ...and its answer, a request of its own, reaches i3
    EXPECT_EQ(b.deleteRequests(), 1);
    EXPECT_FALSE(b.alive());
    EXPECT_FALSE(listed(i3.control(), b));

    a.requestFullscreen(true);
    i3.sync();
    EXPECT_TRUE(a.hasNetWmState("_NET_WM_STATE_FULLSCREEN"));
    EXPECT_EQ(a.geometry(), (Rect{0, 0, XServer::shared().width(), XServer::shared().height()}));
}
