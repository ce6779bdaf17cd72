#include "Connection.h"

#include <poll.h>

#include <algorithm>
#include <cstdlib>

namespace tessaline::xtest {

namespace {

// Connections and descriptors that every wait reads. Tests drive X from one
// thread, so plain containers suffice.
std::vector<Connection*>& connections() {
    static std::vector<Connection*> all;
    return all;
}

struct Watched {
    int fd;
    std::function<void()> ready;
};
std::vector<Watched>& watched() {
    static std::vector<Watched> all;
    return all;
}

// A client that never reads its events must not grow without bound over a long
// randomized run; nothing waits for events that old.
constexpr size_t queueLimit = 4096;

}  // namespace

std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << r.w << "×" << r.h << " at " << r.x << "," << r.y;
}

std::chrono::milliseconds waitLimit() {
    if (const char* ms = std::getenv("TESSALINE_TEST_WAIT_MS")) return std::chrono::milliseconds(std::atoi(ms));
    return std::chrono::milliseconds(10000);
}

Connection::Connection(const std::string& display) {
    int screenNumber = 0;
    c_ = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(c_)) {
        xcb_disconnect(c_);
        c_ = nullptr;
        throw HarnessError("cannot connect to X display " + display);
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
    screen_ = it.data;
    connections().push_back(this);
}

Connection::~Connection() {
    auto& all = connections();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (c_) xcb_disconnect(c_);
}

void Connection::disconnect() {
    if (!c_) return;
    xcb_flush(c_);
    xcb_disconnect(c_);
    c_ = nullptr;
}

xcb_atom_t Connection::atom(std::string_view name) {
    if (auto it = atoms_.find(name); it != atoms_.end()) return it->second;
    if (broken()) return XCB_ATOM_NONE;
    auto cookie = xcb_intern_atom(c_, 0, uint16_t(name.size()), name.data());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c_, cookie, nullptr);
    xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    atoms_.emplace(std::string(name), a);
    return a;
}

std::string Connection::atomName(xcb_atom_t a) {
    if (broken()) return {};
    auto* reply = xcb_get_atom_name_reply(c_, xcb_get_atom_name(c_, a), nullptr);
    if (!reply) return {};
    std::string name(xcb_get_atom_name_name(reply), size_t(xcb_get_atom_name_name_length(reply)));
    free(reply);
    return name;
}

void Connection::flush() { if (!broken()) xcb_flush(c_); }

