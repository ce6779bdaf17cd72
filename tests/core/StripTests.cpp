#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>

#include "core/Strip.h"
#include "core/StripJSON.h"
#include "tests/core/StripText.h"

using namespace tessaline;

namespace {

// A strip is sound when its JSON form reads back: the reader refuses empty
// columns, windows listed twice, weights out of step with the windows, and a
// focus, previous focus or active row outside what exists.
bool sound(const Strip& strip) { return stripFromJSON(toJSON(strip)).has_value(); }

struct Edit {
    const char* before;
    std::function<bool(Strip&)> edit;
    bool changed;
    const char* after;
};
#define EDIT(call) [](Strip& s) { return s.call; }
#define PUT(call) [](Strip& s) { s.call; return true; }

constexpr auto none = std::nullopt;

const Edit edits[] = {
    // focus by index, window and neighbour; `previous` remembers the last column
    {"[1] [2*] [3]", EDIT(focusColumn(1)), false, "[1] [2*] [3]"},
    {"[1] [2*] [3]", EDIT(focusColumn(10)), true, "[1] [2]p [3*]"},
    {"[1] [2]p [3*]", EDIT(focusColumn(-4)), true, "[1*] [2] [3]p"},
    {"", EDIT(focusColumn(0)), false, ""},
    {"[1*] [2 3]", EDIT(focusWindow(1)), false, "[1*] [2 3]"},
    {"[1*] [2 3]", EDIT(focusWindow(9)), false, "[1*] [2 3]"},
    {"[1*] [2 3]", EDIT(focusWindow(3)), true, "[1]p [2 3*]"},
    {"[1*] [2 3]", EDIT(focusWindow(2)), true, "[1]p [2* 3]"},
    {"[1]p [2 3*]", EDIT(focusWindow(2)), true, "[1]p [2* 3]"},
    {"[1]p [2* 3]", EDIT(focusWindow(2)), false, "[1]p [2* 3]"},
    {"[1*] [2] [3]", EDIT(focusLeft()), false, "[1*] [2] [3]"},
    {"[1*] [2] [3]", EDIT(focusFirst()), false, "[1*] [2] [3]"},
    {"[1*] [2] [3]", EDIT(focusRight()), true, "[1]p [2*] [3]"},
    {"[1]p [2*] [3]", EDIT(focusLast()), true, "[1] [2]p [3*]"},
    {"[1] [2]p [3*]", EDIT(focusRight()), false, "[1] [2]p [3*]"},
    {"[1] [2]p [3*]", EDIT(focusLast()), false, "[1] [2]p [3*]"},
    {"[1] [2]p [3*]", EDIT(focusLeft()), true, "[1] [2*] [3]p"},
    {"[1] [2*] [3]p", EDIT(focusFirst()), true, "[1*] [2]p [3]"},
    // a stale focus beyond either end steps back onto the strip
    {"[1] [2] [3] focus=7", EDIT(focusLeft()), true, "[1] [2] [3*] previous=7"},
    {"[1] [2] [3] focus=-3", EDIT(focusRight()), true, "[1*] [2] [3] previous=-3"},
    {"", EDIT(focusRight()), false, ""},
    {"", EDIT(focusLast()), false, ""},
    // up and down stay in the column and leave `previous` alone
    {"[1]p [2* 3 4]", EDIT(focusUp()), false, "[1]p [2* 3 4]"},
    {"[1]p [2* 3 4]", EDIT(focusDown()), true, "[1]p [2 3* 4]"},
    {"[1]p [2 3* 4]", EDIT(focusDown()), true, "[1]p [2 3 4*]"},
    {"[1]p [2 3 4*]", EDIT(focusDown()), false, "[1]p [2 3 4*]"},
    {"[1]p [2 3 4*]", EDIT(focusUp()), true, "[1]p [2 3* 4]"},
    {"[1]p [2 3* 4]", EDIT(focusUp()), true, "[1]p [2* 3 4]"},
    {"[1] [2 3 4] focus=5", EDIT(focusDown()), false, "[1] [2 3 4] focus=5"},
    // inserting: right of the focus by default; indexes clamp; focus and previous shift
    {"", PUT(insertWindow(1, 0.5, none, true)), true, "[1*]"},
    {"[1] [2*] [3]", PUT(insertWindow(9, 0.5, none, true)), true, "[1] [2]p [9*] [3]"},
    {"[1] [2*] [3]p", PUT(insertWindow(9, 0.5, 0, false)), true, "[9] [1] [2*] [3]p"},
    {"[9] [1] [2*] [3]p", PUT(insertWindow(8, 0.5, 1, true)), true, "[9] [8*] [1] [2]p [3]"},
    {"[1*]", PUT(insertWindow(2, 0.25, 50, false)), true, "[1*] [2]:0.25"},
    {"[1*]", PUT(insertWindow(3, 0.5, -50, false)), true, "[3] [1*]"},
    {"[3] [1*] [2]", PUT(insertColumn(Column(), 0, true)), true, "[3] [1*] [2]"},
    // removing: the focus stays, goes to the previous column, or to the left
    {"[1] [2 3*] [4]p", EDIT(remove(2)), true, "[1] [3*] [4]p"},
    {"[1] [3*] [4]p", EDIT(remove(2)), false, "[1] [3*] [4]p"},
    {"[1] [2*] [3] [4]p", EDIT(remove(2)), true, "[1] [3] [4*]"},
    {"[1] [2*] [3]p [4]", EDIT(remove(2)), true, "[1] [3*] [4]"},
    {"[1] [2*] [3]", EDIT(remove(2)), true, "[1*] [3]"},
    {"[1]p [2] [3*] [4]", EDIT(remove(3)), true, "[1*] [2] [4]"},
    {"[1] [2] [3*]", EDIT(remove(3)), true, "[1] [2*]"},
    {"[1*] [2] [3]", EDIT(remove(1)), true, "[2*] [3]"},
    {"[3*]", EDIT(remove(3)), true, ""},
    {"[1] [2] [3]p [4*]", EDIT(remove(1)), true, "[2] [3]p [4*]"},
    {"[2] [3]p [4*]", EDIT(remove(3)), true, "[2] [4*]"},
    // moving columns clamps and forgets `previous`
    {"[1] [2]p [3] [4*]", EDIT(moveColumnBy(-5)), true, "[4*] [1] [2] [3]"},
    {"[4*] [1] [2] [3]", EDIT(moveColumnBy(-5)), false, "[4*] [1] [2] [3]"},
    {"[4*] [1] [2] [3]", EDIT(moveColumnBy(INT_MAX)), true, "[1] [2] [3] [4*]"},
    {"[1] [2] [3] [4*]", EDIT(moveColumnBy(1)), false, "[1] [2] [3] [4*]"},
    {"[1] [2] [3] [4*]", EDIT(moveColumnTo(1)), true, "[1] [4*] [2] [3]"},
    {"[1] [4*] [2] [3]", EDIT(moveColumnTo(1)), false, "[1] [4*] [2] [3]"},
    {"[1] [2] focus=4", EDIT(moveColumnTo(0)), false, "[1] [2] focus=4"},
    {"[1] [2] focus=4", EDIT(moveColumnBy(-1)), false, "[1] [2] focus=4"},
    // moving a window in its column carries its weight
    {"[1/0.2* 2/0.3 3/0.5]", EDIT(moveWindowVertically(-1)), false, "[1/0.2* 2/0.3 3/0.5]"},
    {"[1/0.2* 2/0.3 3/0.5]", EDIT(moveWindowVertically(0)), false, "[1/0.2* 2/0.3 3/0.5]"},
    {"[1/0.2* 2/0.3 3/0.5]", EDIT(moveWindowVertically(3)), false, "[1/0.2* 2/0.3 3/0.5]"},
    {"[1/0.2* 2/0.3 3/0.5]", EDIT(moveWindowVertically(2)), true, "[3/0.5 2/0.3 1/0.2*]"},
    {"[1 2*]", EDIT(moveWindowVertically(-1)), true, "[2* 1]"},
    // stacking into a neighbour, and popping out again
    {"[1] [2 3] [4*] [5]p", EDIT(stack(Direction::left)), true, "[1] [2 3 4*] [5]"},
    {"[1*] [2] [3]", EDIT(stack(Direction::right)), true, "[2 1*] [3]"},
    {"[2 1*] [3]", EDIT(stack(Direction::left)), false, "[2 1*] [3]"},
    {"[1 2*] [3]", EDIT(stack(Direction::right)), true, "[1] [3 2*]"},
    {"[1] [3 2*]", EDIT(stack(Direction::right)), false, "[1] [3 2*]"},
    {"[1*] [2]", EDIT(popOut(Direction::right)), false, "[1*] [2]"},
    {"[1]p [2 3* 4]t:0.7", EDIT(popOut(Direction::left)), true, "[1] [3*]:0.7 [2 4^]t:0.7"},
    {"[1] [3]:0.7 [2 4*]t:0.7", EDIT(popOut(Direction::right)), true, "[1] [3]:0.7 [2]t:0.7 [4*]:0.7"},
    // dropping a window into a new column or a stack
    {"[1] [2] [3]p [4*]", EDIT(move(2, NewColumn{1})), false, "[1] [2] [3]p [4*]"},
    {"[1] [2] [3]p [4*]", EDIT(move(2, NewColumn{2})), false, "[1] [2] [3]p [4*]"},
    {"[1] [2] [3]p [4*]", EDIT(move(2, NewColumn{3})), true, "[1] [3] [2*] [4]"},
    {"[1] [3] [2*] [4]", EDIT(move(4, NewColumn{-7})), true, "[4*] [1] [3] [2]"},
    {"[1*] [2 3^]:0.8", EDIT(move(2, NewColumn{99})), true, "[1] [3]:0.8 [2*]:0.8"},
    {"[1/0.7*] [2/0.2 3/0.6] [4/0.25 5/0.75]", EDIT(move(1, Stack{2, 1})), true,
     "[2/0.2 3/0.6] [4/0.25 1/0.5* 5/0.75]"},
    {"[2/0.2 3/0.6] [4/0.25 1/0.5* 5/0.75]", EDIT(move(5, Stack{1, -3})), true,
     "[2/0.2 3/0.6] [5/0.75* 4/0.25 1/0.5]"},
    {"[2/0.2 3/0.6] [5/0.75* 4/0.25 1/0.5]", EDIT(move(2, Stack{1, 50})), true,
     "[3/0.6] [5/0.75 4/0.25 1/0.5 2/0.5*]"},
    // widths: presets cycle and wrap, full width comes back, adjustments clamp
    {"[1*]", EDIT(cycleWidth({0.5, 0.333, 0.667})), true, "[1*]:0.667"},
    {"[1*]:0.664~0.3", EDIT(cycleWidth({0.5, 0.333, 0.667})), true, "[1*]:0.333"},
    {"[1*]:0.333", EDIT(cycleWidth({0.333})), true, "[1*]:0.333"},
    {"[1*]", EDIT(cycleWidth({})), false, "[1*]"},
    {"[1*]", EDIT(cycleWidth({NAN})), false, "[1*]"},
    {"[1*]:0.333", EDIT(cycleWidth({NAN, 0.8, NAN, 0.4})), true, "[1*]:0.4"},
    {"[1] focus=1", EDIT(cycleWidth({0.5})), false, "[1] focus=1"},
    {"[1*]:0.4", EDIT(toggleFullWidth()), true, "[1*]:1~0.4"},
    {"[1*]:1~0.4", EDIT(adjustWidth(0.1)), false, "[1*]:1~0.4"},
    {"[1*]:1~0.4", EDIT(toggleFullWidth()), true, "[1*]:0.4"},
    {"[1*]:1~0.4", EDIT(adjustWidth(-1)), true, "[1*]:0.1"},
    {"[1*]:0.1", EDIT(adjustWidth(-0.00005)), false, "[1*]:0.1"},
    {"[1*]:0.1", EDIT(adjustWidth(NAN)), false, "[1*]:0.1"},
    {"[1*] [2]", EDIT(toggleTabbed()), true, "[1*]t [2]"},
    {"[1* 2]", EDIT(toggleTabbed()), true, "[1* 2]t"},
    // heights: shares move between rows and stop short of nothing
    {"[1* 2]", EDIT(adjustHeight(0.1)), true, "[1/0.6* 2/0.4]"},
    {"[1/0.6* 2/0.4]", EDIT(adjustHeight(0.5)), true, "[1/0.9* 2/0.1]"},
    {"[1/0.9* 2/0.1]", EDIT(adjustHeight(0.1)), false, "[1/0.9* 2/0.1]"},
    {"[1/0* 2/0]", EDIT(adjustHeight(0.1)), true, "[1/0.6* 2/0.4]"},
    {"[1/1* 2/0]", EDIT(adjustHeight(-0.1)), true, "[1/0.9* 2/0.1]"},
    {"[1*]", EDIT(adjustHeight(0.1)), false, "[1*]"},
    {"[1* 2]t", EDIT(adjustHeight(0.1)), false, "[1* 2]t"},
    {"[1* 2]", EDIT(adjustHeight(NAN)), false, "[1* 2]"},
    {"[1* 2]", EDIT(adjustHeight(0.00001)), false, "[1* 2]"},
    {"[1 2] focus=-1", EDIT(adjustHeight(0.1)), false, "[1 2] focus=-1"},
    {"[1* 2]", EDIT(equalizeHeights()), false, "[1* 2]"},
    {"[1/0.5* 2/0.5]", EDIT(equalizeHeights()), true, "[1* 2]"},
    {"[1/0.5 2/0.5] focus=1", EDIT(equalizeHeights()), false, "[1/0.5 2/0.5] focus=1"},
};

}  // namespace

