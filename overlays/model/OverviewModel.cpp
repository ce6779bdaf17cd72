#include "overlays/model/OverviewModel.h"

#include <algorithm>
#include <cmath>

namespace tessaline {

namespace {

Rect scaled(const Rect& r, double scale) {
    return {std::round(r.x * scale), std::round(r.y * scale), std::round(r.width * scale),
            std::round(r.height * scale)};
}

int rowOf(const Strip& strip, WindowID id) {
    const auto location = strip.locate(id);
    return location ? location->row : 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Selection

const Card* OverviewModel::card(WindowID id) const {
    for (const Card& c : cards) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

bool OverviewModel::move(Direction direction) {
    if (cards.empty()) return false;
    const Card* start = selected ? card(*selected) : nullptr;
    if (!start) {
        for (const Card& c : cards) {
            if (c.focused) {
                start = &c;
                break;
            }
        }
    }
    if (!start) start = &cards.front();

    const Card* next = nullptr;
    switch (direction) {
        case Direction::up:
        case Direction::down: {
            const bool down = direction == Direction::down;
            for (const Card& c : cards) {
                if (c.column != start->column) continue;
                const bool beyond = down ? c.row > start->row : c.row < start->row;
                if (!beyond) continue;
                // The nearest row in the direction of travel.
                if (!next || (down ? c.row < next->row : c.row > next->row)) next = &c;
            }
            break;
        }
        case Direction::left:
        case Direction::right: {
            const int column = start->column + (direction == Direction::right ? 1 : -1);
            const double centre = start->frame.midY();
            for (const Card& c : cards) {
                if (c.column != column) continue;
                if (!next || std::abs(c.frame.midY() - centre) < std::abs(next->frame.midY() - centre)) {
                    next = &c;
                }
            }
            break;
        }
    }
    if (!next || (selected && *selected == next->id)) return false;
    selected = next->id;
    return true;
}

// ---------------------------------------------------------------------------
// Placement on the panel

Point OverviewModel::canvasOrigin(Size panel) const {
    const double y = std::round((panel.height - size.height) * 0.5);
    if (size.width <= panel.width - 2 * margin) {
        return {std::round((panel.width - size.width) * 0.5), y};
    }
    double focus = viewport.midX();
    if (selected) {
        if (const Card* c = card(*selected)) focus = c->frame.midX();
    }
    const double x = std::clamp(panel.width * 0.5 - focus, panel.width - margin - size.width, margin);
    return {std::round(x), y};
}

std::optional<WindowID> OverviewModel::cardAt(Point point, Size panel) const {
    const Point origin = canvasOrigin(panel);
    const Point local{point.x - origin.x, point.y - origin.y};
    for (const Card& c : cards) {
        if (c.frame.contains(local)) return c.id;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Building

double overviewScale(Size displayFrame, double extent, double areaHeight) {
    if (extent <= 0 || areaHeight <= 0) return 0.14;
    const double scale = std::min((displayFrame.width - 112) / extent,
                                  (displayFrame.height - 192) / areaHeight);
    return std::clamp(scale, 0.14, 0.6);
}

bool buildOverview(const OverviewSource& source, OverviewModel& model) {
    const Strip& strip = *source.strip;
    const Rect& area = source.area;
    const double gap = source.layout.gap;
    const std::vector<Span> spans = Layout::spans(strip, area.width, gap, *source.minWidths);
    const double total = Layout::totalWidth(spans, gap);
    const double lo = std::min(strip.scroll, 0.0);
    const double hi = std::max(strip.scroll + area.width, total);
    const double scale = overviewScale(source.frame.size(), hi - lo, area.height);

    Strip shifted = strip;
    shifted.scroll = lo;
    const std::vector<Placement> placements = Layout::placements(
        shifted, Rect{0, 0, area.width, area.height}, source.layout, *source.minWidths);

    const std::optional<WindowID> focusedWindow = strip.focusedWindow();
    std::vector<Card> cards;
    cards.reserve(placements.size());
    for (const Placement& placement : placements) {
        if (placement.hiddenTab) continue;
        Card card = source.describe ? source.describe(placement.id) : Card{};
        card.id = placement.id;
        card.column = placement.column;
        card.row = rowOf(strip, placement.id);
        card.frame = scaled(placement.frame, scale);
        card.focused = focusedWindow == placement.id;
        const Column& column = strip.columns[placement.column];
        card.tabs = column.tabbed ? static_cast<int>(column.windows.size()) : 1;
        cards.push_back(std::move(card));
    }

    const Rect viewport{std::round((strip.scroll - lo) * scale), 0, std::round(area.width * scale),
                        std::round(area.height * scale)};
    const Size size{std::round((hi - lo) * scale), std::round(area.height * scale)};
    const double radius = std::max(std::round(scale * source.cornerRadius * 1.6), 4.0);

    bool changed = false;
    const auto publish = [&changed](auto& field, auto value) {
        if (field == value) return;
        field = std::move(value);
        changed = true;
    };
    publish(model.cards, std::move(cards));
    publish(model.viewport, viewport);
    publish(model.size, size);
    publish(model.radius, radius);
    publish(model.previewsWanted, source.previews);
    publish(model.still, source.still);
    // A selected window that left the strip would be chosen by Return
    // although it has no card; the focused card takes its place.
    if (model.selected && !model.card(*model.selected)) {
        std::optional<WindowID> fallback;
        for (const Card& c : model.cards) {
            if (c.focused) fallback = c.id;
        }
        publish(model.selected, fallback);
    }
    return changed;
}

}  // namespace tessaline
