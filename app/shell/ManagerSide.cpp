#include "app/shell/ManagerSide.h"

#include "app/shell/Launch.h"
#include "engine/wm/WindowManager.h"

namespace tessaline::shell {

WindowManagerSide::WindowManagerSide(std::weak_ptr<WindowManager> manager)
    : manager_(std::move(manager)) {}

void WindowManagerSide::debugState(bool titles,
                                   std::function<void(const nlohmann::json&)> completion) {
    if (auto manager = manager_.lock()) return manager->debugState(titles, std::move(completion));
    completion(nlohmann::json::object());
}

void WindowManagerSide::retile() {
    if (auto manager = manager_.lock()) manager->retile();
}

void WindowManagerSide::start() {
    if (auto manager = manager_.lock()) manager->start();
}

void WindowManagerSide::stop() {
    if (auto manager = manager_.lock()) manager->stop();
}

void WindowManagerSide::perform(Action action) {
    if (auto manager = manager_.lock()) manager->perform(action);
}

bool WindowManagerSide::running() const {
    auto manager = manager_.lock();
    return manager && manager->running;
}

bool WindowManagerSide::managesDisplay() const {
    auto manager = manager_.lock();
    return manager && manager->system.isTrusted();
}

int WindowManagerSide::tiledCount() const {
    auto manager = manager_.lock();
    return manager ? manager->tiledCount() : 0;
}

Config WindowManagerSide::config() const {
    auto manager = manager_.lock();
    return manager ? manager->config : Config{};
}

std::vector<std::filesystem::path> ShellSide::snapshot(const std::filesystem::path&) { return {}; }

bool ShellSide::openSettings() { return openSettingsWindow({"--pane", "general"}); }

}  // namespace tessaline::shell
