#pragma once
// A stand-in for the overlays until the X11 version exists: it does
// nothing, and says so once in the log.

#include "engine/platform/Platform.h"

namespace tessaline {

class PlaceholderOverlays final : public OverlayPresenter {
public:
    void refresh() override;
    void followFrames() override {}
    void hideAll() override {}
    void showStrip(const StripKey&, bool) override {}
    void showDropIndicator(std::optional<Rect>, std::optional<WindowID>) override {}
    void clickedElsewhere() override {}
    bool timelineOpen() const override { return false; }
    void beginTimelinePeek(const StripKey&) override {}
    void endTimelinePeek(bool) override {}
    void closeTimeline() override {}
    double reservedHeight(int, const Display&) const override { return 0; }
    bool overviewOpen() const override { return false; }
    void showOverview(const StripKey&) override {}
    void closeOverview() override {}

private:
    bool said_ = false;
};

}  // namespace tessaline
