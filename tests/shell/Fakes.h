#pragma once
// Stand-ins for the manager side, the parts around it and the machine.

#include "app/shell/MachineFacts.h"
#include "app/shell/ManagerSide.h"

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>

namespace tessaline::shell {

// Records every call; tests on another thread wait for them.
class FakeManager final : public ManagerSide {
public:
    void debugState(bool titles, std::function<void(const nlohmann::json&)> completion) override {
        record(titles ? "state with titles" : "state without titles");
        completion({{"running", isRunning}, {"strips", nlohmann::json::array()}, {"title", "Caf\xe9"}});
    }
    void retile() override { record("retile"); }
    void start() override { record("start"); }
    void stop() override { record("stop"); }
    void perform(Action action) override { record("perform " + toString(action)); }
    bool running() const override { return isRunning; }
    bool managesDisplay() const override { return true; }
    int tiledCount() const override { return 2; }
    Config config() const override { return {}; }

    // The calls so far, once there are at least `count` (or after 5 s).
    std::vector<std::string> calls(std::size_t count = 0) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5), [&] { return calls_.size() >= count; });
        return calls_;
    }

    bool isRunning = true;

private:
    void record(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
};

class FakeShell final : public ShellSide {
public:
    bool swipeAvailable() const override { return true; }
    nlohmann::json glassReport() const override { return {{"blur", 12}}; }
    std::string overviewDescription() const override { return "overview hidden"; }
    bool openSettings() override { return false; }  // none installed
    std::vector<std::filesystem::path> snapshot(const std::filesystem::path& folder) override {
        std::vector<std::filesystem::path> written{folder / "timeline.png", folder / "border.png"};
        for (const auto& path : written) std::ofstream(path) << "png";
        return written;
    }
};

class FakeMachine final : public MachineFacts {
public:
    std::string displayName() const override { return ":3"; }
    DisplayAccess displayAccess() const override { return access; }
    std::vector<std::string> displays() const override { return monitors; }
    bool separateWorkspaces() const override { return separate; }
    std::optional<std::string> keyboardLayout() const override { return "de(nodeadkeys)"; }
    std::vector<std::string> accessibilitySettings() const override { return accessibility; }
    bool gestureTouchpad() const override { return touchpad; }
    SystemFacts system() const override {
        return {"Debian GNU/Linux 12 (bookworm)", "6.1.0-18-amd64", "ThinkPad X1", "Intel(R) Core(TM) i7"};
    }
    std::vector<ProcessInfo> processes() const override { return running; }
    void open(const std::string& target) const override { opened.push_back(target); }

    DisplayAccess access{true, "Tessaline"};
    std::vector<std::string> monitors{"eDP-1"};
    bool separate = true;
    std::vector<std::string> accessibility;
    bool touchpad = true;
    std::vector<ProcessInfo> running;
    mutable std::vector<std::string> opened;
};

}  // namespace tessaline::shell
