#include "platform/x11/X11Connection.h"

#include <xcb/randr.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/log/Log.h"

namespace tessaline {

const std::array<std::string_view, static_cast<std::size_t>(Atom::count)> atomNames = {
#define TESSALINE_ATOM_NAME(name) #name,
    TESSALINE_X11_ATOMS(TESSALINE_ATOM_NAME)
#undef TESSALINE_ATOM_NAME
};

namespace {

const char* errorName(int code) {
    static const char* const names[] = {"Success", "BadRequest", "BadValue",    "BadWindow",
                                        "BadPixmap", "BadAtom",  "BadCursor",   "BadFont",
                                        "BadMatch",  "BadDrawable", "BadAccess", "BadAlloc",
                                        "BadColormap", "BadGC",  "BadIDChoice", "BadName",
                                        "BadLength", "BadImplementation"};
    return code >= 0 && code < 18 ? names[code] : "extension error";
}

const char* requestName(int major) {
    switch (major) {
        case XCB_CREATE_WINDOW: return "CreateWindow";
        case XCB_CHANGE_WINDOW_ATTRIBUTES: return "ChangeWindowAttributes";
        case XCB_GET_WINDOW_ATTRIBUTES: return "GetWindowAttributes";
        case XCB_DESTROY_WINDOW: return "DestroyWindow";
        case XCB_CHANGE_SAVE_SET: return "ChangeSaveSet";
        case XCB_MAP_WINDOW: return "MapWindow";
        case XCB_UNMAP_WINDOW: return "UnmapWindow";
        case XCB_CONFIGURE_WINDOW: return "ConfigureWindow";
        case XCB_GET_GEOMETRY: return "GetGeometry";
        case XCB_QUERY_TREE: return "QueryTree";
        case XCB_CHANGE_PROPERTY: return "ChangeProperty";
        case XCB_DELETE_PROPERTY: return "DeleteProperty";
        case XCB_GET_PROPERTY: return "GetProperty";
        case XCB_SET_SELECTION_OWNER: return "SetSelectionOwner";
        case XCB_SEND_EVENT: return "SendEvent";
        case XCB_GRAB_BUTTON: return "GrabButton";
        case XCB_UNGRAB_BUTTON: return "UngrabButton";
        case XCB_GRAB_KEY: return "GrabKey";
        case XCB_ALLOW_EVENTS: return "AllowEvents";
        case XCB_SET_INPUT_FOCUS: return "SetInputFocus";
        case XCB_KILL_CLIENT: return "KillClient";
        default: return nullptr;
    }
}

// Latin-1 to UTF-8: STRING properties are Latin-1 by definition.
std::string fromLatin1(const std::uint8_t* data, std::size_t size) {
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = data[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Property

std::vector<std::uint32_t> Property::values() const {
    std::vector<std::uint32_t> result;
    if (format != 32) return result;
    result.resize(bytes.size() / 4);
    if (!result.empty()) std::memcpy(result.data(), bytes.data(), result.size() * 4);
    return result;
}

std::optional<std::uint32_t> Property::first() const {
    if (format != 32 || bytes.size() < 4) return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data(), 4);
    return value;
}

std::string Property::text(xcb_atom_t utf8) const {
    if (format != 8) return {};
    std::size_t size = bytes.size();
    // Some clients count the terminating NUL in the length.
    while (size > 0 && bytes[size - 1] == 0) --size;
    if (type == XCB_ATOM_STRING) return fromLatin1(bytes.data(), size);
    (void)utf8;  // UTF8_STRING and anything else are taken as UTF-8
    return std::string(reinterpret_cast<const char*>(bytes.data()), size);
}

std::vector<std::string> Property::strings() const {
    std::vector<std::string> result;
    if (format != 8) return result;
    std::string current;
    for (std::uint8_t c : bytes) {
        if (c == 0) {
            result.push_back(std::move(current));
            current.clear();
        } else {
            current += static_cast<char>(c);
        }
    }
    if (!current.empty()) result.push_back(std::move(current));
    return result;
}

// ---------------------------------------------------------------------------
// Connection

std::unique_ptr<X11Connection> X11Connection::open(const std::string& display, std::string& error) {
    const char* name = display.empty() ? std::getenv("DISPLAY") : display.c_str();
    const std::string shown = name && *name ? name : "";
    if (shown.empty()) {
        error = "No X display to manage: DISPLAY is not set.";
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(name, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        error = "Can't open the X display '" + shown + "'.";
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        error = "The X display '" + shown + "' has no screen " + std::to_string(screenNumber) + ".";
        return nullptr;
    }
    auto connection = std::unique_ptr<X11Connection>(new X11Connection(c, it.data, shown));
    connection->internAtoms();
    connection->queryRandr();
    return connection;
}

X11Connection::X11Connection(xcb_connection_t* c, xcb_screen_t* screen, std::string displayName)
    : c_(c), screen_(screen), displayName_(std::move(displayName)) {}

X11Connection::~X11Connection() { xcb_disconnect(c_); }

void X11Connection::internAtoms() {
    // All requests first, then all replies: one round trip for the lot.
    std::array<xcb_intern_atom_cookie_t, static_cast<std::size_t>(Atom::count)> cookies{};
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        cookies[i] = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(atomNames[i].size()), atomNames[i].data());
    }
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        auto reply = replyTo(xcb_intern_atom_reply, c_, cookies[i]);
        atoms_[i] = reply ? reply->atom : XCB_NONE;
        if (!reply) {
            Log::lifecycle.error([&] { return "couldn't intern the X atom " + std::string(atomNames[i]); });
        }
    }
}

void X11Connection::queryRandr() {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c_, &xcb_randr_id);
    if (!extension || !extension->present) return;
    auto version = replyTo(xcb_randr_query_version_reply, c_, xcb_randr_query_version(c_, 1, 5));
    // Monitors arrived with 1.5; an older server is treated as one screen.
    if (!version || version->major_version < 1 || (version->major_version == 1 && version->minor_version < 5)) return;
    randrEvents_ = extension->first_event;
}

