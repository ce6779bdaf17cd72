// The overlays' models without a desktop: strip bar metrics and drop
// targets, the overview's scale and arrow keys, the on-screen test and icons.

#include <gtest/gtest.h>

#include "overlays/model/AppIcon.h"
#include "overlays/model/FocusGeometry.h"
#include "overlays/model/OverviewModel.h"
#include "overlays/model/StripBarModel.h"
#include "tests/overlays/Printing.h"

namespace tessaline {
namespace {

TEST(StripBarMetrics, FollowTheLookShrinkOnNarrowDisplaysButNeverBelowTheirFloor) {
    struct Case {
        TimelineLook look;
        int columns, rows;
        bool expanded, labels;
        double maxWidth;
        double tile, cell, icon;
        Size bar;
    };
    using enum TimelineLook;
    const Case cases[] = {
        {classic, 3, 1, false, false, 1360, 44, 44, 32, {160, 60}},
        {classic, 3, 4, true, false, 1360, 52, 52, 37, {184, 236}},   // 4 rows of timeline
        {classic, 3, 1, false, true, 1360, 44, 84, 32, {280, 75}},    // wide cells for captions
        {classic, 40, 1, false, false, 400, 22, 22, 16, {1130, 38}},  // never below 22
        {glass, 3, 1, false, false, 1360, 60, 60, 48, {214, 80}},
        {glass, 3, 1, false, true, 1360, 60, 84, 48, {286, 91}},
        {glass, 10, 1, false, true, 800, 60, 71, 48, {793, 91}},      // captions give way first
        {glass, 20, 1, false, false, 800, 34, 34, 28, {768, 46}},     // then the icons shrink
        {glass, 40, 1, false, false, 800, 24, 24, 20, {1085, 32}},    // but not below 20
    };
    for (const Case& c : cases) {
        const Metrics m = StripBarModel::metricsFor(c.columns, c.rows, c.expanded, c.labels, c.look, c.maxWidth);
        SCOPED_TRACE(testing::Message() << c.columns << " columns in " << c.maxWidth);
        EXPECT_EQ(m.tile, c.tile);
        EXPECT_EQ(m.cell, c.cell);
        EXPECT_EQ(m.icon, c.icon);
        EXPECT_EQ(m.barSize(), c.bar);
    }
}

TEST(StripBarDropTargets, LandBetweenAndInsideTilesAndNeverAsANoOp) {
    // [1] [2 3 4] [5], classic timeline: cells at x 8, 66, 124 (52 wide),
    // chip middles at y 34, 90, 146.
    StripBarModel model;
    model.expanded = true;
    model.metrics = StripBarModel::metricsFor(3, 3, true, false, TimelineLook::classic, 1360);
    const auto tile = [](int column, std::vector<WindowID> ids) {
        Tile t{.id = ids.front(), .column = column};
        for (WindowID id : ids) t.windows.push_back(Chip{.id = id});
        return t;
    };
    model.tiles = {tile(0, {1}), tile(1, {2, 3, 4}), tile(2, {5})};

    struct Case {
        WindowID dragging;
        Point at;
        std::optional<DropTarget> expected;
    };
    const Case cases[] = {
        {1, {10, 34}, std::nullopt},                 // just left of its own single column
        {1, {58, 34}, std::nullopt},                 // just right of it
        {1, {34, 34}, std::nullopt},                 // onto itself
        {1, {92, 100}, Stack{1, 2}},                 // into the stack, below two chips
        {1, {180, 34}, NewColumn{3}},                // past the last tile
        {5, {68, 34}, NewColumn{1}},                 // before the stack
        {3, {92, 20}, Stack{1, 0}},                  // up its own stack
        {3, {92, 60}, std::nullopt},                 // where it already is
        {3, {68, 60}, NewColumn{1}},                 // out of its stack, to the left
        {99, {92, 60}, std::nullopt},                // not in the bar
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "window " << c.dragging << " at " << c.at.x << "," << c.at.y);
        EXPECT_EQ(model.dropTarget(c.at, c.dragging), c.expected);
    }
    EXPECT_EQ(model.chipAt({92, 90}), WindowID{3});
    EXPECT_EQ(model.tileAt({150, 20}), 2);
}

TEST(OverviewNavigation, ArrowsWalkColumnsAndRowsAndStopAtTheEdges) {
    // A | B C D | E, C focused; each card's frame in canvas points.
    OverviewModel model;
    const auto card = [](WindowID id, int column, int row, double y, double height, bool focused = false) {
        return Card{
            .id = id, .column = column, .row = row, .frame = {column * 100.0, y, 90, height}, .focused = focused};
    };
    model.cards = {card(1, 0, 0, 0, 100), card(2, 1, 0, 0, 30), card(3, 1, 1, 35, 30, true),
                   card(4, 1, 2, 70, 30), card(5, 2, 0, 0, 100)};
    using enum OverviewModel::Direction;
    const std::pair<OverviewModel::Direction, WindowID> steps[] = {
        {right, 5}, {right, 5}, {left, 3}, {up, 2}, {up, 2}, {down, 3}, {down, 4}, {down, 4}, {left, 1},
    };
    for (const auto& [direction, expected] : steps) {
        model.move(direction);
        EXPECT_EQ(model.selected, expected);
    }
}

TEST(OverviewCanvas, IsScaledWithinUsableBoundsAndCentredOrScrolledToTheSelectionButNoFurtherThanTheCards) {
    EXPECT_DOUBLE_EQ(overviewScale({1512, 982}, 1512, 949), 0.6);  // 0.832… otherwise
    EXPECT_DOUBLE_EQ(overviewScale({1440, 900}, 40 * 715, 875), 0.14);
    EXPECT_DOUBLE_EQ(overviewScale({1440, 900}, 3000, 875), 1328.0 / 3000);

    OverviewModel model;
    model.size = {5000, 400};
    model.viewport = {0, 0, 300, 400};
    model.cards = {Card{.id = 1, .frame = {4800, 0, 200, 400}}, Card{.id = 2, .frame = {2400, 0, 200, 400}}};
    const Size panel{1440, 900};
    EXPECT_EQ(model.canvasOrigin(panel), (Point{56, 250}));  // the screen's own cards, at the left
    model.selected = 1;
    EXPECT_EQ(model.canvasOrigin(panel), (Point{1440 - 56 - 5000, 250}));
    model.selected = 2;
    EXPECT_EQ(model.canvasOrigin(panel), (Point{720 - 2500, 250}));
    EXPECT_EQ(model.cardAt({721, 300}, panel), WindowID{2});
    model.size = {1000, 400};
    EXPECT_EQ(model.canvasOrigin(panel), (Point{220, 250}));
}

TEST(FocusGeometry, AWindowCountsAsOnScreenOnlyBeyondFortyPoints) {
    const std::vector<Display> displays{{1, "A", "A", {0, 0, 1440, 900}, {0, 25, 1440, 875}}};
    const std::pair<Rect, bool> cases[] = {
        {{1400, 100, 800, 600}, false},  // 40 points inside the right edge
        {{1399, 100, 800, 600}, true},
        {{-759, 100, 800, 600}, true},
        {{100, 900, 800, 600}, false},   // below the display
    };
    for (const auto& [rect, expected] : cases) EXPECT_EQ(FocusGeometry::isOnScreen(rect, displays), expected);
}

TEST(AppIcon, ReadsEveryWellFormedSizeAndPicksTheLargestThatFits) {
    const std::vector<std::uint32_t> two{2, 2, 1, 2, 3, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const auto icon = AppIcon::fromCardinals(two);
    ASSERT_TRUE(icon);
    ASSERT_EQ(icon->sizes.size(), 2u);
    EXPECT_EQ(icon->pick(3)->width, 2);
    EXPECT_EQ(icon->pick(64)->width, 4);
    EXPECT_EQ(icon->pick(1)->width, 2);  // nothing fits: the smallest, scaled down

    const std::vector<std::vector<std::uint32_t>> broken{
        {},
        {2, 2, 1, 2, 3},             // pixels missing
        {0, 5},                      // no width
        {2000, 1, 0},                // absurdly large, and short anyway
        {0xffffffff, 0xffffffff},    // would overflow a 32-bit count
    };
    for (const auto& data : broken) EXPECT_FALSE(AppIcon::fromCardinals(data));
}

}  // namespace
}  // namespace tessaline
