#include "app/Placeholders.h"

#include "engine/log/Log.h"

namespace tessaline {

void PlaceholderOverlays::refresh() {
    if (std::exchange(said_, true)) return;
    LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel,
                           "no overlays in this build: no focus border, strip indicator or overview");
}

}  // namespace tessaline
