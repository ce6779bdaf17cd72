#include "engine/log/Log.h"

#include <cmath>
#include <cstdio>
#include <set>

namespace tessaline {

namespace {

// Category names outlive every Log made from them; a Log is a small value
// that gets copied around, so it refers to the name rather than owning it.
std::string_view intern(std::string_view name) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> names;
    std::lock_guard lock(mutex);
    auto it = names.find(name);
    if (it == names.end()) it = names.emplace(name).first;
    return *it;
}

}  // namespace

std::string_view toString(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return "debug";
        case LogLevel::defaultLevel: return "default";
        case LogLevel::error: return "error";
    }
    return "debug";
}

std::optional<LogLevel> logLevelFromString(std::string_view text) {
    for (auto level : {LogLevel::debug, LogLevel::defaultLevel, LogLevel::error}) {
        if (toString(level) == text) return level;
    }
    return std::nullopt;
}

// ---- LogStore

LogStore& LogStore::shared() {
    static LogStore store;
    return store;
}

LogStore::LogStore(std::size_t capacity) : capacity_(capacity) {}

bool LogStore::collects(LogLevel level) const {
    return level != LogLevel::debug || collectsDebug();
}

void LogStore::setClock(Clock clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

std::chrono::system_clock::time_point LogStore::now() const {
    std::lock_guard lock(mutex_);
    return clock_ ? clock_() : std::chrono::system_clock::now();
}

std::size_t LogStore::capacity() const {
    std::lock_guard lock(mutex_);
    return capacity_;
}

void LogStore::setCapacity(std::size_t capacity) {
    std::lock_guard lock(mutex_);
    capacity_ = capacity;
    while (records_.size() > capacity_) records_.pop_front();
}

void LogStore::add(std::string_view category, LogLevel level, std::string message) {
    std::shared_ptr<const Sink> sink;
    std::optional<LogRecord> copy;
    {
        std::lock_guard lock(mutex_);
        sink = sink_;
        auto time = clock_ ? clock_() : std::chrono::system_clock::now();
        if (sink) copy = LogRecord{time, std::string(category), level, message};
        if (capacity_ > 0) {
            if (records_.size() >= capacity_) records_.pop_front();
            records_.push_back({time, std::string(category), level, std::move(message)});
        }
    }
    if (sink && copy) (*sink)(*copy);
}

void LogStore::setSink(Sink sink) {
    std::lock_guard lock(mutex_);
    sink_ = sink ? std::make_shared<const Sink>(std::move(sink)) : nullptr;
}

std::vector<LogRecord> LogStore::records() const {
    std::lock_guard lock(mutex_);
    return {records_.begin(), records_.end()};
}

std::vector<LogRecord> LogStore::since(std::chrono::system_clock::time_point position) const {
    std::lock_guard lock(mutex_);
    std::vector<LogRecord> out;
    // Kept in arrival order, not sorted by time: a wall clock that is set back
    // must not shuffle the story the lines tell.
    for (const auto& record : records_) {
        if (record.time >= position) out.push_back(record);
    }
    return out;
}

void LogStore::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

// ---- Log

constinit const Log Log::lifecycle{"lifecycle", BuiltIn{}};
constinit const Log Log::windows{"windows", BuiltIn{}};
constinit const Log Log::focus{"focus", BuiltIn{}};
constinit const Log Log::layout{"layout", BuiltIn{}};
constinit const Log Log::drag{"drag", BuiltIn{}};
constinit const Log Log::spaces{"spaces", BuiltIn{}};
constinit const Log Log::input{"input", BuiltIn{}};

Log::Log(std::string_view category) : category_(intern(category)) {}

void Log::keep(LogLevel level, std::string message) const {
    LogStore::shared().add(category_, level, std::move(message));
}

// ---- message pieces

std::string windowTag(std::string_view appName, WindowID id) {
    std::string tag(appName);
    tag += '#';
    tag += std::to_string(id);
    return tag;
}

std::string wholePoints(double value) {
    // Adding 0.0 turns the -0 of a small negative fraction into 0.
    double whole = std::trunc(value) + 0.0;
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", whole);
    return buffer;
}

std::string sizeText(Size size) {
    return wholePoints(size.width) + "\u00D7" + wholePoints(size.height);
}

}  // namespace tessaline
