#pragma once
// The engine's central object. It owns every piece of engine state: the
// window records, one strip per display and Space, the display list and the
// Space each display shows, the learned minimum widths, the focused window
// and the active strip. Its controllers are created on first use, refer back
// to it and keep only their own transient state.
//
// Create it with WindowManager::create: deferred callbacks hold it weakly
// and do nothing once it is gone. Everything runs on the main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Layout.h"
#include "core/Strip.h"
#include "engine/actions/Action.h"
#include "engine/settings/Config.h"
#include "engine/wm/ManagedWindow.h"
#include "engine/platform/Platform.h"

namespace tessaline {

class Animator;
class ChordController;
class Defaults;
class DragController;
class FocusController;
class ScrollController;
class SessionController;
class SessionStore;
class WindowTracker;

using WindowPtr = std::shared_ptr<ManagedWindow>;

class WindowManager : public std::enable_shared_from_this<WindowManager> {
    // Declared first: the public `animator` reference is bound to it.
    std::unique_ptr<Animator> animator_;

public:
    // How a relayout treats the strip's scroll offset.
    enum class ScrollPolicy {
        reveal,  // bring the focused column into view with the configured centre mode
        keep,    // leave the scroll where it is, only clamped to the strip
        nudge,   // bring the focused column into view without ever centring
        none,    // do not touch the scroll
    };

    // What the overlays need to draw one tab bar.
    struct TabBar {
        StripKey key;
        int column = 0;
        std::vector<WindowID> ids;
        std::vector<std::string> titles;
        int active = 0;
        friend bool operator==(const TabBar&, const TabBar&) = default;
    };

    // Height of the tab bar above the windows of a tabbed column.
    static constexpr double tabBarHeight = 26;

    // The platform objects must outlive the manager.
    static std::shared_ptr<WindowManager> create(Config config, WindowSystem& system,
                                                 FrameWriting& writer, InputSource& input,
                                                 Scheduler& scheduler, OverlayPresenter& overlays,
                                                 SessionStore& session, Defaults& defaults);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // ---- stored state
    bool running = false;
    std::unordered_map<WindowID, WindowPtr> windows;
    std::unordered_map<StripKey, Strip> strips;
    std::vector<Display> displays;  // the first is the primary display
    Config config;
    MinWidths minWidths;
    // Widths of tiled windows that stayed narrower than the size last written
    // (fixed-size windows, mostly): parking at the left edge must use them, or
    // the sliver meant to stay on the display lies outside it.
    std::unordered_map<WindowID, double> narrowWidths;
    std::optional<WindowID> focusedID;
    std::optional<StripKey> activeKey;
    std::unordered_map<std::string, SpaceID> currentSpace;  // display UUID -> Space shown
    std::unordered_map<WindowHandle, WindowID> handles;
    double lastClick = 0;
    Point lastClickPoint{-1, -1};

    WindowSystem& system;
    FrameWriting& writer;
    InputSource& input;
    Scheduler& scheduler;
    OverlayPresenter& overlays;
    SessionStore& sessionStore;
    Defaults& defaults;
    Animator& animator;

    // Changes at every start and stop: work begun in one run checks it and
    // does nothing in a later one.
    std::uint64_t generation() const { return generation_; }

    // Created on first access.
    WindowTracker& tracker();
    FocusController& focus();
    DragController& drag();
    ScrollController& scroll();
    ChordController& chord();
    SessionController& session();

    // Called after start, stop and displaysChanged (the status menu listens).
    std::function<void()> onChange;

    // ---- lifecycle
    void start();
    void stop();
    void toggle();
    void apply(Config newConfig);
    void retile();

    // ---- events
    void handle(const SystemEvent& event);
    void handle(const InputEvent& event);
    void spaceChanged();
    void displaysChanged();

