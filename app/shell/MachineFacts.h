#pragma once
// What the diagnostics report and the setup checks know about the machine.
// The X side overrides the display facts (it holds the connection); the rest
// is read here from the kernel's and the distribution's files.

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tessaline::shell {

struct SystemFacts {
    std::string distribution;  // PRETTY_NAME of /etc/os-release
    std::string kernel;        // the kernel release
    std::string model;         // the machine's product name
    std::string processor;     // the CPU's model name
    friend bool operator==(const SystemFacts&, const SystemFacts&) = default;
};

struct DisplayAccess {
    bool reachable = false;
    // The window manager holding the display ("Tessaline" when we do);
    // absent when none does.
    std::optional<std::string> manager;
};

// One of the user's processes, with the names it goes by: its command name,
// its program's file name and, for a script, the script's file name.
struct ProcessInfo {
    pid_t pid = 0;
    std::vector<std::string> names;
};

class MachineFacts {
public:
    virtual ~MachineFacts() = default;

    // ---- the display, answered by the X side
    virtual std::string displayName() const;  // $DISPLAY, or "?"
    virtual DisplayAccess displayAccess() const { return {}; }
    // One name per monitor ("eDP-1"), primary first.
    virtual std::vector<std::string> displays() const { return {}; }
    // Whether each display shows workspaces of its own.
    virtual bool separateWorkspaces() const { return true; }
    // The XKB layout ("us", "de(nodeadkeys)"), absent when unknown.
    virtual std::optional<std::string> keyboardLayout() const { return std::nullopt; }
    // The desktop's accessibility settings that are on, of "Reduce motion",
    // "Increase contrast", "Reduce transparency", in that order.
    virtual std::vector<std::string> accessibilitySettings() const { return {}; }
    // Whether a touchpad that reports multi-finger swipes is attached.
    virtual bool gestureTouchpad() const { return false; }

    // ---- read from the system
    virtual SystemFacts system() const;
    // The processes of the effective user, in process-id order.
    virtual std::vector<ProcessInfo> processes() const;
    // Opens a URL or a "man:" page with the desktop's opener, without waiting.
    virtual void open(const std::string& target) const;
};

// The PRETTY_NAME of an os-release text (quotes and escapes undone), else its
// NAME, else "Linux".
std::string distributionName(std::string_view osRelease);

// The first "model name" (or "Hardware", "cpu model") of a /proc/cpuinfo text.
std::optional<std::string> processorName(std::string_view cpuinfo);

// The names a process goes by, from its /proc comm and cmdline contents
// (arguments separated by NUL bytes).
std::vector<std::string> processNames(std::string_view comm, std::string_view cmdline);

}  // namespace tessaline::shell