void Connection::sendToRoot(xcb_window_t window, std::string_view type, std::array<uint32_t, 5> data) {
    if (broken()) return;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom(type);
    std::copy(data.begin(), data.end(), message.data.data32);
    xcb_send_event(c_, 0, root(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c_);
}

void Connection::roundTrip() {
    if (broken()) return;
    free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
}

std::optional<std::vector<uint32_t>> Connection::property32(xcb_window_t w, xcb_atom_t property) {
    if (broken()) return std::nullopt;
    auto* reply = xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
    if (!reply) return std::nullopt;
    std::optional<std::vector<uint32_t>> values;
    if (reply->format == 32 && reply->type != XCB_ATOM_NONE) {
        auto* data = static_cast<uint32_t*>(xcb_get_property_value(reply));
        values.emplace(data, data + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return values;
}

std::optional<std::string> Connection::propertyText(xcb_window_t w, xcb_atom_t property) {
    if (broken()) return std::nullopt;
    auto* reply = xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
    if (!reply) return std::nullopt;
    std::optional<std::string> text;
    if (reply->format == 8 && reply->type != XCB_ATOM_NONE)
        text.emplace(static_cast<const char*>(xcb_get_property_value(reply)),
                     size_t(xcb_get_property_value_length(reply)));
    free(reply);
    return text;
}

std::optional<Rect> Connection::rootGeometry(xcb_window_t w) {
    if (broken()) return std::nullopt;
    auto geometryCookie = xcb_get_geometry(c_, w);
    auto translateCookie = xcb_translate_coordinates(c_, w, root(), 0, 0);
    auto* g = xcb_get_geometry_reply(c_, geometryCookie, nullptr);
    auto* t = xcb_translate_coordinates_reply(c_, translateCookie, nullptr);
    std::optional<Rect> rect;
    if (g && t) rect = Rect{t->dst_x, t->dst_y, g->width, g->height};
    free(g);
    free(t);
    return rect;
}

int Connection::mapState(xcb_window_t w) {
    if (broken()) return -1;
    auto* reply = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
    if (!reply) return -1;
    int state = reply->map_state;
    free(reply);
    return state;
}

bool Connection::pump() {
    if (broken()) return false;
    bool any = false;
    while (xcb_generic_event_t* raw = xcb_poll_for_event(c_)) {
        Event e(raw);
        any = true;
        if (raw->response_type == 0) {
            auto* error = reinterpret_cast<xcb_generic_error_t*>(raw);
            errors_.emplace_back(error->error_code, error->major_code);
            continue;
        }
        ++received_;
        if (hook_) hook_(*raw);
        if (queue_.size() >= queueLimit) queue_.pop_front();
        queue_.push_back({std::move(e), std::chrono::steady_clock::now()});
        if (broken()) break;  // the hook may have closed us
    }
    return any;
}

Event Connection::take(const std::function<bool(const xcb_generic_event_t&)>& match,
                       std::chrono::steady_clock::time_point& readAt) {
    auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Queued& q) { return match(*q.event); });
    if (it == queue_.end()) return nullptr;
    Event e = std::move(it->event);
    readAt = it->readAt;
    queue_.erase(it);
    return e;
}

Event Connection::waitEvent(std::string_view what,
                            const std::function<bool(const xcb_generic_event_t&)>& match) {
    Event found;
    waitFor(what, [&] {
        found = take(match);
        if (!found && broken()) throw HarnessError("connection closed while waiting for " + std::string(what));
        return found != nullptr;
    });
    return found;
}

void waitFor(std::string_view what, const std::function<bool()>& done, std::chrono::milliseconds limit,
             std::chrono::milliseconds recheck) {
    if (!waitUntil(done, limit, recheck))
        throw HarnessError("timed out after " + std::to_string(limit.count()) + " ms waiting for " +
                           std::string(what));
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit, std::chrono::milliseconds recheck) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        // Replies read while waiting for a reply leave events in XCB's own queue,
        // where poll() cannot see them: drain every connection before each check.
        for (Connection* c : std::vector<Connection*>(connections())) c->pump();
        if (done()) return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        std::vector<pollfd> fds;
        for (Connection* c : connections())
            if (!c->broken()) fds.push_back({xcb_get_file_descriptor(c->get()), POLLIN, 0});
        const size_t firstWatched = fds.size();
        for (const Watched& w : watched()) fds.push_back({w.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), int(std::min<long>(left.count(), recheck.count())));
        std::vector<std::function<void()>> ready;
        for (size_t i = firstWatched; i < fds.size(); ++i)
            if (fds[i].revents) ready.push_back(watched()[i - firstWatched].ready);
        for (auto& r : ready) r();
    }
}

void watch(int fd, std::function<void()> ready) { watched().push_back({fd, std::move(ready)}); }

void unwatch(int fd) {
    auto& all = watched();
    all.erase(std::remove_if(all.begin(), all.end(), [fd](const Watched& w) { return w.fd == fd; }), all.end());
}

void roundTripAll() {
    std::vector<std::pair<Connection*, xcb_get_input_focus_cookie_t>> pending;
    for (Connection* c : connections())
        if (!c->broken()) pending.emplace_back(c, xcb_get_input_focus(c->get()));
    for (auto& [c, cookie] : pending) free(xcb_get_input_focus_reply(c->get(), cookie, nullptr));
}

}  // namespace tessaline::xtest
