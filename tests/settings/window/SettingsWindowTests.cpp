// The settings program on the test X server beside a running manager:
// controls found through the accessibility tree, changed the way a screen
// reader would, then the settings file and the manager's `state` read back.

#include <atspi/atspi.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "../../shell/PrivateBus.h"
#include "../Files.h"
#include "ManagerProcess.h"
#include "Spawn.h"
#include "TestClient.h"
#include "UserInput.h"
#include "app/shell/ChannelPath.h"
#include "app/shell/CommandClient.h"
#include "engine/settings/Config.h"

using namespace tessaline;
using tessaline::prefs::testing::readFile;
using tessaline::xtest::ClientBuilder;
using tessaline::xtest::ManagerOptions;
using tessaline::xtest::ManagerProcess;
using tessaline::xtest::XServer;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Owns one reference to an accessible object.
struct Unref {
    void operator()(AtspiAccessible* object) const { g_object_unref(object); }
};
using Node = std::unique_ptr<AtspiAccessible, Unref>;

std::string text(gchar* owned) {
    std::string s = owned ? owned : "";
    g_free(owned);
    return s;
}

Node find(AtspiAccessible* root, const std::string& role, const std::string& name) {
    if (text(atspi_accessible_get_role_name(root, nullptr)) == role &&
        text(atspi_accessible_get_name(root, nullptr)) == name) {
        return Node(ATSPI_ACCESSIBLE(g_object_ref(root)));
    }
    const int count = atspi_accessible_get_child_count(root, nullptr);
    for (int i = 0; i < count; ++i) {
        Node child(atspi_accessible_get_child_at_index(root, i, nullptr));
        if (!child) continue;
        if (Node found = find(child.get(), role, name)) return found;
    }
    return {};
}

bool hasState(const Node& node, AtspiStateType state) {
    // States are cached from events, which the toolkit does not send for everything.
    atspi_accessible_clear_cache(node.get());
    AtspiStateSet* set = atspi_accessible_get_state_set(node.get());
    const bool has = atspi_state_set_contains(set, state);
    g_object_unref(set);
    return has;
}

// Performs the control's action (a click, a toggle); false when it refused.
bool act(const Node& node) {
    AtspiAction* action = node ? atspi_accessible_get_action_iface(node.get()) : nullptr;
    if (!action) return false;
    const bool done = atspi_action_do_action(action, 0, nullptr);
    g_object_unref(action);
    return done;
}

double value(const Node& node) {
    atspi_accessible_clear_cache(node.get());
    AtspiValue* v = atspi_accessible_get_value_iface(node.get());
    const double current = v ? atspi_value_get_current_value(v, nullptr) : -1;
    if (v) g_object_unref(v);
    return current;
}

bool setValue(const Node& node, double to) {
    AtspiValue* v = node ? atspi_accessible_get_value_iface(node.get()) : nullptr;
    const bool done = v && atspi_value_set_current_value(v, to, nullptr);
    if (v) g_object_unref(v);
    return done;
}

// Asks the program again and again (each question a round trip) until
// `done`, or until the limit.
bool eventually(const std::function<bool()>& done, std::chrono::seconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
    }
    return false;
}

Config storedConfig(const fs::path& file) {
    const auto root = nlohmann::json::parse(readFile(file), nullptr, false);
    if (!root.is_object() || !root.contains("config")) return {};
    return configFromJSON(root["config"]).value_or(Config());
}

// Waits for the program to end; its exit status.
int exitStatus(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    exitStatus(pid);
}

class SettingsWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bus.emplace();
        ::setenv("DISPLAY", XServer::shared().display().c_str(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus->address().c_str(), 1);
        atspi_init();
    }
    static void TearDownTestSuite() { bus.reset(); }

    // The settings program for a user whose home is `home`; what it prints
    // goes to settings.out there.
    static pid_t settingsProgram(std::vector<std::string> args, const fs::path& home,
                                 const std::string& busAddress = bus->address()) {
        args.insert(args.begin(), TESSALINE_SETTINGS_PROGRAM);
        fs::create_directories(home);
        // The toolkit keeps caches until exit: no leak report.
        const auto environment = xtest::environmentWith({{"DBUS_SESSION_BUS_ADDRESS", busAddress},
                                                         {"HOME", home.string()},
                                                         {"XDG_CONFIG_HOME", (home / ".config").string()},
                                                         {"XDG_RUNTIME_DIR", (home / "runtime").string()},
                                                         {"ASAN_OPTIONS", "detect_leaks=0"},
                                                         {"GSETTINGS_BACKEND", "memory"}});
        return xtest::spawn({.argv = args, .environment = environment, .output = (home / "settings.out").string()});
    }
    // Brings the open window to `pane` the way a second start does.
    static void showPane(const std::string& pane, const fs::path& home) {
        EXPECT_EQ(exitStatus(settingsProgram({"--pane", pane}, home)), 0);
    }
    // The running program's control, once it is on the accessibility bus.
    static Node control(const std::string& role, const std::string& name) {
        Node found;
        eventually([&] {
            Node desktop(atspi_get_desktop(0));
            found = find(desktop.get(), role, name);
            return bool(found);
        });
        return found;
    }

    static inline std::optional<bustest::PrivateBus> bus;
};

// The manager's answer to `state`, as the settings window gets it.
nlohmann::json managerState(ManagerProcess& wm) {
    const shell::ChannelEnvironment where{(wm.home() / "runtime").string(), XServer::shared().display(), ::geteuid()};
    const auto answer = shell::exchange("state", shell::channelSockets(where), 3s);
    if (answer.outcome != shell::Exchange::Outcome::replied) return {};
    return nlohmann::json::parse(answer.reply, nullptr, false);
}

double appliedGap(ManagerProcess& wm) {
    const auto state = managerState(wm);
    // Only the settings that differ from the defaults are listed.
    return state.contains("config") ? state["config"].value("gap", Config().gap) : -1;
}

void writeFile(const fs::path& path, const std::string& text) {
    // As most editors save: a new file renamed over the old one.
    const fs::path next = path.string() + ".new";
    std::ofstream(next) << text;
    fs::rename(next, path);
}

std::string withGap(double gap) {
    Config config;
    config.animate = false;
    config.gap = gap;
    return nlohmann::json{{"config", *toJSON(config)}}.dump();
}

}  // namespace

