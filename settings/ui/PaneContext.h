#pragma once
// What every pane of the settings window works with: the shared settings
// file, the manager's status, and the small builders that put a labelled
// control on a page and keep it in step with both.

#include <gtkmm/box.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/label.h>
#include <gtkmm/listbox.h>
#include <gtkmm/scale.h>
#include <gtkmm/switch.h>
#include <gtkmm/window.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/model/Applications.h"
#include "settings/model/Panes.h"
#include "settings/model/SharedSettings.h"
#include "settings/model/Shortcuts.h"
#include "settings/model/Status.h"

namespace tessaline::prefs::ui {

class PaneContext : public sigc::trackable {
public:
    PaneContext(SharedSettings& settings, StatusProvider& provider);

    SharedSettings& settings;
    StatusProvider& provider;
    ShortcutRecorder recorder;

    const Config& config() const { return settings.config(); }
    const ManagerStatus& status() const { return provider.status(); }
    bool managerAnswers() const { return status().reach == ManagerStatus::Reach::running; }

    // Runs `change` on the newest settings and saves them when it says it
    // changed something. Controls call this; while the panes are being
    // brought up to date nothing is edited, so showing a value never writes it.
    void edit(const std::function<bool(Config&)>& change);

    // Runs `work` once the current event is handled, and not at all when the
    // window has gone meanwhile. For a control whose edit removes the control.
    void later(std::function<void()> work);

    // Keeps something on screen up to date: called now and after every change
    // of the settings or of the manager's status.
    void watch(std::function<void()> refresh);
    void refreshAll();
    // True while the panes are being brought up to date: a control changed
    // now shows a value, and nobody asked for anything.
    bool refreshing() const { return updating_; }

    // Installed applications, read once when first asked for.
    const std::vector<AppEntry>& installedApps();

    // Where an edit's failure is shown (the window's banner).
    std::function<void(const std::string&)> showProblem;
    // Asks the window to show a pane.
    std::function<void(SettingsPane)> showPane;

private:
    std::vector<std::function<void()>> watchers_;
    bool updating_ = false;
    std::optional<std::vector<AppEntry>> installed_;
};

// Builders. Every widget they make is owned by its parent container.
namespace build {

// A scrolling page (`root`) with a column of groups (`content`).
struct Page {
    Gtk::Widget& root;
    Gtk::Box& content;
};
Page page();
// A heading (when not empty) and a framed list of rows below it.
Gtk::ListBox& group(Gtk::Box& page, const std::string& heading);
// A row: the title (and a smaller subtitle) on the left, the control on the right.
Gtk::Box& row(Gtk::ListBox& list, const std::string& title, Gtk::Widget* control,
              const std::string& subtitle = {});
// A wrapped, dimmed explanation.
Gtk::Label& note(Gtk::Box& parent, const std::string& text);
Gtk::Label& rowNote(Gtk::ListBox& list, const std::string& text);

// Controls bound to one Config field.
Gtk::Switch& toggle(PaneContext& ctx, Gtk::ListBox& list, const std::string& title,
                    std::function<bool(const Config&)> get, std::function<void(Config&, bool)> set);
// A slider's values, and either words at its two ends or a way to write its value.
struct Range {
    double min = 0;
    double max = 1;
    double step = 0.1;
    std::string minLabel;
    std::string maxLabel;
    std::function<std::string(double)> format;
};
Gtk::Scale& slider(PaneContext& ctx, Gtk::ListBox& list, const std::string& title, const Range& range,
                   std::function<double(const Config&)> get, std::function<void(Config&, double)> set);
Gtk::DropDown& choice(PaneContext& ctx, Gtk::ListBox& list, const std::string& title,
                      const std::vector<std::string>& labels, std::function<int(const Config&)> get,
                      std::function<void(Config&, int)> set);

// Names a control for assistive technology (and for tests that read the window that way).
void label(Gtk::Widget& widget, const std::string& name);
// Shows or hides a widget together with the list row around it, so that a
// hidden note leaves no empty row behind.
void showRow(Gtk::Widget& widget, bool visible);
// Removes every child of a box.
void clear(Gtk::Box& box);

}  // namespace build

// The pane builders, each returning its page.
Gtk::Widget& generalPane(PaneContext& ctx);
Gtk::Widget& layoutPane(PaneContext& ctx);
Gtk::Widget& appearancePane(PaneContext& ctx);
Gtk::Widget& trackpadPane(PaneContext& ctx);
Gtk::Widget& shortcutsPane(PaneContext& ctx, Gtk::Window& window);
Gtk::Widget& rulesPane(PaneContext& ctx, Gtk::Window& window);
Gtk::Widget& displaysPane(PaneContext& ctx);
Gtk::Widget& setupPane(PaneContext& ctx);
Gtk::Widget& aboutPane(PaneContext& ctx);
// The setup checks with their fix buttons and "Check Again", shared with the welcome window.
void setupChecks(PaneContext& ctx, Gtk::Box& parent);

// The shortcut of an action as the Linux keyboard writes it, or absent.
std::optional<std::string> shortcutText(const Config& config, Action action);

}  // namespace tessaline::prefs::ui
