#include "app/shell/XFormats.h"

#include <algorithm>
#include <cctype>

namespace tessaline::shell {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

bool containsIgnoringCase(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

// Reads the XSETTINGS block front to back; every read is checked against
// what is left, so a short or lying block just ends the reading.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool skip(std::size_t n) {
        if (n > bytes_.size()) return fail();
        bytes_.remove_prefix(n);
        return true;
    }
    std::optional<std::uint32_t> card(std::size_t size) {
        if (size > bytes_.size()) return fail(), std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const auto byte = static_cast<std::uint8_t>(bytes_[bigEndian ? i : size - 1 - i]);
            value = value << 8 | byte;
        }
        bytes_.remove_prefix(size);
        return value;
    }
    // A string of `n` bytes, padded to a multiple of four.
    std::optional<std::string_view> text(std::size_t n) {
        const std::size_t padded = (n + 3) / 4 * 4;
        if (padded > bytes_.size()) return fail(), std::nullopt;
        const std::string_view out = bytes_.substr(0, n);
        bytes_.remove_prefix(padded);
        return out;
    }

    bool bigEndian = false;
    bool ok = true;

private:
    bool fail() { return ok = false; }
    std::string_view bytes_;
};

}  // namespace

std::optional<std::string> xkbLayoutName(std::string_view rulesNames, std::uint32_t group) {
    const auto fields = split(rulesNames, '\0');
    if (fields.size() < 3 || fields[2].empty()) return std::nullopt;
    const auto layouts = split(fields[2], ',');
    const auto variants = fields.size() > 3 ? split(fields[3], ',') : std::vector<std::string_view>{};
    const std::size_t index = group < layouts.size() ? group : 0;
    if (layouts[index].empty()) return std::nullopt;
    std::string name(layouts[index]);
    if (index < variants.size() && !variants[index].empty()) name += "(" + std::string(variants[index]) + ")";
    return name;
}

std::vector<std::string> xsettingsAccessibility(std::string_view settings) {
    enum Type : std::uint32_t { integer = 0, string = 1, color = 2 };
    bool reduceMotion = false, increaseContrast = false;
    Reader in(settings);
    const auto order = in.card(1);
    in.bigEndian = order == 1u;
    in.skip(3);
    in.card(4);  // serial
    const std::uint32_t count = in.card(4).value_or(0);
    for (std::uint32_t i = 0; i < count && in.ok; ++i) {
        const auto type = in.card(1);
        in.skip(1);
        const auto name = in.text(in.card(2).value_or(0));
        in.card(4);  // last change
        if (!in.ok || !type || !name) break;
        if (*type == integer) {
            const auto value = in.card(4);
            if (value && *name == "Net/EnableAnimations") reduceMotion = *value == 0;
        } else if (*type == string) {
            const auto value = in.text(in.card(4).value_or(0));
            if (value && *name == "Net/ThemeName") increaseContrast = containsIgnoringCase(*value, "contrast");
        } else if (*type == color) {
            in.skip(8);
        } else {
            break;  // an unknown type has a length nobody knows
        }
    }
    std::vector<std::string> on;
    if (reduceMotion) on.push_back("Reduce motion");
    if (increaseContrast) on.push_back("Increase contrast");
    return on;
}

}  // namespace tessaline::shell
