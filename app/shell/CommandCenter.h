#pragma once
// Runs the commands of the command line, URLs and the status menu inside the
// running program: the built-in words ("state", "retile", "settings",
// "snapshot", "log", "update", "diagnostics", "start", "stop", and the
// settings window's "holdshortcuts" and "releaseshortcuts") and every action
// name.
//
// Everything happens on the loop thread except reading and writing the log
// and report files, which a worker does before the reply hops back.

#include "app/shell/CommandServer.h"
#include "app/shell/LoopAccess.h"
#include "app/shell/MachineFacts.h"
#include "app/shell/ManagerSide.h"
#include "app/shell/Worker.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::shell {

class CommandCenter {
public:
    using Reply = std::function<void(std::string text)>;

    // Everything given must outlive the command center; `caches` is the
    // user's caches folder (absent: files can't be written and their
    // replies are empty paths).
    CommandCenter(ManagerSide& manager, ShellSide& shell, MachineFacts& machine, LoopAccess& loop,
                  std::optional<std::filesystem::path> caches);
    ~CommandCenter();
    CommandCenter(const CommandCenter&) = delete;
    CommandCenter& operator=(const CommandCenter&) = delete;

    // Performs one command and answers whether it was recognised. "state",
    // "snapshot", "log" and "diagnostics" answer through `reply`, on the
    // loop thread, once their work is done; `run` itself returns at once.
    bool run(std::string_view command, Reply reply = {});

    // The command server's handler: runs the word, logs one it doesn't know.
    // The server must be closed before the command center goes.
    CommandServer::Handler handler();

    // Adds keys to every "state" answer, on the loop thread: what the parts
    // around the engine tell the settings window (setup checks, shortcut
    // conflicts, running applications...).
    using StateExtension = std::function<void(nlohmann::json& state)>;
    void extendState(StateExtension extension);

    // What "holdshortcuts" (true) and "releaseshortcuts" (false) do: the
    // settings window has the manager let go of its shortcuts while it
    // records one. Unset: the words are taken and do nothing.
    std::function<void(bool held)> onHoldShortcuts;

private:
    void state(Reply reply);
    void snapshot(Reply reply);
    void log(Reply reply);
    void diagnostics(Reply reply);
    // Hands `reply(text)` back to the loop thread, if we are still there then.
    void replyLater(Reply reply, std::string text);

    ManagerSide& manager_;
    ShellSide& shell_;
    MachineFacts& machine_;
    LoopAccess& loop_;
    std::optional<std::filesystem::path> caches_;
    std::vector<StateExtension> stateExtensions_;
    // Checked by every completion that arrives after `run` returned.
    std::shared_ptr<CommandCenter*> self_;
    // Last: joined first, while everything its jobs reach is still there.
    Worker worker_;
};

}  // namespace tessaline::shell
