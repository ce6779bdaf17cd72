#pragma once
// The panel layer under the overlays: every window the program draws over
// other applications' windows is a Panel, made by the OverlayPlatform. The
// overlay parts decide what a panel shows and where; a platform (the X11
// override-redirect windows, or the recording panels of the tests) decides
// how. Moving and painting are separate on purpose: an animation frame moves
// the border and the tab bars with one configure each and paints nothing.
//
// Coordinates are the engine's: points, origin at the top left of the
// primary display, y downwards. A platform converts them to its own.

#include <cairo.h>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Geometry.h"
#include "engine/platform/PlatformTypes.h"
#include "overlays/model/AppIcon.h"
#include "overlays/model/FocusGeometry.h"

namespace tessaline {

enum class PanelKind { border, dim, drop, tabBar, stripBar, minimap, overview };
std::string_view toString(PanelKind kind);

struct PanelSpec {
    PanelKind kind = PanelKind::border;
    bool clicks = false;    // pointer events come to the panel; else they reach the windows below
    bool keyboard = false;  // the panel takes the keyboard while it is shown (the overview)
};

// What a painter paints on.
struct Canvas {
    Size size;                // the panel's size in points
    bool composited = true;   // true transparency; else opaque shapes and no dimming
};
// Paints a panel's whole content, from the owner's current state. Called by
// the panel whenever it needs pixels: after redraw(), after a change of size,
// when the window system lost them. The context is cleared to transparent.
using Painter = std::function<void(cairo_t*, const Canvas&)>;

struct PanelPointer {
    enum class Phase { down, moved, up, left };
    Phase phase = Phase::down;
    Point at;        // panel coordinates
    int button = 1;  // 1 left, 2 middle, 3 right; meaningless for moved and left
};

// Keys a panel that takes the keyboard passes on, by meaning.
enum class OverlayKey { returnKey, space, keypadEnter, escape, left, right, up, down, other };

class Panel {
public:
    explicit Panel(PanelSpec spec) : spec_(spec) {}
    virtual ~Panel() = default;
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    const PanelSpec& spec() const { return spec_; }

    // ---- called by the overlay parts; nothing reaches the platform unless
    // something changed.
    void setPainter(Painter painter) { painter_ = std::move(painter); }
    // A new origin alone is a move; a new size also repaints.
    void place(const Rect& frame);
    // The same, and when the content changed too, one paint: a new size
    // paints anyway.
    void place(const Rect& frame, bool contentChanged);
    // The content changed: paint again at the current size.
    void redraw();
    // A part of the panel that shows nothing and passes the pointer through.
    // Moving it needs no repaint: a platform may cut it out of the window's
    // shape. The painter never draws it; paint() clears it unless told not to.
    void setHole(std::optional<RoundedRect> hole);
    // The whole panel's opacity (fades); a platform without a compositor may ignore it.
    void setOpacity(double opacity);
    // On screen, above the managed windows, or off screen (kept for reuse).
    void show();
    void hide();
    // Only for a panel made with `keyboard`: take the keyboard (a grab; the
    // focused window keeps its focus) or let it go. Hiding lets it go.
    void takeKeyboard(bool take);
    // Directly below a window (the drop preview under the dragged window),
    // or absent: above everything.
    void stackBelow(std::optional<WindowID> window);

    const Rect& frame() const { return frame_; }
    bool isShown() const { return shown_; }
    double opacity() const { return opacity_; }
    const std::optional<RoundedRect>& hole() const { return hole_; }
    std::optional<WindowID> below() const { return below_; }
    bool hasKeyboard() const { return keyboard_; }
    // Shown and not faded out.
    bool isVisible() const { return shown_ && opacity_ > 0.01; }

    // Paints the content as it is now on a context of the panel's size: what
    // the platform shows, and what snapshots record. A platform that cuts the
    // hole out of the window's shape paints without it, or a moved hole would
    // leave a clear patch where it was.
    // `cleared`: the surface is known to be transparent already (fresh
    // memory), which spares touching every pixel of a large panel.
    void paint(cairo_t* cr, bool composited, bool withHole = true, bool cleared = false) const;

    // ---- set by the overlay part, called by the platform
    std::function<void(const PanelPointer&)> onPointer;
    // True when the key was used; others go on to whoever else wants them.
    std::function<bool(OverlayKey)> onKey;

protected:
    // The platform's side. Each is called only for a real change, after the
    // state above was updated. Paints may be put off and coalesced until the
    // platform's loop flushes, and until the panel is shown.
    virtual void moved() = 0;            // new origin, same size: reposition only
    virtual void resized() = 0;          // new size (and maybe origin): reposition and repaint
    virtual void contentChanged() = 0;   // repaint at the same size
    virtual void holeChanged() = 0;
    virtual void opacityChanged() = 0;
    virtual void visibilityChanged() = 0;
    virtual void stackingChanged() = 0;
    virtual void keyboardChanged() = 0;

private:
    PanelSpec spec_;
    Painter painter_;
    Rect frame_;
    bool shown_ = false;
    double opacity_ = 1;
    std::optional<RoundedRect> hole_;
    std::optional<WindowID> below_;
    bool keyboard_ = false;
};

// Panels and the few other things the overlays need from the desktop.
class OverlayPlatform {
public:
    virtual ~OverlayPlatform() = default;

    // A new panel, off screen; it is kept for the life of the overlays.
    virtual std::unique_ptr<Panel> makePanel(const PanelSpec& spec) = 0;
    // A compositing manager runs: panels have true transparency.
    virtual bool compositing() const = 0;
    // The modifiers held now (a peek of the timeline ends with the chord).
    virtual Modifiers modifiers() const = 0;
    // The application's icon, read from one of its windows; null when it has none.
    virtual AppIconRef appIcon(ProcessID pid, WindowID window) = 0;
    // Lend the Escape key, taken from every application, to the timeline or
    // overview; a second call replaces the handler.
    virtual void registerEscape(std::function<void()> handler) = 0;
    virtual void releaseEscape() = 0;
    // Live window images for the overview's cards.
    virtual bool canCapturePreviews() const { return false; }
    // Delivers each image later, on the main thread, at about the size asked,
    // and may deliver newer ones while the windows change, until stopPreviews.
    // A new call replaces the windows asked for.
    virtual void capturePreviews(const std::vector<std::pair<WindowID, Size>>& sizes,
                                 std::function<void(WindowID, ArgbImageRef)> each) {
        (void)sizes;
        (void)each;
    }
    virtual void stopPreviews() {}
};

}  // namespace tessaline
