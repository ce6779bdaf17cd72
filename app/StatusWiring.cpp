#include "app/StatusWiring.h"

#include "app/shell/CommandCenter.h"
#include "app/shell/Launch.h"
#include "app/shell/ManagerSide.h"
#include "app/shell/StatusIconProcess.h"
#include "engine/log/Log.h"
#include "engine/settings/Settings.h"
#include "engine/wm/WindowManager.h"
#include "platform/x11/EventLoop.h"

#include <optional>
#include <tuple>

namespace tessaline {

namespace {

// The menu's windows, each a pane of the settings program.
std::optional<std::vector<std::string>> settingsArguments(const std::string& entry) {
    if (entry == "welcome") return std::vector<std::string>{"--welcome"};
    if (entry == "about") return std::vector<std::string>{"--pane", "about"};
    // How to make Tessaline the session's window manager is a setup check.
    if (entry == "startHelp") return std::vector<std::string>{"--pane", "setup"};
    return std::nullopt;
}

}  // namespace

struct StatusWiring::Core {
    Parts parts;
    std::unique_ptr<shell::StatusIconProcess> item;
    std::function<void()> previousOnChange;
    Settings::ObserverToken observer = 0;
    std::string notice;
    // What the icon shows was built from these; bindings and the notice mark it stale.
    std::tuple<bool, bool, int> shown{false, false, -1};
    bool stale = true;

    explicit Core(Parts p) : parts(std::move(p)) {}

    shell::StatusModel model() const {
        const shell::ManagerSide& side = parts.managerSide;
        shell::StatusModel shown = shell::statusModel({.managesDisplay = side.managesDisplay(),
                                                       .running = side.running(),
                                                       .tiledCount = side.tiledCount(),
                                                       .bindings = side.config().bindings});
        shown.notice = notice;
        return shown;
    }

    // After every turn of the loop: cheap unless something the icon shows changed.
    void refresh() {
        const shell::ManagerSide& side = parts.managerSide;
        auto now = std::make_tuple(side.managesDisplay(), side.running(), side.tiledCount());
        if (!stale && now == shown) return;
        shown = now;
        stale = false;
        if (item) item->update(model());
    }

    void choose(const std::string& entry) {
        if (entry == "quit") {
            LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel,
                                   "stopping: Quit Tessaline was chosen in the status menu");
            parts.quit();
        } else if (auto arguments = settingsArguments(entry)) {
            if (!shell::openSettingsWindow(*arguments)) {
                Log::lifecycle.error([&] { return entry + ": no settings window is installed"; });
            }
        } else {
            // "start", "stop", "retile", "overview", "settings": as from the command line.
            parts.commands.run(entry);
        }
    }
};

StatusWiring::StatusWiring(Parts parts) : core_(std::make_shared<Core>(std::move(parts))) {
    Core& core = *core_;
    std::weak_ptr<Core> weak = core_;
    core.item = std::make_unique<shell::StatusIconProcess>(core.parts.loopAccess, core.model(),
                                                           [weak](const std::string& entry) {
                                                               if (auto alive = weak.lock()) alive->choose(entry);
                                                           });
    core.previousOnChange = core.parts.manager.onChange;
    core.parts.manager.onChange = [weak] {
        if (auto alive = weak.lock()) {
            alive->stale = true;
            if (alive->previousOnChange) alive->previousOnChange();
        }
    };
    core.observer = core.parts.settings.addObserver([weak](const Config&) {
        if (auto alive = weak.lock()) alive->stale = true;
    });
    core.parts.loop.addHook([weak] {
        if (auto alive = weak.lock()) alive->refresh();
    });

    // The welcome window until the user has been through it once.
    if (!core.parts.managerSide.config().hasCompletedOnboarding && !shell::openSettingsWindow({"--welcome"})) {
        LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel,
                               "welcome: no settings window is installed");
    }
}

StatusWiring::~StatusWiring() {
    core_->parts.manager.onChange = core_->previousOnChange;
    core_->parts.settings.removeObserver(core_->observer);
    core_->item.reset();
}

void StatusWiring::setNotice(std::string notice) {
    if (notice == core_->notice) return;
    core_->notice = std::move(notice);
    core_->stale = true;
}

}  // namespace tessaline
