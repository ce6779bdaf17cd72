#include "overlays/Overlays.h"

#include <unordered_set>

#include "engine/wm/WindowManager.h"
#include "overlays/DropPreview.h"
#include "overlays/FocusOverlay.h"
#include "overlays/OverviewController.h"
#include "overlays/StripOverlay.h"
#include "overlays/TabBars.h"
#include "overlays/model/FocusGeometry.h"

namespace tessaline {

Overlays::Overlays(OverlayPlatform& platform, Scheduler& scheduler)
    : platform_(platform), scheduler_(scheduler), composited_(platform.compositing()) {}

Overlays::~Overlays() {
    // The parts go first: they give back the Escape key and cancel their timers.
    overview_.reset();
    indicator_.reset();
    drop_.reset();
    tabBars_.reset();
    focus_.reset();
}

void Overlays::attach(std::weak_ptr<WindowManager> manager) { manager_ = std::move(manager); }

// ---------------------------------------------------------------------------
// Parts

FocusOverlay& Overlays::focus() {
    if (!focus_) focus_ = std::make_unique<FocusOverlay>(*this);
    return *focus_;
}

TabBars& Overlays::tabBars() {
    if (!tabBars_) tabBars_ = std::make_unique<TabBars>(*this);
    return *tabBars_;
}

StripOverlay& Overlays::indicator() {
    if (!indicator_) indicator_ = std::make_unique<StripOverlay>(*this);
    return *indicator_;
}

DropPreview& Overlays::drop() {
    if (!drop_) drop_ = std::make_unique<DropPreview>(*this);
    return *drop_;
}

OverviewController& Overlays::overview() {
    if (!overview_) overview_ = std::make_unique<OverviewController>(*this);
    return *overview_;
}

std::unique_ptr<Panel> Overlays::makePanel(const PanelSpec& spec) {
    std::unique_ptr<Panel> panel = platform_.makePanel(spec);
    panels_.push_back(panel.get());
    return panel;
}

// ---------------------------------------------------------------------------
// OverlayPresenter

void Overlays::refresh() {
    const auto wm = manager();
    if (!wm || !wm->running) {
        hideAll();
        return;
    }
    if (platform_.compositing() != composited_) {
        compositingChanged();
        return;
    }
    const Config& config = wm->config;
    FocusOverlay& focusPart = focus();
    focusPart.target = (config.focusBorder || config.dimInactive) ? wm->focusedTiledWindow() : std::nullopt;
    focusPart.updateDim();
    tabBars().refresh();
    indicator().refresh();
    if (overview_) overview_->refresh();
    focusPart.follow();
    tabBars().layout();
    pruneIcons();
}

void Overlays::followFrames() {
    // A stopped manager's last frames linger in the writer; they draw nothing.
    const auto wm = manager();
    if (!wm || !wm->running) return;
    if (focus_) focus_->follow();
    if (tabBars_) tabBars_->layout();
}

void Overlays::hideAll() {
    if (focus_) {
        focus_->target.reset();
        focus_->hide();
    }
    if (indicator_) indicator_->hideAll();
    if (tabBars_) tabBars_->hide();
    if (drop_) drop_->hide();
    if (overview_) overview_->close(std::nullopt);
}

void Overlays::showStrip(const StripKey& key, bool hold) {
    if (manager_.expired()) return;
    indicator().show(key, hold);
}

void Overlays::showDropIndicator(std::optional<Rect> frame, std::optional<WindowID> below) {
    if (manager_.expired()) return;
    drop().show(frame, below);
}

void Overlays::clickedElsewhere() {
    if (indicator_ && indicator_->timeline() == TimelineMode::pinned) indicator_->closeTimeline();
}

bool Overlays::timelineOpen() const {
    return indicator_ && indicator_->timeline() != TimelineMode::off;
}

void Overlays::beginTimelinePeek(const StripKey& key) {
    if (overviewOpen() || manager_.expired()) return;
    indicator().beginPeek(key);
}

void Overlays::endTimelinePeek(bool pin) {
    if (indicator_) indicator_->endPeek(pin);
}

void Overlays::closeTimeline() {
    if (indicator_) indicator_->closeTimeline();
}

double Overlays::reservedHeight(int columns, const Display& display) const {
    const auto wm = manager();
    return wm ? StripOverlay::reservedHeight(wm->config, columns, display) : 0;
}

bool Overlays::overviewOpen() const { return overview_ && overview_->isOpen(); }

void Overlays::showOverview(const StripKey& key) {
    if (manager_.expired()) return;
    overview().show(key);
}

void Overlays::closeOverview() {
    if (overview_) overview_->close(std::nullopt);
}

const Panel* Overlays::panelAt(Point point) const {
    // Later panels were made later and lie above earlier ones of their kind;
    // the overview covers everything.
    const Panel* found = nullptr;
    for (const Panel* panel : panels_) {
        if (!panel->isVisible() || !panel->spec().clicks || !panel->frame().contains(point)) continue;
        if (!found || panel->spec().kind == PanelKind::overview) found = panel;
    }
    return found;
}

bool Overlays::isOnScreen(const Rect& rect) const {
    const auto wm = manager();
    return wm && FocusGeometry::isOnScreen(rect, wm->displays);
}

// ---------------------------------------------------------------------------
// Platform services

bool Overlays::reduceMotion() const {
    const auto wm = manager();
    return wm && wm->system.reduceMotion();
}

void Overlays::compositingChanged() {
    composited_ = platform_.compositing();
    if (focus_) focus_->redraw();
    if (tabBars_) tabBars_->redraw();
    if (indicator_) indicator_->redraw();
    if (drop_) drop_->redraw();
    if (overview_) overview_->redraw();
    const auto wm = manager();
    if (wm && wm->running) refresh();
}

AppIconRef Overlays::appIcon(ProcessID pid, WindowID window) {
    if (const auto found = icons_.find(pid); found != icons_.end()) return found->second;
    AppIconRef icon = platform_.appIcon(pid, window);
    if (icon) icons_[pid] = icon;
    return icon;
}

void Overlays::forgetIcon(ProcessID pid) { icons_.erase(pid); }

void Overlays::pruneIcons() {
    if (icons_.empty()) return;
    const auto wm = manager();
    if (!wm) return;
    // Icons of applications that have no window left (most likely quit).
    std::unordered_set<ProcessID> pids;
    for (const auto& [id, window] : wm->windows) pids.insert(window->pid);
    std::erase_if(icons_, [&](const auto& entry) { return !pids.contains(entry.first); });
}

void Overlays::lendEscape(EscapeUser user, std::function<void()> handler) {
    escapeUser_ = user;
    platform_.registerEscape(std::move(handler));
}

void Overlays::returnEscape(EscapeUser user) {
    if (escapeUser_ != user) return;
    escapeUser_.reset();
    platform_.releaseEscape();
}

}  // namespace tessaline
