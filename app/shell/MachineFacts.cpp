#include "app/shell/MachineFacts.h"

#include "app/shell/Launch.h"
#include "engine/log/Log.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace tessaline::shell {

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        out.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return out;
}

// os-release values follow shell quoting: "...", '...' or bare with backslash escapes.
std::string unquoted(std::string_view value) {
    value = trimmed(value);
    std::string out;
    char quote = 0;
    if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
        quote = value.front();
        value.remove_prefix(1);
        if (!value.empty() && value.back() == quote) value.remove_suffix(1);
    }
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && quote != '\'' && i + 1 < value.size()) ++i;
        out += value[i];
    }
    return out;
}

std::string baseName(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool isInterpreter(std::string_view name) {
    for (std::string_view prefix : {"python", "perl", "ruby", "node", "bash", "sh", "dash"}) {
        if (name.starts_with(prefix)) return true;
    }
    return false;
}

}  // namespace

std::string distributionName(std::string_view osRelease) {
    std::optional<std::string> pretty, name;
    for (std::string_view line : lines(osRelease)) {
        if (line.starts_with("PRETTY_NAME=")) pretty = unquoted(line.substr(12));
        if (line.starts_with("NAME=")) name = unquoted(line.substr(5));
    }
    if (pretty && !pretty->empty()) return *pretty;
    if (name && !name->empty()) return *name;
    return "Linux";
}

std::optional<std::string> processorName(std::string_view cpuinfo) {
    for (std::string_view key : {"model name", "Hardware", "cpu model"}) {
        for (std::string_view line : lines(cpuinfo)) {
            std::size_t colon = line.find(':');
            if (colon == std::string_view::npos || trimmed(line.substr(0, colon)) != key) continue;
            std::string_view value = trimmed(line.substr(colon + 1));
            if (!value.empty()) return std::string(value);
        }
    }
    return std::nullopt;
}

std::vector<std::string> processNames(std::string_view comm, std::string_view cmdline) {
    std::vector<std::string> names;
    auto add = [&](std::string name) {
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    };
    add(std::string(trimmed(comm)));
    std::vector<std::string_view> arguments;
    while (!cmdline.empty()) {
        std::size_t end = cmdline.find('\0');
        arguments.push_back(cmdline.substr(0, end));
        cmdline = end == std::string_view::npos ? std::string_view{} : cmdline.substr(end + 1);
    }
    if (arguments.empty()) return names;
    std::string program = baseName(arguments.front());
    add(program);
    // "python3 -u /usr/bin/libinput-gestures": the script is the program that matters.
    if (isInterpreter(program)) {
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i].starts_with("-")) continue;
            add(baseName(arguments[i]));
            break;
        }
    }
    return names;
}

std::string MachineFacts::displayName() const {
    const char* display = std::getenv("DISPLAY");
    return display && *display ? display : "?";
}

SystemFacts MachineFacts::system() const {
    SystemFacts facts;
    std::string osRelease = readText("/etc/os-release");
    if (osRelease.empty()) osRelease = readText("/usr/lib/os-release");
    facts.distribution = distributionName(osRelease);
    utsname names{};
    bool named = uname(&names) == 0;
    facts.kernel = named ? names.release : "?";
    std::string model(trimmed(readText("/sys/class/dmi/id/product_name")));
    if (model.empty()) model = std::string(trimmed(readText("/sys/firmware/devicetree/base/model")));
    if (!model.empty() && model.back() == '\0') model.pop_back();
    facts.model = model.empty() ? "?" : model;
    facts.processor = processorName(readText("/proc/cpuinfo")).value_or(named ? names.machine : "?");
    return facts;
}

std::vector<ProcessInfo> MachineFacts::processes() const {
    std::vector<ProcessInfo> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        pid_t pid = 0;
        auto [end, parsed] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (parsed != std::errc{} || end != name.data() + name.size()) continue;
        struct stat info {};
        if (stat(entry.path().c_str(), &info) != 0 || info.st_uid != geteuid()) continue;
        // A process may end between the listing and these reads: it just has fewer names.
        auto names = processNames(readText(entry.path() / "comm"), readText(entry.path() / "cmdline"));
        if (!names.empty()) found.push_back({pid, std::move(names)});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return found;
}

void MachineFacts::open(const std::string& target) const {
    if (auto opener = findProgram("xdg-open")) {
        launchDetached(*opener, {target});
    } else {
        Log::lifecycle.error([&] { return "couldn't open " + target + ": xdg-open isn't installed"; });
    }
}

}  // namespace tessaline::shell
