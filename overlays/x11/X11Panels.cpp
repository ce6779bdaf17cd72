#include "overlays/x11/X11Panels.h"

#include <xcb/shape.h>

#include <algorithm>
#include <utility>
#include <string>

#include "engine/log/Log.h"
#include "overlays/x11/WindowPreviews.h"
#include "overlays/x11/X11Panel.h"
#include "platform/x11/EventLoop.h"
#include "platform/x11/X11Connection.h"

namespace tessaline {

namespace {

// The keysyms the panels care about (X11/keysymdef.h).
constexpr xcb_keysym_t keyEscape = 0xff1b, keyReturn = 0xff0d, keySpace = 0x20, keyKeypadEnter = 0xff8d;
constexpr xcb_keysym_t keyLeft = 0xff51, keyUp = 0xff52, keyRight = 0xff53, keyDown = 0xff54;
constexpr xcb_keysym_t keyKeypadLeft = 0xff96, keyKeypadUp = 0xff97, keyKeypadRight = 0xff98,
                       keyKeypadDown = 0xff99;

OverlayKey overlayKey(xcb_keysym_t sym) {
    switch (sym) {
        case keyReturn: return OverlayKey::returnKey;
        case keySpace: return OverlayKey::space;
        case keyKeypadEnter: return OverlayKey::keypadEnter;
        case keyEscape: return OverlayKey::escape;
        case keyLeft:
        case keyKeypadLeft: return OverlayKey::left;
        case keyRight:
        case keyKeypadRight: return OverlayKey::right;
        case keyUp:
        case keyKeypadUp: return OverlayKey::up;
        case keyDown:
        case keyKeypadDown: return OverlayKey::down;
        default: return OverlayKey::other;
    }
}

// Bottom to top: the shade under everything, the overview over everything.
constexpr PanelKind stackOrder[] = {PanelKind::dim,      PanelKind::drop,    PanelKind::border,  PanelKind::tabBar,
                                    PanelKind::stripBar, PanelKind::minimap, PanelKind::overview};

// Icons are drawn at 64 points at most; larger sizes only cost memory.
constexpr int largestIcon = 128;

AppIconRef trimmed(const std::shared_ptr<const AppIcon>& icon) {
    if (!icon) return nullptr;
    AppIcon kept;
    const ArgbImage* smallest = nullptr;
    for (const ArgbImage& size : icon->sizes) {
        if (std::max(size.width, size.height) <= largestIcon) kept.sizes.push_back(size);
        if (!smallest || size.width * size.height < smallest->width * smallest->height) smallest = &size;
    }
    if (kept.sizes.empty() && smallest) kept.sizes.push_back(*smallest);
    return std::make_shared<const AppIcon>(std::move(kept));
}

int screenNumber(xcb_connection_t* c, xcb_window_t root) {
    int number = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it), ++number) {
        if (it.data->root == root) return number;
    }
    return 0;
}

xcb_visualid_t argbVisual(xcb_screen_t* screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        if (depths.data->depth != 32) continue;
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals)) {
            if (visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) return visuals.data->visual_id;
        }
    }
    return XCB_NONE;
}

}  // namespace

