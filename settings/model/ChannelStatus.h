#pragma once
// The running manager's status, asked over its command channel: the same
// socket and messages as `tessaline state`. Every exchange runs on a worker
// thread, so the window never waits on the manager; answers come back
// through `post` on the window's own thread.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/shell/Worker.h"
#include "settings/model/Status.h"

namespace tessaline::prefs {

class ChannelStatusProvider final : public StatusProvider {
public:
    // Runs work on the window's thread; callable from any thread.
    using Post = std::function<void(std::function<void()>)>;
    // Opens a URL or "man:" page with the desktop's opener.
    using Open = std::function<void(const std::string& target)>;

    // `sockets` as the command line finds them (shell::channelSockets).
    ChannelStatusProvider(std::vector<std::filesystem::path> sockets, Post post, Open open);
    // A shortcut hold still in force is given back before the worker stops.
    ~ChannelStatusProvider() override;

    const ManagerStatus& status() const override { return status_; }
    // Asks for `state`; while the shortcuts are held, also renews the hold,
    // which the manager lets lapse after a few seconds. Call it every few
    // seconds while a window is open.
    void refresh() override;
    void setTiling(bool on) override;
    // Opens what the check's fix opens; the fixes of this system all show
    // something on the user's desktop.
    void runFix(const std::string& checkID) override;
    void holdShortcuts(bool held) override;
    void diagnostics(std::function<void(std::optional<std::string>)> done) override;

private:
    void send(std::string word);
    void take(const ManagerStatus& status);

    std::vector<std::filesystem::path> sockets_;
    Post post_;
    Open open_;
    ManagerStatus status_;
    bool held_ = false;
    int statesAsked_ = 0;
    // Lets answers that arrive after the provider is gone find nobody.
    std::shared_ptr<ChannelStatusProvider*> self_;
    // Last: finishes its work while everything above is still there.
    shell::Worker worker_;
};

}  // namespace tessaline::prefs
