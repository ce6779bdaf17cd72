// The settings are decoded leniently from whatever the preferences file
// holds; the result must never crash and must be stable once written back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/settings/Config.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaline;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto config = decodeConfig(text);
    if (!config) return 0;
    auto encoded = encodeConfig(*config);
    if (!encoded) return 0;  // numbers JSON cannot hold are refused, not written
    auto again = decodeConfig(*encoded);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *config);
    (void)config->layout();
    (void)config->floatingApps();
    return 0;
}
