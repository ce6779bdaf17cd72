#pragma once
// The settings that shape a strip's geometry.

#include <optional>
#include <string>
#include <string_view>

namespace tessaline {

// How the strip scrolls to reveal the focused column.
enum class CentreMode { never, onOverflow, always };

// Stored form: the case name ("never", "onOverflow", "always").
std::string toString(CentreMode mode);
std::optional<CentreMode> centreModeFromString(std::string_view text);

struct LayoutConfig {
    double gap = 10;                    // between columns, at the edges, between stacked windows
    CentreMode centreMode = CentreMode::never;
    double tabBarHeight = 0;            // reserved above the windows of a tabbed column
    friend bool operator==(const LayoutConfig&, const LayoutConfig&) = default;
};

}  // namespace tessaline
