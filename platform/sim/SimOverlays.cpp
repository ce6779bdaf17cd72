#include "platform/sim/SimOverlays.h"

#include <algorithm>

namespace tessaline {

void SimOverlays::refresh() { calls_.push_back("refresh"); }
void SimOverlays::followFrames() { calls_.push_back("followFrames"); }

void SimOverlays::hideAll() {
    calls_.push_back("hideAll");
    dropIndicator_.reset();
    dropBelow_.reset();
    timeline_ = Timeline::closed;
    timelineKey_.reset();
    overview_.reset();
}

void SimOverlays::showStrip(const StripKey& key, bool hold) {
    calls_.push_back("showStrip");
    stripsShown_.emplace_back(key, hold);
    if (timelineOpen()) timelineKey_ = key;  // an open timeline switches strips instead
}

void SimOverlays::showDropIndicator(std::optional<Rect> frame, std::optional<WindowID> below) {
    calls_.push_back("showDropIndicator");
    dropIndicator_ = frame;
    dropBelow_ = frame ? below : std::nullopt;
}

void SimOverlays::clickedElsewhere() {
    calls_.push_back("clickedElsewhere");
    if (timeline_ == Timeline::pinned) closeTimeline();
}

void SimOverlays::beginTimelinePeek(const StripKey& key) {
    calls_.push_back("beginTimelinePeek");
    if (overview_) return;
    if (timeline_ == Timeline::closed) timeline_ = Timeline::peek;
    timelineKey_ = key;
}

void SimOverlays::endTimelinePeek(bool pin) {
    calls_.push_back("endTimelinePeek");
    switch (timeline_) {
        case Timeline::closed: break;
        case Timeline::peek:
            if (pin) timeline_ = Timeline::pinned;
            else closeTimeline();
            break;
        case Timeline::pinned:
            if (pin) closeTimeline();
            break;
    }
}

void SimOverlays::closeTimeline() {
    calls_.push_back("closeTimeline");
    timeline_ = Timeline::closed;
    timelineKey_.reset();
}

double SimOverlays::reservedHeight(int columns, const Display& display) const {
    return reserved_ ? reserved_(columns, display) : 0;
}

void SimOverlays::showOverview(const StripKey& key) {
    calls_.push_back("showOverview");
    overview_ = key;
}

void SimOverlays::closeOverview() {
    calls_.push_back("closeOverview");
    overview_.reset();
}

void SimOverlays::setReservedHeight(double height) {
    reserved_ = [height](int, const Display&) { return height; };
}

void SimOverlays::setReservedHeight(std::function<double(int, const Display&)> height) {
    reserved_ = std::move(height);
}

int SimOverlays::count(const std::string& operation) const {
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
}

}  // namespace tessaline
