// tessaline-status: the status icon of a running Tessaline. The window
// manager starts it with one end of a socket as fd 3, sends it each model to
// show and hears back the entries the user chooses (app/shell/StatusWire.h).
// It ends when the manager does: its end of the socket closes.

#include <sys/socket.h>
#include <fcntl.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "app/LoopBridge.h"
#include "app/shell/StatusItem.h"
#include "app/shell/StatusWire.h"

namespace {

using namespace tessaline;
using namespace tessaline::shell;

constexpr int managerSocket = 3;

void report(const StatusReport& what) {
    const std::string message = encodeStatusReport(what);
    // A manager that stopped reading loses a log line or a click, and never waits for us.
    [[maybe_unused]] auto sent = ::send(managerSocket, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

bool startedByTheManager() {
    int type = 0;
    socklen_t size = sizeof type;
    return ::getsockopt(managerSocket, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_SEQPACKET;
}

}  // namespace

int main(int argc, char** argv) {
    int owner = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string_view argument = argv[i], value = argv[i + 1];
        if (argument == "--owner") std::from_chars(value.data(), value.data() + value.size(), owner);
    }
    if (!startedByTheManager()) {
        std::fprintf(stderr, "tessaline-status: the window manager starts this program; it isn't run by hand\n");
        return 2;
    }
    ::fcntl(managerSocket, F_SETFD, FD_CLOEXEC);
    // The icon's log is the manager's: it shows in `tessaline log` and the
    // manager's standard error. Every line goes; the manager keeps what its
    // own logging settings keep.
    LogStore::shared().setCollectsDebug(true);
    LogStore::shared().setSink([](const LogRecord& record) {
        report(StatusLogLine{record.category, record.level, record.message});
    });

    EventLoop loop;
    LoopBridge bridge(loop);
    std::unique_ptr<StatusItem> item;
    loop.watch(managerSocket, [&] {
        for (;;) {
            std::string buffer(statusWireLimit, '\0');
            const ssize_t got = ::recv(managerSocket, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
            if (got <= 0) {
                loop.unwatch(managerSocket);
                return loop.quit();
            }
            buffer.resize(static_cast<std::size_t>(got));
            auto model = decodeStatusModel(buffer);
            if (!model) continue;
            if (item) {
                item->update(std::move(*model));
            } else {
                item = std::make_unique<StatusItem>(
                    bridge, std::move(*model), [](const std::string& entry) { report(StatusChoice{entry}); },
                    StatusItem::Current{}, owner);
            }
        }
    });
    loop.run();
    // Off the panel before the process goes.
    item.reset();
    return 0;
}
