#include "overlays/RecordingPanels.h"

#include <cmath>

namespace tessaline {

cairo_surface_t* RecordingPanel::render(bool composited) const {
    const int width = std::max(1, static_cast<int>(std::ceil(frame().width)));
    const int height = std::max(1, static_cast<int>(std::ceil(frame().height)));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    paint(cr, composited);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

void RecordingPanel::press(Point at, int button) {
    if (onPointer) onPointer({PanelPointer::Phase::down, at, button});
}

void RecordingPanel::moveTo(Point at) {
    if (onPointer) onPointer({PanelPointer::Phase::moved, at, 1});
}

void RecordingPanel::release(Point at) {
    if (onPointer) onPointer({PanelPointer::Phase::up, at, 1});
}

void RecordingPanel::click(Point at) {
    press(at);
    release(at);
}

bool RecordingPanel::type(OverlayKey key) { return onKey && onKey(key); }

std::unique_ptr<Panel> RecordingPanels::makePanel(const PanelSpec& spec) {
    auto panel = std::make_unique<RecordingPanel>(spec);
    panels_.push_back(panel.get());
    return panel;
}

AppIconRef RecordingPanels::appIcon(ProcessID pid, WindowID) {
    ++iconRequests_;
    const auto found = icons.find(pid);
    return found == icons.end() ? nullptr : found->second;
}

std::vector<RecordingPanel*> RecordingPanels::panels(PanelKind kind) const {
    std::vector<RecordingPanel*> found;
    for (RecordingPanel* panel : panels_) {
        if (panel->spec().kind == kind) found.push_back(panel);
    }
    return found;
}

RecordingPanel* RecordingPanels::panel(PanelKind kind, std::size_t index) const {
    const auto found = panels(kind);
    return index < found.size() ? found[index] : nullptr;
}

std::vector<RecordingPanel*> RecordingPanels::shown() const {
    std::vector<RecordingPanel*> found;
    for (RecordingPanel* panel : panels_) {
        if (panel->isShown()) found.push_back(panel);
    }
    return found;
}

bool RecordingPanels::pressEscape() {
    if (!escape_) return false;
    // The handler may take the key back; keep it alive while it runs.
    const auto handler = escape_;
    handler();
    return true;
}

}  // namespace tessaline
