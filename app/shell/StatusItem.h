#pragma once
// The status icon on the user's panel: a StatusNotifierItem on the session
// bus whose menu is served over com.canonical.dbusmenu, both drawn from a
// StatusModel.
//
// The tray is a nicety, never a requirement: without a session bus, or
// without a tray host (org.kde.StatusNotifierWatcher), the item says so once
// in the log and carries on; a host that starts later is found and the icon
// registered with it. A bus that fails or stops answering costs the icon, not
// the loop: the item never waits on the bus, and a lost connection is logged
// and let go.
//
// The bus is driven through the loop: the item shows it a single descriptor
// (an epoll set holding the bus socket and a timer for the bus's deadlines).
// Everything, constructor and destructor included, runs on the loop thread.

#include "app/shell/LoopAccess.h"
#include "app/shell/StatusModel.h"

#include <functional>
#include <memory>
#include <string>

namespace tessaline::shell {

class StatusItem {
public:
    // Called with a menu entry's id ("stop", "retile", "quit"...) when the
    // user chooses it. Runs from the loop, outside any bus call, so it may
    // update or even destroy the item.
    using Choose = std::function<void(const std::string& entryId)>;
    // Asked for the current model each time the menu is about to open, so a
    // count of windows that changed quietly is right when it shows. Optional.
    using Current = std::function<StatusModel()>;

    // `ownerPid` names the item on the bus ("org.kde.StatusNotifierItem-<pid>-<n>"):
    // the application the icon stands for; 0 for this process.
    StatusItem(LoopAccess& loop, StatusModel model, Choose choose, Current current = {}, int ownerPid = 0);
    ~StatusItem();
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    // Shows `model`: the icon and tooltip change, and an open menu is told to
    // fetch its entries again. Nothing is sent when nothing changed.
    void update(StatusModel model);

    // The well-known name the item holds on the bus.
    const std::string& serviceName() const;

    struct Core;

private:
    std::shared_ptr<Core> core_;
    LoopAccess& loop_;
};

}  // namespace tessaline::shell
