#pragma once
// The overlays the user sees over other applications' windows: the focus
// border, the dimming of everything but the focused window, the drop preview,
// the tab bars, the strip indicator and timeline, and the overview. Overlays
// is the engine's OverlayPresenter; it turns the window manager's state into
// panels on refresh() and moves the border and tab bars along on
// followFrames().
//
// It draws through an OverlayPlatform (panels, compositor, icons, Escape) and
// times everything with the engine's Scheduler. Create it before the window
// manager, hand it to WindowManager::create, then attach() the manager: it is
// held weakly and every operation does nothing once it is gone.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/platform/Platform.h"
#include "overlays/Panel.h"

namespace tessaline {

class WindowManager;
class FocusOverlay;
class TabBars;
class StripOverlay;
class DropPreview;
class OverviewController;

class Overlays final : public OverlayPresenter {
public:
    Overlays(OverlayPlatform& platform, Scheduler& scheduler);
    ~Overlays() override;
    Overlays(const Overlays&) = delete;
    Overlays& operator=(const Overlays&) = delete;

    void attach(std::weak_ptr<WindowManager> manager);

    // ---- OverlayPresenter
    void refresh() override;
    void followFrames() override;
    void hideAll() override;
    void showStrip(const StripKey& key, bool hold) override;
    void showDropIndicator(std::optional<Rect> frame, std::optional<WindowID> below) override;
    void clickedElsewhere() override;
    bool timelineOpen() const override;
    void beginTimelinePeek(const StripKey& key) override;
    void endTimelinePeek(bool pin) override;
    void closeTimeline() override;
    double reservedHeight(int columns, const Display& display) const override;
    bool overviewOpen() const override;
    void showOverview(const StripKey& key) override;
    void closeOverview() override;

    // True when the rectangle overlaps some display by more than 40 points of width.
    bool isOnScreen(const Rect& rect) const;

    // ---- for the platform
    // The shown panel that takes a click at this point (global coordinates),
    // if any. Such a click is the panel's, and must not reach the engine as a
    // MouseDown: a click elsewhere closes a pinned timeline.
    const Panel* panelAt(Point point) const;
    // A compositing manager came or went: panels paint in the other look,
    // and dimming follows.
    void compositingChanged();
    // The application's icon changed or it quit: read it again next time.
    void forgetIcon(ProcessID pid);

    // ---- for the `snapshot` and `state` commands
    // Renders the overlays as they are now into PNG files in `folder` and
    // returns their paths; empty when the folder cannot be made.
    std::vector<std::filesystem::path> debugSnapshot(const std::filesystem::path& folder);
    // Per panel, its transparency, shadow and corner parameters.
    std::map<std::string, double> glassReport() const;
    std::map<std::string, std::string> timelineReport() const;
    std::string overviewDescription() const;

    // ---- for the parts
    std::shared_ptr<WindowManager> manager() const { return manager_.lock(); }
    OverlayPlatform& platform() const { return platform_; }
    Scheduler& scheduler() const { return scheduler_; }
    bool reduceMotion() const;
    // Made through the platform and remembered, so a change of look reaches every panel.
    std::unique_ptr<Panel> makePanel(const PanelSpec& spec);
    // Cached per process; a process without an icon is asked again next time.
    AppIconRef appIcon(ProcessID pid, WindowID window);
    // The Escape key, lent to one part at a time.
    enum class EscapeUser { timeline, overview };
    void lendEscape(EscapeUser user, std::function<void()> handler);
    void returnEscape(EscapeUser user);

    // The parts, created on first use.
    FocusOverlay& focus();
    TabBars& tabBars();
    StripOverlay& indicator();
    DropPreview& drop();
    OverviewController& overview();

private:
    void pruneIcons();

    OverlayPlatform& platform_;
    Scheduler& scheduler_;
    std::weak_ptr<WindowManager> manager_;
    std::unique_ptr<FocusOverlay> focus_;
    std::unique_ptr<TabBars> tabBars_;
    std::unique_ptr<StripOverlay> indicator_;
    std::unique_ptr<DropPreview> drop_;
    std::unique_ptr<OverviewController> overview_;
    std::vector<Panel*> panels_;  // every panel made; owned by the parts
    std::unordered_map<ProcessID, AppIconRef> icons_;
    std::optional<EscapeUser> escapeUser_;
    bool composited_ = true;
};

}  // namespace tessaline
