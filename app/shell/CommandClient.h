#pragma once
// The command-line client: sends one command to the running manager and
// prints its answer.
//
// Exit statuses: 0 success (an action is sent and forgotten), 1 the manager
// isn't running, didn't answer in time or couldn't write its file, 2 unknown
// command.

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string_view>
#include <vector>

namespace tessaline::shell {

struct ClientOptions {
    // Tried in order; the first that answers is the manager.
    std::vector<std::filesystem::path> sockets;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    // Replaces the command's own deadline (3 s, or 15 s for "log" and "diagnostics").
    std::optional<std::chrono::milliseconds> deadline;

    // The sockets of $DISPLAY, standard output and standard error.
    static ClientOptions standard();
};

int runClient(std::string_view command, const ClientOptions& options);
int runClient(std::string_view command);

}  // namespace tessaline::shell
