#pragma once
// A private session bus: dbus-daemon on a socket of its own, gone with the
// object. The status icon's tests and the settings window's run on it.

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tessaline::bustest {

class PrivateBus {
public:
    PrivateBus() {
        int out[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        // It complains of fd limits it may not raise; nothing the test needs.
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"dbus-daemon", "--session", "--print-address", "--nofork", nullptr};
        EXPECT_EQ(posix_spawnp(&pid_, argv[0], &actions, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        char c;
        pollfd waiting{out[0], POLLIN, 0};
        while (poll(&waiting, 1, 5000) == 1 && ::read(out[0], &c, 1) == 1 && c != '\n') address_ += c;
        ::close(out[0]);
        EXPECT_FALSE(address_.empty()) << "dbus-daemon printed no address";
    }
    ~PrivateBus() { stop(); }

    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    const std::string& address() const { return address_; }

private:
    pid_t pid_ = 0;
    std::string address_;
};

}  // namespace tessaline::bustest
