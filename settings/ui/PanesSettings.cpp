// The panes of plain settings: General, Layout, Appearance, Trackpad & Mouse.

#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/colorbutton.h>
#include <gtkmm/settings.h>
#include <gtkmm/stringlist.h>

#include <cmath>
#include <unistd.h>

#include "settings/model/Autostart.h"
#include "settings/model/ConfigEdits.h"
#include "settings/model/LinuxKeys.h"
#include "settings/ui/PaneContext.h"

namespace tessaline::prefs::ui {

namespace {

std::string points(double value) {
    const double rounded = std::round(value * 2) / 2;
    std::string text = std::to_string(rounded);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text + " pt";
}

std::string percent(double value) { return std::to_string(std::lround(value * 100)) + "%"; }

std::string chordText() { return LinuxKeys::modifierText(KeyCombo::ctrlOpt); }

// "(Ctrl+Alt+F)" after a name, or nothing when the action has no shortcut.
std::string inParentheses(const Config& config, Action action) {
    auto text = shortcutText(config, action);
    return text ? " (" + *text + ")" : "";
}

std::string managerAbsentText(const ManagerStatus& status) {
    return status.reach == ManagerStatus::Reach::notRunning ? "Tessaline isn't running."
                                                             : "Tessaline's status isn't available.";
}

// The running path of this program, to find the window manager beside it.
std::filesystem::path ownExecutable() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec);
}

void launchAtLogin(Gtk::ListBox& list) {
    auto* control = Gtk::make_managed<Gtk::Switch>();
    Gtk::Box& row = build::row(list, "Launch at login", control);
    auto* error = Gtk::make_managed<Gtk::Label>();
    error->set_xalign(0);
    error->set_wrap(true);
    error->add_css_class("error");
    list.append(*error);
    build::showRow(*error, false);

    const std::optional<std::filesystem::path> entry = Autostart::entryPath();
    row.set_sensitive(entry.has_value());
    control->set_active(entry && Autostart::enabled(*entry));
    control->property_active().signal_changed().connect([control, error, entry] {
        if (!entry || control->get_active() == Autostart::enabled(*entry)) return;
        const auto problem = Autostart::setEnabled(*entry, control->get_active(),
                                                   Autostart::managerCommand(ownExecutable()));
        error->set_text(problem.value_or(""));
        build::showRow(*error, problem.has_value());
        // The switch shows what the session will do, whatever was asked.
        control->set_active(Autostart::enabled(*entry));
    });
}

}  // namespace

std::optional<std::string> shortcutText(const Config& config, Action action) {
    const auto combo = firstShortcut(config, action);
    if (!combo) return std::nullopt;
    return LinuxKeys::display(*combo);
}

