#pragma once
// Live images of windows for the overview's cards, through the Composite
// extension: each window's pixmap is scaled down by the server (Render)
// into a pixmap of the card's size, whose pixels come back with GetImage.
//
// Nothing waits for the server: a pass sends its requests on one frame tick
// and picks up the replies that have arrived on later ones, so a pass spans
// a few frames and there is at most one step per frame. While asked, passes
// repeat every `refreshInterval`, so the cards follow what the windows show.
// Without a compositor windows have no pixmaps of their own; the screen's
// windows are then redirected (automatically: they still show as usual)
// while previews are wanted.

#include <xcb/render.h>
#include <xcb/xcb.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/platform/Platform.h"
#include "overlays/model/AppIcon.h"

namespace tessaline {

class X11Connection;

class WindowPreviews {
public:
    static constexpr double refreshInterval = 0.5;

    // `compositing` tells whether a compositing manager runs now.
    WindowPreviews(X11Connection& x, Scheduler& scheduler, std::function<bool()> compositing);
    ~WindowPreviews();
    WindowPreviews(const WindowPreviews&) = delete;
    WindowPreviews& operator=(const WindowPreviews&) = delete;

    // Composite 0.2 (window pixmaps) and Render are there.
    bool available() const;

    // Images of these windows, each fitting its size in pixels, delivered to
    // `each` on the loop; replaces what was asked before.
    void capture(const std::vector<std::pair<WindowID, Size>>& sizes,
                 std::function<void(WindowID, ArgbImageRef)> each);
    void stop();

private:
    enum class Stage { idle, measuring, scaling };
    struct Shot {
        WindowID window = 0;
        Size room;
        xcb_get_window_attributes_cookie_t attributes{};
        xcb_get_geometry_cookie_t geometry{};
        bool attributesIn = false, geometryIn = false;
        bool viewable = false;
        xcb_visualid_t visual = XCB_NONE;
        int windowWidth = 0, windowHeight = 0;
        std::optional<xcb_get_image_cookie_t> image;  // until its reply is taken
        int width = 0, height = 0;                    // of the image
        ArgbImageRef result;
    };

    void startTicks();
    void step();
    void measure();
    bool scaleAll();
    void scale(Shot& shot);
    bool deliver();
    void finishPass();
    bool ready();
    xcb_render_pictformat_t formatOf(xcb_visualid_t visual);

    X11Connection& x_;
    Scheduler& scheduler_;
    std::function<bool()> compositing_;
    bool composite_ = false;
    bool render_ = false;
    xcb_render_query_pict_formats_cookie_t formatsCookie_{};
    bool formatsAsked_ = false;
    std::vector<std::pair<xcb_visualid_t, xcb_render_pictformat_t>> formats_;

    std::vector<std::pair<WindowID, Size>> wanted_;
    std::function<void(WindowID, ArgbImageRef)> each_;
    std::vector<Shot> shots_;
    Stage stage_ = Stage::idle;
    std::shared_ptr<ScheduledTask> ticks_;
    std::shared_ptr<ScheduledTask> again_;
    bool redirected_ = false;
    // Callbacks of the scheduler find out through this whether we still exist.
    std::shared_ptr<WindowPreviews*> self_;
};

}  // namespace tessaline
