#pragma once
// The session file and its writer. Saves are debounced on the main thread;
// the snapshot is taken there and only the finished value crosses to the
// worker, which writes files one after the other, each atomically (a reader
// never sees a half-written file).

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "core/SavedSession.h"
#include "engine/settings/AtomicFile.h"
#include "engine/platform/Platform.h"

namespace tessaline {

// Where file writes run, in submission order. The program uses one
// background thread; tests run the work inline and deterministically.
class SessionWorker {
public:
    virtual ~SessionWorker() = default;
    virtual void submit(std::function<void()> work) = 0;
    // Blocks until everything submitted so far has run.
    virtual void wait() = 0;
};

// The engine's only thread: a serial queue named "tessaline.session".
std::shared_ptr<SessionWorker> makeThreadWorker();
// Runs each piece of work at once, inside submit().
std::shared_ptr<SessionWorker> makeInlineWorker();

class SessionStore {
public:
    // Debounce of scheduleSave: one write this long after the last request.
    static constexpr double saveDelay = 1.0;

    // Without a location the store neither reads nor writes. With one, its
    // parent folder is created (a failure is ignored).
    SessionStore(std::optional<std::filesystem::path> url, Scheduler& scheduler,
                 std::shared_ptr<SessionWorker> worker = makeThreadWorker());
    ~SessionStore();
    SessionStore(const SessionStore&) = delete;
    SessionStore& operator=(const SessionStore&) = delete;

    // "Tessaline/session.json" under $XDG_DATA_HOME, or ~/.local/share.
    static std::optional<std::filesystem::path> defaultURL();

    const std::optional<std::filesystem::path>& url() const { return url_; }

    // The saved session; absent when there is no location, no file, or the
    // file cannot be read or decoded.
    std::optional<SavedSession> read() const;
    // Cancels a pending save and schedules a new one `saveDelay` seconds from
    // now; when it fires, `snapshot` is called on the main thread and the
    // result is written by the worker. A snapshot that comes back absent
    // (its owner is gone) writes nothing, so the file is never emptied by a
    // save that outlived the window manager.
    void scheduleSave(std::function<std::optional<SavedSession>()> snapshot);
    bool hasPendingSave() const { return pending_ != nullptr; }
    // Cancels any pending save and writes synchronously, after any write
    // already queued.
    void saveNow(const SavedSession& session);

    // Handed to every write (see writeFileAtomically): lets a test stop a
    // write between the temporary file and the rename. Set it on the main
    // thread; each write takes the value current when it was queued.
    BeforeRename beforeRename;

private:
    void cancelPending();
    void write(SavedSession session);

    std::optional<std::filesystem::path> url_;
    Scheduler& scheduler_;
    std::shared_ptr<SessionWorker> worker_;
    std::shared_ptr<ScheduledTask> pending_;
    // Pending saves hold this weakly and do nothing once the store is gone.
    std::shared_ptr<SessionStore*> self_;
};

}  // namespace tessaline