Gtk::Widget& generalPane(PaneContext& ctx) {
    auto [root, page] = build::page();

    Gtk::ListBox& top = build::group(page, "");
    auto* tiling = Gtk::make_managed<Gtk::Switch>();
    Gtk::Box& tilingRow = build::row(top, "Tile windows", tiling);
    auto* tilingNote = Gtk::make_managed<Gtk::Label>();
    tilingNote->add_css_class("dim-label");
    tilingRow.insert_child_after(*tilingNote, *tilingRow.get_first_child());
    // Every flip is sent. Compared with the manager's last answer instead, an
    // off-and-on quicker than the answer to the "off" would look like no
    // change, and the "on" would be lost.
    tiling->property_active().signal_changed().connect([&ctx, tiling] {
        if (!ctx.refreshing() && ctx.managerAnswers()) ctx.provider.setTiling(tiling->get_active());
    });

    // The row keeps its familiar name; on X11 what it reports is whether
    // Tessaline is the display's window manager.
    auto* access = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    auto* accessText = Gtk::make_managed<Gtk::Label>();
    auto* accessFix = Gtk::make_managed<Gtk::Button>();
    access->append(*accessText);
    access->append(*accessFix);
    build::row(top, "Accessibility", access);
    accessFix->signal_clicked().connect([&ctx] { ctx.provider.runFix("ax"); });

    ctx.watch([&ctx, tiling, tilingNote, accessText, accessFix] {
        const ManagerStatus& status = ctx.status();
        const bool answers = ctx.managerAnswers();
        tiling->set_sensitive(answers);
        tiling->set_active(answers && status.tiling);
        tilingNote->set_text(answers ? "" : managerAbsentText(status));
        tilingNote->set_visible(!answers);

        std::optional<std::string> fix;
        for (const SetupCheck& check : status.checks) {
            if (check.id == "ax" && !check.ok) fix = check.fixTitle;
        }
        accessText->set_text(!answers              ? "Unknown"
                             : status.managesDisplay ? "Granted"
                                                     : "Tessaline isn't managing the display");
        accessText->set_visible(!fix || status.managesDisplay);
        accessFix->set_label(fix.value_or(""));
        accessFix->set_visible(answers && !status.managesDisplay && fix.has_value());
    });
    launchAtLogin(top);

    Gtk::ListBox& focus = build::group(page, "Focus");
    build::choice(ctx, focus, "Centre the focused column", {"Never", "When it overflows", "Always"},
                  [](const Config& c) { return static_cast<int>(c.centreMode); },
                  [](Config& c, int i) { c.centreMode = static_cast<CentreMode>(i); });
    build::toggle(ctx, focus, "Focus follows mouse", [](const Config& c) { return c.focusFollowsMouse; },
                  [](Config& c, bool on) { c.focusFollowsMouse = on; });
    build::toggle(ctx, focus, "Mouse follows focus", [](const Config& c) { return c.mouseFollowsFocus; },
                  [](Config& c, bool on) { c.mouseFollowsFocus = on; });

    Gtk::ListBox& animation = build::group(page, "Animation");
    build::toggle(ctx, animation, "Animate windows", [](const Config& c) { return c.animate; },
                  [](Config& c, bool on) { c.animate = on; });
    Gtk::Scale& speed = build::slider(ctx, animation, "Speed", {0.1, 0.5, 0.01, "Fast", "Slow", {}},
                                      [](const Config& c) { return c.animationDuration; },
                                      [](Config& c, double v) { c.animationDuration = v; });
    ctx.watch([&ctx, &speed] { speed.set_sensitive(ctx.config().animate); });

    // The desktop's "reduce animation" setting is GTK's enable-animations.
    auto settings = Gtk::Settings::get_default();
    if (settings && !settings->property_gtk_enable_animations().get_value()) {
        build::rowNote(animation,
                       "Reduce motion is on in Accessibility settings, so windows move straight into place. "
                       "Swipes and drags still follow your fingers.");
    }
    return root;
}

