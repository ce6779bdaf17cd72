#pragma once
// A private Xorg with the dummy video driver and two devices of the inputtest
// driver: a touchpad that reports swipes and smooth scrolling, and a mouse
// whose wheel has smooth-scroll valuators. Tests play the devices through the
// driver's sockets.

#include <cstdint>
#include <memory>
#include <string>

namespace tessaline::xinputtest {

class InputTestDevice {
public:
    explicit InputTestDevice(const std::string& socketPath);
    ~InputTestDevice();
    InputTestDevice(const InputTestDevice&) = delete;
    InputTestDevice& operator=(const InputTestDevice&) = delete;

    // type: XI_GestureSwipeBegin, Update or End.
    void swipe(std::uint16_t type, int fingers, double dx, double dy);
    void scroll(int valuator, double value);
    // Returns once the server has handled everything sent before.
    void sync();

private:
    void send(const void* data, std::size_t size);
    int fd_ = -1;
};

class XorgServer {
public:
    // Absent, with the reason, when Xorg or its drivers are not there.
    static std::unique_ptr<XorgServer> start(std::string& why);
    ~XorgServer();

    const std::string& display() const { return display_; }
    InputTestDevice& touchpad() { return *touchpad_; }
    InputTestDevice& mouse() { return *mouse_; }

private:
    XorgServer() = default;
    int pid_ = -1;
    std::string dir_;
    std::string display_;
    std::unique_ptr<InputTestDevice> touchpad_, mouse_;
};

}  // namespace tessaline::xinputtest
