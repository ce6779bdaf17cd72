#pragma once
// The displays as RandR 1.5 monitors, each with an identifier that survives
// restarts and hot-plugs, and the area left for windows once docks have
// taken their struts.

#include <cstdint>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "platform/x11/X11Client.h"

namespace tessaline {

class X11Connection;

struct MonitorInfo {
    // The first that exists of: a hash of the connected screen's EDID, the
    // connector's name, the monitor's name. The same screen on the same
    // machine keeps its identifier whatever port or order it comes in.
    std::string uuid;
    std::string name;
    std::uint32_t id = 0;  // the monitor's name atom
    Rect frame;
    bool primary = false;
    double refreshRate = 0;  // Hz; 0 when unknown
    friend bool operator==(const MonitorInfo&, const MonitorInfo&) = default;
};

// The monitors as RandR lists them, arranged (below); without RandR 1.5, or
// when it lists none, one monitor covering the screen.
std::vector<MonitorInfo> readMonitors(X11Connection& connection);

// Primary first, then left to right and top to bottom. A monitor equal to one
// already kept (a clone) or one that contains another (the server's automatic
// monitor of an output split into monitors of its own) is left out, and
// identifiers that would repeat fall back to the monitor's name.
std::vector<MonitorInfo> arrangeMonitors(std::vector<MonitorInfo> monitors);

// "edid-" and a hash of the EDID's base block.
std::string edidIdentifier(const std::vector<std::uint8_t>& edid);

// The part of `monitor` that the struts leave free. Struts are measured from
// the edges of the whole screen (`screen`); a band that would swallow the
// monitor whole is meant for a monitor beyond it and is ignored here.
Rect visibleArea(const Rect& monitor, Size screen, const std::vector<Strut>& struts);

}  // namespace tessaline
