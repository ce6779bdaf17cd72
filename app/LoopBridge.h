#pragma once
// The shell's view of the event loop (LoopAccess over EventLoop), for the
// manager and the status icon's process alike.

#include "app/shell/LoopAccess.h"
#include "platform/x11/EventLoop.h"

namespace tessaline {

class LoopBridge final : public shell::LoopAccess {
public:
    explicit LoopBridge(EventLoop& loop) : loop_(loop) {}
    void watch(int fd, std::function<void()> onReadable) override { loop_.watch(fd, std::move(onReadable)); }
    void unwatch(int fd) override { loop_.unwatch(fd); }
    void post(std::function<void()> work) override { loop_.post(std::move(work)); }

private:
    EventLoop& loop_;
};

}  // namespace tessaline
