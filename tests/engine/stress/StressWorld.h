#pragma once
// One randomized scenario: a simulated desktop, a window manager running on
// it, and the driver's own memory of what it did to the desktop (which
// windows it opened and of what kind, which applications misbehaved when).
//
// Operations are recorded as plain values whose selectors are resolved only
// when they run ("the k-th live window, modulo how many there are"), so that
// a sequence with operations cut out still replays into something sensible:
// that is what lets a failing run be shrunk.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/settings/Config.h"
#include "engine/settings/Defaults.h"
#include "engine/session/SessionStore.h"
#include "engine/wm/WindowManager.h"
#include "platform/sim/SimDesktop.h"

namespace tessaline::stress {

using Rng = std::mt19937_64;

enum class OpKind : std::uint8_t {
    // applications
    launchApp, quitApp, hideApp, showApp, activateApp, hangApp, recoverApp,
    refuseWrites, acceptWrites, refuseFocus, stallActivation, setLatency,
    // windows
    openStandard, openDialog, openFixed, openRefusing, openOnOtherSpace, openOnTwoSpaces,
    openOdd, closeWindow, minimizeWindow, restoreWindow, enterFullScreen, leaveFullScreen,
    resizeItself, moveItself, refuseSizes, changeTitle, moveToSpace, appFocusesWindow,
    raiseWindow,
    // displays and Spaces
    addDisplay, removeDisplay, resizeDisplay, rearrangeDisplays, addSpace, switchSpace,
    reduceMotion,
    // the engine's own commands
    perform, focusWindowIn, focusColumnIn, selectTab, timelineDrop, retile, stop, start,
    toggle, askState,
    // settings
    setGap, setCentreMode, setRules, disableDisplay, setAnimation, setInputSettings,
    setWidths,
    // input
    click, movePointer, swipeBegin, swipeMove, swipeEnd, scrollBegin, scrollMove, scrollEnd,
    wheel, chordDown, chordUp, pressKey, pressOnWindow, dragMove, dragToDisplay, release,
    // time
    wait, settle,
    count_
};

std::string toString(OpKind kind);

struct Op {
    OpKind kind = OpKind::wait;
    std::uint32_t a = 0;  // selectors and small choices, resolved when the op runs
    std::uint32_t b = 0;
    double x = 0;         // fractions in [0, 1), scaled by the op
    double y = 0;
    double dt = 0;        // virtual seconds that pass after the op
    friend bool operator==(const Op&, const Op&) = default;
};

// A random operation; every kind has a chance, some more than others.
Op randomOp(Rng& rng);
// "kind a=.. b=.. x=.. y=.. dt=..": enough to rebuild the op.
std::string describe(const Op& op);

// What the driver remembers about a window it opened.
struct WindowNote {
    ProcessID pid = 0;
    WindowKind kind = WindowKind::standard;
    bool hasNumber = true;
    bool troubled = false;  // its application misbehaved while the window lived
    // The window was moved or resized by its application or by the user
    // without the engine necessarily being told (the platform reports moves
    // only during drags, and resizes are ignored while the button is held):
    // its frame is its own until the engine next writes a position / a size.
    bool dragged = false;  // it was dragged, by the user or by a press it moved under
    bool displacedPosition = false;
    bool displacedSize = false;
    // The window did not take the size last written to it (a minimum size);
    // the engine sends a size once and does not insist, so the window keeps
    // its own until the next size is written.
    bool sizeRefused = false;
};

// What the driver remembers about an application it launched.
struct AppNote {
    bool troubledNow = false;     // hung or refusing writes at the moment
    double troubleEnded = -1;     // when it last stopped misbehaving; -1: never troubled
    bool everTroubled = false;
};

class World {
public:
    // The same seed builds the same starting desktop and settings. A rich
    // world has two displays, fixed settings and eight ordinary windows.
    explicit World(std::uint64_t seed, bool rich = false);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Runs one operation; returns a short account of what it did when
    // `explain` is set (replays of a shrunk failure), else an empty string.
    std::string run(const Op& op, bool explain = false);
    void advance(double seconds);

    // No button, gesture or chord is held: the settled checks apply.
    bool inputIdle() const;

    SimDesktop desk;
    MemoryDefaults defaults;
    std::filesystem::path folder;  // holds the session file of this world
    std::unique_ptr<SessionStore> store;
    Config config;
    std::shared_ptr<WindowManager> wm;

    std::map<WindowID, WindowNote> notes;
    std::map<ProcessID, AppNote> appNotes;
    // When each window's animator target was last seen to change (checks only
    // trust a frame when its target was set while the application behaved).
    std::map<WindowID, std::pair<Rect, double>> targetSeen;
    // Tiled windows in no strip yet (a discovery is adopting them), and since when.
    std::map<WindowID, double> limbo;
    double lastStepStart = 0;

    // Input in progress.
    std::optional<WindowID> held;   // the window pressed on, left button down
    bool heldEdge = false;          // pressed on its right edge: the drag resizes
    Point grab{};                   // pointer offset from the window's origin
    bool swiping = false;
    bool scrolling = false;
    bool chord = false;

    // Filled by a stop: windows that were tiled and where they had to go.
    struct Released {
        WindowID id = 0;
        Rect area;
        Rect before;  // where it was when tiling stopped
    };
    std::optional<std::vector<Released>> released;
    bool displaysInSync = true;  // the engine's display list matched the desktop's at the stop

    // Answers to askState: asked minus answered is checked to settle at zero.
    int stateAsked = 0;
    int stateAnswered = 0;
    int stateAnsweredTwice = 0;

    std::uint64_t steps = 0;
    std::string sessionSeen;  // the last session file seen to decode

private:
    void buildRich();
    std::vector<ProcessID> liveApps() const;
    std::vector<WindowID> liveWindows() const;
    std::vector<WindowID> tiledWindows() const;
    std::optional<ProcessID> pickApp(std::uint32_t selector) const;
    std::optional<WindowID> pickWindow(std::uint32_t selector) const;
    std::optional<WindowID> pickTiled(std::uint32_t selector) const;
    std::optional<std::string> pickDisplay(std::uint32_t selector) const;
    Rect randomFrame(std::uint32_t selector, double x, double y) const;
    WindowID open(const Op& op, WindowSpec desc);
    void markTrouble(ProcessID pid, bool troubled);
    void displace(WindowID id, const Rect& before);
    void stopEngine(const std::function<void()>& how);
    void changeConfig(const std::function<void(Config&)>& edit);
    void endInput();
    std::string perform(const Op& op, bool explain);
    std::string input(const Op& op, bool explain);
    std::string settings(const Op& op, bool explain);
    std::string displays(const Op& op, bool explain);
    std::string windows(const Op& op, bool explain);
    std::string apps(const Op& op, bool explain);

    std::uint64_t seed_;
    std::size_t historySeen_ = 0;
};

}  // namespace tessaline::stress
