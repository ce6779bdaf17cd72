#include "app/shell/CommandServer.h"

#include "app/shell/ChannelProtocol.h"
#include "app/shell/UniqueFd.h"
#include "engine/log/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/un.h>

namespace tessaline::shell {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Work done per call from the loop, so a flood of clients can't hold the
// loop: what is left keeps the epoll set readable and comes next turn.
constexpr int eventsPerTurn = 64;
constexpr int acceptsPerTurn = 64;

constexpr std::uint64_t listenerKey = 0;
constexpr std::uint64_t timerKey = 1;

std::string errorText() { return std::strerror(errno); }

std::string quotedWord(std::string_view word) {
    // Only word characters reach the log (refused bytes never do), but keep it short.
    return "'" + std::string(word.substr(0, 40)) + "'";
}

bool fitsSocketAddress(const fs::path& path) {
    return path.native().size() < sizeof(sockaddr_un{}.sun_path);
}

sockaddr_un addressOf(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.native().size());
    return address;
}

// Takes the lock that says "a live manager serves this socket". The file is
// checked to still be the one at `path` once locked: a manager that stopped
// meanwhile removed it, and a lock on a removed file protects nothing.
std::optional<UniqueFd> lockChannel(const fs::path& path, std::string& problem) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd) {
            problem = "couldn't open " + path.string() + ": " + errorText();
            return std::nullopt;
        }
        if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            problem = errno == EWOULDBLOCK ? "another Tessaline already serves " + path.stem().string()
                                           : "couldn't lock " + path.string() + ": " + errorText();
            return std::nullopt;
        }
        struct stat held {}, named {};
        if (fstat(fd.get(), &held) == 0 && lstat(path.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            return fd;
        }
    }
    problem = "the lock file " + path.string() + " keeps changing";
    return std::nullopt;
}

}  // namespace

struct CommandServer::Core : std::enable_shared_from_this<Core> {
    enum class Phase { reading, waiting, writing };

    struct Connection {
        UniqueFd fd;
        Phase phase = Phase::reading;
        Clock::time_point deadline;
        std::string received;
        std::string word;
        std::string pending;  // reply bytes not yet sent
        std::size_t sent = 0;
    };

    fs::path socketPath;
    fs::path lockPath;
    Handler handler;
    Options options;
    UniqueFd lock;
    UniqueFd listener;
    UniqueFd epoll;
    UniqueFd timer;
    // Kept open so that a full descriptor table can still accept (and close)
    // the connection that waits, instead of finding the listener readable forever.
    UniqueFd spare;
    std::map<std::uint64_t, Connection> connections;
    std::uint64_t nextKey = 2;

    ~Core() {
        connections.clear();
        listener.reset();
        // The socket goes before the lock is let go, so a manager starting
        // next never finds our socket and takes it for a live one.
        if (lock) {
            ::unlink(socketPath.c_str());
            ::unlink(lockPath.c_str());
        }
    }

    bool add(int fd, std::uint64_t key, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.u64 = key;
        return epoll_ctl(epoll.get(), EPOLL_CTL_ADD, fd, &event) == 0;
    }

    void change(const Connection& connection, std::uint64_t key, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.u64 = key;
        epoll_ctl(epoll.get(), EPOLL_CTL_MOD, connection.fd.get(), &event);
    }

    void dispatch() {
        epoll_event events[eventsPerTurn];
        int count = epoll_wait(epoll.get(), events, eventsPerTurn, 0);
        bool accept = false, late = false;
        for (int i = 0; i < count; ++i) {
            std::uint64_t key = events[i].data.u64;
            if (key == listenerKey) {
                accept = true;
            } else if (key == timerKey) {
                late = true;
            } else {
                handleEvent(key, events[i].events);
            }
        }
        // Clients already connected wrote before the ones still waiting to be
        // accepted connected: serving those first keeps the order of arrival.
        if (accept) acceptWaiting();
        if (late) {
            std::uint64_t expirations = 0;
            [[maybe_unused]] auto got = ::read(timer.get(), &expirations, sizeof expirations);
            expire();
        }
        armTimer();
    }

