#include "app/OverlayWiring.h"

#include <malloc.h>

#include "engine/log/Log.h"
#include "engine/wm/WindowManager.h"

namespace tessaline {

namespace {
constexpr std::string_view noCompositor = "dimming off: no compositor";
}

OverlayWiring::OverlayWiring(X11Connection& x, EventLoop& loop, Scheduler& scheduler)
    : panels_(x, loop, scheduler), overlays_(panels_, scheduler) {
    // Panels paint through images of megabytes. glibc raises its mmap
    // threshold past every large block it frees, and then keeps the next
    // ones in the heap for good; a fixed threshold gives them back.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    panels_.onCompositingChanged = [this] {
        overlays_.compositingChanged();
        sayDimming();
    };
    // An icon set after the window appeared (many applications do) shows at once.
    panels_.onIconChanged = [this](ProcessID pid) {
        overlays_.forgetIcon(pid);
        overlays_.refresh();
    };
}

OverlayWiring::~OverlayWiring() { withdraw(); }

void OverlayWiring::attach(const std::shared_ptr<WindowManager>& manager) {
    manager_ = manager;
    overlays_.attach(manager);
    sayDimming();
}

void OverlayWiring::sayDimming() {
    const auto manager = manager_.lock();
    if (!manager || !manager->config.dimInactive) return;
    LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel,
                           panels_.compositing() ? "dimming on: a compositor runs" : std::string(noCompositor));
}

void OverlayWiring::useInput(std::function<Modifiers()> modifiers,
                             std::function<void(std::function<void()>)> lendEscape,
                             std::function<void()> releaseEscape) {
    panels_.useModifiers(std::move(modifiers));
    panels_.useEscape(std::move(lendEscape), std::move(releaseEscape));
}

void OverlayWiring::withdraw() {
    overlays_.hideAll();
    panels_.withdraw();
}

// ---------------------------------------------------------------------------

nlohmann::json OverlayShellSide::glassReport() const {
    nlohmann::json report = nlohmann::json::object();
    for (const auto& [name, value] : overlays_.overlays().glassReport()) report[name] = value;
    return report;
}

nlohmann::json OverlayShellSide::timelineReport() const {
    nlohmann::json report = nlohmann::json::object();
    for (const auto& [name, value] : overlays_.overlays().timelineReport()) report[name] = value;
    return report;
}

std::string OverlayShellSide::overviewDescription() const { return overlays_.overlays().overviewDescription(); }

std::vector<std::filesystem::path> OverlayShellSide::snapshot(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> paths = overlays_.overlays().debugSnapshot(folder);
    for (auto& path : others_.snapshot(folder)) paths.push_back(std::move(path));
    return paths;
}

std::vector<std::string> OverlayShellSide::diagnosticNotes() const {
    std::vector<std::string> notes = others_.diagnosticNotes();
    notes.push_back(overlays_.compositing() ? "Compositor running: overlays with transparency and dimming"
                                            : "No compositor: opaque overlays, " + std::string(noCompositor));
    return notes;
}

}  // namespace tessaline
