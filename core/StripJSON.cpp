#include "core/StripJSON.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <unordered_set>

namespace tessaline {

namespace {

using nlohmann::json;

const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// An optional key counts as absent when it is missing or null, which is how
// other writers commonly spell "no value".
bool isAbsent(const json* value) { return value == nullptr || value->is_null(); }

// Integers only: 3.0 or "3" is a mistyped key. Values beyond 64 bits arrive
// from the parser as floating point and are refused here too.
std::optional<std::int64_t> readInteger(const json* value) {
    if (value == nullptr || !value->is_number_integer()) return std::nullopt;
    if (value->is_number_unsigned()) {
        const auto u = value->get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    return value->get<std::int64_t>();
}

std::optional<int> readInt(const json* value) {
    const auto v = readInteger(value);
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(*v);
}

std::optional<WindowID> readWindowID(const json& value) {
    if (!value.is_number_integer()) return std::nullopt;
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u > std::numeric_limits<WindowID>::max()) return std::nullopt;
        return static_cast<WindowID>(u);
    }
    const auto v = value.get<std::int64_t>();
    if (v < 0 || v > static_cast<std::int64_t>(std::numeric_limits<WindowID>::max())) return std::nullopt;
    return static_cast<WindowID>(v);
}

std::optional<double> readDouble(const json* value) {
    if (value == nullptr || !value->is_number()) return std::nullopt;
    const double d = value->get<double>();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<Column> readColumn(const json& j) {
    if (!j.is_object()) return std::nullopt;
    const json* windowsValue = member(j, "windows");
    const json* weightsValue = member(j, "weights");
    const json* tabbedValue = member(j, "tabbed");
    if (!windowsValue || !windowsValue->is_array() || !weightsValue || !weightsValue->is_array() ||
        !tabbedValue || !tabbedValue->is_boolean()) {
        return std::nullopt;
    }
    const auto width = readDouble(member(j, "width"));
    const auto active = readInt(member(j, "active"));
    if (!width || !active) return std::nullopt;

    Column column;
    for (const json& id : *windowsValue) {
        const auto window = readWindowID(id);
        if (!window) return std::nullopt;
        column.windows.push_back(*window);
    }
    for (const json& w : *weightsValue) {
        const auto weight = readDouble(&w);
        if (!weight) return std::nullopt;
        column.weights.push_back(*weight);
    }
    column.width = *width;
    column.active = *active;
    column.tabbed = tabbedValue->get<bool>();
    if (const json* saved = member(j, "savedWidth"); !isAbsent(saved)) {
        column.savedWidth = readDouble(saved);
        if (!column.savedWidth) return std::nullopt;
    }
    return column;
}

// Text that passes the type checks can still describe a column this program
// could never have made. Handing it on would break the model: mismatched
// weights index out of range, a zero weight sum divides by zero in the layout,
// a non-positive width gives a column no room. Such a column is unreadable.
bool isSound(const Column& column) {
    const int count = static_cast<int>(column.windows.size());
    if (column.weights.size() != column.windows.size()) return false;
    for (double w : column.weights) {
        if (w <= 0) return false;
    }
    if (column.width <= 0 || (column.savedWidth && *column.savedWidth <= 0)) return false;
    return column.active >= 0 && column.active <= std::max(0, count - 1);
}

// A strip has no empty column, a focus inside it (0 when empty), a previous
// focus that is a different, existing column, and every window at most once:
// a window listed twice would be given two frames at once.
bool isSound(const Strip& strip) {
    std::unordered_set<WindowID> seen;
    for (const Column& column : strip.columns) {
        if (column.windows.empty()) return false;
        for (WindowID id : column.windows) {
            if (!seen.insert(id).second) return false;
        }
    }
    const int last = std::max(0, strip.count() - 1);
    if (strip.focused < 0 || strip.focused > last) return false;
    if (strip.previous) {
        if (*strip.previous < 0 || *strip.previous >= strip.count() || *strip.previous == strip.focused) return false;
    }
    return true;
}

std::optional<Strip> readStrip(const json& j) {
    if (!j.is_object()) return std::nullopt;
    const json* columnsValue = member(j, "columns");
    if (!columnsValue || !columnsValue->is_array()) return std::nullopt;
    const auto focused = readInt(member(j, "focused"));
    const auto scroll = readDouble(member(j, "scroll"));
    if (!focused || !scroll) return std::nullopt;

    std::vector<Column> columns;
    columns.reserve(columnsValue->size());
    for (const json& c : *columnsValue) {
        auto column = readColumn(c);
        if (!column || !isSound(*column)) return std::nullopt;
        columns.push_back(std::move(*column));
    }
    Strip strip(std::move(columns), *focused, *scroll);
    if (const json* previous = member(j, "previous"); !isAbsent(previous)) {
        strip.previous = readInt(previous);
        if (!strip.previous) return std::nullopt;
    }
    if (!isSound(strip)) return std::nullopt;
    return strip;
}

}  // namespace

json toJSON(const Column& column) {
    json j = {
        {"windows", column.windows}, {"weights", column.weights}, {"width", column.width},
        {"active", column.active},   {"tabbed", column.tabbed},
    };
    if (column.savedWidth) j["savedWidth"] = *column.savedWidth;
    return j;
}

json toJSON(const Strip& strip) {
    json columns = json::array();
    for (const Column& column : strip.columns) columns.push_back(toJSON(column));
    json j = {{"columns", std::move(columns)}, {"focused", strip.focused}, {"scroll", strip.scroll}};
    if (strip.previous) j["previous"] = *strip.previous;
    return j;
}

std::optional<Column> columnFromJSON(const json& j) {
    try {
        auto column = readColumn(j);
        if (!column || !isSound(*column)) return std::nullopt;
        return column;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Strip> stripFromJSON(const json& j) {
    try {
        return readStrip(j);
    } catch (...) {
        return std::nullopt;
    }
}

std::string encodeStrip(const Strip& strip) {
    try {
        return toJSON(strip).dump();
    } catch (...) {
        // Only allocation can fail here; an empty text simply fails to decode.
        return {};
    }
}

std::optional<Strip> decodeStrip(std::string_view text) {
    try {
        const json j = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
        if (j.is_discarded()) return std::nullopt;
        return readStrip(j);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace tessaline
