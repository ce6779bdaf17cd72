#include "engine/settings/Config.h"

#include <array>
#include <utility>

namespace tessaline {

namespace {

template <typename E, std::size_t N>
std::string nameIn(const std::array<std::pair<E, const char*>, N>& table, E value) {
    for (const auto& [e, name] : table) {
        if (e == value) return name;
    }
    return {};
}

template <typename E, std::size_t N>
std::optional<E> valueIn(const std::array<std::pair<E, const char*>, N>& table,
                         std::string_view text) {
    for (const auto& [e, name] : table) {
        if (text == name) return e;
    }
    return std::nullopt;
}

constexpr std::array<std::pair<StripIndicator, const char*>, 3> stripIndicatorNames = {{
    {StripIndicator::icons, "icons"},
    {StripIndicator::minimap, "minimap"},
    {StripIndicator::off, "off"},
}};

constexpr std::array<std::pair<TimelineLook, const char*>, 2> timelineLookNames = {{
    {TimelineLook::classic, "classic"},
    {TimelineLook::glass, "glass"},
}};

constexpr std::array<std::pair<TimelineLabels, const char*>, 3> timelineLabelNames = {{
    {TimelineLabels::off, "off"},
    {TimelineLabels::appName, "appName"},
    {TimelineLabels::windowTitle, "windowTitle"},
}};

constexpr std::array<std::pair<AppRule::Placement, const char*>, 3> placementNames = {{
    {AppRule::Placement::besideFocus, "besideFocus"},
    {AppRule::Placement::start, "start"},
    {AppRule::Placement::end, "end"},
}};

}  // namespace

std::string toString(StripIndicator value) { return nameIn(stripIndicatorNames, value); }
std::string toString(TimelineLook value) { return nameIn(timelineLookNames, value); }
std::string toString(TimelineLabels value) { return nameIn(timelineLabelNames, value); }
std::string toString(AppRule::Placement value) { return nameIn(placementNames, value); }

std::optional<StripIndicator> stripIndicatorFromString(std::string_view text) {
    return valueIn(stripIndicatorNames, text);
}
std::optional<TimelineLook> timelineLookFromString(std::string_view text) {
    return valueIn(timelineLookNames, text);
}
std::optional<TimelineLabels> timelineLabelsFromString(std::string_view text) {
    return valueIn(timelineLabelNames, text);
}
std::optional<AppRule::Placement> placementFromString(std::string_view text) {
    return valueIn(placementNames, text);
}

LayoutConfig Config::layout() const {
    return LayoutConfig{.gap = gap, .centreMode = centreMode, .tabBarHeight = tabBarHeight};
}

std::optional<AppRule> Config::rule(std::string_view bundleID) const {
    for (const AppRule& r : appRules) {
        if (r.bundleID == bundleID) return r;
    }
    return std::nullopt;
}

std::set<std::string> Config::floatingApps() const {
    std::set<std::string> apps;
    for (const AppRule& r : appRules) {
        if (r.floating) apps.insert(r.bundleID);
    }
    return apps;
}

}  // namespace tessaline
