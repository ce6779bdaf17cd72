#include "overlays/model/Minimap.h"

#include <algorithm>
#include <cmath>

namespace tessaline::MinimapView {

namespace {
constexpr double blockGap = 2;     // between the stacked windows of a column
constexpr double labelHeight = 12;
constexpr double labelBand = 14;   // taken off the content for the captions
}  // namespace

Model build(const Strip& strip, double visibleWidth, double gap, const MinWidths& minWidths,
            const std::function<std::string(WindowID)>& label) {
    Model model;
    model.spans = Layout::spans(strip, visibleWidth, gap, minWidths);
    const double total = Layout::totalWidth(model.spans, gap);
    model.viewportX = strip.scroll;
    model.viewportWidth = visibleWidth;
    model.lo = std::min(strip.scroll, 0.0);
    model.hi = std::max(strip.scroll + visibleWidth, total);
    model.focused = strip.focused;
    for (const Column& column : strip.columns) {
        model.rows.push_back(column.tabbed ? 1 : std::max(1, static_cast<int>(column.windows.size())));
        if (label) {
            std::string text = column.windows.empty() ? std::string() : label(column.windows.front());
            if (column.windows.size() > 1) text += " +" + std::to_string(column.windows.size() - 1);
            model.labels.push_back(std::move(text));
        }
    }
    if (const Column* column = strip.focusedColumn()) model.focusedRow = column->tabbed ? 0 : column->active;
    return model;
}

Rect frame(const Model& model, const Rect& visible) {
    const double width = std::round(std::min(std::max((model.hi - model.lo) * 0.075 + 24, 150.0),
                                             visible.width * 0.5));
    const double height = model.labels.empty() ? 56 : 70;
    return {std::round(visible.x + (visible.width - width) * 0.5),
            std::round(visible.maxY() - 28 - height), width, height};
}

Geometry geometry(const Model& model, Size bounds) {
    Geometry g;
    const bool labels = !model.labels.empty();
    g.content = {12, 10, std::max(bounds.width - 24, 0.0),
                 std::max(bounds.height - 20 - (labels ? labelBand : 0), 0.0)};
    const double extent = model.hi - model.lo;
    const double scale = extent > 0 ? g.content.width / extent : 0;
    const auto toX = [&](double stripX) { return g.content.x + (stripX - model.lo) * scale; };

    for (std::size_t i = 0; i < model.spans.size(); ++i) {
        const Span& span = model.spans[i];
        const int rows = i < model.rows.size() ? std::max(model.rows[i], 1) : 1;
        const double height = (g.content.height - blockGap * (rows - 1)) / rows;
        const double width = std::max(span.width * scale, 2.0);
        for (int row = 0; row < rows; ++row) {
            Block block;
            block.rect = {toX(span.x), g.content.y + (height + blockGap) * row, width, height};
            block.focused = static_cast<int>(i) == model.focused && row == model.focusedRow;
            g.blocks.push_back(block);
        }
        if (labels) {
            g.labels.push_back({toX(span.x), g.content.maxY() + 2, width, labelHeight});
        }
    }
    g.viewport = {toX(model.viewportX), g.content.y - 4, model.viewportWidth * scale,
                  g.content.height + 8};
    return g;
}

}  // namespace tessaline::MinimapView
