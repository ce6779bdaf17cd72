#include "app/shell/ChannelProtocol.h"

#include <charconv>

namespace tessaline::shell {

namespace {

bool isWordCharacter(char c) { return c > ' ' && c < 0x7f; }

// Enough digits for maxReplyBytes.
constexpr std::size_t maxHeaderDigits = 10;

}  // namespace

std::string encodeRequest(std::string_view word) { return std::string(word) + "\n"; }

RequestRead readRequest(std::string_view received) {
    using Status = RequestRead::Status;
    std::size_t end = received.find('\n');
    if (end == std::string_view::npos) {
        if (received.size() >= maxRequestBytes) {
            return {Status::refused, {}, "more than " + std::to_string(maxRequestBytes) + " bytes"};
        }
        for (char c : received) {
            if (!isWordCharacter(c)) return {Status::refused, {}, "a byte that is no part of a word"};
        }
        return {Status::incomplete, {}, {}};
    }
    std::string_view word = received.substr(0, end);
    if (end + 1 > maxRequestBytes) {
        return {Status::refused, {}, "more than " + std::to_string(maxRequestBytes) + " bytes"};
    }
    if (end + 1 != received.size()) return {Status::refused, {}, "more than one message"};
    if (word.empty()) return {Status::refused, {}, "an empty message"};
    for (char c : word) {
        if (!isWordCharacter(c)) return {Status::refused, {}, "a byte that is no part of a word"};
    }
    return {Status::complete, std::string(word), {}};
}

std::string encodeReply(std::string_view text) {
    std::string out = std::to_string(text.size());
    out += '\n';
    out += text;
    return out;
}

ReplyRead readReply(std::string_view received) {
    using Status = ReplyRead::Status;
    std::size_t end = received.find('\n');
    if (end == std::string_view::npos) {
        bool digits = received.find_first_not_of("0123456789") == std::string_view::npos;
        return {digits && received.size() <= maxHeaderDigits ? Status::incomplete : Status::refused, {}};
    }
    std::size_t length = 0;
    auto [stop, error] = std::from_chars(received.data(), received.data() + end, length);
    if (end == 0 || end > maxHeaderDigits || error != std::errc{} || stop != received.data() + end ||
        length > maxReplyBytes) {
        return {Status::refused, {}};
    }
    std::string_view body = received.substr(end + 1);
    if (body.size() < length) return {Status::incomplete, {}};
    if (body.size() > length) return {Status::refused, {}};
    return {Status::complete, std::string(body)};
}

}  // namespace tessaline::shell
