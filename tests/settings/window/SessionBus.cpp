#include "SessionBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tessaline::testing {

namespace {

// One line from `fd`, waiting for it at most `limit` in all.
std::optional<std::string> readLine(int fd, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
        char c = 0;
        if (::read(fd, &c, 1) != 1) return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (c == '\n') return line;
        line += c;
    }
}

// Starts a server that tells on `fd` (given as "{fd}" in argv) that it is ready.
Process startAnnouncing(std::vector<std::string> argv, std::string& announced) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    for (std::string& arg : argv) {
        if (auto at = arg.find("{fd}"); at != std::string::npos) arg.replace(at, 4, std::to_string(fds[1]));
    }
    Process process = start(argv, {});
    ::close(fds[1]);
    if (process.pid > 0) announced = readLine(fds[0], std::chrono::seconds(20)).value_or("");
    ::close(fds[0]);
    return process;
}

}  // namespace

Process start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env, bool captureStderr) {
    int errors[2] = {-1, -1};
    if (captureStderr && ::pipe2(errors, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        if (captureStderr) ::dup2(errors[1], 2);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        if (!captureStderr) ::dup2(quiet, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (captureStderr) ::close(errors[1]);
    return {pid, errors[0]};
}

std::optional<int> waitFor(Process& process, std::chrono::milliseconds limit) {
    if (process.pid <= 0) return std::nullopt;
    // A pid file descriptor becomes readable when the process ends.
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, process.pid, 0));
    if (fd < 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    const bool ended = ::poll(&p, 1, static_cast<int>(limit.count())) == 1;
    ::close(fd);
    if (!ended) return std::nullopt;
    int status = 0;
    ::waitpid(process.pid, &status, 0);
    process.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void stop(Process& process) {
    if (process.pid > 0) {
        ::kill(process.pid, SIGTERM);
        if (!waitFor(process, std::chrono::seconds(10))) {
            ::kill(process.pid, SIGKILL);
            waitFor(process, std::chrono::seconds(10));
        }
    }
    if (process.stderrFd >= 0) ::close(process.stderrFd);
    process = {};
}

std::optional<std::string> firstErrorLine(Process& process, std::chrono::milliseconds limit) {
    return process.stderrFd < 0 ? std::nullopt : readLine(process.stderrFd, limit);
}

SessionBus::SessionBus() {
    bus_ = startAnnouncing({"dbus-daemon", "--session", "--nofork", "--print-address={fd}"}, address_);
}

SessionBus::~SessionBus() { stop(bus_); }

}  // namespace tessaline::testing
