// What the `snapshot` and `state` commands learn of the overlays: PNG images
// drawn by the same code as the panels, and short reports.

#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>
#include <system_error>

#include "engine/log/Log.h"
#include "engine/wm/WindowManager.h"
#include "overlays/FocusOverlay.h"
#include "overlays/Overlays.h"
#include "overlays/OverviewController.h"
#include "overlays/StripOverlay.h"
#include "overlays/draw/Drawing.h"

namespace tessaline {

namespace {

// The window a border is drawn round when none is focused, so the image
// still shows the style.
constexpr Rect sampleWindow{0, 0, 480, 300};
constexpr Size fallbackScreen{1440, 900};

bool writePNG(const std::filesystem::path& path, Size size, const std::function<void(cairo_t*)>& paint) {
    const int width = std::max(1, static_cast<int>(std::ceil(size.width)));
    const int height = std::max(1, static_cast<int>(std::ceil(size.height)));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    paint(cr);
    cairo_destroy(cr);
    const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!written) Log::lifecycle.error([&] { return "couldn't write the snapshot " + path.filename().string(); });
    return written;
}

// A display's name as a file-name part: lower case, words joined by "-".
std::string fileNamePart(const std::string& name) {
    std::string part;
    for (const unsigned char c : name) {
        if (std::isalnum(c)) {
            part += static_cast<char>(std::tolower(c));
        } else if (!part.empty() && part.back() != '-') {
            part += '-';
        }
    }
    while (!part.empty() && part.back() == '-') part.pop_back();
    return part.empty() ? "display" : part;
}

}  // namespace

std::vector<std::filesystem::path> Overlays::debugSnapshot(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        Log::lifecycle.error([&] { return "couldn't make the snapshot folder: " + error.message(); });
        return {};
    }
    std::vector<std::filesystem::path> written;
    const auto add = [&](const std::string& name, Size size, const std::function<void(cairo_t*)>& paint) {
        const std::filesystem::path path = folder / name;
        if (writePNG(path, size, paint)) written.push_back(path);
    };
    const bool composited = platform_.compositing();
    const auto wm = manager();

    // The strip bar of every display, expanded where the timeline is open.
    if (wm) {
        std::set<std::string> names;
        for (const StripKey& key : wm->activeKeys()) {
            const auto strip = wm->strips.find(key);
            const std::optional<Display> display = wm->displayByUUID(key.display);
            if (strip == wm->strips.end() || strip->second.isEmpty() || !display) continue;
            const bool expanded = timelineOpen() && indicator().timelineKey() &&
                                  indicator().timelineKey()->display == key.display;
            StripBarModel model;
            model.tiles = indicator().tiles(strip->second, *display);
            model.expanded = expanded;
            model.labels = wm->config.timelineLabels != TimelineLabels::off;
            int rows = 1;
            for (const Tile& tile : model.tiles) {
                if (expanded) rows = std::max(rows, static_cast<int>(tile.windows.size()));
            }
            model.metrics = StripBarModel::metricsFor(static_cast<int>(model.tiles.size()), rows, expanded,
                                                      model.labels, wm->config.timelineLook,
                                                      display->visible.width - 80);
            std::string name = fileNamePart(display->name);
            for (int n = 2; names.contains(name); ++n) name = fileNamePart(display->name) + "-" + std::to_string(n);
            names.insert(name);
            const Size size = model.metrics.barSize();
            add("timeline-" + name + (expanded ? "-expanded" : "") + ".png", size, [&](cairo_t* cr) {
                drawStripBar(cr, Canvas{size, composited}, model);
            });
        }
    }

    // The focus border, where it is now or round a sample window.
    const Panel* border = focus_ ? focus_->borderPanel() : nullptr;
    if (border && border->frame().width > 0) {
        add("focus-border.png", border->frame().size(), [&](cairo_t* cr) { border->paint(cr, composited); });
    } else {
        const BorderStyle style = FocusGeometry::borderStyle(wm ? wm->config : Config{});
        const Size size = FocusGeometry::borderPanelFrame(sampleWindow, style.lineWidth).size();
        add("focus-border.png", size, [&](cairo_t* cr) { drawBorder(cr, Canvas{size, composited}, style); });
    }

    // The overview as it is, or as it would open on the current strip.
    OverviewModel model;
    Size screen = fallbackScreen;
    std::optional<StripKey> key = overviewOpen() ? overview_->openKey() : (wm ? wm->currentKey() : std::nullopt);
    if (key && wm) {
        if (const auto display = wm->displayByUUID(key->display)) screen = display->frame.size();
        if (overviewOpen()) {
            model = overview_->model();
        } else {
            const auto strip = wm->strips.find(*key);
            if (strip != wm->strips.end()) model.selected = strip->second.focusedWindow();
            overview().build(*key, model);
        }
    }
    add("overview.png", screen, [&](cairo_t* cr) { drawOverview(cr, Canvas{screen, composited}, model); });

    // The status icon's three states, light on dark above dark on light.
    constexpr double icon = 32;
    constexpr double pad = 8;
    const Size strip{3 * icon + 4 * pad, 2 * icon + 3 * pad};
    add("menu-bar-icons.png", strip, [&](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.16, 0.16, 0.18);
        cairo_rectangle(cr, 0, 0, strip.width, icon + 1.5 * pad);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.94, 0.94, 0.95);
        cairo_rectangle(cr, 0, icon + 1.5 * pad, strip.width, strip.height);
        cairo_fill(cr);
        const StatusIconState states[] = {StatusIconState::tiling, StatusIconState::paused,
                                          StatusIconState::needsPermission};
        for (int i = 0; i < 3; ++i) {
            const double x = pad + i * (icon + pad);
            drawStatusIcon(cr, {x, pad, icon, icon}, states[i], {1, 1, 1, 1});
            drawStatusIcon(cr, {x, 2 * pad + icon, icon, icon}, states[i], {0, 0, 0, 1});
        }
    });
    return written;
}

