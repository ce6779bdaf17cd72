#pragma once
// A recording OverlayPresenter: it draws nothing, remembers every call and
// keeps the timeline's and overview's open state as the real one would.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/platform/Platform.h"

namespace tessaline {

class SimOverlays final : public OverlayPresenter {
public:
    enum class Timeline { closed, peek, pinned };

    void refresh() override;
    void followFrames() override;
    void hideAll() override;
    void showStrip(const StripKey& key, bool hold) override;
    void showDropIndicator(std::optional<Rect> frame, std::optional<WindowID> below) override;
    void clickedElsewhere() override;
    bool timelineOpen() const override { return timeline_ != Timeline::closed; }
    void beginTimelinePeek(const StripKey& key) override;
    void endTimelinePeek(bool pin) override;
    void closeTimeline() override;
    double reservedHeight(int columns, const Display& display) const override;
    bool overviewOpen() const override { return overview_.has_value(); }
    void showOverview(const StripKey& key) override;
    void closeOverview() override;

    // -- configuration
    void setReservedHeight(double height);
    void setReservedHeight(std::function<double(int columns, const Display&)> height);

    // -- what was asked
    const std::vector<std::string>& calls() const { return calls_; }  // operation names in order
    int count(const std::string& operation) const;
    void clearCalls() { calls_.clear(); }
    const std::vector<std::pair<StripKey, bool>>& stripsShown() const { return stripsShown_; }
    std::optional<Rect> dropIndicator() const { return dropIndicator_; }
    std::optional<WindowID> dropBelow() const { return dropBelow_; }
    Timeline timeline() const { return timeline_; }
    std::optional<StripKey> timelineKey() const { return timelineKey_; }
    std::optional<StripKey> overviewKey() const { return overview_; }

private:
    std::vector<std::string> calls_;
    std::vector<std::pair<StripKey, bool>> stripsShown_;
    std::optional<Rect> dropIndicator_;
    std::optional<WindowID> dropBelow_;
    Timeline timeline_ = Timeline::closed;
    std::optional<StripKey> timelineKey_;
    std::optional<StripKey> overview_;
    std::function<double(int, const Display&)> reserved_;
};

}  // namespace tessaline
