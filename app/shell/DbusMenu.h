#pragma once
// The status menu as com.canonical.dbusmenu serves it to a panel: entries
// numbered, their properties, the layout tree, and clicks turned back into
// entry ids. It rides on a connection its owner opens and drives.

#include "app/shell/StatusModel.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <systemd/sd-bus.h>
#include <vector>

namespace tessaline::shell {

class DbusMenu {
public:
    struct Hooks {
        // An enabled entry with an id was clicked. Runs inside the bus's dispatch.
        std::function<void(const std::string& entryId)> chosen;
        // The menu is about to open; answers whether `show` got new entries meanwhile.
        std::function<bool()> aboutToShow;
    };

    DbusMenu(std::vector<MenuEntry> entries, Hooks hooks);
    ~DbusMenu() { withdraw(); }
    DbusMenu(const DbusMenu&) = delete;
    DbusMenu& operator=(const DbusMenu&) = delete;

    // Serves the menu at `path` until `withdraw`; a negative errno when it can't.
    int publish(sd_bus* bus, const char* path);
    void withdraw();

    // Shows `entries`, telling the panel to fetch them again; false when they
    // are the ones shown already.
    bool show(std::vector<MenuEntry> entries);

    struct Handlers;

private:
    void renumber();
    const MenuEntry* entry(std::int32_t id) const;  // null for the root and unknown ids
    bool known(std::int32_t id) const { return id == 0 || entry(id); }
    void clicked(std::int32_t id);

    std::vector<MenuEntry> entries_;
    Hooks hooks_;
    std::vector<std::int32_t> ids_;  // the number of each entry
    std::map<std::string, std::int32_t> namedIds_;
    std::uint32_t revision_ = 1;
    sd_bus* bus_ = nullptr;
    sd_bus_slot* slot_ = nullptr;
    std::string path_;
};

}  // namespace tessaline::shell
