#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>

#include "core/Strip.h"

using namespace tessaline;

namespace {

// A strip of single- and multi-window columns, all of width 0.5.
Strip makeStrip(std::vector<std::vector<WindowID>> columns, int focused = 0) {
    std::vector<Column> built;
    for (auto& windows : columns) built.emplace_back(std::move(windows), 0.5);
    return Strip(std::move(built), focused, 0);
}

std::vector<std::vector<WindowID>> shape(const Strip& strip) {
    std::vector<std::vector<WindowID>> out;
    for (const Column& column : strip.columns) out.push_back(column.windows);
    return out;
}

void expectSound(const Strip& strip) {
    for (const Column& column : strip.columns) {
        ASSERT_FALSE(column.windows.empty());
        ASSERT_EQ(column.weights.size(), column.windows.size());
        ASSERT_GE(column.active, 0);
        ASSERT_LT(column.active, static_cast<int>(column.windows.size()));
    }
    ASSERT_GE(strip.focused, 0);
    ASSERT_LE(strip.focused, std::max(0, strip.count() - 1));
    if (strip.previous) {
        ASSERT_GE(*strip.previous, 0);
        ASSERT_LT(*strip.previous, strip.count());
        ASSERT_NE(*strip.previous, strip.focused);
    }
}

}  // namespace

TEST(ColumnTest, ConstructorWeightsAndActiveWindowFallback) {
    EXPECT_EQ(Column({1, 2}, 0.5, false, std::vector<double>{2, 3}).weights, (std::vector<double>{2, 3}));
    EXPECT_EQ(Column({1, 2}, 0.5, false, std::vector<double>{2}).weights, (std::vector<double>{1, 1}));
    Column c({7, 8, 9}, 0.5);
    c.active = 2;
    EXPECT_EQ(c.activeWindow(), 9u);
    c.active = 5;
    EXPECT_EQ(c.activeWindow(), 7u);
    EXPECT_FALSE(Column().activeWindow());
}

TEST(ColumnTest, InsertClampsIndexAndKeepsActive) {
    Column c({1, 2}, 0.5);
    c.active = 1;
    c.insert(3, 99, 0.25);
    c.insert(4, -5, 2.0);
    EXPECT_EQ(c.windows, (std::vector<WindowID>{4, 1, 2, 3}));
    EXPECT_EQ(c.weights, (std::vector<double>{2.0, 1, 1, 0.25}));
    EXPECT_EQ(c.active, 1);
}

TEST(ColumnTest, RemoveShiftsAndClampsActive) {
    Column c({1, 2, 3}, 0.5, false, std::vector<double>{0.2, 0.3, 0.5});
    c.active = 2;
    EXPECT_EQ(c.remove(0), (std::pair<WindowID, double>{1, 0.2}));
    EXPECT_EQ(c.active, 1);  // still on window 3
    EXPECT_EQ(c.remove(1), (std::pair<WindowID, double>{3, 0.5}));
    EXPECT_EQ(c.active, 0);
    EXPECT_EQ(c.remove(4).first, 0u);  // invalid index touches nothing
    EXPECT_EQ(c.windows, (std::vector<WindowID>{2}));
    c.remove(0);
    EXPECT_TRUE(c.windows.empty());
    EXPECT_TRUE(c.weights.empty());
    EXPECT_EQ(c.active, 0);
}

TEST(StripQueryTest, WindowsLocateAndFocusedWindow) {
    Strip s = makeStrip({{1, 2}, {3}, {4, 5}}, 2);
    s.columns[2].active = 1;
    EXPECT_EQ(s.windows(), (std::vector<WindowID>{1, 2, 3, 4, 5}));
    EXPECT_EQ(s.locate(5), (Strip::Location{2, 1}));
    EXPECT_FALSE(s.locate(6));
    EXPECT_FALSE(s.contains(0));
    EXPECT_EQ(s.focusedWindow(), 5u);
    s.focused = 3;
    EXPECT_EQ(s.focusedColumn(), nullptr);
    EXPECT_FALSE(s.focusedWindow());
    EXPECT_FALSE(Strip().focusedWindow());
}

