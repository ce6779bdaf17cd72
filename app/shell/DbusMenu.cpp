#include "app/shell/DbusMenu.h"

#include "engine/log/Log.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <variant>

namespace tessaline::shell {

namespace {

constexpr const char* menuInterface = "com.canonical.dbusmenu";
// Entries without an id (the status line, separators) are numbered by position
// from here; entries with an id keep one number for the menu's life, so a click
// from a menu the panel drew before a change can't land on a different entry.
constexpr std::int32_t unnamedIds = 10'000;

std::string errorText(int negativeErrno) { return std::strerror(-negativeErrno); }

using Shortcut = std::vector<std::vector<std::string>>;
using Value = std::variant<std::string, bool, Shortcut>;
struct Property {
    std::string name;
    Value value;
};
using Properties = std::vector<Property>;

// dbusmenu reads one underscore as a mnemonic mark; two show one.
std::string menuLabel(const std::string& title) {
    std::string label;
    for (char c : title) {
        label += c;
        if (c == '_') label += '_';
    }
    return label;
}

std::string keyName(const std::string& key) {
    if (key == ",") return "comma";
    if (key == ".") return "period";
    return key;
}

Properties propertiesOf(const MenuEntry* entry) {
    if (!entry) return {{"children-display", std::string("submenu")}};
    if (entry->kind == MenuEntry::Kind::separator) return {{"type", std::string("separator")}, {"visible", true}};
    Properties properties{{"label", menuLabel(entry->title)}, {"enabled", entry->enabled}, {"visible", true}};
    // Menus here take Control where the Mac takes Command.
    if (!entry->keyEquivalent.empty()) {
        properties.push_back({"shortcut", Shortcut{{"Control", keyName(entry->keyEquivalent)}}});
    }
    return properties;
}

int appendValue(sd_bus_message* m, const Value& value) {
    if (auto text = std::get_if<std::string>(&value)) return sd_bus_message_append(m, "v", "s", text->c_str());
    if (auto flag = std::get_if<bool>(&value)) return sd_bus_message_append(m, "v", "b", int(*flag));
    int r = sd_bus_message_open_container(m, 'v', "aas");
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "as");
    for (const auto& combo : std::get<Shortcut>(value)) {
        if (r >= 0) r = sd_bus_message_open_container(m, 'a', "s");
        for (const auto& key : combo) {
            if (r >= 0) r = sd_bus_message_append(m, "s", key.c_str());
        }
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r < 0 ? r : sd_bus_message_close_container(m);
}

// The properties among `names` (all of them when it is empty), as a{sv}.
int appendProperties(sd_bus_message* m, const Properties& properties, const std::vector<std::string>& names) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (const auto& property : properties) {
        if (r < 0 || !(names.empty() || std::ranges::find(names, property.name) != names.end())) continue;
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", property.name.c_str());
        if (r >= 0) r = appendValue(m, property.value);
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

std::optional<std::vector<std::string>> readNames(sd_bus_message* m) {
    char** strv = nullptr;
    if (sd_bus_message_read_strv(m, &strv) < 0) return std::nullopt;
    std::vector<std::string> names;
    for (char** name = strv; name && *name; ++name) {
        names.emplace_back(*name);
        free(*name);
    }
    free(strv);
    return names;
}

std::optional<std::vector<std::int32_t>> readIds(sd_bus_message* m) {
    const void* data = nullptr;
    std::size_t bytes = 0;
    if (sd_bus_message_read_array(m, 'i', &data, &bytes) < 0) return std::nullopt;
    std::vector<std::int32_t> ids(bytes / sizeof(std::int32_t));
    if (!ids.empty()) std::memcpy(ids.data(), data, ids.size() * sizeof(std::int32_t));
    return ids;
}

int appendIds(sd_bus_message* m, const std::vector<std::int32_t>& ids) {
    return sd_bus_message_append_array(m, 'i', ids.data(), ids.size() * sizeof(std::int32_t));
}

// Reads one (isvu) event; the variant is skipped, as no event acted on carries data.
int readEvent(sd_bus_message* m, std::int32_t& id, std::string& kind) {
    const char* type = nullptr;
    std::uint32_t time = 0;
    int r = sd_bus_message_read(m, "is", &id, &type);
    if (r >= 0) r = sd_bus_message_skip(m, "v");
    if (r >= 0) r = sd_bus_message_read(m, "u", &time);
    if (r >= 0) kind = type;
    return r;
}

int unknownItem(sd_bus_error* error, std::int32_t id) {
    return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "There is no menu item %d", static_cast<int>(id));
}

template <class Fill>
int reply(sd_bus_message* call, Fill fill) {
    sd_bus_message* answer = nullptr;
    int r = sd_bus_message_new_method_return(call, &answer);
    if (r >= 0) r = fill(answer);
    if (r >= 0) r = sd_bus_send(nullptr, answer, nullptr);
    sd_bus_message_unref(answer);
    return r;
}

}  // namespace

struct DbusMenu::Handlers {
    static DbusMenu& menu(void* userdata) { return *static_cast<DbusMenu*>(userdata); }