TEST_F(SettingsWindowTest, TheWindowAndTheRunningManagerFollowEachOtherAndHandEditsAndABrokenFileIsNeverWrittenOver) {
    XServer::shared().setMonitors({{"main", {0, 0, 1920, 1080}, true}});
    ManagerOptions options = ManagerOptions::tessaline();
    options.files = {{".config/tessaline/settings.json", withGap(10)}};
    ManagerProcess wm(options);
    wm.start();
    xtest::TestClient client = ClientBuilder().title("editor").open();
    wm.sync();
    const fs::path file = wm.home() / ".config/tessaline/settings.json";
    const std::string before = readFile(file);
    const pid_t window = settingsProgram({"--pane", "general"}, wm.home());

    // The window shows the live manager, and its switch pauses and resumes it.
    Node tiling = control("check box", "Tile windows");
    ASSERT_TRUE(tiling) << "the window did not show up on the accessibility bus";
    EXPECT_EQ(readFile(file), before) << "opening the window writes nothing";
    EXPECT_TRUE(eventually([&] { return hasState(tiling, ATSPI_STATE_CHECKED); }));
    ASSERT_TRUE(act(tiling));
    EXPECT_TRUE(eventually([&] { return managerState(wm).value("running", true) == false; }));
    ASSERT_TRUE(act(tiling));
    EXPECT_TRUE(eventually([&] { return managerState(wm).value("running", false); }));

    // Controls are saved and take effect in the manager at once.
    Node follows = control("check box", "Focus follows mouse");
    ASSERT_TRUE(act(follows));
    EXPECT_TRUE(eventually([&] { return storedConfig(file).focusFollowsMouse; }));
    Node spacing = control("slider", "Spacing");
    ASSERT_TRUE(setValue(spacing, 24));
    EXPECT_TRUE(eventually([&] { return appliedGap(wm) == 24; }));
    EXPECT_EQ(storedConfig(file).gap, 24);
    wm.sync();
    EXPECT_EQ(client.geometry()->y, 24) << "the editor's column moved in from the edge";

    // A second start hands its pane to the first window and ends.
    Node layout = control("list item", "Layout");
    ASSERT_TRUE(layout);
    EXPECT_FALSE(hasState(layout, ATSPI_STATE_SELECTED));
    showPane("layout", wm.home());
    EXPECT_TRUE(eventually([&] { return hasState(layout, ATSPI_STATE_SELECTED); }));
    EXPECT_TRUE(act(control("check box", "Cycle through 1/4")));
    EXPECT_TRUE(eventually([&] { return storedConfig(file).presetWidths.size() == 4; }));
    EXPECT_EQ(storedConfig(file).presetWidths.front(), 0.25);

    // Recording a shortcut holds the manager's; Escape ends it and gives them back.
    showPane("shortcuts", wm.home());
    ASSERT_TRUE(act(control("push button", "Add a shortcut for Focus right")));
    EXPECT_TRUE(eventually([&] { return managerState(wm).value("shortcutsHeld", false); })) << wm.stderrText();
    xtest::UserInput().chord({xtest::keys::escape});
    EXPECT_TRUE(eventually([&] { return !managerState(wm).value("shortcutsHeld", true); }));

    // "Add Running App" offers what the manager sees running.
    showPane("rules", wm.home());
    ASSERT_TRUE(act(control("push button", "Add Running App")));
    ASSERT_TRUE(act(control("push button", "tessaline-test")));
    EXPECT_TRUE(eventually([&] { return storedConfig(file).rule("TessalineTest").has_value(); }));

    // A hand edit is followed by the manager and the window alike.
    writeFile(file, withGap(16));
    EXPECT_TRUE(eventually([&] { return appliedGap(wm) == 16 && value(spacing) == 16; }));

    // A broken file is pointed out and left alone, the window's controls
    // write nothing, and the manager keeps what it had until a good file appears.
    const std::string broken = "{\"config\": {\"gap\": 30,";
    std::ofstream(file) << broken;  // in place, as some editors save
    EXPECT_TRUE(eventually([&] { return managerState(wm)["settingsProblem"].is_string(); }));
    Node setAside = control("push button", "Set Aside");
    EXPECT_TRUE(eventually([&] { return hasState(setAside, ATSPI_STATE_VISIBLE); }));
    act(follows);
    EXPECT_EQ(appliedGap(wm), 16);
    EXPECT_EQ(readFile(file), broken);
    writeFile(file, withGap(12));
    EXPECT_TRUE(eventually([&] { return managerState(wm)["settingsProblem"].is_null() && appliedGap(wm) == 12; }));

    // Without its folder there are no settings: the defaults, as at a start
    // without a file; the folder made again is watched again.
    fs::remove_all(file.parent_path());
    EXPECT_TRUE(eventually([&] { return appliedGap(wm) == Config().gap; })) << managerState(wm).dump() << wm.stderrText();
    fs::create_directories(file.parent_path());
    writeFile(file, withGap(14));
    EXPECT_TRUE(eventually([&] { return appliedGap(wm) == 14; }));
    stop(window);

    // Without a session bus the program runs on its own and says so.
    const fs::path out = wm.home() / "settings.out";
    fs::remove(out);
    const pid_t alone = settingsProgram({"--pane", "about"}, wm.home(), "unix:path=" + (wm.home() / "no-bus").string());
    EXPECT_TRUE(eventually([&] { return readFile(out).find("running on its own") != std::string::npos; }, 30s))
        << readFile(out);
    stop(alone);
    EXPECT_EQ(wm.stop(), (ManagerProcess::Exit{0, 0})) << wm.stderrText();
}