TEST(StripFocusTest, FocusColumnClampsAndRemembersPrevious) {
    Strip s = makeStrip({{1}, {2}, {3}}, 1);
    EXPECT_FALSE(s.focusColumn(1));
    EXPECT_TRUE(s.focusColumn(10));
    EXPECT_EQ(s.focused, 2);
    EXPECT_EQ(s.previous, 1);
    EXPECT_TRUE(s.focusColumn(-4));
    EXPECT_EQ(s.focused, 0);
    EXPECT_EQ(s.previous, 2);
    Strip empty;
    EXPECT_FALSE(empty.focusColumn(0));
}

TEST(StripFocusTest, FocusWindowReportsColumnOrRowChange) {
    Strip s = makeStrip({{1}, {2, 3}}, 0);
    EXPECT_FALSE(s.focusWindow(1));
    EXPECT_FALSE(s.focusWindow(9));
    EXPECT_TRUE(s.focusWindow(3));
    EXPECT_EQ(s.focused, 1);
    EXPECT_EQ(s.previous, 0);
    EXPECT_EQ(s.columns[1].active, 1);
    EXPECT_TRUE(s.focusWindow(2));  // same column, other row
    EXPECT_EQ(s.previous, 0);
    EXPECT_FALSE(s.focusWindow(2));
}

TEST(StripFocusTest, NeighbourAndEndMoves) {
    Strip s = makeStrip({{1}, {2}, {3}}, 0);
    EXPECT_FALSE(s.focusLeft());
    EXPECT_FALSE(s.focusFirst());
    EXPECT_TRUE(s.focusRight());
    EXPECT_EQ(s.focused, 1);
    EXPECT_EQ(s.previous, 0);
    EXPECT_TRUE(s.focusLast());
    EXPECT_EQ(s.previous, 1);
    EXPECT_FALSE(s.focusRight());
    EXPECT_FALSE(s.focusLast());
    EXPECT_TRUE(s.focusLeft());
    EXPECT_EQ(s.focused, 1);
    EXPECT_TRUE(s.focusFirst());
    EXPECT_EQ(s.previous, 1);

    // A stale focus beyond the end steps back onto the last column.
    s.focused = 7;
    EXPECT_TRUE(s.focusLeft());
    EXPECT_EQ(s.focused, 2);
    s.focused = -3;
    EXPECT_TRUE(s.focusRight());
    EXPECT_EQ(s.focused, 0);

    Strip empty;
    EXPECT_FALSE(empty.focusRight());
    EXPECT_FALSE(empty.focusLast());
}

TEST(StripFocusTest, UpAndDownStayInColumnAndLeavePrevious) {
    Strip s = makeStrip({{1}, {2, 3, 4}}, 1);
    s.previous = 0;
    EXPECT_FALSE(s.focusUp());
    EXPECT_TRUE(s.focusDown());
    EXPECT_TRUE(s.focusDown());
    EXPECT_FALSE(s.focusDown());
    EXPECT_EQ(s.focusedWindow(), 4u);
    EXPECT_TRUE(s.focusUp());
    EXPECT_EQ(s.columns[1].active, 1);
    EXPECT_EQ(s.previous, 0);
    s.focused = 5;
    EXPECT_FALSE(s.focusDown());
}

TEST(StripInsertTest, FirstColumnIsFocusedWithoutPrevious) {
    Strip s;
    s.insertWindow(1, 0.5, std::nullopt, true);
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{1}}));
    EXPECT_EQ(s.focused, 0);
    EXPECT_FALSE(s.previous);
    EXPECT_EQ(s.columns[0], Column({1}, 0.5));
}

TEST(StripInsertTest, DefaultPositionIsRightOfFocus) {
    Strip s = makeStrip({{1}, {2}, {3}}, 1);
    s.insertWindow(9, 0.5, std::nullopt, true);
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{1}, {2}, {9}, {3}}));
    EXPECT_EQ(s.focused, 2);
    EXPECT_EQ(s.previous, 1);
}

