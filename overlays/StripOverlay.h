#pragma once
// The strip indicator of every display (a bar of app icons or a minimap) and
// the timeline: the same bar, expanded so that each window has a chip of its
// own, open while the chord is held (a peek) or until closed (pinned).

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/platform/Platform.h"
#include "engine/settings/Config.h"
#include "overlays/Motion.h"
#include "overlays/StripBarPanel.h"
#include "overlays/model/Minimap.h"

namespace tessaline {

class Overlays;
struct Strip;

enum class TimelineMode { off, peek, pinned };
std::string_view toString(TimelineMode mode);

class StripOverlay {
public:
    // How long a strip indicator stays before it fades, and how long the fade takes.
    static constexpr double hideDelay = 1.2;
    static constexpr double holdDelay = 2.5;
    static constexpr double fadeTime = 0.35;

    explicit StripOverlay(Overlays& host) : host_(host) {}
    ~StripOverlay();
    StripOverlay(const StripOverlay&) = delete;
    StripOverlay& operator=(const StripOverlay&) = delete;

    void refresh();
    void show(const StripKey& key, bool hold);
    void beginPeek(const StripKey& key);
    void endPeek(bool pin);
    void closeTimeline();
    void hideAll();
    void redraw();

    // Height an always-shown icon bar keeps at the bottom of a display.
    static double reservedHeight(const Config& config, int columns, const Display& display);

    TimelineMode timeline() const { return timeline_; }
    std::optional<StripKey> timelineKey() const { return timelineKey_; }
    bool isShowing(const std::string& display) const;
    bool isFading(const std::string& display) const { return fading_.contains(display); }
    const StripBarPanel* bar(const std::string& display) const;
    const Panel* minimap(const std::string& display) const;

    // The tiles of a strip on a display, as a bar would show them now.
    std::vector<Tile> tiles(const Strip& strip, const Display& display);
    std::map<std::string, std::string> report() const;

private:
    struct Minimap {
        std::unique_ptr<Panel> panel;
        MinimapView::Model model;
    };

    void showBar(const StripKey& key, bool expanded, bool revive);
    void showMinimap(const StripKey& key);
    void scheduleHide(const std::string& display, bool hold);
    void fade(const std::string& display);
    void hide(const std::string& display);
    void revive(const std::string& display, Panel& panel);
    void cancelHide(const std::string& display);
    Fade& fader(const std::string& display);

    Overlays& host_;
    std::map<std::string, std::unique_ptr<StripBarPanel>> bars_;
    std::map<std::string, std::unique_ptr<Minimap>> minimaps_;
    std::map<std::string, std::shared_ptr<ScheduledTask>> hideWork_;
    std::set<std::string> fading_;
    std::map<std::string, std::unique_ptr<Fade>> fades_;
    TimelineMode timeline_ = TimelineMode::off;
    std::optional<StripKey> timelineKey_;
};

}  // namespace tessaline
