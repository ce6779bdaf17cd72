#include "engine/log/RecentLog.h"

#include "engine/settings/AtomicFile.h"
#include "engine/settings/UserFiles.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <mutex>

namespace tessaline::RecentLog {

namespace {

using std::chrono::system_clock;

// Keeps "now − minutes" inside the clock's range, so an absurd request reads
// everything (or nothing) instead of overflowing.
constexpr long long maxMinutes = 100LL * 366 * 24 * 60;

system_clock::time_point position(system_clock::time_point now, int minutes) {
    auto span = std::chrono::minutes(std::clamp<long long>(minutes, -maxMinutes, maxMinutes));
    return now - std::chrono::duration_cast<system_clock::duration>(span);
}

std::tm localTime(std::time_t seconds) {
    // std::localtime shares one result between threads, and the recent log is
    // read off the main thread.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::tm parts{};
    if (const std::tm* local = std::localtime(&seconds)) parts = *local;
    return parts;
}

}  // namespace

std::string line(const LogRecord& record) {
    auto milliseconds = std::chrono::floor<std::chrono::milliseconds>(record.time);
    auto seconds = std::chrono::floor<std::chrono::seconds>(milliseconds);
    auto fraction = (milliseconds - seconds).count();
    std::tm parts = localTime(system_clock::to_time_t(system_clock::time_point(seconds)));

    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", parts.tm_hour, parts.tm_min,
                  parts.tm_sec, static_cast<int>(fraction));
    std::string out(stamp);
    out += " [";
    out += record.category;
    out += "] ";
    out += record.message;
    return out;
}

std::string text(const std::vector<LogRecord>& records, int minutes, bool detailed) {
    if (records.empty()) {
        std::string sentence = "Nothing logged in the last " + std::to_string(minutes) + " minutes.";
        if (!detailed) sentence += " Turn on Detailed logging in Settings \u203A About to record more.";
        return sentence;
    }
    std::string out;
    for (const auto& record : records) {
        if (!out.empty()) out += '\n';
        out += line(record);
    }
    return out;
}

std::string text(int minutes) {
    try {
        const auto& store = LogStore::shared();
        return text(store.since(position(store.now(), minutes)), minutes, Log::detailed);
    } catch (const std::exception& failure) {
        return std::string("Couldn't read the log: ") + failure.what();
    }
}

std::optional<std::filesystem::path> write(int minutes, const std::filesystem::path& cachesFolder) {
    try {
        auto path = cachesFolder / std::filesystem::path(fileName);
        if (!writeFileAtomically(path, text(minutes))) return std::nullopt;
        return path;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::filesystem::path> write(int minutes) {
    auto caches = userCachesDirectory();
    if (!caches) return std::nullopt;
    return write(minutes, *caches);
}

}  // namespace tessaline::RecentLog
