#pragma once
// Where the command channel of an X display lives. The manager and every
// client derive the same socket path from $DISPLAY:
//
//   $XDG_RUNTIME_DIR/tessaline/display-0          (":0", ":0.0", "unix:0")
//   $XDG_RUNTIME_DIR/tessaline/display-host-10    ("host:10.0")
//
// Without $XDG_RUNTIME_DIR (root with no login session, a cron job) the
// folder is /run/user/<uid>/tessaline when the user's runtime folder exists,
// else /tmp/tessaline-<uid>. Every folder is private to the user (0700, owned
// by them, no symbolic link); one found otherwise is not used, so a folder
// planted in /tmp by someone else never carries the channel.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tessaline::shell {

struct ChannelEnvironment {
    std::optional<std::string> runtimeDirectory;  // $XDG_RUNTIME_DIR
    std::optional<std::string> display;           // $DISPLAY
    uid_t uid = 0;

    static ChannelEnvironment current();
};

// "display-0" for ":0"; the screen number is dropped (one manager serves the
// whole display), other hosts are kept, anything odd is reduced to [A-Za-z0-9._-].
std::string channelName(std::optional<std::string_view> display);

// The socket paths to try, in order. The manager binds the first whose folder
// it can make private; a client connects to the first that answers.
std::vector<std::filesystem::path> channelSockets(const ChannelEnvironment& environment);

// Creates the folder (0700) when missing. True when it exists, is a folder
// (not a link), belongs to the effective user and nobody else may enter it;
// a folder of ours with a looser mode is tightened. `problem` says why not.
bool makePrivateDirectory(const std::filesystem::path& folder, std::string& problem);

// The same test without creating or changing anything.
bool isPrivateDirectory(const std::filesystem::path& folder);

}  // namespace tessaline::shell