    void acceptWaiting() {
        for (int i = 0; i < acceptsPerTurn; ++i) {
            int fd = accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (errno == EMFILE || errno == ENFILE) shedOne();
                return;
            }
            admit(UniqueFd(fd));
        }
    }

    void shedOne() {
        Log::lifecycle.error([] { return "command channel: out of file descriptors, dropped a client"; });
        spare.reset();
        UniqueFd dropped(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        spare.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }

    void admit(UniqueFd fd) {
        ucred peer{};
        socklen_t size = sizeof peer;
        if (getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) {
            Log::lifecycle.error([] { return "command channel: refused a client whose user is unknown"; });
            return;
        }
        if (peer.uid != geteuid()) {
            Log::lifecycle.error([&] {
                return "command channel: refused a client of another user (uid " +
                       std::to_string(peer.uid) + ", pid " + std::to_string(peer.pid) + ")";
            });
            return;
        }
        if (connections.size() >= options.maxConnections) {
            Log::lifecycle.error([&] {
                return "command channel: more than " + std::to_string(options.maxConnections) +
                       " clients at once, dropped one";
            });
            return;
        }
        std::uint64_t key = nextKey++;
        if (!add(fd.get(), key, EPOLLIN | EPOLLRDHUP)) return;
        Connection& connection = connections[key];
        connection.fd = std::move(fd);
        connection.deadline = Clock::now() + options.messageTimeout;
        // A client usually writes before we get to it: reading now serves
        // clients in the order they connected.
        readFrom(key, connection);
    }

    void handleEvent(std::uint64_t key, std::uint32_t events) {
        auto found = connections.find(key);
        if (found == connections.end()) return;
        Connection& connection = found->second;
        switch (connection.phase) {
            case Phase::reading: readFrom(key, connection); break;
            case Phase::writing: flush(key, connection); break;
            case Phase::waiting:
                // Both directions closed: the client has given up on its reply.
                if (events & (EPOLLHUP | EPOLLERR)) close(key);
                break;
        }
    }

    void readFrom(std::uint64_t key, Connection& connection) {
        char buffer[maxRequestBytes];
        for (;;) {
            ssize_t got = recv(connection.fd.get(), buffer, sizeof buffer, 0);
            if (got < 0) {
                if (errno == EINTR) continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK) drop(key, "a read failed: " + errorText());
                return;
            }
            if (got == 0) {
                if (connection.received.empty()) {
                    Log::lifecycle([] { return "command channel: a client left without a command"; });
                    close(key);
                } else {
                    drop(key, "the client left after half a message");
                }
                return;
            }
            connection.received.append(buffer, static_cast<std::size_t>(got));
            RequestRead request = readRequest(connection.received);
            if (request.status == RequestRead::Status::refused) return drop(key, request.problem);
            if (request.status == RequestRead::Status::complete) return run(key, std::move(request.word));
        }
    }

    void run(std::uint64_t key, std::string word) {
        Connection& connection = connections.at(key);
        connection.phase = Phase::waiting;
        connection.word = word;
        connection.received.clear();
        connection.deadline = Clock::now() + options.replyTimeout;
        change(connection, key, 0);

        std::weak_ptr<Core> weak = weak_from_this();
        Reply reply = [weak, key](std::string text) {
            if (auto core = weak.lock()) core->reply(key, std::move(text));
        };
        bool replies = false;
        try {
            replies = handler(word, std::move(reply));
        } catch (...) {
            Log::lifecycle.error([&] { return "command channel: the command " + quotedWord(word) + " failed"; });
        }
        auto still = connections.find(key);
        if (still != connections.end() && still->second.phase == Phase::waiting && !replies) close(key);
    }

    void reply(std::uint64_t key, std::string text) {
        auto found = connections.find(key);
        if (found == connections.end() || found->second.phase != Phase::waiting) return;
        Connection& connection = found->second;
        if (text.size() > maxReplyBytes) {
            Log::lifecycle.error([&] {
                return "command channel: the reply to " + quotedWord(connection.word) + " was too long to send";
            });
            text.clear();
        }
        connection.phase = Phase::writing;
        connection.pending = encodeReply(text);
        connection.sent = 0;
        flush(key, connection);
        auto still = connections.find(key);
        if (still != connections.end()) change(still->second, key, EPOLLOUT);
    }

    void flush(std::uint64_t key, Connection& connection) {
        while (connection.sent < connection.pending.size()) {
            ssize_t wrote = send(connection.fd.get(), connection.pending.data() + connection.sent,
                                 connection.pending.size() - connection.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (wrote < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) return;
                Log::lifecycle([&] {
                    return "command channel: the client of " + quotedWord(connection.word) +
                           " left before its reply";
                });
                return close(key);
            }
            connection.sent += static_cast<std::size_t>(wrote);
        }
        close(key);
    }

    void expire() {
        const auto now = Clock::now();
        std::vector<std::uint64_t> late;
        for (const auto& [key, connection] : connections) {
            if (connection.deadline <= now) late.push_back(key);
        }
        for (std::uint64_t key : late) {
            const Connection& connection = connections.at(key);
            switch (connection.phase) {
                case Phase::reading: drop(key, "no whole message in time"); break;
                case Phase::waiting:
                    Log::lifecycle.error([&] {
                        return "command channel: no reply to " + quotedWord(connection.word) + " in time";
                    });
                    close(key);
                    break;
                case Phase::writing:
                    Log::lifecycle.error([&] {
                        return "command channel: the client of " + quotedWord(connection.word) +
                               " didn't read its reply";
                    });
                    close(key);
                    break;
            }
        }
    }

    void armTimer() {
        itimerspec alarm{};
        if (!connections.empty()) {
            auto earliest = std::min_element(connections.begin(), connections.end(), [](auto& a, auto& b) {
                                return a.second.deadline < b.second.deadline;
                            })->second.deadline;
            auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(earliest - Clock::now());
            // Zero would disarm the timer; an overdue deadline fires at once.
            long long nanoseconds = std::max<long long>(wait.count(), 1);
            alarm.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
            alarm.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
        }
        timerfd_settime(timer.get(), 0, &alarm, nullptr);
    }

    void drop(std::uint64_t key, const std::string& why) {
        Log::lifecycle.error([&] { return "command channel: dropped a client: " + why; });
        close(key);
    }

    void close(std::uint64_t key) { connections.erase(key); }
};

