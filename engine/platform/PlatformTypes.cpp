#include "engine/platform/PlatformTypes.h"

#include <array>
#include <utility>

namespace tessaline {

namespace {

constexpr std::array<std::pair<WindowEvent, std::string_view>, 8> kWindowEventNames{{
    {WindowEvent::created, "created"},
    {WindowEvent::focusChanged, "focusChanged"},
    {WindowEvent::destroyed, "destroyed"},
    {WindowEvent::minimized, "minimized"},
    {WindowEvent::restored, "restored"},
    {WindowEvent::moved, "moved"},
    {WindowEvent::resized, "resized"},
    {WindowEvent::titleChanged, "titleChanged"},
}};

}  // namespace

std::string_view toString(WindowEvent event) {
    for (const auto& [value, name] : kWindowEventNames)
        if (value == event) return name;
    return "unknown";
}

std::optional<WindowEvent> windowEventFromString(std::string_view text) {
    for (const auto& [value, name] : kWindowEventNames)
        if (name == text) return value;
    return std::nullopt;
}

}  // namespace tessaline
