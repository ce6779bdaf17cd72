#include "core/Layout.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

const MinWidths none;
constexpr double W = 1000;

LayoutConfig config(CentreMode mode = CentreMode::never, double tabBarHeight = 0) {
    return LayoutConfig{10, mode, tabBarHeight};
}

// Columns of 0.5 on a 1000/10 viewport are 485 wide at x 10, 505, 1000, 1495
// (content width 1990). Window ids are column index + 1.
Strip halves(int count, int focused = 0, double scroll = 0) {
    std::vector<Column> columns;
    for (int i = 0; i < count; ++i) columns.emplace_back(std::vector<WindowID>{WindowID(i + 1)}, 0.5);
    return Strip(std::move(columns), focused, scroll);
}

TEST(LayoutWidths, ColumnWidthTilesTheViewportAndRespectsTheMinimum) {
    EXPECT_EQ(Layout::columnWidth(1.0, 1000, 10), 980);
    EXPECT_EQ(Layout::columnWidth(0.5, 1000, 10), 485);
    EXPECT_EQ(Layout::columnWidth(0.1, 1000, 10), 120);  // 89 before the minimum
    // 0.5 × 1001 = 500.5: halves round away from zero, not to even.
    EXPECT_EQ(Layout::columnWidth(0.5, 1001, 0), 501);
    EXPECT_DOUBLE_EQ(Layout::fractionForWidth(700, 1000, 10), 710.0 / 990.0);
    EXPECT_EQ(Layout::fractionForWidth(700, 10, 10), 1.0);
}

TEST(LayoutWidths, SpansFollowFractionsAndMinimumWidths) {
    const auto two = Layout::spans(halves(2), W, 10, none);
    EXPECT_EQ(two, (std::vector<Span>{{10, 485}, {505, 485}}));
    EXPECT_EQ(Layout::totalWidth(two, 10), 1000);
    EXPECT_TRUE(Layout::spans(Strip(), W, 10, none).empty());
    EXPECT_EQ(Layout::totalWidth({}, 10), 10);

    Strip strip = halves(2);
    strip.columns[0].insert(7, 1, 1.0);
    const MinWidths mins{{7, 700}, {1, 300}, {99, 5000}};
    const auto widened = Layout::spans(strip, W, 10, mins);
    EXPECT_EQ(widened, (std::vector<Span>{{10, 700}, {720, 485}}));
}

TEST(LayoutWidths, ClampToMinimumWidthsWidensOnceAndOnlyWhenNeeded) {
    Strip strip = halves(3);
    const MinWidths mins{{1, 700}, {2, 5000}, {3, 0}};
    EXPECT_TRUE(Layout::clampToMinimumWidths(strip, W, 10, mins));
    EXPECT_DOUBLE_EQ(strip.columns[0].width, 710.0 / 990.0);
    EXPECT_EQ(strip.columns[1].width, 1.0);  // never wider than the viewport
    EXPECT_EQ(strip.columns[2].width, 0.5);  // a zero entry is no constraint
    EXPECT_FALSE(Layout::clampToMinimumWidths(strip, W, 10, mins));

    // Within the tolerance a column counts as wide enough already.
    strip.columns[0].width = 710.0 / 990.0 - 0.0004;
    EXPECT_FALSE(Layout::clampToMinimumWidths(strip, W, 10, mins));
    EXPECT_FALSE(Layout::clampToMinimumWidths(strip, W, 10, none));
}

TEST(LayoutScroll, NeverAlignsTheNearestEdge) {
    Strip strip = halves(4, 2);
    Layout::ensureVisible(strip, W, config(), none);
    EXPECT_EQ(strip.scroll, 495);  // right edge plus gap at the viewport's right
    strip.focused = 0;
    Layout::ensureVisible(strip, W, config(), none);
    EXPECT_EQ(strip.scroll, 0);

    // Half a point out still counts as visible, so a settled scroll stays put.
    strip.focused = 2;
    strip.scroll = 494.6;
    Layout::ensureVisible(strip, W, config(), none);
    EXPECT_EQ(strip.scroll, 494.6);

    Strip wide = halves(3, 2);
    wide.columns[2].width = 1.5;  // 1475 wide, ends at 2475
    Layout::ensureVisible(wide, W, config(), none);
    EXPECT_EQ(wide.scroll, 990);  // its left edge, not its right
}

