#include "TestClient.h"

#include <xcb/xcb_icccm.h>

#include <unistd.h>

#include <algorithm>

namespace tessaline::xtest {

namespace {

const char* typeAtom(WindowType type) {
    switch (type) {
    case WindowType::none: return nullptr;
    case WindowType::normal: return "_NET_WM_WINDOW_TYPE_NORMAL";
    case WindowType::dialog: return "_NET_WM_WINDOW_TYPE_DIALOG";
    case WindowType::utility: return "_NET_WM_WINDOW_TYPE_UTILITY";
    case WindowType::dock: return "_NET_WM_WINDOW_TYPE_DOCK";
    }
    return nullptr;
}

const char* protocolAtom(Protocol p) {
    switch (p) {
    case Protocol::deleteWindow: return "WM_DELETE_WINDOW";
    case Protocol::takeFocus: return "WM_TAKE_FOCUS";
    case Protocol::ping: return "_NET_WM_PING";
    }
    return "";
}

void setText(Connection& c, xcb_window_t w, const char* property, const char* type, const std::string& text) {
    xcb_change_property(c.get(), XCB_PROP_MODE_REPLACE, w, c.atom(property), c.atom(type), 8,
                        uint32_t(text.size()), text.data());
}

void set32(Connection& c, xcb_window_t w, const char* property, xcb_atom_t type, const std::vector<uint32_t>& v) {
    xcb_change_property(c.get(), XCB_PROP_MODE_REPLACE, w, c.atom(property), type, 32, uint32_t(v.size()),
                        v.data());
}

// Interned before the window exists, so that the event hook never waits for a reply.
constexpr const char* hookAtoms[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING"};

// The client's side of the conversation with the manager, run as each event is read.
void answer(TestClient::State& s, Connection& c, const xcb_generic_event_t& e) {
    switch (eventType(e)) {
    case XCB_MAP_NOTIFY:
        if (reinterpret_cast<const xcb_map_notify_event_t&>(e).window == s.window) s.mapped = true;
        return;
    case XCB_UNMAP_NOTIFY:
        if (reinterpret_cast<const xcb_unmap_notify_event_t&>(e).window == s.window) s.mapped = false;
        return;
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t&>(e).window == s.window) s.destroyed = true;
        return;
    case XCB_CLIENT_MESSAGE: break;
    default: return;
    }
    auto message = reinterpret_cast<const xcb_client_message_event_t&>(e);
    if (message.type != c.atom("WM_PROTOCOLS") || message.format != 32) return;
    const xcb_atom_t protocol = message.data.data32[0];
    if (protocol == c.atom("WM_DELETE_WINDOW")) {
        ++s.deletes;
        if (s.obeyDelete && !s.destroyed) {
            xcb_destroy_window(c.get(), s.window);
            s.destroyed = true;
        }
    } else if (protocol == c.atom("WM_TAKE_FOCUS")) {
        ++s.focusOffers;
        if (!s.destroyed)
            xcb_set_input_focus(c.get(), XCB_INPUT_FOCUS_POINTER_ROOT, s.window, message.data.data32[1]);
    } else if (protocol == c.atom("_NET_WM_PING")) {
        ++s.pings;
        if (!s.answerPing) return;
        message.window = c.root();
        xcb_send_event(c.get(), 0, c.root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    }
    c.flush();
}

int nextClientNumber() {
    static int n = 0;
    return ++n;
}

}  // namespace

ClientBuilder& ClientBuilder::transientFor(const TestClient& parent) { return transientFor(parent.window()); }

TestClient ClientBuilder::create() const {
    TestClient client;
    client.connection_ = std::make_unique<Connection>(server_->display());
    Connection& c = *client.connection_;
    for (const char* name : hookAtoms) c.atom(name);

    const xcb_window_t w = xcb_generate_id(c.get());
    auto& s = *client.state_;
    s.window = w;
    s.answerPing = answerPing_;
    s.obeyDelete = obeyDelete_;
    c.onEvent([state = client.state_, conn = &c](const xcb_generic_event_t& e) { answer(*state, *conn, e); });

    const uint32_t values[] = {
        c.screen()->white_pixel, overrideRedirect_ ? 1u : 0u,
        XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_FOCUS_CHANGE};
    xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, w, c.root(), int16_t(geometry_.x), int16_t(geometry_.y),
                      uint16_t(geometry_.w), uint16_t(geometry_.h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      c.screen()->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);

    const std::string title = title_.empty() ? "Client " + std::to_string(nextClientNumber()) : title_;
    setText(c, w, "_NET_WM_NAME", "UTF8_STRING", title);
    setText(c, w, "WM_NAME", "STRING", title);
    const std::string wmClass = instance_ + '\0' + class_ + '\0';
    setText(c, w, "WM_CLASS", "STRING", wmClass);
    if (!pid_ || *pid_ != 0) {
        set32(c, w, "_NET_WM_PID", XCB_ATOM_CARDINAL, {pid_ ? *pid_ : uint32_t(getpid())});
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        setText(c, w, "WM_CLIENT_MACHINE", "STRING", host);
    }
    if (const char* type = typeAtom(type_)) set32(c, w, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {c.atom(type)});
    if (transientFor_ != XCB_NONE) xcb_icccm_set_wm_transient_for(c.get(), w, transientFor_);

    xcb_size_hints_t hints{};
    xcb_icccm_size_hints_set_size(&hints, 0, geometry_.w, geometry_.h);
    if (min_) xcb_icccm_size_hints_set_min_size(&hints, min_->w, min_->h);
    if (max_) xcb_icccm_size_hints_set_max_size(&hints, max_->w, max_->h);
    if (increments_) xcb_icccm_size_hints_set_resize_inc(&hints, increments_->w, increments_->h);
    xcb_icccm_set_wm_normal_hints(c.get(), w, &hints);

    xcb_icccm_wm_hints_t wmHints{};
    xcb_icccm_wm_hints_set_input(&wmHints, input_);
    xcb_icccm_wm_hints_set_normal(&wmHints);
    xcb_icccm_set_wm_hints(c.get(), w, &wmHints);

    std::vector<xcb_atom_t> protocols;
    for (Protocol p : protocols_) protocols.push_back(c.atom(protocolAtom(p)));
    if (!protocols.empty())
        xcb_icccm_set_wm_protocols(c.get(), w, c.atom("WM_PROTOCOLS"), uint32_t(protocols.size()), protocols.data());

    if (strut_) {
        const Strut& s = *strut_;
        set32(c, w, "_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL,
              {s.left, s.right, s.top, s.bottom, s.leftStartY, s.leftEndY, s.rightStartY, s.rightEndY, s.topStartX,
               s.topEndX, s.bottomStartX, s.bottomEndX});
        set32(c, w, "_NET_WM_STRUT", XCB_ATOM_CARDINAL, {s.left, s.right, s.top, s.bottom});
    }
    for (const Extra& e : extra_) set32(c, w, e.name.c_str(), c.atom(e.type), e.values);
    c.flush();
    if (beforeMap_) beforeMap_(client);
    return client;
}

TestClient ClientBuilder::open() const {
    TestClient client = create();
    client.map();
    return client;
}

TestClient::~TestClient() { if (connection_) connection_->disconnect(); }

void TestClient::map() {
    mapNoWait();
    waitForMapped();
}

void TestClient::mapNoWait() {
    if (!alive()) return;
    // A MapNotify read before this request must not count as its answer.
    connection_->pump();
    state_->mapped = false;
    xcb_map_window(connection_->get(), window());
    connection_->flush();
}

void TestClient::withdraw() {
    if (!alive()) return;
    xcb_unmap_window(connection_->get(), window());
    xcb_unmap_notify_event_t unmap{};
    unmap.response_type = XCB_UNMAP_NOTIFY;
    unmap.event = connection_->root();
    unmap.window = window();
    xcb_send_event(connection_->get(), 0, connection_->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&unmap));
    connection_->flush();
}

void TestClient::sendToRoot(std::string_view type, std::array<uint32_t, 5> data) {
    if (alive()) connection_->sendToRoot(window(), type, data);
}

void TestClient::iconify() { sendToRoot("WM_CHANGE_STATE", {XCB_ICCCM_WM_STATE_ICONIC}); }

void TestClient::requestFullscreen(bool on) {
    // Source 1: an application asking for itself.
    sendToRoot("_NET_WM_STATE", {on ? 1u : 0u, connection_->atom("_NET_WM_STATE_FULLSCREEN"), 0, 1, 0});
}

// Source 2: a pager, whose requests managers obey rather than second-guess.
void TestClient::requestActivate() { sendToRoot("_NET_ACTIVE_WINDOW", {2, XCB_CURRENT_TIME}); }

void TestClient::requestClose() { sendToRoot("_NET_CLOSE_WINDOW", {XCB_CURRENT_TIME, 2}); }

void TestClient::requestDesktop(uint32_t desktop) { sendToRoot("_NET_WM_DESKTOP", {desktop, 2}); }

void TestClient::requestGeometry(Rect r) {
    if (!alive()) return;
    const uint32_t values[] = {uint32_t(r.x), uint32_t(r.y), uint32_t(r.w), uint32_t(r.h)};
    xcb_configure_window(connection_->get(), window(),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    connection_->flush();
}

void TestClient::setTitle(const std::string& title, bool netName, bool icccmName) {
    if (!alive()) return;
    if (netName) setText(*connection_, window(), "_NET_WM_NAME", "UTF8_STRING", title);
    if (icccmName) setText(*connection_, window(), "WM_NAME", "STRING", title);
    connection_->flush();
}

void TestClient::close() {
    if (alive()) xcb_destroy_window(connection_->get(), window());
    state_->destroyed = true;
    connection_->disconnect();
}

void TestClient::die() {
    state_->destroyed = true;
    connection_->disconnect();
}

std::optional<Rect> TestClient::geometry() { return alive() ? connection_->rootGeometry(window()) : std::nullopt; }

std::optional<WmState> TestClient::wmState() {
    if (!alive()) return std::nullopt;
    auto values = connection_->property32(window(), connection_->atom("WM_STATE"));
    if (!values || values->empty()) return std::nullopt;
    return WmState((*values)[0]);
}

bool TestClient::hasNetWmState(std::string_view state) {
    const auto atoms = alive() ? connection_->property32(window(), connection_->atom("_NET_WM_STATE")) : std::nullopt;
    return atoms && std::find(atoms->begin(), atoms->end(), connection_->atom(state)) != atoms->end();
}

bool TestClient::viewable() { return alive() && connection_->mapState(window()) == XCB_MAP_STATE_VIEWABLE; }

Event TestClient::waitFor(std::string_view what, const std::function<bool(const xcb_generic_event_t&)>& match) {
    return connection_->waitEvent(what, match);
}

void TestClient::waitForMapped() {
    xtest::waitFor("window " + std::to_string(window()) + " to be mapped", [&] {
        if (!alive()) throw HarnessError("window destroyed while waiting for it to be mapped");
        return state_->mapped;
    });
}

}  // namespace tessaline::xtest
