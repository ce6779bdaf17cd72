#include "app/shell/Launch.h"

#include "engine/log/Log.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaline::shell {

namespace fs = std::filesystem;

namespace {

bool executable(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// Everything the new program should not inherit from the manager, undone in
// the child with async-signal-safe calls only (the manager has threads).
void leaveTheManagerBehind(int devNull) {
    ::setsid();
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // An ignored signal stays ignored across exec; the manager ignores SIGPIPE.
    ::signal(SIGPIPE, SIG_DFL);
    if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
    ::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
}

}  // namespace

std::optional<fs::path> findProgram(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) return executable(name) ? std::optional<fs::path>(name) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view{} : dirs.substr(colon + 1);
        fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
        if (executable(candidate)) return candidate;
    }
    return std::nullopt;
}

bool launchDetached(const fs::path& program, const std::vector<std::string>& arguments, int passFd) {
    // Built before the fork: the child may not allocate.
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    // The program reports a failed exec through this pipe; a successful one
    // closes it.
    int failure[2];
    if (::pipe2(failure, O_CLOEXEC) != 0) return false;
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(failure[0]);
        leaveTheManagerBehind(devNull);
        // Twice removed, so that the program is nobody's child to wait for.
        if (::fork() == 0) {
            int report = failure[1];
            if (passFd >= 0) {
                // The program finds the descriptor it is given as its fd 3.
                if (report == 3) report = ::fcntl(3, F_DUPFD_CLOEXEC, 4);
                if (passFd == 3) {
                    ::fcntl(3, F_SETFD, 0);
                } else {
                    ::dup2(passFd, 3);
                }
            }
            ::execv(argv[0], argv.data());
            const int error = errno;
            [[maybe_unused]] auto written = ::write(report, &error, sizeof error);
            ::_exit(127);
        }
        ::_exit(0);
    }
    ::close(failure[1]);
    if (devNull >= 0) ::close(devNull);
    if (middle < 0) {
        ::close(failure[0]);
        return false;
    }
    ::waitpid(middle, nullptr, 0);
    int error = 0;
    ssize_t got;
    do {
        got = ::read(failure[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(failure[0]);
    if (got == sizeof error) {
        Log::lifecycle.error([&] { return "couldn't start " + program.string() + ": " + std::strerror(error); });
        return false;
    }
    return true;
}

std::optional<fs::path> settingsProgram() {
    constexpr const char* name = "tessaline-settings";
    if (const char* chosen = std::getenv("TESSALINE_SETTINGS_PROGRAM")) return findProgram(chosen);
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        // Installed side by side, or in bin/ when the manager runs from libexec/tessaline/;
        // in a build tree the settings program has a folder of its own.
        const fs::path folder = self.parent_path();
        for (const fs::path& candidate : {folder / name, folder.parent_path().parent_path() / "bin" / name,
                                          folder.parent_path() / "settings" / name}) {
            if (executable(candidate)) return candidate;
        }
    }
    return findProgram(name);
}

bool openSettingsWindow(const std::vector<std::string>& arguments) {
    const auto program = settingsProgram();
    return program && launchDetached(*program, arguments);
}

}  // namespace tessaline::shell
