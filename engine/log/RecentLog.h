#pragma once
// The text form of the last minutes of the log, for the `log` command, the
// diagnostics report and the log file in the caches folder.

#include "engine/log/Log.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::RecentLog {

// Under the user's caches folder.
inline constexpr std::string_view fileName = "Tessaline/tessaline.log";

// One line: local time "HH:mm:ss.SSS", " [", category, "] ", message.
std::string line(const LogRecord& record);

// The lines of the records joined with "\n"; when there are none, the
// "Nothing logged" sentence, with the hint to turn on detailed logging while
// it is off.
std::string text(const std::vector<LogRecord>& records, int minutes, bool detailed);

// The records of the last minutes of the shared store, as above.
std::string text(int minutes);

// Writes text(minutes) to fileName under cachesFolder, replacing the file
// atomically; answers the file's path, absent when it couldn't be written.
std::optional<std::filesystem::path> write(int minutes, const std::filesystem::path& cachesFolder);

// The same, under the user's caches folder.
std::optional<std::filesystem::path> write(int minutes);

}  // namespace tessaline::RecentLog
