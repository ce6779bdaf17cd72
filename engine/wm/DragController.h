#pragma once
// Lets the user rearrange the strip with the applications' own title bars
// and edges: a title-bar drag opens a gap where the window would land and
// drops it there (or on another display); an edge drag resizes the column
// live.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/Strip.h"
#include "engine/wm/ManagedWindow.h"
#include "engine/platform/Platform.h"

namespace tessaline {

class WindowManager;

class DragController {
public:
    struct Range {
        double lower = 0;
        double upper = 0;
        bool contains(double x) const { return lower <= x && x <= upper; }
        friend bool operator==(const Range&, const Range&) = default;
    };
    struct Drag {
        WindowID id = 0;
        StripKey key;
        Rect origin;
        std::vector<double> weights;
        Strip base;
        bool resizing = false;
        bool reading = false;
        std::optional<Size> startSize;
        std::optional<Point> startOrigin;
        bool moving = false;
        std::optional<Range> hold;
        std::optional<double> edgeScrolled;
    };

    explicit DragController(WindowManager& manager);
    ~DragController();
    DragController(const DragController&) = delete;
    DragController& operator=(const DragController&) = delete;

    std::optional<Drag> drag;
    std::shared_ptr<ScheduledTask> polling;

    void windowMoved(const std::shared_ptr<ManagedWindow>& window);
    // The left button went down at `point`: notes the windows it was on.
    void pressed(Point point);
    // The left button is held and was pressed on this window (or within a few
    // points of its edges): the user may be moving or resizing it by hand.
    bool inHand(const ManagedWindow& window) const;
    void cancel();

    void begin(const std::shared_ptr<ManagedWindow>& window);
    void poll();
    void moved(std::optional<Rect> frame);
    void applyResize(Rect frame, const Drag& drag, Strip& strip, const Display& display);
    void openGap(Drag& drag, const Display& display);
    std::vector<Range> screenRanges(const Strip& strip, Rect viewport) const;
    void scrollAtEdge(Drag& drag);
    bool hasNeighbour(const Display& display, double x, double y) const;
    void end(const Drag& drag, std::optional<Rect> frame);

private:
    // How far the pointer is into a scrolling edge zone, and which way the
    // strip goes from there.
    struct EdgeZone {
        double depth = 0;
        double direction = 0;
    };
    std::optional<EdgeZone> edgeZoneAt(const Display& display, Point pointer) const;

    WindowManager& manager_;
    // Numbers each drag, so that a frame read answered after its drag ended
    // is not taken for the next one.
    std::uint64_t serial_ = 0;
    // The windows under the pointer when the button last went down. A window
    // this program moves under the held button afterwards is not in the
    // user's hand, however its frame now lies.
    std::vector<WindowID> underPress_;
    std::shared_ptr<DragController*> self_;
};

}  // namespace tessaline
