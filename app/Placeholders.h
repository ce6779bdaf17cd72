#pragma once
// A stand-in for the input source until the X11 version exists: it does
// nothing, and says so once in the log.

#include "engine/platform/Platform.h"

namespace tessaline {

class PlaceholderInput final : public InputSource {
public:
    void start(EventHandler handler) override;
    void stop() override {}
    void configure(const InputOptions&) override {}
    void watchKeys(bool) override {}
    Point pointer() const override { return {}; }
    int pressedButtons() const override { return 0; }
    void warpPointer(Point) override {}

private:
    bool said_ = false;
};

}  // namespace tessaline
