#pragma once
// The shared test bed of engine scenarios: a simulated desktop with one
// 1440×900 display, in-memory preferences, a session store that never touches
// the disk, and a WindowManager built on first use from `config`.
//
//     TEST_F(Scenario, NewWindowsTile) {
//         const WindowID a = openWindow("Mail", "Inbox");
//         start();
//         EXPECT_EQ(strip(primaryKey()).count(), 1);
//     }
//
// Edit `config` (or add displays through `desk`) before the first call to
// manager() or start(). Log collection is on, at debug level, and cleared for
// every test.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Strip.h"
#include "engine/wm/Animator.h"
#include "engine/settings/Config.h"
#include "engine/settings/Defaults.h"
#include "engine/log/Log.h"
#include "engine/wm/ManagedWindow.h"
#include "engine/session/SessionStore.h"
#include "engine/wm/WindowManager.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimFrameWriter.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimOverlays.h"
#include "platform/sim/SimScheduler.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline {

class Scenario : public ::testing::Test {
protected:
    Scenario() {
        LogStore::shared().clear();
        LogStore::shared().setCollectsDebug(true);
        primary = desk.addDisplay(Rect{0, 0, 1440, 900}, "Built-in");
    }

    ~Scenario() override {
        // Detail logging is process-wide; leave it as the next test expects.
        Log::detailed = false;
    }

    // -- the engine
    WindowManager& manager() {
        if (!wm_) {
            wm_ = WindowManager::create(config, *desk.system(), *desk.writer(), *desk.input(),
                                        *desk.scheduler(), *desk.overlays(), sessionStore,
                                        defaults);
        }
        return *wm_;
    }
    std::shared_ptr<WindowManager> managerPtr() {
        manager();
        return wm_;
    }
    // Drops the manager while the desktop lives on (late answers must find nothing).
    void destroyManager() { wm_.reset(); }

    // Starts tiling and lets discovery and the first layout finish.
    void start() {
        manager().start();
        settle();
    }
    void settle(double seconds = 2.0) { desk.advance(seconds); }

    // -- the platform objects, as the simulation sees them
    SimWindowSystem& system() { return *desk.system(); }
    SimFrameWriter& writer() { return *desk.writer(); }
    SimInput& input() { return *desk.input(); }
    SimOverlays& overlays() { return *desk.overlays(); }
    SimScheduler& scheduler() { return *desk.scheduler(); }

    // -- applications and windows
    // The application called `name` (bundle "com.example.<name>"), launched on first mention.
    ProcessID app(const std::string& name) {
        auto found = apps_.find(name);
        if (found != apps_.end()) return found->second;
        const ProcessID pid = desk.launchApp(name, "com.example." + name);
        apps_[name] = pid;
        return pid;
    }
    WindowID openWindow(const std::string& appName, const std::string& title = {},
                        Rect frame = {100, 100, 800, 600}) {
        return desk.openWindow(app(appName), title, frame);
    }

    // A window the tracker never sees (its application is not a regular one,
    // so it is never connected), tiled by hand into `key`, or the strip of the
    // display it stands on, right of the focused column and focused. Lets a
    // test drive the manager's own operations without depending on discovery.
    WindowPtr manage(const std::string& appName, Rect frame = {100, 100, 800, 600},
                     std::optional<StripKey> key = {}) {
        auto found = apps_.find(appName);
        ProcessID pid = 0;
        if (found != apps_.end()) {
            pid = found->second;
        } else {
            AppSpec desc;
            desc.name = appName;
            desc.bundleID = "com.example." + appName;
            desc.regular = false;
            pid = apps_[appName] = desk.launchApp(desc);
        }
        const WindowID id = desk.openWindow(pid, appName + " window", frame);
        WindowManager& wm = manager();
        auto window = std::make_shared<ManagedWindow>(id, pid, desk.handleOf(id),
                                                      "com.example." + appName, appName,
                                                      appName + " window");
        wm.windows[id] = window;
        wm.handles[window->handle] = id;
        window->state = ManagedWindow::State::tiled;
        window->key = key ? *key : keyOf(displayUnder(frame.centre()));
        wm.insert(*window, true);
        return window;
    }

    std::optional<Rect> frameOf(WindowID id) const { return desk.frameOf(id); }
    // The desktop's display under a point, else the primary one (the manager
    // knows no displays before it starts).
    std::string displayUnder(Point point) const {
        for (const Display& display : desk.displays()) {
            if (display.frame.contains(point)) return display.uuid;
        }
        return primary;
    }

    // -- strips
    StripKey primaryKey() const { return keyOf(primary); }
    StripKey keyOf(const std::string& uuid) const { return {uuid, desk.currentSpace(uuid)}; }
    // The strip under `key`, or an empty one.
    Strip strip(const StripKey& key) {
        auto& strips = manager().strips;
        auto found = strips.find(key);
        return found == strips.end() ? Strip{} : found->second;
    }
    // The windows of a strip, column by column, top to bottom.
    std::vector<WindowID> order(const StripKey& key) { return strip(key).windows(); }
    void relayoutAll() {
        WindowManager& wm = manager();
        wm.relayout(wm.activeKeys(), false, WindowManager::ScrollPolicy::reveal, true, false);
    }

    // -- log
    // Messages recorded in a category, oldest first.
    static std::vector<std::string> logLines(std::string_view category) {
        std::vector<std::string> lines;
        for (const LogRecord& record : LogStore::shared().records()) {
            if (record.category == category) lines.push_back(record.message);
        }
        return lines;
    }
    static bool logged(std::string_view category, const std::string& message) {
        for (const std::string& line : logLines(category)) {
            if (line == message) return true;
        }
        return false;
    }

    SimDesktop desk;
    MemoryDefaults defaults;
    SessionStore sessionStore{std::nullopt, *desk.scheduler(), makeInlineWorker()};
    Config config;
    std::string primary;  // UUID of the built-in display

private:
    std::map<std::string, ProcessID> apps_;
    // Declared last: the manager goes before the platform objects it refers to.
    std::shared_ptr<WindowManager> wm_;
};

}  // namespace tessaline
