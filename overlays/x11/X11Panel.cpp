#include "overlays/x11/X11Panel.h"

#include <sys/mman.h>
#include <xcb/shape.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/log/Log.h"
#include "overlays/x11/PanelShape.h"
#include "overlays/x11/X11Panels.h"
#include "platform/x11/X11Connection.h"

namespace tessaline {

namespace {

// Pixels for one paint, in memory of their own that goes back to the system
// at once: a full-screen panel is megabytes, and a heap keeps what it freed.
class Pixels {
public:
    Pixels(int width, int height)
        : width_(width), height_(height), stride_(cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width)),
          size_(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height)) {
        void* memory = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        data_ = memory == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(memory);
    }
    ~Pixels() {
        if (data_) ::munmap(data_, size_);
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;

    bool valid() const { return data_ != nullptr; }
    std::uint8_t* data() const { return data_; }
    int stride() const { return stride_; }
    const std::uint32_t* row(int y) const {
        return reinterpret_cast<const std::uint32_t*>(data_ + static_cast<std::size_t>(y) * stride_);
    }

    cairo_surface_t* surface() const {
        return cairo_image_surface_create_for_data(data_, CAIRO_FORMAT_ARGB32, width_, height_, stride_);
    }

private:
    int width_, height_, stride_;
    std::size_t size_;
    std::uint8_t* data_ = nullptr;
};

std::vector<xcb_rectangle_t> toX(const std::vector<PixelRect>& rects) {
    std::vector<xcb_rectangle_t> out;
    out.reserve(rects.size());
    for (const PixelRect& r : rects) {
        if (r.width <= 0 || r.height <= 0) continue;
        out.push_back({static_cast<std::int16_t>(r.x), static_cast<std::int16_t>(r.y),
                       static_cast<std::uint16_t>(r.width), static_cast<std::uint16_t>(r.height)});
    }
    return out;
}

int pixels(double points) { return static_cast<int>(std::lround(std::clamp(points, -32768.0, 32767.0))); }

// More rectangles than this make a region request too long to be worth it:
// the panel keeps its whole rectangle instead.
constexpr std::size_t maxShapeRects = 8000;

}  // namespace

X11Panel::X11Panel(X11Panels& host, const PanelSpec& spec) : Panel(spec), host_(host) {}

X11Panel::~X11Panel() {
    if (retry_) retry_->cancel();
    destroy();
    host_.forget(*this);
}

void X11Panel::touch() {
    if (pending_) return;
    pending_ = true;
    host_.changed(*this);
}

void X11Panel::stackingChanged() {
    host_.restackSoon();
    touch();
}

void X11Panel::create() {
    X11Connection& x = host_.connection();
    xcb_connection_t* c = x.get();
    const X11Panels::Look& look = host_.look();
    window_ = xcb_generate_id(c);
    std::uint32_t events = 0;
    if (spec().clicks) {
        events |= XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                  XCB_EVENT_MASK_LEAVE_WINDOW;
    }
    if (spec().keyboard) events |= XCB_EVENT_MASK_KEY_PRESS;
    // Value order follows the mask bits: back pixel, border pixel, override
    // redirect, event mask, colormap. A border pixel is required whenever
    // the visual differs from the parent's.
    const std::uint32_t values[] = {0, 0, 1, events, look.colormap};
    xcb_create_window(c, look.depth, window_, x.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, look.visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK |
                          XCB_CW_COLORMAP,
                      values);
    // Names for whoever looks at the window tree (and the tests).
    x.setText(window_, x.atom(Atom::_NET_WM_NAME), "Tessaline " + std::string(toString(spec().kind)));
    static constexpr char windowClass[] = "tessaline\0Tessaline";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof windowClass, windowClass);
    x.setValues(window_, x.atom(Atom::_NET_WM_WINDOW_TYPE), XCB_ATOM_ATOM, {host_.typeAtom()});
    if (!spec().clicks && host_.shapes()) {
        xcb_xfixes_set_window_shape_region(c, window_, XCB_SHAPE_SK_INPUT, 0, 0, host_.emptyRegion());
    }
    gc_ = xcb_generate_id(c);
    xcb_create_gc(c, gc_, window_, 0, nullptr);
    mapped_ = painted_ = shaped_ = grabbed_ = false;
    x_ = y_ = width_ = height_ = 0;
    sentOpacity_ = 1;
    opaque_.clear();
}

