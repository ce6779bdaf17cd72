#pragma once
// The platform-free model of one horizontally scrolling row of tiled windows.
// Every mutating operation returns whether it changed the strip, so callers
// know whether a relayout is needed.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/Geometry.h"

namespace tessaline {

enum class Direction { left, right };

// Text form: the case name ("left", "right").
std::string toString(Direction direction);
std::optional<Direction> directionFromString(std::string_view text);

struct Column {
    std::vector<WindowID> windows;   // top to bottom
    std::vector<double> weights;     // relative heights, one per window
    double width = 0.5;              // share of the viewport
    int active = 0;                  // index into windows
    bool tabbed = false;
    std::optional<double> savedWidth;  // width to return to when leaving full width

    Column() = default;
    // `weights` is used only when it has exactly as many entries as `windows`.
    Column(std::vector<WindowID> windows, double width, bool tabbed = false,
           std::optional<std::vector<double>> weights = std::nullopt);

    std::optional<WindowID> activeWindow() const;
    void insert(WindowID id, int at, double weight);
    // Removes the window at a valid index and returns it with its weight.
    // An invalid index changes nothing and returns window 0 (never a window).
    std::pair<WindowID, double> remove(int at);

    friend bool operator==(const Column&, const Column&) = default;
};

struct NewColumn {
    int at = 0;
    friend bool operator==(const NewColumn&, const NewColumn&) = default;
};
struct Stack {
    int column = 0;
    int row = 0;
    friend bool operator==(const Stack&, const Stack&) = default;
};
// Where a dragged window lands: a new column at an index, or a row of a column.
using DropTarget = std::variant<NewColumn, Stack>;

struct Strip {
    std::vector<Column> columns;
    int focused = 0;
    std::optional<int> previous;  // column focused before the last focus move
    double scroll = 0;            // strip x shown at the viewport's left edge

    Strip() = default;
    Strip(std::vector<Column> columns, int focused, double scroll)
        : columns(std::move(columns)), focused(focused), scroll(scroll) {}

    bool isEmpty() const { return columns.empty(); }
    int count() const { return static_cast<int>(columns.size()); }
    std::vector<WindowID> windows() const;
    // Null when `focused` is out of range.
    const Column* focusedColumn() const;
    Column* focusedColumn();
    std::optional<WindowID> focusedWindow() const;

    struct Location {
        int column = 0;
        int row = 0;
        friend bool operator==(const Location&, const Location&) = default;
    };
    std::optional<Location> locate(WindowID id) const;
    bool contains(WindowID id) const { return locate(id).has_value(); }

    bool focusColumn(int column);
    bool focusWindow(WindowID id);
    bool focusLeft();
    bool focusRight();
    bool focusFirst();
    bool focusLast();
    bool focusUp();
    bool focusDown();

    void insertColumn(Column column, std::optional<int> at, bool focus);
    void insertWindow(WindowID id, double width, std::optional<int> at, bool focus);
    bool remove(WindowID id);

    bool moveColumnTo(int to);
    bool moveColumnBy(int by);
    bool moveWindowVertically(int by);
    bool stack(Direction into);
    bool popOut(Direction to);
    bool move(WindowID id, const DropTarget& target);
    bool isNoOp(WindowID id, const DropTarget& target) const;

    bool toggleTabbed();
    bool cycleWidth(std::vector<double> presets);
    bool toggleFullWidth();
    bool adjustWidth(double by);
    bool adjustHeight(double by);
    bool equalizeHeights();

    friend bool operator==(const Strip&, const Strip&) = default;
};

}  // namespace tessaline
