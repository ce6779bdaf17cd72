// Displays and their workspaces: following RandR and the docks' struts,
// showing one workspace per display, moving windows between workspaces as
// pagers ask, and the numbering of workspaces as EWMH desktops.

#include <algorithm>
#include <cstdio>

#include "core/Parking.h"
#include "engine/log/Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Scheduler.h"
#include "platform/x11/X11WindowSystem.h"

namespace tessaline {

namespace {

std::uint32_t fnv1a32(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

Rect moved(Rect frame, Point from, Point to) {
    frame.x += to.x - from.x;
    frame.y += to.y - from.y;
    return frame;
}

}  // namespace

SpaceID X11WindowSystem::spaceID(const Workspace& workspace) {
    // Small enough for any JSON reader (below 2^53), and never 0.
    return (static_cast<SpaceID>(fnv1a32(workspace.display)) << 8) | static_cast<SpaceID>(workspace.index + 1);
}

// ---------------------------------------------------------------------------
// Displays

void X11WindowSystem::refreshMonitors() {
    std::vector<MonitorInfo> infos = readMonitors(x_);
    const bool same = infos.size() == monitors_.size() &&
                      std::equal(infos.begin(), infos.end(), monitors_.begin(),
                                 [](const MonitorInfo& a, const Monitor& b) { return a == b.info; });
    if (same) return;

    std::vector<Monitor> old = std::move(monitors_);
    monitors_.clear();
    for (MonitorInfo& info : infos) {
        Monitor monitor;
        monitor.info = std::move(info);
        const auto before = std::find_if(old.begin(), old.end(),
                                         [&](const Monitor& m) { return m.info.uuid == monitor.info.uuid; });
        if (before != old.end()) {
            monitor.current = before->current;
        } else if (auto left = leftWorkspaces_.find(monitor.info.uuid); left != leftWorkspaces_.end()) {
            monitor.current = left->second;
        }
        monitor.visible = monitor.info.frame;
        monitors_.push_back(std::move(monitor));
    }
    for (const Monitor& m : old) {
        if (!monitorByUUID(m.info.uuid)) leftWorkspaces_[m.info.uuid] = m.current;
    }
    const std::vector<Strut> reserved = struts();
    for (Monitor& monitor : monitors_) monitor.visible = visibleArea(monitor.info.frame, screenSize_, reserved);

    // Windows go along with their display; those of a display that left
    // join the primary display's workspace on screen.
    const Monitor& primary = monitors_.front();
    for (auto& [window, client] : clients_) {
        if (client.sticky()) continue;
        const auto before = std::find_if(old.begin(), old.end(),
                                         [&](const Monitor& m) { return m.info.uuid == client.workspace.display; });
        const Monitor* now = monitorOf(client.workspace);
        if (!now) {
            if (before != old.end()) {
                client.frame = moved(client.frame, before->info.frame.origin(), primary.info.frame.origin());
            }
            client.workspace = Workspace{primary.info.uuid, primary.current};
            client.frame = Parking::fit(client.frame, primary.visible);
            now = &primary;
        } else if (before != old.end() && before->info.frame.origin() != now->info.frame.origin()) {
            client.frame = moved(client.frame, before->info.frame.origin(), now->info.frame.origin());
        }
        if (client.fullscreen) client.frame = now->info.frame;
        updateVisibility(client);
        markDirty(client);
    }
    if (!monitorByUUID(active_)) active_ = primary.info.uuid;

    double fastest = 0;
    for (const Monitor& monitor : monitors_) fastest = std::max(fastest, monitor.info.refreshRate);
    scheduler_.setRefreshRate(fastest);
    rootDirty_ = true;
    stackDirty_ = true;
    Log::spaces([&] {
        std::string text = "monitors:";
        for (const Monitor& m : monitors_) {
            char buffer[160];
            std::snprintf(buffer, sizeof buffer, " %s (%s) %.0fx%.0f+%.0f+%.0f", m.info.name.c_str(),
                          m.info.uuid.c_str(), m.info.frame.width, m.info.frame.height, m.info.frame.x,
                          m.info.frame.y);
            text += buffer;
        }
        return text;
    });
    emit(DisplaysChanged{});
}

std::vector<Strut> X11WindowSystem::struts() const {
    std::vector<Strut> result;
    for (const auto& [window, client] : clients_) {
        if (client.kind == WindowKind::dock && !client.strut.empty()) result.push_back(client.strut);
    }
    return result;
}

void X11WindowSystem::refreshVisibleAreas() {
    const std::vector<Strut> reserved = struts();
    bool changed = false;
    for (Monitor& monitor : monitors_) {
        const Rect visible = visibleArea(monitor.info.frame, screenSize_, reserved);
        if (visible == monitor.visible) continue;
        monitor.visible = visible;
        changed = true;
    }
    if (changed) emit(DisplaysChanged{});
}

const X11WindowSystem::Monitor* X11WindowSystem::monitorOf(const Workspace& workspace) const {
    for (const Monitor& monitor : monitors_) {
        if (monitor.info.uuid == workspace.display) return &monitor;
    }
    return nullptr;
}

X11WindowSystem::Monitor* X11WindowSystem::monitorByUUID(const std::string& uuid) {
    for (Monitor& monitor : monitors_) {
        if (monitor.info.uuid == uuid) return &monitor;
    }
    return nullptr;
}

int X11WindowSystem::monitorIndex(const std::string& uuid) const {
    for (std::size_t i = 0; i < monitors_.size(); ++i) {
        if (monitors_[i].info.uuid == uuid) return static_cast<int>(i);
    }
    return -1;
}

std::string X11WindowSystem::activeMonitor() const {
    for (const Monitor& monitor : monitors_) {
        if (monitor.info.uuid == active_) return active_;
    }
    return monitors_.empty() ? std::string() : monitors_.front().info.uuid;
}

void X11WindowSystem::followToDisplay(Client& client) {
    if (client.sticky() || client.fullscreen || !isShown(client)) return;
    const auto overlap = [&](const Rect& area) {
        const double w = std::min(area.maxX(), client.frame.maxX()) - std::max(area.x, client.frame.x);
        const double h = std::min(area.maxY(), client.frame.maxY()) - std::max(area.y, client.frame.y);
        return w > 0 && h > 0 ? w * h : 0.0;
    };
    const Monitor* current = monitorOf(client.workspace);
    const double here = current ? overlap(current->info.frame) : 0;
    const Monitor* best = nullptr;
    double most = here;
    for (const Monitor& monitor : monitors_) {
        const double area = overlap(monitor.info.frame);
        if (&monitor != current && area > most) {
            best = &monitor;
            most = area;
        }
    }
    // A parked window keeps a sliver on its own display and may touch
    // another one a little; one moved over is mostly there.
    if (!best || most * 4 < client.frame.width * client.frame.height) return;
    client.workspace = Workspace{best->info.uuid, best->current};
    rootDirty_ = true;
    markDirty(client);
}

// ---------------------------------------------------------------------------
// Workspaces

bool X11WindowSystem::isShown(const Client& client) const {
    if (client.sticky()) return true;
    if (client.iconified) return false;
    const Monitor* monitor = monitorOf(client.workspace);
    return monitor && monitor->current == client.workspace.index;
}

void X11WindowSystem::updateVisibility(Client& client) {
    const bool shown = isShown(client) && !client.awaitingFrame;
    if (client.shouldMap == shown) return;
    client.shouldMap = shown;
    markDirty(client);
}

void X11WindowSystem::showWorkspace(std::size_t index, int workspace) {
    if (index >= monitors_.size() || workspace < 0 || workspace >= workspacesPerDisplay) return;
    Monitor& monitor = monitors_[index];
    active_ = monitor.info.uuid;
    rootDirty_ = true;
    if (monitor.current == workspace) return;
    monitor.current = workspace;
    for (auto& [window, client] : clients_) {
        if (client.workspace.display == monitor.info.uuid) updateVisibility(client);
    }
    Log::spaces([&] { return monitor.info.name + " shows workspace " + std::to_string(workspace + 1); });
    const Client* focused = find(focus_);
    if (!focused || !isShown(*focused)) {
        focus_ = XCB_NONE;
        focusFallback(true);
    }
    emit(SpaceChanged{});
}

void X11WindowSystem::moveToWorkspace(Client& client, const Workspace& target) {
    const Monitor* to = monitorOf(target);
    if (client.workspace == target || !to) return;
    const bool otherDisplay = target.display != client.workspace.display;
    if (otherDisplay) {
        if (const Monitor* from = monitorOf(client.workspace)) {
            client.frame = moved(client.frame, from->info.frame.origin(), to->info.frame.origin());
        }
        client.frame = client.fullscreen ? to->info.frame : Parking::fit(client.frame, to->visible);
    }
    client.workspace = target;
    updateVisibility(client);
    markDirty(client);
    rootDirty_ = true;
    if (focus_ == client.window && !isShown(client)) {
        focus_ = XCB_NONE;
        focusFallback(true);
    }
    if (otherDisplay && !isShown(client) && watched_.count(client.window)) {
        // The engine follows a window to another Space only on a display
        // that shows it; onto another display's hidden workspace it has to
        // meet the window anew.
        emitWindow(WindowEvent::destroyed, client);
        emitWindow(WindowEvent::created, client);
    }
    emit(SpaceChanged{});
}

std::optional<Workspace> X11WindowSystem::workspaceOfDesktop(std::uint32_t desktop) const {
    const std::size_t monitor = desktop / workspacesPerDisplay;
    if (monitor >= monitors_.size()) return std::nullopt;
    return Workspace{monitors_[monitor].info.uuid, static_cast<int>(desktop % workspacesPerDisplay)};
}

std::uint32_t X11WindowSystem::desktopOf(const Client& client) const {
    if (client.sticky()) return 0xFFFFFFFF;
    const int monitor = monitorIndex(client.workspace.display);
    if (monitor < 0) return 0;
    return static_cast<std::uint32_t>(monitor * workspacesPerDisplay + client.workspace.index);
}

}  // namespace tessaline
