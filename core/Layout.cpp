#include "core/Layout.h"

#include <algorithm>
#include <cmath>

namespace tessaline::Layout {

namespace {

double spanWidth(const Column& column, double viewportWidth, double gap,
                 const MinWidths& minWidths) {
    double width = columnWidth(column.width, viewportWidth, gap);
    if (minWidths.empty()) return width;  // the common case skips all hashing
    for (WindowID id : column.windows) {
        if (auto it = minWidths.find(id); it != minWidths.end()) width = std::max(width, it->second);
    }
    return width;
}

// Visits the span of every column in order until `visit` returns false, so
// callers that need only a few spans never build the whole list. Returns the
// running x, which is the content width once every column has been visited.
template <class Visit>
double walkSpans(const Strip& strip, double viewportWidth, double gap,
                 const MinWidths& minWidths, Visit&& visit) {
    double x = gap;
    const int count = strip.count();
    for (int i = 0; i < count; ++i) {
        const Span span{x, spanWidth(strip.columns[i], viewportWidth, gap, minWidths)};
        if (!visit(i, span)) break;
        x = span.maxX() + gap;
    }
    return x;
}

// What the scroll clamps need to know about a strip.
struct Extent {
    bool empty = true;
    double firstMidX = 0;
    double lastMidX = 0;
    double total = 0;
};

Extent extentOf(const Strip& strip, double viewportWidth, double gap, const MinWidths& minWidths,
                Span* focused = nullptr) {
    Extent extent;
    extent.total = walkSpans(strip, viewportWidth, gap, minWidths, [&](int i, const Span& span) {
        if (i == 0) extent.firstMidX = span.midX();
        extent.lastMidX = span.midX();
        if (focused && i == strip.focused) *focused = span;
        return true;
    });
    extent.empty = strip.isEmpty();
    return extent;
}

double clampToContent(double scroll, double total, double viewportWidth) {
    if (total <= viewportWidth) return 0;
    return std::min(std::max(scroll, 0.0), total - viewportWidth);
}

// Under `always` the first and last columns may be centred, so the range runs
// past the strip's ends; otherwise the view never leaves the content.
double clampForMode(double scroll, CentreMode mode, const Extent& extent, double viewportWidth) {
    if (mode != CentreMode::always) return clampToContent(scroll, extent.total, viewportWidth);
    if (extent.empty) return 0;
    const double half = viewportWidth / 2;
    return std::min(std::max(scroll, extent.firstMidX - half), extent.lastMidX - half);
}

bool validColumn(const Strip& strip, int index) { return index >= 0 && index < strip.count(); }

double weightAt(const Column& column, std::size_t row) {
    return row < column.weights.size() ? column.weights[row] : 1.0;
}

// Frames of one column's windows, handed to `emit` top to bottom.
template <class Emit>
void placeColumn(const Column& column, int index, double x, double width, const Rect& viewport,
                 const LayoutConfig& config, Emit&& emit) {
    const std::size_t n = column.windows.size();
    if (n == 0) return;
    const double gap = config.gap;

    if (column.tabbed) {
        // A stray active index would hide every tab; show the first instead,
        // as activeWindow does.
        const std::size_t shown =
            column.active >= 0 && static_cast<std::size_t>(column.active) < n ? column.active : 0;
        const Rect frame{x, viewport.minY() + gap + config.tabBarHeight, width,
                         viewport.height - 2 * gap - config.tabBarHeight};
        for (std::size_t row = 0; row < n; ++row) {
            emit(Placement{column.windows[row], frame, index, row != shown});
        }
        return;
    }

    double sum = 0;
    for (std::size_t row = 0; row < n; ++row) sum += weightAt(column, row);
    // Weights that add up to nothing would divide by zero; share equally.
    const bool equal = !(sum > 0) || !std::isfinite(sum);
    const double available = viewport.height - 2 * gap - gap * static_cast<double>(n - 1);
    const double bottom = viewport.minY() + viewport.height - gap;
    double y = viewport.minY() + gap;
    for (std::size_t row = 0; row < n; ++row) {
        const double share = equal ? 1.0 / static_cast<double>(n) : weightAt(column, row) / sum;
        // The last window takes whatever rounding left, so the stack always
        // ends exactly one gap above the bottom.
        const double height = row + 1 == n ? bottom - y : std::round(available * share);
        emit(Placement{column.windows[row], Rect{x, y, width, height}, index, false});
        y += height + gap;
    }
}

double screenX(const Strip& strip, const Rect& viewport, const Span& span) {
    return std::round(viewport.minX() + span.x - strip.scroll);
}

}  // namespace

double columnWidth(double fraction, double viewportWidth, double gap) {
    return std::max(roundHalfAway(fraction * (viewportWidth - gap) - gap), minimumColumnWidth);
}

double fractionForWidth(double width, double viewportWidth, double gap) {
    if (viewportWidth - gap > 0) return (width + gap) / (viewportWidth - gap);
    return 1.0;
}

std::vector<Span> spans(const Strip& strip, double viewportWidth, double gap,
                        const MinWidths& minWidths) {
    std::vector<Span> result;
    result.reserve(strip.columns.size());
    walkSpans(strip, viewportWidth, gap, minWidths, [&](int, const Span& span) {
        result.push_back(span);
        return true;
    });
    return result;
}

bool clampToMinimumWidths(Strip& strip, double viewportWidth, double gap,
                          const MinWidths& minWidths) {
    if (minWidths.empty()) return false;
    bool changed = false;
    for (Column& column : strip.columns) {
        std::optional<double> largest;
        for (WindowID id : column.windows) {
            if (auto it = minWidths.find(id); it != minWidths.end()) {
                largest = std::max(largest.value_or(it->second), it->second);
            }
        }
        if (!largest || !(*largest > 0)) continue;
        const double needed = std::min(1.0, fractionForWidth(*largest, viewportWidth, gap));
        if (column.width < needed - 0.0005) {
            column.width = needed;
            changed = true;
        }
    }
    return changed;
}

double totalWidth(std::span<const Span> spans, double gap) {
    return spans.empty() ? gap : spans.back().maxX() + gap;
}

void ensureVisible(Strip& strip, double viewportWidth, const LayoutConfig& config,
                   const MinWidths& minWidths) {
    const double gap = config.gap;
    const double W = viewportWidth;
    const int focused = strip.focused;
    const int previous = strip.previous.value_or(-1);
    const bool usePrevious = config.centreMode == CentreMode::onOverflow && strip.previous &&
                             previous != focused && validColumn(strip, previous);

    Span focusedSpan, previousSpan;
    const double total = walkSpans(strip, W, gap, minWidths, [&](int i, const Span& span) {
        if (i == focused) focusedSpan = span;
        if (i == previous) previousSpan = span;
        return true;
    });
    if (!validColumn(strip, focused)) {
        strip.scroll = 0;
        return;
    }

    const double centred = focusedSpan.midX() - W / 2;
    if (config.centreMode == CentreMode::always) {
        strip.scroll = centred;
        return;
    }

    const double left = focusedSpan.x - gap;
    const double right = focusedSpan.maxX() + gap;
    const bool fits = strip.scroll - 0.5 <= left && right <= W + strip.scroll + 0.5;
    if (!fits) {
        if (config.centreMode == CentreMode::never) {
            strip.scroll = (right - left > W || left < strip.scroll) ? left : right - W;
        } else if (usePrevious &&
                   std::max(right, previousSpan.maxX() + gap) -
                           std::min(left, previousSpan.x - gap) <=
                       W + 0.5) {
            // Both fit: keep the column we came from in view beside the new one.
            strip.scroll = previous < focused ? right - W : left;
        } else {
            strip.scroll = centred;
        }
    }
    strip.scroll = clampToContent(strip.scroll, total, W);
}

void clampScroll(Strip& strip, double viewportWidth, const LayoutConfig& config,
                 const MinWidths& minWidths) {
    const Extent extent = extentOf(strip, viewportWidth, config.gap, minWidths);
    strip.scroll = clampForMode(strip.scroll, config.centreMode, extent, viewportWidth);
}

void centreFocused(Strip& strip, double viewportWidth, const LayoutConfig& config,
                   const MinWidths& minWidths) {
    if (!validColumn(strip, strip.focused)) return;
    Span focused;
    const Extent extent = extentOf(strip, viewportWidth, config.gap, minWidths, &focused);
    strip.scroll = clampForMode(focused.midX() - viewportWidth / 2, config.centreMode, extent,
                                viewportWidth);
}

std::vector<Placement> placements(const Strip& strip, const Rect& viewport,
                                  const LayoutConfig& config, const MinWidths& minWidths) {
    std::vector<Placement> result;
    placements(strip, viewport, config, minWidths, result);
    return result;
}

void placements(const Strip& strip, const Rect& viewport, const LayoutConfig& config,
                const MinWidths& minWidths, std::vector<Placement>& into) {
    into.clear();
    std::size_t windows = 0;
    for (const Column& column : strip.columns) windows += column.windows.size();
    into.reserve(windows);
    walkSpans(strip, viewport.width, config.gap, minWidths, [&](int i, const Span& span) {
        placeColumn(strip.columns[i], i, screenX(strip, viewport, span), span.width, viewport,
                    config, [&](const Placement& placement) { into.push_back(placement); });
        return true;
    });
}

std::optional<int> columnAtViewportX(double x, const Strip& strip, double viewportWidth,
                                     const LayoutConfig& config, const MinWidths& minWidths) {
    if (strip.isEmpty()) return std::nullopt;
    const double sx = x + strip.scroll;
    int found = strip.count() - 1;
    walkSpans(strip, viewportWidth, config.gap, minWidths, [&](int i, const Span& span) {
        if ((i == 0 && sx < span.x) || sx < span.maxX() + config.gap) {
            found = i;
            return false;
        }
        return true;
    });
    return found;
}

std::optional<DropTarget> dropTarget(Point point, WindowID dragging, const Strip& strip,
                                     const Rect& viewport, const LayoutConfig& config,
                                     const MinWidths& minWidths, bool stacking) {
    if (strip.isEmpty()) return std::nullopt;
    const double sx = point.x - viewport.minX() + strip.scroll;

    auto rowIn = [&](int index, const Span& span) {
        const Column& column = strip.columns[index];
        int row = 0;
        if (column.tabbed) {
            for (WindowID id : column.windows) row += id != dragging;
            return row;
        }
        placeColumn(column, index, screenX(strip, viewport, span), span.width, viewport, config,
                    [&](const Placement& p) {
                        if (p.id != dragging && !p.hiddenTab && p.frame.midY() < point.y) ++row;
                    });
        return row;
    };

    DropTarget target = NewColumn{strip.count()};
    walkSpans(strip, viewport.width, config.gap, minWidths, [&](int i, const Span& span) {
        if (i == 0 && sx < span.x) {
            target = NewColumn{0};
            return false;
        }
        if (sx >= span.maxX() + config.gap / 2) return true;
        const double t = (sx - span.x) / span.width;
        if (t < 0.25 || (!stacking && t < 0.5)) {
            target = NewColumn{i};
        } else if (t > 0.75 || !stacking) {
            target = NewColumn{i + 1};
        } else {
            target = Stack{i, rowIn(i, span)};
        }
        return false;
    });
    if (strip.isNoOp(dragging, target)) return std::nullopt;
    return target;
}

double snapScroll(double projected, const Strip& strip, double viewportWidth,
                  const LayoutConfig& config, const MinWidths& minWidths) {
    if (strip.isEmpty()) return 0;
    const double W = viewportWidth;
    const double gap = config.gap;
    const bool always = config.centreMode == CentreMode::always;

    bool haveBest = false;
    double best = 0, bestDistance = 0;
    // Strictly nearer only, so on a tie the earlier candidate stays.
    auto consider = [&](double candidate) {
        const double distance = std::fabs(candidate - projected);
        if (!haveBest || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
            haveBest = true;
        }
    };
    Extent extent;
    extent.empty = false;
    extent.total = walkSpans(strip, W, gap, minWidths, [&](int i, const Span& span) {
        if (i == 0) extent.firstMidX = span.midX();
        extent.lastMidX = span.midX();
        if (always) {
            consider(span.midX() - W / 2);
        } else {
            consider(span.x - gap);
            consider(span.maxX() + gap - W);
        }
        return true;
    });
    return clampForMode(best, config.centreMode, extent, W);
}

std::optional<int> settledColumn(const Strip& strip, double viewportWidth,
                                 const LayoutConfig& config, const MinWidths& minWidths) {
    if (strip.isEmpty()) return std::nullopt;
    const double W = viewportWidth;
    const double scroll = strip.scroll;
    const double viewMid = scroll + W / 2;

    bool focusedInView = false;
    int best = 0;
    double bestVisible = 0, bestDistance = 0;
    walkSpans(strip, W, config.gap, minWidths, [&](int i, const Span& span) {
        if (i == strip.focused && scroll - 0.5 <= span.x && span.maxX() <= W + scroll + 0.5) {
            focusedInView = true;
        }
        const double visible =
            std::max(0.0, std::min(scroll + W, span.maxX()) - std::max(scroll, span.x));
        const double distance = std::fabs(span.midX() - viewMid);
        const bool better = std::fabs(visible - bestVisible) > 0.5 ? visible > bestVisible
                                                                    : distance < bestDistance;
        if (i == 0 || better) {
            best = i;
            bestVisible = visible;
            bestDistance = distance;
        }
        return true;
    });
    if (focusedInView) return strip.focused;
    if (strip.count() == 1) return 0;
    return best;
}

}  // namespace tessaline::Layout
