#pragma once
// An OverlayPlatform without a window system: its panels remember what they
// were asked (frames, paints, holes, visibility) and render their content on
// request. Tests drive the overlays over it, and so can anything that wants
// the overlays' state without a display.

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "overlays/Panel.h"

namespace tessaline {

class RecordingPanel final : public Panel {
public:
    using Panel::Panel;

    // How often each kind of change reached the platform.
    struct Counts {
        int moves = 0;
        int resizes = 0;
        int paints = 0;   // repaints asked for, resizes included
        int holes = 0;
        int restacks = 0;
        friend bool operator==(const Counts&, const Counts&) = default;
    };
    const Counts& counts() const { return counts_; }

    // The content as the platform would show it (premultiplied ARGB32).
    // The caller destroys the surface.
    cairo_surface_t* render(bool composited) const;

    // Input as the platform would deliver it, in panel coordinates.
    void press(Point at, int button = 1);
    void moveTo(Point at);
    void release(Point at);
    void click(Point at);
    bool type(OverlayKey key);

protected:
    void moved() override { ++counts_.moves; }
    void resized() override {
        ++counts_.resizes;
        ++counts_.paints;
    }
    void contentChanged() override { ++counts_.paints; }
    void holeChanged() override { ++counts_.holes; }
    void opacityChanged() override {}
    void visibilityChanged() override {}
    void stackingChanged() override { ++counts_.restacks; }
    void keyboardChanged() override {}

private:
    Counts counts_;
};

class RecordingPanels final : public OverlayPlatform {
public:
    std::unique_ptr<Panel> makePanel(const PanelSpec& spec) override;
    bool compositing() const override { return composited; }
    Modifiers modifiers() const override { return held; }
    AppIconRef appIcon(ProcessID pid, WindowID window) override;
    void registerEscape(std::function<void()> handler) override { escape_ = std::move(handler); }
    void releaseEscape() override { escape_ = nullptr; }

    bool composited = true;
    Modifiers held;
    std::map<ProcessID, AppIconRef> icons;

    // Every panel of a kind, in the order they were made.
    std::vector<RecordingPanel*> panels(PanelKind kind) const;
    // The first panel of a kind; null when none was made.
    RecordingPanel* panel(PanelKind kind, std::size_t index = 0) const;
    // Panels of any kind on screen now.
    std::vector<RecordingPanel*> shown() const;
    bool escapeLent() const { return static_cast<bool>(escape_); }
    // Presses the lent Escape key; false when nobody holds it.
    bool pressEscape();
    int iconRequests() const { return iconRequests_; }

private:
    std::vector<RecordingPanel*> panels_;
    std::function<void()> escape_;
    int iconRequests_ = 0;
};

}  // namespace tessaline
