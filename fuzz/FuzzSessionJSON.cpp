// session.json is read at every start: a damaged file must never crash the
// reader, and an accepted one must survive being written back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/SavedSession.h"
#include "core/SessionRestore.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaline;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto session = decodeSession(text);
    if (!session) return 0;
    auto again = decodeSession(encodeSession(*session));
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *session);

    // Matching live windows against whatever was read must stay in bounds.
    std::vector<LiveWindow> live;
    for (const auto& strip : session->strips)
        for (const auto& column : strip.columns)
            for (const auto& window : column.windows)
                live.push_back({window.id + 1, window.bundleID, window.title});
    auto matches = SessionRestore::match(live, session->strips);
    for (const auto& [id, ref] : matches) {
        FUZZ_CHECK(ref.strip >= 0 && ref.strip < static_cast<int>(session->strips.size()));
        const auto& columns = session->strips[ref.strip].columns;
        FUZZ_CHECK(ref.column >= 0 && ref.column < static_cast<int>(columns.size()));
        FUZZ_CHECK(ref.row >= 0 && ref.row < static_cast<int>(columns[ref.column].windows.size()));
    }
    return 0;
}