X11Panels::X11Panels(X11Connection& x, EventLoop& loop, Scheduler& scheduler)
    : x_(x), loop_(loop), scheduler_(scheduler), self_(std::make_shared<X11Panels*>(this)) {
    xcb_connection_t* c = x.get();
    xcb_screen_t* screen = x.screen();

    const std::string compositorName = "_NET_WM_CM_S" + std::to_string(screenNumber(c, x.root()));
    const char* const names[] = {compositorName.c_str(), "_NET_WM_WINDOW_OPACITY", "_NET_WM_ICON",
                                 "_NET_WM_WINDOW_TYPE_NOTIFICATION"};
    xcb_intern_atom_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i) {
        cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::char_traits<char>::length(names[i])),
                                     names[i]);
    }
    const auto* shape = xcb_get_extension_data(c, &xcb_shape_id);
    const auto* fixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    xcb_xfixes_query_version_cookie_t fixesVersion{};
    if (fixes && fixes->present) fixesVersion = xcb_xfixes_query_version(c, 5, 0);
    askKeymap();

    xcb_atom_t* const targets[] = {&compositorAtom_, &opacityAtom_, &iconAtom_, &typeAtom_};
    for (int i = 0; i < 4; ++i) {
        if (auto reply = replyTo(xcb_intern_atom_reply, c, cookies[i])) *targets[i] = reply->atom;
    }
    if (fixes && fixes->present) {
        if (auto version = replyTo(xcb_xfixes_query_version_reply, c, fixesVersion); version && version->major_version >= 2) {
            xfixesEvents_ = fixes->first_event;
        }
    }
    // Regions are XFixes' and the input shape is Shape 1.1's; both are
    // in every X server of the last fifteen years.
    shapes_ = shape && shape->present && xfixesEvents_ != 0;
    if (shapes_) {
        emptyRegion_ = xcb_generate_id(c);
        xcb_xfixes_create_region(c, emptyRegion_, 0, nullptr);
    } else {
        Log::lifecycle.error("the X server lacks Shape or XFixes: overlays take the clicks under them");
    }
    if (xcb_get_setup(c)->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        Log::lifecycle.error("the X server wants images in big-endian order: overlays will show wrong colours");
    }

    flat_ = {false, screen->root_depth, screen->root_visual, screen->default_colormap};
    if (const xcb_visualid_t visual = argbVisual(screen)) {
        const xcb_colormap_t colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, colormap, x.root(), visual);
        argb_ = {true, 32, visual, colormap};
    }

    xcb_window_t owner = XCB_NONE;
    if (auto reply = replyTo(xcb_get_selection_owner_reply, c, xcb_get_selection_owner(c, compositorAtom_))) {
        owner = reply->owner;
    }
    if (xfixesEvents_) {
        xcb_xfixes_select_selection_input(c, x.root(), compositorAtom_,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    look_ = owner != XCB_NONE && argb_.visual != XCB_NONE ? argb_ : flat_;

    previews_ = std::make_unique<WindowPreviews>(x, scheduler, [this] { return look_.composited; });

    const std::weak_ptr<X11Panels*> weak = self_;
    x.addEventFilter([weak](const xcb_generic_event_t& event) {
        const auto self = weak.lock();
        return self && (*self)->filter(event);
    });
}

X11Panels::~X11Panels() {
    withdraw();
    previews_.reset();
    xcb_connection_t* c = x_.get();
    if (emptyRegion_) xcb_xfixes_destroy_region(c, emptyRegion_);
    if (argb_.colormap) xcb_free_colormap(c, argb_.colormap);
    if (keymapAsked_) xcb_discard_reply(c, keymapCookie_.sequence);
    for (const auto& [window, cookie] : iconAsked_) xcb_discard_reply(c, cookie.sequence);
    x_.flush();
}

// ---------------------------------------------------------------------------
// Panels

std::unique_ptr<Panel> X11Panels::makePanel(const PanelSpec& spec) {
    auto panel = std::make_unique<X11Panel>(*this, spec);
    panels_.push_back(panel.get());
    return panel;
}

void X11Panels::forget(X11Panel& panel) { std::erase(panels_, &panel); }

X11Panel* X11Panels::panelOf(xcb_window_t window) const {
    if (window == XCB_NONE) return nullptr;
    for (X11Panel* panel : panels_) {
        if (panel->window() == window) return panel;
    }
    return nullptr;
}

void X11Panels::changed(X11Panel&) { schedulePush(); }

void X11Panels::schedulePush() {
    if (pushPosted_) return;
    pushPosted_ = true;
    const std::weak_ptr<X11Panels*> weak = self_;
    loop_.post([weak] {
        if (const auto self = weak.lock()) (*self)->push();
    });
}

void X11Panels::restackSoon() {
    restack_ = true;
    schedulePush();
}

void X11Panels::push() {
    pushPosted_ = false;
    // Painting takes a while: a panel to paint afresh waits for the window
    // system's turn, which runs before the work posted now, so that what the
    // manager asked for meanwhile (a focus change, frames) reaches the server
    // first. Clients syncing with the manager are answered only after it.
    const bool paintTurn = std::exchange(paintTurn_, false);
    bool deferred = false;
    for (X11Panel* panel : panels_) {
        if (!panel->pending()) continue;
        if (!paintTurn && panel->repaintDue()) {
            deferred = true;
            continue;
        }
        panel->push();
    }
    if (deferred) {
        paintTurn_ = true;
        schedulePush();
    }
    if (restack_) restack();
    // No flush of our own: the window system's turn, which runs after
    // posted work, flushes everything once.
}

void X11Panels::restack() {
    restack_ = false;
    xcb_connection_t* c = x_.get();
    for (const PanelKind kind : stackOrder) {
        for (X11Panel* panel : panels_) {
            if (panel->spec().kind != kind || !panel->mapped() || panel->below()) continue;
            const std::uint32_t top = XCB_STACK_MODE_ABOVE;
            xcb_configure_window(c, panel->window(), XCB_CONFIG_WINDOW_STACK_MODE, &top);
        }
    }
    // The drop preview goes directly under the window being dragged.
    for (X11Panel* panel : panels_) {
        if (!panel->mapped() || !panel->below()) continue;
        const std::uint32_t values[] = {static_cast<std::uint32_t>(*panel->below()), XCB_STACK_MODE_BELOW};
        xcb_configure_window(c, panel->window(), XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    }
}

void X11Panels::withdraw() {
    for (X11Panel* panel : panels_) panel->withdraw();
    releaseEscape();
    if (previews_) previews_->stop();
    x_.flush();
}

// ---------------------------------------------------------------------------
// Events

bool X11Panels::filter(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7f;
    switch (type) {
        case XCB_BUTTON_PRESS:
        case XCB_BUTTON_RELEASE: {
            const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
            X11Panel* panel = panelOf(e.event);
            if (!panel) return false;
            // Wheel notches come as buttons 4 to 7; a panel has no use for them.
            if (e.detail < 4 || e.detail > 7) {
                panel->pointer(type == XCB_BUTTON_PRESS ? PanelPointer::Phase::down : PanelPointer::Phase::up,
                               {static_cast<double>(e.event_x), static_cast<double>(e.event_y)}, e.detail);
            }
            return true;
        }
        case XCB_MOTION_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
            X11Panel* panel = panelOf(e.event);
            if (!panel) return false;
            panel->pointer(PanelPointer::Phase::moved, {static_cast<double>(e.event_x), static_cast<double>(e.event_y)},
                           0);
            return true;
        }
        case XCB_LEAVE_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_leave_notify_event_t&>(event);
            X11Panel* panel = panelOf(e.event);
            if (!panel) return false;
            if (e.mode == XCB_NOTIFY_MODE_NORMAL) {
                panel->pointer(PanelPointer::Phase::left,
                               {static_cast<double>(e.event_x), static_cast<double>(e.event_y)}, 0);
            }
            return true;
        }
        case XCB_KEY_PRESS: {
            const auto& e = reinterpret_cast<const xcb_key_press_event_t&>(event);
            if (X11Panel* panel = panelOf(e.event)) {
                panel->key(overlayKey(keysym(e.detail)));
                return true;
            }
            if (escapeGrabbed_ && e.event == x_.root() && keysym(e.detail) == keyEscape) {
                // A copy: the handler gives the key back, which clears it.
                if (const auto handler = escape_) handler();
                return true;
            }
            return false;
        }
        case XCB_KEY_RELEASE:
            return panelOf(reinterpret_cast<const xcb_key_release_event_t&>(event).event) != nullptr;
        case XCB_CONFIGURE_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
            if (panelOf(e.window)) return true;
            // A managed window put right above one of ours (a client raising
            // itself): the panels go back on top. Menus and tooltips
            // (override-redirect) may stay above them.
            if (!e.override_redirect) {
                if (const X11Panel* panel = panelOf(e.above_sibling); panel && panel->mapped()) restackSoon();
            }
            return false;
        }
        case XCB_MAP_NOTIFY:
            return panelOf(reinterpret_cast<const xcb_map_notify_event_t&>(event).window) != nullptr;
        case XCB_UNMAP_NOTIFY:
            return panelOf(reinterpret_cast<const xcb_unmap_notify_event_t&>(event).window) != nullptr;
        case XCB_EXPOSE:
            return panelOf(reinterpret_cast<const xcb_expose_event_t&>(event).window) != nullptr;
        case XCB_DESTROY_NOTIFY: {
            const xcb_window_t window = reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window;
            iconWindows_.erase(window);
            iconless_.erase(window);
            iconsRead_.erase(window);
            return false;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (e.atom != iconAtom_) return false;
            if (const auto found = iconWindows_.find(e.window); found != iconWindows_.end()) {
                iconless_.erase(e.window);
                if (onIconChanged) onIconChanged(found->second);
            }
            return false;
        }
        case XCB_MAPPING_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
            if (e.request == XCB_MAPPING_KEYBOARD) {
                const bool hadEscape = escapeGrabbed_;
                grabEscape(false);
                askKeymap();
                if (hadEscape) grabEscape(true);
            }
            return false;
        }
        default: break;
    }
    if (xfixesEvents_ && type == xfixesEvents_ + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
        if (e.selection != compositorAtom_) return false;
        checkCompositor(e.subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER ? e.owner : XCB_NONE);
        return true;
    }
    return false;
}

