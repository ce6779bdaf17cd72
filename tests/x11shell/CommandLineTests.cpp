// The command line, URLs, diagnostics and the status icon against the real
// manager on the test's X server: the `tessaline` executable as a user runs
// it, and a private session bus on which the test plays the panel.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <sstream>

#include "../shell/BusPanel.h"
#include "ManagedScreen.h"

using namespace tessaline::xtest;
using tessaline::bustest::idOf;
using tessaline::bustest::Panel;
using tessaline::bustest::PrivateBus;

namespace {

namespace fs = std::filesystem;
using Ran = ManagerProcess::Ran;

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { XServer::shared().setMonitors({{"main", {0, 0, 1920, 1080}, true}}); }

    // Starts the manager, with these variables besides its own, and a
    // stand-in settings program that tells the test each time it is started,
    // and with what arguments.
    void launch(std::vector<std::pair<std::string, std::string>> environment = {}) {
        ManagerOptions options = ManagerOptions::tessaline(R"({"animate":false})");
        options.files.emplace_back("settings-program", "#!/bin/sh\necho \"$*\" > \"${HOME}/settings.fifo\"\n");
        options.environment = std::move(environment);
        options.environment.emplace_back("TESSALINE_SETTINGS_PROGRAM", "${HOME}/settings-program");
        wm_.emplace(options);
        const fs::path fifo = wm().home() / "settings.fifo";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        // Our own writer keeps the pipe from reporting a hang-up between starts.
        launches_ = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        keepOpen_ = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        watch(launches_, [this] {
            char buffer[256];
            for (ssize_t got; (got = read(launches_, buffer, sizeof buffer)) > 0;) received_.append(buffer, got);
        });
        wm().start();
        EXPECT_EQ(nextSettingsLaunch(), "--welcome") << "a first launch shows the welcome window";
    }
    ManagerProcess& wm() { return *wm_; }

    void TearDown() override {
        if (!wm_) return;
        unwatch(launches_);
        ::close(launches_);
        ::close(keepOpen_);
        expectCleanStop(wm());
        for (TestClient& client : clients) {
            if (client.alive()) {
                EXPECT_TRUE(client.viewable()) << "left unmapped: " << client.window();
            }
        }
    }

    // `tessaline <arguments>` as a user types it.
    Ran tessaline(std::vector<std::string> arguments) { return wm().run(std::move(arguments)); }

    nlohmann::json state() {
        const Ran ran = tessaline({"state"});
        EXPECT_EQ(ran.status, 0) << ran.output;
        return nlohmann::json::parse(ran.output, nullptr, false);
    }

    // The arguments of the next start of the settings program.
    std::string nextSettingsLaunch() {
        waitFor("the settings program to start", [&] { return contains(received_, "\n"); });
        const std::size_t end = received_.find('\n');
        std::string line = received_.substr(0, end);
        received_.erase(0, end + 1);
        return line;
    }

    void waitForActive(const TestClient& client, std::string_view after) {
        waitFor(std::string("focus to move after ") + std::string(after),
                [&] { return activeWindow(wm().control()) == client.window(); });
    }

    TestClient& open(std::string title) {
        clients.push_back(ClientBuilder().title(std::move(title)).open());
        wm().sync();
        return clients.back();
    }

    std::deque<TestClient> clients;

private:
    std::optional<ManagerProcess> wm_;
    int launches_ = -1, keepOpen_ = -1;
    std::string received_;
};

// The desktop's settings daemon: an XSETTINGS block with animations off.
void publishDesktopSettings(Connection& c) {
    const std::string name = "Net/EnableAnimations";
    std::string block{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};  // little-endian, serial 0, one setting
    block += std::string{0, 0, static_cast<char>(name.size()), 0} + name + std::string(4, '\0') + std::string(4, '\0');
    const xcb_window_t owner = xcb_generate_id(c.get());
    xcb_create_window(c.get(), 0, owner, c.root(), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      0, nullptr);
    xcb_change_property(c.get(), XCB_PROP_MODE_REPLACE, owner, c.atom("_XSETTINGS_SETTINGS"),
                        c.atom("_XSETTINGS_SETTINGS"), 8, block.size(), block.data());
    xcb_set_selection_owner(c.get(), owner, c.atom("_XSETTINGS_S0"), XCB_CURRENT_TIME);
    // German first, without dead keys; US English as the second group.
    const std::string rules("evdev\0pc105\0de,us\0nodeadkeys,\0\0", 29);
    xcb_change_property(c.get(), XCB_PROP_MODE_REPLACE, c.root(), c.atom("_XKB_RULES_NAMES"), XCB_ATOM_STRING, 8,
                        rules.size(), rules.data());
    c.roundTrip();
}

