#include "core/SavedSession.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

namespace tessaline {

using nlohmann::json;

Timestamp toTimestamp(std::chrono::system_clock::time_point time) {
    using Seconds = std::chrono::duration<double>;
    const double unix = std::chrono::duration_cast<Seconds>(time.time_since_epoch()).count();
    return unix - timestampReferenceUnixSeconds;
}

std::chrono::system_clock::time_point toTimePoint(Timestamp timestamp) {
    using Clock = std::chrono::system_clock;
    using Rep = Clock::duration::rep;
    if (!std::isfinite(timestamp)) timestamp = 0;
    // Converting an out-of-range double to the clock's integer ticks is
    // undefined, and a hand-edited file can hold any finite number.
    const double ticks = (timestamp + timestampReferenceUnixSeconds) * Clock::period::den /
                         Clock::period::num;
    constexpr double limit = static_cast<double>(std::numeric_limits<Rep>::max());
    if (ticks >= limit) return Clock::time_point::max();
    if (ticks <= -limit) return Clock::time_point::min();
    return Clock::time_point(Clock::duration(static_cast<Rep>(ticks)));
}

namespace {

// ---- writing ----

json toJSON(const SavedWindow& w) {
    return json{{"id", w.id}, {"bundleID", w.bundleID}, {"title", w.title}};
}

json toJSON(const SavedColumn& c) {
    json windows = json::array();
    for (const auto& w : c.windows) windows.push_back(toJSON(w));
    return json{{"width", c.width}, {"tabbed", c.tabbed}, {"weights", c.weights},
                {"windows", std::move(windows)}};
}

json toJSON(const SavedStrip& s) {
    json columns = json::array();
    for (const auto& c : s.columns) columns.push_back(toJSON(c));
    json j{{"display", s.display}, {"space", s.space}, {"columns", std::move(columns)}};
    if (s.seen) j["seen"] = *s.seen;
    return j;
}

json toJSON(const SavedSetup& s) {
    json strips = json::array();
    for (const auto& strip : s.strips) strips.push_back(toJSON(strip));
    json j{{"displays", s.displays}, {"strips", std::move(strips)}};
    if (s.seen) j["seen"] = *s.seen;
    return j;
}

// ---- reading ----
// Every reader returns absent on the first thing that is missing or of the
// wrong type; unknown keys are ignored.

const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<double> readNumber(const json* j) {
    if (!j || !j->is_number()) return std::nullopt;
    const double v = j->get<double>();
    // The parser refuses overflowing literals, but a width or weight that is
    // not finite would poison every frame computed from it.
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

// Whole numbers in [0, max]. A float literal such as 7.0 or 1e3 is a whole
// number too; 7.5, negatives and anything above max are not.
std::optional<std::uint64_t> readUnsigned(const json* j, std::uint64_t max) {
    if (!j) return std::nullopt;
    if (j->is_number_unsigned()) {
        const auto v = j->get<std::uint64_t>();
        return v <= max ? std::optional(v) : std::nullopt;
    }
    if (j->is_number_integer()) {
        const auto v = j->get<std::int64_t>();
        if (v < 0 || static_cast<std::uint64_t>(v) > max) return std::nullopt;
        return static_cast<std::uint64_t>(v);
    }
    if (j->is_number_float()) {
        const double v = j->get<double>();
        // 2^64 is the first double past the unsigned 64-bit range.
        constexpr double past = 18446744073709551616.0;
        if (!std::isfinite(v) || v < 0 || v >= past || std::trunc(v) != v) return std::nullopt;
        const auto u = static_cast<std::uint64_t>(v);
        return u <= max ? std::optional(u) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> readString(const json* j) {
    if (!j || !j->is_string()) return std::nullopt;
    return j->get<std::string>();
}

// Absent key or null: no timestamp. Present but not a number: unreadable.
bool readSeen(const json& object, std::optional<Timestamp>& seen) {
    const json* j = member(object, "seen");
    if (!j || j->is_null()) return true;
    const auto v = readNumber(j);
    if (!v) return false;
    seen = *v;
    return true;
}

template <class T, class Read>
std::optional<std::vector<T>> readArray(const json* j, Read read) {
    if (!j || !j->is_array()) return std::nullopt;
    std::vector<T> out;
    out.reserve(j->size());
    for (const auto& element : *j) {
        auto v = read(&element);
        if (!v) return std::nullopt;
        out.push_back(std::move(*v));
    }
    return out;
}

std::optional<SavedWindow> readWindow(const json* j) {
    if (!j || !j->is_object()) return std::nullopt;
    const auto id = readUnsigned(member(*j, "id"), std::numeric_limits<WindowID>::max());
    auto bundleID = readString(member(*j, "bundleID"));
    auto title = readString(member(*j, "title"));
    if (!id || !bundleID || !title) return std::nullopt;
    return SavedWindow{static_cast<WindowID>(*id), std::move(*bundleID), std::move(*title)};
}

std::optional<SavedColumn> readColumn(const json* j) {
    if (!j || !j->is_object()) return std::nullopt;
    const auto width = readNumber(member(*j, "width"));
    const json* tabbed = member(*j, "tabbed");
    if (!width || !tabbed || !tabbed->is_boolean()) return std::nullopt;
    // The weights need not be as many as the windows: the rebuild falls back
    // to 1.0 for rows without one, so a short list costs nothing.
    auto weights = readArray<double>(member(*j, "weights"), readNumber);
    if (!weights) return std::nullopt;
    auto windows = readArray<SavedWindow>(member(*j, "windows"), readWindow);
    if (!windows) return std::nullopt;
    return SavedColumn{*width, tabbed->get<bool>(), std::move(*weights), std::move(*windows)};
}

std::optional<SavedStrip> readStrip(const json* j) {
    if (!j || !j->is_object()) return std::nullopt;
    SavedStrip strip;
    auto display = readString(member(*j, "display"));
    const auto space = readUnsigned(member(*j, "space"), std::numeric_limits<SpaceID>::max());
    if (!display || !space || !readSeen(*j, strip.seen)) return std::nullopt;
    auto columns = readArray<SavedColumn>(member(*j, "columns"), readColumn);
    if (!columns) return std::nullopt;
    strip.display = std::move(*display);
    strip.space = *space;
    strip.columns = std::move(*columns);
    return strip;
}

std::optional<SavedSetup> readSetup(const json* j) {
    if (!j || !j->is_object()) return std::nullopt;
    SavedSetup setup;
    if (!readSeen(*j, setup.seen)) return std::nullopt;
    auto displays = readArray<std::string>(member(*j, "displays"), readString);
    if (!displays) return std::nullopt;
    auto strips = readArray<SavedStrip>(member(*j, "strips"), readStrip);
    if (!strips) return std::nullopt;
    setup.displays = std::move(*displays);
    setup.strips = std::move(*strips);
    return setup;
}

std::optional<SavedSession> readSession(const json& j) {
    if (!j.is_object()) return std::nullopt;
    auto strips = readArray<SavedStrip>(member(j, "strips"), readStrip);
    if (!strips) return std::nullopt;
    SavedSession session;
    session.strips = std::move(*strips);
    // Setups are a later addition to the file and only refine where strips
    // go; losing them must never cost the strips themselves.
    if (auto setups = readArray<SavedSetup>(member(j, "setups"), readSetup)) {
        session.setups = std::move(*setups);
    }
    return session;
}

}  // namespace

std::string encodeSession(const SavedSession& session) {
    try {
        json strips = json::array();
        for (const auto& s : session.strips) strips.push_back(toJSON(s));
        json setups = json::array();
        for (const auto& s : session.setups) setups.push_back(toJSON(s));
        const json j{{"strips", std::move(strips)}, {"setups", std::move(setups)}};
        // Titles come from other applications and may hold broken UTF-8;
        // the default dump would throw on them and lose the whole save.
        return j.dump(-1, ' ', false, json::error_handler_t::replace);
    } catch (...) {
        // Only allocation can fail here; an empty text reads back as nothing.
        return {};
    }
}

std::optional<SavedSession> decodeSession(std::string_view text) {
    try {
        // The parser keeps its nesting on the heap, so deeply nested garbage
        // fails or parses without exhausting the stack.
        const json j = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
        if (j.is_discarded()) return std::nullopt;
        return readSession(j);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace tessaline
