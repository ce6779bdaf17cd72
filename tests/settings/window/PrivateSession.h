#pragma once
// A private X server and session bus for one test executable, and the
// programs started on them. Kept small on purpose: the shared X test harness
// will take its place.

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

class PrivateSession {
public:
    PrivateSession();
    ~PrivateSession();
    PrivateSession(const PrivateSession&) = delete;
    PrivateSession& operator=(const PrivateSession&) = delete;

    // Why the session could not be started; empty when it runs.
    const std::string& failure() const { return failure_; }
    // DISPLAY and DBUS_SESSION_BUS_ADDRESS for programs on this session.
    std::map<std::string, std::string> environment() const;

private:
    Process xvfb_;
    Process bus_;
    std::string display_;
    std::string busAddress_;
    std::string failure_;
};

}  // namespace tessaline::testing