TEST_F(CommandLine, EveryWordRoundTripsThroughTheRunningManagerWithItsExitStatusAndText) {
    launch();
    TestClient& mail = open("mail");
    TestClient& editor = open("editor");
    waitForActive(editor, "opening it");

    struct Expected {
        std::vector<std::string> arguments;
        int status;
        std::string output;
    };
    const Expected simple[] = {
        {{"retile"}, 0, ""},
        {{"update"}, 0, ""},
        {{"frobnicate"}, 2, "Unknown command 'frobnicate'. Try: tessaline help\n"},
        {{"tessaline://frobnicate"}, 2, "Unknown command 'frobnicate'. Try: tessaline help\n"},
    };
    for (const Expected& e : simple) {
        const Ran ran = tessaline(e.arguments);
        EXPECT_EQ(ran.status, e.status) << e.arguments[0];
        EXPECT_EQ(ran.output, e.output) << e.arguments[0];
    }
    const Ran help = tessaline({"help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.output.starts_with("Usage: tessaline <command>\n\nCommands:\n"));

    // Action names in any case, with hyphens, and as URLs in both forms.
    const std::pair<std::vector<std::string>, TestClient*> moves[] = {
        {{"focusLeft"}, &mail},          {{"Focus-Right"}, &editor},
        {{"FOCUSLEFT"}, &mail},          {{"tessaline://focusRight"}, &editor},
        {{"tessaline:///focusLeft/"}, &mail},
    };
    for (const auto& [arguments, focused] : moves) {
        EXPECT_EQ(tessaline(arguments).status, 0) << arguments[0];
        waitForActive(*focused, arguments[0]);
    }

    nlohmann::json shown = state();
    for (const char* key : {"running", "displays", "strips", "swipe", "glass", "timeline", "overview"}) {
        EXPECT_TRUE(shown.contains(key)) << key << " missing from " << shown.dump();
    }
    EXPECT_EQ(shown["strips"][0]["columns"].size(), 2u);
    EXPECT_TRUE(contains(shown.dump(), "mail")) << "the state names windows by title";
    EXPECT_EQ(tessaline({"STOP"}).status, 0);
    EXPECT_EQ(state()["running"], false);
    EXPECT_EQ(tessaline({"start"}).status, 0);
    EXPECT_EQ(state()["strips"][0]["columns"].size(), 2u);

    EXPECT_EQ(tessaline({"settings"}).status, 0);
    EXPECT_EQ(nextSettingsLaunch(), "--pane general");

    const Ran log = tessaline({"log"});
    EXPECT_EQ(log.status, 0);
    EXPECT_EQ(log.output, readFile(wm().home() / ".cache/Tessaline/tessaline.log") + "\n")
        << "the log's contents are printed, not its path";
    EXPECT_TRUE(contains(log.output, "package manager")) << "update says where updates come from";

    const Ran snapshot = tessaline({"snapshot"});
    EXPECT_EQ(snapshot.status, 0);
    std::istringstream paths(snapshot.output);
    for (std::string path; std::getline(paths, path);) {
        if (!path.empty()) {
            EXPECT_TRUE(fs::exists(path)) << path;
        }
    }

    publishDesktopSettings(wm().control());
    const Ran report = tessaline({"diagnostics"});
    EXPECT_EQ(report.status, 0);
    EXPECT_TRUE(report.output.starts_with("## Tessaline diagnostics\n\n- Tessaline ")) << report.output;
    std::size_t at = 0;
    for (const char* piece : {"tiling, X display ", " managed\n- ", ", Linux ", "\n- 1 display (main), Displays have separate workspaces on\n",
                              "- Keyboard de(nodeadkeys)\n", "- Accessibility settings: Reduce motion\n",
                              "\n### Settings\n```json\n", "\n### Strips\n```json\n", "\n### Recent log\n```\n"}) {
        const std::size_t found = report.output.find(piece, at);
        EXPECT_NE(found, std::string::npos) << "missing or out of order: " << piece << "\n" << report.output;
        if (found != std::string::npos) at = found;
    }
    EXPECT_FALSE(contains(report.output, "mail")) << "the report names no window by its title";
}

TEST_F(CommandLine, TheStatusMenuDrivesTheManagerAndOpensItsWindowsUntilQuitEndsItCleanly) {
    PrivateBus bus;
    Panel panel(bus.address());
    launch({{"DBUS_SESSION_BUS_ADDRESS", bus.address()}});
    const std::string service = "org.kde.StatusNotifierItem-" + std::to_string(wm().pid()) + "-1";
    ASSERT_TRUE(panel.seen("NameOwnerChanged " + service));
    open("mail");
    open("editor");

    // The menu's entries are checked over the bus in the shell tests; here
    // they drive the running manager. Pausing gives every window back and
    // says so in the menu; resuming tiles them again.
    const auto choose = [&](const std::vector<tessaline::bustest::MenuLine>& shown, std::string_view title) {
        panel.signals.clear();
        panel.click(service, idOf(shown, title));
    };
    // The menu as it stands once its first line reads `status`.
    const auto reading = [&](const std::string& status) {
        for (;;) {
            panel.signals.clear();
            auto shown = panel.layout(service);
            if (!shown.empty() && shown[0].text == status) return shown;
            if (!panel.seen("LayoutUpdated")) {
                ADD_FAILURE() << "the menu never read " << status;
                return shown;
            }
        }
    };
    choose(reading("Tiling 2 windows (off)"), "Pause Tiling");
    const auto paused = reading("Paused (off)");
    EXPECT_EQ(state()["running"], false);
    choose(paused, "Resume Tiling");
    const auto running = reading("Tiling 2 windows (off)");
    EXPECT_EQ(state()["strips"][0]["columns"].size(), 2u);

    for (auto [title, arguments] : {std::pair{"Settings…", "--pane general"}, {"Welcome & Setup…", "--welcome"},
                                    {"About Tessaline", "--pane about"}}) {
        choose(running, title);
        EXPECT_EQ(nextSettingsLaunch(), arguments) << title;
    }

    // The icon runs in a process of its own, which leaves the panel with the manager.
    choose(running, "Quit Tessaline");
    EXPECT_EQ(wm().waitForExit("to quit from its menu"), (ManagerProcess::Exit{0, 0}));
    EXPECT_TRUE(panel.seen("NameOwnerChanged " + service)) << "the icon outlived the manager";
    EXPECT_EQ(tessaline({"state"}).output, "Tessaline isn't running.\n");
    EXPECT_EQ(tessaline({"retile"}).status, 1);
}

}  // namespace
