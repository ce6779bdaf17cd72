#include "platform/x11/X11Monitors.h"

#include <xcb/randr.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <tuple>

#include "platform/x11/X11Connection.h"

namespace tessaline {

namespace {

std::uint64_t fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool containsRect(const Rect& outer, const Rect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.maxX() <= outer.maxX() &&
           inner.maxY() <= outer.maxY();
}

double refreshOf(const xcb_randr_mode_info_t& mode) {
    if (mode.htotal == 0 || mode.vtotal == 0) return 0;
    return static_cast<double>(mode.dot_clock) / (static_cast<double>(mode.htotal) * mode.vtotal);
}

std::string atomName(xcb_connection_t* c, xcb_get_atom_name_cookie_t cookie) {
    auto reply = replyTo(xcb_get_atom_name_reply, c, cookie);
    if (!reply) return {};
    return std::string(xcb_get_atom_name_name(reply.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
}

MonitorInfo wholeScreen(const xcb_screen_t& screen) {
    MonitorInfo monitor;
    monitor.uuid = "screen";
    monitor.name = "screen";
    monitor.frame = Rect{0, 0, static_cast<double>(screen.width_in_pixels),
                         static_cast<double>(screen.height_in_pixels)};
    monitor.primary = true;
    return monitor;
}

}  // namespace

std::string edidIdentifier(const std::vector<std::uint8_t>& edid) {
    // The base block names the screen (maker, model, serial); extension
    // blocks may change with the mode and are left out.
    const std::size_t size = std::min<std::size_t>(edid.size(), 128);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "edid-%016llx",
                  static_cast<unsigned long long>(fnv1a(edid.data(), size)));
    return buffer;
}

std::vector<MonitorInfo> readMonitors(X11Connection& connection) {
    xcb_connection_t* c = connection.get();
    const xcb_screen_t& screen = *connection.screen();
    if (!connection.randrEvents()) return {wholeScreen(screen)};

    auto monitors = replyTo(xcb_randr_get_monitors_reply, c, xcb_randr_get_monitors(c, connection.root(), 1));
    Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, connection.root()), nullptr));
    if (!monitors) return {wholeScreen(screen)};

    struct Pending {
        MonitorInfo info;
        xcb_get_atom_name_cookie_t name;
        bool hasOutput = false;
        xcb_randr_get_output_info_cookie_t output;
        xcb_randr_get_output_property_cookie_t edid;
    };
    std::vector<Pending> pending;
    const xcb_timestamp_t configTime = resources ? resources->config_timestamp : XCB_CURRENT_TIME;
    // Every request first, every reply after: one round trip for all monitors.
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& m = *it.data;
        Pending p;
        p.info.id = m.name;
        p.info.primary = m.primary != 0;
        p.info.frame = Rect{static_cast<double>(m.x), static_cast<double>(m.y),
                            static_cast<double>(m.width), static_cast<double>(m.height)};
        p.name = xcb_get_atom_name(c, m.name);
        if (xcb_randr_monitor_info_outputs_length(&m) > 0) {
            const xcb_randr_output_t output = xcb_randr_monitor_info_outputs(&m)[0];
            p.hasOutput = true;
            p.output = xcb_randr_get_output_info(c, output, configTime);
            p.edid = xcb_randr_get_output_property(c, output, connection.atom(Atom::EDID),
                                                   XCB_GET_PROPERTY_TYPE_ANY, 0, 32, 0, 0);
        }
        pending.push_back(p);
    }

    std::vector<xcb_randr_get_crtc_info_cookie_t> crtcs(pending.size());
    std::vector<bool> hasCrtc(pending.size(), false);
    for (std::size_t i = 0; i < pending.size(); ++i) {
        Pending& p = pending[i];
        p.info.name = atomName(c, p.name);
        std::string connector;
        std::string edid;
        if (p.hasOutput) {
            auto output = replyTo(xcb_randr_get_output_info_reply, c, p.output);
            if (output) {
                connector.assign(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(output.get())),
                                 static_cast<std::size_t>(xcb_randr_get_output_info_name_length(output.get())));
                if (output->crtc != XCB_NONE) {
                    crtcs[i] = xcb_randr_get_crtc_info(c, output->crtc, configTime);
                    hasCrtc[i] = true;
                }
            }
            auto property = replyTo(xcb_randr_get_output_property_reply, c, p.edid);
            if (property && property->format == 8 && property->num_items >= 8) {
                const std::uint8_t* data = xcb_randr_get_output_property_data(property.get());
                edid = edidIdentifier(std::vector<std::uint8_t>(data, data + property->num_items));
            }
        }
        if (!edid.empty()) {
            p.info.uuid = edid;
        } else if (!connector.empty()) {
            p.info.uuid = "output-" + connector;
        } else {
            p.info.uuid = "monitor-" + p.info.name;
        }
    }

    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (!hasCrtc[i] || !resources) continue;
        auto crtc = replyTo(xcb_randr_get_crtc_info_reply, c, crtcs[i]);
        if (!crtc || crtc->mode == XCB_NONE) continue;
        const xcb_randr_mode_info_t* modes = xcb_randr_get_screen_resources_current_modes(resources.get());
        const int count = xcb_randr_get_screen_resources_current_modes_length(resources.get());
        for (int m = 0; m < count; ++m) {
            if (modes[m].id == crtc->mode) pending[i].info.refreshRate = refreshOf(modes[m]);
        }
    }

    std::vector<MonitorInfo> result;
    for (Pending& p : pending) {
        if (p.info.frame.width > 0 && p.info.frame.height > 0) result.push_back(std::move(p.info));
    }
    result = arrangeMonitors(std::move(result));
    if (result.empty()) result.push_back(wholeScreen(screen));
    return result;
}