TEST(StripEdits, EveryEditReportsAChangeAndLeavesTheExpectedStrip) {
    for (const Edit& e : edits) {
        Strip strip = parseStrip(e.before);
        ASSERT_EQ(stripText(strip), e.before) << "the notation reads back";
        EXPECT_EQ(e.edit(strip), e.changed) << e.before << " -> " << e.after;
        EXPECT_EQ(stripText(strip), e.after) << "from " << e.before;
        if (sound(parseStrip(e.before))) {
            EXPECT_TRUE(sound(strip)) << e.after;
        }
    }
}

TEST(StripEdits, ColumnsKeepWeightsAndTheActiveRowInStepWithTheirWindows) {
    EXPECT_EQ(Column({1, 2}, 0.5, false, std::vector<double>{2, 3}).weights, (std::vector<double>{2, 3}));
    EXPECT_EQ(Column({1, 2}, 0.5, false, std::vector<double>{2}).weights, (std::vector<double>{1, 1}));
    Column c = parseStrip("[7 8 9*]").columns[0];
    EXPECT_EQ(c.activeWindow(), 9u);
    c.active = 5;
    EXPECT_EQ(c.activeWindow(), 7u);
    EXPECT_FALSE(Column().activeWindow());

    c = parseStrip("[1 2^]").columns[0];
    c.insert(3, 99, 0.25);
    c.insert(4, -5, 2.0);
    EXPECT_EQ(c, parseStrip("[4/2 1^ 2 3/0.25]").columns[0]);
    c = parseStrip("[1/0.2 2/0.3 3/0.5^]").columns[0];
    EXPECT_EQ(c.remove(0), (std::pair<WindowID, double>{1, 0.2}));
    EXPECT_EQ(c.active, 1);  // still on window 3
    EXPECT_EQ(c.remove(1), (std::pair<WindowID, double>{3, 0.5}));
    EXPECT_EQ(c.remove(4).first, 0u);  // an invalid index touches nothing
    EXPECT_EQ(c, parseStrip("[2/0.3]").columns[0]);
    c.remove(0);
    EXPECT_TRUE(c.windows.empty() && c.weights.empty());
    EXPECT_EQ(c.active, 0);
    // Weights out of step with the windows are mended before anything is added.
    c.windows = {1, 2};
    c.insert(3, 5, 0.5);
    EXPECT_EQ(c.weights, (std::vector<double>{1, 1, 0.5}));
    Strip mended;
    c.weights.clear();
    mended.insertColumn(c, 0, true);
    EXPECT_EQ(mended.columns[0].weights, (std::vector<double>{1, 1, 1}));

    const Strip s = parseStrip("[1 2] [3] [4 5*]");
    EXPECT_EQ(s.windows(), (std::vector<WindowID>{1, 2, 3, 4, 5}));
    EXPECT_EQ(s.locate(5), (Strip::Location{2, 1}));
    EXPECT_FALSE(s.locate(6));
    EXPECT_FALSE(s.contains(0));
    EXPECT_EQ(s.focusedWindow(), 5u);
    EXPECT_EQ(parseStrip("[1] focus=3").focusedColumn(), nullptr);
    EXPECT_FALSE(parseStrip("[1] focus=3").focusedWindow());
    EXPECT_FALSE(Strip().focusedWindow());
}

