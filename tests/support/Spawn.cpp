#include "Spawn.h"

#include "Connection.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace tessaline::xtest {

pid_t spawn(const SpawnOptions& options) {
    std::vector<char*> argv;
    for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : options.environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) throw HarnessError(std::string("fork failed: ") + std::strerror(errno));
    if (pid > 0) return pid;

    // Only async-signal-safe calls from here to exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the test died before the line above
    int out = open(options.output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
    }
    int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, STDIN_FILENO);
    if (options.inheritFd >= 0) fcntl(options.inheritFd, F_SETFD, 0);
    // A test runner's blocked signals would otherwise reach the child blocked.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (options.environment.empty())
        execvp(argv[0], argv.data());
    else
        execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

std::vector<std::string> environmentWith(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [n, v] : changes) replaced = replaced || n == name;
        if (!replaced) env.push_back(std::move(entry));
    }
    for (const auto& [n, v] : changes) env.push_back(n + "=" + v);
    return env;
}

}  // namespace tessaline::xtest
