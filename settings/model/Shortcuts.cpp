#include "settings/model/Shortcuts.h"

#include <algorithm>

#include "settings/model/LinuxKeys.h"

namespace tessaline::prefs {

namespace {

constexpr std::uint32_t escapeKey = 53;

const std::vector<KeyCombo>* combosOf(const Config& config, Action action) {
    auto it = config.bindings.find(toString(action));
    return it == config.bindings.end() ? nullptr : &it->second;
}

}  // namespace

std::vector<ShortcutGroup> shortcutGroups(const Config& config) {
    std::vector<ShortcutGroup> groups;
    for (ActionSection section : allActionSections) {
        ShortcutGroup group{section, toString(section), {}};
        for (Action action : allActions()) {
            if (tessaline::section(action) != section) continue;
            const auto* combos = combosOf(config, action);
            group.rows.push_back({action, title(action), combos ? *combos : std::vector<KeyCombo>{}});
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

std::optional<KeyCombo> firstShortcut(const Config& config, Action action) {
    const auto* combos = combosOf(config, action);
    if (!combos || combos->empty()) return std::nullopt;
    return combos->front();
}

std::vector<Action> otherActionsUsing(const Config& config, Action action, const KeyCombo& combo) {
    std::vector<Action> others;
    for (Action other : allActions()) {
        if (other == action) continue;
        const auto* combos = combosOf(config, other);
        if (combos && std::find(combos->begin(), combos->end(), combo) != combos->end()) {
            others.push_back(other);
        }
    }
    return others;
}

bool removeShortcut(Config& config, Action action, std::size_t index) {
    auto it = config.bindings.find(toString(action));
    if (it == config.bindings.end() || index >= it->second.size()) return false;
    // An emptied list stays: an absent entry would get the defaults back on
    // the next start.
    it->second.erase(it->second.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool appendShortcut(Config& config, Action action, const KeyCombo& combo) {
    std::vector<KeyCombo>& combos = config.bindings[toString(action)];
    if (std::find(combos.begin(), combos.end(), combo) != combos.end()) return false;
    combos.push_back(combo);
    return true;
}

bool restoreDefaultShortcuts(Config& config) {
    if (config.bindings == defaultBindings() && config.bindingsVersion == Config::currentBindingsVersion) {
        return false;
    }
    config.bindings = defaultBindings();
    config.bindingsVersion = Config::currentBindingsVersion;
    return true;
}

ShortcutRecorder::Result ShortcutRecorder::press(const Press& press) {
    if (!recording_ || press.modifierKey) return {};
    if (press.keyCode == escapeKey) {
        recording_.reset();
        return {Outcome::cancelled, std::nullopt, {}};
    }
    if (press.modifiers == 0 && !LinuxKeys::mayStandAlone(press.keyCode)) return {};
    Result result{Outcome::recorded, recording_, KeyCombo{press.keyCode, press.modifiers}};
    recording_.reset();
    return result;
}

}  // namespace tessaline::prefs
