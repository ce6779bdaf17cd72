#include "app/SettingsLink.h"

#include <sys/inotify.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "app/shell/CommandCenter.h"
#include "app/shell/SetupChecks.h"
#include "engine/log/Log.h"
#include "engine/wm/WindowManager.h"
#include "platform/x11/EventLoop.h"
#include "platform/x11/X11Connection.h"

namespace tessaline {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// A file that vanished is given this long to come back before it counts as
// gone: some editors rename the old file away before they write the new one.
constexpr double missingGrace = 0.5;

std::optional<std::string> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool hasComposite(const X11Connection& x) {
    constexpr std::string_view name = "Composite";
    xcb_query_extension_reply_t* reply = xcb_query_extension_reply(
        x.get(), xcb_query_extension(x.get(), name.size(), name.data()), nullptr);
    const bool present = reply && reply->present;
    std::free(reply);
    return present;
}

json checksJSON(const std::vector<shell::SetupCheck>& checks) {
    json list = json::array();
    for (const shell::SetupCheck& check : checks) {
        json item = {{"id", check.id}, {"ok", check.ok}, {"title", check.title}, {"detail", check.detail}};
        if (check.fixTitle) item["fixTitle"] = *check.fixTitle;
        if (!check.fixOpens.empty()) item["fixOpens"] = check.fixOpens;
        list.push_back(std::move(item));
    }
    return list;
}

// One entry per window class, by name: what "Add Running App" offers.
json appsJSON(std::vector<AppInfo> apps) {
    std::sort(apps.begin(), apps.end(), [](const AppInfo& a, const AppInfo& b) { return a.name < b.name; });
    std::set<std::string> seen;
    json list = json::array();
    for (const AppInfo& app : apps) {
        if (!app.isRegular || !app.bundleID || !seen.insert(*app.bundleID).second) continue;
        list.push_back({{"bundleID", *app.bundleID}, {"name", app.name.empty() ? *app.bundleID : app.name}});
    }
    return list;
}

// The settings in force where they differ from the defaults, shortcuts
// action by action: short enough to read in `state`, and all a reader needs.
json changedSettings(const Config& config) {
    const json now = toJSON(config).value_or(json::object());
    const json defaults = toJSON(Config()).value_or(json::object());
    json changed = json::object();
    for (const auto& [key, value] : now.items()) {
        if (defaults.contains(key) && defaults[key] == value) continue;
        if (key != "bindings" || !value.is_object() || !defaults.contains(key)) {
            changed[key] = value;
            continue;
        }
        json bindings = json::object();
        for (const auto& [action, combos] : value.items()) {
            if (!defaults[key].contains(action) || defaults[key][action] != combos) bindings[action] = combos;
        }
        for (const auto& [action, combos] : defaults[key].items()) {
            if (!value.contains(action)) bindings[action] = nullptr;
        }
        changed[key] = std::move(bindings);
    }
    return changed;
}

json combosJSON(const std::vector<KeyCombo>& combos) {
    json list = json::array();
    for (const KeyCombo& combo : combos) list.push_back(toJSON(combo));
    return list;
}

}  // namespace

// The preferences file, read afresh before every write, so that the
// manager's own keys are written over the newest file rather than over what
// it read at start, and never over a file that can't be read.
class SettingsLink::FileStore final : public Defaults {
public:
    explicit FileStore(fs::path path) : path_(std::move(path)) { reload(); }

    void reload() { file_ = std::make_unique<FileDefaults>(path_); }
    bool unreadable() const { return file_->unreadable(); }
    const fs::path& path() const { return path_; }

    std::optional<json> value(std::string_view key) const override { return file_->value(key); }
    bool setValue(std::string_view key, const json& value) override {
        reload();
        return !file_->unreadable() && file_->setValue(key, value);
    }
    bool removeValue(std::string_view key) override {
        reload();
        return !file_->unreadable() && file_->removeValue(key);
    }

private:
    fs::path path_;
    std::unique_ptr<FileDefaults> file_;
};

