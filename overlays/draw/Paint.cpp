#include "overlays/draw/Paint.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace tessaline::Paint {

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// Cairo wants premultiplied alpha; _NET_WM_ICON gives straight alpha.
Surface toSurface(const ArgbImage& image) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.pixels[static_cast<std::size_t>(y) * image.width + x];
            const std::uint32_t a = p >> 24;
            const auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
            row[x] = (a << 24) | (mul((p >> 16) & 0xff) << 16) | (mul((p >> 8) & 0xff) << 8) |
                     mul(p & 0xff);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

// Icons at the size they are shown, kept for the next paint: a strip bar
// repaints every chip whenever one of them changes, and scaling each icon
// again costs far more than copying it. Only small pictures are kept, and
// only a few dozen, so the cache stays under half a mebibyte.
class IconCache {
public:
    static constexpr int largest = 96;   // pixels a side
    static constexpr std::size_t entries = 40;

    // What is cached: a picture (named by its address: `owner` keeps it
    // alive while it is cached), or, without one, our own drawing of a kind.
    struct Key {
        const ArgbImage* picture = nullptr;
        long kind = 0;  // without a picture: 0 the generic icon, else a rounded shape's radius in eighths
        int width = 0, height = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };

    // The surface for the key, drawn by `draw` the first time.
    cairo_surface_t* get(const std::shared_ptr<const void>& owner, const Key& key,
                         const std::function<void(cairo_t*)>& draw) {
        const int width = key.width, height = key.height;
        for (auto it = kept_.begin(); it != kept_.end(); ++it) {
            if (it->key == key) {
                std::rotate(it, it + 1, kept_.end());
                return kept_.back().surface.get();
            }
        }
        Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
        cairo_t* cr = cairo_create(surface.get());
        draw(cr);
        cairo_destroy(cr);
        if (kept_.size() >= entries) kept_.erase(kept_.begin());
        kept_.push_back({owner, key, std::move(surface)});
        return kept_.back().surface.get();
    }

private:
    struct Entry {
        std::shared_ptr<const void> owner;
        Key key;
        Surface surface;
    };
    std::vector<Entry> kept_;  // least recently used first
};

IconCache& iconCache() {
    static IconCache cache;
    return cache;
}

// Paints a cached surface of `width` × `height` centred in `box`.
void paintCentred(cairo_t* cr, cairo_surface_t* surface, const Rect& box, int width, int height, double alpha) {
    if (!surface) return;
    cairo_save(cr);
    cairo_set_source_surface(cr, surface, std::round(box.midX() - width * 0.5), std::round(box.midY() - height * 0.5));
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

void drawGeneric(cairo_t* cr, const Rect& box);

}  // namespace

void roundedRect(cairo_t* cr, const Rect& r, double radius) {
    const double k = std::clamp(radius, 0.0, std::min(r.width, r.height) * 0.5);
    if (k <= 0) {
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
        return;
    }
    constexpr double quarter = std::numbers::pi / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - k, r.y + k, k, -quarter, 0);
    cairo_arc(cr, r.maxX() - k, r.maxY() - k, k, 0, quarter);
    cairo_arc(cr, r.x + k, r.maxY() - k, k, quarter, 2 * quarter);
    cairo_arc(cr, r.x + k, r.y + k, k, 2 * quarter, 3 * quarter);
    cairo_close_path(cr);
}

void fillRounded(cairo_t* cr, const Rect& r, double radius) {
    const int width = static_cast<int>(std::lround(r.width));
    const int height = static_cast<int>(std::lround(r.height));
    if (width <= 0 || height <= 0) return;
    if (std::max(width, height) > IconCache::largest) {
        roundedRect(cr, r, radius);
        cairo_fill(cr);
        return;
    }
    const IconCache::Key key{nullptr, 1 + std::lround(std::max(radius, 0.0) * 8), width, height};
    cairo_surface_t* shape = iconCache().get(nullptr, key, [&](cairo_t* into) {
        roundedRect(into, {0, 0, static_cast<double>(width), static_cast<double>(height)}, radius);
        cairo_fill(into);
    });
    if (shape) cairo_mask_surface(cr, shape, std::round(r.x), std::round(r.y));
}

