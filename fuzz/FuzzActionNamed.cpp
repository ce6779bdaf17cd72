// Typed commands come from the command line and URLs: any text resolves to at
// most one action, and an action's own name always finds it again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/actions/Action.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaline;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto action = actionNamed(text);
    (void)actionFromString(text);
    if (!action) return 0;
    FUZZ_CHECK(actionNamed(toString(*action)) == action);
    FUZZ_CHECK(actionFromString(toString(*action)) == action);
    return 0;
}
