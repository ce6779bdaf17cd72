// JSON form of Config: writing every field, and the lenient reading that
// migrates keys of older versions and upgrades stored shortcut tables.

#include <climits>
#include <cmath>
#include <nlohmann/json.hpp>

#include "engine/actions/Action.h"
#include "engine/settings/Config.h"

namespace tessaline {

namespace {

using json = nlohmann::json;

const json* member(const json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<double> asDouble(const json& j) {
    if (j.is_number()) return j.get<double>();
    return std::nullopt;
}

std::optional<bool> asBool(const json& j) {
    if (j.is_boolean()) return j.get<bool>();
    return std::nullopt;
}

// Integers, and floats with an integral value, that fit an int.
std::optional<int> asInt(const json& j) {
    if (j.is_number_unsigned()) {
        auto v = j.get<std::uint64_t>();
        if (v <= static_cast<std::uint64_t>(INT_MAX)) return static_cast<int>(v);
    } else if (j.is_number_integer()) {
        auto v = j.get<std::int64_t>();
        if (v >= INT_MIN && v <= INT_MAX) return static_cast<int>(v);
    } else if (j.is_number_float()) {
        double v = j.get<double>();
        if (v >= INT_MIN && v <= INT_MAX && std::trunc(v) == v) return static_cast<int>(v);
    }
    return std::nullopt;
}

std::optional<std::string> asString(const json& j) {
    if (j.is_string()) return j.get<std::string>();
    return std::nullopt;
}

template <typename Element, typename Decode>
std::optional<std::vector<Element>> asList(const json& j, Decode decode) {
    if (!j.is_array()) return std::nullopt;
    std::vector<Element> out;
    out.reserve(j.size());
    for (const json& item : j) {
        auto value = decode(item);
        if (!value) return std::nullopt;
        out.push_back(std::move(*value));
    }
    return out;
}

template <typename FromString>
auto asEnum(FromString fromString) {
    return [fromString](const json& j) -> decltype(fromString(std::string_view{})) {
        if (!j.is_string()) return std::nullopt;
        return fromString(j.get_ref<const std::string&>());
    };
}

// Takes the key's value when it is present and decodes; otherwise the field
// keeps what it has.
template <typename T, typename Decode>
void take(const json& object, const char* key, T& field, Decode decode) {
    if (const json* value = member(object, key)) {
        if (auto decoded = decode(*value)) field = std::move(*decoded);
    }
}

// JSON has no NaN or infinity; such a value would come back as null and
// silently change the setting, so refuse to write it at all.
bool allNumbersFinite(const json& j) {
    if (j.is_number_float()) return std::isfinite(j.get<double>());
    if (j.is_structured()) {
        for (const json& item : j) {
            if (!allNumbersFinite(item)) return false;
        }
    }
    return true;
}

// Replaces every stored list that still equals the old default with the
// current default; lists the user changed are left alone.
void upgradeBindings(Bindings& bindings, const Bindings& oldDefaults) {
    const Bindings& current = defaultBindings();
    for (const auto& [name, oldList] : oldDefaults) {
        auto stored = bindings.find(name);
        if (stored == bindings.end() || stored->second != oldList) continue;
        auto now = current.find(name);
        if (now == current.end()) {
            bindings.erase(stored);
        } else {
            stored->second = now->second;
        }
    }
}

}  // namespace

json toJSON(const RGBA& color) {
    return {{"r", color.r}, {"g", color.g}, {"b", color.b}, {"a", color.a}};
}

std::optional<RGBA> rgbaFromJSON(const json& j) {
    if (!j.is_object()) return std::nullopt;
    const json* r = member(j, "r");
    const json* g = member(j, "g");
    const json* b = member(j, "b");
    const json* a = member(j, "a");
    if (!r || !g || !b || !a) return std::nullopt;
    auto rv = asDouble(*r), gv = asDouble(*g), bv = asDouble(*b), av = asDouble(*a);
    if (!rv || !gv || !bv || !av) return std::nullopt;
    return RGBA{*rv, *gv, *bv, *av};
}

json toJSON(const AppRule& rule) {
    json j = {{"bundleID", rule.bundleID},
              {"float", rule.floating},
              {"placement", toString(rule.placement)}};
    if (rule.width) j["width"] = *rule.width;
    return j;
}

std::optional<AppRule> appRuleFromJSON(const json& j) {
    if (!j.is_object()) return std::nullopt;
    const json* id = member(j, "bundleID");
    if (!id || !id->is_string()) return std::nullopt;
    AppRule rule;
    rule.bundleID = id->get<std::string>();
    take(j, "float", rule.floating, asBool);
    if (const json* width = member(j, "width")) rule.width = asDouble(*width);
    take(j, "placement", rule.placement, asEnum(placementFromString));
    return rule;
}

std::optional<json> toJSON(const Config& c) {
    json rules = json::array();
    for (const AppRule& r : c.appRules) rules.push_back(toJSON(r));

    json j = {
        {"gap", c.gap},
        {"defaultWidth", c.defaultWidth},
        {"presetWidths", c.presetWidths},
        {"centreMode", toString(c.centreMode)},
        {"animate", c.animate},
        {"animationDuration", c.animationDuration},
        {"focusBorder", c.focusBorder},
        {"borderWidth", c.borderWidth},
        {"borderColor", toJSON(c.borderColor)},
        {"dimInactive", c.dimInactive},
        {"dimAmount", c.dimAmount},
        {"stripIndicator", toString(c.stripIndicator)},
        {"stripIndicatorAlways", c.stripIndicatorAlways},
        {"overviewPreviews", c.overviewPreviews},
        {"timelineOnModifiers", c.timelineOnModifiers},
        {"timelineLabels", toString(c.timelineLabels)},
        {"timelineLook", toString(c.timelineLook)},
        {"swipeEnabled", c.swipeEnabled},
        {"swipeFingers", c.swipeFingers},
        {"swipeSensitivity", c.swipeSensitivity},
        {"chordScroll", c.chordScroll},
        {"focusFollowsMouse", c.focusFollowsMouse},
        {"mouseFollowsFocus", c.mouseFollowsFocus},
        {"appRules", std::move(rules)},
        {"disabledDisplays", c.disabledDisplays},
        {"bindings", toJSON(c.bindings)},
        {"hasCompletedOnboarding", c.hasCompletedOnboarding},
        {"detailedLogging", c.detailedLogging},
        {"bindingsVersion", c.bindingsVersion},
    };
    if (c.borderRadius) j["borderRadius"] = *c.borderRadius;
    if (!allNumbersFinite(j)) return std::nullopt;
    return j;
}

std::optional<std::string> encodeConfig(const Config& config) {
    auto j = toJSON(config);
    if (!j) return std::nullopt;
    try {
        return j->dump();
    } catch (const json::exception&) {
        return std::nullopt;  // a string that is not valid UTF-8
    }
}

std::optional<Config> configFromJSON(const json& j) {
    if (!j.is_object()) return std::nullopt;
    Config c;

    take(j, "gap", c.gap, asDouble);
    take(j, "defaultWidth", c.defaultWidth, asDouble);
    take(j, "presetWidths", c.presetWidths, [](const json& v) { return asList<double>(v, asDouble); });
    take(j, "centreMode", c.centreMode, asEnum(centreModeFromString));
    take(j, "animate", c.animate, asBool);
    take(j, "animationDuration", c.animationDuration, asDouble);
    take(j, "focusBorder", c.focusBorder, asBool);
    take(j, "borderWidth", c.borderWidth, asDouble);
    take(j, "borderColor", c.borderColor, rgbaFromJSON);
    if (const json* radius = member(j, "borderRadius")) c.borderRadius = asDouble(*radius);
    take(j, "dimInactive", c.dimInactive, asBool);
    take(j, "dimAmount", c.dimAmount, asDouble);

    // Older versions had an on/off minimap switch; off meant no indicator at all.
    if (const json* minimap = member(j, "minimap")) {
        if (asBool(*minimap) == false) c.stripIndicator = StripIndicator::off;
    }
    take(j, "stripIndicator", c.stripIndicator, asEnum(stripIndicatorFromString));

    take(j, "stripIndicatorAlways", c.stripIndicatorAlways, asBool);
    take(j, "overviewPreviews", c.overviewPreviews, asBool);
    take(j, "timelineOnModifiers", c.timelineOnModifiers, asBool);
    take(j, "timelineLabels", c.timelineLabels, asEnum(timelineLabelsFromString));
    take(j, "timelineLook", c.timelineLook, asEnum(timelineLookFromString));
    take(j, "swipeEnabled", c.swipeEnabled, asBool);
    take(j, "swipeFingers", c.swipeFingers, asInt);
    take(j, "swipeSensitivity", c.swipeSensitivity, asDouble);
    take(j, "chordScroll", c.chordScroll, asBool);
    take(j, "focusFollowsMouse", c.focusFollowsMouse, asBool);
    take(j, "mouseFollowsFocus", c.mouseFollowsFocus, asBool);

    // Older versions kept a plain list of floating applications.
    if (const json* legacy = member(j, "floatingApps")) {
        if (auto ids = asList<std::string>(*legacy, asString)) {
            c.appRules.clear();
            for (std::string& id : *ids) {
                AppRule rule;
                rule.bundleID = std::move(id);
                rule.floating = true;
                c.appRules.push_back(std::move(rule));
            }
        }
    }
    take(j, "appRules", c.appRules, [](const json& v) { return asList<AppRule>(v, appRuleFromJSON); });

    take(j, "disabledDisplays", c.disabledDisplays,
         [](const json& v) { return asList<std::string>(v, asString); });
    take(j, "bindings", c.bindings, bindingsFromJSON);
    take(j, "hasCompletedOnboarding", c.hasCompletedOnboarding, asBool);
    take(j, "detailedLogging", c.detailedLogging, asBool);

    // Data without a version predates versioning, so it holds the first table.
    c.bindingsVersion = 1;
    take(j, "bindingsVersion", c.bindingsVersion, asInt);
    if (c.bindingsVersion <= 1) {
        upgradeBindings(c.bindings, punctuationDefaults());
        c.bindingsVersion = 2;
    }
    if (c.bindingsVersion == 2) {
        upgradeBindings(c.bindings, version2SizeDefaults());
        c.bindingsVersion = 3;
    }

    // Actions added since the table was stored get their default shortcuts;
    // entries for names that are no action stay, untouched and unused.
    for (const auto& [name, combos] : defaultBindings()) c.bindings.try_emplace(name, combos);
    return c;
}

std::optional<Config> decodeConfig(std::string_view text) {
    json j = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded()) return std::nullopt;
    return configFromJSON(j);
}

}  // namespace tessaline
