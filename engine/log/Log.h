#pragma once
// One-line engine messages in seven categories, kept in an in-process store
// that the `log` command and the diagnostics read back.
//
// Ordinary messages are passed as callables and built only when they will be
// kept, so hot paths (every focus change, every scroll step) pay one level
// check when nobody listens:
//
//     Log::focus([&] { return "focus is on " + windowTag(w.appName, w.id); });
//     Log::lifecycle("tiling started");
//
// A message never names a window by its title (titles are private and end up
// in shared bug reports); use windowTag.

#include "core/Geometry.h"

#include <atomic>
#include <chrono>
#include <concepts>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace tessaline {

enum class LogLevel { debug, defaultLevel, error };

std::string_view toString(LogLevel level);  // "debug", "default", "error"
std::optional<LogLevel> logLevelFromString(std::string_view text);

struct LogRecord {
    std::chrono::system_clock::time_point time;
    std::string category;
    LogLevel level = LogLevel::debug;
    std::string message;
    friend bool operator==(const LogRecord&, const LogRecord&) = default;
};

// Bounded store of the process's own records. Thread-safe: a backend may log
// from its worker threads while the recent log is read on another.
class LogStore {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    static constexpr std::size_t defaultCapacity = 20'000;

    static LogStore& shared();

    explicit LogStore(std::size_t capacity = defaultCapacity);
    LogStore(const LogStore&) = delete;
    LogStore& operator=(const LogStore&) = delete;

    // Default and error records are always collected; debug only when switched on.
    bool collects(LogLevel level) const;
    bool collectsDebug() const { return collectsDebug_.load(std::memory_order_relaxed); }
    void setCollectsDebug(bool on) { collectsDebug_.store(on, std::memory_order_relaxed); }

    // The wall clock that stamps records; an empty function restores the system clock.
    void setClock(Clock clock);
    std::chrono::system_clock::time_point now() const;

    std::size_t capacity() const;
    void setCapacity(std::size_t capacity);  // drops the oldest records beyond it

    // Stamps and keeps a record whether or not its level is collected; the
    // level check belongs to the caller, before the message is built.
    void add(std::string_view category, LogLevel level, std::string message);

    // Sees every record as it is kept, outside the store's lock (the program
    // copies them to its standard error). An empty function removes it.
    using Sink = std::function<void(const LogRecord&)>;
    void setSink(Sink sink);

    std::vector<LogRecord> records() const;
    std::vector<LogRecord> since(std::chrono::system_clock::time_point position) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::deque<LogRecord> records_;
    std::size_t capacity_;
    Clock clock_;
    std::shared_ptr<const Sink> sink_;
    std::atomic<bool> collectsDebug_{false};
};

class Log {
public:
    // The application identifier; the command channel is named after it too.
    static constexpr std::string_view subsystem = "org.tessaline.Tessaline";

    // Raises ordinary messages from debug to default level. The window manager
    // sets it from Config::detailedLogging on construction and in every apply.
    inline static std::atomic<bool> detailed{false};

    static const Log lifecycle;
    static const Log windows;
    static const Log focus;
    static const Log layout;
    static const Log drag;
    static const Log spaces;
    static const Log input;

    // Any category name; the name is copied into storage that lives as long as
    // the process, so a temporary string is fine.
    explicit Log(std::string_view category);

    std::string_view category() const { return category_; }
    bool collects(LogLevel level) const { return LogStore::shared().collects(level); }

    template <class F>
        requires std::invocable<F&> &&
                 std::constructible_from<std::string, std::invoke_result_t<F&>>
    void operator()(F&& message) const {
        if (detailed.load(std::memory_order_relaxed)) {
            keepBuilt(LogLevel::defaultLevel, message);
        } else if (collects(LogLevel::debug)) {
            keepBuilt(LogLevel::debug, message);
        }
    }

    // Literals cost nothing to build. Only arrays are taken, so that a
    // std::string concatenated at the call site (built eagerly) doesn't compile.
    template <std::size_t N>
    void operator()(const char (&message)[N]) const {
        (*this)([&] { return std::string_view(message); });
    }

    template <class F>
        requires std::invocable<F&> &&
                 std::constructible_from<std::string, std::invoke_result_t<F&>>
    void error(F&& message) const {
        if (collects(LogLevel::error)) keepBuilt(LogLevel::error, message);
    }

    template <std::size_t N>
    void error(const char (&message)[N]) const {
        error([&] { return std::string_view(message); });
    }

    friend bool operator==(const Log&, const Log&) = default;

private:
    struct BuiltIn {};
    constexpr Log(std::string_view category, BuiltIn) : category_(category) {}

    template <class F>
    void keepBuilt(LogLevel level, F& message) const {
        // Logging never fails outward, not even when a message can't be built.
        try {
            keep(level, std::string(message()));
        } catch (...) {
        }
    }
    void keep(LogLevel level, std::string message) const;

    std::string_view category_;
};

// How messages name a window: application name, "#", window number (Mail#4711).
std::string windowTag(std::string_view appName, WindowID id);

// A length in whole points, the fraction dropped ("1279" for 1279.8).
std::string wholePoints(double value);

// Width and height in whole points joined by "×" ("1280×800").
std::string sizeText(Size size);

}  // namespace tessaline