SettingsLink::SettingsLink(EventLoop& loop, Scheduler& scheduler)
    : SettingsLink(loop, scheduler, FileDefaults::defaultLocation()) {}

SettingsLink::SettingsLink(EventLoop& loop, Scheduler& scheduler, std::optional<fs::path> file)
    : loop_(loop),
      scheduler_(scheduler),
      file_(std::move(file)),
      defaults_(file_ ? std::unique_ptr<Defaults>(fileStore_ = new FileStore(*file_))
                      : std::unique_ptr<Defaults>(std::make_unique<MemoryDefaults>())),
      settings_(*defaults_) {
    if (!fileStore_) {
        Log::lifecycle.error("settings: no home folder, so the settings are the defaults and are not kept");
        return;
    }
    lastSeen_ = readBytes(fileStore_->path());
    if (fileStore_->unreadable()) {
        setProblem(fileStore_->path().string() + " is not a JSON object.");
    } else if (settings_.origin() == Settings::Origin::undecodable) {
        setProblem(std::string("The \"") + Settings::key + "\" entry of " + fileStore_->path().string() +
                   " is not a JSON object.");
    }
    watchFolder();
}

SettingsLink::~SettingsLink() {
    if (missingCheck_) missingCheck_->cancel();
    if (holdLapse_) holdLapse_->cancel();
    if (inotify_ >= 0) {
        loop_.unwatch(inotify_);
        ::close(inotify_);
    }
}

void SettingsLink::watchFolder() {
    const fs::path folder = fileStore_->path().parent_path();
    // The folder is made now, so that a file written there later is seen.
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (inotify_ < 0) inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0 ||
        ::inotify_add_watch(inotify_, folder.c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF |
                                IN_MOVE_SELF | IN_ONLYDIR) < 0) {
        const std::string reason = std::strerror(errno);
        Log::lifecycle.error([&] {
            return "settings: can't watch " + folder.string() + " (" + reason +
                   "); changes to the settings take effect at the next start";
        });
        return;
    }
    loop_.watch(inotify_, [this] { readEvents(); });
}

void SettingsLink::readEvents() {
    alignas(inotify_event) char buffer[16 * 1024];
    const std::string name = fileStore_->path().filename().string();
    bool ours = false;
    bool folderGone = false;
    for (;;) {
        const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) folderGone = true;
            if (event->mask & IN_Q_OVERFLOW) ours = true;
            if (event->len > 0 && name == event->name) ours = true;
        }
    }
    if (folderGone) {
        // The folder was removed or renamed: watch the one at the settings' place again.
        loop_.unwatch(inotify_);
        ::close(inotify_);
        inotify_ = -1;
        watchFolder();
        ours = true;
    }
    if (ours) reload();
}

void SettingsLink::reload() {
    const std::optional<std::string> bytes = readBytes(fileStore_->path());
    if (bytes == lastSeen_) return;  // written by us, or touched without a change
    if (!bytes) {
        // Gone: the defaults, as at a start without a file, unless it comes back at once.
        if (!missingCheck_) {
            missingCheck_ = scheduler_.after(missingGrace, [this] {
                missingCheck_ = nullptr;
                if (readBytes(fileStore_->path())) return;
                lastSeen_ = std::nullopt;
                Log::lifecycle("settings: the settings file is gone; using the defaults");
                setProblem(std::nullopt);
                settings_.adopt(Config());
            });
        }
        return;
    }
    lastSeen_ = bytes;
    fileStore_->reload();
    if (fileStore_->unreadable()) {
        setProblem(fileStore_->path().string() + " is not a JSON object.");
        return;
    }
    Config next;
    if (const std::optional<json> stored = fileStore_->value(Settings::key)) {
        std::optional<Config> decoded = configFromJSON(*stored);
        if (!decoded) {
            setProblem(std::string("The \"") + Settings::key + "\" entry of " + fileStore_->path().string() +
                       " is not a JSON object.");
            return;
        }
        next = std::move(*decoded);
    }
    setProblem(std::nullopt);
    settings_.adopt(next);
}

