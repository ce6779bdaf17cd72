#pragma once
// Tessaline managing real clients on the test server, driven by the user's
// hands through XTest: the fixture of the input tests. Each test starts the
// manager itself (some need the server prepared first); the teardown stops
// it, wants no error in its log and checks that no grab of its survived.

#include <gtest/gtest.h>

#include <deque>
#include <nlohmann/json.hpp>
#include <string>

#include "ManagedScreen.h"
#include "TestClient.h"
#include "UserInput.h"
#include "engine/actions/KeyCombo.h"

namespace tessaline::xtest {

inline constexpr Rect kLeftMonitor{0, 0, 1920, 1080}, kRightMonitor{1920, 0, 1920, 1080};

class WithInput : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TestClient& open(const std::string& title, const ClientBuilder& builder = ClientBuilder());
    TestClient& client(const std::string& title);
    // Presses a shortcut as the keys of its modifiers and its key.
    void press(const KeyCombo& combo);
    // Sends a command word over the manager's channel; answers its reply.
    std::string command(const std::string& word);
    // The manager's `state`.
    nlohmann::json state();
    // The strips as text: columns left to right ("a", a stack "(b/525 c/525)"
    // with the windows' heights on screen, "t" after a tabbed one), the focused
    // window starred, widths other than half the screen as ":67", displays
    // apart by " | ", floating windows as "~x"; "paused" while tiling is off.
    std::string layout();
    // The window the manager has focused.
    xcb_window_t active() { return activeWindow(wm.control()); }

    // Frames are final once the manager has answered a sync; the shortcuts it
    // performs show in its log.
    ManagerProcess wm{ManagerOptions::tessaline(R"({"animate":false,"detailedLogging":true})")};
    UserInput user;
    std::deque<TestClient> clients;
};

}  // namespace tessaline::xtest
