#pragma once
// The setup checks of the welcome window and the settings window's setup
// pane: is the machine set up the way Tessaline wants, and if not, why and
// what to do.

#include "app/shell/MachineFacts.h"
#include "engine/settings/Config.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::shell {

struct SetupCheck {
    std::string id;
    bool ok = false;
    std::string title;   // one-line state, shown with a tick or a warning sign
    std::string detail;  // explanation
    std::optional<std::string> fixTitle;  // the fix button's label; absent: no button
    std::function<void()> fix;
    // What the fix opens (a URL or "man:" page), for a window on the same
    // desktop to open itself; empty when the fix does something else.
    std::string fixOpens;
};

// "ax", "others", "stage", "edge", "spaces" and, while swiping is on,
// "swipe"; evaluated afresh on every call. The fixes call into `machine`,
// which must outlive the list.
std::vector<SetupCheck> checks(const Config& config, const MachineFacts& machine);

}  // namespace tessaline::shell
