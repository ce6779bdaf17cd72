// One line of text with Pango, loaded the first time text is drawn. Pango
// brings GLib, HarfBuzz and fontconfig's caches along: several megabytes that
// a manager showing no text (no tab bars, no captions, no overview) never
// pays for. The header is read for declarations and constants only; the
// library is not linked.

#include <dlfcn.h>
#include <pango/pangocairo.h>

#include <type_traits>

#include "engine/log/Log.h"
#include "overlays/draw/Paint.h"

namespace tessaline::Paint {

namespace {

struct PangoLibrary {
    decltype(&pango_cairo_create_layout) createLayout = nullptr;
    decltype(&pango_cairo_show_layout) showLayout = nullptr;
    decltype(&pango_font_description_from_string) fontFromString = nullptr;
    decltype(&pango_font_description_set_weight) setWeight = nullptr;
    decltype(&pango_font_description_set_absolute_size) setAbsoluteSize = nullptr;
    decltype(&pango_layout_set_font_description) setFont = nullptr;
    decltype(&pango_layout_set_text) setText = nullptr;
    decltype(&pango_layout_set_width) setWidth = nullptr;
    decltype(&pango_layout_set_ellipsize) setEllipsize = nullptr;
    decltype(&pango_layout_set_single_paragraph_mode) setSingleParagraph = nullptr;
    decltype(&pango_layout_set_alignment) setAlignment = nullptr;
    decltype(&pango_layout_get_pixel_size) pixelSize = nullptr;
    decltype(&g_utf8_make_valid) makeValid = nullptr;
    decltype(&g_free) free = nullptr;
    decltype(&g_object_unref) unref = nullptr;
    // One description per weight, kept for the process.
    PangoFontDescription* regular = nullptr;
    PangoFontDescription* bold = nullptr;
    bool ready = false;
};

PangoLibrary loadPango() {
    PangoLibrary pango;
    // Kept open for the life of the process: its fonts and caches stay useful.
    void* handle = dlopen("libpangocairo-1.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        Log::lifecycle.error([] { return std::string("couldn't load Pango: overlays show no text"); });
        return pango;
    }
    bool found = true;
    const auto bind = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
        found = found && function != nullptr;
    };
    bind(pango.createLayout, "pango_cairo_create_layout");
    bind(pango.showLayout, "pango_cairo_show_layout");
    bind(pango.fontFromString, "pango_font_description_from_string");
    bind(pango.setWeight, "pango_font_description_set_weight");
    bind(pango.setAbsoluteSize, "pango_font_description_set_absolute_size");
    bind(pango.setFont, "pango_layout_set_font_description");
    bind(pango.setText, "pango_layout_set_text");
    bind(pango.setWidth, "pango_layout_set_width");
    bind(pango.setEllipsize, "pango_layout_set_ellipsize");
    bind(pango.setSingleParagraph, "pango_layout_set_single_paragraph_mode");
    bind(pango.setAlignment, "pango_layout_set_alignment");
    bind(pango.pixelSize, "pango_layout_get_pixel_size");
    bind(pango.makeValid, "g_utf8_make_valid");
    bind(pango.free, "g_free");
    bind(pango.unref, "g_object_unref");
    if (!found) {
        Log::lifecycle.error([] { return std::string("Pango lacks a function we need: overlays show no text"); });
        return pango;
    }
    pango.regular = pango.fontFromString("Sans");
    pango.bold = pango.fontFromString("Sans");
    pango.setWeight(pango.bold, PANGO_WEIGHT_BOLD);
    pango.ready = true;
    return pango;
}

const PangoLibrary& pango() {
    static const PangoLibrary library = loadPango();
    return library;
}

}  // namespace

void text(cairo_t* cr, std::string_view content, const Rect& box, const TextStyle& style) {
    if (content.empty() || box.width <= 1 || box.height <= 1) return;
    const PangoLibrary& p = pango();
    if (!p.ready) return;
    PangoFontDescription* font = style.bold ? p.bold : p.regular;
    p.setAbsoluteSize(font, style.size * PANGO_SCALE);

    // Titles come from other programs and need not be valid UTF-8.
    gchar* valid = p.makeValid(content.data(), static_cast<gssize>(content.size()));
    PangoLayout* layout = p.createLayout(cr);
    p.setFont(layout, font);
    p.setText(layout, valid, -1);
    p.free(valid);
    p.setWidth(layout, static_cast<int>(box.width * PANGO_SCALE));
    p.setEllipsize(layout, PANGO_ELLIPSIZE_END);
    p.setSingleParagraph(layout, TRUE);
    p.setAlignment(layout, style.centred ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
    int width = 0;
    int height = 0;
    p.pixelSize(layout, &width, &height);
    cairo_save(cr);
    color(cr, style.color);
    cairo_move_to(cr, box.x, box.y + (box.height - height) * 0.5);
    p.showLayout(cr, layout);
    cairo_restore(cr);
    p.unref(layout);
}

}  // namespace tessaline::Paint