TEST(StripInsertTest, InsertingInFrontShiftsFocusAndPrevious) {
    Strip s = makeStrip({{1}, {2}, {3}}, 1);
    s.previous = 2;
    s.insertWindow(9, 0.5, 0, false);
    EXPECT_EQ(s.focused, 2);  // still window 2
    EXPECT_EQ(s.previous, 3);
    EXPECT_EQ(s.focusedWindow(), 2u);

    s.insertWindow(8, 0.5, 1, true);
    EXPECT_EQ(s.focused, 1);
    EXPECT_EQ(s.previous, 3);  // the old focus, shifted past the new column
    EXPECT_EQ(s.focusedWindow(), 8u);
    expectSound(s);
}

TEST(StripInsertTest, IndexIsClampedAndEmptyColumnIgnored) {
    Strip s = makeStrip({{1}}, 0);
    s.insertWindow(2, 0.5, 50, false);
    s.insertWindow(3, 0.5, -50, false);
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{3}, {1}, {2}}));
    EXPECT_EQ(s.focused, 1);
    const Strip before = s;
    s.insertColumn(Column(), 0, true);
    EXPECT_EQ(s, before);
}

TEST(StripRemoveTest, WindowLeavingAStackKeepsFocus) {
    Strip s = makeStrip({{1}, {2, 3}, {4}}, 1);
    s.previous = 2;
    s.columns[1].active = 1;
    EXPECT_TRUE(s.remove(2));
    EXPECT_EQ(s.focused, 1);
    EXPECT_EQ(s.previous, 2);
    EXPECT_EQ(s.focusedWindow(), 3u);
    EXPECT_FALSE(s.remove(2));
}

TEST(StripRemoveTest, FocusedColumnGoesToPreviousShifted) {
    Strip s = makeStrip({{1}, {2}, {3}, {4}}, 1);
    s.previous = 3;
    EXPECT_TRUE(s.remove(2));
    EXPECT_EQ(s.focusedWindow(), 4u);
    EXPECT_EQ(s.focused, 2);
    EXPECT_FALSE(s.previous);

    Strip left = makeStrip({{1}, {2}, {3}, {4}}, 2);
    left.previous = 0;
    EXPECT_TRUE(left.remove(3));
    EXPECT_EQ(left.focused, 0);
    EXPECT_FALSE(left.previous);
}

TEST(StripRemoveTest, FocusedColumnWithoutPreviousGoesLeftOrToZero) {
    Strip s = makeStrip({{1}, {2}, {3}}, 2);
    EXPECT_TRUE(s.remove(3));
    EXPECT_EQ(s.focused, 1);
    Strip first = makeStrip({{1}, {2}, {3}}, 0);
    EXPECT_TRUE(first.remove(1));
    EXPECT_EQ(first.focused, 0);
    EXPECT_EQ(first.focusedWindow(), 2u);
    EXPECT_TRUE(first.remove(2));
    EXPECT_TRUE(first.remove(3));
    EXPECT_TRUE(first.isEmpty());
    EXPECT_EQ(first.focused, 0);
    EXPECT_FALSE(first.previous);
}

TEST(StripRemoveTest, OtherColumnShiftsFocusAndPrevious) {
    Strip s = makeStrip({{1}, {2}, {3}, {4}}, 3);
    s.previous = 2;
    EXPECT_TRUE(s.remove(1));
    EXPECT_EQ(s.focused, 2);
    EXPECT_EQ(s.previous, 1);
    EXPECT_EQ(s.focusedWindow(), 4u);
    EXPECT_TRUE(s.remove(3));  // the previous column itself
    EXPECT_EQ(s.focused, 1);
    EXPECT_FALSE(s.previous);
    expectSound(s);
}