    static int appendNode(const DbusMenu& menu, sd_bus_message* m, std::int32_t id, int depth,
                          const std::vector<std::string>& names) {
        int r = sd_bus_message_open_container(m, 'r', "ia{sv}av");
        if (r >= 0) r = sd_bus_message_append(m, "i", id);
        if (r >= 0) r = appendProperties(m, propertiesOf(menu.entry(id)), names);
        if (r >= 0) r = sd_bus_message_open_container(m, 'a', "v");
        if (id == 0 && depth != 0) {
            for (std::int32_t child : menu.ids_) {
                if (r >= 0) r = sd_bus_message_open_container(m, 'v', "(ia{sv}av)");
                if (r >= 0) r = appendNode(menu, m, child, depth - 1, names);
                if (r >= 0) r = sd_bus_message_close_container(m);
            }
        }
        if (r >= 0) r = sd_bus_message_close_container(m);
        return r < 0 ? r : sd_bus_message_close_container(m);
    }

    static int getLayout(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        const DbusMenu& self = menu(userdata);
        std::int32_t parent = 0, depth = -1;
        int r = sd_bus_message_read(m, "ii", &parent, &depth);
        if (r < 0) return r;
        auto names = readNames(m);
        if (!names) return -EBADMSG;
        if (!self.known(parent)) return unknownItem(error, parent);
        return reply(m, [&](sd_bus_message* answer) {
            int r = sd_bus_message_append(answer, "u", self.revision_);
            return r < 0 ? r : appendNode(self, answer, parent, depth, *names);
        });
    }

    static int getGroupProperties(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const DbusMenu& self = menu(userdata);
        auto asked = readIds(m);
        auto names = readNames(m);
        if (!asked || !names) return -EBADMSG;
        if (asked->empty()) asked = self.ids_;  // no ids asks for every item
        return reply(m, [&](sd_bus_message* answer) {
            int r = sd_bus_message_open_container(answer, 'a', "(ia{sv})");
            for (std::int32_t id : *asked) {
                if (r < 0 || !self.known(id)) continue;
                r = sd_bus_message_open_container(answer, 'r', "ia{sv}");
                if (r >= 0) r = sd_bus_message_append(answer, "i", id);
                if (r >= 0) r = appendProperties(answer, propertiesOf(self.entry(id)), *names);
                if (r >= 0) r = sd_bus_message_close_container(answer);
            }
            return r < 0 ? r : sd_bus_message_close_container(answer);
        });
    }

    static int getProperty(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        const DbusMenu& self = menu(userdata);
        std::int32_t id = 0;
        const char* name = nullptr;
        int r = sd_bus_message_read(m, "is", &id, &name);
        if (r < 0) return r;
        if (!self.known(id)) return unknownItem(error, id);
        for (const auto& property : propertiesOf(self.entry(id))) {
            if (property.name == name) {
                return reply(m, [&](sd_bus_message* answer) { return appendValue(answer, property.value); });
            }
        }
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "Menu item %d has no property %s",
                                 static_cast<int>(id), name);
    }

    static int event(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        DbusMenu& self = menu(userdata);
        std::int32_t id = 0;
        std::string kind;
        int r = readEvent(m, id, kind);
        if (r < 0) return r;
        if (!self.known(id)) return unknownItem(error, id);
        if (kind == "clicked") self.clicked(id);
        return sd_bus_reply_method_return(m, nullptr);
    }

    static int eventGroup(sd_bus_message* m, void* userdata, sd_bus_error*) {
        DbusMenu& self = menu(userdata);
        std::vector<std::int32_t> unknown;
        int r = sd_bus_message_enter_container(m, 'a', "(isvu)");
        while (r >= 0 && (r = sd_bus_message_enter_container(m, 'r', "isvu")) > 0) {
            std::int32_t id = 0;
            std::string kind;
            r = readEvent(m, id, kind);
            if (r >= 0) r = sd_bus_message_exit_container(m);
            if (r < 0) break;
            if (!self.known(id)) {
                unknown.push_back(id);
            } else if (kind == "clicked") {
                self.clicked(id);
            }
        }
        if (r >= 0) r = sd_bus_message_exit_container(m);
        if (r < 0) return r;
        return reply(m, [&](sd_bus_message* answer) { return appendIds(answer, unknown); });
    }

