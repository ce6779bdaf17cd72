// The overview: a dark full-screen pane with the strip's cards on it.

#include <algorithm>
#include <string>

#include "overlays/draw/Drawing.h"
#include "overlays/draw/Paint.h"

namespace tessaline {

namespace {

void cardFace(cairo_t* cr, const OverviewModel& model, const Card& card, const Rect& frame) {
    Paint::roundedRect(cr, frame, model.radius);
    cairo_set_source_rgba(cr, card.focused ? 0.27 : 0.2, card.focused ? 0.28 : 0.2,
                          card.focused ? 0.32 : 0.23, 1);
    cairo_fill(cr);

    const auto preview = model.previewsWanted ? model.previews.find(card.id) : model.previews.end();
    if (preview != model.previews.end() && preview->second) {
        cairo_save(cr);
        Paint::roundedRect(cr, frame, model.radius);
        cairo_clip(cr);
        Paint::image(cr, *preview->second, frame);
        cairo_restore(cr);
    } else {
        // Icon and name, as large as the card allows.
        const double textRoom = frame.height >= 60 ? 34 : 0;
        const double icon = std::min({64.0, frame.width * 0.45, (frame.height - textRoom) * 0.6});
        const double top = frame.y + (frame.height - icon - textRoom) * 0.5;
        if (icon >= 8) Paint::icon(cr, card.icon, {frame.midX() - icon / 2, top, icon, icon});
        if (textRoom > 0) {
            const Rect line{frame.x + 6, top + icon + 4, frame.width - 12, 16};
            Paint::text(cr, card.app, line, {.size = 12, .bold = true});
            Paint::text(cr, card.title, {line.x, line.maxY(), line.width, 14},
                        {.size = 11, .color = {1, 1, 1, 0.6}});
        }
    }

    if (card.tabs > 1) {
        // A badge with the number of tabs the card stands for.
        const Rect badge{frame.maxX() - 30, frame.y + 6, 24, 16};
        Paint::roundedRect(cr, badge, 8);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
        cairo_fill(cr);
        Paint::text(cr, std::to_string(card.tabs), badge, {.size = 10, .bold = true});
    }
}

}  // namespace

void drawOverview(cairo_t* cr, const Canvas& canvas, const OverviewModel& model) {
    cairo_set_source_rgba(cr, 0.04, 0.04, 0.06, canvas.composited ? Looks::overviewAlpha : 1.0);
    cairo_paint(cr);

    const Point origin = model.canvasOrigin(canvas.size);
    cairo_save(cr);
    cairo_translate(cr, origin.x, origin.y);

    // The current screen, outlined a little outside its cards.
    const Rect screen{model.viewport.x - 6, model.viewport.y - 6, model.viewport.width + 12,
                      model.viewport.height + 12};
    Paint::roundedRect(cr, screen, model.radius + 4);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.06);
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);

    for (const Card& card : model.cards) cardFace(cr, model, card, card.frame);

    if (model.selected) {
        if (const Card* card = model.card(*model.selected)) {
            const Rect ring{card->frame.x - 4, card->frame.y - 4, card->frame.width + 8,
                            card->frame.height + 8};
            Paint::roundedRect(cr, ring, model.radius + 4);
            Paint::color(cr, Paint::accent);
            cairo_set_line_width(cr, 3);
            cairo_stroke(cr);
        }
    }
    cairo_restore(cr);
}

}  // namespace tessaline