Gtk::Widget& layoutPane(PaneContext& ctx) {
    auto [root, page] = build::page();

    Gtk::ListBox& spacing = build::group(page, "");
    build::slider(ctx, spacing, "Spacing", {0, 40, 1, "", "", points}, [](const Config& c) { return c.gap; },
                  [](Config& c, double v) { c.gap = v; });

    Gtk::ListBox& widths = build::group(page, "Widths");
    std::vector<std::string> labels;
    for (double w : offeredWidths()) labels.push_back(widthLabel(w));
    auto* opens = Gtk::make_managed<Gtk::DropDown>(std::vector<Glib::ustring>{});
    build::row(widths, "New windows open at", opens);
    auto choices = std::make_shared<std::vector<double>>();
    opens->property_selected().signal_changed().connect([&ctx, opens, choices] {
        const guint index = opens->get_selected();
        if (index >= choices->size()) return;
        const double width = (*choices)[index];
        ctx.edit([&](Config& c) {
            if (sameWidth(c.defaultWidth, width)) return false;
            c.defaultWidth = width;
            return true;
        });
    });
    ctx.watch([&ctx, opens, choices] {
        const Config& config = ctx.config();
        const auto now = defaultWidthChoices(config);
        if (now != *choices) {
            *choices = now;
            std::vector<Glib::ustring> names;
            for (double w : now) names.push_back(widthLabel(w));
            opens->set_model(Gtk::StringList::create(names));
        }
        for (std::size_t i = 0; i < choices->size(); ++i) {
            if (sameWidth((*choices)[i], config.defaultWidth)) opens->set_selected(static_cast<guint>(i));
        }
    });

    // One switch per offered width; a width stored by hand gets one too while it is stored.
    auto* cycleTitle = Gtk::make_managed<Gtk::Label>();
    cycleTitle->set_xalign(0);
    cycleTitle->set_margin_top(6);
    widths.append(*cycleTitle);
    auto* presets = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    presets->set_margin_bottom(6);
    widths.append(*presets);
    auto built = std::make_shared<std::vector<double>>();
    ctx.watch([&ctx, cycleTitle, presets, built] {
        const Config& config = ctx.config();
        cycleTitle->set_text("Cycle width" + inParentheses(config, Action::cycleWidth) + " steps through");
        const auto wanted = presetChoices(config);
        if (wanted != *built) {
            *built = wanted;
            build::clear(*presets);
            for (double width : wanted) {
                auto* item = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 4);
                auto* sw = Gtk::make_managed<Gtk::Switch>();
                sw->set_halign(Gtk::Align::CENTER);
                auto* name = Gtk::make_managed<Gtk::Label>(widthLabel(width));
                item->append(*sw);
                item->append(*name);
                build::label(*sw, "Cycle through " + widthLabel(width));
                presets->append(*item);
                sw->property_active().signal_changed().connect([&ctx, sw, width] {
                    const bool on = sw->get_active();
                    ctx.edit([&](Config& c) { return setPreset(c, width, on); });
                });
            }
        }
        // Every switch shows the stored list, also after a change that was
        // ignored because it would have emptied it.
        std::size_t i = 0;
        for (Gtk::Widget* item = presets->get_first_child(); item; item = item->get_next_sibling(), ++i) {
            if (auto* sw = dynamic_cast<Gtk::Switch*>(item->get_first_child())) {
                sw->set_active(hasPreset(config, (*built)[i]));
            }
        }
    });
    Gtk::Label& widthsNote = build::rowNote(widths, "");
    ctx.watch([&ctx, &widthsNote] {
        const Config& config = ctx.config();
        const auto wider = shortcutText(config, Action::wider);
        const auto narrower = shortcutText(config, Action::narrower);
        std::string both = wider && narrower ? " (" + *wider + " and " + *narrower + ")"
                           : wider           ? " (" + *wider + ")"
                           : narrower        ? " (" + *narrower + ")"
                                             : "";
        widthsNote.set_text("Widths are a share of the screen. Full width" + inParentheses(config, Action::fullWidth) +
                            " and wider/narrower" + both + " work on top of these.");
    });
    return root;
}

