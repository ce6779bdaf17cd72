#include "app/shell/StatusModel.h"

#include "engine/actions/Action.h"

namespace tessaline::shell {

namespace {

MenuEntry item(std::string id, std::string title, bool enabled = true, std::string key = {}) {
    return {MenuEntry::Kind::item, std::move(id), std::move(title), enabled, std::move(key)};
}

MenuEntry separator() {
    MenuEntry entry;
    entry.kind = MenuEntry::Kind::separator;
    return entry;
}

// "Pause Tiling  (⌃⌥Q)": the action's first shortcut, when it has one.
std::string withShortcut(std::string title, const Bindings& bindings, Action action) {
    auto found = bindings.find(toString(action));
    if (found == bindings.end() || found->second.empty()) return title;
    return title + "  (" + found->second.front().display() + ")";
}

std::string statusLine(const StatusInputs& inputs) {
    if (!inputs.managesDisplay) return "Not managing the display";
    if (!inputs.running) return "Paused";
    const int count = inputs.tiledCount;
    return "Tiling " + std::to_string(count) + " window" + (count == 1 ? "" : "s");
}

}  // namespace

StatusModel statusModel(const StatusInputs& inputs) {
    StatusModel model;
    model.icon = !inputs.managesDisplay ? StatusIcon::needsDisplay
                 : inputs.running       ? StatusIcon::tiling
                                        : StatusIcon::paused;
    auto& menu = model.menu;
    menu.push_back(item("", statusLine(inputs), false));
    menu.push_back(separator());
    if (!inputs.managesDisplay) {
        menu.push_back(item("startHelp", "How to Start Tessaline…"));
    } else {
        const bool running = inputs.running;
        menu.push_back(item(running ? "stop" : "start",
                            withShortcut(running ? "Pause Tiling" : "Resume Tiling", inputs.bindings,
                                         Action::toggleTiling)));
        menu.push_back(item("retile", "Retile Windows", running));
        menu.push_back(item("overview", withShortcut("Overview", inputs.bindings, Action::overview), running));
    }
    menu.push_back(separator());
    menu.push_back(item("settings", "Settings…", true, ","));
    menu.push_back(item("welcome", "Welcome & Setup…"));
    menu.push_back(item("about", "About Tessaline"));
    // Packages update through the package manager; there is no updater to ask.
    menu.push_back(item("update", "Check for Updates…", false));
    menu.push_back(separator());
    menu.push_back(item("quit", "Quit Tessaline", true, "q"));
    return model;
}

}  // namespace tessaline::shell
