// Tessaline, i3 and bspwm measured one after another on the same Xvfb, printed
// as one table. Usage: x11_side_by_side [--rounds N] [--only NAME] [--probe TEXT]
// (scripts/bench-x11 builds Tessaline in Release and runs this).

#include "SideBySide.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iostream>
#include <map>
#include <sstream>

namespace tessaline::bench {

namespace {

std::vector<Probe>& probes() {
    static std::vector<Probe> all;
    return all;
}

struct Manager {
    std::string name;
    xtest::ManagerOptions options;
};

std::vector<Manager> managers(std::string& skipped) {
    std::vector<Manager> all;
    if (std::string exe = xtest::ManagerOptions::tessalineExecutable(); !exe.empty()) {
        auto options = xtest::ManagerOptions::tessaline();
        options.args.clear();  // as a user runs it: X errors are logged, not fatal
        all.push_back({"Tessaline", options});
    } else {
        skipped = "Tessaline: skipped, no tessaline executable in this build (set TESSALINE_EXECUTABLE to measure one)";
    }
    // i3 gets Tessaline's focus keys and drags tiled windows with Super.
    auto i3 = xtest::ManagerOptions::i3();
    i3.files.at(0).second +=
        "bindsym Control+Mod1+Left focus left\n"
        "bindsym Control+Mod1+Right focus right\n"
        "floating_modifier Mod4\n";
    all.push_back({"i3", i3});
    all.push_back({"bspwm", xtest::ManagerOptions::bspwm()});
    return all;
}

std::string formatted(double v) {
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(v) >= 100 ? "%.0f" : std::fabs(v) >= 10 ? "%.1f" : "%.2f", v);
    return text;
}

const char* superscript(size_t n) {
    static const char* marks[] = {"¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
    return n < 9 ? marks[n] : "*";
}

// Display width of UTF-8 text, for column alignment.
size_t width(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

std::string pad(const std::string& s, size_t w, bool right) {
    std::string fill(w > width(s) ? w - width(s) : 0, ' ');
    return right ? fill + s : s + fill;
}

struct Table {
    std::vector<std::string> rowOrder;
    std::map<std::string, std::map<std::string, Value>> cells;  // row → manager → value
};

void print(const Table& table, const std::vector<Manager>& ms, const std::string& skipped) {
    const bool withTessaline = !ms.empty() && ms.front().name == "Tessaline";
    std::vector<std::string> header{""};
    for (const auto& m : ms) header.push_back(m.name);
    if (withTessaline)
        for (size_t i = 1; i < ms.size(); ++i) header.push_back("Tessaline/" + ms[i].name);

    std::vector<std::string> notes;
    auto noteMark = [&](const std::string& note) {
        if (note.empty()) return std::string();
        auto it = std::find(notes.begin(), notes.end(), note);
        if (it == notes.end()) it = notes.insert(notes.end(), note);
        return std::string(superscript(size_t(it - notes.begin())));
    };

    std::vector<std::vector<std::string>> lines{header};
    for (const auto& row : table.rowOrder) {
        const auto& byManager = table.cells.at(row);
        std::string unit;
        for (const auto& [manager, value] : byManager)
            if (!value.unit.empty()) unit = value.unit;
        std::vector<std::string> line{unit.empty() ? row : row + " (" + unit + ")"};
        for (const auto& m : ms) {
            auto it = byManager.find(m.name);
            if (it == byManager.end() || !it->second.value)
                line.push_back("—" + (it == byManager.end() ? "" : noteMark(it->second.note)));
            else
                line.push_back(formatted(*it->second.value) + noteMark(it->second.note));
        }
        if (withTessaline) {
            auto own = byManager.find("Tessaline");
            for (size_t i = 1; i < ms.size(); ++i) {
                auto peer = byManager.find(ms[i].name);
                const bool both = own != byManager.end() && own->second.value && peer != byManager.end() &&
                                  peer->second.value && *peer->second.value != 0;
                line.push_back(both ? formatted(*own->second.value / *peer->second.value) + "×" : "—");
            }
        }
        lines.push_back(line);
    }
    std::vector<size_t> widths(header.size(), 0);
    for (const auto& l : lines)
        for (size_t i = 0; i < l.size(); ++i) widths[i] = std::max(widths[i], width(l[i]));
    for (const auto& l : lines) {
        std::string text;
        for (size_t i = 0; i < l.size(); ++i) text += pad(l[i], widths[i], i > 0) + (i + 1 < l.size() ? "   " : "");
        std::cout << text << "\n";
    }
    for (size_t i = 0; i < notes.size(); ++i) std::cout << superscript(i) << " " << notes[i] << "\n";
    for (const auto& probe : probes())
        if (!probe.legend.empty()) std::cout << probe.legend << "\n";
    if (!skipped.empty()) std::cout << skipped << "\n";
    if (withTessaline) std::cout << "Ratios below 1× favour Tessaline.\n";
}

}  // namespace

Registration::Registration(Probe probe) { probes().push_back(std::move(probe)); }

TestClient& Session::open() {
    windows_.push_back(xtest::ClientBuilder().geometry({0, 0, 300, 200}).open());
    settle(windows_.back());
    return windows_.back();
}

void Session::open(int n) {
    for (int i = 0; i < n; ++i) open();
}

void Session::closeAll() {
    for (auto& w : windows_) w.close();
    windows_.clear();
    settle();
}

void Session::settle(TestClient& window) {
    if (hasSync_) manager_.sync();
    for (;;) {
        const uint64_t seen = window.connection().received();
        if (!xtest::waitUntil([&] { return window.connection().received() > seen; }, quietSpell)) return;
    }
}

void Session::settle() {
    if (hasSync_) manager_.sync();
    const auto heard = [this] {
        uint64_t events = 0;
        for (auto& w : windows_) events += w.connection().received();
        return events;
    };
    for (;;) {
        const uint64_t seen = heard();
        if (!xtest::waitUntil([&] { return heard() > seen; }, quietSpell)) return;
    }
}

std::chrono::nanoseconds Session::cpu() const {
    // The first field is the time spent on a CPU in nanoseconds: far finer
    // than the clock ticks of /proc/PID/stat.
    std::ifstream in("/proc/" + std::to_string(manager_.pid()) + "/schedstat");
    long long ns = 0;
    in >> ns;
    return std::chrono::nanoseconds(ns);
}

namespace {

double rssOf(const std::filesystem::path& process) {
    std::ifstream in(process / "status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("VmRSS:")) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

}  // namespace

double Session::rssMiB() const { return rssOf("/proc/" + std::to_string(manager_.pid())); }

std::optional<double> Session::companionRssMiB() const {
    const std::string owner = std::string("--owner") + '\0' + std::to_string(manager_.pid()) + '\0';
    std::optional<double> total;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream in(entry.path() / "cmdline");
        const std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (cmdline.find(owner) != std::string::npos) total = total.value_or(0) + rssOf(entry.path());
    }
    return total;
}

double median(std::vector<double> values) { return percentile(std::move(values), 50); }

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t at = size_t(std::ceil(p / 100.0 * double(values.size()))) - (p > 0 ? 1 : 0);
    return values[std::min(at, values.size() - 1)];
}

int rounds = 25;

}  // namespace tessaline::bench

int main(int argc, char** argv) {
    using namespace tessaline::bench;
    std::string only, probeText;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
        else if (!std::strcmp(argv[i], "--probe") && i + 1 < argc) probeText = argv[++i];
        else {
            std::cerr << "usage: " << argv[0] << " [--rounds N] [--only Tessaline|i3|bspwm] [--probe TEXT]\n";
            return 2;
        }
    }
    // One monitor of a common size, the same for every manager.
    tessaline::xtest::XServer::configure({.width = 1920, .height = 1080});
    auto& server = tessaline::xtest::XServer::shared();
    server.setMonitors({});

