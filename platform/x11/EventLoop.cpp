#include "platform/x11/EventLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <system_error>

namespace tessaline {

namespace {

int checked(int result, const char* what) {
    if (result < 0) throw std::system_error(errno, std::generic_category(), what);
    return result;
}

void drainCounter(int fd) {
    std::uint64_t count = 0;
    // Nothing to do when it was already empty: both descriptors are non-blocking.
    [[maybe_unused]] auto got = ::read(fd, &count, sizeof count);
}

}  // namespace

EventLoop::EventLoop() {
    epoll_ = checked(::epoll_create1(EPOLL_CLOEXEC), "epoll_create1");
    timerFd_ = checked(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC), "timerfd_create");
    wakeFd_ = checked(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), "eventfd");
    for (int fd : {timerFd_, wakeFd_}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        checked(::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event), "epoll_ctl");
    }
}

EventLoop::~EventLoop() {
    for (int fd : {wakeFd_, timerFd_, epoll_})
        if (fd >= 0) ::close(fd);
}

double EventLoop::monotonicNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void EventLoop::watch(int fd, Callback onReadable) {
    auto callback = std::make_shared<Callback>(std::move(onReadable));
    const bool known = watchers_.count(fd) > 0;
    watchers_[fd] = std::move(callback);
    if (known) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    checked(::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event), "epoll_ctl");
}

void EventLoop::unwatch(int fd) {
    if (watchers_.erase(fd) == 0) return;
    // The descriptor may be closed already, which removed it from the set.
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
}

void EventLoop::post(Callback work) {
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(work));
    }
    // Work posted by the loop itself runs before it next sleeps (settle
    // goes on while anything is posted): waking it would only cost an
    // empty turn, once per animation frame for the overlays.
    if (std::this_thread::get_id() == owner_) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

bool EventLoop::hasPostedWork() const {
    std::lock_guard lock(postedMutex_);
    return !posted_.empty();
}

EventLoop::TimerID EventLoop::addTimer(double deadline, Callback work) {
    const TimerID id = nextTimer_++;
    timers_.emplace(std::make_pair(deadline, id), std::move(work));
    deadlines_.emplace(id, deadline);
    return id;
}

void EventLoop::cancelTimer(TimerID id) {
    const auto found = deadlines_.find(id);
    if (found == deadlines_.end()) return;
    timers_.erase({found->second, id});
    deadlines_.erase(found);
}

void EventLoop::addHook(Callback hook) { hooks_.push_back(std::move(hook)); }

void EventLoop::quit() {
    quit_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

void EventLoop::run() {
    quit_ = false;
    settle();
    while (!quit_) runOnce(-1);
}

void EventLoop::runOnce(double timeout) {
    armTimer();
    // Work the loop posted to itself outside a turn must not wait for a wake-up.
    wait(hasPostedWork() ? 0 : timeout < 0 ? -1 : static_cast<int>(std::ceil(timeout * 1000)));
    runDueTimers();
    settle();
}

void EventLoop::wait(int timeoutMs) {
    epoll_event events[16];
    const int count = ::epoll_wait(epoll_, events, 16, timeoutMs);
    if (count < 0) return;  // EINTR: the next turn waits again
    for (int i = 0; i < count && !quit_; ++i) {
        const int fd = events[i].data.fd;
        if (fd == timerFd_ || fd == wakeFd_) {
            drainCounter(fd);
            // An expired timerfd is disarmed: the next turn must arm it anew.
            if (fd == timerFd_) armedFor_ = -2;
            continue;
        }
        const auto found = watchers_.find(fd);
        if (found == watchers_.end()) continue;
        // Held for the call: the callback may unwatch its own descriptor.
        const std::shared_ptr<Callback> callback = found->second;
        (*callback)();
    }
}

void EventLoop::runPosted() {
    std::vector<Callback> batch;
    {
        std::lock_guard lock(postedMutex_);
        batch.swap(posted_);
    }
    for (Callback& work : batch) {
        if (quit_) return;
        work();
    }
}

void EventLoop::runDueTimers() {
    const double now = monotonicNow();
    // One at a time: a timer's work may add or cancel others.
    while (!timers_.empty() && !quit_) {
        auto first = timers_.begin();
        if (first->first.first > now) break;
        Callback work = std::move(first->second);
        deadlines_.erase(first->first.second);
        timers_.erase(first);
        work();
    }
}

void EventLoop::settle() {
    do {
        runPosted();
        for (std::size_t i = 0; i < hooks_.size() && !quit_; ++i) hooks_[i]();
    } while (!quit_ && hasPostedWork());
}

void EventLoop::armTimer() {
    const double next = timers_.empty() ? -1 : timers_.begin()->first.first;
    if (next == armedFor_) return;
    armedFor_ = next;
    itimerspec spec{};
    if (next >= 0) {
        // Zero would disarm: a deadline already past fires at the next tick.
        const double at = std::max(next, 1e-9);
        spec.it_value.tv_sec = static_cast<time_t>(at);
        spec.it_value.tv_nsec = static_cast<long>(std::ceil((at - std::floor(at)) * 1e9));
        if (spec.it_value.tv_nsec >= 1'000'000'000) {
            spec.it_value.tv_sec += 1;
            spec.it_value.tv_nsec -= 1'000'000'000;
        }
        if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0) spec.it_value.tv_nsec = 1;
    }
    ::timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &spec, nullptr);
}

}  // namespace tessaline