std::vector<MonitorInfo> arrangeMonitors(std::vector<MonitorInfo> monitors) {
    std::stable_sort(monitors.begin(), monitors.end(), [](const MonitorInfo& a, const MonitorInfo& b) {
        return std::make_tuple(!a.primary, a.frame.x, a.frame.y) < std::make_tuple(!b.primary, b.frame.x, b.frame.y);
    });
    std::vector<MonitorInfo> kept;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const MonitorInfo& m = monitors[i];
        const bool clone = std::any_of(kept.begin(), kept.end(),
                                       [&](const MonitorInfo& k) { return k.frame == m.frame; });
        const bool container = std::any_of(monitors.begin(), monitors.end(), [&](const MonitorInfo& other) {
            return &other != &m && other.frame != m.frame && containsRect(m.frame, other.frame);
        });
        if (!clone && !container) kept.push_back(m);
    }
    // Monitors sharing one output (a screen split in two) would share its
    // identifier; their names tell them apart.
    std::multiset<std::string> seen;
    for (const MonitorInfo& m : kept) seen.insert(m.uuid);
    for (MonitorInfo& m : kept) {
        if (seen.count(m.uuid) > 1) m.uuid = "monitor-" + m.name;
    }
    // The first monitor is the primary one from here on, whatever RandR said.
    for (std::size_t i = 0; i < kept.size(); ++i) kept[i].primary = i == 0;
    return kept;
}

Rect visibleArea(const Rect& monitor, Size screen, const std::vector<Strut>& struts) {
    double left = monitor.minX(), right = monitor.maxX(), top = monitor.minY(), bottom = monitor.maxY();
    for (const Strut& strut : struts) {
        const auto& v = strut.values;
        const auto d = [&](std::size_t i) { return static_cast<double>(v[i]); };
        // Bands in root coordinates: x, y, width, height.
        const Rect bands[4] = {
            Rect{0, d(4), d(0), d(5) - d(4) + 1},
            Rect{screen.width - d(1), d(6), d(1), d(7) - d(6) + 1},
            Rect{d(8), 0, d(9) - d(8) + 1, d(2)},
            Rect{d(10), screen.height - d(3), d(11) - d(10) + 1, d(3)},
        };
        for (int side = 0; side < 4; ++side) {
            const Rect& band = bands[side];
            if (band.width <= 0 || band.height <= 0 || !band.overlaps(monitor)) continue;
            switch (side) {
                case 0:
                    if (band.maxX() < monitor.maxX()) left = std::max(left, band.maxX());
                    break;
                case 1:
                    if (band.minX() > monitor.minX()) right = std::min(right, band.minX());
                    break;
                case 2:
                    if (band.maxY() < monitor.maxY()) top = std::max(top, band.maxY());
                    break;
                case 3:
                    if (band.minY() > monitor.minY()) bottom = std::min(bottom, band.minY());
                    break;
            }
        }
    }
    if (right <= left || bottom <= top) return monitor;
    return Rect{left, top, right - left, bottom - top};
}

}  // namespace tessaline
