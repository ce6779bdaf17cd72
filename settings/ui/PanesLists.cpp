// The panes of lists: Shortcuts (with the recorder), Window Rules, Displays.

#include <gdk/gdkkeysyms.h>
#include <gtkmm/button.h>
#include <gtkmm/dialog.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/filefilter.h>
#include <gtkmm/grid.h>
#include <gtkmm/icontheme.h>
#include <gtkmm/image.h>
#include <gtkmm/menubutton.h>
#include <gtkmm/popover.h>
#include <gtkmm/stringlist.h>

#include <algorithm>

#include "settings/model/ConfigEdits.h"
#include "settings/model/LinuxKeys.h"
#include "settings/ui/PaneContext.h"

namespace tessaline::prefs::ui {

namespace {

bool isModifierKey(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Shift_L: case GDK_KEY_Shift_R: case GDK_KEY_Control_L: case GDK_KEY_Control_R:
        case GDK_KEY_Alt_L: case GDK_KEY_Alt_R: case GDK_KEY_Meta_L: case GDK_KEY_Meta_R:
        case GDK_KEY_Super_L: case GDK_KEY_Super_R: case GDK_KEY_Hyper_L: case GDK_KEY_Hyper_R:
        case GDK_KEY_ISO_Level3_Shift: case GDK_KEY_ISO_Level5_Shift: case GDK_KEY_Caps_Lock:
        case GDK_KEY_Num_Lock: case GDK_KEY_Mode_switch:
            return true;
        default:
            return false;
    }
}

std::uint32_t comboModifiers(Gdk::ModifierType state) {
    std::uint32_t mask = 0;
    if ((state & Gdk::ModifierType::CONTROL_MASK) != Gdk::ModifierType{}) mask |= KeyCombo::control;
    if ((state & Gdk::ModifierType::ALT_MASK) != Gdk::ModifierType{}) mask |= KeyCombo::option;
    if ((state & Gdk::ModifierType::SHIFT_MASK) != Gdk::ModifierType{}) mask |= KeyCombo::shift;
    if ((state & Gdk::ModifierType::SUPER_MASK) != Gdk::ModifierType{}) mask |= KeyCombo::command;
    return mask;
}

// One shortcut: its keys, marked when something else wants them, and a remove button.
Gtk::Widget& comboChip(PaneContext& ctx, const Config& config, Action action, std::size_t index,
                       const KeyCombo& combo) {
    auto* chip = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 0);
    chip->add_css_class("linked");
    const std::string text = LinuxKeys::display(combo);
    auto* keys = Gtk::make_managed<Gtk::Button>(text);
    keys->set_can_focus(false);
    const auto& held = ctx.status().conflicts;
    const auto others = otherActionsUsing(config, action, combo);
    if (std::find(held.begin(), held.end(), combo) != held.end()) {
        keys->add_css_class("error");
        keys->set_tooltip_text("Another program holds this shortcut, so Tessaline can't use it.");
    } else if (!others.empty()) {
        keys->add_css_class("warning");
        keys->set_tooltip_text("Also used by \u201c" + title(others.front()) + "\u201d.");
    }
    auto* remove = Gtk::make_managed<Gtk::Button>();
    remove->set_icon_name("window-close-symbolic");
    remove->set_tooltip_text("Remove");
    build::label(*remove, "Remove " + text);
    remove->signal_clicked().connect([&ctx, action, index] {
        ctx.later([&ctx, action, index] { ctx.edit([&](Config& c) { return removeShortcut(c, action, index); }); });
    });
    chip->append(*keys);
    chip->append(*remove);
    return *chip;
}

