#pragma once
// What the command channel, the diagnostics and the status icon reach in the
// running program: the window manager (ManagerSide) and the parts around it
// that the engine doesn't know (ShellSide: input, overlays, settings window).
// Both run on the loop thread.

#include "engine/actions/Action.h"
#include "engine/actions/KeyCombo.h"
#include "engine/settings/Config.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tessaline {
class WindowManager;
}

namespace tessaline::shell {

class ManagerSide {
public:
    virtual ~ManagerSide() = default;

    // The `state` dictionary (with window titles or without); the completion
    // runs once, on the loop thread.
    virtual void debugState(bool titles, std::function<void(const nlohmann::json&)> completion) = 0;
    virtual void retile() = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void perform(Action action) = 0;

    virtual bool running() const = 0;
    // True while Tessaline holds the display as its window manager.
    virtual bool managesDisplay() const = 0;
    virtual int tiledCount() const = 0;
    virtual Config config() const = 0;
};

// The engine's window manager, held weakly: once it is gone commands do
// nothing and the state is an empty dictionary, so no client waits in vain.
class WindowManagerSide final : public ManagerSide {
public:
    explicit WindowManagerSide(std::weak_ptr<WindowManager> manager);

    void debugState(bool titles, std::function<void(const nlohmann::json&)> completion) override;
    void retile() override;
    void start() override;
    void stop() override;
    void perform(Action action) override;
    bool running() const override;
    bool managesDisplay() const override;
    int tiledCount() const override;
    Config config() const override;

private:
    std::weak_ptr<WindowManager> manager_;
};

// The reports and services of the parts around the engine. The defaults
// stand for a part that isn't there (yet).
class ShellSide {
public:
    virtual ~ShellSide() = default;

    // "swipe" in the state: whether the input backend delivers swipes.
    virtual bool swipeAvailable() const { return false; }
    // "swipeProblem": why it doesn't; empty when it does.
    virtual std::string swipeProblem() const { return "no input capture"; }
    // "conflicts": the shortcuts another program holds.
    virtual std::vector<KeyCombo> shortcutConflicts() const { return {}; }
    // "glass": the overlays' report, names to numbers.
    virtual nlohmann::json glassReport() const { return nlohmann::json::object(); }
    // "timeline": the timeline panels' report, a map of strings.
    virtual nlohmann::json timelineReport() const { return nlohmann::json::object(); }
    // "overview": the overview's debug description.
    virtual std::string overviewDescription() const { return {}; }
    // Renders the overlays' views as PNGs into `folder`; answers the files written.
    virtual std::vector<std::filesystem::path> snapshot(const std::filesystem::path& folder);
    // Shows the settings window at its first pane (tessaline-settings, which
    // keeps one window); false when none is installed.
    virtual bool openSettings();
    // Lines the diagnostics add to the environment ("No compositor: ...").
    virtual std::vector<std::string> diagnosticNotes() const { return {}; }
};

}  // namespace tessaline::shell
