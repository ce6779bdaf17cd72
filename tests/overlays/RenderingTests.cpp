// The panels as they are drawn: pixels probed where the geometry says the
// border, the shade, a chip and the selected card must be, in both looks,
// and the snapshot files that the same drawing writes.

#include <gtest/gtest.h>

#include <filesystem>

#include "overlays/OverviewController.h"
#include "overlays/StripOverlay.h"
#include "overlays/draw/Paint.h"
#include "tests/overlays/OverlayScenario.h"

// Fontconfig keeps its caches for the life of the process and never frees
// them; that is not ours to fix.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace tessaline {
namespace {

// A square of one colour, as a client's _NET_WM_ICON would give it.
AppIconRef solidIcon(std::uint32_t argb) {
    std::vector<std::uint32_t> data{16, 16};
    data.resize(2 + 16 * 16, argb);
    return AppIcon::fromCardinals(data);
}

class Rendering : public OverlayScenario {
protected:
    Rendering() {
        config.focusBorder = true;
        config.dimInactive = true;
        config.borderColor = {1, 0.5, 0, 1};
        panels.icons[app("App1")] = solidIcon(0xffff0000);
    }
    Pixels render(PanelKind kind, bool composited = true) { return Pixels(panel(kind)->render(composited)); }
    std::filesystem::path folder() {
        return std::filesystem::path(testing::TempDir()) /
               testing::UnitTest::GetInstance()->current_test_info()->name();
    }
};

TEST_F(Rendering, TheBorderRimAndTheShadeHoleLieOnTheFocusedWindow) {
    tile(2);
    const RGBA orange = config.borderColor;
    const Pixels border = render(PanelKind::border);
    const double mid = border.width() / 2.0;
    // The stroke's inner edge is the window's edge, 13 points in.
    EXPECT_TRUE(near(border.at(mid, 10.5), orange));
    EXPECT_TRUE(near(border.at(10.5, border.height() / 2.0), orange));
    EXPECT_EQ(border.at(mid, border.height() / 2.0).a, 0);
    EXPECT_GT(border.at(mid, 7.5).a, 0);  // the glow around the rim

    const Pixels flat = render(PanelKind::border, false);
    EXPECT_TRUE(near(flat.at(mid, 10.5), orange));
    EXPECT_EQ(flat.at(mid, 7.5).a, 0);  // no glow without a compositor: an opaque shape

    const Pixels shade = render(PanelKind::dim);
    const Rect hole = panel(PanelKind::dim)->hole()->rect;
    EXPECT_TRUE(near(shade.at(hole.maxX() + 20, 400), {0, 0, 0, 0.2}, 2));
    EXPECT_TRUE(near(shade.at(5, 5), {0, 0, 0, 0.2}, 2));
    EXPECT_EQ(shade.at(hole.midX(), hole.midY()).a, 0);
    EXPECT_EQ(shade.at(hole.x + 1, hole.midY()).a, 0);
}

TEST_F(Rendering, TimelineChipsShowTheirIconsAtTheirPlacesAndTheOverviewRingsTheSelectedCard) {
    const auto ids = tile(3);
    overlays.beginTimelinePeek(primaryKey());
    const StripBarPanel* bar = overlays.indicator().bar(primary);
    ASSERT_TRUE(bar);
    const Pixels pixels = render(PanelKind::stripBar);
    const Metrics& m = bar->model.metrics;
    for (int column = 0; column < 3; ++column) {
        const Rect chip = m.chipRect(column, 0);
        const bool red = near(pixels.at(chip.midX(), chip.midY()), {1, 0, 0, 1});
        EXPECT_EQ(red, strip().columns[column].windows[0] == ids[1]) << "column " << column;
    }
    // Between the tiles only the bar's own dark glass.
    const Rect first = m.chipRect(0, 0);
    EXPECT_TRUE(near(pixels.at(first.maxX() + m.spacing / 2, first.midY()), {0.11, 0.11, 0.13, 0.82}, 3));

    perform(Action::overview);
    const OverviewModel& model = overlays.overview().model();
    ASSERT_TRUE(model.selected);
    const Pixels cards = render(PanelKind::overview);
    const Point origin = model.canvasOrigin(panel(PanelKind::overview)->frame().size());
    for (WindowID id : ids) {
        const Card& card = *model.card(id);
        const Pixels::Color ring = cards.at(origin.x + card.frame.x - 3.5, origin.y + card.frame.midY());
        EXPECT_EQ(near(ring, Paint::accent, 10), id == *model.selected) << "card of window " << id;
    }
}

TEST_F(Rendering, SnapshotsWriteTheNamedImagesWithTheSameDrawing) {
    tile(3);
    perform(Action::toggleTimeline);
    const auto written = overlays.debugSnapshot(folder());
    std::vector<std::string> names;
    for (const auto& path : written) names.push_back(path.filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"timeline-built-in-expanded.png", "focus-border.png",
                                               "overview.png", "menu-bar-icons.png"}));

    const Pixels border = Pixels::fromPNG((folder() / "focus-border.png").string());
    ASSERT_TRUE(border.valid());
    EXPECT_EQ(border.width(), static_cast<int>(panel(PanelKind::border)->frame().width));
    EXPECT_TRUE(near(border.at(border.width() / 2.0, 10.5), config.borderColor));
    const Pixels overview = Pixels::fromPNG((folder() / "overview.png").string());
    EXPECT_EQ(overview.width(), 1440);
    EXPECT_TRUE(Pixels::fromPNG((folder() / "menu-bar-icons.png").string()).valid());

    // A closed timeline is snapped as the bar it shrinks back to.
    perform(Action::toggleTimeline);
    const auto again = overlays.debugSnapshot(folder());
    EXPECT_EQ(again.front().filename(), "timeline-built-in.png");
    EXPECT_TRUE(overlays.debugSnapshot("/proc/no/such/folder").empty());
}

TEST_F(Rendering, TheStateReportsTellTheLookTheTimelineAndTheOverview) {
    tile(2);
    panels.composited = false;
    overlays.compositingChanged();
    const auto glass = overlays.glassReport();
    EXPECT_EQ(glass.at("compositor"), 0);
    EXPECT_EQ(glass.at("dim.amount"), 0);  // no dimming without a compositor

    perform(Action::toggleTimeline);
    EXPECT_EQ(overlays.timelineReport().at("mode"), "pinned");
    EXPECT_EQ(overlays.timelineReport().at("bar " + primary), "showing, expanded, 2 tiles");
    perform(Action::overview);
    EXPECT_EQ(overlays.overviewDescription().rfind("open on " + primary, 0), 0u);
}

}  // namespace
}  // namespace tessaline
