#include "app/shell/CommandWords.h"

#include "engine/actions/Action.h"

#include <algorithm>
#include <array>

namespace tessaline::shell {

const std::string_view usageText =
    "Usage: tessaline <command>\n"
    "\n"
    "Commands:\n"
    "  state       Print the current strips as JSON\n"
    "  log         Print the last 10 minutes of Tessaline's log\n"
    "  diagnostics Print a report for a bug report (no window titles)\n"
    "  snapshot    Render the timeline and focus border to PNGs\n"
    "  retile      Re-apply the layout to every window\n"
    "  settings    Open the settings window\n"
    "  update      Check for updates\n"
    "  start/stop  Resume or pause tiling";

namespace {

// The last two are sent by the settings window while it records a shortcut;
// they are left out of the usage text, which lists what people type.
constexpr std::array<std::string_view, 11> builtIns = {
    "state", "retile", "settings", "start", "stop", "snapshot", "log", "diagnostics", "update",
    "holdshortcuts", "releaseshortcuts"};

constexpr std::array<std::string_view, 4> replying = {"state", "snapshot", "log", "diagnostics"};

bool contains(const auto& list, std::string_view word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%2F" and friends; a malformed escape stays as written.
std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

constexpr std::string_view scheme = "tessaline:";

}  // namespace

std::string lowerCased(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string helpText() {
    std::string out(usageText);
    out += "\n\nActions:\n";
    for (Action action : allActions()) {
        out += "  " + padded(toString(action), 18) + title(action) + "\n";
    }
    // `open` is the macOS way; on Linux the desktop's URL opener is xdg-open.
    out += "\nThe same names work as URLs, for example: xdg-open tessaline://focusRight\n";
    return out;
}

bool isBuiltInWord(std::string_view lowerName) { return contains(builtIns, lowerName); }

bool isKnownCommand(std::string_view command) {
    return actionNamed(command).has_value() || isBuiltInWord(lowerCased(command));
}

bool expectsReply(std::string_view lowerName) { return contains(replying, lowerName); }

std::chrono::milliseconds replyDeadline(std::string_view lowerName) {
    using namespace std::chrono_literals;
    return lowerName == "log" || lowerName == "diagnostics" ? 15s : 3s;
}

std::vector<CommandWord> builtInWords() {
    // Read back from the usage text, so the man page and the completions
    // describe each word exactly as `tessaline help` does.
    std::vector<CommandWord> words;
    std::string_view rest = usageText;
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!line.starts_with("  ")) continue;
        line.remove_prefix(2);
        std::size_t gap = line.find(' ');
        if (gap == std::string_view::npos) continue;
        std::string_view names = line.substr(0, gap);
        std::string_view description = line.substr(line.find_first_not_of(' ', gap));
        while (!names.empty()) {
            std::size_t slash = names.find('/');
            words.push_back({std::string(names.substr(0, slash)), std::string(description)});
            names = slash == std::string_view::npos ? std::string_view{} : names.substr(slash + 1);
        }
    }
    return words;
}

bool isCommandURL(std::string_view argument) {
    return argument.size() >= scheme.size() && lowerCased(argument.substr(0, scheme.size())) == scheme;
}

std::optional<std::string> commandFromURL(std::string_view url) {
    if (!isCommandURL(url)) return std::nullopt;
    std::string_view rest = url.substr(scheme.size());
    rest = rest.substr(0, rest.find_first_of("?#"));

    std::string_view path = rest;
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        std::size_t slash = rest.find('/');
        std::string_view host = rest.substr(0, slash);
        if (!host.empty()) return percentDecoded(host);
        path = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
    }
    std::size_t first = path.find_first_not_of('/');
    if (first == std::string_view::npos) return std::string();
    std::size_t last = path.find_last_not_of('/');
    return percentDecoded(path.substr(first, last - first + 1));
}

}  // namespace tessaline::shell
