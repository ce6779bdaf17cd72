#pragma once
// A poll loop on its own thread, standing in for the program's event loop:
// the server under test runs there while clients run on the test thread.

#include "app/shell/LoopAccess.h"

#include <future>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tessaline::shell {

class TestLoop final : public LoopAccess {
public:
    TestLoop() : wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), thread_([this] { run(); }) {}

    ~TestLoop() override {
        post([this] { stopping_ = true; });
        thread_.join();
        ::close(wake_);
    }

    void watch(int fd, std::function<void()> onReadable) override {
        std::lock_guard lock(mutex_);
        watched_[fd] = std::make_shared<std::function<void()>>(std::move(onReadable));
        poke();
    }

    void unwatch(int fd) override {
        std::lock_guard lock(mutex_);
        watched_.erase(fd);
        poke();
    }

    void post(std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
        poke();
    }

    // Runs `work` on the loop thread and waits for its result.
    template <class F>
    auto call(F work) {
        std::packaged_task<decltype(work())()> task(std::move(work));
        auto result = task.get_future();
        post([&task] { task(); });
        return result.get();
    }

private:
    void poke() {
        std::uint64_t one = 1;
        [[maybe_unused]] auto wrote = ::write(wake_, &one, sizeof one);
    }

    void run() {
        while (!stopping_) {
            std::vector<pollfd> fds{{wake_, POLLIN, 0}};
            {
                std::lock_guard lock(mutex_);
                for (const auto& [fd, callback] : watched_) fds.push_back({fd, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), -1) < 0) continue;
            std::uint64_t count;
            [[maybe_unused]] auto got = ::read(wake_, &count, sizeof count);
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                std::shared_ptr<std::function<void()>> callback;
                {
                    std::lock_guard lock(mutex_);
                    auto found = watched_.find(fds[i].fd);
                    if (found != watched_.end()) callback = found->second;
                }
                if (callback) (*callback)();
            }
            std::vector<std::function<void()>> work;
            {
                std::lock_guard lock(mutex_);
                work.swap(posted_);
            }
            for (auto& item : work) item();
        }
    }

    std::mutex mutex_;
    std::map<int, std::shared_ptr<std::function<void()>>> watched_;
    std::vector<std::function<void()>> posted_;
    bool stopping_ = false;
    int wake_;
    std::thread thread_;
};

}  // namespace tessaline::shell
