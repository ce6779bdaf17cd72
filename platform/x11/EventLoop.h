#pragma once
// The manager's one thread: an epoll loop over file descriptors, with a
// timerfd for timers and an eventfd that lets other threads post work.
//
// Each turn waits for something to happen, runs the watchers of the ready
// descriptors and the timers that fell due, and then settles: posted work
// runs, then the hooks run in the order they were added (the window system
// drains X events, pushes its changes and flushes there), again and again
// until a round posts nothing more. Only then does the loop sleep, so an idle
// manager costs no CPU and nothing waits in a queue while it sleeps.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tessaline {

class EventLoop {
public:
    using Callback = std::function<void()>;
    using TimerID = std::uint64_t;

    // Throws std::system_error when the kernel refuses epoll, timerfd or eventfd.
    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Monotonic seconds (CLOCK_MONOTONIC), the clock of every timer.
    static double monotonicNow();

    // Calls `onReadable` on the loop thread while `fd` is readable, until
    // unwatch. Watching a descriptor again replaces its callback.
    void watch(int fd, Callback onReadable);
    void unwatch(int fd);

    // Runs `work` on the loop thread soon; callable from any thread.
    void post(Callback work);
    // Work posted and not yet run (loop thread).
    bool hasPostedWork() const;

    // Runs `work` once at `deadline` (monotonic seconds); loop thread only.
    TimerID addTimer(double deadline, Callback work);
    // Harmless for a timer that already ran or was cancelled.
    void cancelTimer(TimerID id);

    // Runs before every sleep, after posted work, in the order added.
    void addHook(Callback hook);

    // Runs turns until quit().
    void run();
    // Ends run() after the current turn; callable from any thread.
    void quit();
    // One turn that waits at most `timeout` seconds (negative: until
    // something happens); for start-up waits and tests.
    void runOnce(double timeout);

private:
    void settle();
    void runPosted();
    void runDueTimers();
    void armTimer();
    void wait(int timeoutMs);

    int epoll_ = -1;
    int timerFd_ = -1;
    int wakeFd_ = -1;
    std::unordered_map<int, std::shared_ptr<Callback>> watchers_;
    std::map<std::pair<double, TimerID>, Callback> timers_;
    std::unordered_map<TimerID, double> deadlines_;
    TimerID nextTimer_ = 1;
    double armedFor_ = -1;
    std::vector<Callback> hooks_;

    mutable std::mutex postedMutex_;
    std::vector<Callback> posted_;
    std::thread::id owner_ = std::this_thread::get_id();  // the loop thread
    std::atomic<bool> quit_{false};
};

}  // namespace tessaline