void color(cairo_t* cr, const RGBA& c, double alpha) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a * alpha);
}

void image(cairo_t* cr, const ArgbImage& picture, const Rect& box, double alpha) {
    if (!picture.valid() || box.width <= 0 || box.height <= 0) return;
    Surface surface = toSurface(picture);
    if (!surface) return;
    const double scale = std::min(box.width / picture.width, box.height / picture.height);
    const double w = picture.width * scale;
    const double h = picture.height * scale;
    cairo_save(cr);
    cairo_translate(cr, box.x + (box.width - w) * 0.5, box.y + (box.height - h) * 0.5);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, surface.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_rectangle(cr, 0, 0, picture.width, picture.height);
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

void icon(cairo_t* cr, const AppIconRef& appIcon, const Rect& box, double alpha) {
    const ArgbImage* best = appIcon ? appIcon->pick(std::min(box.width, box.height)) : nullptr;
    if (best && best->valid()) {
        const double scale = std::min(box.width / best->width, box.height / best->height);
        const int width = std::max(1, static_cast<int>(std::lround(best->width * scale)));
        const int height = std::max(1, static_cast<int>(std::lround(best->height * scale)));
        if (std::max(width, height) > IconCache::largest) {
            image(cr, *best, box, alpha);
            return;
        }
        cairo_surface_t* scaled = iconCache().get(appIcon, {best, 0, width, height}, [&](cairo_t* into) {
            image(into, *best, {0, 0, static_cast<double>(width), static_cast<double>(height)}, 1);
        });
        paintCentred(cr, scaled, box, width, height, alpha);
    } else {
        genericIcon(cr, box, alpha);
    }
}

void genericIcon(cairo_t* cr, const Rect& box, double alpha) {
    const int side = static_cast<int>(std::lround(std::min(box.width, box.height)));
    if (side <= 0) return;
    if (side > IconCache::largest) {
        cairo_save(cr);
        cairo_translate(cr, box.midX() - side * 0.5, box.midY() - side * 0.5);
        cairo_push_group(cr);
        drawGeneric(cr, {0, 0, static_cast<double>(side), static_cast<double>(side)});
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, alpha);
        cairo_restore(cr);
        return;
    }
    cairo_surface_t* drawn = iconCache().get(nullptr, {nullptr, 0, side, side}, [side](cairo_t* into) {
        drawGeneric(into, {0, 0, static_cast<double>(side), static_cast<double>(side)});
    });
    paintCentred(cr, drawn, box, side, side, alpha);
}

namespace {

void drawGeneric(cairo_t* cr, const Rect& box) {
    const double alpha = 1;
    const double side = std::min(box.width, box.height) * 0.9;
    const Rect r{box.midX() - side / 2, box.midY() - side / 2, side, side};
    cairo_save(cr);
    cairo_pattern_t* fill = cairo_pattern_create_linear(0, r.y, 0, r.maxY());
    cairo_pattern_add_color_stop_rgba(fill, 0, 0.62, 0.65, 0.72, alpha);
    cairo_pattern_add_color_stop_rgba(fill, 1, 0.36, 0.39, 0.46, alpha);
    roundedRect(cr, r, side * 0.22);
    cairo_set_source(cr, fill);
    cairo_fill(cr);
    cairo_pattern_destroy(fill);
    // A window with a title bar: what every application has in common.
    const Rect glyph{r.x + side * 0.2, r.y + side * 0.26, side * 0.6, side * 0.48};
    cairo_set_source_rgba(cr, 1, 1, 1, 0.9 * alpha);
    cairo_set_line_width(cr, std::max(side * 0.05, 1.0));
    roundedRect(cr, glyph, side * 0.06);
    cairo_stroke(cr);
    cairo_rectangle(cr, glyph.x, glyph.y, glyph.width, side * 0.1);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace

}  // namespace tessaline::Paint
