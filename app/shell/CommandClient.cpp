#include "app/shell/CommandClient.h"

#include "app/shell/ChannelPath.h"
#include "app/shell/ChannelProtocol.h"
#include "app/shell/CommandWords.h"
#include "app/shell/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <variant>

namespace tessaline::shell {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct NotRunning {};
struct TimedOut {};
using Connection = std::variant<UniqueFd, NotRunning, TimedOut>;

std::chrono::milliseconds remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

// Only a manager of our own user, behind a folder only we can enter, is ours.
bool servedByUs(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == geteuid();
}

Connection connectTo(const fs::path& socket, Clock::time_point deadline) {
    sockaddr_un address{};
    if (socket.native().size() >= sizeof address.sun_path) return NotRunning{};
    if (!isPrivateDirectory(socket.parent_path())) return NotRunning{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket.c_str(), socket.native().size());

    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return NotRunning{};
    // A connect to a manager whose queue is full waits at most this long.
    auto left = std::max(remaining(deadline), std::chrono::milliseconds(1));
    timeval limit{static_cast<time_t>(left.count() / 1000), static_cast<suseconds_t>(left.count() % 1000 * 1000)};
    setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

    while (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EINPROGRESS) return TimedOut{};
        return NotRunning{};
    }
    if (!servedByUs(fd.get())) return NotRunning{};
    return fd;
}

Connection connectToManager(const std::vector<fs::path>& sockets, Clock::time_point deadline) {
    for (const auto& socket : sockets) {
        Connection connection = connectTo(socket, deadline);
        if (!std::holds_alternative<NotRunning>(connection)) return connection;
    }
    return NotRunning{};
}

std::optional<std::string> awaitReply(int fd, Clock::time_point deadline) {
    std::string received;
    char buffer[64 * 1024];
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        int ready = poll(&waiting, 1, static_cast<int>(remaining(deadline).count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        received.append(buffer, static_cast<std::size_t>(got));
        ReplyRead reply = readReply(received);
        if (reply.status == ReplyRead::Status::complete) return std::move(reply.text);
        if (reply.status == ReplyRead::Status::refused) return std::nullopt;
    }
}

std::optional<std::string> readFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return contents.str();
}

}  // namespace

ClientOptions ClientOptions::standard() {
    ClientOptions options;
    options.sockets = channelSockets(ChannelEnvironment::current());
    options.out = &std::cout;
    options.err = &std::cerr;
    return options;
}

int runClient(std::string_view command) { return runClient(command, ClientOptions::standard()); }

Exchange exchange(std::string_view lowerWord, const std::vector<fs::path>& sockets,
                  std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    Connection connection = connectToManager(sockets, deadline);
    if (std::holds_alternative<NotRunning>(connection)) return {Exchange::Outcome::notRunning, {}};
    if (std::holds_alternative<TimedOut>(connection)) return {Exchange::Outcome::noReply, {}};
    const int fd = std::get<UniqueFd>(connection).get();

    // One write: the manager sees the whole command or, if we die, half of one.
    const std::string request = encodeRequest(lowerWord);
    ssize_t wrote;
    do {
        wrote = send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    } while (wrote < 0 && errno == EINTR);
    if (wrote != static_cast<ssize_t>(request.size())) {
        return {wrote < 0 && errno == EAGAIN ? Exchange::Outcome::noReply : Exchange::Outcome::notRunning, {}};
    }
    if (!expectsReply(lowerWord)) return {Exchange::Outcome::sent, {}};
    std::optional<std::string> reply = awaitReply(fd, deadline);
    if (!reply) return {Exchange::Outcome::noReply, {}};
    return {Exchange::Outcome::replied, std::move(*reply)};
}

int runClient(std::string_view command, const ClientOptions& options) {
    std::ostream& out = options.out ? *options.out : std::cout;
    std::ostream& err = options.err ? *options.err : std::cerr;

    if (command == "help") {
        out << helpText() << std::flush;
        return 0;
    }
    if (!isKnownCommand(command)) {
        err << "Unknown command '" << command << "'. Try: tessaline help\n" << std::flush;
        return 2;
    }
    const std::string name = lowerCased(command);
    const Exchange answer = exchange(name, options.sockets, options.deadline.value_or(replyDeadline(name)));
    switch (answer.outcome) {
        case Exchange::Outcome::notRunning:
            err << "Tessaline isn't running.\n" << std::flush;
            return 1;
        case Exchange::Outcome::noReply:
            err << "No reply from Tessaline.\n" << std::flush;
            return 1;
        case Exchange::Outcome::sent:
            return 0;
        case Exchange::Outcome::replied:
            break;
    }
    if (name == "log" || name == "diagnostics") {
        std::optional<std::string> contents = readFile(answer.reply);
        if (!contents) {
            err << "Tessaline couldn't write its " << name << ".\n" << std::flush;
            return 1;
        }
        out << *contents << "\n" << std::flush;
        return 0;
    }
    out << answer.reply << "\n" << std::flush;
    return 0;
}

}  // namespace tessaline::shell
