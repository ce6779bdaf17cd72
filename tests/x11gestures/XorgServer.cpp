#include "XorgServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xorg/xf86-input-inputtest-protocol.h>

#include "Spawn.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tessaline::xinputtest {

namespace {

std::string config(const std::string& dir) {
    return R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
EndSection
Section "Device"
  Identifier "video"
  Driver "dummy"
  VideoRam 32768
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "video"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 1280 800
  EndSubSection
EndSection
Section "InputDevice"
  Identifier "touchpad"
  Driver "inputtest"
  Option "SocketPath" ")" + dir + R"(/touchpad"
  Option "DeviceType" "PointerGesture"
EndSection
Section "InputDevice"
  Identifier "mouse"
  Driver "inputtest"
  Option "SocketPath" ")" + dir + R"(/mouse"
  Option "DeviceType" "Pointer"
EndSection
Section "ServerLayout"
  Identifier "layout"
  Screen "screen"
  InputDevice "touchpad"
  InputDevice "mouse"
EndSection
)";
}

}  // namespace

InputTestDevice::InputTestDevice(const std::string& socketPath) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot reach the inputtest device at " + socketPath);
    }
    xf86ITEventClientVersion version{};
    version.header = {sizeof version, XF86IT_EVENT_CLIENT_VERSION};
    version.major = XF86IT_PROTOCOL_VERSION_MAJOR;
    version.minor = XF86IT_PROTOCOL_VERSION_MINOR;
    send(&version, sizeof version);
    xf86ITResponseServerVersion answer;
    if (read(fd_, &answer, sizeof answer) != sizeof answer) {
        throw std::runtime_error("the inputtest device did not answer");
    }
}

InputTestDevice::~InputTestDevice() { close(fd_); }

void InputTestDevice::send(const void* data, std::size_t size) {
    if (write(fd_, data, size) != static_cast<ssize_t>(size)) {
        throw std::runtime_error("cannot write to the inputtest device");
    }
}

void InputTestDevice::swipe(std::uint16_t type, int fingers, double dx, double dy) {
    xf86ITEventGestureSwipe e{};
    e.header = {sizeof e, XF86IT_EVENT_GESTURE_SWIPE};
    e.gesture_type = type;
    e.num_touches = static_cast<std::uint16_t>(fingers);
    e.delta_x = e.delta_unaccel_x = dx;
    e.delta_y = e.delta_unaccel_y = dy;
    send(&e, sizeof e);
}

void InputTestDevice::scroll(int valuator, double value) {
    xf86ITEventMotion e{};
    e.header = {sizeof e, XF86IT_EVENT_MOTION};
    e.valuators.mask[valuator / 8] |= static_cast<std::uint8_t>(1u << (valuator % 8));
    e.valuators.valuators[valuator] = value;
    send(&e, sizeof e);
}

void InputTestDevice::sync() {
    xf86ITEventWaitForSync e{};
    e.header = {sizeof e, XF86IT_EVENT_WAIT_FOR_SYNC};
    send(&e, sizeof e);
    xf86ITResponseSyncFinished done;
    if (read(fd_, &done, sizeof done) != sizeof done) {
        throw std::runtime_error("the inputtest device did not sync");
    }
}

std::unique_ptr<XorgServer> XorgServer::start(std::string& why) {
    if (access("/usr/lib/xorg/modules/input/inputtest_drv.so", R_OK) != 0 ||
        access("/usr/lib/xorg/modules/drivers/dummy_drv.so", R_OK) != 0) {
        why = "Xorg's dummy video and inputtest input drivers are not installed";
        return nullptr;
    }
    char dirTemplate[] = "/tmp/tessaline-xorg-XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        why = "no temporary folder";
        return nullptr;
    }
    std::unique_ptr<XorgServer> server(new XorgServer);
    server->dir_ = dirTemplate;
    std::ofstream(server->dir_ + "/xorg.conf") << config(server->dir_);

    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        why = "pipe failed";
        return nullptr;
    }
    const std::string& dir = server->dir_;
    server->pid_ = xtest::spawn({.argv = {"Xorg", "-config", dir + "/xorg.conf", "-configdir", dir + "/none",
                                          "-logfile", dir + "/xorg.log", "-displayfd", std::to_string(ready[1]),
                                          "-noreset", "-nolisten", "tcp", "-novtswitch", "-sharevts"},
                                 .inheritFd = ready[1]});
    close(ready[1]);
    char c;
    while (read(ready[0], &c, 1) == 1 && c != '\n') server->display_ += c;
    close(ready[0]);
    if (server->display_.empty()) {
        why = "Xorg did not start (see its log in " + server->dir_ + ")";
        return nullptr;
    }
    server->display_ = ":" + server->display_;
    server->touchpad_ = std::make_unique<InputTestDevice>(server->dir_ + "/touchpad");
    server->mouse_ = std::make_unique<InputTestDevice>(server->dir_ + "/mouse");
    return server;
}

XorgServer::~XorgServer() {
    touchpad_.reset();
    mouse_.reset();
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

}  // namespace tessaline::xinputtest
