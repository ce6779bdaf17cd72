#pragma once
// The overlays in the running program: the X11 panels on the manager's
// connection, the coordinator the engine presents through, and what the
// command channel and the input source need of them.
//
// Made before the window manager (it is the manager's OverlayPresenter),
// attached to it once it exists, withdrawn after it stopped.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/shell/ManagerSide.h"
#include "overlays/Overlays.h"
#include "overlays/x11/X11Panels.h"

namespace tessaline {

class EventLoop;
class X11Connection;
class WindowManager;

class OverlayWiring {
public:
    OverlayWiring(X11Connection& x, EventLoop& loop, Scheduler& scheduler);
    ~OverlayWiring();
    OverlayWiring(const OverlayWiring&) = delete;
    OverlayWiring& operator=(const OverlayWiring&) = delete;

    OverlayPresenter& presenter() { return overlays_; }
    void attach(const std::shared_ptr<WindowManager>& manager);

    // ---- for the input source
    // True when a press at this point (root coordinates) is a panel's: the
    // panel handles it, and the engine must not see it as a MouseDown (a
    // press elsewhere closes a pinned timeline).
    bool takesClick(Point point) const { return overlays_.panelAt(point) != nullptr; }
    // The input source's modifier state and its Escape grab, in place of the
    // panels' own stand-ins.
    void useInput(std::function<Modifiers()> modifiers, std::function<void(std::function<void()>)> lendEscape,
                  std::function<void()> releaseEscape);

    // ---- for the command channel
    const Overlays& overlays() const { return overlays_; }
    Overlays& overlays() { return overlays_; }
    bool compositing() const { return panels_.compositing(); }

    // Nothing of ours left on screen, the keyboard and Escape given back.
    void withdraw();

private:
    void sayDimming();

    X11Panels panels_;
    Overlays overlays_;
    std::weak_ptr<WindowManager> manager_;
};

// The shell's view of the overlays: the `state` reports, the `snapshot`
// images and the compositor line of the diagnostics. Everything else is
// answered by `others` (the input's swipes, the settings window).
class OverlayShellSide final : public shell::ShellSide {
public:
    OverlayShellSide(OverlayWiring& overlays, shell::ShellSide& others) : overlays_(overlays), others_(others) {}

    bool swipeAvailable() const override { return others_.swipeAvailable(); }
    std::string swipeProblem() const override { return others_.swipeProblem(); }
    std::vector<KeyCombo> shortcutConflicts() const override { return others_.shortcutConflicts(); }
    nlohmann::json glassReport() const override;
    nlohmann::json timelineReport() const override;
    std::string overviewDescription() const override;
    std::vector<std::filesystem::path> snapshot(const std::filesystem::path& folder) override;
    bool openSettings() override { return others_.openSettings(); }
    std::vector<std::string> diagnosticNotes() const override;

private:
    OverlayWiring& overlays_;
    shell::ShellSide& others_;
};

}  // namespace tessaline
