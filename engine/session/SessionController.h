#pragma once
// Keeps the saved session in step with the live strips: reads it at start,
// saves a second after changes and synchronously at stop, puts saved layouts
// back onto strips seen for the first time, and remembers per combination of
// displays which strips were showing.

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/SavedSession.h"
#include "core/Strip.h"
#include "engine/platform/Platform.h"

namespace tessaline {

class WindowManager;
class SessionStore;

class SessionController {
public:
    // Saved strips older than this are dropped at start; setups live longer.
    static constexpr double stripLifetime = 2'592'000;  // 30 days
    static constexpr double setupLifetime = 7'776'000;  // 90 days

    SessionController(WindowManager& manager, SessionStore& store);
    ~SessionController();
    SessionController(const SessionController&) = delete;
    SessionController& operator=(const SessionController&) = delete;

    // Saved strips read at start that no live strip has claimed yet.
    std::vector<SavedStrip> unseen;
    // Strips that have already been offered a restore.
    std::unordered_set<StripKey> seen;
    // Remembered display combinations.
    std::vector<SavedSetup> setups;

    // Wall-clock time for the saved timestamps; the system clock unless a test sets it.
    std::function<Timestamp()> clock;

    void begin();
    void end();
    void restoreNewStrips();
    void rememberSetup(const std::vector<Display>& displays,
                       const std::unordered_map<std::string, SpaceID>& spaces);
    void restoreSetup(const std::vector<Display>& displays);
    void scheduleSave();
    SavedSession snapshot() const;

private:
    Timestamp now() const;
    SavedStrip save(const StripKey& key, const Strip& strip, Timestamp now) const;
    // The non-empty strip under `key`, or null.
    const Strip* liveStrip(const StripKey& key) const;
    std::vector<LiveWindow> liveWindows(const std::vector<WindowID>& ids) const;

    WindowManager& manager_;
    SessionStore& store_;
    std::shared_ptr<SessionController*> self_;
};

}  // namespace tessaline
