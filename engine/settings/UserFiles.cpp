#include "engine/settings/UserFiles.h"

#include <cstdlib>

namespace tessaline {

namespace {

std::optional<std::filesystem::path> absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    std::filesystem::path path(value);
    // A relative value would land the files wherever the program was started.
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

}  // namespace

std::optional<std::filesystem::path> userCachesDirectory() {
    if (auto caches = absoluteFromEnvironment("XDG_CACHE_HOME")) return caches;
    if (auto home = absoluteFromEnvironment("HOME")) return *home / ".cache";
    return std::nullopt;
}

}  // namespace tessaline