void SettingsLink::setProblem(std::optional<std::string> problem) {
    if (problem == problem_) return;
    problem_ = std::move(problem);
    if (problem_) {
        Log::lifecycle.error([&] { return "settings: " + *problem_ + " The settings in force stay until it is repaired."; });
    } else {
        LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel,
                               "settings: the settings file can be read again, and is in force");
    }
    for (const auto& observer : problemObservers_) observer(problem_);
}

void SettingsLink::connect(const std::shared_ptr<WindowManager>& manager, shell::CommandCenter& commands,
                           const shell::MachineFacts& machine, const X11Connection& x) {
    manager_ = manager;
    composite_ = hasComposite(x);
    settings_.addObserver([this](const Config& config) {
        const auto manager = manager_.lock();
        if (!manager) return;
        if (config.bindings != manager->config.bindings) grab(config.bindings);
        manager->apply(config);
    });

    commands.onHoldShortcuts = [this](bool held) { holdShortcuts(held); };
    commands.extendState([this, &machine](json& state) {
        const auto manager = manager_.lock();
        if (!manager) return;
        state["composite"] = composite_;
        // While held, the shortcuts another program holds are those it held
        // before: the hold itself gives every key up.
        if (conflicts_) state["conflicts"] = combosJSON(held_ ? conflictsWhenHeld_ : conflicts_());
        // The checks scan every process of the user, which costs more than
        // the rest of the state together; a reader polling several times a
        // second (the settings window) gets a scan less than a second old.
        if (!checks_ || scheduler_.now() - checks_->at >= 1.0 || checks_->config != manager->config) {
            checks_ = CheckScan{scheduler_.now(), manager->config, checksJSON(shell::checks(manager->config, machine))};
        }
        state["checks"] = checks_->json;
        state["apps"] = appsJSON(manager->system.runningApps());
        state["config"] = changedSettings(manager->config);
        state["settingsFile"] = fileStore_ ? json(fileStore_->path().string()) : json();
        state["settingsProblem"] = problem_ ? json(*problem_) : json();
        state["shortcutsHeld"] = held_;
    });
}

void SettingsLink::onBindingsChanged(std::function<void(const Bindings&)> grabber) {
    grabbers_.push_back(std::move(grabber));
}

void SettingsLink::setConflictSource(std::function<std::vector<KeyCombo>()> conflicts) {
    conflicts_ = std::move(conflicts);
}

void SettingsLink::onProblemChanged(std::function<void(const std::optional<std::string>&)> observer) {
    observer(problem_);
    problemObservers_.push_back(std::move(observer));
}

void SettingsLink::grab(const Bindings& bindings) {
    // Held shortcuts come back with the newest table when the hold ends.
    if (held_) return;
    for (const auto& grabber : grabbers_) grabber(bindings);
}

void SettingsLink::holdShortcuts(bool held) {
    if (!held) return releaseHold();
    if (holdLapse_) holdLapse_->cancel();
    holdLapse_ = scheduler_.after(holdLimit, [this] {
        holdLapse_ = nullptr;
        Log::input("shortcuts: the settings window stopped recording without saying so; taking them back");
        releaseHold();
    });
    if (held_) return;
    conflictsWhenHeld_ = conflicts_ ? conflicts_() : std::vector<KeyCombo>{};
    for (const auto& grabber : grabbers_) grabber(Bindings{});
    held_ = true;
    Log::input("shortcuts: let go while the settings window records one");
}

void SettingsLink::releaseHold() {
    if (holdLapse_) {
        holdLapse_->cancel();
        holdLapse_ = nullptr;
    }
    if (!held_) return;
    held_ = false;
    grab(settings_.config().bindings);
    Log::input("shortcuts: taken back");
}

}  // namespace tessaline