TEST(StripMoveColumnTest, ToAndByClampAndClearPrevious) {
    Strip s = makeStrip({{1}, {2}, {3}, {4}}, 3);
    s.previous = 1;
    EXPECT_TRUE(s.moveColumnBy(-5));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{4}, {1}, {2}, {3}}));
    EXPECT_EQ(s.focused, 0);
    EXPECT_FALSE(s.previous);
    EXPECT_FALSE(s.moveColumnBy(-5));
    EXPECT_TRUE(s.moveColumnBy(INT_MAX));
    EXPECT_EQ(s.focused, 3);
    EXPECT_FALSE(s.moveColumnBy(1));
    EXPECT_TRUE(s.moveColumnTo(1));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{1}, {4}, {2}, {3}}));
    EXPECT_FALSE(s.moveColumnTo(1));
    s.focused = 4;
    EXPECT_FALSE(s.moveColumnTo(0));
    EXPECT_FALSE(s.moveColumnBy(-1));
}

TEST(StripMoveWindowTest, VerticalMoveSwapsWeightsToo) {
    Strip s(std::vector<Column>{Column({1, 2, 3}, 0.5, false, std::vector<double>{0.2, 0.3, 0.5})}, 0, 0);
    EXPECT_FALSE(s.moveWindowVertically(-1));
    EXPECT_FALSE(s.moveWindowVertically(0));
    EXPECT_FALSE(s.moveWindowVertically(3));
    EXPECT_TRUE(s.moveWindowVertically(2));
    EXPECT_EQ(s.columns[0].windows, (std::vector<WindowID>{3, 2, 1}));
    EXPECT_EQ(s.columns[0].weights, (std::vector<double>{0.5, 0.3, 0.2}));
    EXPECT_EQ(s.columns[0].active, 2);
}

TEST(StripStackTest, LoneWindowJoinsLeftNeighbour) {
    Strip s = makeStrip({{1}, {2, 3}, {4}, {5}}, 2);
    s.previous = 3;
    EXPECT_TRUE(s.stack(Direction::left));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{1}, {2, 3, 4}, {5}}));
    EXPECT_EQ(s.focused, 1);
    EXPECT_EQ(s.columns[1].active, 2);
    EXPECT_EQ(s.focusedWindow(), 4u);
    EXPECT_FALSE(s.previous);
}

TEST(StripStackTest, RightTargetShiftsWhenSourceColumnVanishes) {
    Strip s = makeStrip({{1}, {2}, {3}}, 0);
    EXPECT_TRUE(s.stack(Direction::right));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{2, 1}, {3}}));
    EXPECT_EQ(s.focused, 0);
    EXPECT_EQ(s.focusedWindow(), 1u);
    EXPECT_FALSE(s.stack(Direction::left));

    Strip stacked = makeStrip({{1, 2}, {3}}, 0);
    stacked.columns[0].active = 1;
    EXPECT_TRUE(stacked.stack(Direction::right));
    EXPECT_EQ(shape(stacked), (std::vector<std::vector<WindowID>>{{1}, {3, 2}}));
    EXPECT_EQ(stacked.focused, 1);
    EXPECT_EQ(stacked.columns[1].weights, (std::vector<double>{1, 1}));
    EXPECT_FALSE(stacked.stack(Direction::right));
}

TEST(StripPopOutTest, TakesActiveWindowToEitherSide) {
    Strip one = makeStrip({{1}, {2}}, 0);
    EXPECT_FALSE(one.popOut(Direction::right));

    Strip s = makeStrip({{1}, {2, 3, 4}}, 1);
    s.columns[1].width = 0.7;
    s.columns[1].tabbed = true;
    s.columns[1].active = 1;
    s.previous = 0;
    EXPECT_TRUE(s.popOut(Direction::left));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{1}, {3}, {2, 4}}));
    EXPECT_EQ(s.focused, 1);
    EXPECT_FALSE(s.previous);
    EXPECT_EQ(s.columns[1], Column({3}, 0.7));
    EXPECT_EQ(s.columns[2].active, 1);

    s.focused = 2;
    EXPECT_TRUE(s.popOut(Direction::right));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{1}, {3}, {2}, {4}}));
    EXPECT_EQ(s.focused, 3);
    expectSound(s);
}

