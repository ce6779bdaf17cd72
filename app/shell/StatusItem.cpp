#include "app/shell/StatusItem.h"

#include "app/shell/DbusMenu.h"
#include "app/shell/StatusIconImage.h"
#include "app/shell/UniqueFd.h"
#include "engine/log/Log.h"

#include <array>
#include <atomic>
#include <cstring>
#include <optional>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace tessaline::shell {

namespace {

constexpr const char* itemPath = "/StatusNotifierItem";
constexpr const char* itemInterface = "org.kde.StatusNotifierItem";
constexpr const char* menuPath = "/MenuBar";
constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* watcherPath = "/StatusNotifierWatcher";
constexpr const char* watcherAppears =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.kde.StatusNotifierWatcher'";

// Hosts pick the size closest to their panel; these cover the usual ones.
constexpr std::array iconSizes{16, 22, 32, 48};
// sd_bus_process handles one message per call; a flood of messages is worked
// off over several turns so the window manager keeps its share of the loop.
constexpr int messagesPerTurn = 64;
std::atomic<int> itemsMade{0};

std::string errorText(int negativeErrno) { return std::strerror(-negativeErrno); }

// A desktop without a tray is a desktop like any other: said once, above the
// debug level so that a session log shows it, but not as a failure.
void notice(std::string message) {
    LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel, std::move(message));
}

const char* statusText(StatusIcon icon) {
    // Paused is a state to come back from, not one to hide, so it stays Active.
    return icon == StatusIcon::needsDisplay ? "NeedsAttention" : "Active";
}

std::string statusLine(const StatusModel& model) { return model.menu.empty() ? "" : model.menu.front().title; }

std::string toolTip(const StatusModel& model) {
    return model.notice.empty() ? statusLine(model) : statusLine(model) + "\n" + model.notice;
}

int appendPixmaps(sd_bus_message* m, std::optional<StatusIcon> icon) {
    int r = sd_bus_message_open_container(m, 'a', "(iiay)");
    if (icon) {
        for (int size : iconSizes) {
            const auto pixels = statusIconImage(*icon, size);
            if (r >= 0) r = sd_bus_message_open_container(m, 'r', "iiay");
            if (r >= 0) r = sd_bus_message_append(m, "ii", size, size);
            if (r >= 0) r = sd_bus_message_append_array(m, 'y', pixels.data(), pixels.size());
            if (r >= 0) r = sd_bus_message_close_container(m);
        }
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

}  // namespace

struct StatusItem::Core : std::enable_shared_from_this<Core> {
    Core(LoopAccess& loop, StatusModel model, Choose choose, Current current, int ownerPid)
        : loop(loop), model(std::move(model)), choose(std::move(choose)), current(std::move(current)),
          service("org.kde.StatusNotifierItem-" + std::to_string(ownerPid > 0 ? ownerPid : getpid()) + "-" +
                  std::to_string(++itemsMade)),
          menu(this->model.menu, {.chosen = [this](const std::string& id) { chosen(id); },
                                  .aboutToShow = [this] { return this->current && apply(this->current()); }}) {}
    ~Core() { closeBus(); }

    LoopAccess& loop;
    StatusModel model;
    Choose choose;
    Current current;
    const std::string service;
    sd_bus* bus = nullptr;
    UniqueFd epoll, timer;
    DbusMenu menu;
    bool nameHeld = false;
    bool toldNoHost = false;

    // --- the connection ---------------------------------------------------

    void open();
    void dispatch();
    void rearm();
    void closeBus() {
        menu.withdraw();
        if (!bus) return;
        sd_bus_close(bus);
        bus = sd_bus_unref(bus);
        itimerspec off{};
        if (timer) timerfd_settime(timer.get(), 0, &off, nullptr);
    }
    void lose(int error) {
        Log::lifecycle.error([&] {
            return "status icon: lost the session bus (" + errorText(error) + "); the icon is gone";
        });
        closeBus();
    }
    void registerWithHost();

    // Shows `next`; true when anything changed.
    bool apply(StatusModel next) {
        if (next == model) return false;
        const bool iconChanged = next.icon != model.icon;
        const bool statusChanged = std::strcmp(statusText(next.icon), statusText(model.icon)) != 0;
        const bool tipChanged = toolTip(next) != toolTip(model);
        model = std::move(next);
        menu.show(model.menu);
        if (!bus) return true;
        if (iconChanged) emit(itemPath, itemInterface, "NewIcon", nullptr);
        if (statusChanged) emit(itemPath, itemInterface, "NewStatus", "s", statusText(model.icon));
        if (tipChanged) emit(itemPath, itemInterface, "NewToolTip", nullptr);
        rearm();
        return true;
    }

    void chosen(const std::string& entryId) {
        // Not from inside the bus's dispatch: the choice may pause the manager,
        // update this item or tear it down.
        loop.post([weak = weak_from_this(), entryId] {
            auto core = weak.lock();
            if (core && core->choose) core->choose(entryId);
        });
    }

    template <class... Args>
    void emit(const char* path, const char* interface, const char* member, const char* types, Args... args) {
        int r = sd_bus_emit_signal(bus, path, interface, member, types, args...);
        if (r < 0) {
            Log::lifecycle([&] { return std::string("status icon: couldn't send ") + member + ": " + errorText(r); });
        }
    }
};

namespace {

using Core = StatusItem::Core;

Core& coreOf(void* userdata) { return *static_cast<Core*>(userdata); }

// --- org.kde.StatusNotifierItem -----------------------------------------------

int itemProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* m, void* userdata,
                 sd_bus_error*) {
    const Core& core = coreOf(userdata);
    const std::string name = property;
    if (name == "Category") return sd_bus_message_append(m, "s", "ApplicationStatus");
    if (name == "Id") return sd_bus_message_append(m, "s", "tessaline");
    if (name == "Title") return sd_bus_message_append(m, "s", "Tessaline");
    if (name == "Status") return sd_bus_message_append(m, "s", statusText(core.model.icon));
    if (name == "WindowId") return sd_bus_message_append(m, "i", 0);
    if (name == "ItemIsMenu") return sd_bus_message_append(m, "b", 1);
    if (name == "Menu") return sd_bus_message_append(m, "o", menuPath);
    if (name == "IconPixmap") return appendPixmaps(m, core.model.icon);
    if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap") return appendPixmaps(m, std::nullopt);
    if (name == "ToolTip") {
        int r = sd_bus_message_open_container(m, 'r', "sa(iiay)ss");
        if (r >= 0) r = sd_bus_message_append(m, "s", "");
        if (r >= 0) r = appendPixmaps(m, std::nullopt);
        if (r >= 0) r = sd_bus_message_append(m, "ss", "Tessaline", toolTip(core.model).c_str());
        return r < 0 ? r : sd_bus_message_close_container(m);
    }
    // IconName, OverlayIconName, AttentionIconName, AttentionMovieName, IconThemePath:
    // empty, so hosts draw the pixmaps rather than look for a themed icon.
    return sd_bus_message_append(m, "s", "");
}

// With ItemIsMenu the host opens the menu itself; clicks on the icon need no answer beyond a reply.
int ignoreClick(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, nullptr); }

