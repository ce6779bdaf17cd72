#pragma once
// What the settings window shows of the running window manager: whether it
// tiles, the displays it sees, whether swipes reach it, the shortcuts another
// program holds, the setup checks and the running applications. The window
// asks through a StatusProvider; the manager answers over its command
// channel, and a window opened while no manager runs says so instead.

#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "engine/actions/KeyCombo.h"

namespace tessaline::prefs {

struct SetupCheck {
    std::string id;  // "ax", "others", "stage", "edge", "spaces", "swipe"
    bool ok = true;
    std::string title;
    std::string detail;
    std::optional<std::string> fixTitle;  // absent: no fix button
    std::string fixOpens;                 // what the fix opens (a URL, a "man:" page); may be empty
    friend bool operator==(const SetupCheck&, const SetupCheck&) = default;
};

struct DisplayInfo {
    std::string uuid;
    std::string name;
    friend bool operator==(const DisplayInfo&, const DisplayInfo&) = default;
};

struct RunningApp {
    std::string bundleID;  // the windows' class, which rules are keyed by
    std::string name;
    std::string icon;      // an icon name of the desktop's theme; may be empty
    friend bool operator==(const RunningApp&, const RunningApp&) = default;
};

struct ManagerStatus {
    enum class Reach {
        unknown,     // not asked yet, or no way to ask
        notRunning,  // asked, and no manager answered
        running,     // the manager answered; the fields below are its answer
    };
    Reach reach = Reach::unknown;
    bool tiling = false;          // started, not paused
    bool managesDisplay = false;  // the X display is reachable and no other manager holds it
    std::vector<DisplayInfo> displays;
    std::optional<bool> swipeAvailable;      // the touchpad gesture grab is in place
    std::optional<bool> compositeAvailable;  // window previews can be captured
    std::vector<KeyCombo> conflicts;         // shortcuts another program holds
    std::vector<SetupCheck> checks;
    std::vector<RunningApp> runningApps;
    friend bool operator==(const ManagerStatus&, const ManagerStatus&) = default;
};

// Reads a status from JSON with the keys of the manager's `state` reply
// ("running", "trusted", "displays", "swipe") and those it answers for the
// settings window ("composite", "conflicts", "checks", "apps"). Missing or
// mistyped keys keep their defaults; absent when `j` is no object.
std::optional<ManagerStatus> statusFromJSON(const nlohmann::json& j);

class StatusProvider {
public:
    virtual ~StatusProvider() = default;

    // The latest answer.
    virtual const ManagerStatus& status() const = 0;
    // Asks again; the change callback runs when a different answer arrives.
    virtual void refresh() = 0;
    // Starts or pauses tiling (the "start" and "stop" commands).
    virtual void setTiling(bool on) = 0;
    // Runs the fix of a setup check.
    virtual void runFix(const std::string& checkID) = 0;
    // While the window records a shortcut, the manager lets go of its own, so
    // that a combo it holds reaches the window instead of performing its action.
    virtual void holdShortcuts(bool held) = 0;
    // The diagnostics report, or absent when none can be had.
    virtual void diagnostics(std::function<void(std::optional<std::string>)> done) = 0;

    void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

protected:
    void changed() {
        if (onChange_) onChange_();
    }

private:
    std::function<void()> onChange_;
};

// Answers with a status it was given and records what it was asked to do:
// the window's stand-in for a manager in tests and in pictures, and its
// answer while no channel to a manager exists.
class FixedStatusProvider final : public StatusProvider {
public:
    explicit FixedStatusProvider(ManagerStatus status = {}) : status_(std::move(status)) {}

    const ManagerStatus& status() const override { return status_; }
    void refresh() override { ++refreshes; }
    void setTiling(bool on) override;
    void runFix(const std::string& checkID) override { fixes.push_back(checkID); }
    void holdShortcuts(bool held) override { shortcutsHeld = held; }
    void diagnostics(std::function<void(std::optional<std::string>)> done) override;

    // Replaces the answer, as a manager's next reply would.
    void answer(ManagerStatus status);

    int refreshes = 0;
    std::vector<std::string> fixes;
    bool shortcutsHeld = false;
    std::optional<std::string> report;  // what `diagnostics` answers

private:
    ManagerStatus status_;
};

}  // namespace tessaline::prefs
