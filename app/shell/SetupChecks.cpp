#include "app/shell/SetupChecks.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace tessaline::shell {

namespace {

struct Known {
    std::string_view process;  // a name the process goes by; "*" at the end matches a prefix
    std::string_view shown;
};

// Other X11 window managers, and tools that move or tile windows under one.
constexpr Known otherManagers[] = {
    {"i3", "i3"},
    {"bspwm", "bspwm"},
    {"herbstluftwm", "herbstluftwm"},
    {"awesome", "awesome"},
    {"openbox", "Openbox"},
    {"xfwm4", "Xfwm"},
    {"kwin_x11", "KWin"},
    {"mutter", "Mutter"},
    {"gnome-shell", "GNOME Shell"},
    {"marco", "Marco"},
    {"metacity", "Metacity"},
    {"muffin", "Muffin"},
    {"fluxbox", "Fluxbox"},
    {"icewm", "IceWM"},
    {"dwm", "dwm"},
    {"xmonad*", "xmonad"},
    {"qtile", "Qtile"},
    {"spectrwm", "spectrwm"},
    {"fvwm", "FVWM"},
    {"fvwm3", "FVWM"},
    {"enlightenment", "Enlightenment"},
    {"compiz", "Compiz"},
    {"jwm", "JWM"},
    {"leftwm", "LeftWM"},
    {"wmaker", "Window Maker"},
    {"pekwm", "PekWM"},
    {"sawfish", "Sawfish"},
    {"ratpoison", "ratpoison"},
    {"stumpwm", "StumpWM"},
    {"notion", "Notion"},
    {"evilwm", "evilwm"},
    {"twm", "twm"},
    {"ctwm", "ctwm"},
    {"xpytile", "xpytile"},
    {"quicktile", "QuickTile"},
    {"x-tile", "X Tile"},
};

// Tools that turn touchpad swipes into their own commands.
constexpr Known gestureTools[] = {
    {"libinput-gestures", "libinput-gestures"},
    {"fusuma", "Fusuma"},
    {"touchegg", "Touchégg"},
    {"gebaard", "Gebaar"},
    {"comfortable-swipe", "comfortable-swipe"},
};

bool matches(std::string_view pattern, std::string_view name) {
    if (pattern.ends_with('*')) return name.starts_with(pattern.substr(0, pattern.size() - 1));
    return name == pattern;
}

// The shown names of the known tools among the processes, in process order, each once.
template <std::size_t N>
std::vector<std::string> running(const std::vector<ProcessInfo>& processes, const Known (&table)[N]) {
    std::vector<std::string> found;
    for (const auto& process : processes) {
        for (const auto& known : table) {
            bool hit = std::any_of(process.names.begin(), process.names.end(),
                                   [&](const std::string& name) { return matches(known.process, name); });
            if (hit && std::find(found.begin(), found.end(), known.shown) == found.end()) {
                found.emplace_back(known.shown);
            }
        }
    }
    return found;
}

SetupCheck made(std::string id, bool ok, std::string title, std::string detail) {
    SetupCheck check;
    check.id = std::move(id);
    check.ok = ok;
    check.title = std::move(title);
    check.detail = std::move(detail);
    return check;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& part : parts) out += (out.empty() ? "" : ", ") + part;
    return out;
}

SetupCheck displayCheck(const MachineFacts& machine) {
    const DisplayAccess access = machine.displayAccess();
    SetupCheck check = made("ax", false, "", "");
    check.ok = access.reachable && (!access.manager || *access.manager == "Tessaline");
    if (!access.reachable) {
        check.title = "No X display to manage";
    } else if (check.ok) {
        check.title = access.manager ? "Tessaline manages the display"
                                     : "No other window manager holds the display";
    } else {
        check.title = *access.manager + " manages the display";
    }
    check.detail =
        "Tessaline arranges windows as the display's window manager, and a display has room for "
        "one. Choose Tessaline as the session on the login screen, or end ~/.xinitrc with "
        "\"exec tessaline\".";
    if (!check.ok) {
        check.fixTitle = "How to Start Tessaline";
        check.fixOpens = "man:tessaline(1)";
        check.fix = [&machine, target = check.fixOpens] { machine.open(target); };
    }
    return check;
}

SetupCheck othersCheck(const std::vector<ProcessInfo>& processes) {
    const auto names = running(processes, otherManagers);
    SetupCheck check = made("others", names.empty(), "", "");
    check.title = check.ok ? "No other window manager running" : "Also running: " + joined(names);
    check.detail =
        "Two window managers moving the same windows will fight each other. Quit the other one, "
        "or turn off its automatic tiling.";
    return check;
}

SetupCheck swipeCheck(const Config& config, const MachineFacts& machine,
                      const std::vector<ProcessInfo>& processes) {
    const std::string word = config.swipeFingers == 3 ? "three" : "four";
    SetupCheck check = made("swipe", false, "", "");
    const auto tools = running(processes, gestureTools);
    if (!machine.gestureTouchpad()) {
        check.title = "No touchpad with swipe gestures found";
        check.detail =
            "Swiping between columns needs a touchpad whose driver reports multi-finger gestures "
            "(libinput with X.Org 21.1 or later). Shortcuts and scrolling with Control and Alt held "
            "work without one.";
    } else if (!tools.empty()) {
        check.title = "Also handling swipes: " + joined(tools);
        check.detail = "When another gesture tool acts on the same swipe, both happen at once. Turn off "
                       "its " + word + "-finger horizontal swipes, or change Tessaline's finger count.";
    } else {
        check.ok = true;
        check.title = std::string(1, static_cast<char>(word[0] - 'a' + 'A')) + word.substr(1) +
                      "-finger swipe is free";
        check.detail = "No other gesture tool listens to " + word + "-finger swipes.";
    }
    return check;
}

}  // namespace

std::vector<SetupCheck> checks(const Config& config, const MachineFacts& machine) {
    const auto processes = machine.processes();
    std::vector<SetupCheck> list;
    list.push_back(displayCheck(machine));
    list.push_back(othersCheck(processes));
    // Nothing on X11 arranges windows behind the window manager's back, or
    // tiles a window dragged to a screen edge: these two always pass.
    list.push_back(made("stage", true, "Nothing else arranges windows",
                        "Only the window manager places windows on X11, and here that is Tessaline."));
    list.push_back(made("edge", true, "No edge tiling",
                        "Dragging a window to a screen edge doesn't tile it, so drag to reorder works "
                        "as expected."));
    const bool separate = machine.separateWorkspaces();
    list.push_back(made("spaces", separate,
                        separate ? "Each display has its own workspaces"
                                 : "Displays share one set of workspaces",
                        "Tessaline keeps a separate strip per display and workspace."));
    if (config.swipeEnabled) list.push_back(swipeCheck(config, machine, processes));
    return list;
}

}  // namespace tessaline::shell
