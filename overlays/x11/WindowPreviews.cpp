#include "overlays/x11/WindowPreviews.h"

#include <xcb/composite.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/x11/X11Connection.h"

namespace tessaline {

namespace {

// Requests about other clients' windows may fail (a window unmapped
// meanwhile has no pixmap): their errors are dropped, never reported.
void ignoreErrors(xcb_connection_t* c, xcb_void_cookie_t cookie) { xcb_discard_reply(c, cookie.sequence); }

// The reply if it has arrived, without waiting; `arrived` false when not yet.
template <class T>
Reply<T> poll(xcb_connection_t* c, unsigned int sequence, bool& arrived) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    arrived = xcb_poll_for_reply(c, sequence, &reply, &error) != 0;
    std::free(error);
    return Reply<T>(static_cast<T*>(reply));
}

xcb_render_fixed_t fixed(double value) { return static_cast<xcb_render_fixed_t>(std::lround(value * 65536)); }

}  // namespace

WindowPreviews::WindowPreviews(X11Connection& x, Scheduler& scheduler, std::function<bool()> compositing)
    : x_(x), scheduler_(scheduler), compositing_(std::move(compositing)),
      self_(std::make_shared<WindowPreviews*>(this)) {
    xcb_connection_t* c = x.get();
    const auto* composite = xcb_get_extension_data(c, &xcb_composite_id);
    const auto* render = xcb_get_extension_data(c, &xcb_render_id);
    if (!composite || !composite->present || !render || !render->present) return;
    // Both extensions want to hear the client's version before anything else.
    const auto compositeVersion = xcb_composite_query_version(c, 0, 4);
    const auto renderVersion = xcb_render_query_version(c, 0, 11);
    if (auto reply = replyTo(xcb_composite_query_version_reply, c, compositeVersion)) {
        composite_ = reply->major_version > 0 || reply->minor_version >= 2;
    }
    render_ = replyTo(xcb_render_query_version_reply, c, renderVersion) != nullptr;
    if (render_) {
        formatsCookie_ = xcb_render_query_pict_formats(c);
        formatsAsked_ = true;
    }
}

WindowPreviews::~WindowPreviews() {
    stop();
    if (formatsAsked_) xcb_discard_reply(x_.get(), formatsCookie_.sequence);
}

bool WindowPreviews::available() const { return composite_ && render_; }

void WindowPreviews::capture(const std::vector<std::pair<WindowID, Size>>& sizes,
                             std::function<void(WindowID, ArgbImageRef)> each) {
    if (!available()) return;
    wanted_.clear();
    for (const auto& [window, size] : sizes) {
        if (window != 0 && size.width >= 4 && size.height >= 4) wanted_.emplace_back(window, size);
    }
    each_ = std::move(each);
    // A pass under way finishes first; the next one takes the new list.
    if (stage_ == Stage::idle) {
        if (again_) again_->cancel();
        startTicks();
    }
}

void WindowPreviews::stop() {
    wanted_.clear();
    each_ = nullptr;
    if (ticks_) ticks_->cancel();
    if (again_) again_->cancel();
    ticks_ = again_ = nullptr;
    xcb_connection_t* c = x_.get();
    // Replies still on their way are dropped when they come.
    for (const Shot& shot : shots_) {
        if (!shot.attributesIn) xcb_discard_reply(c, shot.attributes.sequence);
        if (!shot.geometryIn) xcb_discard_reply(c, shot.geometry.sequence);
        if (shot.image) xcb_discard_reply(c, shot.image->sequence);
    }
    shots_.clear();
    stage_ = Stage::idle;
    if (redirected_) {
        ignoreErrors(c, xcb_composite_unredirect_subwindows_checked(c, x_.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC));
        redirected_ = false;
    }
}

void WindowPreviews::startTicks() {
    if (ticks_) return;
    const std::weak_ptr<WindowPreviews*> weak = self_;
    ticks_ = scheduler_.frames([weak] {
        if (const auto self = weak.lock()) (*self)->step();
    });
}

void WindowPreviews::step() {
    switch (stage_) {
        case Stage::idle:
            if (wanted_.empty()) {
                if (ticks_) ticks_->cancel();
                ticks_ = nullptr;
                return;
            }
            measure();
            return;
        case Stage::measuring:
            if (scaleAll()) stage_ = Stage::scaling;
            return;
        case Stage::scaling:
            if (deliver()) finishPass();
            return;
    }
}

void WindowPreviews::measure() {
    xcb_connection_t* c = x_.get();
    if (!compositing_() && !redirected_) {
        ignoreErrors(c, xcb_composite_redirect_subwindows_checked(c, x_.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC));
        redirected_ = true;
    }
    shots_.clear();
    for (const auto& [window, room] : wanted_) {
        Shot shot;
        shot.window = window;
        shot.room = room;
        shot.attributes = xcb_get_window_attributes(c, window);
        shot.geometry = xcb_get_geometry(c, window);
        shots_.push_back(shot);
    }
    stage_ = Stage::measuring;
}

bool WindowPreviews::scaleAll() {
    xcb_connection_t* c = x_.get();
    // What has arrived is kept in the shots; the rest is looked for next frame.
    for (Shot& shot : shots_) {
        bool arrived = false;
        if (!shot.attributesIn) {
            const auto attributes = poll<xcb_get_window_attributes_reply_t>(c, shot.attributes.sequence, arrived);
            if (!arrived) return false;
            shot.attributesIn = true;
            shot.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                            attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
            if (attributes) shot.visual = attributes->visual;
        }
        if (!shot.geometryIn) {
            const auto geometry = poll<xcb_get_geometry_reply_t>(c, shot.geometry.sequence, arrived);
            if (!arrived) return false;
            shot.geometryIn = true;
            if (geometry) {
                shot.windowWidth = geometry->width;
                shot.windowHeight = geometry->height;
            }
        }
    }
    for (Shot& shot : shots_) {
        if (shot.viewable) scale(shot);
    }
    return true;
}

