#pragma once
// Strips as one line of text, to build them and to compare them in tests:
//
//     "[1] [2* 3]t:0.7 [4]p"
//
// Columns in brackets, windows top to bottom. `*` follows the focused window
// (the focused column's active one), `^` the active window of another column
// when that is not its first. After a bracket: `t` tabbed, `p` the column
// focused before, `:0.7` a width other than 0.5, `~0.4` a saved width. A
// weight other than 1 follows its window after a slash (`2/0.25`). A focus
// outside the columns is written after them as `focus=7`. The scroll is not
// part of the text. Failed comparisons of strips, columns and rectangles
// print in this form too.

#include <cstdlib>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

#include "core/Strip.h"

namespace tessaline {

inline std::string numberText(double value) {
    std::ostringstream out;
    out << std::setprecision(4) << value;
    return out.str();
}

inline std::string stripText(const Strip& strip) {
    std::string out;
    for (int c = 0; c < strip.count(); ++c) {
        const Column& column = strip.columns[static_cast<std::size_t>(c)];
        bool weighted = column.weights.size() != column.windows.size();
        for (double w : column.weights) weighted = weighted || w != 1;
        out += c ? " [" : "[";
        for (std::size_t r = 0; r < column.windows.size(); ++r) {
            out += (r ? " " : "") + std::to_string(column.windows[r]);
            if (weighted && r < column.weights.size()) out += "/" + numberText(column.weights[r]);
            if (static_cast<int>(r) == column.active) out += c == strip.focused ? "*" : r ? "^" : "";
        }
        out += "]";
        if (column.active < 0 || column.active >= static_cast<int>(column.windows.size()))
            out += "@" + std::to_string(column.active);
        if (column.tabbed) out += "t";
        if (strip.previous == c) out += "p";
        if (column.width != 0.5) out += ":" + numberText(column.width);
        if (column.savedWidth) out += "~" + numberText(*column.savedWidth);
    }
    if (strip.focused != 0 && (strip.focused < 0 || strip.focused >= strip.count()))
        out += (out.empty() ? "focus=" : " focus=") + std::to_string(strip.focused);
    if (strip.previous && (*strip.previous < 0 || *strip.previous >= strip.count()))
        out += " previous=" + std::to_string(*strip.previous);
    return out;
}

// The strip a text describes (malformed text gives a malformed strip).
inline Strip parseStrip(std::string_view text) {
    Strip strip;
    const std::string s(text);
    const char* p = s.c_str();
    const auto number = [&p] {
        char* end = nullptr;
        const double value = std::strtod(p, &end);
        p = end;
        return value;
    };
    while (*p) {
        if (*p == ' ') {
            ++p;
        } else if (std::string_view(p).starts_with("focus=")) {
            p += 6;
            strip.focused = static_cast<int>(number());
        } else if (std::string_view(p).starts_with("previous=")) {
            p += 9;
            strip.previous = static_cast<int>(number());
        } else if (*p == '[') {
            ++p;
            Column column;
            while (*p && *p != ']') {
                if (*p == ' ') {
                    ++p;
                    continue;
                }
                column.windows.push_back(static_cast<WindowID>(std::strtoul(p, const_cast<char**>(&p), 10)));
                column.weights.push_back(1);
                if (*p == '/') {
                    ++p;
                    column.weights.back() = number();
                }
                if (*p == '*' || *p == '^') {
                    column.active = static_cast<int>(column.windows.size()) - 1;
                    if (*p == '*') strip.focused = strip.count();
                    ++p;
                }
            }
            if (*p) ++p;
            for (bool more = true; more && *p;) {
                switch (*p) {
                    case 't': column.tabbed = true, ++p; break;
                    case 'p': strip.previous = strip.count(), ++p; break;
                    case ':': ++p, column.width = number(); break;
                    case '~': ++p, column.savedWidth = number(); break;
                    default: more = false;
                }
            }
            strip.columns.push_back(std::move(column));
        } else {
            ++p;
        }
    }
    return strip;
}

inline void PrintTo(const Strip& strip, std::ostream* out) { *out << '"' << stripText(strip) << '"'; }
inline void PrintTo(const Column& column, std::ostream* out) {
    const std::string text = stripText(Strip({column}, 0, 0));
    *out << '"' << text << '"';
}
inline void PrintTo(const Rect& r, std::ostream* out) {
    *out << "Rect{" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << "}";
}
inline void PrintTo(const Point& p, std::ostream* out) { *out << "Point{" << p.x << ", " << p.y << "}"; }

}  // namespace tessaline