void shortcutRow(PaneContext& ctx, Gtk::ListBox& list, const ShortcutRow& row) {
    const Action action = row.action;
    // The title and the add button on one line, the shortcuts below, two to
    // a line: narrow enough for a window tiled into half a screen.
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 4);
    auto* top = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    auto* name = Gtk::make_managed<Gtk::Label>(row.title);
    name->set_xalign(0);
    name->set_wrap(true);
    name->set_hexpand(true);
    auto* add = Gtk::make_managed<Gtk::Button>();
    auto* addContent = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    auto* addIcon = Gtk::make_managed<Gtk::Image>();
    addIcon->set_from_icon_name("list-add-symbolic");
    addContent->append(*addIcon);
    addContent->append(*Gtk::make_managed<Gtk::Label>("Add a shortcut"));
    add->set_child(*addContent);
    add->add_css_class("flat");
    build::label(*add, "Add a shortcut for " + row.title);
    top->append(*name);
    top->append(*add);
    auto* combos = Gtk::make_managed<Gtk::Grid>();
    combos->set_column_spacing(6);
    combos->set_row_spacing(4);
    combos->set_halign(Gtk::Align::END);
    box->append(*top);
    box->append(*combos);
    list.append(*box);
    add->signal_clicked().connect([&ctx, action] {
        ctx.recorder.begin(action);
        ctx.provider.holdShortcuts(true);
        ctx.refreshAll();
    });

    struct Shown {
        std::vector<KeyCombo> combos;
        std::vector<KeyCombo> conflicts;
        std::vector<Action> sharing;  // per combo, the first other action with it
        bool recording = false;
        bool built = false;
        bool operator==(const Shown&) const = default;
    };
    auto shown = std::make_shared<Shown>();
    ctx.watch([&ctx, combos, add, action, shown] {
        const Config& config = ctx.config();
        Shown now;
        now.combos = firstShortcut(config, action) ? config.bindings.at(toString(action)) : std::vector<KeyCombo>{};
        now.conflicts = ctx.status().conflicts;
        for (const KeyCombo& c : now.combos) {
            const auto others = otherActionsUsing(config, action, c);
            now.sharing.push_back(others.empty() ? action : others.front());
        }
        now.recording = ctx.recorder.recording() == action;
        now.built = true;
        if (now == *shown) return;
        *shown = now;
        while (Gtk::Widget* child = combos->get_first_child()) combos->remove(*child);
        int placed = 0;
        const auto put = [combos, &placed](Gtk::Widget& item) {
            item.set_halign(Gtk::Align::END);
            combos->attach(item, placed % 2, placed / 2);
            ++placed;
        };
        for (std::size_t i = 0; i < now.combos.size(); ++i) put(comboChip(ctx, config, action, i, now.combos[i]));
        if (now.recording) {
            auto* prompt = Gtk::make_managed<Gtk::Label>("Type shortcut\u2026");
            prompt->add_css_class("accent");
            put(*prompt);
        }
        combos->set_visible(placed > 0);
        add->set_sensitive(!now.recording);
    });
}

}  // namespace

Gtk::Widget& shortcutsPane(PaneContext& ctx, Gtk::Window& window) {
    auto [root, page] = build::page();

    auto* restore = Gtk::make_managed<Gtk::Button>("Restore Default Shortcuts");
    restore->set_halign(Gtk::Align::START);
    restore->signal_clicked().connect([&ctx] { ctx.edit(restoreDefaultShortcuts); });
    page.append(*restore);
    build::note(page, "Shortcuts belong to keys, not letters, so they stay on the same keys with another keyboard layout.");

    for (const ShortcutGroup& group : shortcutGroups(ctx.config())) {
        Gtk::ListBox& list = build::group(page, group.title);
        for (const ShortcutRow& row : group.rows) shortcutRow(ctx, list, row);
    }

    // The recorder takes the next key before any control sees it.
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [&ctx](guint keyval, guint keycode, Gdk::ModifierType state) {
            if (!ctx.recorder.recording()) return false;
            const auto code = LinuxKeys::keyCodeForX(keycode);
            if (!code && !isModifierKey(keyval)) return true;  // a key the table lacks: keep listening
            const auto result = ctx.recorder.press({code.value_or(0), comboModifiers(state), isModifierKey(keyval)});
            if (result.outcome == ShortcutRecorder::Outcome::ignored) return true;
            ctx.provider.holdShortcuts(false);
            if (result.outcome == ShortcutRecorder::Outcome::recorded) {
                ctx.edit([&](Config& c) { return appendShortcut(c, *result.action, result.combo); });
            }
            ctx.refreshAll();
            return true;
        },
        false);
    window.add_controller(keys);
    return root;
}

