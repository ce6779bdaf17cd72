#include "settings/model/ConfigEdits.h"

#include <algorithm>
#include <cmath>

namespace tessaline::prefs {

bool sameWidth(double a, double b) { return std::abs(a - b) <= sameWidthTolerance; }

const std::vector<double>& offeredWidths() {
    static const std::vector<double> widths = {1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 3.0 / 4, 1.0};
    return widths;
}

std::string widthLabel(double width) {
    static const char* const labels[] = {"1/4", "1/3", "1/2", "2/3", "3/4", "Full"};
    const auto& offered = offeredWidths();
    for (std::size_t i = 0; i < offered.size(); ++i) {
        if (sameWidth(width, offered[i])) return labels[i];
    }
    return std::to_string(static_cast<long>(std::lround(width * 100))) + "%";
}

namespace {

bool contains(const std::vector<double>& widths, double width) {
    return std::any_of(widths.begin(), widths.end(), [&](double w) { return sameWidth(w, width); });
}

std::vector<double> withExtras(std::vector<double> base, const std::vector<double>& extras) {
    for (double w : extras) {
        if (std::isfinite(w) && !contains(base, w)) base.push_back(w);
    }
    std::sort(base.begin(), base.end());
    return base;
}

}  // namespace

std::vector<double> presetChoices(const Config& config) {
    return withExtras(offeredWidths(), config.presetWidths);
}

bool hasPreset(const Config& config, double width) { return contains(config.presetWidths, width); }

bool setPreset(Config& config, double width, bool on) {
    std::vector<double> widths = config.presetWidths;
    if (on) {
        if (contains(widths, width)) return false;
        widths.push_back(width);
    } else {
        std::erase_if(widths, [&](double w) { return sameWidth(w, width); });
        if (widths.empty() || widths.size() == config.presetWidths.size()) return false;
    }
    std::sort(widths.begin(), widths.end());
    config.presetWidths = std::move(widths);
    return true;
}

std::vector<double> defaultWidthChoices(const Config& config) {
    return withExtras(offeredWidths(), {config.defaultWidth});
}

namespace {

AppRule* ruleAt(Config& config, std::size_t index) {
    return index < config.appRules.size() ? &config.appRules[index] : nullptr;
}

template <typename T>
bool assign(T& field, T value) {
    if (field == value) return false;
    field = std::move(value);
    return true;
}

}  // namespace

bool addRule(Config& config, const std::string& bundleID) {
    if (bundleID.empty() || config.rule(bundleID)) return false;
    AppRule rule;
    rule.bundleID = bundleID;
    config.appRules.push_back(std::move(rule));
    return true;
}

bool removeRule(Config& config, std::size_t index) {
    if (index >= config.appRules.size()) return false;
    config.appRules.erase(config.appRules.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool setRuleFloating(Config& config, std::size_t index, bool floating) {
    AppRule* rule = ruleAt(config, index);
    return rule && assign(rule->floating, floating);
}

bool setRuleWidth(Config& config, std::size_t index, std::optional<double> width) {
    AppRule* rule = ruleAt(config, index);
    return rule && assign(rule->width, width);
}

bool setRulePlacement(Config& config, std::size_t index, AppRule::Placement placement) {
    AppRule* rule = ruleAt(config, index);
    return rule && assign(rule->placement, placement);
}

std::vector<DisplayRow> displayRows(const Config& config, const std::vector<DisplayInfo>& displays) {
    std::vector<DisplayRow> rows;
    for (const DisplayInfo& d : displays) {
        const auto& off = config.disabledDisplays;
        rows.push_back({d.uuid, d.name, std::find(off.begin(), off.end(), d.uuid) == off.end()});
    }
    return rows;
}

bool setDisplayTiled(Config& config, const std::string& uuid, bool tiled) {
    auto& off = config.disabledDisplays;
    if (tiled) return std::erase(off, uuid) > 0;
    if (uuid.empty() || std::find(off.begin(), off.end(), uuid) != off.end()) return false;
    off.push_back(uuid);
    return true;
}

}  // namespace tessaline::prefs
