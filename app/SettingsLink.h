#pragma once
// The manager's end of the settings file it shares with the settings window
// and with people who edit it by hand.
//
// The file is read at start and watched from then on (the folder, through
// inotify, so that an editor's atomic rename and a file made later are seen
// too). Every change that decodes is applied as a change of the settings is:
// shortcuts are registered again only when they changed, then the window
// manager applies the whole record. A file that cannot be read is reported
// (the log, the status icon, `state`) and the settings in force stay as they
// are until a good file appears; the manager never writes over it. What the
// manager reads it does not write back, so its own writes never come round
// again as changes.
//
// It also answers the settings window over the command channel: the keys it
// reads in `state` (setup checks, shortcut conflicts, running applications,
// Composite, the settings in force and the file's problem), and the hold of
// every shortcut while the window records one, which lapses by itself so
// that a settings window that dies mid-recording cannot leave them released.
//
// Everything runs on the loop thread.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/actions/KeyCombo.h"
#include "engine/settings/Defaults.h"
#include "engine/settings/Settings.h"

namespace tessaline {

class EventLoop;
class Scheduler;
class ScheduledTask;
class WindowManager;
class X11Connection;

namespace shell {
class CommandCenter;
class MachineFacts;
}  // namespace shell

class SettingsLink {
public:
    // How long the settings window may hold the shortcuts without asking again.
    static constexpr double holdLimit = 10.0;

    // Reads the settings file ($XDG_CONFIG_HOME/tessaline/settings.json; kept
    // in memory without a home folder) and starts watching it. The loop and
    // the scheduler must outlive the link.
    SettingsLink(EventLoop& loop, Scheduler& scheduler);
    SettingsLink(EventLoop& loop, Scheduler& scheduler, std::optional<std::filesystem::path> file);
    ~SettingsLink();
    SettingsLink(const SettingsLink&) = delete;
    SettingsLink& operator=(const SettingsLink&) = delete;

    // The preferences store (for the window manager's own keys) and the
    // settings record in it.
    Defaults& defaults() { return *defaults_; }
    Settings& settings() { return settings_; }

    // From now on every change of the settings reaches `manager`, and the
    // command center answers the settings window. Everything given must
    // outlive the link, the manager excepted (held weakly).
    void connect(const std::shared_ptr<WindowManager>& manager, shell::CommandCenter& commands,
                 const shell::MachineFacts& machine, const X11Connection& x);

    // ---- for the other wiring of the program

    // Called with the shortcuts to grab whenever they change: with the new
    // table when the settings change it, with none while the settings window
    // holds them, and with the table again when it lets go.
    void onBindingsChanged(std::function<void(const Bindings&)> grabber);
    // Where the shortcuts that another program holds can be read: `state`
    // reports them as "conflicts", and while the shortcuts are held, those
    // that were taken before the hold.
    void setConflictSource(std::function<std::vector<KeyCombo>()> conflicts);
    // Why the settings file can't be read, or absent. The observer (the
    // status icon's tooltip) is told now and at every change.
    const std::optional<std::string>& problem() const { return problem_; }
    void onProblemChanged(std::function<void(const std::optional<std::string>&)> observer);

    // The settings window records a shortcut (true) or is done (false).
    void holdShortcuts(bool held);
    bool shortcutsHeld() const { return held_; }

private:
    void watchFolder();
    void readEvents();
    void reload();
    void setProblem(std::optional<std::string> problem);
    void grab(const Bindings& bindings);
    void releaseHold();

    class FileStore;

    EventLoop& loop_;
    Scheduler& scheduler_;
    std::optional<std::filesystem::path> file_;
    FileStore* fileStore_ = nullptr;  // defaults_ when the settings live in a file
    std::unique_ptr<Defaults> defaults_;
    Settings settings_;
    int inotify_ = -1;
    std::optional<std::string> lastSeen_;  // the file's bytes as last read; absent: no file
    std::shared_ptr<ScheduledTask> missingCheck_;
    std::optional<std::string> problem_;

    std::weak_ptr<WindowManager> manager_;
    std::vector<std::function<void(const Bindings&)>> grabbers_;
    std::vector<std::function<void(const std::optional<std::string>&)>> problemObservers_;
    std::function<std::vector<KeyCombo>()> conflicts_;
    bool held_ = false;
    std::vector<KeyCombo> conflictsWhenHeld_;
    struct CheckScan {
        double at;
        Config config;
        nlohmann::json json;
    };
    std::optional<CheckScan> checks_;
    std::shared_ptr<ScheduledTask> holdLapse_;
    bool composite_ = false;
};

}  // namespace tessaline