namespace {

const char* const placementLabels[] = {"Beside the focused column", "At the start", "At the end"};

struct RuleRow {
    Gtk::DropDown* mode = nullptr;
    Gtk::DropDown* width = nullptr;
    Gtk::DropDown* opens = nullptr;
    std::vector<std::optional<double>> widths;  // the width dropdown's choices
};

std::vector<std::optional<double>> ruleWidthChoices(const AppRule& rule) {
    std::vector<std::optional<double>> choices = {std::nullopt};
    std::vector<double> widths = offeredWidths();
    if (rule.width && std::none_of(widths.begin(), widths.end(), [&](double w) { return sameWidth(w, *rule.width); })) {
        widths.push_back(*rule.width);
        std::sort(widths.begin(), widths.end());
    }
    choices.insert(choices.end(), widths.begin(), widths.end());
    return choices;
}

void showRule(RuleRow& row, const AppRule& rule) {
    row.mode->set_selected(rule.floating ? 1 : 0);
    row.opens->set_selected(static_cast<guint>(rule.placement));
    for (std::size_t i = 0; i < row.widths.size(); ++i) {
        const auto& w = row.widths[i];
        if (w.has_value() == rule.width.has_value() && (!w || sameWidth(*w, *rule.width))) {
            row.width->set_selected(static_cast<guint>(i));
        }
    }
}

Gtk::DropDown& labelled(Gtk::Box& box, const std::string& title, const std::vector<Glib::ustring>& choices) {
    if (!title.empty()) {
        auto* label = Gtk::make_managed<Gtk::Label>(title);
        label->add_css_class("dim-label");
        box.append(*label);
    }
    auto* dropdown = Gtk::make_managed<Gtk::DropDown>(choices);
    box.append(*dropdown);
    return *dropdown;
}

RuleRow ruleRow(PaneContext& ctx, Gtk::ListBox& list, std::size_t index, const AppRule& rule) {
    const AppEntry app = describeApp(rule.bundleID, ctx.status().runningApps, ctx.installedApps());
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    box->set_margin(4);
    auto* top = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 10);
    auto* icon = Gtk::make_managed<Gtk::Image>();
    icon->set_pixel_size(32);
    const auto theme = Gtk::IconTheme::get_for_display(list.get_display());
    if (!app.icon.empty() && app.icon.front() == '/') icon->set(app.icon);
    else icon->set_from_icon_name(theme->has_icon(app.icon) ? app.icon : "application-x-executable");
    auto* names = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 0);
    names->set_hexpand(true);
    auto* name = Gtk::make_managed<Gtk::Label>(app.name);
    name->set_xalign(0);
    auto* id = Gtk::make_managed<Gtk::Label>(rule.bundleID);
    id->set_xalign(0);
    id->add_css_class("dim-label");
    id->add_css_class("caption");
    names->append(*name);
    names->append(*id);
    auto* remove = Gtk::make_managed<Gtk::Button>("Remove this rule");
    remove->set_valign(Gtk::Align::CENTER);
    build::label(*remove, "Remove the rule for " + app.name);
    top->append(*icon);
    top->append(*names);
    top->append(*remove);
    box->append(*top);

    // Two lines of controls, so that a window tiled into half a screen holds them.
    auto* controls = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    controls->set_margin_start(42);
    auto* kind = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    auto* where = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    controls->append(*kind);
    controls->append(*where);
    RuleRow row;
    row.widths = ruleWidthChoices(rule);
    std::vector<Glib::ustring> widthNames;
    for (const auto& w : row.widths) widthNames.push_back(w ? widthLabel(*w) : "Default");
    row.mode = &labelled(*kind, "", {"Tile", "Float"});
    row.width = &labelled(*kind, "Width", widthNames);
    row.opens = &labelled(*where, "Opens", {placementLabels[0], placementLabels[1], placementLabels[2]});
    build::label(*row.mode, "Tile or float " + app.name);
    build::label(*row.width, "Width of " + app.name);
    build::label(*row.opens, "Where " + app.name + " opens");
    box->append(*controls);
    list.append(*box);
    showRule(row, rule);

    remove->signal_clicked().connect([&ctx, index] {
        ctx.later([&ctx, index] { ctx.edit([&](Config& c) { return removeRule(c, index); }); });
    });
    Gtk::DropDown* mode = row.mode;
    mode->property_selected().signal_changed().connect([&ctx, index, mode] {
        const bool floating = mode->get_selected() == 1;
        ctx.edit([&](Config& c) { return setRuleFloating(c, index, floating); });
    });
    Gtk::DropDown* width = row.width;
    width->property_selected().signal_changed().connect([&ctx, index, width, widths = row.widths] {
        const guint i = width->get_selected();
        if (i >= widths.size()) return;
        ctx.edit([&](Config& c) { return setRuleWidth(c, index, widths[i]); });
    });
    Gtk::DropDown* opens = row.opens;
    opens->property_selected().signal_changed().connect([&ctx, index, opens] {
        const guint i = opens->get_selected();
        if (i > 2) return;
        ctx.edit([&](Config& c) { return setRulePlacement(c, index, static_cast<AppRule::Placement>(i)); });
    });
    return row;
}