void X11Panel::destroy() {
    if (!window_) return;
    xcb_connection_t* c = host_.connection().get();
    if (grabbed_) xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_free_gc(c, gc_);
    xcb_destroy_window(c, window_);
    window_ = XCB_NONE;
    gc_ = XCB_NONE;
    mapped_ = grabbed_ = false;
}

void X11Panel::discardWindow() {
    destroy();
    touch();
}

void X11Panel::withdraw() {
    if (retry_) retry_->cancel();
    if (!window_) return;
    xcb_connection_t* c = host_.connection().get();
    if (grabbed_) xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    grabbed_ = false;
    if (mapped_) xcb_unmap_window(c, window_);
    mapped_ = false;
}

bool X11Panel::repaintDue() const {
    const Rect& f = frame();
    return pending_ && isShown() &&
           (!painted_ || std::max(1, pixels(f.width)) != width_ || std::max(1, pixels(f.height)) != height_);
}

void X11Panel::push() {
    pending_ = false;
    const Rect& f = frame();
    const int width = std::max(1, pixels(f.width));
    const int height = std::max(1, pixels(f.height));
    const bool wanted = isShown() && opacity() > 0.01 && f.width >= 1 && f.height >= 1;
    if (!wanted) {
        updateKeyboard();
        if (mapped_) {
            xcb_unmap_window(host_.connection().get(), window_);
            mapped_ = false;
        }
        return;
    }
    if (!window_) create();
    xcb_connection_t* c = host_.connection().get();

    const bool resized = width != width_ || height != height_;
    const bool repaint = resized || !painted_;
    if (repaint) upload(width, height);

    const int x = pixels(f.x), y = pixels(f.y);
    if (resized || x != x_ || y != y_) {
        // One request per move; a new size comes with it.
        const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                        static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
        xcb_configure_window(c, window_,
                             resized ? XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                           XCB_CONFIG_WINDOW_HEIGHT
                                     : XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y,
                             values);
        x_ = x;
        y_ = y;
        width_ = width;
        height_ = height;
    }
    if (repaint) xcb_clear_area(c, 0, window_, 0, 0, 0, 0);
    if (!shaped_) reshape();
    if (opacity() != sentOpacity_) sendOpacity();
    if (!mapped_) {
        xcb_map_window(c, window_);
        mapped_ = true;
        host_.restackSoon();
    }
    updateKeyboard();
}

void X11Panel::upload(int width, int height) {
    painted_ = true;
    const X11Panels::Look& look = host_.look();
    Pixels image(width, height);
    if (!image.valid()) {
        Log::lifecycle.error([&] { return "no memory to paint the " + std::string(toString(spec().kind)) + " panel"; });
        return;
    }
    cairo_surface_t* surface = image.surface();
    cairo_t* cr = cairo_create(surface);
    // The hole, if any, is cut out of the window's shape instead.
    // Fresh anonymous memory reads as zeros: transparent already.
    paint(cr, look.composited, false, true);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);

    if (!look.composited) {
        std::vector<xcb_rectangle_t> opaque =
            toX(PanelShape::opaqueArea(image.row(0), width, height, image.stride()));
        const auto same = [](const xcb_rectangle_t& a, const xcb_rectangle_t& b) {
            return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
        };
        if (!std::equal(opaque.begin(), opaque.end(), opaque_.begin(), opaque_.end(), same)) {
            opaque_ = std::move(opaque);
            shaped_ = false;
        }
    }

    xcb_connection_t* c = host_.connection().get();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, look.depth, pixmap, window_, static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height));
    // In bands that each fit one request, however large the panel.
    const std::size_t limit = std::min<std::size_t>(xcb_get_maximum_request_length(c) * 4u - 64, 1u << 20);
    const int rows = std::max(1, static_cast<int>(limit / static_cast<std::size_t>(image.stride())));
    for (int top = 0; top < height; top += rows) {
        const int band = std::min(rows, height - top);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc_, static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(band), 0, static_cast<std::int16_t>(top), 0, look.depth,
                      static_cast<std::uint32_t>(band * image.stride()),
                      reinterpret_cast<const std::uint8_t*>(image.row(top)));
    }
    // The window keeps the pixmap as long as it needs it.
    xcb_change_window_attributes(c, window_, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_free_pixmap(c, pixmap);
}