#define TESSALINE_ITEM_PROPERTY(name, type, flags) SD_BUS_PROPERTY(name, type, itemProperty, 0, flags)

const sd_bus_vtable itemTable[] = {
    SD_BUS_VTABLE_START(0),
    TESSALINE_ITEM_PROPERTY("Category", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("Id", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("Title", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("Status", "s", 0),
    TESSALINE_ITEM_PROPERTY("WindowId", "i", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("IconThemePath", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("IconName", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("IconPixmap", "a(iiay)", 0),
    TESSALINE_ITEM_PROPERTY("OverlayIconName", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("OverlayIconPixmap", "a(iiay)", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("AttentionIconName", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("AttentionIconPixmap", "a(iiay)", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("AttentionMovieName", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("ToolTip", "(sa(iiay)ss)", 0),
    TESSALINE_ITEM_PROPERTY("ItemIsMenu", "b", SD_BUS_VTABLE_PROPERTY_CONST),
    TESSALINE_ITEM_PROPERTY("Menu", "o", SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("ContextMenu", "ii", "", ignoreClick, 0),
    SD_BUS_METHOD("Activate", "ii", "", ignoreClick, 0),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", ignoreClick, 0),
    SD_BUS_METHOD("Scroll", "is", "", ignoreClick, 0),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END,
};

#undef TESSALINE_ITEM_PROPERTY

// --- the tray host ------------------------------------------------------------

bool hostMissing(const sd_bus_error* error) {
    return sd_bus_error_has_name(error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
           sd_bus_error_has_name(error, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
}

int registered(sd_bus_message* m, void* userdata, sd_bus_error*) {
    Core& core = coreOf(userdata);
    const sd_bus_error* error = sd_bus_message_get_error(m);
    if (!error) {
        Log::lifecycle("status icon: registered with the tray host");
    } else if (hostMissing(error)) {
        if (!std::exchange(core.toldNoHost, true)) {
            notice("status icon: no tray host (org.kde.StatusNotifierWatcher) is running; "
                   "the icon appears when one starts");
        }
    } else {
        Log::lifecycle.error([&] {
            return std::string("status icon: the tray host didn't take the icon: ") + error->message;
        });
    }
    return 0;
}

int nameTaken(sd_bus_message* m, void* userdata, sd_bus_error*) {
    Core& core = coreOf(userdata);
    std::uint32_t result = 0;
    if (const sd_bus_error* error = sd_bus_message_get_error(m)) {
        Log::lifecycle.error([&] {
            return "status icon: couldn't take the name " + core.service + ": " + error->message;
        });
        return 0;
    }
    // 1: now the owner; 4: already was.
    if (sd_bus_message_read(m, "u", &result) < 0 || (result != 1 && result != 4)) {
        Log::lifecycle.error([&] { return "status icon: the name " + core.service + " is taken"; });
        return 0;
    }
    core.nameHeld = true;
    core.registerWithHost();
    return 0;
}

int watcherChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    Core& core = coreOf(userdata);
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0) return 0;
    // A host that starts (or restarts) after us knows nothing of the icon yet.
    if (after && *after && core.nameHeld) core.registerWithHost();
    return 0;
}

}  // namespace

void StatusItem::Core::registerWithHost() {
    if (!bus) return;
    int r = sd_bus_call_method_async(bus, nullptr, watcherName, watcherPath, watcherName,
                                     "RegisterStatusNotifierItem", registered, this, "s", service.c_str());
    if (r < 0) Log::lifecycle.error([&] { return "status icon: couldn't ask the tray host: " + errorText(r); });
}

void StatusItem::Core::open() {
    int r = sd_bus_open_user(&bus);
    if (r < 0) {
        bus = nullptr;
        notice("status icon: no session bus (" + errorText(r) + "); the icon isn't shown");
        return;
    }
    epoll.reset(epoll_create1(EPOLL_CLOEXEC));
    timer.reset(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    auto add = [&](int fd) {
        epoll_event readable{};
        readable.events = EPOLLIN;
        return epoll_ctl(epoll.get(), EPOLL_CTL_ADD, fd, &readable) == 0;
    };
    const char* step = "watch the bus";
    if (!epoll || !timer || !add(sd_bus_get_fd(bus)) || !add(timer.get())) r = -errno;
    // Every call below only queues: the answers come back through dispatch().
    if (r >= 0) {
        step = "publish the icon";
        r = sd_bus_add_object_vtable(bus, nullptr, itemPath, itemInterface, itemTable, this);
    }
    if (r >= 0) r = menu.publish(bus, menuPath);
    if (r >= 0) {
        step = "listen for a tray host";
        r = sd_bus_add_match_async(bus, nullptr, watcherAppears, watcherChanged, nullptr, this);
    }
    if (r >= 0) {
        step = "take a bus name";
        r = sd_bus_request_name_async(bus, nullptr, service.c_str(), 0, nameTaken, this);
    }
    if (r < 0) {
        Log::lifecycle.error([&] { return std::string("status icon: couldn't ") + step + " (" + errorText(r) + ")"; });
        closeBus();
        return;
    }
    loop.watch(epoll.get(), [weak = weak_from_this()] {
        if (auto core = weak.lock()) core->dispatch();
    });
    rearm();
}

void StatusItem::Core::dispatch() {
    if (!bus) return;
    std::uint64_t expired = 0;
    [[maybe_unused]] auto got = ::read(timer.get(), &expired, sizeof expired);
    for (int turn = 0; turn < messagesPerTurn; ++turn) {
        int r = sd_bus_process(bus, nullptr);
        if (r < 0) return lose(r);
        if (r == 0) break;
    }
    rearm();
}

// Points the epoll set at what the bus waits for now: its socket for reading,
// for writing while output is queued, and its next deadline (zero when
// messages it has already read are waiting, which a socket poll wouldn't show).
void StatusItem::Core::rearm() {
    if (!bus) return;
    int events = sd_bus_get_events(bus);
    if (events < 0) return lose(events);
    epoll_event change{};
    change.events = static_cast<std::uint32_t>(events);
    epoll_ctl(epoll.get(), EPOLL_CTL_MOD, sd_bus_get_fd(bus), &change);
    std::uint64_t until = UINT64_MAX;
    itimerspec when{};
    if (sd_bus_get_timeout(bus, &until) >= 0 && until != UINT64_MAX) {
        when.it_value.tv_sec = static_cast<time_t>(until / 1'000'000);
        when.it_value.tv_nsec = static_cast<long>(until % 1'000'000) * 1000;
        if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;  // zero disarms
    }
    timerfd_settime(timer.get(), TFD_TIMER_ABSTIME, &when, nullptr);
}

StatusItem::StatusItem(LoopAccess& loop, StatusModel model, Choose choose, Current current, int ownerPid)
    : core_(std::make_shared<Core>(loop, std::move(model), std::move(choose), std::move(current), ownerPid)),
      loop_(loop) {
    core_->open();
}

StatusItem::~StatusItem() {
    if (core_->epoll) loop_.unwatch(core_->epoll.get());
    // A choice posted but not yet run may still hold the core; the bus goes now.
    core_->closeBus();
}

void StatusItem::update(StatusModel model) { core_->apply(std::move(model)); }

const std::string& StatusItem::serviceName() const { return core_->service; }

}  // namespace tessaline::shell
