#pragma once
// Input events as short lines ("scroll began", "swipe -12", "down 100,120"),
// so that a test compares what a device delivered in one EXPECT_EQ.

#include <cstdio>
#include <string>
#include <vector>

#include "engine/platform/PlatformTypes.h"
#include "engine/wm/Overloaded.h"

namespace tessaline::testing {

using Lines = std::vector<std::string>;

inline std::string describe(const InputEvent& event) {
    const auto number = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", v);
        return std::string(text);
    };
    return std::visit(
        Overloaded{
            [](const SwipeBegan&) { return std::string("swipe began"); },
            [&](const SwipeMoved& e) { return "swipe " + number(e.delta); },
            [](const SwipeEnded&) { return std::string("swipe ended"); },
            [](const ScrollBegan&) { return std::string("scroll began"); },
            [&](const ScrollMoved& e) { return "scroll " + number(e.delta); },
            [&](const ScrollEnded& e) { return "scroll ended " + number(e.velocity); },
            [](const ScrollStepped& e) { return "stepped " + std::to_string(e.steps); },
            [](const ModifiersChanged& e) { return "mods " + std::to_string(e.modifiers.rawValue); },
            [](const MouseDown& e) {
                return "down " + std::to_string(int(e.point.x)) + "," + std::to_string(int(e.point.y));
            },
            [](const MouseUp&) { return std::string("up"); },
            [](const PointerMoved&) { return std::string("moved"); },
            [](const KeyDown&) { return std::string("key"); },
            [](const auto&) { return std::string("other"); },
        },
        event);
}

}  // namespace tessaline::testing
