#pragma once
// What travels on the command socket. One connection carries one command
// and at most one reply:
//
//   client -> manager   the command word and "\n"            ("focusright\n")
//   manager -> client   the reply's length in decimal, "\n", then the reply
//                        ("5\nhello"); commands without a reply get none and
//                        the manager closes the connection
//
// The request is short enough for one write, and its newline tells a whole
// message from half of one. The reply's length lets the client tell a whole
// reply from one cut off by a manager that went away.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessaline::shell {

// A request longer than this, newline included, is refused unread.
inline constexpr std::size_t maxRequestBytes = 128;
// A reply header announcing more than this is taken as garbage.
inline constexpr std::size_t maxReplyBytes = std::size_t{64} << 20;

std::string encodeRequest(std::string_view word);

struct RequestRead {
    enum class Status { incomplete, complete, refused };
    Status status = Status::incomplete;
    std::string word;     // when complete
    std::string problem;  // when refused: what was wrong, for the log
};

// Looks at everything received so far on a connection. A word is one or more
// printable ASCII characters without spaces; anything else, more bytes after
// the newline, or too many bytes without one is refused.
RequestRead readRequest(std::string_view received);

std::string encodeReply(std::string_view text);

struct ReplyRead {
    enum class Status { incomplete, complete, refused };
    Status status = Status::incomplete;
    std::string text;  // when complete
};

ReplyRead readReply(std::string_view received);

}  // namespace tessaline::shell
