#include "core/Strip.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <type_traits>

namespace tessaline {

namespace {

int sizeOf(const std::vector<WindowID>& windows) { return static_cast<int>(windows.size()); }

// The row the column's operations act on: `active` when it is valid, else the
// first row, so that they always agree with `activeWindow`.
int effectiveRow(const Column& column) {
    return column.active >= 0 && column.active < sizeOf(column.windows) ? column.active : 0;
}

// Weights and windows are public fields; if someone left them out of step we
// would index past the end of `weights`. Mending them keeps every operation safe.
void mendWeights(Column& column) {
    if (column.weights.size() != column.windows.size()) column.weights.resize(column.windows.size(), 1.0);
}

int clampIndex(long long value, int count) {
    return static_cast<int>(std::clamp<long long>(value, 0, std::max(0, count - 1)));
}

// The clamp of a width or share: NaN falls to a bound instead of surviving.
double clampShare(double value, double lo, double hi) { return std::fmax(lo, std::fmin(hi, value)); }

}  // namespace

std::string toString(Direction direction) {
    return direction == Direction::left ? "left" : "right";
}

std::optional<Direction> directionFromString(std::string_view text) {
    if (text == "left") return Direction::left;
    if (text == "right") return Direction::right;
    return std::nullopt;
}

// ---- Column ----

Column::Column(std::vector<WindowID> windows, double width, bool tabbed,
               std::optional<std::vector<double>> weights)
    : windows(std::move(windows)), width(width), tabbed(tabbed) {
    if (weights && weights->size() == this->windows.size()) {
        this->weights = std::move(*weights);
    } else {
        this->weights.assign(this->windows.size(), 1.0);
    }
}

std::optional<WindowID> Column::activeWindow() const {
    if (windows.empty()) return std::nullopt;
    return windows[static_cast<std::size_t>(effectiveRow(*this))];
}

void Column::insert(WindowID id, int at, double weight) {
    mendWeights(*this);
    const auto index = static_cast<std::ptrdiff_t>(std::clamp(at, 0, sizeOf(windows)));
    windows.insert(windows.begin() + index, id);
    weights.insert(weights.begin() + index, weight);
}

std::pair<WindowID, double> Column::remove(int at) {
    if (at < 0 || at >= sizeOf(windows)) return {0, 0.0};
    mendWeights(*this);
    const WindowID id = windows[static_cast<std::size_t>(at)];
    const double weight = weights[static_cast<std::size_t>(at)];
    windows.erase(windows.begin() + at);
    weights.erase(weights.begin() + at);
    if (at < active) --active;
    active = clampIndex(active, sizeOf(windows));
    return {id, weight};
}

// ---- Strip queries ----

std::vector<WindowID> Strip::windows() const {
    std::vector<WindowID> all;
    for (const Column& column : columns) all.insert(all.end(), column.windows.begin(), column.windows.end());
    return all;
}

const Column* Strip::focusedColumn() const {
    return focused >= 0 && focused < count() ? &columns[static_cast<std::size_t>(focused)] : nullptr;
}

Column* Strip::focusedColumn() {
    return focused >= 0 && focused < count() ? &columns[static_cast<std::size_t>(focused)] : nullptr;
}

std::optional<WindowID> Strip::focusedWindow() const {
    const Column* column = focusedColumn();
    return column ? column->activeWindow() : std::nullopt;
}

std::optional<Strip::Location> Strip::locate(WindowID id) const {
    for (int c = 0; c < count(); ++c) {
        const auto& windows = columns[static_cast<std::size_t>(c)].windows;
        const auto it = std::find(windows.begin(), windows.end(), id);
        if (it != windows.end()) return Location{c, static_cast<int>(it - windows.begin())};
    }
    return std::nullopt;
}

// ---- Focus ----

bool Strip::focusColumn(int column) {
    if (isEmpty()) return false;
    const int target = clampIndex(column, count());
    if (target == focused) return false;
    previous = focused;
    focused = target;
    return true;
}

bool Strip::focusWindow(WindowID id) {
    const auto location = locate(id);
    if (!location) return false;
    bool changed = false;
    if (location->column != focused) {
        previous = focused;
        focused = location->column;
        changed = true;
    }
    Column& column = columns[static_cast<std::size_t>(location->column)];
    if (column.active != location->row) {
        column.active = location->row;
        changed = true;
    }
    return changed;
}

bool Strip::focusLeft() {
    if (focused < 1 || isEmpty()) return false;
    return focusColumn(std::min(count(), focused) - 1);
}

bool Strip::focusRight() {
    if (isEmpty() || focused >= count() - 1) return false;
    return focusColumn(clampIndex(static_cast<long long>(focused) + 1, count()));
}

bool Strip::focusFirst() {
    if (isEmpty() || focused == 0) return false;
    previous = focused;
    focused = 0;
    return true;
}

bool Strip::focusLast() {
    if (isEmpty() || focused == count() - 1) return false;
    previous = focused;
    focused = count() - 1;
    return true;
}

bool Strip::focusUp() {
    Column* column = focusedColumn();
    if (!column || column->windows.empty()) return false;
    const int row = effectiveRow(*column);
    if (row < 1) return false;
    column->active = row - 1;
    return true;
}

bool Strip::focusDown() {
    Column* column = focusedColumn();
    if (!column || column->windows.empty()) return false;
    const int row = effectiveRow(*column);
    if (row >= sizeOf(column->windows) - 1) return false;
    column->active = row + 1;
    return true;
}

// ---- Insertion and removal ----

void Strip::insertColumn(Column column, std::optional<int> at, bool focus) {
    // An empty column would break "no column is empty" for every later
    // operation, so there is nothing to insert.
    if (column.windows.empty()) return;
    mendWeights(column);
    const long long wanted = at ? *at : (isEmpty() ? 0 : static_cast<long long>(focused) + 1);
    const int index = static_cast<int>(std::clamp<long long>(wanted, 0, count()));
    columns.insert(columns.begin() + index, std::move(column));

    if (previous && *previous >= index) ++*previous;
    if (count() == 1) {
        focused = 0;
        previous.reset();
    } else if (focus) {
        previous = focused >= index ? focused + 1 : focused;
        focused = index;
    } else if (focused >= index) {
        ++focused;
    }
}

void Strip::insertWindow(WindowID id, double width, std::optional<int> at, bool focus) {
    insertColumn(Column({id}, width, false, std::vector<double>{1.0}), at, focus);
}

bool Strip::remove(WindowID id) {
    const auto location = locate(id);
    if (!location) return false;
    const int c = location->column;
    Column& column = columns[static_cast<std::size_t>(c)];
    column.remove(location->row);
    if (!column.windows.empty()) return true;

    columns.erase(columns.begin() + c);
    if (c == focused) {
        if (previous && *previous != c) {
            focused = *previous - (c < *previous ? 1 : 0);
        } else {
            focused = std::max(0, c - 1);
        }
        previous.reset();
    } else {
        if (c < focused) --focused;
        if (previous) {
            if (*previous == c) {
                previous.reset();
            } else if (c < *previous) {
                --*previous;
            }
        }
    }
    focused = clampIndex(focused, count());
    return true;
}

// ---- Moving columns and windows ----

bool Strip::moveColumnTo(int to) {
    if (!focusedColumn()) return false;
    const int target = clampIndex(to, count());
    if (target == focused) return false;
    Column moving = std::move(columns[static_cast<std::size_t>(focused)]);
    columns.erase(columns.begin() + focused);
    columns.insert(columns.begin() + target, std::move(moving));
    focused = target;
    previous.reset();
    return true;
}

bool Strip::moveColumnBy(int by) {
    if (!focusedColumn()) return false;
    const long long destination = static_cast<long long>(focused) + by;
    int target = 0;
    if (destination < 1) {
        if (focused == 0) return false;
    } else {
        target = static_cast<int>(std::min<long long>(count() - 1, destination));
        if (target == focused) return false;
    }
    return moveColumnTo(target);
}

bool Strip::moveWindowVertically(int by) {
    Column* column = focusedColumn();
    if (!column) return false;
    const int row = effectiveRow(*column);
    const long long newRow = static_cast<long long>(row) + by;
    // Swapping a window with itself touches nothing, so it must not claim a change.
    if (newRow < 0 || newRow >= sizeOf(column->windows) || newRow == row) return false;
    mendWeights(*column);
    std::swap(column->windows[static_cast<std::size_t>(row)], column->windows[static_cast<std::size_t>(newRow)]);
    std::swap(column->weights[static_cast<std::size_t>(row)], column->weights[static_cast<std::size_t>(newRow)]);
    column->active = static_cast<int>(newRow);
    return true;
}

bool Strip::stack(Direction into) {
    Column* source = focusedColumn();
    if (!source || source->windows.empty()) return false;
    int target = focused + (into == Direction::right ? 1 : -1);
    if (target < 0 || target >= count()) return false;

    const WindowID id = source->remove(effectiveRow(*source)).first;
    if (source->windows.empty()) {
        columns.erase(columns.begin() + focused);
        if (target > focused) --target;
    }
    Column& destination = columns[static_cast<std::size_t>(target)];
    destination.insert(id, sizeOf(destination.windows), 1.0);
    destination.active = sizeOf(destination.windows) - 1;
    focused = target;
    previous.reset();
    return true;
}

bool Strip::popOut(Direction to) {
    Column* source = focusedColumn();
    if (!source || source->windows.size() < 2) return false;
    const double width = source->width;
    const WindowID id = source->remove(effectiveRow(*source)).first;
    const int index = to == Direction::left ? focused : focused + 1;
    columns.insert(columns.begin() + index, Column({id}, width));
    focused = index;
    previous.reset();
    return true;
}

bool Strip::isNoOp(WindowID id, const DropTarget& target) const {
    const auto location = locate(id);
    if (!location) return true;
    const bool alone = columns[static_cast<std::size_t>(location->column)].windows.size() == 1;
    if (const auto* stack = std::get_if<Stack>(&target)) {
        if (stack->column < 0 || stack->column >= count()) return true;
        return stack->column == location->column && (alone || stack->row == location->row);
    }
    const int at = std::get<NewColumn>(target).at;
    return alone && (at == location->column || at == location->column + 1);
}

bool Strip::move(WindowID id, const DropTarget& target) {
    const auto location = locate(id);
    if (!location || isNoOp(id, target)) return false;
    const int c = location->column;
    Column& source = columns[static_cast<std::size_t>(c)];
    const bool single = source.windows.size() == 1;
    const double sourceWidth = source.width;
    const double ownWeight = source.remove(location->row).second;
    if (single) columns.erase(columns.begin() + c);

    const int wanted = std::visit([](const auto& t) {
        if constexpr (std::is_same_v<std::decay_t<decltype(t)>, NewColumn>) return t.at;
        else return t.column;
    }, target);
    const long long adjusted = static_cast<long long>(wanted) - (single && c < wanted ? 1 : 0);

    if (std::holds_alternative<NewColumn>(target)) {
        const int index = static_cast<int>(std::clamp<long long>(adjusted, 0, count()));
        columns.insert(columns.begin() + index, Column({id}, sourceWidth));
        focused = index;
    } else {
        // isNoOp vetted the column index before the removal, and the shift
        // above keeps it pointing at the same column.
        const int index = static_cast<int>(adjusted);
        Column& destination = columns[static_cast<std::size_t>(index)];
        double weight = 1.0;
        if (!single && index == c) {
            weight = ownWeight;
        } else if (!destination.weights.empty()) {
            weight = std::accumulate(destination.weights.begin(), destination.weights.end(), 0.0) /
                     static_cast<double>(destination.weights.size());
        }
        const int row = std::clamp(std::get<Stack>(target).row, 0, sizeOf(destination.windows));
        destination.insert(id, row, weight);
        destination.active = row;
        focused = index;
    }
    previous.reset();
    return true;
}

// ---- Width and height ----

bool Strip::toggleTabbed() {
    Column* column = focusedColumn();
    if (!column) return false;
    column->tabbed = !column->tabbed;
    return true;
}

bool Strip::cycleWidth(std::vector<double> presets) {
    Column* column = focusedColumn();
    // A NaN preset would break the ordering that std::sort relies on.
    std::erase_if(presets, [](double p) { return !std::isfinite(p); });
    if (!column || presets.empty()) return false;
    std::sort(presets.begin(), presets.end());
    const auto next = std::upper_bound(presets.begin(), presets.end(), column->width + 0.005);
    column->width = next != presets.end() ? *next : presets.front();
    column->savedWidth.reset();
    return true;
}

bool Strip::toggleFullWidth() {
    Column* column = focusedColumn();
    if (!column) return false;
    if (column->savedWidth) {
        column->width = *column->savedWidth;
        column->savedWidth.reset();
    } else {
        column->savedWidth = column->width;
        column->width = 1.0;
    }
    return true;
}

bool Strip::adjustWidth(double by) {
    Column* column = focusedColumn();
    if (!column || !std::isfinite(by)) return false;
    const double width = clampShare(column->width + by, 0.1, 1.0);
    if (std::fabs(width - column->width) <= 0.0001) return false;
    column->width = width;
    column->savedWidth.reset();
    return true;
}

bool Strip::adjustHeight(double by) {
    Column* column = focusedColumn();
    if (!column || column->windows.size() < 2 || column->tabbed || !std::isfinite(by)) return false;
    mendWeights(*column);
    const std::size_t n = column->windows.size();
    const double sum = std::accumulate(column->weights.begin(), column->weights.end(), 0.0);
    std::vector<double> shares(n, 1.0 / static_cast<double>(n));
    // Weights that cannot be normalised (all zero, or not finite) count as equal
    // instead of spreading NaN through the stack.
    if (sum > 0 && std::isfinite(sum)) {
        for (std::size_t i = 0; i < n; ++i) shares[i] = column->weights[i] / sum;
    }

    const auto row = static_cast<std::size_t>(effectiveRow(*column));
    const double current = shares[row];
    const double wanted = clampShare(current + by, 0.1, 0.9);
    if (std::fabs(wanted - current) <= 0.0001) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == row) continue;
        shares[i] = 1 - current > 0 ? (1 - wanted) * shares[i] / (1 - current)
                                    : (1 - wanted) / static_cast<double>(n - 1);
    }
    shares[row] = wanted;
    column->weights = std::move(shares);
    return true;
}

bool Strip::equalizeHeights() {
    Column* column = focusedColumn();
    if (!column) return false;
    const bool equal = column->weights.size() == column->windows.size() &&
                       std::all_of(column->weights.begin(), column->weights.end(), [](double w) { return w == 1.0; });
    if (equal) return false;
    column->weights.assign(column->windows.size(), 1.0);
    return true;
}

}  // namespace tessaline
