#include "engine/session/SessionStore.h"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace tessaline {

namespace fs = std::filesystem;

namespace {

// Work that throws must neither kill the writer thread nor escape into the
// main thread: a lost write is the worst a failed save may cause.
void runQuietly(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
    }
}

class InlineWorker final : public SessionWorker {
public:
    void submit(std::function<void()> work) override { runQuietly(work); }
    void wait() override {}
};

// The serial queue "tessaline.session": one thread, work in submission order.
class ThreadWorker final : public SessionWorker {
public:
    ThreadWorker() : thread_([this] { run(); }) {}

    // Whatever was queued still runs: a save handed over just before quitting
    // must reach the disk.
    ~ThreadWorker() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    void submit(std::function<void()> work) override {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
            ++submitted_;
        }
        wake_.notify_all();
    }

    void wait() override {
        std::unique_lock lock(mutex_);
        const std::uint64_t target = submitted_;
        done_.wait(lock, [&] { return finished_ >= target; });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping, and nothing left to write
            std::function<void()> work = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            runQuietly(work);
            lock.lock();
            ++finished_;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::function<void()>> queue_;
    std::uint64_t submitted_ = 0;
    std::uint64_t finished_ = 0;
    bool stopping_ = false;
    std::thread thread_;  // last: started once everything above exists
};

std::optional<fs::path> absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    fs::path path(value);
    // A relative value would put the session wherever the program was started.
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

std::optional<std::string> readWholeFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // A folder opens fine on some systems and then fails on the first read.
    if (file.bad()) return std::nullopt;
    return text;
}

}  // namespace

std::shared_ptr<SessionWorker> makeThreadWorker() {
    try {
        return std::make_shared<ThreadWorker>();
    } catch (const std::system_error&) {
        // No thread to be had: writing on the main thread beats not saving.
        return std::make_shared<InlineWorker>();
    }
}

std::shared_ptr<SessionWorker> makeInlineWorker() { return std::make_shared<InlineWorker>(); }

SessionStore::SessionStore(std::optional<fs::path> url, Scheduler& scheduler,
                           std::shared_ptr<SessionWorker> worker)
    : url_(std::move(url)),
      scheduler_(scheduler),
      worker_(worker ? std::move(worker) : makeInlineWorker()),
      self_(std::make_shared<SessionStore*>(this)) {
    if (url_ && url_->has_parent_path()) {
        std::error_code ignored;
        fs::create_directories(url_->parent_path(), ignored);
    }
}

SessionStore::~SessionStore() {
    cancelPending();
    // Queued writes capture only their own values, but the program may be
    // about to exit: let them finish first.
    worker_->wait();
}

std::optional<fs::path> SessionStore::defaultURL() {
    std::optional<fs::path> base = absoluteFromEnvironment("XDG_DATA_HOME");
    if (!base) {
        if (auto home = absoluteFromEnvironment("HOME")) base = *home / ".local" / "share";
    }
    if (!base) return std::nullopt;
    return *base / "Tessaline" / "session.json";
}

std::optional<SavedSession> SessionStore::read() const {
    if (!url_) return std::nullopt;
    try {
        auto text = readWholeFile(*url_);
        if (!text) return std::nullopt;
        return decodeSession(*text);
    } catch (...) {
        // Out of memory on an absurdly large file: start empty like any bad file.
        return std::nullopt;
    }
}

void SessionStore::cancelPending() {
    if (pending_) pending_->cancel();
    pending_.reset();
}

void SessionStore::scheduleSave(std::function<std::optional<SavedSession>()> snapshot) {
    cancelPending();
    if (!url_ || !snapshot) return;
    std::weak_ptr<SessionStore*> weak = self_;
    pending_ = scheduler_.after(saveDelay, [weak, snapshot = std::move(snapshot)] {
        auto self = weak.lock();
        if (!self) return;
        SessionStore& store = **self;
        store.pending_.reset();
        if (auto session = snapshot()) store.write(std::move(*session));
    });
}

void SessionStore::saveNow(const SavedSession& session) {
    cancelPending();
    if (!url_) return;
    write(session);
    worker_->wait();
}

// Only finished values cross to the worker; encoding happens there too so
// the main thread pays nothing but the snapshot.
void SessionStore::write(SavedSession session) {
    worker_->submit([path = *url_, session = std::move(session), hook = beforeRename] {
        const std::string text = encodeSession(session);
        // An empty text is a failed encoding, not a session: keep the old file.
        if (text.empty()) return;
        writeFileAtomically(path, text, hook);
    });
}

}  // namespace tessaline
