#include "app/Placeholders.h"

#include "engine/log/Log.h"

namespace tessaline {

void PlaceholderInput::start(EventHandler) {
    if (std::exchange(said_, true)) return;
    LogStore::shared().add(Log::input.category(), LogLevel::defaultLevel,
                           "no input capture in this build: shortcuts, gestures and modified scrolling do nothing");
}

}  // namespace tessaline
