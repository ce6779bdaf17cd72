#include "XServer.h"

#include "Spawn.h"

#include <xcb/randr.h>
#include <xcb/xcbext.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <optional>

namespace tessaline::xtest {

namespace {

std::optional<XServer::Options>& chosenOptions() {
    static std::optional<XServer::Options> options;
    return options;
}

XServer::Options sharedOptions() {
    if (chosenOptions()) return *chosenOptions();
    XServer::Options options;
    if (const char* size = std::getenv("TESSALINE_TEST_SCREEN"))
        std::sscanf(size, "%dx%d", &options.width, &options.height);
    return options;
}

// Reads the display number Xvfb writes once it accepts connections; empty
// when it quits or stays silent first.
std::string readDisplayNumber(int fd) {
    std::string number;
    char c = 0;
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, int(waitLimit().count())) == 1 && ::read(fd, &c, 1) == 1 && c != '\n') number += c;
    return c == '\n' ? number : std::string();
}

void endProcess(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        usleep(10000);  // at exit only: Xvfb removes its lock file on SIGTERM
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// 96 dots per inch, as Xvfb itself assumes.
uint32_t millimetres(int pixels) { return uint32_t(pixels * 254 / 960); }

// RRSetMonitor by hand: libxcb-randr 1.15's xcb_randr_set_monitor computes the
// length of its variable part wrongly and trips an assertion in libxcb.
void setMonitor(xcb_connection_t* c, xcb_window_t root, const xcb_randr_monitor_info_t& info,
                const xcb_randr_output_t* output) {
    xcb_randr_set_monitor_request_t header{};
    header.major_opcode = 0;  // filled in by XCB from the extension
    header.minor_opcode = XCB_RANDR_SET_MONITOR;
    header.window = root;
    std::vector<uint8_t> body(sizeof info + (output ? sizeof *output : 0));
    std::memcpy(body.data(), &info, sizeof info);
    if (output) std::memcpy(body.data() + sizeof info, output, sizeof *output);
    iovec parts[4];
    parts[2] = {&header, sizeof header};
    parts[3] = {body.data(), body.size()};
    xcb_protocol_request_t request{2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    xcb_send_request(c, 0, parts + 2, &request);
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Monitor& m) {
    return out << m.name << " " << m.rect << (m.primary ? " primary" : "");
}

XServer& XServer::shared() {
    static XServer server(sharedOptions());
    return server;
}

void XServer::configure(Options options) { chosenOptions() = options; }

XServer::XServer(Options options) : options_(options) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw HarnessError("pipe failed");
    const std::string screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
    pid_ = spawn({.argv = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp",
                           "-screen", "0", screen},
                  .inheritFd = fds[1]});
    ::close(fds[1]);
    std::string number = readDisplayNumber(fds[0]);
    ::close(fds[0]);
    if (number.empty()) {
        endProcess(pid_);
        throw HarnessError("Xvfb did not start (is the xvfb package installed?)");
    }
    display_ = ":" + number;
    control_ = std::make_unique<Connection>(display_);
}

XServer::~XServer() {
    control_.reset();
    if (pid_ > 0) endProcess(pid_);
}

std::vector<Monitor> XServer::monitors() {
    xcb_connection_t* c = control_->get();
    auto* reply = xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, control_->root(), 1), nullptr);
    std::vector<Monitor> result;
    if (!reply) return result;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem; xcb_randr_monitor_info_next(&it))
        result.push_back({control_->atomName(it.data->name),
                          {it.data->x, it.data->y, it.data->width, it.data->height},
                          it.data->primary != 0});
    free(reply);
    return result;
}

void XServer::setMonitors(const std::vector<Monitor>& wanted) {
    xcb_connection_t* c = control_->get();
    const xcb_window_t root = control_->root();
    const size_t errorsBefore = control_->errors().size();
    // The automatic monitor of an output cannot be deleted; it gives way by itself.
    if (auto* reply = xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr)) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem; xcb_randr_monitor_info_next(&it))
            if (!it.data->automatic) xcb_randr_delete_monitor(c, root, it.data->name);
        free(reply);
    }

    // Xvfb's one output goes to the first monitor, which replaces the automatic
    // monitor of that output; the others have no output.
    auto* resources = xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, root), nullptr);
    xcb_randr_output_t output = XCB_NONE;
    if (resources && xcb_randr_get_screen_resources_current_outputs_length(resources) > 0)
        output = xcb_randr_get_screen_resources_current_outputs(resources)[0];
    free(resources);

    bool first = true;
    for (const Monitor& m : wanted) {
        // Name, primary, automatic, outputs, position and size in pixels, then in millimetres.
        const xcb_randr_monitor_info_t info{control_->atom(m.name), m.primary, 0,
                                            uint16_t(first && output != XCB_NONE ? 1 : 0),
                                            int16_t(m.rect.x), int16_t(m.rect.y), uint16_t(m.rect.w), uint16_t(m.rect.h),
                                            millimetres(m.rect.w), millimetres(m.rect.h)};
        setMonitor(c, root, info, info.nOutput ? &output : nullptr);
        first = false;
    }
    control_->roundTrip();
    control_->pump();
    if (control_->errors().size() > errorsBefore)
        throw HarnessError("setting monitors failed with X error " + std::to_string(control_->errors().back().first));
}

}  // namespace tessaline::xtest
