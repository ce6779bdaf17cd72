#pragma once
// Whole-file writes that never leave a half-written file behind: a crash or a
// full disk leaves either the old contents or the new ones.

#include <filesystem>
#include <functional>
#include <string_view>

namespace tessaline {

// Writes `contents` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`, creating missing parent folders. A symbolic link at
// `path` is written through, so a linked dotfile stays linked. False on failure,
// with the old file untouched and no temporary file left.
//
// `beforeRename`, when given, is called with the temporary file's path once it
// is complete on disk and before it replaces `path`: tests use it to look at
// the folder in the middle of a write, and stop the write there (by returning
// false) the way a crash at that moment would.
using BeforeRename = std::function<bool(const std::filesystem::path& temporary)>;
bool writeFileAtomically(const std::filesystem::path& path, std::string_view contents,
                         const BeforeRename& beforeRename = {});

}  // namespace tessaline
