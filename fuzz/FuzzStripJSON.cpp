// A strip read from outside data never crashes the reader, and whatever is
// accepted survives a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/StripJSON.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaline;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto strip = decodeStrip(text);
    if (!strip) return 0;
    auto again = decodeStrip(encodeStrip(*strip));
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *strip);
    for (const auto& column : strip->columns) FUZZ_CHECK(column.weights.size() == column.windows.size());
    return 0;
}
