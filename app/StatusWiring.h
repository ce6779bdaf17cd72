#pragma once
// The status icon of the running manager, and what its menu does: pause and
// resume, retile, the overview, the settings, welcome and about windows, and
// quitting. The icon follows the manager (tiling, paused, the number of tiled
// windows, the shortcuts) by checking after each turn of the loop whether
// anything it shows has changed. Also shows the welcome window on a first
// launch. Lives on the loop thread, between the manager's start and stop.

#include <functional>
#include <memory>
#include <string>

namespace tessaline {

class EventLoop;
class Settings;

namespace shell {
class CommandCenter;
class LoopAccess;
class ManagerSide;
}  // namespace shell

class WindowManager;

class StatusWiring {
public:
    struct Parts {
        EventLoop& loop;
        shell::LoopAccess& loopAccess;
        WindowManager& manager;
        shell::ManagerSide& managerSide;
        shell::CommandCenter& commands;
        Settings& settings;
        // Ends the manager as SIGTERM does.
        std::function<void()> quit;
    };

    // Call once the manager has started.
    explicit StatusWiring(Parts parts);
    // Before the manager stops: the icon leaves the panel.
    ~StatusWiring();
    StatusWiring(const StatusWiring&) = delete;
    StatusWiring& operator=(const StatusWiring&) = delete;

    // A line under the status in the icon's tooltip (a settings file that
    // couldn't be read); empty removes it.
    void setNotice(std::string notice);

    struct Core;

private:
    std::shared_ptr<Core> core_;
};

}  // namespace tessaline
