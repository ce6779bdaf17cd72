// The panes that tell rather than set: Setup and About.

#include <gdkmm/clipboard.h>
#include <gdkmm/display.h>
#include <glibmm/markup.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/linkbutton.h>

#include "settings/ui/PaneContext.h"

namespace tessaline::prefs::ui {

namespace {

constexpr const char* developerLink = TESSALINE_DEVELOPER_URL;
constexpr const char* licenseLink = TESSALINE_LICENSE_URL;

Gtk::Widget& checkRow(PaneContext& ctx, const SetupCheck& check) {
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    box->set_margin(4);
    auto* icon = Gtk::make_managed<Gtk::Image>();
    icon->set_from_icon_name(check.ok ? "emblem-ok-symbolic" : "dialog-warning-symbolic");
    icon->add_css_class(check.ok ? "success" : "warning");
    icon->set_valign(Gtk::Align::START);
    icon->set_margin_top(2);
    auto* texts = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    texts->set_hexpand(true);
    auto* title = Gtk::make_managed<Gtk::Label>();
    title->set_markup("<b>" + Glib::Markup::escape_text(check.title) + "</b>");
    title->set_xalign(0);
    title->set_wrap(true);
    auto* detail = Gtk::make_managed<Gtk::Label>(check.detail);
    detail->set_xalign(0);
    detail->set_wrap(true);
    detail->set_max_width_chars(56);
    detail->add_css_class("dim-label");
    texts->append(*title);
    texts->append(*detail);
    box->append(*icon);
    box->append(*texts);
    if (check.fixTitle) {
        auto* fix = Gtk::make_managed<Gtk::Button>(*check.fixTitle);
        fix->set_valign(Gtk::Align::CENTER);
        fix->signal_clicked().connect([&ctx, id = check.id] { ctx.provider.runFix(id); });
        box->append(*fix);
    }
    return *box;
}

}  // namespace

void setupChecks(PaneContext& ctx, Gtk::Box& parent) {
    Gtk::ListBox& list = build::group(parent, "");
    auto shown = std::make_shared<std::optional<ManagerStatus>>();
    ctx.watch([&ctx, &list, shown] {
        if (*shown && (*shown)->checks == ctx.status().checks && (*shown)->reach == ctx.status().reach) return;
        *shown = ctx.status();
        while (Gtk::Widget* child = list.get_first_child()) list.remove(*child);
        if (!ctx.managerAnswers()) {
            build::rowNote(list, ctx.status().reach == ManagerStatus::Reach::notRunning
                                     ? "Tessaline isn't running. The checks appear once it runs."
                                     : "The checks appear once Tessaline answers.");
        }
        for (const SetupCheck& check : ctx.status().checks) list.append(checkRow(ctx, check));
    });
    auto* again = Gtk::make_managed<Gtk::Button>("Check Again");
    again->set_halign(Gtk::Align::START);
    again->set_margin_top(8);
    again->signal_clicked().connect([&ctx] { ctx.provider.refresh(); });
    parent.append(*again);
}

Gtk::Widget& setupPane(PaneContext& ctx) {
    auto [root, page] = build::page();
    build::note(page, "These checks only read settings. Tessaline never changes your system's settings for you.")
        .set_margin_bottom(8);
    setupChecks(ctx, page);
    return root;
}

Gtk::Widget& aboutPane(PaneContext& ctx) {
    auto [root, page] = build::page();

    auto* icon = Gtk::make_managed<Gtk::Image>();
    icon->set_from_icon_name("view-dual-symbolic");
    icon->set_pixel_size(64);
    page.append(*icon);
    auto* name = Gtk::make_managed<Gtk::Label>();
    name->set_markup("<span size='x-large' weight='bold'>Tessaline</span>");
    page.append(*name);
    auto* version = Gtk::make_managed<Gtk::Label>(std::string("Version ") + TESSALINE_VERSION);
    version->set_selectable(true);
    page.append(*version);
    page.append(*Gtk::make_managed<Gtk::Label>("A scrolling window manager for X11."));
    auto* requirements = Gtk::make_managed<Gtk::Label>("Requires an X11 session \u00b7 Liquid Glass needs macOS 26");
    requirements->add_css_class("dim-label");
    page.append(*requirements);
    auto* links = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    links->set_halign(Gtk::Align::CENTER);
    links->append(*Gtk::make_managed<Gtk::LinkButton>(developerLink, "Developer"));
    links->append(*Gtk::make_managed<Gtk::LinkButton>(licenseLink, "License"));
    page.append(*links);

    // Packages are updated by the system's package manager: the updater's
    // controls are shown, switched off, so that nobody looks for them in vain.
    Gtk::ListBox& updates = build::group(page, "Updates");
    for (const char* title : {"Check for updates automatically", "Download and install updates automatically"}) {
        auto* sw = Gtk::make_managed<Gtk::Switch>();
        sw->set_sensitive(false);
        build::row(updates, title, sw);
    }
    auto* checkNow = Gtk::make_managed<Gtk::Button>("Check Now");
    checkNow->set_sensitive(false);
    build::row(updates, "Last checked", checkNow, "Never");
    build::rowNote(updates, "Tessaline is updated by your system's package manager.");

    Gtk::ListBox& trouble = build::group(page, "Troubleshooting");
    build::toggle(ctx, trouble, "Detailed logging", [](const Config& c) { return c.detailedLogging; },
                  [](Config& c, bool on) { c.detailedLogging = on; });
    auto* copy = Gtk::make_managed<Gtk::Button>("Copy");
    build::row(trouble, "Diagnostics", copy);
    copy->signal_clicked().connect([&ctx, copy] {
        copy->set_sensitive(false);
        ctx.provider.diagnostics([&ctx, copy](std::optional<std::string> report) {
            copy->set_sensitive(ctx.managerAnswers());
            if (!report) {
                if (ctx.showProblem) ctx.showProblem("Tessaline didn't send its diagnostics.");
                return;
            }
            copy->get_clipboard()->set_text(*report);
            copy->set_label("Copied");
        });
    });
    ctx.watch([&ctx, copy] { copy->set_sensitive(ctx.managerAnswers()); });
    return root;
}

}  // namespace tessaline::prefs::ui