Gtk::Widget& appearancePane(PaneContext& ctx) {
    auto [root, page] = build::page();

    Gtk::ListBox& border = build::group(page, "Focused window");
    build::toggle(ctx, border, "Show a border around the focused window", [](const Config& c) { return c.focusBorder; },
                  [](Config& c, bool on) { c.focusBorder = on; });
    auto* colour = Gtk::make_managed<Gtk::ColorButton>();
    colour->set_use_alpha(true);
    build::row(border, "Border colour", colour);
    colour->signal_color_set().connect([&ctx, colour] {
        const Gdk::RGBA rgba = colour->get_rgba();
        const RGBA value{rgba.get_red(), rgba.get_green(), rgba.get_blue(), rgba.get_alpha()};
        ctx.edit([&](Config& c) {
            if (c.borderColor == value) return false;
            c.borderColor = value;
            return true;
        });
    });
    ctx.watch([&ctx, colour] {
        const RGBA& c = ctx.config().borderColor;
        colour->set_rgba(Gdk::RGBA(c.r, c.g, c.b, c.a));
    });
    build::slider(ctx, border, "Border width", {1, 12, 0.5, "", "", points},
                  [](const Config& c) { return c.borderWidth; }, [](Config& c, double v) { c.borderWidth = v; });

    // No stored radius means the system's, which the overlays choose.
    Gtk::Scale& radius = build::slider(ctx, border, "Corner radius", {0, 24, 1, "", "", points},
                                       [](const Config& c) { return c.borderRadius.value_or(10.0); },
                                       [](Config& c, double v) { c.borderRadius = v; });
    auto* system = Gtk::make_managed<Gtk::CheckButton>("System");
    system->insert_before(*radius.get_parent(), radius);
    system->signal_toggled().connect([&ctx, system, &radius] {
        const bool useSystem = system->get_active();
        ctx.edit([&](Config& c) {
            if (useSystem == !c.borderRadius) return false;
            c.borderRadius = useSystem ? std::nullopt : std::optional<double>(radius.get_value());
            return true;
        });
    });
    ctx.watch([&ctx, system, &radius] {
        system->set_active(!ctx.config().borderRadius);
        radius.set_sensitive(ctx.config().borderRadius.has_value());
    });

    Gtk::ListBox& dimming = build::group(page, "Dimming");
    build::toggle(ctx, dimming, "Dim everything except the focused window", [](const Config& c) { return c.dimInactive; },
                  [](Config& c, bool on) { c.dimInactive = on; });
    build::slider(ctx, dimming, "Amount", {0.05, 0.8, 0.05, "", "", percent},
                  [](const Config& c) { return c.dimAmount; }, [](Config& c, double v) { c.dimAmount = v; });

    Gtk::ListBox& timeline = build::group(page, "Timeline");
    build::choice(ctx, timeline, "Style", {"App icons", "Minimap", "None"},
                  [](const Config& c) { return static_cast<int>(c.stripIndicator); },
                  [](Config& c, int i) { c.stripIndicator = static_cast<StripIndicator>(i); });
    build::toggle(ctx, timeline, "Always show", [](const Config& c) { return c.stripIndicatorAlways; },
                  [](Config& c, bool on) { c.stripIndicatorAlways = on; });
    build::choice(ctx, timeline, "Labels", {"None", "App name", "Window titles"},
                  [](const Config& c) { return static_cast<int>(c.timelineLabels); },
                  [](Config& c, int i) { c.timelineLabels = static_cast<TimelineLabels>(i); });

    // The glass look is drawn only by macOS 26; it stays visible, and selected
    // when a shared settings file asks for it, so that nothing is hidden.
    auto* looks = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    auto* classic = Gtk::make_managed<Gtk::CheckButton>("Classic");
    auto* glass = Gtk::make_managed<Gtk::CheckButton>("Liquid Glass");
    glass->set_group(*classic);
    glass->set_sensitive(false);
    glass->set_tooltip_text("Liquid Glass needs macOS 26.");
    looks->append(*classic);
    looks->append(*glass);
    build::row(timeline, "Look", looks, "Liquid Glass needs macOS 26.");
    classic->signal_toggled().connect([&ctx, classic] {
        if (!classic->get_active()) return;
        ctx.edit([](Config& c) {
            if (c.timelineLook == TimelineLook::classic) return false;
            c.timelineLook = TimelineLook::classic;
            return true;
        });
    });
    ctx.watch([&ctx, classic, glass] {
        (ctx.config().timelineLook == TimelineLook::glass ? glass : classic)->set_active(true);
    });

    const std::string holdTitle = "Hold " + chordText() + " to show the timeline";
    build::toggle(ctx, timeline, holdTitle, [](const Config& c) { return c.timelineOnModifiers; },
                  [](Config& c, bool on) { c.timelineOnModifiers = on; });
    Gtk::Label& explanation = build::rowNote(timeline, "");
    ctx.watch([&ctx, &explanation] {
        const Config& c = ctx.config();
        build::showRow(explanation, c.stripIndicator != StripIndicator::off);
        explanation.set_text(c.stripIndicatorAlways
                                 ? "Stays at the bottom of each display. With app icons, windows make room for it. "
                                   "Click a tile to jump to that column."
                                 : "Appears while you move around, then fades out. App icons show one tile per "
                                   "column, with the focused one ringed; click a tile to jump to it.");
    });

    Gtk::ListBox& overview = build::group(page, "Overview");
    build::toggle(ctx, overview, "Show what's in each window", [](const Config& c) { return c.overviewPreviews; },
                  [](Config& c, bool on) { c.overviewPreviews = on; });
    // Window images come from the Composite extension here, which needs no permission.
    Gtk::Label& composite = build::rowNote(overview, "");
    ctx.watch([&ctx, &composite] {
        const auto available = ctx.status().compositeAvailable;
        composite.set_text(!ctx.managerAnswers() || !available
                               ? "Window previews need the X Composite extension; Tessaline tells whether this "
                                 "display has it while it runs."
                           : *available ? "Previews come from the X Composite extension, which this display has."
                                        : "This display has no Composite extension, so the overview shows app "
                                          "icons instead of previews.");
    });
    return root;
}