TEST(LayoutScroll, OnOverflowKeepsThePreviousColumnWhenBothFit) {
    Strip strip = halves(4, 1);
    strip.focusRight();
    Layout::ensureVisible(strip, W, config(CentreMode::onOverflow), none);
    EXPECT_EQ(strip.scroll, 495);  // column 1 at the left, column 2 flush right
    strip.focusLeft();
    strip.focusLeft();  // from 1 to 0, previous = 1 which lies right
    Layout::ensureVisible(strip, W, config(CentreMode::onOverflow), none);
    EXPECT_EQ(strip.scroll, 0);

    // Jumping from column 0 to 2: they cannot share the view, so 2 is centred.
    strip.scroll = 0;
    strip.focusColumn(2);
    Layout::ensureVisible(strip, W, config(CentreMode::onOverflow), none);
    EXPECT_EQ(strip.scroll, 742.5);

    for (std::optional<int> previous : {std::optional<int>(), std::optional<int>(2),
                                        std::optional<int>(9)}) {
        Strip s = halves(4, 2);
        s.previous = previous;
        Layout::ensureVisible(s, W, config(CentreMode::onOverflow), none);
        EXPECT_EQ(s.scroll, 742.5);
    }
}

TEST(LayoutScroll, AlwaysCentresEvenPastTheStripsEnds) {
    Strip strip = halves(4, 0, 300);
    Layout::ensureVisible(strip, W, config(CentreMode::always), none);
    EXPECT_EQ(strip.scroll, -247.5);

    strip.scroll = -5000;
    Layout::clampScroll(strip, W, config(CentreMode::always), none);
    EXPECT_EQ(strip.scroll, -247.5);
    strip.scroll = 5000;
    Layout::clampScroll(strip, W, config(CentreMode::always), none);
    EXPECT_EQ(strip.scroll, 1237.5);

    Strip empty;
    empty.scroll = 40;
    Layout::clampScroll(empty, W, config(CentreMode::always), none);
    EXPECT_EQ(empty.scroll, 0);
}

TEST(LayoutScroll, ContentNarrowerThanTheViewportNeverScrolls) {
    for (CentreMode mode : {CentreMode::never, CentreMode::onOverflow}) {
        Strip strip = halves(1, 0, 300);
        Layout::ensureVisible(strip, W, config(mode), none);
        EXPECT_EQ(strip.scroll, 0);
        strip.scroll = -20;
        Layout::clampScroll(strip, W, config(mode), none);
        EXPECT_EQ(strip.scroll, 0);
    }
    Strip strip = halves(4, 0, 5000);
    Layout::clampScroll(strip, W, config(), none);
    EXPECT_EQ(strip.scroll, 990);

    Strip invalid = halves(2, 7, 300);
    Layout::ensureVisible(invalid, W, config(CentreMode::always), none);
    EXPECT_EQ(invalid.scroll, 0);
    Strip empty;
    empty.scroll = 12;
    Layout::ensureVisible(empty, W, config(), none);
    EXPECT_EQ(empty.scroll, 0);
}

TEST(LayoutScroll, CentreFocusedClampsByMode) {
    Strip strip = halves(4, 0, 100);
    Layout::centreFocused(strip, W, config(), none);
    EXPECT_EQ(strip.scroll, 0);
    Layout::centreFocused(strip, W, config(CentreMode::always), none);
    EXPECT_EQ(strip.scroll, -247.5);
    strip.focused = 2;
    Layout::centreFocused(strip, W, config(), none);
    EXPECT_EQ(strip.scroll, 742.5);
    strip.focused = -1;
    Layout::centreFocused(strip, W, config(), none);
    EXPECT_EQ(strip.scroll, 742.5);
}

TEST(LayoutPlacements, StackedHeightsRoundButEndFlushWithTheBottom) {
    Strip strip(std::vector<Column>{Column({1, 2, 3}, 1.0)}, 0, 0);
    const auto result = Layout::placements(strip, Rect{0, 0, W, 1001}, config(), none);
    ASSERT_EQ(result.size(), 3u);
    EXPECT_EQ(result[0], (Placement{1, Rect{10, 10, 980, 320}, 0, false}));
    EXPECT_EQ(result[1], (Placement{2, Rect{10, 340, 980, 320}, 0, false}));
    EXPECT_EQ(result[2], (Placement{3, Rect{10, 670, 980, 321}, 0, false}));

    // Weights that add up to nothing share the height instead of dividing by zero.
    strip.columns[0].weights = {0, 0, 0};
    const auto zero = Layout::placements(strip, Rect{0, 0, W, 1001}, config(), none);
    EXPECT_EQ(zero[0].frame.height, 320);
    EXPECT_EQ(zero[2].frame.maxY(), 991);
}