xcb_get_property_cookie_t X11Connection::requestProperty(xcb_window_t window, xcb_atom_t property,
                                                         xcb_atom_t type, std::uint32_t longs) {
    return xcb_get_property(c_, 0, window, property, type, 0, longs);
}

std::optional<Property> X11Connection::property(xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c_, cookie, &error));
    if (error) {
        // The window went away between the request and the answer.
        if (!isExpected(*error)) reportError(*error);
        std::free(error);
        return std::nullopt;
    }
    if (!reply || reply->type == XCB_NONE) return std::nullopt;
    Property result;
    result.type = reply->type;
    result.format = reply->format;
    const int length = xcb_get_property_value_length(reply.get());
    const auto* data = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    if (length > 0 && data) result.bytes.assign(data, data + length);
    return result;
}

void X11Connection::setValues(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                              const std::vector<std::uint32_t>& values) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, type, 32,
                        static_cast<std::uint32_t>(values.size()), values.data());
}

void X11Connection::setText(xcb_window_t window, xcb_atom_t property, std::string_view text) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, atom(Atom::UTF8_STRING), 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
}

void X11Connection::deleteProperty(xcb_window_t window, xcb_atom_t property) {
    xcb_delete_property(c_, window, property);
}

void X11Connection::sendMessage(xcb_window_t destination, xcb_window_t window, xcb_atom_t type,
                                std::array<std::uint32_t, 5> data, std::uint32_t mask) {
    // SendEvent always copies 32 bytes.
    alignas(4) char buffer[32] = {};
    auto* message = reinterpret_cast<xcb_client_message_event_t*>(buffer);
    message->response_type = XCB_CLIENT_MESSAGE;
    message->format = 32;
    message->window = window;
    message->type = type;
    for (std::size_t i = 0; i < 5; ++i) message->data.data32[i] = data[i];
    xcb_send_event(c_, 0, destination, mask, buffer);
}