void X11Panels::checkCompositor(xcb_window_t owner) {
    const bool composited = owner != XCB_NONE && argb_.visual != XCB_NONE;
    if (composited == look_.composited) return;
    look_ = composited ? argb_ : flat_;
    // A window's visual is fixed when it is made: every panel gets a new one.
    for (X11Panel* panel : panels_) panel->discardWindow();
    restackSoon();
    if (onCompositingChanged) onCompositingChanged();
}

// ---------------------------------------------------------------------------
// Keys

void X11Panels::askKeymap() {
    xcb_connection_t* c = x_.get();
    if (keymapAsked_) xcb_discard_reply(c, keymapCookie_.sequence);
    for (const auto& [window, cookie] : iconAsked_) xcb_discard_reply(c, cookie.sequence);
    keysyms_.clear();
    const xcb_setup_t* setup = xcb_get_setup(c);
    keymapCookie_ = xcb_get_keyboard_mapping(c, setup->min_keycode,
                                             static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1));
    keymapAsked_ = true;
}

void X11Panels::readKeymap() {
    if (!keysyms_.empty() || !keymapAsked_) return;
    keymapAsked_ = false;
    const auto reply = replyTo(xcb_get_keyboard_mapping_reply, x_.get(), keymapCookie_);
    if (!reply) return;
    minKeycode_ = xcb_get_setup(x_.get())->min_keycode;
    keysymsPerCode_ = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    keysyms_.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
}

