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
#include <string>
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

// One command sent to the manager, and its reply when the word has one: what
// the client does, for a program that reads the answer itself (the settings
// window). Blocks until the reply or the deadline.
struct Exchange {
    enum class Outcome {
        sent,        // delivered; the word has no reply
        replied,     // `reply` holds the answer
        notRunning,  // no manager answers on these sockets
        noReply,     // it took the command but didn't answer in time
    };
    Outcome outcome = Outcome::notRunning;
    std::string reply;
};
Exchange exchange(std::string_view lowerWord, const std::vector<std::filesystem::path>& sockets,
                  std::chrono::milliseconds deadline);

}  // namespace tessaline::shell
