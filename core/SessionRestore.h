#pragma once
// Puts a saved layout back: live windows (with new window numbers and perhaps
// new titles) are matched to saved places, and a live strip is rebuilt in the
// image of the saved strip most of its windows came from.

#include <optional>
#include <unordered_map>
#include <vector>

#include "core/SavedSession.h"
#include "core/Strip.h"

namespace tessaline::SessionRestore {

using Matches = std::unordered_map<WindowID, SavedRef>;

// Three passes over the live windows in order, each taking the first unused
// saved place (strip, then column, then row) that fits: same number and
// application; same application and non-empty title; same application.
Matches match(const std::vector<LiveWindow>& live, const std::vector<SavedStrip>& session);

// The saved strip index most of the matched windows came from; the smallest
// index wins a tie. Absent when none of the windows is matched.
std::optional<int> dominantStrip(const std::vector<WindowID>& windows, const Matches& matches);

// The strip laid out like its dominant saved strip, with windows that do not
// belong there appended as columns of their own. Unchanged when there is no
// dominant saved strip.
Strip rebuild(const Strip& strip, const Matches& matches, const std::vector<SavedStrip>& session);

}  // namespace tessaline::SessionRestore