CommandServer::CommandServer(std::shared_ptr<Core> core, LoopAccess& loop)
    : core_(std::move(core)), loop_(loop) {
    Core* raw = core_.get();
    loop_.watch(core_->epoll.get(), [raw] { raw->dispatch(); });
}

CommandServer::~CommandServer() { loop_.unwatch(core_->epoll.get()); }

const fs::path& CommandServer::socketPath() const { return core_->socketPath; }

std::unique_ptr<CommandServer> CommandServer::open(const fs::path& socket, LoopAccess& loop,
                                                   Handler handler, std::string& problem) {
    return open(socket, loop, std::move(handler), problem, Options{});
}

std::unique_ptr<CommandServer> CommandServer::open(const fs::path& socket, LoopAccess& loop,
                                                   Handler handler, std::string& problem,
                                                   Options options) {
    if (!fitsSocketAddress(socket)) {
        problem = "the socket path " + socket.string() + " is too long";
        return nullptr;
    }
    if (!makePrivateDirectory(socket.parent_path(), problem)) return nullptr;

    auto core = std::make_shared<Core>();
    core->socketPath = socket;
    core->lockPath = socket.string() + ".lock";
    core->handler = std::move(handler);
    core->options = options;

    auto lock = lockChannel(core->lockPath, problem);
    if (!lock) return nullptr;
    core->lock = std::move(*lock);

    struct stat existing {};
    if (lstat(socket.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode) || ::unlink(socket.c_str()) != 0) {
            problem = "couldn't remove the stale socket " + socket.string();
            return nullptr;
        }
        Log::lifecycle([&] { return "command channel: replaced a stale socket at " + socket.string(); });
    }

    core->listener.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_un address = addressOf(socket);
    if (!core->listener ||
        bind(core->listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        problem = "couldn't bind " + socket.string() + ": " + errorText();
        return nullptr;
    }
    // The folder is private already; the socket's own mode is the second fence.
    if (chmod(socket.c_str(), 0600) != 0 || listen(core->listener.get(), SOMAXCONN) != 0) {
        problem = "couldn't listen on " + socket.string() + ": " + errorText();
        return nullptr;
    }

    core->epoll.reset(epoll_create1(EPOLL_CLOEXEC));
    core->timer.reset(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    core->spare.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!core->epoll || !core->timer || !core->add(core->listener.get(), listenerKey, EPOLLIN) ||
        !core->add(core->timer.get(), timerKey, EPOLLIN)) {
        problem = "couldn't watch " + socket.string() + ": " + errorText();
        return nullptr;
    }
    Log::lifecycle([&] { return "command channel: listening at " + socket.string(); });
    return std::unique_ptr<CommandServer>(new CommandServer(std::move(core), loop));
}

std::unique_ptr<CommandServer> CommandServer::open(const ChannelEnvironment& environment,
                                                   LoopAccess& loop, Handler handler,
                                                   std::string& problem) {
    std::string problems;
    for (const auto& socket : channelSockets(environment)) {
        std::string attempt;
        if (auto server = open(socket, loop, handler, attempt)) return server;
        // A live manager on this display: the next folder would only hide that.
        if (attempt.starts_with("another Tessaline")) {
            problem = attempt;
            return nullptr;
        }
        problems += (problems.empty() ? "" : "; ") + attempt;
    }
    problem = problems;
    return nullptr;
}

}  // namespace tessaline::shell
