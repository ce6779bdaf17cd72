// The tessaline-settings program: one instance per session (a second start
// hands its arguments to the first, which brings the asked window forward),
// the settings window with its sidebar, and the welcome window.

#include <giomm/appinfo.h>
#include <glibmm/main.h>
#include <giomm/dbusconnection.h>
#include <giomm/file.h>
#include <giomm/filemonitor.h>
#include <giomm/init.h>
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/button.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>
#include <gdkmm/display.h>
#include <gtkmm/image.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/separator.h>
#include <gtkmm/stack.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/shell/ChannelPath.h"
#include "engine/actions/KeyNames.h"
#include "engine/settings/Defaults.h"
#include "settings/model/ChannelStatus.h"
#include "settings/model/LinuxKeys.h"
#include "settings/ui/PaneContext.h"

namespace tessaline::prefs::ui {

namespace {

constexpr const char* applicationID = "org.tessaline.Settings";

const char* const usage =
    "Usage: tessaline-settings [--pane NAME] [--welcome]\n"
    "\n"
    "Opens Tessaline's settings at the pane NAME (general, layout, appearance, trackpad,\n"
    "shortcuts, rules, displays, setup, about), or the welcome window. A settings window\n"
    "that is already open comes forward.\n";

struct Request {
    SettingsPane pane = SettingsPane::general;
    bool welcome = false;
    bool help = false;
    std::string statusFile;  // a manager status to show, as JSON (for pictures and tests)
};

// Absent, with the reason in `error`, for arguments this program does not take.
std::optional<Request> parseArguments(const std::vector<std::string>& args, std::string& error) {
    Request request;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](const char* name) -> std::optional<std::string> {
            const std::string prefix = std::string(name) + "=";
            if (arg.starts_with(prefix)) return arg.substr(prefix.size());
            if (arg == name && i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        if (arg == "--welcome") {
            request.welcome = true;
        } else if (arg == "--help" || arg == "-h") {
            request.help = true;
        } else if (arg.starts_with("--pane")) {
            const auto name = value("--pane");
            const auto pane = name ? paneFromString(*name) : std::nullopt;
            if (!pane) {
                error = "Unknown pane '" + name.value_or("") + "'.";
                return std::nullopt;
            }
            request.pane = *pane;
        } else if (arg.starts_with("--status-from")) {
            const auto file = value("--status-from");
            if (!file) {
                error = "--status-from needs a file.";
                return std::nullopt;
            }
            request.statusFile = *file;
        } else {
            error = "Unknown argument '" + arg + "'.";
            return std::nullopt;
        }
    }
    return request;
}

// Keys are named as the current keyboard layout prints them; keypad keys and
// keys the layout gives no character keep their US names.
void nameKeysByLayout() {
    KeyNames::setTranslator([](std::uint32_t keyCode) -> std::optional<std::string> {
        const std::optional<std::string> us = LinuxKeys::usName(keyCode);
        const std::optional<std::uint32_t> x = LinuxKeys::xKeycode(keyCode);
        GdkDisplay* display = gdk_display_get_default();
        if (!x || !display || (us && us->size() > 1)) return us;
        guint keyval = 0;
        if (!gdk_display_translate_key(display, *x, GdkModifierType(0), 0, &keyval, nullptr, nullptr, nullptr)) return us;
        const gunichar c = g_unichar_toupper(gdk_keyval_to_unicode(keyval));
        if (c <= 0x20 || !g_unichar_isprint(c)) return us;
        char utf8[8] = {};
        g_unichar_to_utf8(c, utf8);
        return std::string(utf8);
    });
}

// How often an open window asks the manager again: tiling, displays and
// conflicts change without the window's doing.
constexpr unsigned statusInterval = 3;

// Runs `work` on the main loop; callable from any thread.
void postToMain(std::function<void()> work) {
    using Job = std::function<void()>;
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer job) -> gboolean {
            (*static_cast<Job*>(job))();
            return G_SOURCE_REMOVE;
        },
        new Job(std::move(work)), [](gpointer job) { delete static_cast<Job*>(job); });
}

void openOnDesktop(const std::string& target) {
    try {
        Gio::AppInfo::launch_default_for_uri(target);
    } catch (const Glib::Error& e) {
        std::cerr << "tessaline-settings: can't open " << target << ": " << e.what() << "\n";
    }
}

