#pragma once
// The tab bars above tabbed columns: one panel per bar, reused, moved along
// with the active window on every animation frame and painted only when
// their titles or active tab change.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/wm/WindowManager.h"
#include "overlays/Panel.h"

namespace tessaline {

class Overlays;

struct TabBarView {
    std::vector<std::string> titles;
    int active = 0;
    std::function<void(int)> onSelect;
};

class TabBars {
public:
    explicit TabBars(Overlays& host) : host_(host) {}

    // Takes the window manager's bars, makes or reuses a panel for each.
    void refresh();
    // Puts each bar above its active window, or away when that is off screen.
    void layout();
    void hide();
    void redraw();

    const std::vector<WindowManager::TabBar>& tabs() const { return tabs_; }
    // The panel of bar `index`, null when there is none.
    const Panel* panel(std::size_t index) const;

private:
    struct Bar {
        std::unique_ptr<Panel> panel;
        TabBarView view;
    };
    Bar& bar(std::size_t index);

    Overlays& host_;
    std::vector<std::unique_ptr<Bar>> bars_;
    std::vector<WindowManager::TabBar> tabs_;
};

}  // namespace tessaline
