#include "engine/wm/ManagedWindow.h"

#include <array>
#include <utility>

namespace tessaline {

namespace {

constexpr std::array<std::pair<ManagedWindow::State, std::string_view>, 5> stateNames = {{
    {ManagedWindow::State::tiled, "tiled"},
    {ManagedWindow::State::floating, "floating"},
    {ManagedWindow::State::minimized, "minimized"},
    {ManagedWindow::State::fullscreen, "fullscreen"},
    {ManagedWindow::State::hidden, "hidden"},
}};

}  // namespace

std::string_view toString(ManagedWindow::State state) {
    for (const auto& [value, name] : stateNames) {
        if (value == state) return name;
    }
    return {};
}

std::optional<ManagedWindow::State> windowStateFromString(std::string_view text) {
    for (const auto& [value, name] : stateNames) {
        if (name == text) return value;
    }
    return std::nullopt;
}

}  // namespace tessaline
