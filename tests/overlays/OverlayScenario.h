#pragma once
// The overlays on the simulated desktop: a WindowManager whose presenter is
// the real Overlays, drawing through recording panels. One 1440×900 display
// (visible area below a 25-point menu bar), virtual time, no X server.

#include <gtest/gtest.h>

#include <cairo.h>

#include <map>
#include <memory>
#include <string>

#include "engine/settings/Defaults.h"
#include "engine/session/SessionStore.h"
#include "engine/wm/WindowManager.h"
#include "overlays/Overlays.h"
#include "overlays/RecordingPanels.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimFrameWriter.h"
#include "platform/sim/SimWindowSystem.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimScheduler.h"
#include "tests/overlays/Printing.h"

namespace tessaline {

// Pixels of a rendered panel or PNG, read back unpremultiplied.
class Pixels {
public:
    explicit Pixels(cairo_surface_t* surface) : surface_(surface) { cairo_surface_flush(surface_); }
    ~Pixels() { cairo_surface_destroy(surface_); }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;

    static Pixels fromPNG(const std::string& path) { return Pixels(cairo_image_surface_create_from_png(path.c_str())); }
    bool valid() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface_); }
    int height() const { return cairo_image_surface_get_height(surface_); }

    // 0…255 per channel.
    struct Color {
        int r = 0, g = 0, b = 0, a = 0;
    };
    Color at(double x, double y) const {
        const auto* data = cairo_image_surface_get_data(surface_);
        const int stride = cairo_image_surface_get_stride(surface_);
        const auto p = *reinterpret_cast<const std::uint32_t*>(data + static_cast<int>(y) * stride +
                                                               static_cast<int>(x) * 4);
        Color c;
        c.a = static_cast<int>(p >> 24);
        const auto un = [&](std::uint32_t v) { return c.a ? static_cast<int>((v * 255 + c.a / 2) / c.a) : 0; };
        c.r = un((p >> 16) & 0xff);
        c.g = un((p >> 8) & 0xff);
        c.b = un(p & 0xff);
        return c;
    }

private:
    cairo_surface_t* surface_;
};

// Close to an RGBA colour (0…1), within a few steps per channel.
inline bool near(Pixels::Color c, RGBA expected, int tolerance = 6) {
    return std::abs(c.r - expected.r * 255) <= tolerance && std::abs(c.g - expected.g * 255) <= tolerance &&
           std::abs(c.b - expected.b * 255) <= tolerance && std::abs(c.a - expected.a * 255) <= tolerance;
}

class OverlayScenario : public ::testing::Test {
protected:
    OverlayScenario() { primary = desk.addDisplay(Rect{0, 0, 1440, 900}, "Built-in"); }

    WindowManager& manager() {
        if (!wm_) {
            wm_ = WindowManager::create(config, *desk.system(), *desk.writer(), *desk.input(),
                                        *desk.scheduler(), overlays, sessionStore, defaults);
            overlays.attach(wm_);
        }
        return *wm_;
    }
    void start() {
        manager().start();
        settle();
    }
    void settle(double seconds = 2.0) { desk.advance(seconds); }
    // Opens `count` windows of their own apps, App0…, and starts tiling them.
    std::vector<WindowID> tile(int count) {
        std::vector<WindowID> ids;
        for (int i = 0; i < count; ++i) ids.push_back(openWindow("App" + std::to_string(i)));
        start();
        return ids;
    }
    void destroyManager() { wm_.reset(); }

    ProcessID app(const std::string& name) {
        auto found = apps_.find(name);
        if (found != apps_.end()) return found->second;
        return apps_[name] = desk.launchApp(name, "com.example." + name);
    }
    WindowID openWindow(const std::string& appName, const std::string& title = {}) {
        return desk.openWindow(app(appName), title, {100, 100, 800, 600});
    }
    SimInput& input() { return *desk.input(); }
    StripKey primaryKey() const { return {primary, desk.currentSpace(primary)}; }
    Strip strip() { return manager().strips[primaryKey()]; }
    void perform(Action action) {
        manager().perform(action);
        settle();
    }

    RecordingPanel* panel(PanelKind kind, std::size_t index = 0) { return panels.panel(kind, index); }
    bool shown(PanelKind kind, std::size_t index = 0) {
        const RecordingPanel* found = panel(kind, index);
        return found && found->isShown();
    }

    // Members in order of construction; the manager goes first.
    SimDesktop desk;
    MemoryDefaults defaults;
    SessionStore sessionStore{std::nullopt, *desk.scheduler(), makeInlineWorker()};
    Config config;
    RecordingPanels panels;
    Overlays overlays{panels, *desk.scheduler()};
    std::string primary;

private:
    std::map<std::string, ProcessID> apps_;
    std::shared_ptr<WindowManager> wm_;
};

}  // namespace tessaline