    static bool refresh(DbusMenu& self) { return self.hooks_.aboutToShow && self.hooks_.aboutToShow(); }

    static int aboutToShow(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        DbusMenu& self = menu(userdata);
        std::int32_t id = 0;
        int r = sd_bus_message_read(m, "i", &id);
        if (r < 0) return r;
        if (!self.known(id)) return unknownItem(error, id);
        return sd_bus_reply_method_return(m, "b", int(refresh(self)));
    }

    static int aboutToShowGroup(sd_bus_message* m, void* userdata, sd_bus_error*) {
        DbusMenu& self = menu(userdata);
        auto asked = readIds(m);
        if (!asked) return -EBADMSG;
        std::vector<std::int32_t> unknown, updated;
        for (std::int32_t id : *asked) {
            if (!self.known(id)) unknown.push_back(id);
        }
        if (refresh(self)) updated.push_back(0);
        return reply(m, [&](sd_bus_message* answer) {
            int r = appendIds(answer, updated);
            return r < 0 ? r : appendIds(answer, unknown);
        });
    }

    static int property(sd_bus*, const char*, const char*, const char* property, sd_bus_message* m, void*,
                        sd_bus_error*) {
        const std::string name = property;
        if (name == "Version") return sd_bus_message_append(m, "u", 3u);
        if (name == "TextDirection") return sd_bus_message_append(m, "s", "ltr");
        if (name == "Status") return sd_bus_message_append(m, "s", "normal");
        return sd_bus_message_append_strv(m, nullptr);  // IconThemePath
    }

    static constexpr sd_bus_vtable table[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("Version", "u", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("TextDirection", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Status", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("IconThemePath", "as", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_METHOD("GetLayout", "iias", "u(ia{sv}av)", getLayout, 0),
        SD_BUS_METHOD("GetGroupProperties", "aias", "a(ia{sv})", getGroupProperties, 0),
        SD_BUS_METHOD("GetProperty", "is", "v", getProperty, 0),
        SD_BUS_METHOD("Event", "isvu", "", event, 0),
        SD_BUS_METHOD("EventGroup", "a(isvu)", "ai", eventGroup, 0),
        SD_BUS_METHOD("AboutToShow", "i", "b", aboutToShow, 0),
        SD_BUS_METHOD("AboutToShowGroup", "ai", "aiai", aboutToShowGroup, 0),
        SD_BUS_SIGNAL("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", 0),
        SD_BUS_SIGNAL("LayoutUpdated", "ui", 0),
        SD_BUS_SIGNAL("ItemActivationRequested", "iu", 0),
        SD_BUS_VTABLE_END,
    };
};

DbusMenu::DbusMenu(std::vector<MenuEntry> entries, Hooks hooks)
    : entries_(std::move(entries)), hooks_(std::move(hooks)) {
    renumber();
}

int DbusMenu::publish(sd_bus* bus, const char* path) {
    withdraw();
    int r = sd_bus_add_object_vtable(bus, &slot_, path, menuInterface, Handlers::table, this);
    if (r < 0) return r;
    bus_ = bus;
    path_ = path;
    return r;
}

void DbusMenu::withdraw() {
    slot_ = sd_bus_slot_unref(slot_);
    bus_ = nullptr;
}

bool DbusMenu::show(std::vector<MenuEntry> entries) {
    if (entries == entries_) return false;
    entries_ = std::move(entries);
    renumber();
    ++revision_;
    if (bus_) {
        int r = sd_bus_emit_signal(bus_, path_.c_str(), menuInterface, "LayoutUpdated", "ui", revision_, 0);
        if (r < 0) Log::lifecycle([&] { return "status icon: couldn't announce the new menu: " + errorText(r); });
    }
    return true;
}

void DbusMenu::renumber() {
    ids_.clear();
    std::int32_t unnamed = unnamedIds;
    for (const auto& entry : entries_) {
        if (entry.id.empty()) {
            ids_.push_back(unnamed++);
        } else {
            auto [found, added] = namedIds_.try_emplace(entry.id, static_cast<std::int32_t>(namedIds_.size() + 1));
            ids_.push_back(found->second);
        }
    }
}

const MenuEntry* DbusMenu::entry(std::int32_t id) const {
    auto found = std::ranges::find(ids_, id);
    return found == ids_.end() ? nullptr : &entries_[static_cast<std::size_t>(found - ids_.begin())];
}

void DbusMenu::clicked(std::int32_t id) {
    const MenuEntry* chosen = entry(id);
    if (!chosen || !chosen->enabled || chosen->id.empty()) {
        Log::lifecycle([&] { return "status icon: ignored a click on menu item " + std::to_string(id); });
        return;
    }
    if (hooks_.chosen) hooks_.chosen(chosen->id);
}

}  // namespace tessaline::shell
