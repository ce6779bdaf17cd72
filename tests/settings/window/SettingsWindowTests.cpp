// The settings program on a private X server: controls found through the
// accessibility tree, changed the way a screen reader would, and the
// settings file read back.

#include <atspi/atspi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "PrivateSession.h"
#include "engine/settings/Config.h"

using namespace tessaline;
using namespace tessaline::testing;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Owns one reference to an accessible object.
struct Node {
    AtspiAccessible* object = nullptr;
    Node() = default;
    explicit Node(AtspiAccessible* o) : object(o) {}
    Node(Node&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
    Node& operator=(Node&& other) noexcept {
        std::swap(object, other.object);
        return *this;
    }
    ~Node() {
        if (object) g_object_unref(object);
    }
    explicit operator bool() const { return object != nullptr; }
};

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
        if (Node found = find(child.object, role, name)) return found;
    }
    return {};
}

bool hasState(const Node& node, AtspiStateType state) {
    // States are cached from events, which the toolkit does not send for everything.
    atspi_accessible_clear_cache(node.object);
    AtspiStateSet* set = atspi_accessible_get_state_set(node.object);
    const bool has = atspi_state_set_contains(set, state);
    g_object_unref(set);
    return has;
}

// Performs the control's action (a click, a toggle); false when it refused.
bool act(const Node& node) {
    AtspiAction* action = node ? atspi_accessible_get_action_iface(node.object) : nullptr;
    if (!action) return false;
    const bool done = atspi_action_do_action(action, 0, nullptr);
    g_object_unref(action);
    return done;
}

double value(const Node& node) {
    atspi_accessible_clear_cache(node.object);
    AtspiValue* v = atspi_accessible_get_value_iface(node.object);
    const double current = v ? atspi_value_get_current_value(v, nullptr) : -1;
    if (v) g_object_unref(v);
    return current;
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

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Config storedConfig(const fs::path& file) {
    const auto root = nlohmann::json::parse(readFile(file), nullptr, false);
    if (!root.is_object() || !root.contains("config")) return {};
    return configFromJSON(root["config"]).value_or(Config());
}

class SettingsWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        session = new PrivateSession();
        if (!session->failure().empty()) return;
        for (const auto& [name, value] : session->environment()) ::setenv(name.c_str(), value.c_str(), 1);
        atspi_init();
    }
    static void TearDownTestSuite() {
        delete session;
        session = nullptr;
    }

    void SetUp() override {
        if (!session->failure().empty()) GTEST_SKIP() << session->failure();
        home = fs::temp_directory_path() / ("tessaline-window-" + std::to_string(::getpid()));
        fs::create_directories(home);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(home, ec);
    }

    std::map<std::string, std::string> environment() const {
        auto env = session->environment();
        env["HOME"] = home.string();
        env["XDG_CONFIG_HOME"] = (home / "config").string();
        env["ASAN_OPTIONS"] = "detect_leaks=0";  // the toolkit keeps caches until exit
        env["GSETTINGS_BACKEND"] = "memory";
        return env;
    }
    Process settingsProgram(std::vector<std::string> args, std::map<std::string, std::string> env) const {
        args.insert(args.begin(), TESSALINE_SETTINGS_PROGRAM);
        return start(args, env, true);
    }
    // The running program's control, once it is on the accessibility bus.
    Node control(const std::string& role, const std::string& name) {
        Node found;
        eventually([&] {
            Node desktop(atspi_get_desktop(0));
            found = find(desktop.object, role, name);
            return bool(found);
        });
        return found;
    }

    static PrivateSession* session;
    fs::path home;
};

PrivateSession* SettingsWindowTest::session = nullptr;

}  // namespace

TEST_F(SettingsWindowTest, ControlsWriteTheSharedFileOneWindowServesEveryStartAndABrokenFileIsKept) {
    const fs::path file = home / "config/tessaline/settings.json";
    Process window = settingsProgram({"--pane", "general"}, environment());

    Node follows = control("check box", "Focus follows mouse");
    ASSERT_TRUE(follows) << "the window did not show up on the accessibility bus";
    EXPECT_FALSE(fs::exists(file)) << "opening the window writes nothing";
    ASSERT_TRUE(act(follows));
    EXPECT_TRUE(eventually([&] { return hasState(follows, ATSPI_STATE_CHECKED); }));
    EXPECT_TRUE(storedConfig(file).focusFollowsMouse);

    // A second start hands its pane to the first window and ends.
    Node layout = control("list item", "Layout");
    ASSERT_TRUE(layout);
    EXPECT_FALSE(hasState(layout, ATSPI_STATE_SELECTED));
    Process second = settingsProgram({"--pane", "layout"}, environment());
    EXPECT_EQ(waitFor(second, 30s), 0);
    EXPECT_TRUE(eventually([&] { return hasState(layout, ATSPI_STATE_SELECTED); }));

    EXPECT_TRUE(act(control("check box", "Cycle through 1/4")));
    EXPECT_TRUE(eventually([&] { return storedConfig(file).presetWidths.size() == 4; }));
    EXPECT_EQ(storedConfig(file).presetWidths.front(), 0.25);
    EXPECT_TRUE(storedConfig(file).focusFollowsMouse) << "each edit keeps the others";

    // A hand edit is followed by the open window.
    Node spacing = control("slider", "Spacing");
    Config edited = storedConfig(file);
    edited.gap = 24;
    std::ofstream(file) << nlohmann::json{{"config", *toJSON(edited)}}.dump();
    EXPECT_TRUE(eventually([&] { return value(spacing) == 24; }));

    // A broken file is pointed out, the controls wait for it to be repaired,
    // and it is never written over.
    const std::string broken = "{\"config\": {\"gap\": 30,";
    std::ofstream(file) << broken;
    Node setAside = control("push button", "Set Aside");
    EXPECT_TRUE(eventually([&] { return hasState(setAside, ATSPI_STATE_VISIBLE); }));
    act(follows);
    EXPECT_EQ(readFile(file), broken);

    stop(window);

    // Without a session bus the program runs on its own and says so.
    auto env = environment();
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + (home / "no-bus").string();
    Process alone = settingsProgram({"--pane", "about"}, env);
    const auto said = firstErrorLine(alone, 30s);
    ASSERT_TRUE(said);
    EXPECT_NE(said->find("running on its own"), std::string::npos) << *said;
    stop(alone);
}
