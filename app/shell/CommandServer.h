#pragma once
// The manager's end of the command channel: a Unix socket that takes one
// command per connection and sends back at most one reply.
//
// Nothing a client does can stall the loop: every socket is non-blocking,
// a peer of another user is refused at once, a connection that doesn't
// deliver a whole, well-formed command in time is dropped, and a reply the
// client doesn't read is given up. Each drop leaves a line in the log.
//
// The server shows the loop a single descriptor (its own epoll set, readable
// whenever any of its sockets or its timer is), and works through a bounded
// number of events per call.

#include "app/shell/ChannelPath.h"
#include "app/shell/LoopAccess.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tessaline::shell {

class CommandServer {
public:
    // Sends the reply of one command. Call it on the loop thread; calls after
    // the first, after the client went away or after the server closed do nothing.
    using Reply = std::function<void(std::string text)>;
    // Runs one command word (as received) and answers whether a reply will
    // follow through `reply`; without one the connection is closed at once.
    using Handler = std::function<bool(const std::string& word, Reply reply)>;

    struct Options {
        // A client has this long from connecting to the end of its command.
        std::chrono::milliseconds messageTimeout{2000};
        // The reply must be produced and read within this long of the command,
        // a little past the client's longest deadline.
        std::chrono::milliseconds replyTimeout{20000};
        std::size_t maxConnections = 256;
    };

    // Serves `socket`, whose folder is made private first. A socket left by a
    // manager that died is replaced; one held by a live manager (it holds the
    // lock file beside the socket) is left alone. Null, with `problem` set,
    // when the channel can't be opened.
    static std::unique_ptr<CommandServer> open(const std::filesystem::path& socket, LoopAccess& loop,
                                               Handler handler, std::string& problem,
                                               Options options);
    static std::unique_ptr<CommandServer> open(const std::filesystem::path& socket, LoopAccess& loop,
                                               Handler handler, std::string& problem);

    // The first of channelSockets(environment) that can be served.
    static std::unique_ptr<CommandServer> open(const ChannelEnvironment& environment,
                                               LoopAccess& loop, Handler handler,
                                               std::string& problem);

    // Stops watching, closes every connection and removes the socket.
    ~CommandServer();
    CommandServer(const CommandServer&) = delete;
    CommandServer& operator=(const CommandServer&) = delete;

    const std::filesystem::path& socketPath() const;

    struct Core;

private:
    CommandServer(std::shared_ptr<Core> core, LoopAccess& loop);

    std::shared_ptr<Core> core_;
    LoopAccess& loop_;
};

}  // namespace tessaline::shell
