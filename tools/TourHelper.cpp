// The X side of scripts/run's tour: waits that end on X events rather than
// sleeps, and screenshots of the whole screen.
//
//   tour-helper wait-manager        until a window manager announces itself
//   tour-helper wait-windows N      until it manages at least N windows
//   tour-helper wait-drawn          until the newest managed window has drawn itself
//   tour-helper screenshot FILE [MS]
//                                   once the screen has stopped changing (for MS
//                                   milliseconds, 150 by default), as a PNG
//
// Each wait gives up after ten seconds with exit status 1.

#include <cairo.h>
#include <poll.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto giveUpAfter = 10s;
// Drawing that pauses this long is done: longer than a few frames of an
// animation, shorter than anyone notices.
constexpr auto quietSpell = 150ms;  // unless the caller asks for longer
constexpr auto windowQuietSpell = 500ms;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, Free>;

xcb_connection_t* c = nullptr;
xcb_screen_t* screen = nullptr;

xcb_atom_t atom(std::string_view name) {
    Owned<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

// The values of a root property of 32-bit values; empty when it is missing.
std::vector<uint32_t> rootList(xcb_atom_t property) {
    Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, screen->root, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr));
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

// Waits for the next event until `deadline`; null when none came.
Owned<xcb_generic_event_t> nextEvent(Clock::time_point deadline) {
    for (;;) {
        if (auto* event = xcb_poll_for_event(c)) return Owned<xcb_generic_event_t>(event);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms || xcb_connection_has_error(c)) return nullptr;
        pollfd waiting{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&waiting, 1, static_cast<int>(left.count()) + 1);
    }
}

// Until `done` holds, checked again whenever a root property changes.
template <class Done>
bool waitOnRoot(Done done) {
    const uint32_t mask[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, mask);
    const auto deadline = Clock::now() + giveUpAfter;
    while (!done()) {
        if (!nextEvent(deadline)) return false;
    }
    return true;
}

const xcb_query_extension_reply_t* damageExtension() {
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present) return nullptr;
    Owned<xcb_damage_query_version_reply_t> version(
        xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    return damage;
}

bool isDamage(const xcb_query_extension_reply_t* damage, const xcb_generic_event_t& event) {
    return (event.response_type & 0x7f) == damage->first_event + XCB_DAMAGE_NOTIFY;
}

// A toolkit window is painted in its background colour while the manager
// sizes it, and draws its first real frame a while later (GTK loads its
// theme first): it is drawn once it has been damaged and then left alone
// for a longer spell than the screen as a whole needs.
bool waitDrawn() {
    const auto windows = rootList(atom("_NET_CLIENT_LIST"));
    const xcb_query_extension_reply_t* damage = damageExtension();
    if (windows.empty() || !damage) return !windows.empty();
    xcb_damage_create(c, xcb_generate_id(c), windows.back(), XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    xcb_flush(c);
    const auto deadline = Clock::now() + giveUpAfter;
    bool drawn = false;
    while (auto event = nextEvent(drawn ? std::min(Clock::now() + windowQuietSpell, deadline) : deadline)) {
        if (isDamage(damage, *event)) drawn = true;
    }
    return drawn;
}

// Until nothing has been drawn anywhere on the screen for a quiet spell.
bool settle(std::chrono::milliseconds quiet) {
    const xcb_query_extension_reply_t* damage = damageExtension();
    if (!damage) return true;
    const xcb_damage_damage_t watch = xcb_generate_id(c);
    xcb_damage_create(c, watch, screen->root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    xcb_flush(c);
    const auto deadline = Clock::now() + giveUpAfter;
    for (;;) {
        const auto quietUntil = std::min(Clock::now() + quiet, deadline);
        auto event = nextEvent(quietUntil);
        if (!event) return Clock::now() < deadline;
        if (isDamage(damage, *event)) {
            // Take the damage so far, so the next drawing is reported again.
            xcb_damage_subtract(c, watch, XCB_NONE, XCB_NONE);
            xcb_flush(c);
        }
    }
}

bool screenshot(const char* file) {
    const int width = screen->width_in_pixels, height = screen->height_in_pixels;
    Owned<xcb_get_image_reply_t> image(xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0, width, height, ~0u), nullptr));
    // 24- and 32-bit screens hold a pixel in four bytes, as Cairo's RGB24 does.
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
    if (!image || xcb_get_image_data_length(image.get()) < stride * height) {
        std::fprintf(stderr, "tour-helper: couldn't read the screen's pixels\n");
        return false;
    }
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(xcb_get_image_data(image.get()), CAIRO_FORMAT_RGB24, width, height, stride);
    const bool written = cairo_surface_write_to_png(surface, file) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!written) std::fprintf(stderr, "tour-helper: couldn't write %s\n", file);
    return written;
}

int usage() {
    std::fprintf(stderr, "usage: tour-helper wait-manager | wait-windows N | wait-drawn | screenshot FILE [MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string_view command = argv[1];
    int number = 0;
    c = xcb_connect(nullptr, &number);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "tour-helper: can't open the display\n");
        return 1;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < number && screens.rem; ++i) xcb_screen_next(&screens);
    screen = screens.data;

    bool ok = false;
    if (command == "wait-manager" && argc == 2) {
        const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
        ok = waitOnRoot([&] { return !rootList(check).empty(); });
        if (!ok) std::fprintf(stderr, "tour-helper: no window manager started\n");
    } else if (command == "wait-windows" && argc == 3) {
        const int wanted = std::atoi(argv[2]);
        const xcb_atom_t list = atom("_NET_CLIENT_LIST");
        ok = waitOnRoot([&] { return rootList(list).size() >= std::size_t(wanted); });
        if (!ok) std::fprintf(stderr, "tour-helper: fewer than %d windows were managed\n", wanted);
    } else if (command == "wait-drawn" && argc == 2) {
        ok = waitDrawn();
        if (!ok) std::fprintf(stderr, "tour-helper: the newest window drew nothing\n");
    } else if (command == "screenshot" && (argc == 3 || argc == 4)) {
        settle(argc == 4 ? std::chrono::milliseconds(std::atoi(argv[3])) : quietSpell);
        ok = screenshot(argv[2]);
    } else {
        return usage();
    }
    xcb_disconnect(c);
    return ok ? 0 : 1;
}
