#pragma once
// One background thread for work that reads or writes files (the recent
// log, the diagnostics report), so the loop thread never waits on a disk.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tessaline::shell {

class Worker {
public:
    Worker();
    // Finishes the work already handed over, then joins.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs `work` on the worker thread, in the order handed over.
    void submit(std::function<void()> work);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tessaline::shell