Gtk::Widget& trackpadPane(PaneContext& ctx) {
    auto [root, page] = build::page();

    Gtk::ListBox& swipe = build::group(page, "");
    build::toggle(ctx, swipe, "Scroll the strip with a trackpad swipe", [](const Config& c) { return c.swipeEnabled; },
                  [](Config& c, bool on) { c.swipeEnabled = on; });
    Gtk::DropDown& fingers = build::choice(ctx, swipe, "Fingers", {"Three", "Four"},
                                           [](const Config& c) { return c.swipeFingers == 3 ? 0 : c.swipeFingers == 4 ? 1 : -1; },
                                           [](Config& c, int i) { c.swipeFingers = i == 0 ? 3 : 4; });
    Gtk::Scale& speed = build::slider(ctx, swipe, "Speed", {0.5, 2.0, 0.05, "Slow", "Fast", {}},
                                      [](const Config& c) { return c.swipeSensitivity; },
                                      [](Config& c, double v) { c.swipeSensitivity = v; });
    build::rowNote(swipe, "The strip follows your fingers one to one, then settles on the nearest column.");
    Gtk::Label& warning = build::rowNote(swipe,
                                         "Tessaline couldn't listen to trackpad gestures. Check that a touchpad is "
                                         "connected, then pause and resume tiling.");
    warning.remove_css_class("dim-label");
    warning.add_css_class("warning");
    ctx.watch([&ctx, &fingers, &speed, &warning] {
        const bool on = ctx.config().swipeEnabled;
        fingers.set_sensitive(on);
        speed.set_sensitive(on);
        build::showRow(warning, on && ctx.managerAnswers() && ctx.status().swipeAvailable == false);
    });

    // The swipe conflict of the setup checks, with its fix.
    Gtk::ListBox& gestures = build::group(page, "Desktop gestures");
    auto* fix = Gtk::make_managed<Gtk::Button>();
    Gtk::Box& conflictRow = build::row(gestures, "", fix);
    auto* conflictTitle = dynamic_cast<Gtk::Label*>(conflictRow.get_first_child()->get_first_child());
    fix->signal_clicked().connect([&ctx] { ctx.provider.runFix("swipe"); });
    ctx.watch([&ctx, conflictTitle, fix] {
        const SetupCheck* check = nullptr;
        for (const SetupCheck& c : ctx.status().checks) {
            if (c.id == "swipe") check = &c;
        }
        conflictTitle->set_text(check                    ? check->title
                                : ctx.managerAnswers()   ? "Swiping is off."
                                                         : "Tessaline checks the desktop's gestures while it runs.");
        fix->set_label(check && check->fixTitle ? *check->fixTitle : "");
        fix->set_visible(check && !check->ok && check->fixTitle);
        if (check) conflictTitle->set_tooltip_text(check->detail);
    });

    Gtk::ListBox& chord = build::group(page, "Scroll wheel");
    build::toggle(ctx, chord, "Scroll the strip with " + chordText() + " and the scroll wheel or two fingers",
                  [](const Config& c) { return c.chordScroll; }, [](Config& c, bool on) { c.chordScroll = on; });
    return root;
}

}  // namespace tessaline::prefs::ui
