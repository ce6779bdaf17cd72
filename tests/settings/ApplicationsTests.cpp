#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Files.h"
#include "settings/model/Applications.h"
#include "settings/model/Autostart.h"
#include "settings/model/Status.h"

using namespace tessaline;
using namespace tessaline::prefs;
using namespace tessaline::prefs::testing;

namespace {

std::string entry(const std::string& name, const std::string& more = "") {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\n" + more;
}

}  // namespace

TEST(ApplicationsTest, DesktopEntriesNameTheClassAndIconAndTheUsersFolderHidesTheSystems) {
    struct Case {
        const char* what;
        std::string text;
        std::optional<AppEntry> expected;
    };
    const Case cases[] = {
        {"the class it declares", entry("Firefox ESR", "Icon=firefox-esr\nStartupWMClass=Firefox-esr\n"),
         AppEntry{"Firefox-esr", "Firefox ESR", "firefox-esr", "firefox-esr.desktop", true}},
        {"else its ID", "# comment\n[Desktop Entry]\nName = Files\\sand\\sFolders\nType=Application\n",
         AppEntry{"firefox-esr", "Files and Folders", "", "firefox-esr.desktop", true}},
        {"only the main group counts", entry("Main") + "[Desktop Action new]\nName=Other\nStartupWMClass=x\n",
         AppEntry{"firefox-esr", "Main", "", "firefox-esr.desktop", true}},
        {"kept out of menus", entry("Helper", "NoDisplay=true\n"),
         AppEntry{"firefox-esr", "Helper", "", "firefox-esr.desktop", false}},
        {"hidden", entry("Gone", "Hidden=true\n"), std::nullopt},
        {"a link", "[Desktop Entry]\nType=Link\nName=Site\n", std::nullopt},
        {"no entry at all", "\x7f" "ELF\x02\x01", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseDesktopEntry(c.text, "firefox-esr.desktop"), c.expected) << c.what;

    // The user's folder hides the system's; rules are named from what is known.
    TempFolder temp;
    const fs::path user = temp.path / "home/applications", system = temp.path / "usr/applications";
    writeFile(system / "calc.desktop", entry("Calculator", "StartupWMClass=Calc\n"));
    writeFile(system / "editor.desktop", entry("Editor"));
    writeFile(system / "kde/konsole.desktop", entry("Konsole"));
    writeFile(user / "editor.desktop", entry("Editor", "Hidden=true\n"));
    writeFile(user / "notes.desktop", entry("Notes"));
    writeFile(user / "readme.txt", "not an entry");

    const auto apps = installedApplications({user, system});
    std::vector<std::string> ids;
    for (const auto& app : apps) ids.push_back(app.bundleID);
    EXPECT_EQ(ids, (std::vector<std::string>{"Calc", "kde-konsole", "notes"})) << "by name; Editor hidden by the user";

    const std::vector<RunningApp> running = {{"notes", "Notes (running)", "notes-icon"}};
    EXPECT_EQ(describeApp("notes", running, apps).name, "Notes (running)");
    EXPECT_EQ(describeApp("Calc", running, apps).name, "Calculator");
    EXPECT_EQ(describeApp("xterm", running, apps).name, "xterm");

    EXPECT_EQ(applicationFolders(nullptr, "relative:/opt/share", "/home/u"),
              (std::vector<fs::path>{"/home/u/.local/share/applications", "/opt/share/applications"}));
}

TEST(ApplicationsTest, LaunchAtLoginWritesAnAutostartEntryThatTheSessionReadsBack) {
    TempFolder temp;
    const auto path = Autostart::entryPath((temp.path / "config").c_str(), "/home/u");
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, temp.path / "config/autostart/tessaline.desktop");
    EXPECT_FALSE(Autostart::enabled(*path));

    EXPECT_FALSE(Autostart::setEnabled(*path, true, "/opt/my apps/tessaline"));
    EXPECT_TRUE(Autostart::enabled(*path));
    const std::string text = readFile(*path);
    EXPECT_NE(text.find("Exec=\"/opt/my apps/tessaline\"\n"), std::string::npos) << text;

    writeFile(*path, text + "Hidden=true\n");
    EXPECT_FALSE(Autostart::enabled(*path)) << "the session's way of switching it off is honoured";
    EXPECT_FALSE(Autostart::setEnabled(*path, false, "tessaline"));
    EXPECT_FALSE(fs::exists(*path));
    EXPECT_FALSE(Autostart::setEnabled(*path, false, "tessaline")) << "already off";

    writeFile(temp.path / "blocked", "a file where the folder should be");
    const auto error = Autostart::setEnabled(temp.path / "blocked/autostart/tessaline.desktop", true, "tessaline");
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("Couldn't write"), std::string::npos);
}

TEST(StatusTest, TheManagersAnswerIsReadLeniently) {
    const auto status = statusFromJSON(nlohmann::json::parse(R"({
        "running": true, "trusted": true, "swipe": false,
        "displays": [{"uuid": "edid-1", "name": "Built-in"}, {"uuid": "edid-2"}, {"name": "no id"}, 7],
        "conflicts": [{"keyCode": 15, "modifiers": 6144}, {"keyCode": "R"}],
        "checks": [{"id": "ax", "ok": false, "title": "Tessaline isn't managing the display",
                    "detail": "d", "fixTitle": "How to Start Tessaline"}, {"id": "untitled"}],
        "apps": [{"bundleID": "xterm"}]
    })"));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->reach, ManagerStatus::Reach::running);
    EXPECT_TRUE(status->tiling);
    EXPECT_EQ(status->swipeAvailable, false);
    EXPECT_FALSE(status->compositeAvailable);
    EXPECT_EQ(status->displays, (std::vector<DisplayInfo>{{"edid-1", "Built-in"}, {"edid-2", "edid-2"}}));
    EXPECT_EQ(status->conflicts, (std::vector<KeyCombo>{KeyCombo{15, KeyCombo::ctrlOpt}}));
    ASSERT_EQ(status->checks.size(), 1u);
    EXPECT_EQ(status->checks[0].fixTitle, "How to Start Tessaline");
    EXPECT_EQ(status->runningApps, (std::vector<RunningApp>{RunningApp{"xterm", "xterm", ""}}));
    EXPECT_FALSE(statusFromJSON(nlohmann::json::array()));
}
