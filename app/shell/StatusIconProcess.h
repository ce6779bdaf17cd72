#pragma once
// The window manager's end of its status icon: the icon itself (a
// StatusNotifierItem on the session bus, see StatusItem) runs in a process of
// its own, `tessaline-status`, which this starts, feeds with each model to
// show and hears the user's choices from (StatusWire.h).
//
// The icon's process ends when the manager does (its end of the socket
// closes). One that ends on its own is started again, unless it ended soon
// after its start: then the icon is let go, and the log says so.

#include "app/shell/LoopAccess.h"
#include "app/shell/StatusModel.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tessaline::shell {

class StatusIconProcess {
public:
    // Called on the loop with a menu entry's id when the user chooses it.
    using Choose = std::function<void(const std::string& entryId)>;

    // `program` is the icon's executable; absent: found beside this one.
    StatusIconProcess(LoopAccess& loop, StatusModel model, Choose choose,
                      std::optional<std::filesystem::path> program = std::nullopt);
    ~StatusIconProcess();
    StatusIconProcess(const StatusIconProcess&) = delete;
    StatusIconProcess& operator=(const StatusIconProcess&) = delete;

    // Shows `model`; nothing is sent when nothing changed. Never waits: an
    // icon process that stopped reading gets the newest model once it reads again.
    void update(StatusModel model);

    struct Core;

private:
    std::shared_ptr<Core> core_;
};

// Where the icon's program is installed: beside the running executable.
std::optional<std::filesystem::path> statusProgram();

}  // namespace tessaline::shell
