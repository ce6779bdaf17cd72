#include "core/LayoutConfig.h"

namespace tessaline {

std::string toString(CentreMode mode) {
    switch (mode) {
        case CentreMode::never: return "never";
        case CentreMode::onOverflow: return "onOverflow";
        case CentreMode::always: return "always";
    }
    return "never";
}

std::optional<CentreMode> centreModeFromString(std::string_view text) {
    if (text == "never") return CentreMode::never;
    if (text == "onOverflow") return CentreMode::onOverflow;
    if (text == "always") return CentreMode::always;
    return std::nullopt;
}

}  // namespace tessaline
