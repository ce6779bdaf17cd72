#include "app/shell/StatusWire.h"

#include <nlohmann/json.hpp>

namespace tessaline::shell {

namespace {

using nlohmann::json;

// Parsed without exceptions: a message that isn't what we expect is dropped.
std::optional<json> parsed(std::string_view text) {
    json value = json::parse(text, nullptr, false);
    if (value.is_discarded() || !value.is_object()) return std::nullopt;
    return value;
}

std::string text(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

template <class T>
bool read(const json& object, const char* key, T& into) {
    const auto found = object.find(key);
    if (found == object.end()) return false;
    if constexpr (std::is_same_v<T, bool>) {
        if (!found->is_boolean()) return false;
    } else if constexpr (std::is_same_v<T, int>) {
        if (!found->is_number_integer()) return false;
    } else {
        if (!found->is_string()) return false;
    }
    into = found->get<T>();
    return true;
}

}  // namespace

std::string encodeStatusModel(const StatusModel& model) {
    json menu = json::array();
    for (const MenuEntry& entry : model.menu) {
        menu.push_back({{"separator", entry.kind == MenuEntry::Kind::separator},
                        {"id", entry.id},
                        {"title", entry.title},
                        {"enabled", entry.enabled},
                        {"key", entry.keyEquivalent}});
    }
    return text({{"icon", static_cast<int>(model.icon)}, {"menu", std::move(menu)}, {"notice", model.notice}});
}

std::optional<StatusModel> decodeStatusModel(std::string_view message) {
    const auto value = parsed(message);
    if (!value) return std::nullopt;
    StatusModel model;
    int icon = -1;
    const auto menu = value->find("menu");
    if (!read(*value, "icon", icon) || icon < 0 || icon > static_cast<int>(StatusIcon::needsDisplay) ||
        !read(*value, "notice", model.notice) || menu == value->end() || !menu->is_array()) {
        return std::nullopt;
    }
    model.icon = static_cast<StatusIcon>(icon);
    for (const json& item : *menu) {
        if (!item.is_object()) return std::nullopt;
        MenuEntry entry;
        bool separator = false;
        if (!read(item, "separator", separator) || !read(item, "id", entry.id) || !read(item, "title", entry.title) ||
            !read(item, "enabled", entry.enabled) || !read(item, "key", entry.keyEquivalent)) {
            return std::nullopt;
        }
        entry.kind = separator ? MenuEntry::Kind::separator : MenuEntry::Kind::item;
        model.menu.push_back(std::move(entry));
    }
    return model;
}

std::string encodeStatusReport(const StatusReport& report) {
    if (const auto* choice = std::get_if<StatusChoice>(&report)) return text({{"choose", choice->entryId}});
    const auto& line = std::get<StatusLogLine>(report);
    return text({{"log", line.message}, {"category", line.category}, {"level", std::string(toString(line.level))}});
}

std::optional<StatusReport> decodeStatusReport(std::string_view message) {
    const auto value = parsed(message);
    if (!value) return std::nullopt;
    StatusChoice choice;
    if (read(*value, "choose", choice.entryId)) return choice;
    StatusLogLine line;
    std::string level;
    if (!read(*value, "log", line.message) || !read(*value, "category", line.category) ||
        !read(*value, "level", level)) {
        return std::nullopt;
    }
    const auto known = logLevelFromString(level);
    if (!known) return std::nullopt;
    line.level = *known;
    return line;
}

}  // namespace tessaline::shell
