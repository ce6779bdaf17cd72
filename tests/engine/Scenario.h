#pragma once
// The shared test bed of engine scenarios: a simulated desktop with one
// 1440×900 display, in-memory preferences, a session store that never touches
// the disk, and a WindowManager built on first use from `config`.
//
//     TEST_F(Scenario, NewWindowsTile) {
//         tile(2);
//         act(Action::focusLast);
//         EXPECT_EQ(text(), "[1] [2*]p");
//     }
//
// Edit `config` (or add displays through `desk`) before the first call to
// manager() or start(). Every helper that lets time pass checks the manager's
// invariants afterwards, and so does the end of every test. Log collection is
// on, at debug level, and cleared for every test.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Strip.h"
#include "engine/log/Log.h"
#include "engine/session/SessionStore.h"
#include "engine/settings/Config.h"
#include "engine/settings/Defaults.h"
#include "engine/wm/Animator.h"
#include "engine/wm/ManagedWindow.h"
#include "engine/wm/WindowManager.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimFrameWriter.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimOverlays.h"
#include "platform/sim/SimScheduler.h"
#include "platform/sim/SimWindowSystem.h"
#include "tests/core/StripText.h"

namespace tessaline {

inline void PrintTo(const StripKey& key, std::ostream* out) { *out << key.display << "/" << key.space; }

class Scenario : public ::testing::Test {
protected:
    using State = ManagedWindow::State;

    Scenario() {
        LogStore::shared().clear();
        LogStore::shared().setCollectsDebug(true);
        primary = desk.addDisplay(Rect{0, 0, 1440, 900}, "Built-in");
    }
    ~Scenario() override { Log::detailed = false; }  // process-wide; left as the next test expects
    void TearDown() override { expectSound(); }

    // -- the engine
    WindowManager& manager() {
        if (!wm_) {
            wm_ = WindowManager::create(config, *desk.system(), *desk.writer(), *desk.input(),
                                        *desk.scheduler(), *desk.overlays(), *store, defaults);
        }
        return *wm_;
    }
    // Drops the manager while the desktop lives on (late answers must find nothing).
    // For what holds the manager weakly, as the command line does.
    std::shared_ptr<WindowManager> managerPtr() {
        manager();
        return wm_;
    }
    void destroyManager() { wm_.reset(); }
    void expectSound() {
        if (!wm_) return;
        if (auto broken = wm_->checkInvariants()) ADD_FAILURE() << *broken;
    }
    // Starts tiling and lets discovery and the first layout finish.
    void start() {
        manager().start();
        settle();
    }
    void settle(double seconds = 2.0) {
        desk.advance(seconds);
        expectSound();
    }
    void act(Action action) {
        manager().perform(action);
        settle();
    }
    void relayoutAll() {
        manager().relayout(manager().activeKeys(), false, WindowManager::ScrollPolicy::reveal, true, false);
    }

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
        return apps_[name] = desk.launchApp(name, "com.example." + name);
    }
    WindowID openWindow(const std::string& appName, const std::string& title = {},
                        Rect frame = {100, 100, 800, 600}) {
        return desk.openWindow(app(appName), title, frame);
    }
    // One window each of `count` applications, left to right, then tiling
    // starts: window i + 1 is the i-th column, the first one focused.
    std::vector<WindowID> tile(int count, double width = 0.5) {
        config.defaultWidth = width;
        static const char* names[] = {"Mail", "Notes", "Safari", "Music", "Maps", "Photos"};
        std::vector<WindowID> ids;
        for (int i = 0; i < count; ++i) ids.push_back(openWindow(names[i], "", {100.0 + 150 * i, 100, 600, 500}));
        start();
        return ids;
    }

    // A window the tracker never sees (its application is not a regular one,
    // so it is never connected), tiled by hand into `key`, or the strip of the
    // display it stands on, right of the focused column and focused. Lets a
    // test drive the manager's own operations without depending on discovery.
    WindowPtr manage(const std::string& appName, Rect frame = {100, 100, 800, 600},
                     std::optional<StripKey> key = {}) {
        if (!apps_.count(appName)) {
            apps_[appName] =
                desk.launchApp(AppSpec{.name = appName, .bundleID = "com.example." + appName, .regular = false});
        }
        const ProcessID pid = apps_[appName];
        const WindowID id = desk.openWindow(pid, appName + " window", frame);
        WindowManager& wm = manager();
        auto window = std::make_shared<ManagedWindow>(id, pid, desk.handleOf(id), "com.example." + appName,
                                                      appName, appName + " window");
        wm.windows[id] = window;
        wm.handles[window->handle] = id;
        window->state = State::tiled;
        window->key = key ? *key : keyOf(displayUnder(frame.centre()));
        wm.insert(*window, true);
        return window;
    }