std::map<std::string, double> Overlays::glassReport() const {
    const bool composited = platform_.compositing();
    const auto wm = manager();
    const Config config = wm ? wm->config : Config{};
    const BorderStyle style = FocusGeometry::borderStyle(config);
    const double opaque = 1;
    std::map<std::string, double> report;
    report["compositor"] = composited ? 1 : 0;
    report["border.width"] = style.lineWidth;
    report["border.radius"] = style.radius;
    report["border.shadowOpacity"] = composited ? Looks::shadowOpacity : 0;
    report["border.shadowRadius"] = composited ? Looks::shadowRadius : 0;
    report["dim.amount"] = focus_ ? focus_->dimming() : 0;
    const bool glass = config.timelineLook == TimelineLook::glass;
    report["bar.opacity"] = composited ? (glass ? Looks::glassBarAlpha : Looks::classicBarAlpha) : opaque;
    report["bar.radius"] = StripBarModel::metricsFor(1, 1, false, false, config.timelineLook, 1e6).radius;
    report["minimap.opacity"] = composited ? Looks::classicBarAlpha : opaque;
    report["minimap.radius"] = Looks::minimapRadius;
    report["tabBar.opacity"] = composited ? Looks::tabBarAlpha : opaque;
    report["overview.opacity"] = composited ? Looks::overviewAlpha : opaque;
    report["overview.cardRadius"] = overview_ ? overview_->model().radius : 0;
    report["drop.radius"] = Looks::dropRadius;
    return report;
}

std::map<std::string, std::string> Overlays::timelineReport() const {
    if (!indicator_) return {{"mode", "off"}, {"strip", ""}};
    return indicator_->report();
}

std::string Overlays::overviewDescription() const {
    return overview_ ? overview_->description() : "closed";
}

}  // namespace tessaline
