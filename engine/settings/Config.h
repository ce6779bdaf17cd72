#pragma once
// The one record of user settings. A plain value: the window manager holds a
// copy, the settings store keeps it as JSON. Every field has a default, and
// reading stored settings never fails once the top level is a JSON object.

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/LayoutConfig.h"
#include "engine/actions/Action.h"
#include "engine/actions/KeyCombo.h"

namespace tessaline {

struct RGBA {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 1;
    friend bool operator==(const RGBA&, const RGBA&) = default;
};

enum class StripIndicator { icons, minimap, off };
enum class TimelineLook { classic, glass };
enum class TimelineLabels { off, appName, windowTitle };

struct AppRule {
    // Where a new window of the application joins the strip.
    enum class Placement { besideFocus, start, end };

    std::string bundleID;                // identifies the rule
    bool floating = false;               // stored as "float"
    std::optional<double> width;         // absent: the configured default width
    Placement placement = Placement::besideFocus;

    friend bool operator==(const AppRule&, const AppRule&) = default;
};

// Stored text forms: the case names.
std::string toString(StripIndicator value);
std::string toString(TimelineLook value);
std::string toString(TimelineLabels value);
std::string toString(AppRule::Placement value);
std::optional<StripIndicator> stripIndicatorFromString(std::string_view text);
std::optional<TimelineLook> timelineLookFromString(std::string_view text);
std::optional<TimelineLabels> timelineLabelsFromString(std::string_view text);
std::optional<AppRule::Placement> placementFromString(std::string_view text);

struct Config {
    // The version of the default shortcut table that a fresh configuration carries.
    static constexpr int currentBindingsVersion = 3;
    // Height reserved above the windows of a tabbed column, in points.
    static constexpr double tabBarHeight = 26.0;

    double gap = 10.0;
    double defaultWidth = 0.5;
    std::vector<double> presetWidths = {1.0 / 3.0, 1.0 / 2.0, 2.0 / 3.0};
    CentreMode centreMode = CentreMode::onOverflow;
    bool animate = true;
    double animationDuration = 0.22;
    bool focusBorder = false;
    double borderWidth = 3.0;
    RGBA borderColor = {0.25, 0.56, 1.0, 1.0};
    std::optional<double> borderRadius;  // absent: the system's window corner radius
    bool dimInactive = false;
    double dimAmount = 0.2;
    StripIndicator stripIndicator = StripIndicator::icons;
    bool stripIndicatorAlways = false;
    bool overviewPreviews = false;
    bool timelineOnModifiers = true;
    TimelineLabels timelineLabels = TimelineLabels::off;
    TimelineLook timelineLook = TimelineLook::classic;
    bool swipeEnabled = true;
    int swipeFingers = 3;
    double swipeSensitivity = 1.0;
    bool chordScroll = true;
    bool focusFollowsMouse = false;
    bool mouseFollowsFocus = false;
    std::vector<AppRule> appRules;
    std::vector<std::string> disabledDisplays;  // display UUIDs on which nothing is tiled
    Bindings bindings = defaultBindings();
    bool hasCompletedOnboarding = false;
    bool detailedLogging = false;
    int bindingsVersion = currentBindingsVersion;

    // gap and centreMode, with the fixed tab bar height.
    LayoutConfig layout() const;
    // The first rule for exactly this bundle identifier (case-sensitive).
    std::optional<AppRule> rule(std::string_view bundleID) const;
    // Bundle identifiers of every rule that floats the application.
    std::set<std::string> floatingApps() const;

    friend bool operator==(const Config&, const Config&) = default;
};

// Every field under its own name; borderRadius and a rule's width are left
// out when absent. Absent when a number cannot be written as JSON (NaN, inf).
std::optional<nlohmann::json> toJSON(const Config& config);
std::optional<std::string> encodeConfig(const Config& config);

// Lenient reading: a missing or undecodable key keeps its default, the keys of
// older versions are carried over, and stored shortcuts are upgraded to the
// current default table. Absent only when `j` is not a JSON object.
std::optional<Config> configFromJSON(const nlohmann::json& j);
std::optional<Config> decodeConfig(std::string_view text);

nlohmann::json toJSON(const RGBA& color);
std::optional<RGBA> rgbaFromJSON(const nlohmann::json& j);
nlohmann::json toJSON(const AppRule& rule);
// Only bundleID is required; other keys that are missing or mistyped keep their defaults.
std::optional<AppRule> appRuleFromJSON(const nlohmann::json& j);

}  // namespace tessaline