// The running manager over its command channel, or, for pictures and tests,
// a status read from a file.
std::unique_ptr<StatusProvider> statusProvider(const std::string& file) {
    if (file.empty()) {
        return std::make_unique<ChannelStatusProvider>(shell::channelSockets(shell::ChannelEnvironment::current()),
                                                       postToMain, openOnDesktop);
    }
    std::ifstream in(file);
    const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    const auto status = statusFromJSON(j);
    if (!status) {
        std::cerr << "tessaline-settings: " << file << " holds no status; showing none.\n";
        return std::make_unique<FixedStatusProvider>();
    }
    auto provider = std::make_unique<FixedStatusProvider>(*status);
    if (auto report = j.find("diagnostics"); report != j.end() && report->is_string()) {
        provider->report = report->get<std::string>();
    }
    return provider;
}

// A strip across the top of a window that says what went wrong.
class Banner : public Gtk::Box {
public:
    Banner() : Gtk::Box(Gtk::Orientation::HORIZONTAL, 12) {
        set_margin(8);
        text_.set_wrap(true);
        text_.set_xalign(0);
        text_.set_hexpand(true);
        text_.add_css_class("error");
        append(text_);
        append(action_);
        set_visible(false);
    }
    void show(const std::string& text, const std::string& actionTitle, std::function<void()> action) {
        text_.set_text(text);
        action_.set_label(actionTitle);
        action_.set_visible(!actionTitle.empty());
        connection_.disconnect();
        if (action) connection_ = action_.signal_clicked().connect(action);
        set_visible(true);
    }
    void dismiss() { set_visible(false); }

private:
    Gtk::Label text_;
    Gtk::Button action_;
    sigc::connection connection_;
};

class SettingsWindow : public Gtk::ApplicationWindow {
public:
    SettingsWindow(SharedSettings& settings, StatusProvider& provider) : ctx_(settings, provider) {
        set_title("Tessaline Settings");
        set_default_size(860, 640);
        ctx_.showProblem = [this](const std::string& text) {
            banner_.show(text, "Dismiss", [this] { updateBanner(); });
        };

        auto* outer = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 0);
        auto* body = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 0);
        body->set_vexpand(true);
        sidebar_.set_selection_mode(Gtk::SelectionMode::SINGLE);
        sidebar_.add_css_class("navigation-sidebar");
        auto* sideScroll = Gtk::make_managed<Gtk::ScrolledWindow>();
        sideScroll->set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
        sideScroll->set_child(sidebar_);
        sideScroll->set_size_request(200, -1);
        body->append(*sideScroll);
        body->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));
        stack_.set_hexpand(true);
        stack_.set_transition_type(Gtk::StackTransitionType::NONE);
        body->append(stack_);
        outer->append(banner_);
        outer->append(*body);
        set_child(*outer);

        for (SettingsPane pane : allPanes) addPane(pane);
        sidebar_.signal_row_selected().connect([this](Gtk::ListBoxRow* row) {
            if (row) stack_.set_visible_child(toString(allPanes[static_cast<std::size_t>(row->get_index())]));
        });
        ctx_.showPane = [this](SettingsPane pane) { showPane(pane); };
        updateBanner();
        // A recording left behind would keep the manager's shortcuts held.
        property_is_active().signal_changed().connect([this] {
            if (!is_active()) stopRecording();
        });
    }

    ~SettingsWindow() override {
        if (ctx_.recorder.recording()) ctx_.provider.holdShortcuts(false);
    }

    void showPane(SettingsPane pane) {
        sidebar_.select_row(*sidebar_.get_row_at_index(static_cast<int>(pane)));
    }

    void refresh() {
        ctx_.refreshAll();
        updateBanner();
    }