void addRuleFor(PaneContext& ctx, const std::string& bundleID) {
    ctx.edit([&](Config& c) { return addRule(c, bundleID); });
}

void chooseApp(PaneContext& ctx, Gtk::Window& window) {
    auto chooser = Gtk::FileChooserNative::create("Choose App", window, Gtk::FileChooser::Action::OPEN);
    auto filter = Gtk::FileFilter::create();
    filter->set_name("Applications");
    filter->add_pattern("*.desktop");
    chooser->add_filter(filter);
    for (const auto& folder : applicationFolders()) {
        std::error_code ec;
        if (std::filesystem::is_directory(folder, ec)) {
            chooser->set_current_folder(Gio::File::create_for_path(folder.string()));
            if (folder.string().starts_with("/usr")) break;  // the system's applications
        }
    }
    chooser->signal_response().connect([&ctx, chooser](int response) {
        if (response == Gtk::ResponseType::ACCEPT) {
            const std::string path = chooser->get_file() ? chooser->get_file()->get_path() : std::string();
            const auto entry = readDesktopFile(path);
            if (entry) addRuleFor(ctx, entry->bundleID);
            else if (ctx.showProblem) ctx.showProblem(path + " is not an application's desktop entry.");
        }
        chooser->hide();
    });
    chooser->show();
}

}  // namespace

