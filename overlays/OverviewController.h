#pragma once
// The overview: the whole strip of one display on a full-screen dark panel,
// one card per visible window. It alone takes the keyboard, while open.

#include <memory>
#include <optional>
#include <string>

#include "overlays/Motion.h"
#include "overlays/Panel.h"
#include "overlays/model/OverviewModel.h"

namespace tessaline {

class Overlays;

class OverviewController {
public:
    static constexpr double fadeIn = 0.16;
    static constexpr double fadeOut = 0.14;

    explicit OverviewController(Overlays& host);
    ~OverviewController();
    OverviewController(const OverviewController&) = delete;
    OverviewController& operator=(const OverviewController&) = delete;

    void show(const StripKey& key);
    void close(std::optional<WindowID> choosing);
    void refresh();
    // A key pressed while the overview has the keyboard; true when used.
    bool key(OverlayKey key);
    void redraw();

    bool isOpen() const { return key_.has_value(); }
    std::optional<StripKey> openKey() const { return key_; }
    const OverviewModel& model() const { return model_; }
    const Panel* panel() const { return panel_.get(); }
    std::string description() const;

    // Builds the cards of a strip into `into` without opening anything
    // (snapshots); false when the strip or its display is unknown.
    bool build(const StripKey& key, OverviewModel& into) const;

private:
    Panel& panel();
    void pointer(const PanelPointer& event);
    void capturePreviews();

    Overlays& host_;
    OverviewModel model_;
    std::unique_ptr<Panel> panel_;
    std::optional<StripKey> key_;
    Fade fade_;
    // Previews arrive later; they find out through this whether we still exist.
    std::shared_ptr<OverviewController*> self_;
};

}  // namespace tessaline
