// Any X client can publish XSETTINGS and XKB rules names on the root window,
// and diagnostics read both: neither reader may crash or read past the bytes.
// The first byte picks the reader ("X": XSETTINGS, anything else: XKB names).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/shell/XFormats.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaline::shell;
    if (size == 0) return 0;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] == 'X') {
        const auto on = xsettingsAccessibility(bytes);
        FUZZ_CHECK(on.size() <= 2);
        FUZZ_CHECK(on.empty() || on.front() == "Reduce motion" || on.front() == "Increase contrast");
    } else {
        for (std::uint32_t group : {0u, 1u, 3u, 0xFFFFFFFFu}) {
            const auto name = xkbLayoutName(bytes, group);
            FUZZ_CHECK(!name || !name->empty());
        }
    }
    return 0;
}
