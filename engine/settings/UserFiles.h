#pragma once
// Where the program keeps its files in the user's home.

#include <filesystem>
#include <optional>

namespace tessaline {

// $XDG_CACHE_HOME when it is set to an absolute path, else $HOME/.cache;
// absent when neither can be found.
std::optional<std::filesystem::path> userCachesDirectory();

}  // namespace tessaline