TEST(StripDropTest, NoOpCases) {
    const Strip s = makeStrip({{1}, {2, 3}, {4}}, 0);
    EXPECT_TRUE(s.isNoOp(9, NewColumn{0}));
    EXPECT_TRUE(s.isNoOp(1, NewColumn{0}));
    EXPECT_TRUE(s.isNoOp(1, NewColumn{1}));
    EXPECT_FALSE(s.isNoOp(1, NewColumn{2}));
    EXPECT_FALSE(s.isNoOp(2, NewColumn{1}));  // leaving a stack always changes something
    EXPECT_TRUE(s.isNoOp(1, Stack{0, 3}));
    EXPECT_TRUE(s.isNoOp(1, Stack{-1, 0}));
    EXPECT_TRUE(s.isNoOp(1, Stack{3, 0}));
    EXPECT_TRUE(s.isNoOp(3, Stack{1, 1}));
    EXPECT_FALSE(s.isNoOp(3, Stack{1, 0}));
    EXPECT_FALSE(s.isNoOp(1, Stack{1, 0}));
}

TEST(StripDropTest, LoneWindowToNewColumnShiftsPastItsOwnGap) {
    Strip s = makeStrip({{1}, {2}, {3}, {4}}, 3);
    s.previous = 2;
    EXPECT_FALSE(s.move(2, NewColumn{1}));
    EXPECT_FALSE(s.move(2, NewColumn{2}));
    EXPECT_EQ(s.previous, 2);
    EXPECT_TRUE(s.move(2, NewColumn{3}));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{1}, {3}, {2}, {4}}));
    EXPECT_EQ(s.focused, 2);
    EXPECT_FALSE(s.previous);
    EXPECT_TRUE(s.move(4, NewColumn{-7}));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{4}, {1}, {3}, {2}}));
    EXPECT_EQ(s.focused, 0);
}

TEST(StripDropTest, WindowLeavingStackTakesSourceWidth) {
    Strip s = makeStrip({{1}, {2, 3}}, 0);
    s.columns[1].width = 0.8;
    s.columns[1].active = 1;
    EXPECT_TRUE(s.move(2, NewColumn{99}));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{1}, {3}, {2}}));
    EXPECT_EQ(s.columns[2], Column({2}, 0.8));
    EXPECT_EQ(s.columns[1].active, 0);
    EXPECT_EQ(s.focused, 2);
}

TEST(StripDropTest, StackTakesMeanWeightOrKeepsOwn) {
    Strip s(std::vector<Column>{Column({1}, 0.5, false, std::vector<double>{0.7}),
                                Column({2, 3}, 0.5, false, std::vector<double>{0.2, 0.6}),
                                Column({4, 5}, 0.5, false, std::vector<double>{0.25, 0.75})},
            0, 0);
    EXPECT_TRUE(s.move(1, Stack{2, 1}));  // lone column vanishes, target shifts left
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{2, 3}, {4, 1, 5}}));
    EXPECT_EQ(s.columns[1].weights, (std::vector<double>{0.25, 0.5, 0.75}));
    EXPECT_EQ(s.columns[1].active, 1);
    EXPECT_EQ(s.focused, 1);

    EXPECT_TRUE(s.move(5, Stack{1, -3}));  // reorder within its own column
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{2, 3}, {5, 4, 1}}));
    EXPECT_EQ(s.columns[1].weights, (std::vector<double>{0.75, 0.25, 0.5}));
    EXPECT_EQ(s.columns[1].active, 0);

    EXPECT_TRUE(s.move(2, Stack{1, 50}));
    EXPECT_EQ(shape(s), (std::vector<std::vector<WindowID>>{{3}, {5, 4, 1, 2}}));
    EXPECT_DOUBLE_EQ(s.columns[1].weights[3], 0.5);
    EXPECT_EQ(s.columns[1].active, 3);
    EXPECT_EQ(s.columns[0].active, 0);
    expectSound(s);
}

