#pragma once
// The panel's side of the status icon's conversation: the tray host reading
// the icon and its menu, clicking entries, and, when asked, the watcher items
// register with.

#include "PrivateBus.h"

#include <chrono>
#include <cstdint>
#include <set>
#include <string_view>
#include <systemd/sd-bus.h>
#include <vector>

namespace tessaline::bustest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr auto deadline = 5s;
constexpr auto itemPath = "/StatusNotifierItem";
constexpr auto itemInterface = "org.kde.StatusNotifierItem";

struct MenuLine {
    std::int32_t id = 0;
    std::string text;  // "—" for a separator, " (off)" after a disabled label
    std::string shortcut;
};

// The test's own connection: the panel's side of the conversation.
class Panel {
public:
    explicit Panel(const std::string& address) {
        sd_bus_new(&bus_);
        sd_bus_set_address(bus_, address.c_str());
        sd_bus_set_bus_client(bus_, 1);
        sd_bus_set_method_call_timeout(bus_, std::chrono::microseconds(deadline).count());
        EXPECT_GE(sd_bus_start(bus_), 0);
        sd_bus_add_match(bus_, nullptr, "type='signal'", &Panel::onSignal, this);
    }
    ~Panel() { sd_bus_flush_close_unref(bus_); }

    // Handles incoming traffic until `done`, or five seconds have passed.
    template <class Done>
    bool until(Done done) {
        const auto end = Clock::now() + deadline;
        while (!done()) {
            int r = sd_bus_process(bus_, nullptr);
            if (r < 0) return false;
            if (r > 0) continue;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now());
            if (left <= 0us) return false;
            sd_bus_wait(bus_, left.count());
        }
        return true;
    }
    bool seen(const std::string& signal) { return until([&] { return signals.count(signal) > 0; }); }

    // A property with a text value ("s", or "o" for an object path).
    std::string text(const std::string& service, const char* property, const char* type = "s") {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const char* value = nullptr;
        if (sd_bus_get_property(bus_, service.c_str(), itemPath, itemInterface, property, &error, &reply, type) >= 0) {
            sd_bus_message_read_basic(reply, type[0], &value);
        }
        std::string out = value ? value : error.message ? error.message : "?";
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return out;
    }

    // The size of each picture in IconPixmap, with whether its byte count fits it.
    std::vector<std::string> pixmaps(const std::string& service) {
        sd_bus_message* reply = nullptr;
        sd_bus_get_property(bus_, service.c_str(), itemPath, itemInterface, "IconPixmap", nullptr, &reply, "a(iiay)");
        std::vector<std::string> sizes;
        sd_bus_message_enter_container(reply, 'a', "(iiay)");
        while (sd_bus_message_enter_container(reply, 'r', "iiay") > 0) {
            int width = 0, height = 0;
            const void* data;
            std::size_t bytes = 0;
            sd_bus_message_read(reply, "ii", &width, &height);
            sd_bus_message_read_array(reply, 'y', &data, &bytes);
            sd_bus_message_exit_container(reply);
            sizes.push_back(std::to_string(width) + "x" + std::to_string(height) +
                            (bytes == std::size_t(width * height * 4) ? "" : " (short)"));
        }
        sd_bus_message_unref(reply);
        return sizes;
    }

    std::vector<MenuLine> layout(const std::string& service) {
        sd_bus_message* reply = nullptr;
        sd_bus_call_method(bus_, service.c_str(), "/MenuBar", "com.canonical.dbusmenu", "GetLayout", nullptr, &reply,
                           "iias", 0, -1, 0);
        std::vector<MenuLine> lines;
        std::uint32_t revision;
        std::int32_t root;
        sd_bus_message_read(reply, "u", &revision);
        sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
        sd_bus_message_read(reply, "i", &root);
        sd_bus_message_skip(reply, "a{sv}");
        sd_bus_message_enter_container(reply, 'a', "v");
        while (sd_bus_message_enter_container(reply, 'v', "(ia{sv}av)") > 0) {
            sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
            lines.push_back(readItem(reply));
            sd_bus_message_skip(reply, "av");
            sd_bus_message_exit_container(reply);
            sd_bus_message_exit_container(reply);
        }
        sd_bus_message_unref(reply);
        return lines;
    }

    void click(const std::string& service, std::int32_t id) {
        sd_bus_call_method(bus_, service.c_str(), "/MenuBar", "com.canonical.dbusmenu", "Event", nullptr, nullptr,
                           "isvu", id, "clicked", "i", 0, 0u);
    }

    bool aboutToShow(const std::string& service) {
        sd_bus_message* reply = nullptr;
        sd_bus_call_method(bus_, service.c_str(), "/MenuBar", "com.canonical.dbusmenu", "AboutToShow", nullptr, &reply,
                           "i", 0);
        int update = 0;
        sd_bus_message_read(reply, "b", &update);
        sd_bus_message_unref(reply);
        return update;
    }

    // Takes the watcher's name and notes every item that registers.
    void becomeWatcher() {
        static const sd_bus_vtable table[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", &Panel::onRegister, 0),
            SD_BUS_VTABLE_END,
        };
        sd_bus_add_object_vtable(bus_, nullptr, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher", table,
                                 this);
        EXPECT_GE(sd_bus_request_name(bus_, "org.kde.StatusNotifierWatcher", 0), 0);
    }

    std::set<std::string> signals;     // "NameOwnerChanged org.kde...", "LayoutUpdated"
    std::vector<std::string> items;    // as registered with the watcher

