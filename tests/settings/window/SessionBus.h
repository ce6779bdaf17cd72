#pragma once
// A private session bus for one test executable (the accessibility bus is
// found through it), and the settings program started beside it. The X
// server and the manager come from the shared X test harness.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::testing {

struct Process {
    pid_t pid = -1;
    int stderrFd = -1;  // the read end of its standard error, when asked for
};

// Starts `argv` with `env` added to this process's environment.
Process start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
              bool captureStderr = false);
// Waits for the process to end, at most `limit`; its exit status, absent when it did not end.
std::optional<int> waitFor(Process& process, std::chrono::milliseconds limit);
void stop(Process& process);
// The first line it writes to standard error, waiting at most `limit`.
std::optional<std::string> firstErrorLine(Process& process, std::chrono::milliseconds limit);

class SessionBus {
public:
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // Empty when the bus did not start.
    const std::string& address() const { return address_; }

private:
    Process bus_;
    std::string address_;
};

}  // namespace tessaline::testing