void X11Connection::noteTime(xcb_timestamp_t time) {
    // Server time wraps after 49 days; a time "before" the last by more than
    // half the range is a wrap, not an old event.
    if (time == XCB_CURRENT_TIME) return;
    if (lastTime_ == 0 || static_cast<std::int32_t>(time - lastTime_) > 0) lastTime_ = time;
}

bool X11Connection::isExpected(const xcb_generic_error_t& error) {
    switch (error.error_code) {
        case XCB_WINDOW:
        case XCB_DRAWABLE:
            return true;  // the window went away before the request reached it
        case XCB_MATCH:
            // Focusing or configuring a window that was unmapped meanwhile.
            return error.major_code == XCB_SET_INPUT_FOCUS || error.major_code == XCB_CONFIGURE_WINDOW;
        case XCB_ACCESS:
            // A client holding the same button grab on its own window: it
            // keeps its clicks and we lose click-to-focus there, nothing more.
            return error.major_code == XCB_GRAB_BUTTON;
        case XCB_VALUE:
            // Killing the client of a window that has just gone.
            return error.major_code == XCB_KILL_CLIENT;
        default:
            return false;
    }
}

void X11Connection::reportError(const xcb_generic_error_t& error) {
    const char* request = requestName(error.major_code);
    auto describe = [&] {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "X error %s in %s%s for 0x%x (sequence %u)",
                      errorName(error.error_code), request ? request : "request ",
                      request ? "" : std::to_string(error.major_code).c_str(), error.resource_id,
                      static_cast<unsigned>(error.full_sequence));
        return std::string(buffer);
    };
    if (isExpected(error)) {
        Log::windows(describe);
        return;
    }
    Log::windows.error(describe);
    if (exitOnError_) {
        std::fprintf(stderr, "tessaline: %s; stopping (--exit-on-x-error)\n", describe().c_str());
        std::_Exit(3);
    }
}

void X11Connection::dispatch(xcb_generic_event_t* event, const EventHandler& handler) {
    Reply<xcb_generic_event_t> owned(event);
    if (event->response_type == 0) {
        reportError(*reinterpret_cast<xcb_generic_error_t*>(event));
        return;
    }
    if (auto time = eventTime(*event)) noteTime(*time);
    for (const EventFilter& filter : filters_) {
        if (filter(*event)) return;
    }
    handler(*event);
}

std::size_t X11Connection::drain(const EventHandler& handler) {
    std::size_t count = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
        dispatch(event, handler);
        ++count;
    }
    return count;
}

std::size_t X11Connection::drainQueued(const EventHandler& handler) {
    std::size_t count = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(c_)) {
        dispatch(event, handler);
        ++count;
    }
    return count;
}

void X11Connection::sync() {
    auto reply = replyTo(xcb_get_input_focus_reply, c_, xcb_get_input_focus(c_));
}

std::optional<xcb_timestamp_t> eventTime(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE:
        case XCB_BUTTON_PRESS:
        case XCB_BUTTON_RELEASE:
        case XCB_MOTION_NOTIFY:
            return reinterpret_cast<const xcb_key_press_event_t&>(event).time;
        case XCB_ENTER_NOTIFY:
        case XCB_LEAVE_NOTIFY:
            return reinterpret_cast<const xcb_enter_notify_event_t&>(event).time;
        case XCB_PROPERTY_NOTIFY:
            return reinterpret_cast<const xcb_property_notify_event_t&>(event).time;
        case XCB_SELECTION_CLEAR:
            return reinterpret_cast<const xcb_selection_clear_event_t&>(event).time;
        default:
            return std::nullopt;
    }
}

}  // namespace tessaline
