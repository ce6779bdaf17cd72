#pragma once
// The engine's record of one application window, tiled or not. Shared by the
// window manager's tables; deferred work holds it strongly and compares
// identity against `WindowManager::windows` before acting.

#include <optional>
#include <string>
#include <string_view>

#include "engine/log/Log.h"
#include "engine/platform/PlatformTypes.h"

namespace tessaline {

struct ManagedWindow {
    // Text forms are the case names; only tiled windows are in strips.
    enum class State { tiled, floating, minimized, fullscreen, hidden };

    // Where the window stood before it was minimised or went full screen.
    struct Slot {
        int column = 0;
        double width = 0.5;
        friend bool operator==(const Slot&, const Slot&) = default;
    };

    ManagedWindow(WindowID id, ProcessID pid, WindowHandle handle, std::string bundleID,
                  std::string appName, std::string title)
        : id(id), pid(pid), handle(std::move(handle)), bundleID(std::move(bundleID)),
          appName(std::move(appName)), title(std::move(title)) {}
    ManagedWindow(const ManagedWindow&) = delete;
    ManagedWindow& operator=(const ManagedWindow&) = delete;

    const WindowID id;
    const ProcessID pid;
    const WindowHandle handle;
    const std::string bundleID;
    const std::string appName;
    std::string title;
    State state = State::floating;
    std::optional<StripKey> key;        // the strip the window belongs to
    std::optional<bool> manualFloat;    // the user's own choice, overriding rules
    std::optional<Slot> slot;

    // How log messages name the window: never by its title.
    std::string tag() const { return windowTag(appName, id); }
};

std::string_view toString(ManagedWindow::State state);
std::optional<ManagedWindow::State> windowStateFromString(std::string_view text);

}  // namespace tessaline