TEST(StripWidthTest, CycleWidthPicksNextPresetAndWraps) {
    Strip s = makeStrip({{1}}, 0);
    const std::vector<double> presets{0.5, 0.333, 0.667};
    EXPECT_TRUE(s.cycleWidth(presets));
    EXPECT_EQ(s.columns[0].width, 0.667);
    s.columns[0].width = 0.664;
    s.columns[0].savedWidth = 0.3;
    EXPECT_TRUE(s.cycleWidth(presets));
    EXPECT_EQ(s.columns[0].width, 0.333);
    EXPECT_FALSE(s.columns[0].savedWidth);
    EXPECT_TRUE(s.cycleWidth({0.333}));  // the same width still counts
    EXPECT_FALSE(s.cycleWidth({}));
    EXPECT_FALSE(s.cycleWidth({NAN}));
    EXPECT_TRUE(s.cycleWidth({NAN, 0.8, NAN, 0.4}));
    EXPECT_EQ(s.columns[0].width, 0.4);
    s.focused = 1;
    EXPECT_FALSE(s.cycleWidth(presets));
}

TEST(StripWidthTest, FullWidthRoundTripAndAdjust) {
    Strip s = makeStrip({{1}}, 0);
    s.columns[0].width = 0.4;
    EXPECT_TRUE(s.toggleFullWidth());
    EXPECT_EQ(s.columns[0].width, 1.0);
    EXPECT_EQ(s.columns[0].savedWidth, 0.4);
    EXPECT_FALSE(s.adjustWidth(0.1));
    EXPECT_EQ(s.columns[0].savedWidth, 0.4);  // a refused change keeps the way back
    EXPECT_TRUE(s.toggleFullWidth());
    EXPECT_EQ(s.columns[0].width, 0.4);
    EXPECT_FALSE(s.columns[0].savedWidth);

    s.toggleFullWidth();
    EXPECT_TRUE(s.adjustWidth(-1));
    EXPECT_EQ(s.columns[0].width, 0.1);
    EXPECT_FALSE(s.columns[0].savedWidth);
    EXPECT_FALSE(s.adjustWidth(-0.00005));
    EXPECT_FALSE(s.adjustWidth(NAN));
    EXPECT_EQ(s.columns[0].width, 0.1);
}

TEST(StripHeightTest, AdjustHeightRedistributesShares) {
    Strip s = makeStrip({{1, 2}}, 0);
    EXPECT_TRUE(s.adjustHeight(0.1));
    EXPECT_DOUBLE_EQ(s.columns[0].weights[0], 0.6);
    EXPECT_DOUBLE_EQ(s.columns[0].weights[1], 0.4);
    EXPECT_TRUE(s.adjustHeight(0.5));
    EXPECT_DOUBLE_EQ(s.columns[0].weights[0], 0.9);
    EXPECT_FALSE(s.adjustHeight(0.1));

    // Other rows keep their proportions to each other.
    Strip three(std::vector<Column>{Column({1, 2, 3}, 0.5, false, std::vector<double>{1, 2, 6})}, 0, 0);
    three.columns[0].active = 1;
    EXPECT_TRUE(three.adjustHeight(0.3));
    const auto& w = three.columns[0].weights;
    EXPECT_NEAR(w[1], 2.0 / 9 + 0.3, 1e-12);
    EXPECT_NEAR(w[2] / w[0], 6.0, 1e-12);
    EXPECT_NEAR(w[0] + w[1] + w[2], 1.0, 1e-12);
}

