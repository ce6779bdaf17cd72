#pragma once
// The edits the panes make to a Config, one function per control. Each
// answers whether it changed anything, so the window writes only real changes.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/settings/Config.h"
#include "settings/model/Status.h"

namespace tessaline::prefs {

// Widths, as shares of the screen width, within this distance are the same width.
inline constexpr double sameWidthTolerance = 0.001;
bool sameWidth(double a, double b);

// The widths the window offers for cycling, for new windows and for rules.
const std::vector<double>& offeredWidths();
// "1/3", "1/2", ... for the offered widths, else a percentage ("40%").
std::string widthLabel(double width);

// One switch per offered width, plus one per stored preset that is none of
// them (written by hand), so that it can be switched off too; ascending.
std::vector<double> presetChoices(const Config& config);
bool hasPreset(const Config& config, double width);
// Switches a preset width on or off. The list stays sorted ascending and is
// never left empty: switching off the last width changes nothing.
bool setPreset(Config& config, double width, bool on);

// The choices of "New windows open at": the offered widths, with the current
// value added when it is none of them.
std::vector<double> defaultWidthChoices(const Config& config);

// Rules are edited by their place in the list; a place past the end changes nothing.
// Adding a rule for an application that already has one changes nothing.
bool addRule(Config& config, const std::string& bundleID);
bool removeRule(Config& config, std::size_t index);
bool setRuleFloating(Config& config, std::size_t index, bool floating);
bool setRuleWidth(Config& config, std::size_t index, std::optional<double> width);
bool setRulePlacement(Config& config, std::size_t index, AppRule::Placement placement);

struct DisplayRow {
    std::string uuid;
    std::string name;
    bool tiled = true;
    friend bool operator==(const DisplayRow&, const DisplayRow&) = default;
};
// One row per connected display, in the manager's order.
std::vector<DisplayRow> displayRows(const Config& config, const std::vector<DisplayInfo>& displays);
// Switching a display off lists its UUID in disabledDisplays; on removes it.
// Displays not connected now keep their entries.
bool setDisplayTiled(Config& config, const std::string& uuid, bool tiled);

}  // namespace tessaline::prefs
