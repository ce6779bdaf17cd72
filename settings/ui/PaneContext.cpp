#include "settings/ui/PaneContext.h"

#include <gtkmm/adjustment.h>
#include <gtkmm/frame.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/stringlist.h>

#include <glibmm/main.h>
#include <glibmm/markup.h>
#include <sigc++/adaptors/track_obj.h>

#include <cmath>

namespace tessaline::prefs::ui {

PaneContext::PaneContext(SharedSettings& s, StatusProvider& p) : settings(s), provider(p) {}

void PaneContext::edit(const std::function<bool(Config&)>& change) {
    if (updating_) return;
    bool changed = false;
    const auto result = settings.edit([&](Config& config) { changed = change(config); });
    if (!changed) return;
    if (result == SharedSettings::EditResult::refused && showProblem) {
        showProblem("The change wasn't saved: " + settings.problem().value_or("the settings file can't be read."));
    } else if (result == SharedSettings::EditResult::failed && showProblem) {
        showProblem("Couldn't write " + settings.path().string() + ". The change holds until this window closes.");
    }
    // A refused or failed edit leaves the controls showing what the file says.
    refreshAll();
}

void PaneContext::later(std::function<void()> work) {
    Glib::signal_idle().connect_once(sigc::track_object([work = std::move(work)] { work(); }, *this));
}

void PaneContext::watch(std::function<void()> refresh) {
    const bool was = updating_;
    updating_ = true;
    refresh();
    updating_ = was;
    watchers_.push_back(std::move(refresh));
}

void PaneContext::refreshAll() {
    if (updating_) return;
    updating_ = true;
    // A watcher may add watchers (a rebuilt list); those have just run.
    const std::size_t count = watchers_.size();
    for (std::size_t i = 0; i < count; ++i) watchers_[i]();
    updating_ = false;
}

const std::vector<AppEntry>& PaneContext::installedApps() {
    if (!installed_) installed_ = installedApplications(applicationFolders());
    return *installed_;
}

namespace build {

Page page() {
    auto* scroller = Gtk::make_managed<Gtk::ScrolledWindow>();
    // Sideways scrolling only when a column narrower than any layout of the
    // page is all the window gets; cut off, the controls would be out of reach.
    scroller->set_policy(Gtk::PolicyType::AUTOMATIC, Gtk::PolicyType::AUTOMATIC);
    auto* content = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    content->set_margin(24);
    content->set_margin_top(18);
    scroller->set_child(*content);
    return {*scroller, *content};
}

Gtk::ListBox& group(Gtk::Box& page, const std::string& heading) {
    if (!heading.empty()) {
        auto* title = Gtk::make_managed<Gtk::Label>();
        title->set_markup("<b>" + Glib::Markup::escape_text(heading) + "</b>");
        title->set_xalign(0);
        title->set_margin_top(page.get_first_child() ? 14 : 0);
        title->set_margin_bottom(2);
        page.append(*title);
    }
    auto* frame = Gtk::make_managed<Gtk::Frame>();
    auto* list = Gtk::make_managed<Gtk::ListBox>();
    list->set_selection_mode(Gtk::SelectionMode::NONE);
    list->add_css_class("rich-list");
    frame->set_child(*list);
    page.append(*frame);
    return *list;
}

Gtk::Box& row(Gtk::ListBox& list, const std::string& title, Gtk::Widget* control, const std::string& subtitle) {
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    auto* labels = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    labels->set_hexpand(true);
    labels->set_valign(Gtk::Align::CENTER);
    auto* name = Gtk::make_managed<Gtk::Label>(title);
    name->set_xalign(0);
    name->set_wrap(true);
    labels->append(*name);
    if (!subtitle.empty()) {
        auto* sub = Gtk::make_managed<Gtk::Label>(subtitle);
        sub->set_xalign(0);
        sub->set_wrap(true);
        sub->add_css_class("dim-label");
        sub->add_css_class("caption");
        labels->append(*sub);
    }
    box->append(*labels);
    if (control) {
        control->set_valign(Gtk::Align::CENTER);
        if (!title.empty()) label(*control, title);
        box->append(*control);
    }
    list.append(*box);
    return *box;
}

Gtk::Label& note(Gtk::Box& parent, const std::string& text) {
    auto* label = Gtk::make_managed<Gtk::Label>(text);
    label->set_xalign(0);
    label->set_wrap(true);
    label->set_max_width_chars(60);
    label->add_css_class("dim-label");
    label->set_margin_top(4);
    parent.append(*label);
    return *label;
}

Gtk::Label& rowNote(Gtk::ListBox& list, const std::string& text) {
    auto* label = Gtk::make_managed<Gtk::Label>(text);
    label->set_xalign(0);
    label->set_wrap(true);
    label->set_max_width_chars(60);
    label->add_css_class("dim-label");
    list.append(*label);
    // The list row around it takes no focus: there is nothing to do with a note.
    if (auto* r = dynamic_cast<Gtk::ListBoxRow*>(label->get_parent())) r->set_activatable(false);
    return *label;
}

Gtk::Switch& toggle(PaneContext& ctx, Gtk::ListBox& list, const std::string& title,
                    std::function<bool(const Config&)> get, std::function<void(Config&, bool)> set) {
    auto* control = Gtk::make_managed<Gtk::Switch>();
    row(list, title, control);
    control->property_active().signal_changed().connect([&ctx, control, get, set] {
        const bool on = control->get_active();
        ctx.edit([&](Config& c) {
            if (get(c) == on) return false;
            set(c, on);
            return true;
        });
    });
    ctx.watch([&ctx, control, get] { control->set_active(get(ctx.config())); });
    return *control;
}

Gtk::Scale& slider(PaneContext& ctx, Gtk::ListBox& list, const std::string& title, const Range& range,
                   std::function<double(const Config&)> get, std::function<void(Config&, double)> set) {
    const auto [min, max, step, minLabel, maxLabel, format] = range;
    auto* scale = Gtk::make_managed<Gtk::Scale>(Gtk::Adjustment::create(min, min, max, step, step * 5, 0),
                                                Gtk::Orientation::HORIZONTAL);
    scale->set_size_request(220, -1);
    scale->set_draw_value(minLabel.empty());
    const int digits = step >= 1 ? 0 : step >= 0.1 ? 1 : 2;
    scale->set_digits(digits);
    scale->set_round_digits(digits);
    if (!minLabel.empty()) {
        scale->add_mark(min, Gtk::PositionType::BOTTOM, minLabel);
        scale->add_mark(max, Gtk::PositionType::BOTTOM, maxLabel);
    }
    if (format) {
        scale->set_format_value_func([format](double value) { return Glib::ustring(format(value)); });
    }
    row(list, title, scale);
    scale->signal_value_changed().connect([&ctx, scale, get, set] {
        const double value = scale->get_value();
        ctx.edit([&](Config& c) {
            if (std::abs(get(c) - value) < 1e-9) return false;
            set(c, value);
            return true;
        });
    });
    ctx.watch([&ctx, scale, get] { scale->set_value(get(ctx.config())); });
    return *scale;
}

Gtk::DropDown& choice(PaneContext& ctx, Gtk::ListBox& list, const std::string& title,
                      const std::vector<std::string>& labels, std::function<int(const Config&)> get,
                      std::function<void(Config&, int)> set) {
    std::vector<Glib::ustring> strings(labels.begin(), labels.end());
    auto* dropdown = Gtk::make_managed<Gtk::DropDown>(strings);
    row(list, title, dropdown);
    dropdown->property_selected().signal_changed().connect([&ctx, dropdown, get, set] {
        const int index = static_cast<int>(dropdown->get_selected());
        ctx.edit([&](Config& c) {
            if (index < 0 || get(c) == index) return false;
            set(c, index);
            return true;
        });
    });
    ctx.watch([&ctx, dropdown, get] {
        const int index = get(ctx.config());
        dropdown->set_selected(index < 0 ? GTK_INVALID_LIST_POSITION : static_cast<guint>(index));
    });
    return *dropdown;
}

void label(Gtk::Widget& widget, const std::string& name) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL, name.c_str(), -1);
}

void showRow(Gtk::Widget& widget, bool visible) {
    widget.set_visible(visible);
    if (auto* row = dynamic_cast<Gtk::ListBoxRow*>(widget.get_parent())) row->set_visible(visible);
}

void clear(Gtk::Box& box) {
    while (Gtk::Widget* child = box.get_first_child()) box.remove(*child);
}

}  // namespace build

}  // namespace tessaline::prefs::ui
