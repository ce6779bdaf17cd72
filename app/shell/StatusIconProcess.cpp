#include "app/shell/StatusIconProcess.h"

#include "app/shell/Launch.h"
#include "app/shell/StatusWire.h"
#include "app/shell/UniqueFd.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tessaline::shell {

namespace {

constexpr const char* programName = "tessaline-status";
// An icon process that ends sooner than this after its start is not started again.
constexpr auto shortestLife = std::chrono::seconds(10);

void notice(std::string message) {
    LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel, std::move(message));
}

}  // namespace

std::optional<std::filesystem::path> statusProgram() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::nullopt;
    const auto beside = self.parent_path() / programName;
    if (::access(beside.c_str(), X_OK) != 0) return std::nullopt;
    return beside;
}

struct StatusIconProcess::Core : std::enable_shared_from_this<Core> {
    Core(LoopAccess& loop, StatusModel model, Choose choose, std::optional<std::filesystem::path> program)
        : loop(loop), model(std::move(model)), choose(std::move(choose)), program(std::move(program)) {}

    LoopAccess& loop;
    StatusModel model;
    Choose choose;
    std::optional<std::filesystem::path> program;
    UniqueFd socket;
    std::chrono::steady_clock::time_point startedAt;
    bool unsent = false;

    void start() {
        if (!program) {
            notice(std::string("status icon: ") + programName + " isn't installed beside tessaline; the icon isn't shown");
            return;
        }
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
            Log::lifecycle.error([] { return "status icon: couldn't make its socket: " + std::string(std::strerror(errno)); });
            return;
        }
        UniqueFd ours(ends[0]), theirs(ends[1]);
        // The icon's service name carries the manager's process id, as a tray expects of the application.
        if (!launchDetached(*program, {"--owner", std::to_string(::getpid())}, theirs.get())) return;
        socket = std::move(ours);
        startedAt = std::chrono::steady_clock::now();
        loop.watch(socket.get(), [weak = weak_from_this()] {
            if (auto core = weak.lock()) core->receive();
        });
        unsent = true;
        send();
    }

    void send() {
        if (!socket || !unsent) return;
        const std::string message = encodeStatusModel(model);
        if (::send(socket.get(), message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) {
            unsent = false;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            ended();
        }
    }

    void receive() {
        for (;;) {
            std::string buffer(statusWireLimit, '\0');
            const ssize_t got = ::recv(socket.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
            if (got <= 0) return ended();
            buffer.resize(static_cast<std::size_t>(got));
            const auto report = decodeStatusReport(buffer);
            if (!report) continue;
            if (const auto* line = std::get_if<StatusLogLine>(&*report)) {
                keep(*line);
            } else if (choose) {
                // Not from inside the watcher: the choice may destroy the icon.
                loop.post([weak = weak_from_this(), id = std::get<StatusChoice>(*report).entryId] {
                    if (auto core = weak.lock(); core && core->choose) core->choose(id);
                });
            }
        }
        send();
    }

    // The icon's process sends its debug lines too; they are kept as the
    // manager keeps its own (raised with detailed logging, else only when
    // debug lines are collected).
    static void keep(const StatusLogLine& line) {
        LogLevel level = line.level;
        if (level == LogLevel::debug && Log::detailed.load(std::memory_order_relaxed)) level = LogLevel::defaultLevel;
        if (!LogStore::shared().collects(level)) return;
        LogStore::shared().add(line.category, level, line.message);
    }

    void ended() {
        loop.unwatch(socket.get());
        socket.reset();
        if (std::chrono::steady_clock::now() - startedAt < shortestLife) {
            Log::lifecycle.error([] { return std::string("status icon: its process ended soon after it started; the icon is gone"); });
            return;
        }
        notice("status icon: its process ended; starting it again");
        start();
    }

    void stop() {
        if (!socket) return;
        // The icon's process sees the socket close and takes the icon off the panel.
        loop.unwatch(socket.get());
        socket.reset();
    }
};

StatusIconProcess::StatusIconProcess(LoopAccess& loop, StatusModel model, Choose choose,
                                     std::optional<std::filesystem::path> program)
    : core_(std::make_shared<Core>(loop, std::move(model), std::move(choose),
                                   program ? std::move(program) : statusProgram())) {
    core_->start();
}

StatusIconProcess::~StatusIconProcess() { core_->stop(); }

void StatusIconProcess::update(StatusModel model) {
    if (model == core_->model) return;
    core_->model = std::move(model);
    core_->unsent = true;
    core_->send();
}

}  // namespace tessaline::shell