xcb_keysym_t X11Panels::keysym(xcb_keycode_t code) {
    readKeymap();
    const std::size_t index = static_cast<std::size_t>(code - minKeycode_) * keysymsPerCode_;
    if (code < minKeycode_ || keysymsPerCode_ == 0 || index >= keysyms_.size()) return 0;
    return keysyms_[index];
}

void X11Panels::grabEscape(bool grab) {
    if (grab == escapeGrabbed_) return;
    readKeymap();
    xcb_keycode_t code = 0;
    for (std::size_t i = 0; keysymsPerCode_ && i < keysyms_.size(); i += keysymsPerCode_) {
        if (keysyms_[i] == keyEscape) {
            code = static_cast<xcb_keycode_t>(minKeycode_ + i / keysymsPerCode_);
            break;
        }
    }
    if (code == 0) return;
    escapeGrabbed_ = grab;
    xcb_connection_t* c = x_.get();
    // With Caps Lock and Num Lock on or off alike.
    constexpr std::uint16_t lockCombinations[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                  XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
    for (const std::uint16_t locks : lockCombinations) {
        if (grab) {
            // Another program may hold Escape: then it keeps it, and the
            // overview still has the keyboard while open.
            const auto cookie = xcb_grab_key_checked(c, 1, x_.root(), locks, code, XCB_GRAB_MODE_ASYNC,
                                                     XCB_GRAB_MODE_ASYNC);
            xcb_discard_reply(c, cookie.sequence);
        } else {
            xcb_ungrab_key(c, code, x_.root(), locks);
        }
    }
}

void X11Panels::registerEscape(std::function<void()> handler) {
    if (lendEscape_) {
        lendEscape_(std::move(handler));
        return;
    }
    escape_ = std::move(handler);
    grabEscape(true);
}

void X11Panels::releaseEscape() {
    if (releaseEscape_) {
        releaseEscape_();
        return;
    }
    escape_ = nullptr;
    grabEscape(false);
}

void X11Panels::useEscape(std::function<void(std::function<void()>)> lend, std::function<void()> release) {
    const std::function<void()> lent = escape_;
    if (escapeGrabbed_) releaseEscape();
    lendEscape_ = std::move(lend);
    releaseEscape_ = std::move(release);
    if (lent) registerEscape(lent);
}

Modifiers X11Panels::modifiers() const {
    if (modifierSource_) return modifierSource_();
    xcb_connection_t* c = x_.get();
    const auto reply = replyTo(xcb_query_pointer_reply, c, xcb_query_pointer(c, x_.root()));
    Modifiers held;
    if (!reply) return held;
    if (reply->mask & XCB_MOD_MASK_CONTROL) held.insert(Modifiers::control);
    if (reply->mask & XCB_MOD_MASK_1) held.insert(Modifiers::option);
    if (reply->mask & XCB_MOD_MASK_4) held.insert(Modifiers::command);
    if (reply->mask & XCB_MOD_MASK_SHIFT) held.insert(Modifiers::shift);
    return held;
}

// ---------------------------------------------------------------------------
// Icons and previews

AppIconRef X11Panels::appIcon(ProcessID pid, WindowID window) {
    // Followed from now on: a new icon is read again, and a window known to
    // have none costs no round trip each time the strip bar is rebuilt.
    iconWindows_[window] = pid;
    if (iconless_.contains(window)) return nullptr;
    if (const auto read = iconsRead_.find(window); read != iconsRead_.end()) {
        AppIconRef icon = read->second;
        iconsRead_.erase(read);
        return icon;
    }
    if (iconAsked_.contains(window)) return nullptr;
    // Asked for now, read once the window system's turn has sent what the
    // manager asked for meanwhile: a window that has just appeared is laid
    // out first, and its chip gains the icon a moment later.
    // Four mebibytes: every size up to 512 pixels a side, several times over.
    constexpr std::uint32_t longs = 1u << 20;
    iconAsked_.emplace(window, x_.requestProperty(window, iconAtom_, XCB_ATOM_CARDINAL, longs));
    if (!std::exchange(iconReadPosted_, true)) {
        const std::weak_ptr<X11Panels*> weak = self_;
        // Work posted from posted work runs after the window system's turn.
        loop_.post([weak, this] {
            if (weak.expired()) return;
            loop_.post([weak] {
                if (const auto self = weak.lock()) (*self)->readIcons();
            });
        });
    }
    return nullptr;
}

void X11Panels::readIcons() {
    iconReadPosted_ = false;
    std::vector<ProcessID> changed;
    for (const auto& [window, cookie] : std::exchange(iconAsked_, {})) {
        const auto property = x_.property(cookie);
        const auto followed = iconWindows_.find(window);
        // A window destroyed meanwhile is forgotten, its answer with it.
        if (followed == iconWindows_.end()) continue;
        AppIconRef icon;
        if (property && property->format == 32) icon = trimmed(AppIcon::fromCardinals(property->values()));
        if (!icon) {
            iconless_.insert(window);
            continue;
        }
        iconsRead_[window] = std::move(icon);
        changed.push_back(followed->second);
    }
    if (onIconChanged) {
        for (ProcessID pid : changed) onIconChanged(pid);
    }
}

bool X11Panels::canCapturePreviews() const { return previews_ && previews_->available(); }

void X11Panels::capturePreviews(const std::vector<std::pair<WindowID, Size>>& sizes,
                                std::function<void(WindowID, ArgbImageRef)> each) {
    if (previews_) previews_->capture(sizes, std::move(each));
}

void X11Panels::stopPreviews() {
    if (previews_) previews_->stop();
}

}  // namespace tessaline
