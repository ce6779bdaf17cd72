#include "app/shell/ChannelPath.h"
#include "app/shell/CommandClient.h"
#include "app/shell/CommandWords.h"
#include "app/shell/Role.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tessaline::shell {
namespace {

using Kind = Role::Kind;

Role roleOf(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "/usr/bin/tessaline");
    return chooseRole(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandLine, TheFirstArgumentChoosesTheRoleAndAURLNamesItsCommand) {
    struct Case {
        std::vector<const char*> arguments;
        Role role;
    };
    const Case cases[] = {
        {{}, {Kind::manager, ""}},
        {{"--replace"}, {Kind::manager, ""}},
        {{"-psn_0_1234", "state"}, {Kind::manager, ""}},
        {{"state"}, {Kind::client, "state"}},
        {{"Focus-Right", "extra"}, {Kind::client, "Focus-Right"}},
        {{""}, {Kind::client, ""}},
        {{"tessaline://focusRight"}, {Kind::client, "focusRight"}},
        {{"TESSALINE://overview/"}, {Kind::client, "overview"}},
        {{"tessaline:///retile/"}, {Kind::client, "retile"}},
        {{"tessaline:retile"}, {Kind::client, "retile"}},
        {{"tessaline://move-to-3?from=menu#x"}, {Kind::client, "move-to-3"}},
        {{"tessaline:///%73tate"}, {Kind::client, "state"}},
        {{"tessaline://"}, {Kind::client, ""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roleOf(c.arguments), c.role) << (c.arguments.empty() ? "(none)" : c.arguments[0]);
    }
    EXPECT_EQ(commandFromURL("https://focusRight"), std::nullopt);
}

// `tessaline help` prints it in x11shell.
TEST(CommandLine, HelpPrintsTheUsageAndEveryActionByteForByte) {
    const std::string help = helpText();
    const std::string usage =
        "Usage: tessaline <command>\n\nCommands:\n"
        "  state       Print the current strips as JSON\n"
        "  log         Print the last 10 minutes of Tessaline's log\n"
        "  diagnostics Print a report for a bug report (no window titles)\n"
        "  snapshot    Render the timeline and focus border to PNGs\n"
        "  retile      Re-apply the layout to every window\n"
        "  settings    Open the settings window\n"
        "  update      Check for updates\n"
        "  start/stop  Resume or pause tiling\n"
        "\nActions:\n"
        "  focusLeft         Focus left\n"
        "  focusRight        Focus right\n";
    EXPECT_TRUE(help.starts_with(usage)) << help;
    EXPECT_NE(help.find("\n  sendToNextDisplay Send to next display\n"), std::string::npos);
    EXPECT_TRUE(help.ends_with("  overview          Overview of the whole strip\n"
                               "\nThe same names work as URLs, for example: "
                               "xdg-open tessaline://focusRight\n"));
    // The usage's 11 lines, a blank and "Actions:", the actions, a blank and the URL line.
    EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 11 + 2 + 48 + 2);
}

TEST(CommandLine, UnknownWordsExitWithTwoAndAKnownWordWithoutManagerWithOne) {
    struct Case {
        const char* command;
        int status;
        const char* error;
    };
    const Case cases[] = {
        {"HELP", 2, "Unknown command 'HELP'. Try: tessaline help\n"},
        {"focus10", 2, "Unknown command 'focus10'. Try: tessaline help\n"},
        {"focus left", 2, "Unknown command 'focus left'. Try: tessaline help\n"},
        {"", 2, "Unknown command ''. Try: tessaline help\n"},
        {"STATE", 1, "Tessaline isn't running.\n"},
        {"Move-To-3", 1, "Tessaline isn't running.\n"},
        {"toggletiling", 1, "Tessaline isn't running.\n"},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        ClientOptions options{.sockets = {"/nonexistent/tessaline/display-0"}, .out = &out, .err = &err, .deadline = {}};
        EXPECT_EQ(runClient(c.command, options), c.status) << c.command;
        EXPECT_EQ(err.str(), c.error);
        EXPECT_EQ(out.str(), "");
    }
}

TEST(CommandLine, EachDisplayHasItsOwnSocketInAPrivateRuntimeFolder) {
    struct Case {
        std::optional<std::string> display;
        const char* name;
    };
    const Case cases[] = {
        {":0", "display-0"},         {":0.1", "display-0"},
        {"unix:0", "display-0"},     {"unix/:2", "display-2"},
        {":10", "display-10"},       {"localhost:10.0", "display-localhost-10"},
        {"host:x", "display-host_x"}, {"../../etc:0", "display-.._.._etc-0"},
        {std::nullopt, "display-none"},
    };
    for (const auto& c : cases) EXPECT_EQ(channelName(c.display), c.name) << c.display.value_or("(unset)");

    ChannelEnvironment session{"/run/user/4242", ":1", 4242};
    auto sockets = channelSockets(session);
    EXPECT_EQ(sockets.front(), "/run/user/4242/tessaline/display-1");
    EXPECT_EQ(sockets.back(), "/tmp/tessaline-4242/display-1");

    // Without a runtime folder, or with a relative one, the fallback is all that's left.
    for (auto runtime : {std::optional<std::string>(), std::optional<std::string>("relative/dir")}) {
        ChannelEnvironment bare{runtime, ":1", 4242};
        EXPECT_EQ(channelSockets(bare), std::vector<std::filesystem::path>{"/tmp/tessaline-4242/display-1"});
    }
}

}  // namespace
}  // namespace tessaline::shell
