#pragma once
// What must hold of the engine whatever the user and the applications did.
//
// Three families: structural invariants hold after every step; settled ones
// after enough quiet virtual time has passed for every answer, animation and
// retry to land (and only for windows whose application behaved meanwhile);
// the release invariant right after tiling stops.

#include <optional>
#include <string>

#include "StressWorld.h"

namespace tessaline::stress {

struct Violation {
    std::string invariant;  // a stable name, e.g. "strip-structure"
    std::string detail;     // what exactly was wrong
};

// Strips well formed, windows and strips agree, windows belong to live
// applications, the session file decodes, a stop put windows on screen.
std::optional<Violation> checkEveryStep(World& world);

// Lets `quiet` seconds pass without input, then checks frames against the
// animator's targets and the targets against a fresh layout of the strips,
// the tracker's states against the desktop, and the focused window. A
// failure is confirmed after a second, longer quiet period before it counts.
std::optional<Violation> settleAndCheck(World& world, double quiet = 3.0);

}  // namespace tessaline::stress