Gtk::Widget& rulesPane(PaneContext& ctx, Gtk::Window& window) {
    auto [root, page] = build::page();

    Gtk::ListBox& list = build::group(page, "App rules");
    auto rows = std::make_shared<std::vector<RuleRow>>();
    auto builtFor = std::make_shared<std::optional<std::vector<std::string>>>();
    ctx.watch([&ctx, &list, rows, builtFor] {
        const Config& config = ctx.config();
        // Names come from the running applications too, so a new answer may rename rows.
        std::vector<std::string> identity;
        for (const AppRule& r : config.appRules) identity.push_back(r.bundleID);
        for (const RunningApp& a : ctx.status().runningApps) identity.push_back("\n" + a.bundleID + a.name);
        if (*builtFor == identity) {
            for (std::size_t i = 0; i < rows->size(); ++i) showRule((*rows)[i], config.appRules[i]);
            return;
        }
        *builtFor = identity;
        while (Gtk::Widget* child = list.get_first_child()) list.remove(*child);
        rows->clear();
        if (config.appRules.empty()) build::rowNote(list, "No rules yet.");
        for (std::size_t i = 0; i < config.appRules.size(); ++i) {
            rows->push_back(ruleRow(ctx, list, i, config.appRules[i]));
        }
    });

    auto* buttons = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    buttons->set_margin_top(8);
    auto* running = Gtk::make_managed<Gtk::MenuButton>();
    running->set_label("Add Running App");
    auto* popover = Gtk::make_managed<Gtk::Popover>();
    auto* menu = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    popover->set_child(*menu);
    running->set_popover(*popover);
    popover->signal_show().connect([&ctx, menu, popover] {
        build::clear(*menu);
        const auto& apps = ctx.status().runningApps;
        if (apps.empty()) {
            auto* none = Gtk::make_managed<Gtk::Label>(ctx.managerAnswers() ? "No applications are running."
                                                                             : "Tessaline isn't running.");
            none->add_css_class("dim-label");
            none->set_margin(6);
            menu->append(*none);
        }
        for (const RunningApp& app : apps) {
            auto* item = Gtk::make_managed<Gtk::Button>(app.name);
            item->add_css_class("flat");
            item->set_sensitive(!ctx.config().rule(app.bundleID));
            item->signal_clicked().connect([&ctx, popover, id = app.bundleID] {
                popover->popdown();
                addRuleFor(ctx, id);
            });
            menu->append(*item);
        }
    });
    auto* choose = Gtk::make_managed<Gtk::Button>("Choose App\u2026");
    choose->signal_clicked().connect([&ctx, &window] { chooseApp(ctx, window); });
    buttons->append(*running);
    buttons->append(*choose);
    page.append(*buttons);
    build::note(page, "Rules apply as windows open. Dialogs and windows of a fixed size always float.");
    return root;
}

Gtk::Widget& displaysPane(PaneContext& ctx) {
    auto [root, page] = build::page();

    Gtk::ListBox& list = build::group(page, "Tile these displays");
    auto builtFor = std::make_shared<std::optional<std::vector<DisplayInfo>>>();
    auto switches = std::make_shared<std::vector<Gtk::Switch*>>();
    ctx.watch([&ctx, &list, builtFor, switches] {
        const auto rows = displayRows(ctx.config(), ctx.status().displays);
        if (*builtFor != ctx.status().displays) {
            *builtFor = ctx.status().displays;
            while (Gtk::Widget* child = list.get_first_child()) list.remove(*child);
            switches->clear();
            if (rows.empty()) {
                build::rowNote(list, ctx.managerAnswers() ? "No displays are connected."
                                                          : "Connected displays are listed while Tessaline is running.");
            }
            for (const DisplayRow& row : rows) {
                auto* sw = Gtk::make_managed<Gtk::Switch>();
                build::row(list, row.name, sw, row.name == row.uuid ? "" : row.uuid);
                sw->property_active().signal_changed().connect([&ctx, sw, uuid = row.uuid] {
                    const bool on = sw->get_active();
                    ctx.edit([&](Config& c) { return setDisplayTiled(c, uuid, on); });
                });
                switches->push_back(sw);
            }
        }
        for (std::size_t i = 0; i < rows.size() && i < switches->size(); ++i) (*switches)[i]->set_active(rows[i].tiled);
    });

    Gtk::Label& explanation = build::note(page, "");
    ctx.watch([&ctx, &explanation] {
        const auto next = shortcutText(ctx.config(), Action::sendToNextDisplay);
        explanation.set_text(
            "Each display gets its own strip, with its own focus and scroll position. On a display you switch off, "
            "windows stay exactly where you put them, which suits a presentation screen or a portrait monitor." +
            (next ? " " + *next + " sends the focused window to the next display." : std::string()));
    });
    return root;
}

}  // namespace tessaline::prefs::ui
