// The command socket takes bytes from any local process of the user, and the
// client reads whatever answers at the socket's path: neither reader may
// crash, and whatever one accepts is exactly what the writer would send.
// URLs come from any web page a user clicks on.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/shell/ChannelProtocol.h"
#include "app/shell/CommandWords.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaline::shell;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RequestRead request = readRequest(bytes);
    if (request.status == RequestRead::Status::complete) {
        FUZZ_CHECK(encodeRequest(request.word) == bytes);
        FUZZ_CHECK(request.word.size() < maxRequestBytes);
    }
    ReplyRead reply = readReply(bytes);
    if (reply.status == ReplyRead::Status::complete) FUZZ_CHECK(encodeReply(reply.text) == bytes);
    (void)commandFromURL(bytes);
    return 0;
}