    std::string skipped;
    std::vector<Manager> ms = managers(skipped);
    if (!only.empty())
        std::erase_if(ms, [&](const Manager& m) { return m.name != only; });
    // Only the probes whose name holds the text, e.g. --probe CLI.
    std::erase_if(probes(), [&](const Probe& p) { return p.name.find(probeText) == std::string::npos; });
    std::sort(probes().begin(), probes().end(), [](const Probe& a, const Probe& b) { return a.order < b.order; });

    Table table;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> rowsOf;  // probe → its rows and units
    for (const auto& m : ms) {
        for (const auto& probe : probes()) {
            std::cerr << m.name << ": " << probe.name << "…\n";
            std::vector<Value> values;
            try {
                ManagerProcess wm(m.options);
                wm.start();
                Session session(m.name, wm, !m.options.syncAtom.empty());
                values = probe.run(session);
                session.closeAll();
            } catch (const std::exception& e) {
                std::cerr << m.name << ": " << probe.name << " failed: " << e.what() << "\n";
                const std::string note = std::string("failed: ") + e.what();
                for (const auto& row : rowsOf[probe.name]) values.push_back({row.first, row.second, std::nullopt, note});
                if (values.empty()) values = {{probe.name, "", std::nullopt, note}};
            }
            for (auto& v : values) {
                if (v.value && std::find(rowsOf[probe.name].begin(), rowsOf[probe.name].end(),
                                         std::pair{v.row, v.unit}) == rowsOf[probe.name].end())
                    rowsOf[probe.name].emplace_back(v.row, v.unit);
                if (!table.cells.count(v.row)) table.rowOrder.push_back(v.row);
                table.cells[v.row][m.name] = v;
            }
        }
    }
    print(table, ms, skipped);
    return 0;
}