    // ---- layout
    void relayout(const std::vector<StripKey>& keys, bool animated, ScrollPolicy scroll,
                  bool refreshOverlays, bool follow, std::optional<WindowID> excluding = {},
                  std::optional<double> duration = {});
    // A tiled window changed its own size: its column takes the new width.
    // `before` is the column as it was before the change, when known.
    void adoptSize(Rect frame, WindowID id, Strip& strip, const Display& display,
                   const Column* before = nullptr);
    void send(WindowID id, Rect frame, bool includeSize);
    std::optional<Rect> shownFrame(WindowID id) const;
    void checkSizes(const std::vector<StripKey>& keys, double after, int attempts);
    void checkSize(WindowID id, int attempts);
    void noteResize(WindowID id, Size asked, Size got);
    void releaseAll();

    // ---- displays and strips
    void refreshSpaces();
    void reconcileSpaces();
    std::optional<Display> displayByUUID(const std::string& uuid) const;
    std::optional<Display> displayAt(Point point) const;
    std::optional<Display> displayFor(Rect rect) const;
    StripKey keyOn(const Display& display) const;
    bool isActive(const StripKey& key) const;
    std::optional<StripKey> currentKey() const;
    std::vector<StripKey> activeKeys() const;
    // The layout settings every relayout uses (gap, centre mode, 26-point tab bar).
    LayoutConfig layoutConfig() const;

    // ---- windows
    void insert(ManagedWindow& window, bool focus, std::optional<int> at = {},
                std::optional<double> width = {});
    void insertNew(ManagedWindow& window, bool focus);
    void rememberSlot(ManagedWindow& window);
    void insertAtSlot(ManagedWindow& window, bool focus);
    std::optional<StripKey> removeFromStrip(ManagedWindow& window);
    // The record of a window id, or null.
    WindowPtr windowRecord(WindowID id) const;

    // ---- actions
    void perform(Action action);
    void toggleOverview();
    void toggleFloat();
    void toggleFloat(const WindowPtr& window);
    void sendToNextDisplay();
    void focusWindow(WindowID id, const StripKey& key);
    void focusColumn(int index, const StripKey& key);
    void selectTab(const StripKey& key, int column, int index);
    void drop(WindowID id, const DropTarget& target, const StripKey& key);

    // ---- queries
    int tiledCount() const;
    std::optional<WindowID> focusedTiledWindow() const;
    // The window being dragged, absent when none.
    std::optional<WindowID> dragging() const;
    std::vector<TabBar> tabBars() const;
    void resetChord();
    // The dictionary printed by the `state` command (titles true) and kept in
    // diagnostics (titles false). Completes after every window's frame has
    // been read, or after 1.5 s at the latest, exactly once.
    void debugState(bool titles, std::function<void(const nlohmann::json&)> completion);

    // What holds of the manager's state whatever the user and the
    // applications did: strips are well formed, a window sits in at most one
    // strip, strips hold only tiled windows whose key is theirs, tiled windows
    // have a key, frames sent are finite, and a stopped manager holds nothing.
    // Names the first rule found broken ("rule: detail"); absent when all hold.
    std::optional<std::string> checkInvariants() const;

    // The input options derived from a configuration.
    static InputOptions inputOptions(const Config& config);

private:
    struct Token {};

public:
    WindowManager(Token, Config config, WindowSystem& system, FrameWriting& writer,
                  InputSource& input, Scheduler& scheduler, OverlayPresenter& overlays,
                  SessionStore& session, Defaults& defaults);

private:
    void wire();
    void handleSystemEvent(const SystemEvent& event);
    void noteNarrowWidth(const ManagedWindow& window, Size asked, Size got);

    std::unique_ptr<WindowTracker> tracker_;
    std::unique_ptr<FocusController> focus_;
    std::unique_ptr<DragController> drag_;
    std::unique_ptr<ScrollController> scroll_;
    std::unique_ptr<ChordController> chord_;
    std::unique_ptr<SessionController> session_;
    // Scratch space reused by every relayout, so a swipe does not allocate per step.
    std::vector<Placement> placementBuffer_;
    // Counts starts and stops: an answer that belongs to an earlier run finds
    // another number and is dropped.
    std::uint64_t generation_ = 0;
};

}  // namespace tessaline
