#pragma once
// The user's hands wired into the manager: the X11 input source on the
// manager's connection (it sees every event before the window system), the
// global shortcuts registered from the settings and performed on the
// manager, Escape lent to the overlays, the reports the shell shows (swipes,
// taken shortcuts), and the window system told which windows the engine
// tiles and where NumLock sits.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/shell/ManagerSide.h"
#include "engine/actions/KeyCombo.h"
#include "engine/platform/Platform.h"

namespace tessaline {

class Scheduler;
class SettingsLink;
class WindowManager;
class X11Connection;
class X11Input;
class X11WindowSystem;

class InputWiring {
public:
    // Without XInput 2.2 or XKB the manager runs without input capture, and
    // says so once in the log.
    InputWiring(X11Connection& connection, X11WindowSystem& system, Scheduler& scheduler);
    ~InputWiring();
    InputWiring(const InputWiring&) = delete;
    InputWiring& operator=(const InputWiring&) = delete;

    // What the window manager is created with.
    InputSource& source();

    // Registers the settings' shortcuts and performs them on `manager`;
    // registers them again whenever the link says the table changed (or the
    // settings window holds them), and tells it which ones are taken.
    void attach(const std::shared_ptr<WindowManager>& manager, SettingsLink& settings);

    // ---- for the overlays
    // Lends Escape to the timeline or the overview; a second call replaces the handler.
    void registerEscape(std::function<void()> handler);
    void releaseEscape();
    Modifiers modifiers() const;
    // A press where `taken` answers true belongs to an overlay panel, which
    // handles it itself: the engine sees no MouseDown for it.
    void ignoreClicksWhere(std::function<bool(Point)> taken);

    // ---- for the shell
    bool swipeAvailable() const;
    std::string swipeProblem() const;
    std::vector<KeyCombo> conflicts() const;
    bool gestureTouchpad() const;

private:
    X11WindowSystem& system_;
    std::unique_ptr<X11Input> input_;
    std::unique_ptr<InputSource> none_;  // when there is no X11 input
    std::string problem_;
    // Lets the connection's filter and the settings link notice that the input is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>();
};

// The shell's parts as `base` has them, with the input's reports.
class InputShellSide final : public shell::ShellSide {
public:
    InputShellSide(shell::ShellSide& base, const InputWiring& input) : base_(base), input_(input) {}

    bool swipeAvailable() const override { return input_.swipeAvailable(); }
    std::string swipeProblem() const override { return input_.swipeProblem(); }
    std::vector<KeyCombo> shortcutConflicts() const override { return input_.conflicts(); }

    nlohmann::json glassReport() const override { return base_.glassReport(); }
    nlohmann::json timelineReport() const override { return base_.timelineReport(); }
    std::string overviewDescription() const override { return base_.overviewDescription(); }
    std::vector<std::filesystem::path> snapshot(const std::filesystem::path& folder) override {
        return base_.snapshot(folder);
    }
    bool openSettings() override { return base_.openSettings(); }
    std::vector<std::string> diagnosticNotes() const override { return base_.diagnosticNotes(); }

private:
    shell::ShellSide& base_;
    const InputWiring& input_;
};

}  // namespace tessaline
