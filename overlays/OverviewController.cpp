#include "overlays/OverviewController.h"

#include <cmath>

#include "engine/wm/WindowManager.h"
#include "overlays/Overlays.h"
#include "overlays/draw/Drawing.h"
#include "overlays/model/FocusGeometry.h"

namespace tessaline {

OverviewController::OverviewController(Overlays& host)
    : host_(host), fade_(host.scheduler()), self_(std::make_shared<OverviewController*>(this)) {
    model_.onChoose = [this](WindowID id) { close(id); };
    model_.onClose = [this] { close(std::nullopt); };
}

OverviewController::~OverviewController() {
    if (key_) host_.returnEscape(Overlays::EscapeUser::overview);
}

Panel& OverviewController::panel() {
    if (!panel_) {
        panel_ = host_.makePanel({.kind = PanelKind::overview, .clicks = true, .keyboard = true});
        panel_->setPainter([this](cairo_t* cr, const Canvas& canvas) { drawOverview(cr, canvas, model_); });
        panel_->onPointer = [this](const PanelPointer& event) { pointer(event); };
        panel_->onKey = [this](OverlayKey pressed) { return key(pressed); };
    }
    return *panel_;
}

bool OverviewController::build(const StripKey& key, OverviewModel& into) const {
    const auto wm = host_.manager();
    if (!wm) return false;
    const auto strip = wm->strips.find(key);
    const std::optional<Display> display = wm->displayByUUID(key.display);
    if (strip == wm->strips.end() || !display) return false;

    OverviewSource source;
    source.strip = &strip->second;
    source.frame = display->frame;
    source.area = display->visible;
    source.area.height -= host_.reservedHeight(strip->second.count(), *display);
    source.layout = wm->layoutConfig();
    source.minWidths = &wm->minWidths;
    source.cornerRadius = FocusGeometry::cornerRadius(wm->config);
    source.previews = wm->config.overviewPreviews;
    source.still = !wm->config.animate || host_.reduceMotion();
    source.describe = [&](WindowID id) {
        Card card;
        if (const WindowPtr window = wm->windowRecord(id)) {
            card.app = window->appName;
            card.title = window->title;
            card.icon = host_.appIcon(window->pid, id);
        }
        return card;
    };
    buildOverview(source, into);
    return true;
}

void OverviewController::show(const StripKey& key) {
    const auto wm = host_.manager();
    if (!wm) return;
    const auto strip = wm->strips.find(key);
    const std::optional<Display> display = wm->displayByUUID(key.display);
    if (strip == wm->strips.end() || strip->second.isEmpty() || !display) return;

    key_ = key;
    model_.selected = strip->second.focusedWindow();
    build(key, model_);
    Panel& p = panel();
    fade_.stop();
    p.place(display->frame, true);
    if (wm->config.animate && !host_.reduceMotion() && host_.platform().compositing()) {
        p.setOpacity(0);
        fade_.start({&p}, 1, fadeIn, nullptr);
    } else {
        p.setOpacity(1);
    }
    p.show();
    p.takeKeyboard(true);
    host_.lendEscape(Overlays::EscapeUser::overview, [this] { close(std::nullopt); });
    capturePreviews();
}

void OverviewController::close(std::optional<WindowID> choosing) {
    if (!key_) return;
    const StripKey key = *key_;
    key_.reset();
    host_.returnEscape(Overlays::EscapeUser::overview);
    host_.platform().stopPreviews();
    if (panel_ && panel_->isShown()) {
        // The keyboard goes back at once, not when the fade ends.
        panel_->takeKeyboard(false);
        if (host_.reduceMotion() || !host_.platform().compositing()) {
            fade_.stop();
            panel_->hide();
        } else {
            fade_.start({panel_.get()}, 0, fadeOut, [this] {
                if (!key_) panel_->hide();
            });
        }
    }
    if (!choosing) return;
    if (const auto wm = host_.manager()) wm->focusWindow(*choosing, key);
}

void OverviewController::refresh() {
    if (!key_) return;
    const auto wm = host_.manager();
    if (!wm || !wm->running) {
        close(std::nullopt);
        return;
    }
    if (!wm->isActive(*key_) || !wm->strips.contains(*key_)) return;
    if (build(*key_, model_) && panel_) {
        panel_->redraw();
        capturePreviews();
    }
}

bool OverviewController::key(OverlayKey pressed) {
    if (!key_) return false;
    const auto move = [this](OverviewModel::Direction direction) {
        if (model_.move(direction) && panel_) panel_->redraw();
        return true;
    };
    switch (pressed) {
        case OverlayKey::returnKey:
        case OverlayKey::space:
        case OverlayKey::keypadEnter:
            // Without a selection the key is used up and nothing happens.
            if (model_.selected) close(model_.selected);
            return true;
        case OverlayKey::escape: close(std::nullopt); return true;
        case OverlayKey::left: return move(OverviewModel::Direction::left);
        case OverlayKey::right: return move(OverviewModel::Direction::right);
        case OverlayKey::down: return move(OverviewModel::Direction::down);
        case OverlayKey::up: return move(OverviewModel::Direction::up);
        case OverlayKey::other: return false;
    }
    return false;
}

void OverviewController::pointer(const PanelPointer& event) {
    if (!key_ || !panel_) return;
    const auto card = model_.cardAt(event.at, panel_->frame().size());
    switch (event.phase) {
        case PanelPointer::Phase::moved:
            if (card && card != model_.selected) {
                model_.selected = card;
                panel_->redraw();
            }
            return;
        case PanelPointer::Phase::down:
            if (card) {
                model_.onChoose(*card);
            } else {
                model_.onClose();
            }
            return;
        case PanelPointer::Phase::up:
        case PanelPointer::Phase::left:
            return;
    }
}

void OverviewController::capturePreviews() {
    const auto wm = host_.manager();
    OverlayPlatform& platform = host_.platform();
    if (!wm || !wm->config.overviewPreviews || !platform.canCapturePreviews()) return;
    // Only the cards the panel shows: a wide strip's canvas runs past its edges.
    const Size shown = panel_ ? panel_->frame().size() : model_.size;
    const Point origin = model_.canvasOrigin(shown);
    const Rect visible{-origin.x, -origin.y, shown.width, shown.height};
    std::vector<std::pair<WindowID, Size>> sizes;
    for (const Card& card : model_.cards) {
        if (card.frame.overlaps(visible)) sizes.emplace_back(card.id, card.frame.size());
    }
    const std::weak_ptr<OverviewController*> weak = self_;
    platform.capturePreviews(sizes, [weak](WindowID id, ArgbImageRef image) {
        const auto self = weak.lock();
        if (!self || !image) return;
        OverviewController& overview = **self;
        ArgbImageRef& kept = overview.model_.previews[id];
        if (kept && *kept == *image) return;
        // Kept after a close too: the next opening shows it at once.
        kept = std::move(image);
        if (overview.key_ && overview.panel_) overview.panel_->redraw();
    });
}

void OverviewController::redraw() {
    if (panel_) panel_->redraw();
}

std::string OverviewController::description() const {
    if (!key_) return "closed";
    std::string text = "open on " + key_->display + " space " + std::to_string(key_->space) + ": " +
                       std::to_string(model_.cards.size()) + " cards, canvas " +
                       std::to_string(static_cast<int>(model_.size.width)) + "x" +
                       std::to_string(static_cast<int>(model_.size.height));
    if (!model_.selected) return text + ", nothing selected";
    text += ", selected #" + std::to_string(*model_.selected);
    if (const Card* card = model_.card(*model_.selected); card && panel_) {
        // Where it is on the panel, for whoever checks the picture.
        const Point origin = model_.canvasOrigin(panel_->frame().size());
        const auto number = [](double value) { return std::to_string(static_cast<int>(std::lround(value))); };
        text += " at " + number(card->frame.x + origin.x) + "," + number(card->frame.y + origin.y) + " " +
                number(card->frame.width) + "x" + number(card->frame.height);
    }
    return text;
}

}  // namespace tessaline
