#include "settings/model/Status.h"

#include <nlohmann/json.hpp>

namespace tessaline::prefs {

using nlohmann::json;

namespace {

bool boolAt(const json& j, const char* key, bool fallback) {
    auto it = j.find(key);
    return it != j.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

std::optional<bool> optionalBoolAt(const json& j, const char* key) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

std::string stringAt(const json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Each element that is an object and yields a value is kept; others are skipped.
template <typename T, typename Read>
std::vector<T> listAt(const json& j, const char* key, Read read) {
    std::vector<T> out;
    auto it = j.find(key);
    if (it == j.end() || !it->is_array()) return out;
    for (const json& item : *it) {
        if (!item.is_object()) continue;
        if (std::optional<T> value = read(item)) out.push_back(std::move(*value));
    }
    return out;
}

}  // namespace

std::optional<ManagerStatus> statusFromJSON(const json& j) {
    if (!j.is_object()) return std::nullopt;
    ManagerStatus status;
    status.reach = ManagerStatus::Reach::running;
    status.tiling = boolAt(j, "running", false);
    status.managesDisplay = boolAt(j, "trusted", false);
    status.swipeAvailable = optionalBoolAt(j, "swipe");
    status.compositeAvailable = optionalBoolAt(j, "composite");
    status.displays = listAt<DisplayInfo>(j, "displays", [](const json& d) -> std::optional<DisplayInfo> {
        std::string uuid = stringAt(d, "uuid");
        if (uuid.empty()) return std::nullopt;
        std::string name = stringAt(d, "name");
        return DisplayInfo{uuid, name.empty() ? uuid : name};
    });
    status.conflicts = listAt<KeyCombo>(j, "conflicts", [](const json& c) { return keyComboFromJSON(c); });
    status.checks = listAt<SetupCheck>(j, "checks", [](const json& c) -> std::optional<SetupCheck> {
        SetupCheck check{stringAt(c, "id"), boolAt(c, "ok", true), stringAt(c, "title"),
                         stringAt(c, "detail"), std::nullopt, stringAt(c, "fixOpens")};
        if (check.title.empty()) return std::nullopt;
        if (std::string fix = stringAt(c, "fixTitle"); !fix.empty()) check.fixTitle = fix;
        return check;
    });
    status.runningApps = listAt<RunningApp>(j, "apps", [](const json& a) -> std::optional<RunningApp> {
        RunningApp app{stringAt(a, "bundleID"), stringAt(a, "name"), stringAt(a, "icon")};
        if (app.bundleID.empty()) return std::nullopt;
        if (app.name.empty()) app.name = app.bundleID;
        return app;
    });
    return status;
}

void FixedStatusProvider::setTiling(bool on) {
    if (status_.reach != ManagerStatus::Reach::running || status_.tiling == on) return;
    status_.tiling = on;
    changed();
}

void FixedStatusProvider::diagnostics(std::function<void(std::optional<std::string>)> done) {
    done(report);
}

void FixedStatusProvider::answer(ManagerStatus status) {
    if (status == status_) return;
    status_ = std::move(status);
    changed();
}

}  // namespace tessaline::prefs
