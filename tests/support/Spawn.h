#pragma once
// Child processes of a test (the X server, a manager) that die with the test
// process, even when it crashes or is killed.

#include <sys/types.h>

#include <string>
#include <vector>

namespace tessaline::xtest {

struct SpawnOptions {
    std::vector<std::string> argv;
    std::vector<std::string> environment{};  // "NAME=value"; empty keeps ours
    std::string output = "/dev/null";      // stdout and stderr go here
    int inheritFd = -1;                    // one descriptor the child keeps open
};

pid_t spawn(const SpawnOptions& options);

// The environment of this process with these names set (or replaced).
std::vector<std::string> environmentWith(const std::vector<std::pair<std::string, std::string>>& changes);

}  // namespace tessaline::xtest
