#pragma once
// One executable, two roles: started with a command word (or a tessaline: URL,
// as the desktop's URL opener starts it) it is a short-lived client of the
// running manager; started otherwise it is the window manager.

#include <string>

namespace tessaline::shell {

struct Role {
    enum class Kind { manager, client };
    Kind kind = Kind::manager;
    // For a client: the command to send, taken from the URL when one was given.
    std::string command;
    friend bool operator==(const Role&, const Role&) = default;
};

// A first argument that begins with "-" (options, as a session launcher may
// add) always starts the manager.
Role chooseRole(int argc, const char* const* argv);

}  // namespace tessaline::shell
