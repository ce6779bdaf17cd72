#include "WithInput.h"

#include <unistd.h>

#include <cmath>
#include <sstream>

#include "app/shell/ChannelPath.h"
#include "app/shell/CommandClient.h"
#include "platform/input/KeyTable.h"

namespace tessaline::xtest {

namespace {

// "Tessaline — a | target …" or "floating: Tessaline — a": the title.
std::string titleOf(const std::string& label) {
    const std::string dash = " \u2014 ";
    const std::size_t start = label.find(dash);
    if (start == std::string::npos) return label;
    const std::size_t from = start + dash.size();
    return label.substr(from, label.find(" | ", from) - from);
}

}  // namespace

void WithInput::SetUp() { XServer::shared().setMonitors({{"left", kLeftMonitor, true}}); }

void WithInput::TearDown() {
    expectCleanStop(wm);
    EXPECT_TRUE(inputIsFree()) << "a grab outlived the manager";
}

TestClient& WithInput::open(const std::string& title, const ClientBuilder& builder) {
    clients.push_back(ClientBuilder(builder).title(title).open());
    wm.sync();
    return clients.back();
}

TestClient& WithInput::client(const std::string& title) {
    for (TestClient& c : clients) {
        if (c.alive() && c.connection().propertyText(c.window(), c.connection().atom("_NET_WM_NAME")) == title)
            return c;
    }
    throw HarnessError("no window titled " + title);
}

void WithInput::press(const KeyCombo& combo) {
    const auto key = KeyTable::xKeycode(combo.keyCode);
    const auto modifiers = KeyTable::xModifiers(combo.modifiers);
    if (!key || !modifiers) throw HarnessError("no key for " + combo.display());
    std::vector<uint8_t> chord;
    const std::pair<uint16_t, uint8_t> held[] = {{KeyTable::controlMask, keys::control},
                                                 {KeyTable::mod1Mask, keys::alt},
                                                 {KeyTable::shiftMask, keys::shift},
                                                 {KeyTable::mod4Mask, keys::super}};
    for (const auto& [mask, keycode] : held)
        if (*modifiers & mask) chord.push_back(keycode);
    chord.push_back(*key);
    user.chord(chord);
    wm.sync();
}

std::string WithInput::command(const std::string& word) {
    std::ostringstream out, err;
    shell::ClientOptions options;
    options.sockets = shell::channelSockets({(wm.home() / "runtime").string(), XServer::shared().display(), ::getuid()});
    options.out = &out;
    options.err = &err;
    if (shell::runClient(word, options) != 0) throw HarnessError(word + ": " + err.str());
    return out.str();
}

nlohmann::json WithInput::state() { return nlohmann::json::parse(command("state")); }

std::string WithInput::layout() {
    const nlohmann::json s = state();
    if (!s.value("running", false)) return "paused";
    std::string focused;
    for (TestClient& c : clients) {
        if (c.alive() && c.window() == active())
            focused = c.connection().propertyText(c.window(), c.connection().atom("_NET_WM_NAME")).value_or("");
    }
    const auto named = [&](const std::string& title) { return title == focused ? title + "*" : title; };

    std::string text;
    for (const auto& strip : s["strips"]) {
        if (strip["columns"].empty()) continue;
        if (!text.empty()) text += " | ";
        std::string line;
        for (const auto& column : strip["columns"]) {
            const auto& windows = column["windows"];
            std::string item;
            for (const auto& window : windows) {
                const std::string title = titleOf(window.get<std::string>());
                if (!item.empty()) item += " ";
                item += named(title);
                if (windows.size() > 1 && !column["tabbed"].get<bool>())
                    item += "/" + std::to_string(client(title).geometry().value_or(Rect{}).h);
            }
            if (windows.size() > 1) item = "(" + item + ")";
            if (column["tabbed"].get<bool>()) item += "t";
            const double width = column["width"].get<double>();
            if (std::fabs(width - 0.5) > 0.001) item += ":" + std::to_string(std::lround(width * 100));
            line += (line.empty() ? "" : " ") + item;
        }
        text += line;
    }
    for (const auto& window : s["untiled"]) text += " ~" + named(titleOf(window.get<std::string>()));
    return text;
}

}  // namespace tessaline::xtest
