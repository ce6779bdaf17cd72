// What the program tells about itself: the diagnostics report and the setup checks.

#include "Fakes.h"

#include "app/shell/Diagnostics.h"
#include "app/shell/SetupChecks.h"
#include "app/shell/Version.h"
#include "app/shell/XFormats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <unistd.h>

namespace tessaline::shell {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> idsOf(const std::vector<SetupCheck>& list) {
    std::vector<std::string> ids;
    for (const auto& check : list) ids.push_back(check.id);
    return ids;
}

const SetupCheck& find(const std::vector<SetupCheck>& list, const std::string& id) {
    static const SetupCheck missing;
    if (const auto found = std::ranges::find(list, id, &SetupCheck::id); found != list.end()) return *found;
    ADD_FAILURE() << "no check " << id;
    return missing;
}

TEST(Diagnostics, TheReportHasItsSectionsInOrderAndTheEnvironmentInLinuxTerms) {
    FakeManager manager;
    FakeMachine machine;
    // The running manager's report is read in x11shell; here what it cannot show.
    auto lines = Diagnostics::environmentLines(Diagnostics::gather(manager, machine));
    EXPECT_EQ(lines[1], "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 on ThinkPad X1, Intel(R) Core(TM) i7");
    EXPECT_EQ(lines[4], "Accessibility settings: none");

    manager.isRunning = false;
    machine.monitors = {"eDP-1", "HDMI-1"};
    machine.separate = false;
    machine.accessibility = {"Reduce motion", "Increase contrast"};
    auto environment = Diagnostics::gather(manager, machine);
    environment.managesDisplay = false;
    lines = Diagnostics::environmentLines(environment);
    const std::string head = "Tessaline " + std::string(version()) + " (" + std::string(build()) + ")";
    EXPECT_EQ(lines[0], head + ", paused, X display :3 not managed");
    EXPECT_EQ(lines[2], "2 displays (eDP-1, HDMI-1), Displays have separate workspaces off");
    EXPECT_EQ(lines[4], "Accessibility settings: Reduce motion, Increase contrast");

    const std::string report =
        Diagnostics::report({"first", "second"}, {{"strips", nlohmann::json::array()}}, Config{}, "the log");
    EXPECT_TRUE(report.starts_with("## Tessaline diagnostics\n\n- first\n- second\n\n### Settings\n```json\n{\n"));
    EXPECT_NE(report.find("\n}\n```\n\n### Strips\n```json\n{\n  \"strips\": []\n}\n```\n\n### Recent log\n"
                          "```\nthe log\n```"),
              std::string::npos);
    EXPECT_TRUE(report.ends_with("the log\n```"));

    char pattern[] = "/tmp/tessaline-report-XXXXXX";
    const fs::path caches = mkdtemp(pattern);
    auto written = Diagnostics::write(report, caches);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, caches / "Tessaline" / "diagnostics.md");
    std::ifstream file(*written);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(file)), {}), report);
    fs::remove_all(caches);
    EXPECT_FALSE(Diagnostics::write(report, "/proc/no-such-folder"));
}

