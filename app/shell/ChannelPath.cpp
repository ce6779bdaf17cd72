#include "app/shell/ChannelPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaline::shell {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::string sanitized(std::string_view text) {
    std::string out;
    for (char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '_' || c == '-';
        out += plain ? c : '_';
    }
    return out;
}

bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool ownedDirectory(const fs::path& folder, uid_t uid) {
    struct stat info {};
    return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid;
}

}  // namespace

ChannelEnvironment ChannelEnvironment::current() {
    return {variable("XDG_RUNTIME_DIR"), variable("DISPLAY"), geteuid()};
}

std::string channelName(std::optional<std::string_view> display) {
    if (!display || display->empty()) return "display-none";
    std::string_view text = *display;
    // XCB accepts "unix/:0" and "tcp/host:0"; the protocol does not change the display.
    if (std::size_t slash = text.find('/'); slash != std::string_view::npos && text.find(':') > slash) {
        std::string_view protocol = text.substr(0, slash);
        if (protocol == "unix") text = text.substr(slash + 1);
    }
    std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return "display-" + sanitized(text);
    std::string_view host = text.substr(0, colon);
    std::string_view number = text.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (!allDigits(number)) return "display-" + sanitized(text);
    if (host.empty() || host == "unix") return "display-" + std::string(number);
    return "display-" + sanitized(host) + "-" + std::string(number);
}

std::vector<fs::path> channelSockets(const ChannelEnvironment& environment) {
    const std::string name = channelName(environment.display);
    std::vector<fs::path> folders;
    if (environment.runtimeDirectory && fs::path(*environment.runtimeDirectory).is_absolute()) {
        folders.push_back(fs::path(*environment.runtimeDirectory) / "tessaline");
    }
    fs::path userRuntime = fs::path("/run/user") / std::to_string(environment.uid);
    if (ownedDirectory(userRuntime, environment.uid)) folders.push_back(userRuntime / "tessaline");
    folders.push_back(fs::path("/tmp") / ("tessaline-" + std::to_string(environment.uid)));

    std::vector<fs::path> sockets;
    for (const auto& folder : folders) {
        fs::path socket = (folder / name).lexically_normal();
        if (std::find(sockets.begin(), sockets.end(), socket) == sockets.end()) sockets.push_back(socket);
    }
    return sockets;
}

bool isPrivateDirectory(const fs::path& folder) {
    struct stat info {};
    return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

bool makePrivateDirectory(const fs::path& folder, std::string& problem) {
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = "couldn't create " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) {
        problem = "couldn't look at " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        problem = folder.string() + " is not a folder";
        return false;
    }
    if (info.st_uid != geteuid()) {
        problem = folder.string() + " belongs to another user";
        return false;
    }
    if ((info.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0) {
        problem = "couldn't make " + folder.string() + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tessaline::shell