TEST(LayoutPlacements, TabbedColumnsShareOneFrameBelowTheTabBar) {
    Strip strip(std::vector<Column>{Column({1}, 0.5), Column({4, 5, 6}, 0.5, true)}, 1, 0);
    strip.columns[1].active = 1;
    const auto result =
        Layout::placements(strip, Rect{0, 0, W, 1001}, config(CentreMode::never, 30), none);
    ASSERT_EQ(result.size(), 4u);
    const Rect frame{505, 40, 485, 951};
    EXPECT_EQ(result[1], (Placement{4, frame, 1, true}));
    EXPECT_EQ(result[2], (Placement{5, frame, 1, false}));
    EXPECT_EQ(result[3], (Placement{6, frame, 1, true}));
    EXPECT_EQ(result[0].frame.y, 10);  // the tab bar is reserved in tabbed columns only

    // A stray active index still leaves one tab showing.
    strip.columns[1].active = 9;
    const auto stray =
        Layout::placements(strip, Rect{0, 0, W, 1001}, config(CentreMode::never, 30), none);
    EXPECT_FALSE(stray[1].hiddenTab);
}

TEST(LayoutPlacements, ScreenXFollowsViewportAndScrollWithRoundedX) {
    EXPECT_TRUE(Layout::placements(Strip(), Rect{0, 0, W, 800}, config(), none).empty());

    // A display left of the primary one: -1440 + 10 - 0.5 rounds away from zero.
    Strip strip = halves(2, 0, 0.5);
    const auto left = Layout::placements(strip, Rect{-1440, 25, W, 800}, config(), none);
    EXPECT_EQ(left[0].frame, (Rect{-1431, 35, 485, 780}));
    EXPECT_EQ(left[1].frame.x, -936);

    strip.scroll = 495;
    const auto right = Layout::placements(strip, Rect{1440, 0, W, 800}, config(), none);
    EXPECT_EQ(right[1].frame.x, 1450);
    EXPECT_EQ(right[1].column, 1);
    const auto wide = Layout::placements(strip, Rect{0, 0, W, 800}, config(), {{1, 600}});
    EXPECT_EQ(wide[0].frame.width, 600);
    EXPECT_EQ(wide[1].frame.x, 620 - 495);
}

TEST(LayoutQueries, ColumnAtViewportXCountsTheGapToTheRight) {
    const Strip strip = halves(3);
    auto at = [&](double x, double scroll) {
        Strip s = strip;
        s.scroll = scroll;
        return Layout::columnAtViewportX(x, s, W, config(), none);
    };
    EXPECT_EQ(at(5, 0), 0);
    EXPECT_EQ(at(-50, 0), 0);
    EXPECT_EQ(at(504.9, 0), 0);
    EXPECT_EQ(at(505, 0), 1);
    EXPECT_EQ(at(10, 495), 1);
    EXPECT_EQ(at(9000, 0), 2);
    EXPECT_EQ(Layout::columnAtViewportX(0, Strip(), W, config(), none), std::nullopt);
}

class DropTargetTest : public ::testing::Test {
protected:
    // [1] at 10…495, [2, 3] at 505…990 (2: y 10…496, 3: y 506…991), [4] at
    // 1000…1485, [5, 6, 7] tabbed at 1495…1980.
    Strip strip{std::vector<Column>{Column({1}, 0.5), Column({2, 3}, 0.5), Column({4}, 0.5),
                                    Column({5, 6, 7}, 0.5, true)},
                0, 0};
    Rect viewport{0, 0, W, 1001};

    std::optional<DropTarget> drop(double x, double y, WindowID id, bool stacking = true) {
        return Layout::dropTarget({x, y}, id, strip, viewport, config(), none, stacking);
    }
};

TEST_F(DropTargetTest, PositionAcrossTheColumnChoosesTheTarget) {
    const double at40 = 505 + 0.4 * 485, at80 = 505 + 0.8 * 485, at10 = 505 + 0.1 * 485;
    EXPECT_EQ(drop(at40, 100, 4), DropTarget(Stack{1, 0}));
    EXPECT_EQ(drop(at40, 100, 4, false), DropTarget(NewColumn{1}));
    EXPECT_EQ(drop(at80, 100, 1), DropTarget(NewColumn{2}));
    EXPECT_EQ(drop(at10, 100, 4), DropTarget(NewColumn{1}));
    EXPECT_EQ(drop(3, 100, 4), DropTarget(NewColumn{0}));
    // Either side of the gap's middle means the slot between the two columns.
    EXPECT_EQ(drop(501, 100, 4), DropTarget(NewColumn{1}));
    EXPECT_EQ(drop(499, 100, 4), DropTarget(NewColumn{1}));
    EXPECT_EQ(drop(5000, 100, 1), DropTarget(NewColumn{4}));

    strip.scroll = 495;
    viewport.x = 1440;
    EXPECT_EQ(drop(1440 + 10 + 0.5 * 485, 100, 4), DropTarget(Stack{1, 0}));
}

