#pragma once
// The little the shell needs from the program's event loop: watch a file
// descriptor for readability, stop watching it, and run work on the loop
// thread. The real loop implements it; tests drive a small poll loop.

#include <functional>

namespace tessaline::shell {

class LoopAccess {
public:
    virtual ~LoopAccess() = default;

    // Calls `onReadable` on the loop thread whenever `fd` has something to
    // read, until `unwatch(fd)`. The callback must not block.
    virtual void watch(int fd, std::function<void()> onReadable) = 0;
    virtual void unwatch(int fd) = 0;

    // Runs `work` on the loop thread, soon. Callable from any thread.
    virtual void post(std::function<void()> work) = 0;
};

}  // namespace tessaline::shell