TEST(StripHeightTest, AdjustHeightRefusals) {
    EXPECT_FALSE(makeStrip({{1}}, 0).adjustHeight(0.1));
    Strip tabbed = makeStrip({{1, 2}}, 0);
    tabbed.columns[0].tabbed = true;
    EXPECT_FALSE(tabbed.adjustHeight(0.1));
    Strip s = makeStrip({{1, 2}}, 0);
    EXPECT_FALSE(s.adjustHeight(NAN));
    EXPECT_FALSE(s.adjustHeight(0.00001));
    s.focused = -1;
    EXPECT_FALSE(s.adjustHeight(0.1));
}

TEST(StripHeightTest, AdjustHeightSurvivesUnnormalisableWeights) {
    Strip s(std::vector<Column>{Column({1, 2}, 0.5, false, std::vector<double>{0, 0})}, 0, 0);
    EXPECT_TRUE(s.adjustHeight(0.1));
    EXPECT_DOUBLE_EQ(s.columns[0].weights[0], 0.6);
    EXPECT_DOUBLE_EQ(s.columns[0].weights[1], 0.4);
}

TEST(StripHeightTest, EqualizeOnlyWhenNotAllOne) {
    Strip s = makeStrip({{1, 2}}, 0);
    EXPECT_FALSE(s.equalizeHeights());
    s.columns[0].weights = {0.5, 0.5};
    EXPECT_TRUE(s.equalizeHeights());
    EXPECT_EQ(s.columns[0].weights, (std::vector<double>{1, 1}));
    s.focused = 1;
    EXPECT_FALSE(s.equalizeHeights());
}

// Random editing must never break the model's invariants or lose a window.
TEST(StripInvariantTest, RandomEditsKeepInvariants) {
    std::mt19937 rng(12345);
    Strip s;
    std::vector<WindowID> live;
    WindowID next = 1;
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int step = 0; step < 5000; ++step) {
        const int n = s.count();
        // Inserts slightly outnumber removals so the strip hovers around a few
        // dozen windows: large enough for stacks, small enough to stay quick.
        switch (pick(0, 18)) {
            case 0: case 1:
                if (live.size() > 40) break;
                s.insertWindow(next, 0.5, pick(0, 1) ? std::optional<int>(pick(-1, n + 1)) : std::nullopt, pick(0, 1));
                live.push_back(next++);
                break;
            case 2: case 18:
                if (!live.empty()) {
                    const auto i = static_cast<std::size_t>(pick(0, static_cast<int>(live.size()) - 1));
                    ASSERT_TRUE(s.remove(live[i]));
                    live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
                }
                break;
            case 3: s.focusColumn(pick(-1, n)); break;
            case 4: s.focusLeft(); s.focusUp(); break;
            case 5: s.focusRight(); s.focusDown(); break;
            case 6: s.moveColumnBy(pick(-3, 3)); break;
            case 7: s.moveColumnTo(pick(-1, n)); break;
            case 8: s.moveWindowVertically(pick(-2, 2)); break;
            case 9: s.stack(pick(0, 1) ? Direction::left : Direction::right); break;
            case 10: s.popOut(pick(0, 1) ? Direction::left : Direction::right); break;
            case 11: case 12:
                if (!live.empty()) {
                    const WindowID id = live[static_cast<std::size_t>(pick(0, static_cast<int>(live.size()) - 1))];
                    if (pick(0, 1)) s.move(id, NewColumn{pick(-1, n + 1)});
                    else s.move(id, Stack{pick(-1, n), pick(-1, 4)});
                }
                break;
            case 13: s.adjustHeight(pick(-3, 3) / 10.0); break;
            case 14: s.focusWindow(next - static_cast<WindowID>(pick(1, 5))); break;
            case 15: s.focusFirst(); s.focusLast(); break;
            case 16: s.equalizeHeights(); s.toggleTabbed(); break;
            case 17: s.cycleWidth({0.333, 0.5, 0.667}); s.adjustWidth(pick(-2, 2) / 10.0); break;
        }
        ASSERT_NO_FATAL_FAILURE(expectSound(s)) << "after step " << step;
        auto windows = s.windows();
        auto expected = live;
        std::sort(windows.begin(), windows.end());
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(windows, expected) << "after step " << step;
    }
}