void WindowPreviews::scale(Shot& shot) {
    const int windowWidth = shot.windowWidth, windowHeight = shot.windowHeight;
    if (!ready() || windowWidth <= 0 || windowHeight <= 0) return;
    xcb_connection_t* c = x_.get();
    xcb_screen_t* screen = x_.screen();
    const xcb_render_pictformat_t source = formatOf(shot.visual);
    const xcb_render_pictformat_t target = formatOf(screen->root_visual);
    if (!source || !target) return;
    const double factor = std::min({shot.room.width / windowWidth, shot.room.height / windowHeight, 1.0});
    const int width = std::max(1, static_cast<int>(std::lround(windowWidth * factor)));
    const int height = std::max(1, static_cast<int>(std::lround(windowHeight * factor)));

    const xcb_pixmap_t contents = xcb_generate_id(c);
    ignoreErrors(c, xcb_composite_name_window_pixmap_checked(c, shot.window, contents));
    const xcb_render_picture_t from = xcb_generate_id(c);
    ignoreErrors(c, xcb_render_create_picture_checked(c, from, contents, source, 0, nullptr));
    const xcb_render_transform_t shrink{fixed(1 / factor), 0, 0, 0, fixed(1 / factor), 0, 0, 0, fixed(1)};
    ignoreErrors(c, xcb_render_set_picture_transform_checked(c, from, shrink));
    static constexpr char filter[] = "bilinear";
    ignoreErrors(c, xcb_render_set_picture_filter_checked(c, from, sizeof filter - 1, filter, 0, nullptr));

    const xcb_pixmap_t small = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, small, x_.root(), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height));
    const xcb_render_picture_t to = xcb_generate_id(c);
    xcb_render_create_picture(c, to, small, target, 0, nullptr);
    ignoreErrors(c, xcb_render_composite_checked(c, XCB_RENDER_PICT_OP_SRC, from, XCB_NONE, to, 0, 0, 0, 0, 0, 0,
                                                 static_cast<std::uint16_t>(width),
                                                 static_cast<std::uint16_t>(height)));
    shot.image = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, small, 0, 0, static_cast<std::uint16_t>(width),
                               static_cast<std::uint16_t>(height), ~0u);
    shot.width = width;
    shot.height = height;
    xcb_render_free_picture(c, to);
    xcb_free_pixmap(c, small);
    ignoreErrors(c, xcb_render_free_picture_checked(c, from));
    ignoreErrors(c, xcb_free_pixmap_checked(c, contents));
}

bool WindowPreviews::deliver() {
    xcb_connection_t* c = x_.get();
    for (Shot& shot : shots_) {
        if (!shot.image) continue;
        bool arrived = false;
        const auto reply = poll<xcb_get_image_reply_t>(c, shot.image->sequence, arrived);
        if (!arrived) return false;
        shot.image.reset();
        const std::size_t count = static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height);
        if (!reply || reply->depth < 24 ||
            static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < count * 4) {
            continue;
        }
        auto image = std::make_shared<ArgbImage>();
        image->width = shot.width;
        image->height = shot.height;
        image->pixels.resize(count);
        const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply.get()));
        // The screen's pixels carry no alpha: every one is opaque.
        for (std::size_t i = 0; i < count; ++i) image->pixels[i] = data[i] | 0xFF000000u;
        shot.result = std::move(image);
    }
    std::vector<std::pair<WindowID, ArgbImageRef>> images;
    for (Shot& shot : shots_) {
        if (shot.result) images.emplace_back(shot.window, std::move(shot.result));
    }
    // A copy: the callback may ask for other windows, or stop.
    const auto each = each_;
    for (auto& [window, image] : images) {
        if (each) each(window, std::move(image));
    }
    return true;
}

void WindowPreviews::finishPass() {
    shots_.clear();
    stage_ = Stage::idle;
    if (ticks_) ticks_->cancel();
    ticks_ = nullptr;
    if (!each_ || wanted_.empty()) return;
    const std::weak_ptr<WindowPreviews*> weak = self_;
    again_ = scheduler_.after(refreshInterval, [weak] {
        if (const auto self = weak.lock()) (*self)->startTicks();
    });
}

bool WindowPreviews::ready() {
    if (formatsAsked_) {
        formatsAsked_ = false;
        const auto reply = replyTo(xcb_render_query_pict_formats_reply, x_.get(), formatsCookie_);
        if (!reply) {
            render_ = false;
            return false;
        }
        for (auto screens = xcb_render_query_pict_formats_screens_iterator(reply.get()); screens.rem;
             xcb_render_pictscreen_next(&screens)) {
            for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem;
                 xcb_render_pictdepth_next(&depths)) {
                for (auto visuals = xcb_render_pictdepth_visuals_iterator(depths.data); visuals.rem;
                     xcb_render_pictvisual_next(&visuals)) {
                    formats_.emplace_back(visuals.data->visual, visuals.data->format);
                }
            }
        }
    }
    return render_;
}

xcb_render_pictformat_t WindowPreviews::formatOf(xcb_visualid_t visual) {
    for (const auto& [id, format] : formats_) {
        if (id == visual) return format;
    }
    return XCB_NONE;
}

}  // namespace tessaline
