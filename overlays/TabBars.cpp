#include "overlays/TabBars.h"

#include <algorithm>

#include "overlays/Overlays.h"
#include "overlays/draw/Drawing.h"
#include "overlays/model/FocusGeometry.h"

namespace tessaline {

TabBars::Bar& TabBars::bar(std::size_t index) {
    while (bars_.size() <= index) {
        auto made = std::make_unique<Bar>();
        Bar* bar = made.get();
        made->panel = host_.makePanel({.kind = PanelKind::tabBar, .clicks = true});
        made->panel->setPainter([bar](cairo_t* cr, const Canvas& canvas) {
            drawTabBar(cr, canvas, bar->view.titles, bar->view.active);
        });
        made->panel->onPointer = [bar](const PanelPointer& pointer) {
            if (pointer.phase != PanelPointer::Phase::down || !bar->view.onSelect) return;
            const auto tab = FocusGeometry::tabAt(pointer.at.x, bar->panel->frame().width,
                                                  static_cast<int>(bar->view.titles.size()));
            if (!tab) return;
            // A copy: selecting refreshes the bars, which installs a new callback.
            const auto select = bar->view.onSelect;
            select(*tab);
        };
        bars_.push_back(std::move(made));
    }
    return *bars_[index];
}

void TabBars::refresh() {
    const auto wm = host_.manager();
    if (!wm) return;
    tabs_ = wm->tabBars();
    const std::weak_ptr<WindowManager> weak = wm;
    for (std::size_t i = 0; i < tabs_.size(); ++i) {
        const WindowManager::TabBar& tab = tabs_[i];
        Bar& b = bar(i);
        if (b.view.titles != tab.titles || b.view.active != tab.active) {
            b.view.titles = tab.titles;
            b.view.active = tab.active;
            b.panel->redraw();
        }
        b.view.onSelect = [weak, key = tab.key, column = tab.column](int index) {
            if (const auto manager = weak.lock()) manager->selectTab(key, column, index);
        };
    }
    for (std::size_t i = tabs_.size(); i < bars_.size(); ++i) bars_[i]->panel->hide();
    layout();
}

void TabBars::layout() {
    const auto wm = host_.manager();
    if (!wm) return;
    for (std::size_t i = 0; i < tabs_.size() && i < bars_.size(); ++i) {
        const WindowManager::TabBar& tab = tabs_[i];
        Panel& panel = *bars_[i]->panel;
        std::optional<Rect> shown;
        if (!tab.ids.empty()) {
            shown = wm->shownFrame(tab.ids[std::clamp<std::size_t>(tab.active, 0, tab.ids.size() - 1)]);
        }
        if (shown && host_.isOnScreen(*shown)) {
            panel.place(FocusGeometry::tabBarFrame(*shown));
            panel.show();
        } else {
            panel.hide();
        }
    }
}

void TabBars::hide() {
    for (const auto& b : bars_) b->panel->hide();
}

void TabBars::redraw() {
    for (const auto& b : bars_) b->panel->redraw();
}

const Panel* TabBars::panel(std::size_t index) const {
    return index < bars_.size() ? bars_[index]->panel.get() : nullptr;
}

}  // namespace tessaline