TEST(StripEdits, DropsThatChangeNothingAreKnownBeforehand) {
    const Strip s = parseStrip("[1*] [2 3] [4]");
    const std::pair<WindowID, DropTarget> noOps[] = {
        {9, NewColumn{0}}, {1, NewColumn{0}},  {1, NewColumn{1}}, {1, Stack{0, 3}},
        {1, Stack{-1, 0}}, {1, Stack{3, 0}},   {3, Stack{1, 1}},
    };
    const std::pair<WindowID, DropTarget> changes[] = {
        {1, NewColumn{2}}, {2, NewColumn{1}}, {3, Stack{1, 0}}, {1, Stack{1, 0}},
    };
    for (const auto& [id, target] : noOps) EXPECT_TRUE(s.isNoOp(id, target)) << id;
    for (const auto& [id, target] : changes) EXPECT_FALSE(s.isNoOp(id, target)) << id;
}

// Random editing must never break the model's invariants or lose a window.
TEST(StripEdits, RandomEditsKeepTheStripSound) {
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
        ASSERT_TRUE(sound(s)) << "after step " << step << ": " << stripText(s);
        auto windows = s.windows();
        auto expected = live;
        std::sort(windows.begin(), windows.end());
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(windows, expected) << "after step " << step;
    }
}