TEST(Diagnostics, MachineFactsAreReadFromTheSystemsOwnFilesAndWhatOtherClientsPublish) {
    EXPECT_EQ(distributionName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(distributionName("NAME='Arch Linux'\n"), "Arch Linux");
    EXPECT_EQ(distributionName("PRETTY_NAME=\"Say \\\"hi\\\"\"\n"), "Say \"hi\"");
    EXPECT_EQ(distributionName(""), "Linux");
    EXPECT_EQ(processorName("processor\t: 0\nmodel name\t: AMD Ryzen 7 5800U\n"), "AMD Ryzen 7 5800U");
    EXPECT_EQ(processorName("Hardware\t: BCM2835\n"), "BCM2835");
    EXPECT_EQ(processorName("flags: fpu\n"), std::nullopt);

    using Names = std::vector<std::string>;
    EXPECT_EQ(processNames("i3\n", std::string("/usr/bin/i3\0-c\0cfg\0", 19)), (Names{"i3"}));
    EXPECT_EQ(processNames("libinput-gestur\n", std::string("/usr/bin/python3\0-u\0/usr/bin/libinput-gestures\0", 47)),
              (Names{"libinput-gestur", "python3", "libinput-gestures"}));
    EXPECT_EQ(processNames("kworker/0:1\n", ""), (Names{"kworker/0:1"}));

    // The real scan finds this very process among the user's own.
    MachineFacts local;
    auto processes = local.processes();
    EXPECT_TRUE(std::any_of(processes.begin(), processes.end(), [](auto& p) { return p.pid == getpid(); }));
    EXPECT_FALSE(local.system().kernel.empty());

    // XSETTINGS in big-endian order: animations off, a high-contrast theme, a colour between them.
    using namespace std::string_literals;
    const std::string block = "\1\0\0\0"s + "\0\0\0\7"s + "\0\0\0\3"s +
                              "\0\0\0\x14Net/EnableAnimations\0\0\0\0\0\0\0\0"s +
                              "\2\0\0\4Gtk/\0\0\0\0\1\2\3\4\5\6\7\x8"s +
                              "\1\0\0\x0dNet/ThemeName\0\0\0\0\0\0\0\0\0\0\x0cHighContrast"s;
    EXPECT_EQ(xsettingsAccessibility(block), (std::vector<std::string>{"Reduce motion", "Increase contrast"}));
    // Cut anywhere, the block gives what it held before the cut and nothing made up.
    for (std::size_t cut = 0; cut < block.size(); ++cut) {
        EXPECT_LE(xsettingsAccessibility(block.substr(0, cut)).size(), 1u) << cut;
    }

    const std::string rules("evdev\0pc105\0de,us\0nodeadkeys,\0\0", 29);
    EXPECT_EQ(xkbLayoutName(rules, 0), "de(nodeadkeys)");
    EXPECT_EQ(xkbLayoutName(rules, 1), "us");
    EXPECT_EQ(xkbLayoutName(rules, 7), "de(nodeadkeys)") << "a group the names don't list";
    EXPECT_EQ(xkbLayoutName(std::string("evdev\0pc105\0\0", 14), 0), std::nullopt);
}

TEST(SetupChecks, TheListFollowsSwipingAndNamesWhatElseIsRunning) {
    FakeMachine machine;
    Config config;
    config.swipeEnabled = false;
    EXPECT_EQ(idsOf(checks(config, machine)), (std::vector<std::string>{"ax", "others", "stage", "edge", "spaces"}));
    config.swipeEnabled = true;
    auto list = checks(config, machine);
    EXPECT_EQ(idsOf(list), (std::vector<std::string>{"ax", "others", "stage", "edge", "spaces", "swipe"}));
    for (const auto& check : list) EXPECT_TRUE(check.ok) << check.id << ": " << check.title;
    EXPECT_EQ(find(list, "ax").title, "Tessaline manages the display");
    EXPECT_EQ(find(list, "others").title, "No other window manager running");
    EXPECT_EQ(find(list, "swipe").title, "Three-finger swipe is free");

    machine.running = {{10, {"touchegg"}}, {20, {"i3"}}, {30, {"xmonad-x86_64-l"}}, {40, {"i3"}}, {50, {"bash"}}};
    machine.access = {true, "i3"};
    machine.separate = false;
    config.swipeFingers = 4;
    list = checks(config, machine);
    EXPECT_EQ(find(list, "ax").title, "i3 manages the display");
    EXPECT_EQ(find(list, "ax").fixTitle, "How to Start Tessaline");
    find(list, "ax").fix();
    EXPECT_EQ(machine.opened, std::vector<std::string>{"man:tessaline(1)"});
    EXPECT_EQ(find(list, "others").title, "Also running: i3, xmonad");
    EXPECT_EQ(find(list, "spaces").title, "Displays share one set of workspaces");
    EXPECT_EQ(find(list, "swipe").title, "Also handling swipes: Touchégg");
    EXPECT_NE(find(list, "swipe").detail.find("four-finger"), std::string::npos);
    for (const char* id : {"ax", "others", "spaces", "swipe"}) EXPECT_FALSE(find(list, id).ok) << id;

    machine.touchpad = false;
    machine.access = {false, std::nullopt};
    list = checks(config, machine);
    EXPECT_EQ(find(list, "swipe").title, "No touchpad with swipe gestures found");
    EXPECT_EQ(find(list, "ax").title, "No X display to manage");
}

}  // namespace
}  // namespace tessaline::shell
