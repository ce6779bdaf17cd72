#pragma once
// A desktop with one 1440×900 display and a started window system that
// records every event it delivers.

#include <gtest/gtest.h>

#include <vector>

#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimFrameWriter.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimOverlays.h"
#include "platform/sim/SimScheduler.h"
#include "platform/sim/SimWindowSystem.h"

namespace tessaline::testing {

class SimDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        display = desk.addDisplay(Rect{0, 0, 1440, 900}, "Built-in");
        system->start([this](const SystemEvent& event) { events.push_back(event); });
    }

    // Launches an application and connects it, the way the engine would.
    ProcessID connectedApp(std::string name = "Editor", double latency = 0.01) {
        const ProcessID pid =
            desk.launchApp(AppSpec{.name = name, .bundleID = "com.example." + name, .latency = latency});
        system->connect(pid, [](auto) {});
        desk.advance(latency + 0.001);
        EXPECT_TRUE(system->isConnected(pid));
        events.clear();
        return pid;
    }

    void watch(WindowID id) { system->watch(desk.handleOf(id), desk.window(id)->pid); }

    template <typename T>
    std::vector<T> eventsOf() const {
        std::vector<T> result;
        for (const auto& e : events)
            if (auto* t = std::get_if<T>(&e)) result.push_back(*t);
        return result;
    }

    std::vector<WindowEvent> windowEvents() const {
        std::vector<WindowEvent> result;
        for (const auto& n : eventsOf<WindowNotification>()) result.push_back(n.event);
        return result;
    }

    SimDesktop desk;
    std::shared_ptr<SimWindowSystem> system = desk.system();
    std::shared_ptr<SimFrameWriter> writer = desk.writer();
    std::shared_ptr<SimInput> input = desk.input();
    std::string display;
    std::vector<SystemEvent> events;
};

}  // namespace tessaline::testing
