#include "core/Layout.h"

#include <gtest/gtest.h>

#include "tests/core/StripText.h"

namespace tessaline {
namespace {

const MinWidths none;
constexpr double W = 1000;

LayoutConfig config(CentreMode mode = CentreMode::never, double tabBarHeight = 0) {
    return LayoutConfig{10, mode, tabBarHeight};
}

// A strip from its text, scrolled. Columns of 0.5 on a 1000/10 viewport are
// 485 wide at x 10, 505, 1000, 1495 (content width 1990).
Strip at(const char* text, double scroll) {
    Strip strip = parseStrip(text);
    strip.scroll = scroll;
    return strip;
}

TEST(LayoutWidths, ColumnsTileTheViewportWidenForTheirWindowsAndStopAtTheMinimum) {
    EXPECT_EQ(Layout::columnWidth(1.0, 1000, 10), 980);
    EXPECT_EQ(Layout::columnWidth(0.5, 1000, 10), 485);
    EXPECT_EQ(Layout::columnWidth(0.1, 1000, 10), 120);  // 89 before the minimum
    EXPECT_EQ(Layout::columnWidth(0.5, 1001, 0), 501);   // 500.5 rounds away from zero
    EXPECT_DOUBLE_EQ(Layout::fractionForWidth(700, 1000, 10), 710.0 / 990.0);
    EXPECT_EQ(Layout::fractionForWidth(700, 10, 10), 1.0);

    const auto two = Layout::spans(parseStrip("[1] [2]"), W, 10, none);
    EXPECT_EQ(two, (std::vector<Span>{{10, 485}, {505, 485}}));
    EXPECT_EQ(Layout::totalWidth(two, 10), 1000);
    EXPECT_TRUE(Layout::spans(Strip(), W, 10, none).empty());
    EXPECT_EQ(Layout::totalWidth({}, 10), 10);
    const MinWidths mins{{7, 700}, {1, 300}, {99, 5000}};
    EXPECT_EQ(Layout::spans(parseStrip("[1 7] [2]"), W, 10, mins), (std::vector<Span>{{10, 700}, {720, 485}}));

    // Clamping widens a column for good, never past the viewport, and only once.
    Strip strip = parseStrip("[1] [2] [3]");
    const MinWidths clamps{{1, 700}, {2, 5000}, {3, 0}};
    EXPECT_TRUE(Layout::clampToMinimumWidths(strip, W, 10, clamps));
    EXPECT_DOUBLE_EQ(strip.columns[0].width, 710.0 / 990.0);
    EXPECT_EQ(stripText(strip), "[1*]:0.7172 [2]:1 [3]");
    EXPECT_FALSE(Layout::clampToMinimumWidths(strip, W, 10, clamps));
    // Within the tolerance a column counts as wide enough already.
    strip.columns[0].width = 710.0 / 990.0 - 0.0004;
    EXPECT_FALSE(Layout::clampToMinimumWidths(strip, W, 10, clamps));
    EXPECT_FALSE(Layout::clampToMinimumWidths(strip, W, 10, none));
}

enum class Scroll { ensureVisible, clamp, centre };
struct ScrollCase {
    const char* what;
    Scroll how;
    CentreMode mode;
    const char* strip;
    double scroll;
    double expected;
};

TEST(LayoutScroll, EachCentreModeRevealsClampsAndCentresAsItSays) {
    using enum CentreMode;
    const ScrollCase cases[] = {
        {"right edge plus gap at the viewport's right", Scroll::ensureVisible, never, "[1] [2] [3*] [4]", 0, 495},
        {"left edge at the left", Scroll::ensureVisible, never, "[1*] [2] [3] [4]", 495, 0},
        {"half a point out is visible", Scroll::ensureVisible, never, "[1] [2] [3*] [4]", 494.6, 494.6},
        {"a column wider than the view shows its left edge", Scroll::ensureVisible, never, "[1] [2] [3*]:1.5", 0, 990},
        {"previous column kept in view", Scroll::ensureVisible, onOverflow, "[1] [2]p [3*] [4]", 0, 495},
        {"previous column right of the focus", Scroll::ensureVisible, onOverflow, "[1*] [2]p [3] [4]", 495, 0},
        {"too far from the previous: centred", Scroll::ensureVisible, onOverflow, "[1]p [2] [3*] [4]", 0, 742.5},
        {"no previous: centred", Scroll::ensureVisible, onOverflow, "[1] [2] [3*] [4]", 0, 742.5},
        {"previous is the focus: centred", Scroll::ensureVisible, onOverflow, "[1] [2] [3*]p [4]", 0, 742.5},
        {"previous out of range: centred", Scroll::ensureVisible, onOverflow, "[1] [2] [3*] [4] previous=9", 0, 742.5},
        {"always centres, past the start", Scroll::ensureVisible, always, "[1*] [2] [3] [4]", 300, -247.5},
        {"clamped to the centring of the first", Scroll::clamp, always, "[1*] [2] [3] [4]", -5000, -247.5},
        {"clamped to the centring of the last", Scroll::clamp, always, "[1*] [2] [3] [4]", 5000, 1237.5},
        {"an empty strip rests at 0", Scroll::clamp, always, "", 40, 0},
        {"narrow content never scrolls", Scroll::ensureVisible, never, "[1*]", 300, 0},
        {"narrow content never scrolls, on overflow", Scroll::ensureVisible, onOverflow, "[1*]", 300, 0},
        {"narrow content clamps to 0", Scroll::clamp, onOverflow, "[1*]", -20, 0},
        {"narrow content clamps to 0, never", Scroll::clamp, never, "[1*]", -20, 0},
        {"clamped to the end", Scroll::clamp, never, "[1*] [2] [3] [4]", 5000, 990},
        {"no focused column: start", Scroll::ensureVisible, always, "[1] [2] focus=7", 300, 0},
        {"empty: start", Scroll::ensureVisible, never, "", 12, 0},
        {"centring in never mode is clamped", Scroll::centre, never, "[1*] [2] [3] [4]", 100, 0},
        {"centring in always mode is not", Scroll::centre, always, "[1*] [2] [3] [4]", 100, 0 - 247.5},
        {"centring the third", Scroll::centre, never, "[1] [2] [3*] [4]", 100, 742.5},
        {"centring nothing leaves the scroll", Scroll::centre, never, "[1] [2] [3] [4] focus=-1", 742.5, 742.5},
    };
    for (const ScrollCase& c : cases) {
        Strip strip = at(c.strip, c.scroll);
        const LayoutConfig cfg = config(c.mode);
        switch (c.how) {
            case Scroll::ensureVisible: Layout::ensureVisible(strip, W, cfg, none); break;
            case Scroll::clamp: Layout::clampScroll(strip, W, cfg, none); break;
            case Scroll::centre: Layout::centreFocused(strip, W, cfg, none); break;
        }
        EXPECT_EQ(strip.scroll, c.expected) << c.what;
    }
}

TEST(LayoutPlacements, FramesFollowStacksTabsScrollAndTheViewport) {
    // Stacked heights round, but the last window ends flush with the bottom.
    Strip stack = parseStrip("[1 2 3]:1");
    EXPECT_EQ(Layout::placements(stack, Rect{0, 0, W, 1001}, config(), none),
              (std::vector<Placement>{{1, Rect{10, 10, 980, 320}, 0, false},
                                      {2, Rect{10, 340, 980, 320}, 0, false},
                                      {3, Rect{10, 670, 980, 321}, 0, false}}));
    // Weights that add up to nothing share the height instead of dividing by zero.
    const auto zero = Layout::placements(parseStrip("[1/0 2/0 3/0]:1"), Rect{0, 0, W, 1001}, config(), none);
    EXPECT_EQ(zero[0].frame.height, 320);
    EXPECT_EQ(zero[2].frame.maxY(), 991);

    // Tabs share one frame below the tab bar, reserved in tabbed columns only.
    Strip tabs = parseStrip("[1] [4 5* 6]t");
    const Rect frame{505, 40, 485, 951};
    EXPECT_EQ(Layout::placements(tabs, Rect{0, 0, W, 1001}, config(CentreMode::never, 30), none),
              (std::vector<Placement>{{1, Rect{10, 10, 485, 981}, 0, false},
                                      {4, frame, 1, true},
                                      {5, frame, 1, false},
                                      {6, frame, 1, true}}));
    tabs.columns[1].active = 9;  // a stray active index still leaves one tab showing
    EXPECT_FALSE(Layout::placements(tabs, Rect{0, 0, W, 1001}, config(CentreMode::never, 30), none)[1].hiddenTab);

    EXPECT_TRUE(Layout::placements(Strip(), Rect{0, 0, W, 800}, config(), none).empty());
    // A display left of the primary one: -1440 + 10 - 0.5 rounds away from zero.
    const auto left = Layout::placements(at("[1] [2]", 0.5), Rect{-1440, 25, W, 800}, config(), none);
    EXPECT_EQ(left[0].frame, (Rect{-1431, 35, 485, 780}));
    EXPECT_EQ(left[1].frame.x, -936);
    const auto right = Layout::placements(at("[1] [2]", 495), Rect{1440, 0, W, 800}, config(), none);
    EXPECT_EQ(right[1].frame.x, 1450);
    EXPECT_EQ(right[1].column, 1);
    const auto wide = Layout::placements(at("[1] [2]", 495), Rect{0, 0, W, 800}, config(), {{1, 600}});
    EXPECT_EQ(wide[0].frame.width, 600);
    EXPECT_EQ(wide[1].frame.x, 620 - 495);
}

TEST(LayoutQueries, ColumnsUnderAPointCountTheGapToTheRight) {
    const auto column = [](double x, double scroll) {
        return Layout::columnAtViewportX(x, at("[1] [2] [3]", scroll), W, config(), none);
    };
    EXPECT_EQ(column(5, 0), 0);
    EXPECT_EQ(column(-50, 0), 0);
    EXPECT_EQ(column(504.9, 0), 0);
    EXPECT_EQ(column(505, 0), 1);
    EXPECT_EQ(column(10, 495), 1);
    EXPECT_EQ(column(9000, 0), 2);
    EXPECT_EQ(Layout::columnAtViewportX(0, Strip(), W, config(), none), std::nullopt);
}

TEST(LayoutQueries, ADropGoesWhereThePointerIsAcrossAndDownTheColumns) {
    // [1] at 10…495, [2, 3] at 505…990 (2: y 10…496, 3: y 506…991), [4] at
    // 1000…1485, [5, 6, 7] tabbed at 1495…1980.
    Strip strip = parseStrip("[1*] [2 3] [4] [5 6 7]t");
    Rect viewport{0, 0, W, 1001};
    const auto drop = [&](double x, double y, WindowID id, bool stacking = true) {
        return Layout::dropTarget({x, y}, id, strip, viewport, config(), none, stacking);
    };
    const double mid = 505 + 0.5 * 485, tabs = 1495 + 0.5 * 485;
    EXPECT_EQ(drop(505 + 0.4 * 485, 100, 4), DropTarget(Stack{1, 0}));
    EXPECT_EQ(drop(505 + 0.4 * 485, 100, 4, false), DropTarget(NewColumn{1}));
    EXPECT_EQ(drop(505 + 0.8 * 485, 100, 1), DropTarget(NewColumn{2}));
    EXPECT_EQ(drop(505 + 0.1 * 485, 100, 4), DropTarget(NewColumn{1}));
    EXPECT_EQ(drop(3, 100, 4), DropTarget(NewColumn{0}));
    // Either side of the gap's middle means the slot between the two columns.
    EXPECT_EQ(drop(501, 100, 4), DropTarget(NewColumn{1}));
    EXPECT_EQ(drop(499, 100, 4), DropTarget(NewColumn{1}));
    EXPECT_EQ(drop(5000, 100, 1), DropTarget(NewColumn{4}));
    // The row counts the windows above the pointer, not the dragged one.
    EXPECT_EQ(drop(mid, 600, 4), DropTarget(Stack{1, 1}));
    EXPECT_EQ(drop(mid, 900, 4), DropTarget(Stack{1, 2}));
    EXPECT_EQ(drop(mid, 900, 2), DropTarget(Stack{1, 1}));
    // A tabbed column appends as the last tab wherever the pointer is.
    EXPECT_EQ(drop(tabs, 50, 1), DropTarget(Stack{3, 3}));
    EXPECT_EQ(drop(tabs, 50, 5), DropTarget(Stack{3, 2}));
    // Drops that change nothing answer nothing.
    EXPECT_EQ(drop(1000 + 0.5 * 485, 100, 4), std::nullopt);  // onto its own lone column
    EXPECT_EQ(drop(1000 + 0.8 * 485, 100, 4), std::nullopt);  // right beside itself
    EXPECT_EQ(drop(999, 100, 4), std::nullopt);               // left beside itself
    EXPECT_EQ(drop(mid, 100, 2), std::nullopt);               // its own row
    EXPECT_EQ(drop(mid, 100, 42), std::nullopt);              // not in this strip
    EXPECT_EQ(Layout::dropTarget({100, 100}, 1, Strip(), viewport, config(), none, true), std::nullopt);

    strip.scroll = 495;
    viewport.x = 1440;
    EXPECT_EQ(drop(1440 + 10 + 0.5 * 485, 100, 4), DropTarget(Stack{1, 0}));
}

TEST(LayoutQueries, AFlingSnapsToTheNearestEdgeOrCentreWithinTheStrip) {
    const auto snap = [](double projected, CentreMode mode = CentreMode::never, const char* text = "[1*] [2] [3] [4]") {
        return Layout::snapScroll(projected, parseStrip(text), W, config(mode), none);
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
    EXPECT_EQ(snap(300, CentreMode::never, ""), 0);
    EXPECT_EQ(snap(300, CentreMode::never, "[1*]"), 0);
}

TEST(LayoutQueries, TheSettledColumnIsTheFocusedOneElseTheMostVisible) {
    const auto settled = [](const char* text, double scroll) {
        return Layout::settledColumn(at(text, scroll), W, config(), none);
    };
    EXPECT_EQ(settled("[1] [2*] [3] [4]", 0), 1);
    EXPECT_EQ(settled("[1] [2] [3*] [4]", 494.6), 2);  // within half a point of fully in view
    EXPECT_EQ(settled("[1] [2] [3*] [4]", 1000.5), 2);
    EXPECT_EQ(settled("[1*] [2] [3] [4]", 700), 2);    // 290, 485 and 205 points visible
    EXPECT_EQ(settled("[1*]", 300), 0);
    EXPECT_EQ(settled("", 0), std::nullopt);
    // Column 0 is 980 wide (10…990), column 1 485 (1000…1485); focus is on 2.
    EXPECT_EQ(settled("[1]:1 [2] [3*]", 504.6), 1);  // 485.4 against 485: too close, the nearer centre wins
    EXPECT_EQ(settled("[1]:1 [2] [3*]", 504.4), 0);  // 485.6 against 485: the more visible wins
}

}  // namespace
}  // namespace tessaline
