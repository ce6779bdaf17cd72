#include "XvfbServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace tessaline::xinputtest {

namespace {

struct Server {
    pid_t pid = -1;
    std::string display;

    Server() {
        int ready[2];
        if (pipe(ready) != 0) throw std::runtime_error("pipe failed");
        pid = fork();
        if (pid == 0) {
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDERR_FILENO);
            close(ready[0]);
            std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp",
                   "-screen", "0", "1280x800x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        // Xvfb writes the display number once it accepts connections.
        char c;
        while (read(ready[0], &c, 1) == 1 && c != '\n') display += c;
        close(ready[0]);
        if (display.empty()) throw std::runtime_error("Xvfb did not start");
        display = ":" + display;
    }
    ~Server() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

}  // namespace

const std::string& xvfbDisplay() {
    static Server server;
    return server.display;
}

}  // namespace tessaline::xinputtest
