#include "overlays/StripOverlay.h"

#include "engine/wm/WindowManager.h"
#include "overlays/Overlays.h"

namespace tessaline {

namespace {

const Strip* stripOf(const WindowManager& wm, const StripKey& key) {
    const auto found = wm.strips.find(key);
    return found == wm.strips.end() || found->second.isEmpty() ? nullptr : &found->second;
}

std::string labelOf(const ManagedWindow& window, TimelineLabels labels) {
    switch (labels) {
        case TimelineLabels::off: return {};
        case TimelineLabels::appName: return window.appName;
        case TimelineLabels::windowTitle: return window.title.empty() ? window.appName : window.title;
    }
    return {};
}

std::string keyText(const StripKey& key) { return key.display + " " + std::to_string(key.space); }

}  // namespace

std::string_view toString(TimelineMode mode) {
    switch (mode) {
        case TimelineMode::off: return "off";
        case TimelineMode::peek: return "peek";
        case TimelineMode::pinned: return "pinned";
    }
    return "off";
}

StripOverlay::~StripOverlay() {
    for (auto& [display, task] : hideWork_) task->cancel();
    if (timeline_ == TimelineMode::pinned) host_.returnEscape(Overlays::EscapeUser::timeline);
}

// ---------------------------------------------------------------------------
// Following the window manager

void StripOverlay::refresh() {
    const auto wm = host_.manager();
    if (!wm) return;
    const Config& config = wm->config;
    const bool always = config.stripIndicatorAlways;
    std::set<std::string> current;
    for (const StripKey& key : wm->activeKeys()) {
        const std::string& display = key.display;
        current.insert(display);
        const Strip* strip = stripOf(*wm, key);
        if (timeline_ != TimelineMode::off && timelineKey_ && timelineKey_->display == display) {
            strip ? showBar(key, true, true) : closeTimeline();
            continue;
        }
        if (!strip) {
            if (always) hide(display);
            continue;
        }
        // A bar that is not up, or already on its way out, stays so.
        if (!always && (!isShowing(display) || fading_.contains(display))) continue;
        switch (config.stripIndicator) {
            case StripIndicator::icons: showBar(key, false, always); break;
            case StripIndicator::minimap: showMinimap(key); break;
            case StripIndicator::off: hide(display); break;
        }
        if (!always && !hideWork_.contains(display)) scheduleHide(display, false);
    }
    std::set<std::string> gone;
    for (const auto& [display, bar] : bars_) {
        if (!current.contains(display)) gone.insert(display);
    }
    for (const auto& [display, minimap] : minimaps_) {
        if (!current.contains(display)) gone.insert(display);
    }
    for (const std::string& display : gone) hide(display);
}

void StripOverlay::show(const StripKey& key, bool hold) {
    const auto wm = host_.manager();
    if (!wm || !wm->isActive(key)) return;
    if (timeline_ != TimelineMode::off) {
        // The open timeline follows to the other strip.
        timelineKey_ = key;
        showBar(key, true, true);
        return;
    }
    switch (wm->config.stripIndicator) {
        case StripIndicator::icons: showBar(key, false, true); break;
        case StripIndicator::minimap: showMinimap(key); break;
        case StripIndicator::off: return;
    }
    scheduleHide(key.display, hold);
}

// ---------------------------------------------------------------------------
// The timeline

void StripOverlay::beginPeek(const StripKey& key) {
    const auto wm = host_.manager();
    if (!wm || !stripOf(*wm, key)) return;
    if (timeline_ == TimelineMode::off) timeline_ = TimelineMode::peek;
    timelineKey_ = key;
    if (const auto found = minimaps_.find(key.display); found != minimaps_.end()) found->second->panel->hide();
    cancelHide(key.display);
    showBar(key, true, true);
}

void StripOverlay::endPeek(bool pin) {
    switch (timeline_) {
        case TimelineMode::off: return;
        case TimelineMode::peek:
            if (!pin) {
                closeTimeline();
                return;
            }
            timeline_ = TimelineMode::pinned;
            host_.lendEscape(Overlays::EscapeUser::timeline, [this] { closeTimeline(); });
            return;
        case TimelineMode::pinned:
            if (pin) closeTimeline();
            return;
    }
}

void StripOverlay::closeTimeline() {
    if (timeline_ == TimelineMode::off) return;
    timeline_ = TimelineMode::off;
    host_.returnEscape(Overlays::EscapeUser::timeline);
    if (!timelineKey_) return;
    const StripKey key = *timelineKey_;
    timelineKey_.reset();
    const auto wm = host_.manager();
    if (!wm) {
        hide(key.display);
        return;
    }
    if (wm->config.stripIndicator == StripIndicator::icons && wm->isActive(key)) {
        // The bar shrinks back and fades a moment later.
        showBar(key, false, true);
        scheduleHide(key.display, false);
        return;
    }
    hide(key.display);
    if (wm->config.stripIndicator == StripIndicator::minimap) show(key, false);
}

void StripOverlay::hideAll() {
    if (timeline_ != TimelineMode::off) {
        timeline_ = TimelineMode::off;
        host_.returnEscape(Overlays::EscapeUser::timeline);
    }
    timelineKey_.reset();
    std::set<std::string> displays;
    for (const auto& [display, bar] : bars_) displays.insert(display);
    for (const auto& [display, minimap] : minimaps_) displays.insert(display);
    for (const std::string& display : displays) hide(display);
}

void StripOverlay::redraw() {
    for (auto& [display, bar] : bars_) bar->panel().redraw();
    for (auto& [display, minimap] : minimaps_) minimap->panel->redraw();
}

// ---------------------------------------------------------------------------
// Bars and minimaps

std::vector<Tile> StripOverlay::tiles(const Strip& strip, const Display& display) {
    const auto wm = host_.manager();
    if (!wm) return {};
    const TimelineLabels labels = wm->config.timelineLabels;
    return makeTiles(strip, display.visible.width, wm->config.gap, wm->minWidths, [&](WindowID id) {
        const WindowPtr window = wm->windowRecord(id);
        return makeChip(id, window.get(), labels, window ? host_.appIcon(window->pid, id) : nullptr);
    });
}

void StripOverlay::showBar(const StripKey& key, bool expanded, bool revive) {
    const auto wm = host_.manager();
    if (!wm) return;
    const Strip* strip = stripOf(*wm, key);
    const std::optional<Display> display = wm->displayByUUID(key.display);
    if (!strip || !display) return;
    auto found = bars_.find(key.display);
    // A refresh never brings back a bar that has gone.
    if (!revive && (found == bars_.end() || !found->second->panel().isShown())) return;
    if (const auto minimap = minimaps_.find(key.display); minimap != minimaps_.end()) {
        minimap->second->panel->hide();
    }
    if (found == bars_.end()) found = bars_.emplace(key.display, std::make_unique<StripBarPanel>(host_)).first;
    StripBarPanel& bar = *found->second;

    const std::weak_ptr<WindowManager> weak = wm;
    bar.model.onSelectColumn = [weak, key](int column) {
        if (const auto manager = weak.lock()) manager->focusColumn(column, key);
    };
    bar.model.onSelectWindow = [this, weak, key](WindowID id) {
        const auto manager = weak.lock();
        if (!manager) return;
        manager->focusWindow(id, key);
        closeTimeline();
    };
    bar.model.onDrop = [weak, key](WindowID id, const DropTarget& target) {
        if (const auto manager = weak.lock()) manager->drop(id, target, key);
    };
    bar.place(tiles(*strip, *display), expanded, wm->config.timelineLabels != TimelineLabels::off,
              wm->config.timelineLook, *display);
    if (revive) this->revive(key.display, bar.panel());
}

void StripOverlay::showMinimap(const StripKey& key) {
    const auto wm = host_.manager();
    if (!wm) return;
    const Strip* strip = stripOf(*wm, key);
    const std::optional<Display> display = wm->displayByUUID(key.display);
    if (!strip || !display) return;
    if (const auto bar = bars_.find(key.display); bar != bars_.end()) bar->second->panel().hide();

    auto& slot = minimaps_[key.display];
    if (!slot) {
        slot = std::make_unique<Minimap>();
        // Nothing to click in a minimap: clicks pass through to the windows.
        slot->panel = host_.makePanel({.kind = PanelKind::minimap});
        Minimap* minimap = slot.get();
        slot->panel->setPainter([minimap](cairo_t* cr, const Canvas& canvas) {
            MinimapView::draw(cr, canvas, minimap->model);
        });
    }
    const TimelineLabels labels = wm->config.timelineLabels;
    std::function<std::string(WindowID)> label;
    if (labels != TimelineLabels::off) {
        label = [&wm, labels](WindowID id) {
            const WindowPtr window = wm->windowRecord(id);
            return window ? labelOf(*window, labels) : std::string();
        };
    }
    MinimapView::Model model =
        MinimapView::build(*strip, display->visible.width, wm->config.gap, wm->minWidths, label);
    const bool changed = model != slot->model;
    if (changed) slot->model = std::move(model);
    slot->panel->place(MinimapView::frame(slot->model, display->visible), changed);
    revive(key.display, *slot->panel);
}

// ---------------------------------------------------------------------------
// Hiding and fading

void StripOverlay::scheduleHide(const std::string& display, bool hold) {
    cancelHide(display);
    fading_.erase(display);
    if (const auto found = fades_.find(display); found != fades_.end()) found->second->stop();
    const auto wm = host_.manager();
    if (!wm || wm->config.stripIndicatorAlways) return;
    hideWork_[display] = host_.scheduler().after(hold ? holdDelay : hideDelay, [this, display] {
        hideWork_.erase(display);
        fade(display);
    });
}

void StripOverlay::fade(const std::string& display) {
    const auto wm = host_.manager();
    if (!wm) return;
    if (timeline_ == TimelineMode::peek) {
        const Modifiers held = host_.platform().modifiers();
        if (!held.contains(Modifiers::control) && !held.contains(Modifiers::option)) {
            // A peek never outlives the chord that opened it.
            wm->resetChord();
            closeTimeline();
            return;
        }
    }
    const auto bar = bars_.find(display);
    if (bar != bars_.end() && bar->second->panel().isShown() &&
        bar->second->panel().frame().contains(wm->input.pointer())) {
        scheduleHide(display, false);
        return;
    }
    if (timeline_ != TimelineMode::off && timelineKey_ && timelineKey_->display == display) {
        scheduleHide(display, false);
        return;
    }
    std::vector<Panel*> panels;
    if (bar != bars_.end() && bar->second->panel().isVisible()) panels.push_back(&bar->second->panel());
    if (const auto minimap = minimaps_.find(display);
        minimap != minimaps_.end() && minimap->second->panel->isVisible()) {
        panels.push_back(minimap->second->panel.get());
    }
    if (panels.empty()) return;
    fading_.insert(display);
    const auto done = [this, display, panels] {
        for (Panel* panel : panels) {
            if (panel->opacity() < 0.01) panel->hide();
        }
        fading_.erase(display);
    };
    if (!host_.platform().compositing()) {
        // Without a compositor opacity shows nothing: the bar goes at once.
        for (Panel* panel : panels) panel->setOpacity(0);
        done();
        return;
    }
    fader(display).start(panels, 0, fadeTime, done);
}

void StripOverlay::hide(const std::string& display) {
    cancelHide(display);
    fading_.erase(display);
    if (const auto found = fades_.find(display); found != fades_.end()) found->second->stop();
    if (const auto bar = bars_.find(display); bar != bars_.end()) bar->second->panel().hide();
    if (const auto minimap = minimaps_.find(display); minimap != minimaps_.end()) {
        minimap->second->panel->hide();
    }
}

void StripOverlay::revive(const std::string& display, Panel& panel) {
    fading_.erase(display);
    if (const auto found = fades_.find(display); found != fades_.end()) found->second->stop();
    panel.setOpacity(1);
    panel.show();
}

void StripOverlay::cancelHide(const std::string& display) {
    const auto found = hideWork_.find(display);
    if (found == hideWork_.end()) return;
    found->second->cancel();
    hideWork_.erase(found);
}

Fade& StripOverlay::fader(const std::string& display) {
    auto& slot = fades_[display];
    if (!slot) slot = std::make_unique<Fade>(host_.scheduler());
    return *slot;
}

bool StripOverlay::isShowing(const std::string& display) const {
    const auto bar = bars_.find(display);
    if (bar != bars_.end() && bar->second->panel().isVisible()) return true;
    const auto minimap = minimaps_.find(display);
    return minimap != minimaps_.end() && minimap->second->panel->isVisible();
}

const StripBarPanel* StripOverlay::bar(const std::string& display) const {
    const auto found = bars_.find(display);
    return found == bars_.end() ? nullptr : found->second.get();
}

const Panel* StripOverlay::minimap(const std::string& display) const {
    const auto found = minimaps_.find(display);
    return found == minimaps_.end() ? nullptr : found->second->panel.get();
}

double StripOverlay::reservedHeight(const Config& config, int columns, const Display& display) {
    if (config.stripIndicator != StripIndicator::icons || !config.stripIndicatorAlways) return 0;
    const Metrics metrics =
        StripBarModel::metricsFor(columns, 1, false, config.timelineLabels != TimelineLabels::off,
                                  config.timelineLook, display.visible.width - 80);
    return metrics.barSize().height + 14;
}

std::map<std::string, std::string> StripOverlay::report() const {
    std::map<std::string, std::string> report;
    report["mode"] = std::string(toString(timeline_));
    report["strip"] = timelineKey_ ? keyText(*timelineKey_) : "";
    const auto state = [this](const std::string& display, const Panel& panel) -> std::string {
        if (!panel.isShown()) return "hidden";
        return fading_.contains(display) ? "fading" : "showing";
    };
    for (const auto& [display, bar] : bars_) {
        std::string text = state(display, bar->panel());
        text += bar->model.expanded ? ", expanded" : ", collapsed";
        text += ", " + std::to_string(bar->model.tiles.size()) + " tiles";
        report["bar " + display] = text;
    }
    for (const auto& [display, minimap] : minimaps_) {
        report["minimap " + display] = state(display, *minimap->panel);
    }
    return report;
}

}  // namespace tessaline
