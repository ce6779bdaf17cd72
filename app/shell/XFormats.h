#pragma once
// Two small formats other X clients publish on the root window, read from
// their bytes so that a malformed one costs only its own answer: XKB's rules
// names (which keyboard layouts are loaded) and XSETTINGS (the desktop's
// settings daemon: animations, theme).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::shell {

// The layout of XKB group `group` from the _XKB_RULES_NAMES property (rules,
// model, layouts, variants and options, each ended by a NUL; layouts and
// variants separated by commas): "us", "de(nodeadkeys)". Absent when the
// property names no layout.
std::optional<std::string> xkbLayoutName(std::string_view rulesNames, std::uint32_t group);

// The accessibility-like settings an XSETTINGS block turns on, of "Reduce
// motion" (Net/EnableAnimations off) and "Increase contrast" (a high-contrast
// Net/ThemeName), in that order. What can't be read is left out.
std::vector<std::string> xsettingsAccessibility(std::string_view settings);

}  // namespace tessaline::shell