private:
    static MenuLine readItem(sd_bus_message* m) {
        MenuLine line;
        bool enabled = true, separator = false;
        sd_bus_message_read(m, "i", &line.id);
        sd_bus_message_enter_container(m, 'a', "{sv}");
        while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
            const char* key;
            sd_bus_message_read(m, "s", &key);
            const std::string name = key;
            const char* text;
            int flag;
            if (name == "label" || name == "type") {
                sd_bus_message_read(m, "v", "s", &text);
                if (name == "label") line.text = text;
                separator = std::string(text) == "separator";
            } else if (name == "enabled") {
                sd_bus_message_read(m, "v", "b", &flag);
                enabled = flag;
            } else if (name == "shortcut") {
                sd_bus_message_enter_container(m, 'v', "aas");
                sd_bus_message_enter_container(m, 'a', "as");
                sd_bus_message_enter_container(m, 'a', "s");
                while (sd_bus_message_read(m, "s", &text) > 0) {
                    line.shortcut += (line.shortcut.empty() ? "" : "+") + std::string(text);
                }
                sd_bus_message_exit_container(m);
                sd_bus_message_exit_container(m);
                sd_bus_message_exit_container(m);
            } else {
                sd_bus_message_skip(m, "v");
            }
            sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
        if (separator) line.text = "—";
        if (!enabled) line.text += " (off)";
        return line;
    }

    static int onSignal(sd_bus_message* m, void* self, sd_bus_error*) {
        std::string name = sd_bus_message_get_member(m);
        const char* owned;
        if (name == "NameOwnerChanged" && sd_bus_message_read(m, "s", &owned) > 0) name += std::string(" ") + owned;
        static_cast<Panel*>(self)->signals.insert(name);
        return 0;
    }
    static int onRegister(sd_bus_message* m, void* self, sd_bus_error*) {
        const char* service;
        sd_bus_message_read(m, "s", &service);
        static_cast<Panel*>(self)->items.push_back(service);
        return sd_bus_reply_method_return(m, nullptr);
    }

    sd_bus* bus_ = nullptr;
};

inline std::vector<std::string> texts(const std::vector<MenuLine>& lines) {
    std::vector<std::string> out;
    for (const auto& line : lines) out.push_back(line.text);
    return out;
}

inline std::int32_t idOf(const std::vector<MenuLine>& lines, std::string_view text) {
    for (const auto& line : lines) {
        if (line.text.starts_with(text)) return line.id;
    }
    ADD_FAILURE() << "no menu line " << text;
    return -1;
}

}  // namespace tessaline::bustest