private:
    void stopRecording() {
        if (!ctx_.recorder.recording()) return;
        ctx_.recorder.cancel();
        ctx_.provider.holdShortcuts(false);
        ctx_.refreshAll();
    }

    void addPane(SettingsPane pane) {
        auto* item = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 10);
        item->set_margin(6);
        auto* icon = Gtk::make_managed<Gtk::Image>();
        icon->set_from_icon_name(iconName(pane));
        item->append(*icon);
        item->append(*Gtk::make_managed<Gtk::Label>(title(pane)));
        sidebar_.append(*item);
        build::label(*item->get_parent(), title(pane));
        stack_.add(paneWidget(pane), toString(pane), title(pane));
    }

    Gtk::Widget& paneWidget(SettingsPane pane) {
        switch (pane) {
            case SettingsPane::general: return generalPane(ctx_);
            case SettingsPane::layout: return layoutPane(ctx_);
            case SettingsPane::appearance: return appearancePane(ctx_);
            case SettingsPane::trackpad: return trackpadPane(ctx_);
            case SettingsPane::shortcuts: return shortcutsPane(ctx_, *this);
            case SettingsPane::rules: return rulesPane(ctx_, *this);
            case SettingsPane::displays: return displaysPane(ctx_);
            case SettingsPane::setup: return setupPane(ctx_);
            case SettingsPane::about: return aboutPane(ctx_);
        }
        return generalPane(ctx_);
    }

    // A file that cannot be read stays visible until it is repaired or set aside.
    void updateBanner() {
        SharedSettings& settings = ctx_.settings;
        stack_.set_sensitive(!settings.problem());
        if (!settings.problem()) {
            banner_.dismiss();
            return;
        }
        banner_.show(*settings.problem() + " Tessaline keeps using the settings it had. Repair the file, or set it "
                     "aside to start again from the defaults.",
                     "Set Aside", [this, &settings] {
                         settings.setAside();
                         refresh();
                     });
    }

    PaneContext ctx_;
    Banner banner_;
    Gtk::ListBox sidebar_;
    Gtk::Stack stack_;
};

class WelcomeWindow : public Gtk::ApplicationWindow {
public:
    WelcomeWindow(SharedSettings& settings, StatusProvider& provider, std::function<void()> openSettings)
        : ctx_(settings, provider) {
        set_title("Welcome to Tessaline");
        set_default_size(660, 680);
        auto [root, page] = build::page();
        root.set_vexpand(true);
        auto* heading = Gtk::make_managed<Gtk::Label>();
        heading->set_markup("<span size='xx-large' weight='bold'>Welcome to Tessaline</span>");
        heading->set_xalign(0);
        page.append(*heading);
        for (const char* text : {"Tessaline puts your windows side by side on a strip that runs past the edges of the "
                                 "screen. New windows open beside the one you use, and the strip scrolls instead of "
                                 "windows shrinking.",
                                 "A few things about this system decide how well that works:"}) {
            auto* label = Gtk::make_managed<Gtk::Label>(text);
            label->set_xalign(0);
            label->set_wrap(true);
            label->set_margin_top(10);
            page.append(*label);
        }
        setupChecks(ctx_, page);

        // The buttons stay in view however long the list of checks is.
        auto* buttons = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
        buttons->set_halign(Gtk::Align::END);
        buttons->set_margin(16);
        auto* settingsButton = Gtk::make_managed<Gtk::Button>("Open Settings");
        settingsButton->signal_clicked().connect(openSettings);
        auto* done = Gtk::make_managed<Gtk::Button>("Get Started");
        done->add_css_class("suggested-action");
        done->signal_clicked().connect([this] {
            ctx_.edit([](Config& c) {
                if (c.hasCompletedOnboarding) return false;
                c.hasCompletedOnboarding = true;
                return true;
            });
            close();
        });
        buttons->append(*settingsButton);
        buttons->append(*done);
        auto* outer = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 0);
        outer->append(root);
        outer->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
        outer->append(*buttons);
        set_child(*outer);
    }

    void refresh() { ctx_.refreshAll(); }

private:
    PaneContext ctx_;
};

