#include "RandomClients.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>

namespace tessaline::xtest {

namespace {

// Monitor layouts the driver moves between: one, side by side, stacked, of
// different sizes, and none set (the whole screen).
const std::vector<std::vector<Monitor>> layouts{
    {},
    {{"A", {0, 0, 1920, 1080}, true}},
    {{"A", {0, 0, 1920, 1080}, true}, {"B", {1920, 0, 1920, 1080}}},
    {{"A", {0, 0, 1920, 1080}}, {"B", {1920, 0, 1920, 1080}, true}, {"C", {3840, 0, 1920, 1080}}},
    {{"A", {0, 0, 1920, 1080}, true}, {"B", {0, 1080, 1920, 1080}}},
    {{"B", {1920, 200, 1280, 1024}, true}, {"A", {0, 0, 1920, 1080}}},
};

const char* titles[] = {"", "Untitled", "Документ — правка", "a very long title that goes on and on and on and on",
                        "tab\tand\nnewline", "🙂 emoji"};

}  // namespace

uint32_t RandomClients::seedFromEnvironment(uint32_t fallback) {
    const char* seed = std::getenv("TESSALINE_X11_STRESS_SEED");
    return seed ? uint32_t(std::strtoul(seed, nullptr, 10)) : fallback;
}

int RandomClients::stepsFromEnvironment(int fallback) {
    const char* steps = std::getenv("TESSALINE_X11_STRESS_STEPS");
    return steps ? std::atoi(steps) : fallback;
}

RandomClients::RandomClients(ManagerProcess& manager, uint32_t seed, Options options)
    : manager_(manager), seed_(seed), options_(options), random_(seed), observer_(XServer::shared().display()) {}

void RandomClients::note(std::string op) {
    recent_.push_back("step " + std::to_string(step_) + ": " + std::move(op));
    if (recent_.size() > 30) recent_.pop_front();
}

void RandomClients::fail(const std::string& what) {
    std::ostringstream text;
    text << what << "\nseed " << seed_ << " (TESSALINE_X11_STRESS_SEED), step " << step_ << "; the last steps:\n";
    for (const auto& r : recent_) text << "  " << r << "\n";
    throw HarnessError(text.str());
}

RandomClients::Client* RandomClients::pick() {
    if (clients_.empty()) return nullptr;
    return &clients_[std::uniform_int_distribution<size_t>(0, clients_.size() - 1)(random_)];
}

void RandomClients::awaitDestroyed(xcb_window_t window) {
    observer_.waitEvent("window " + std::to_string(window) + " to be destroyed", [&](const xcb_generic_event_t& e) {
        return eventType(e) == XCB_DESTROY_NOTIFY &&
               reinterpret_cast<const xcb_destroy_notify_event_t&>(e).window == window;
    });
}

void RandomClients::open() {
    ClientBuilder b;
    std::uniform_int_distribution<int> size(50, 1600);
    b.geometry({0, 0, size(random_), size(random_) / 2 + 20});
    Client* parent = pick();
    const int kind = std::uniform_int_distribution<int>(0, 99)(random_);
    bool managed = true;
    std::string what = "normal";
    if (kind < 50) {
    } else if (kind < 60) {
        what = "dialog", b.type(WindowType::dialog);
        if (parent && parent->client.alive()) b.transientFor(parent->client);
    } else if (kind < 68) {
        what = "untyped transient", b.type(WindowType::none);
        if (parent && parent->client.alive()) b.transientFor(parent->client);
    } else if (kind < 76) {
        what = "fixed size", b.fixedSize(320, 240);
    } else if (kind < 82) {
        what = "utility", b.type(WindowType::utility);
    } else if (kind < 86) {
        what = "size increments", b.minSize(200, 100).increments(7, 13);
    } else if (kind < 90) {
        what = "focus when offered", b.input(false).protocols({Protocol::deleteWindow, Protocol::takeFocus});
    } else if (kind < 93) {
        what = "hung", b.neverAnswerPing();
    } else if (kind < 95) {
        what = "asks before closing", b.ignoreDelete();
    } else if (kind < 97) {
        what = "dock", managed = false, b.type(WindowType::dock).geometry({0, 0, 1920, 24}).strut(Strut::atTop(24, 0, 1919));
    } else {
        what = "override-redirect", managed = false, b.overrideRedirect();
    }
    TestClient client = b.create();
    client.connection().roundTrip();
    const uint32_t mask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_change_window_attributes(observer_.get(), client.window(), XCB_CW_EVENT_MASK, mask);
    observer_.roundTrip();
    client.mapNoWait();
    note("open " + what + " " + std::to_string(client.window()));
    clients_.push_back({std::move(client), managed});
}

void RandomClients::setMonitors() {
    const auto& layout = layouts[std::uniform_int_distribution<size_t>(0, layouts.size() - 1)(random_)];
    note("monitors: " + std::to_string(layout.size()));
    XServer::shared().setMonitors(layout);
}

void RandomClients::step() {
    const int op = std::uniform_int_distribution<int>(0, 99)(random_);
    Client* c = pick();
    std::vector<xcb_window_t> gone;
    if (op < 20 || !c) {
        if (clients_.size() < 40) open();
    } else if (op < 28) {
        note("close " + std::to_string(c->client.window()));
        gone.push_back(c->client.window());
        c->client.close();
    } else if (op < 33) {
        note("die " + std::to_string(c->client.window()));
        gone.push_back(c->client.window());
        c->client.die();
    } else if (op < 36) {
        // Mapped and gone before the manager can ask anything about it.
        open();
        note("die at once " + std::to_string(clients_.back().client.window()));
        gone.push_back(clients_.back().client.window());
        clients_.back().client.die();
    } else if (op < 41) {
        note("ask to close " + std::to_string(c->client.window()));
        c->client.requestClose();
    } else if (op < 47) {
        note("iconify " + std::to_string(c->client.window()));
        c->client.iconify();
    } else if (op < 55) {
        note("activate " + std::to_string(c->client.window()));
        c->client.requestActivate();
    } else if (op < 61 && options_.fullscreen) {
        const bool on = !c->client.hasNetWmState("_NET_WM_STATE_FULLSCREEN");
        note(std::string("fullscreen ") + (on ? "on " : "off ") + std::to_string(c->client.window()));
        c->client.requestFullscreen(on);
    } else if (op < 69) {
        const char* title = titles[std::uniform_int_distribution<size_t>(0, std::size(titles) - 1)(random_)];
        note("retitle " + std::to_string(c->client.window()));
        c->client.setTitle(title, op % 2 == 0, true);
    } else if (op < 77) {
        std::uniform_int_distribution<int> pos(-500, 6000), size(1, 4000);
        const Rect r{pos(random_), pos(random_), size(random_), size(random_)};
        std::ostringstream text;
        text << "resize " << c->client.window() << " to " << r;
        note(text.str());
        c->client.requestGeometry(r);
    } else if (op < 80) {
        if (!c->withdrawn) {
            note("withdraw " + std::to_string(c->client.window()));
            c->client.withdraw();
            c->withdrawn = true;
        } else {
            note("map again " + std::to_string(c->client.window()));
            c->client.mapNoWait();
            c->withdrawn = false;
        }
    } else if (op < 83) {
        setMonitors();
    } else if (op < 86) {
        const uint32_t desktop = std::uniform_int_distribution<uint32_t>(0, 3)(random_);
        note("show desktop " + std::to_string(desktop));
        // As a pager does; desktops that do not exist are part of the test.
        observer_.sendToRoot(observer_.root(), "_NET_CURRENT_DESKTOP", {desktop});
    } else if (op < 89) {
        const uint32_t desktop = std::uniform_int_distribution<uint32_t>(0, 3)(random_);
        note("move " + std::to_string(c->client.window()) + " to desktop " + std::to_string(desktop));
        c->client.requestDesktop(desktop);
    } else {
        if (clients_.size() < 40) open();
    }
    for (xcb_window_t w : gone) awaitDestroyed(w);
    manager_.sync();
    // A client that obeyed a close request destroyed its window on its own
    // time: let that reach the manager too.
    bool answered = false;
    for (auto& client : clients_)
        if (!client.client.alive() && std::find(gone.begin(), gone.end(), client.client.window()) == gone.end()) {
            awaitDestroyed(client.client.window());
            answered = true;
        }
    if (answered) manager_.sync();
    std::erase_if(clients_, [](const Client& client) { return !client.client.alive(); });
    checkClientList();
}

void RandomClients::checkClientList() {
    const auto list =
        observer_.property32(observer_.root(), observer_.atom("_NET_CLIENT_LIST")).value_or(std::vector<uint32_t>{});
    const std::set<xcb_window_t> listed(list.begin(), list.end());
    std::set<xcb_window_t> expected;
    for (const auto& c : clients_)
        if (c.managed && !c.withdrawn) expected.insert(c.client.window());
    for (xcb_window_t w : listed) {
        if (!options_.strictClientList || expected.count(w)) continue;
        auto c = std::find_if(clients_.begin(), clients_.end(), [w](const Client& c) { return c.client.window() == w; });
        fail("_NET_CLIENT_LIST names window " + std::to_string(w) +
             (c == clients_.end() ? ", which is gone"
              : c->withdrawn      ? ", which is withdrawn"
                                  : ", a dock or override-redirect window"));
    }
    for (xcb_window_t w : expected)
        if (!listed.count(w)) fail("window " + std::to_string(w) + " is missing from _NET_CLIENT_LIST");
}

void RandomClients::run(int steps) {
    for (int i = 0; i < steps; ++i) {
        ++step_;
        try {
            step();
        } catch (const HarnessError& e) {
            if (std::string(e.what()).find("TESSALINE_X11_STRESS_SEED") != std::string::npos) throw;
            fail(e.what());
        }
    }
}

void RandomClients::finish(bool restoresWindows) {
    note("stop the manager");
    const ManagerProcess::Exit exit = manager_.stop();
    if (!restoresWindows) return;
    if (exit != ManagerProcess::Exit{0, 0})
        fail("the manager stopped with status " + std::to_string(exit.code) + ", signal " + std::to_string(exit.signal));
    const auto monitors = XServer::shared().monitors();
    for (auto& c : clients_) {
        if (!c.managed || c.withdrawn) continue;
        const auto g = c.client.geometry();
        const bool onScreen = g && std::any_of(monitors.begin(), monitors.end(), [&](const Monitor& m) {
            return m.rect.contains(g->x + g->w / 2, g->y + g->h / 2);
        });
        if (!c.client.viewable() || !onScreen) {
            std::ostringstream text;
            text << "after stop, window " << c.client.window() << " is "
                 << (c.client.viewable() ? "mapped" : "not mapped") << " at ";
            if (g) text << *g; else text << "nowhere";
            fail(text.str());
        }
    }
}

}  // namespace tessaline::xtest