TEST_F(DropTargetTest, StackRowCountsWindowsAboveThePointer) {
    const double mid = 505 + 0.5 * 485;
    EXPECT_EQ(drop(mid, 100, 4), DropTarget(Stack{1, 0}));
    EXPECT_EQ(drop(mid, 600, 4), DropTarget(Stack{1, 1}));
    EXPECT_EQ(drop(mid, 900, 4), DropTarget(Stack{1, 2}));
    // Within its own column the dragged window is not counted.
    EXPECT_EQ(drop(mid, 900, 2), DropTarget(Stack{1, 1}));
    // A tabbed column appends as the last tab wherever the pointer is.
    const double tabs = 1495 + 0.5 * 485;
    EXPECT_EQ(drop(tabs, 50, 1), DropTarget(Stack{3, 3}));
    EXPECT_EQ(drop(tabs, 50, 5), DropTarget(Stack{3, 2}));
}

TEST_F(DropTargetTest, DropsThatChangeNothingAnswerNothing) {
    EXPECT_EQ(drop(1000 + 0.5 * 485, 100, 4), std::nullopt);  // onto its own lone column
    EXPECT_EQ(drop(1000 + 0.8 * 485, 100, 4), std::nullopt);  // right beside itself
    EXPECT_EQ(drop(999, 100, 4), std::nullopt);               // left beside itself
    EXPECT_EQ(drop(505 + 0.5 * 485, 100, 2), std::nullopt);   // its own row
    EXPECT_EQ(drop(505 + 0.5 * 485, 100, 42), std::nullopt);  // not in this strip
    EXPECT_EQ(Layout::dropTarget({100, 100}, 1, Strip(), viewport, config(), none, true),
              std::nullopt);
}

TEST(LayoutQueries, SnapScrollPicksTheNearestEdgeAndClamps) {
    const Strip strip = halves(4);
    auto snap = [&](double projected, CentreMode mode = CentreMode::never) {
        return Layout::snapScroll(projected, strip, W, config(mode), none);
    };
    // Candidates: 0, -495, 495, 0, 990, 495, 1485, 990.
    EXPECT_EQ(snap(300), 495);
    EXPECT_EQ(snap(247.5), 0);  // a tie keeps the earlier candidate
    EXPECT_EQ(snap(-400), 0);   // -495 is nearest but lies before the content
    EXPECT_EQ(snap(5000), 990);
    // Centring candidates: -247.5, 247.5, 742.5, 1237.5.
    EXPECT_EQ(snap(0, CentreMode::always), -247.5);
    EXPECT_EQ(snap(600, CentreMode::always), 742.5);
    EXPECT_EQ(snap(9999, CentreMode::always), 1237.5);
    EXPECT_EQ(Layout::snapScroll(300, Strip(), W, config(), none), 0);
    EXPECT_EQ(Layout::snapScroll(300, halves(1), W, config(), none), 0);
}

TEST(LayoutQueries, SettledColumnPrefersTheFocusedThenTheMostVisible) {
    auto settled = [](const Strip& strip) {
        return Layout::settledColumn(strip, W, config(), none);
    };
    EXPECT_EQ(settled(halves(4, 1, 0)), 1);
    EXPECT_EQ(settled(halves(4, 2, 494.6)), 2);  // within half a point of fully in view
    EXPECT_EQ(settled(halves(4, 0, 700)), 2);    // 290, 485 and 205 points visible
    EXPECT_EQ(settled(halves(1, 0, 300)), 0);
    EXPECT_EQ(settled(Strip()), std::nullopt);

    // Column 0 is 980 wide (10…990), column 1 485 (1000…1485); focus is on 2.
    Strip strip = halves(3, 2);
    strip.columns[0].width = 1.0;
    strip.scroll = 504.6;  // 485.4 against 485 visible: too close, the nearer centre wins
    EXPECT_EQ(settled(strip), 1);
    strip.scroll = 504.4;  // 485.6 against 485: the more visible wins
    EXPECT_EQ(settled(strip), 0);
}

TEST(LayoutConfigText, CentreModeRoundTripsAndRejectsOtherText) {
    for (CentreMode mode : {CentreMode::never, CentreMode::onOverflow, CentreMode::always}) {
        EXPECT_EQ(centreModeFromString(toString(mode)), mode);
    }
    EXPECT_EQ(toString(CentreMode::onOverflow), "onOverflow");
    EXPECT_EQ(centreModeFromString("Always"), std::nullopt);
    EXPECT_EQ(centreModeFromString(""), std::nullopt);
}

}  // namespace
}  // namespace tessaline
