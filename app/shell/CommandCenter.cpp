#include "app/shell/CommandCenter.h"

#include "app/shell/CommandWords.h"
#include "app/shell/Diagnostics.h"
#include "engine/log/Log.h"
#include "engine/log/RecentLog.h"

#include <nlohmann/json.hpp>

namespace tessaline::shell {

namespace fs = std::filesystem;

namespace {

constexpr int recentMinutes = 10;

std::string jsonText(const nlohmann::json& value) {
    // A window title that isn't UTF-8 (an old client's Latin-1 name) is shown
    // with replacement characters instead of costing the whole answer.
    try {
        return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (...) {
        return {};
    }
}

void send(const CommandCenter::Reply& reply, std::string text) {
    if (reply) reply(std::move(text));
}

// What the state and the diagnostics say of the user's input: swipes, and
// the shortcuts other programs hold.
void addInputReport(nlohmann::json& state, const ShellSide& shell) {
    state["swipe"] = shell.swipeAvailable();
    state["swipeProblem"] = shell.swipeProblem();
    nlohmann::json conflicts = nlohmann::json::array();
    for (const KeyCombo& combo : shell.shortcutConflicts()) conflicts.push_back(toJSON(combo));
    state["conflicts"] = std::move(conflicts);
}

}  // namespace

CommandCenter::CommandCenter(ManagerSide& manager, ShellSide& shell, MachineFacts& machine,
                             LoopAccess& loop, std::optional<fs::path> caches)
    : manager_(manager),
      shell_(shell),
      machine_(machine),
      loop_(loop),
      caches_(std::move(caches)),
      self_(std::make_shared<CommandCenter*>(this)) {}

CommandCenter::~CommandCenter() = default;

CommandServer::Handler CommandCenter::handler() {
    return [this](const std::string& word, CommandServer::Reply reply) {
        if (!run(word, reply)) {
            Log::lifecycle.error([&] { return "command channel: unknown command '" + word + "'"; });
            return false;
        }
        return expectsReply(lowerCased(word));
    };
}

bool CommandCenter::run(std::string_view command, Reply reply) {
    const std::string name = lowerCased(command);
    if (name == "state") {
        state(std::move(reply));
    } else if (name == "retile") {
        manager_.retile();
    } else if (name == "settings") {
        if (!shell_.openSettings()) Log::lifecycle.error("settings: no settings window is installed");
    } else if (name == "snapshot") {
        snapshot(std::move(reply));
    } else if (name == "log") {
        log(std::move(reply));
    } else if (name == "update") {
        // No updater of our own: the package manager brings new versions.
        LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel,
                               "update: Tessaline is updated through the system's package manager");
    } else if (name == "diagnostics") {
        diagnostics(std::move(reply));
    } else if (name == "start") {
        manager_.start();
    } else if (name == "stop") {
        manager_.stop();
    } else if (name == "holdshortcuts" || name == "releaseshortcuts") {
        if (onHoldShortcuts) onHoldShortcuts(name == "holdshortcuts");
    } else if (auto action = actionNamed(command)) {
        manager_.perform(*action);
    } else {
        return false;
    }
    return true;
}

void CommandCenter::state(Reply reply) {
    std::weak_ptr<CommandCenter*> self = self_;
    manager_.debugState(true, [self, reply = std::move(reply)](const nlohmann::json& found) {
        auto alive = self.lock();
        if (!alive) return;
        const ShellSide& shell = (*alive)->shell_;
        nlohmann::json state = found.is_object() ? found : nlohmann::json::object();
        addInputReport(state, shell);
        state["glass"] = shell.glassReport();
        state["timeline"] = shell.timelineReport();
        state["overview"] = shell.overviewDescription();
        for (const StateExtension& extend : (*alive)->stateExtensions_) extend(state);
        send(reply, jsonText(state));
    });
}

void CommandCenter::extendState(StateExtension extension) { stateExtensions_.push_back(std::move(extension)); }

void CommandCenter::snapshot(Reply reply) {
    std::string paths;
    if (caches_) {
        const fs::path folder = *caches_ / "Tessaline" / "snapshots";
        std::error_code ignored;
        fs::create_directories(folder, ignored);
        for (const auto& path : shell_.snapshot(folder)) {
            if (!paths.empty()) paths += "\n";
            paths += path.string();
        }
    }
    send(reply, std::move(paths));
}

void CommandCenter::log(Reply reply) {
    std::weak_ptr<CommandCenter*> self = self_;
    worker_.submit([self, caches = caches_, reply = std::move(reply)] {
        auto path = caches ? RecentLog::write(recentMinutes, *caches) : std::nullopt;
        if (auto alive = self.lock()) (*alive)->replyLater(reply, path ? path->string() : "");
    });
}

void CommandCenter::diagnostics(Reply reply) {
    std::weak_ptr<CommandCenter*> self = self_;
    manager_.debugState(false, [self, reply = std::move(reply)](const nlohmann::json& found) {
        auto alive = self.lock();
        if (!alive) return;
        CommandCenter& center = **alive;
        nlohmann::json state = found.is_object() ? found : nlohmann::json::object();
        addInputReport(state, center.shell_);
        state["timeline"] = center.shell_.timelineReport();
        auto environment = Diagnostics::environmentLines(Diagnostics::gather(center.manager_, center.machine_));
        for (auto& note : center.shell_.diagnosticNotes()) environment.push_back(std::move(note));
        center.worker_.submit([self, reply, environment = std::move(environment), state = std::move(state),
                               config = center.manager_.config(), caches = center.caches_] {
            const std::string text =
                Diagnostics::report(environment, state, config, RecentLog::text(recentMinutes));
            auto path = caches ? Diagnostics::write(text, *caches) : std::nullopt;
            if (auto alive = self.lock()) (*alive)->replyLater(reply, path ? path->string() : "");
        });
    });
}

void CommandCenter::replyLater(Reply reply, std::string text) {
    // Called on the worker; the loop is asked to run the reply, and by then
    // the command center may be gone.
    std::weak_ptr<CommandCenter*> self = self_;
    loop_.post([self, reply = std::move(reply), text = std::move(text)]() mutable {
        if (self.lock()) send(reply, std::move(text));
    });
}

}  // namespace tessaline::shell