class SettingsApp : public Gtk::Application {
public:
    explicit SettingsApp(std::string statusFile)
        : Gtk::Application(applicationID, Gio::Application::Flags::HANDLES_COMMAND_LINE),
          statusFile_(std::move(statusFile)) {}

protected:
    void on_startup() override {
        Gtk::Application::on_startup();
        nameKeysByLayout();
        // The toolkit's own theme leaves these classes uncoloured.
        auto css = Gtk::CssProvider::create();
        css->load_from_data(".error { color: #c01c28; } .warning { color: #ae7b03; } "
                            ".success { color: #26a269; } .accent { color: #1c71d8; }");
        Gtk::StyleContext::add_provider_for_display(Gdk::Display::get_default(), css,
                                                    GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        const auto location = FileDefaults::defaultLocation();
        settings_ = std::make_unique<SharedSettings>(location.value_or("settings.json"));
        if (!location) std::cerr << "tessaline-settings: no home folder; using ./settings.json.\n";
        provider_ = statusProvider(statusFile_);
        settings_->setOnChange([this] { refreshWindows(); });
        provider_->setOnChange([this] { refreshWindows(); });
        provider_->refresh();
        Glib::signal_timeout().connect_seconds(
            [this] {
                if (settingsWindow_ || welcome_) provider_->refresh();
                return true;
            },
            statusInterval);

        // The manager, or a person with an editor, may change the file at any
        // time. A folder that does not exist yet could only be polled for.
        std::error_code ec;
        std::filesystem::create_directories(settings_->path().parent_path(), ec);
        monitor_ = Gio::File::create_for_path(settings_->path().string())->monitor_file();
        monitor_->signal_changed().connect(
            [this](const Glib::RefPtr<Gio::File>&, const Glib::RefPtr<Gio::File>&, Gio::FileMonitor::Event) {
                settings_->reloadIfChanged();
            });
    }

    int on_command_line(const Glib::RefPtr<Gio::ApplicationCommandLine>& commandLine) override {
        int argc = 0;
        char** argv = commandLine->get_arguments(argc);
        std::vector<std::string> args(argv, argv + argc);
        g_strfreev(argv);
        std::string error;
        const auto request = parseArguments(args, error);
        if (!request) {
            commandLine->printerr(error + "\n" + usage);
            return 2;
        }
        if (request->help) {
            commandLine->print(usage);
            return 0;
        }
        if (request->welcome) showWelcome();
        else showSettings(request->pane);
        return 0;
    }

private:
    void showSettings(SettingsPane pane) {
        if (!settingsWindow_) {
            settingsWindow_ = new SettingsWindow(*settings_, *provider_);
            watchActivation(*settingsWindow_);
            add_window(*settingsWindow_);
            settingsWindow_->signal_hide().connect([this] {
                delete settingsWindow_;
                settingsWindow_ = nullptr;
            });
        }
        settingsWindow_->showPane(pane);
        settingsWindow_->present();
    }

    void showWelcome() {
        if (!welcome_) {
            welcome_ = new WelcomeWindow(*settings_, *provider_, [this] { showSettings(SettingsPane::general); });
            watchActivation(*welcome_);
            add_window(*welcome_);
            welcome_->signal_hide().connect([this] {
                delete welcome_;
                welcome_ = nullptr;
            });
        }
        welcome_->present();
    }

    // Coming back to a window is when a person expects it to be current.
    void watchActivation(Gtk::Window& window) {
        window.property_is_active().signal_changed().connect([this, &window] {
            if (!window.is_active()) return;
            settings_->reloadIfChanged();
            provider_->refresh();
        });
    }

    void refreshWindows() {
        if (settingsWindow_) settingsWindow_->refresh();
        if (welcome_) welcome_->refresh();
    }

    std::string statusFile_;
    std::unique_ptr<SharedSettings> settings_;
    std::unique_ptr<StatusProvider> provider_;
    Glib::RefPtr<Gio::FileMonitor> monitor_;
    SettingsWindow* settingsWindow_ = nullptr;
    WelcomeWindow* welcome_ = nullptr;
};

}  // namespace

}  // namespace tessaline::prefs::ui

int main(int argc, char** argv) {
    using namespace tessaline::prefs::ui;
    std::string error;
    const auto request = parseArguments(std::vector<std::string>(argv, argv + argc), error);
    if (!request) {
        std::cerr << error << "\n" << usage;
        return 2;
    }
    if (request->help) {
        std::cout << usage;
        return 0;
    }
    // Without a session bus there is no way to find a running instance; GLib
    // then runs this one on its own, which is worth saying.
    Gio::init();
    try {
        Gio::DBus::Connection::get_sync(Gio::DBus::BusType::SESSION);
    } catch (const Glib::Error& e) {
        std::cerr << "tessaline-settings: no D-Bus session bus (" << e.what()
                  << "); running on its own, so another start opens another window.\n";
    }
    auto app = Glib::make_refptr_for_instance<SettingsApp>(new SettingsApp(request->statusFile));
    return app->run(argc, argv);
}