void X11Panel::reshape() {
    shaped_ = true;
    if (!host_.shapes()) return;
    xcb_connection_t* c = host_.connection().get();
    const bool composited = host_.look().composited;
    if (composited && !hole()) {
        xcb_xfixes_set_window_shape_region(c, window_, XCB_SHAPE_SK_BOUNDING, 0, 0, XCB_NONE);
        return;
    }
    std::vector<xcb_rectangle_t> area;
    if (composited || opaque_.size() > maxShapeRects) {
        area.push_back({0, 0, static_cast<std::uint16_t>(width_), static_cast<std::uint16_t>(height_)});
    } else {
        area = opaque_;
    }
    const xcb_xfixes_region_t region = xcb_generate_id(c);
    xcb_xfixes_create_region(c, region, static_cast<std::uint32_t>(area.size()), area.data());
    if (hole()) {
        const std::vector<xcb_rectangle_t> cut = toX(PanelShape::rounded(*hole()));
        const xcb_xfixes_region_t holeRegion = xcb_generate_id(c);
        xcb_xfixes_create_region(c, holeRegion, static_cast<std::uint32_t>(cut.size()), cut.data());
        xcb_xfixes_subtract_region(c, region, holeRegion, region);
        xcb_xfixes_destroy_region(c, holeRegion);
    }
    xcb_xfixes_set_window_shape_region(c, window_, XCB_SHAPE_SK_BOUNDING, 0, 0, region);
    xcb_xfixes_destroy_region(c, region);
}

void X11Panel::sendOpacity() {
    sentOpacity_ = opacity();
    // Only a compositor reads it; without one a fade is not shown.
    if (!host_.look().composited) return;
    X11Connection& x = host_.connection();
    if (opacity() >= 1) {
        x.deleteProperty(window_, host_.opacityAtom());
    } else {
        const double share = std::clamp(opacity(), 0.0, 1.0);
        x.setValues(window_, host_.opacityAtom(), XCB_ATOM_CARDINAL,
                    {static_cast<std::uint32_t>(std::lround(share * 0xFFFFFFFFu))});
    }
}

void X11Panel::updateKeyboard() {
    const bool wanted = hasKeyboard() && mapped_;
    if (wanted && !grabbed_) {
        grabKeyboard();
    } else if (!wanted && grabbed_) {
        xcb_ungrab_keyboard(host_.connection().get(), XCB_CURRENT_TIME);
        grabbed_ = false;
    }
    if (!hasKeyboard()) {
        grabTries_ = 0;
        if (retry_) retry_->cancel();
    }
}

void X11Panel::grabKeyboard() {
    // A grab, not the focus: the focused window stays focused, and gets its
    // keys back the moment the grab ends.
    xcb_connection_t* c = host_.connection().get();
    const auto reply = replyTo(xcb_grab_keyboard_reply, c,
                               xcb_grab_keyboard(c, 0, window_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                                 XCB_GRAB_MODE_ASYNC));
    if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
        grabbed_ = true;
        return;
    }
    // Another client holds the keyboard (an open menu): ask again shortly,
    // for about two seconds.
    constexpr int tries = 40;
    if (++grabTries_ > tries) {
        Log::input.error("the overview couldn't take the keyboard: another program holds it");
        return;
    }
    if (retry_) retry_->cancel();
    retry_ = host_.scheduler().after(0.05, [this] { touch(); });
}

void X11Panel::pointer(PanelPointer::Phase phase, Point at, int button) {
    if (onPointer && isVisible()) onPointer(PanelPointer{phase, at, button});
}

void X11Panel::key(OverlayKey pressed) {
    if (onKey) onKey(pressed);
}

}  // namespace tessaline