    WindowPtr record(WindowID id) { return manager().windowRecord(id); }
    std::optional<State> stateOf(WindowID id) {
        const WindowPtr window = record(id);
        return window ? std::optional<State>(window->state) : std::nullopt;
    }
    std::string tag(WindowID id) { return record(id)->tag(); }
    std::optional<Rect> frameOf(WindowID id) const { return desk.frameOf(id); }
    Rect laidOut(WindowID id) const { return *desk.frameOf(id); }
    std::optional<Rect> target(WindowID id) { return manager().animator.target(id); }
    // The window stands where the engine means it to.
    bool inPlace(WindowID id) { return frameOf(id) && frameOf(id) == target(id); }
    // The desktop's display under a point, else the primary one (the manager
    // knows no displays before it starts).
    std::string displayUnder(Point point) const {
        for (const Display& display : desk.displays()) {
            if (display.frame.contains(point)) return display.uuid;
        }
        return primary;
    }
    // Writes the engine made to one window since the history was last cleared.
    std::vector<SimFrameWriter::WriteRecord> writesTo(WindowID id) {
        std::vector<SimFrameWriter::WriteRecord> result;
        for (const auto& record : writer().history()) {
            if (record.window == id) result.push_back(record);
        }
        return result;
    }

    // -- input, as the user gives it; each step lets a moment pass
    void press(Point at, int button = 0) {
        input().movePointer(at);
        input().pressButton(button);
        settle(0.05);
    }
    // Grabs a window by its title bar and starts pulling it (its first point
    // of travel starts the drag).
    void grabTitle(WindowID id) {
        grabbed = laidOut(id);
        grabPoint = {grabbed.midX(), grabbed.minY() + 10};
        press(grabPoint);
        dragTo(id, {grabPoint.x + 1, grabPoint.y});
    }
    // The pointer goes to `to` and the grabbed window travels along with it.
    void dragTo(WindowID id, Point to) {
        input().movePointer(to);
        desk.setFrame(id, {grabbed.x + to.x - grabPoint.x, grabbed.y + to.y - grabPoint.y, grabbed.width,
                           grabbed.height});
        settle(0.1);
    }
    void grabRightEdge(WindowID id) {
        grabbed = laidOut(id);
        grabPoint = {grabbed.maxX() - 1, grabbed.midY()};
        press(grabPoint);
    }
    void resizeTo(WindowID id, double width, double height) {
        desk.setFrame(id, {grabbed.x, grabbed.y, width, height});
        settle(0.1);
    }
    void release(double seconds = 1.0) {
        input().releaseButton();
        settle(seconds);
    }

    // -- strips
    StripKey primaryKey() const { return keyOf(primary); }
    StripKey keyOf(const std::string& uuid) const { return {uuid, desk.currentSpace(uuid)}; }
    // The strip under `key`, or an empty one.
    Strip strip(const StripKey& key) {
        auto found = manager().strips.find(key);
        return found == manager().strips.end() ? Strip{} : found->second;
    }
    Strip strip() { return strip(primaryKey()); }
    std::string text(const StripKey& key) { return stripText(strip(key)); }
    std::string text() { return text(primaryKey()); }
    // The windows of a strip, column by column, top to bottom.
    std::vector<WindowID> order(const StripKey& key) { return strip(key).windows(); }
    std::vector<WindowID> order() { return order(primaryKey()); }
    // Replaces a strip by the one the text describes, scrolled as it was,
    // and lays it out (the windows must be tracked and tiled there already).
    void setStrip(const std::string& text, std::optional<StripKey> key = {}) {
        Strip& strip = manager().strips[key.value_or(primaryKey())];
        const double scroll = strip.scroll;
        strip = parseStrip(text);
        strip.scroll = scroll;
        relayoutAll();
        settle(1.0);
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
    static int logCount(std::string_view category, const std::string& message) {
        int n = 0;
        for (const std::string& line : logLines(category)) n += line == message;
        return n;
    }
    static bool logged(std::string_view category, const std::string& message) {
        return logCount(category, message) > 0;
    }

    SimDesktop desk;
    MemoryDefaults defaults;
    SessionStore sessionStore{std::nullopt, *desk.scheduler(), makeInlineWorker()};
    SessionStore* store = &sessionStore;  // the store the next manager is made with
    Config config;
    std::string primary;  // UUID of the built-in display
    Rect grabbed;         // the grabbed window's frame when it was grabbed
    Point grabPoint;

private:
    std::map<std::string, ProcessID> apps_;
    // Declared last: the manager goes before the platform objects it refers to.
    std::shared_ptr<WindowManager> wm_;
};

}  // namespace tessaline
