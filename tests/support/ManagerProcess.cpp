#include "ManagerProcess.h"

#include "Spawn.h"

#include <xcb/xfixes.h>

#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#ifndef TESSALINE_EXECUTABLE_PATH
#define TESSALINE_EXECUTABLE_PATH ""
#endif

namespace tessaline::xtest {

namespace fs = std::filesystem;

namespace {

std::string withHome(std::string text, const fs::path& home) {
    const std::string marker = "${HOME}";
    for (size_t at; (at = text.find(marker)) != std::string::npos;) text.replace(at, marker.size(), home.string());
    return text;
}

fs::path makePrivateHome() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaline-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw HarnessError("cannot make a temporary HOME");
    fs::path home(pattern);
    for (const char* dir : {".config", ".local/share", ".cache", "runtime"}) fs::create_directories(home / dir);
    fs::permissions(home / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    return home;
}

uint8_t xfixesFirstEvent(Connection& c) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c.get(), &xcb_xfixes_id);
    if (!ext || !ext->present) throw HarnessError("the X server lacks XFixes");
    return ext->first_event;
}

std::string describe(const ManagerProcess::Exit& e) {
    return e.signal ? "killed by signal " + std::to_string(e.signal) : "exit status " + std::to_string(e.code);
}

}  // namespace

std::string ManagerOptions::tessalineExecutable() {
    std::string path = TESSALINE_EXECUTABLE_PATH;
    if (const char* env = std::getenv("TESSALINE_EXECUTABLE")) path = env;
    return !path.empty() && access(path.c_str(), X_OK) == 0 ? path : std::string();
}

ManagerOptions ManagerOptions::tessaline(const std::string& config, std::vector<std::string> extraArgs) {
    ManagerOptions o;
    o.program = tessalineExecutable();
    o.args = {"--exit-on-x-error"};
    o.args.insert(o.args.end(), extraArgs.begin(), extraArgs.end());
    if (!config.empty()) o.files = {{".config/tessaline/settings.json", R"({"config":)" + config + "}"}};
    // No settings or welcome window opens among the test's windows.
    o.environment = {{"TESSALINE_SETTINGS_PROGRAM", ""}};
    return o;
}

ManagerOptions ManagerOptions::i3() {
    ManagerOptions o;
    o.program = "i3";
    o.args = {"-c", "${HOME}/.config/i3/config"};
    o.syncAtom = "I3_SYNC";
    o.confirmWithSync = true;
    o.files = {{".config/i3/config",
                "# i3 config file (v4)\n"
                // Xvfb's built-in core font: no font package needed.
                "font fixed\n"
                "focus_follows_mouse no\n"}};
    return o;
}

ManagerOptions ManagerOptions::bspwm() {
    ManagerOptions o;
    o.program = "bspwm";
    o.args = {"-c", "${HOME}/.config/bspwm/bspwmrc"};
    o.syncAtom.clear();
    o.ownsSelection = false;
    o.environment = {{"BSPWM_SOCKET", "${HOME}/runtime/bspwm-socket"}};
    // Without desktops bspwm manages nothing; the rc file runs after it starts,
    // so readiness waits for the desktops it makes.
    o.files = {{".config/bspwm/bspwmrc",
                "#!/bin/sh\n"
                "for m in $(bspc query -M); do bspc monitor \"$m\" -d one two three; done\n"}};
    o.readyProperty = "_NET_DESKTOP_NAMES";
    o.readyWhen = [](Connection& c) {
        auto names = c.propertyText(c.root(), c.atom("_NET_DESKTOP_NAMES"));
        return names && names->find("one") != std::string::npos;
    };
    return o;
}

ManagerProcess::ManagerProcess(ManagerOptions options, XServer& server)
    : options_(std::move(options)), server_(server), control_(server.display()), home_(makePrivateHome()) {
    xcb_connection_t* c = control_.get();
    syncWindow_ = xcb_generate_id(c);
    // The answer reaches us whether the manager sends it with no event mask (to
    // the window's creator) or with StructureNotify.
    const uint32_t attributes[] = {1, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, 0, syncWindow_, control_.root(), -10, -10, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, attributes);
    const uint32_t rootMask[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_change_window_attributes(c, control_.root(), XCB_CW_EVENT_MASK, rootMask);
    free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    xcb_xfixes_select_selection_input(c, control_.root(), control_.atom("WM_S0"),
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    control_.roundTrip();
}

ManagerProcess::~ManagerProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        unwatch(pidfd_);
        ::close(pidfd_);
    }
    if (!std::getenv("TESSALINE_KEEP_TEST_HOME")) {
        std::error_code ignored;
        fs::remove_all(home_, ignored);
    }
}

void ManagerProcess::launch() {
    if (pid_ > 0) throw HarnessError(options_.program + " is already running");
    if (options_.program.empty()) throw HarnessError("the tessaline executable has not been built");
    for (const auto& [name, text] : options_.files) {
        const fs::path path = home_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << withHome(text, home_);
        if (text.starts_with("#!")) fs::permissions(path, fs::perms::owner_exec, fs::perm_options::add);
    }
    std::vector<std::string> argv{options_.program};
    for (const auto& a : options_.args) argv.push_back(withHome(a, home_));
    std::vector<std::pair<std::string, std::string>> env{
        {"DISPLAY", server_.display()},
        {"HOME", home_.string()},
        {"XDG_CONFIG_HOME", (home_ / ".config").string()},
        {"XDG_DATA_HOME", (home_ / ".local/share").string()},
        {"XDG_CACHE_HOME", (home_ / ".cache").string()},
        {"XDG_RUNTIME_DIR", (home_ / "runtime").string()},
    };
    for (const auto& [name, value] : options_.environment) env.emplace_back(name, withHome(value, home_));

    exited_ = false;
    exit_ = {};
    pid_ = spawn({.argv = argv, .environment = environmentWith(env), .output = (home_ / "stderr.log").string()});
    pidfd_ = int(syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0) throw HarnessError("pidfd_open failed");
    watch(pidfd_, [this] { reap(); });
}

void ManagerProcess::reap() {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return;
    exit_ = WIFEXITED(status) ? Exit{WEXITSTATUS(status), 0} : Exit{-1, WTERMSIG(status)};
    exited_ = true;
    unwatch(pidfd_);
    ::close(pidfd_);
    pidfd_ = -1;
    pid_ = -1;
}

void ManagerProcess::checkRunning(std::string_view what) {
    if (exited_)
        throw HarnessError(options_.program + " quit (" + describe(exit_) + ") while the test waited for " +
                           std::string(what) + "; its output:\n" + stderrText());
}

void ManagerProcess::start() {
    xcb_connection_t* c = control_.get();
    const xcb_atom_t wmS0 = control_.atom("WM_S0"), check = control_.atom("_NET_SUPPORTING_WM_CHECK");
    // A manager replacing another is ready only once the other has let go.
    auto* ownerReply = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, wmS0), nullptr);
    const xcb_window_t previous = ownerReply ? ownerReply->owner : XCB_NONE;
    free(ownerReply);
    if (previous != XCB_NONE) {
        const uint32_t mask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_change_window_attributes(c, previous, XCB_CW_EVENT_MASK, mask);
    }
    control_.roundTrip();
    control_.pump();
    control_.dropEvents();
    launch();
    const uint8_t selectionNotify = xfixesFirstEvent(control_) + XCB_XFIXES_SELECTION_NOTIFY;
    bool owner = !options_.ownsSelection, checkSet = false, previousGone = previous == XCB_NONE;
    const xcb_atom_t readyProperty = options_.readyProperty.empty() ? xcb_atom_t(XCB_ATOM_NONE) : control_.atom(options_.readyProperty);
    bool readyPropertySet = readyProperty == XCB_ATOM_NONE;
    // Both are events, not values: a manager started after a crash may reuse the
    // ids of the one before, so an unchanged value proves nothing.
    auto announced = [&] {
        checkRunning("it to manage the screen");
        while (Event e = control_.take([](const xcb_generic_event_t&) { return true; })) {
            if (e->response_type == selectionNotify) {
                auto* n = reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(e.get());
                if (n->selection == wmS0 && n->owner != XCB_NONE && n->owner != previous) owner = true;
            } else if (eventType(*e) == XCB_PROPERTY_NOTIFY) {
                auto* n = reinterpret_cast<xcb_property_notify_event_t*>(e.get());
                if (n->atom == check && n->state == XCB_PROPERTY_NEW_VALUE) checkSet = true;
                if (n->atom == readyProperty && n->state == XCB_PROPERTY_NEW_VALUE) readyPropertySet = true;
            } else if (eventType(*e) == XCB_DESTROY_NOTIFY) {
                if (reinterpret_cast<xcb_destroy_notify_event_t*>(e.get())->window == previous) previousGone = true;
            }
        }
        return owner && checkSet && previousGone && readyPropertySet &&
               (!options_.readyWhen || options_.readyWhen(control_));
    };
    waitFor(options_.program + " to manage the screen", announced);
    // Tessaline announces itself only once it redirects the root's children; i3
    // sets the check a moment before. Nothing tells when a client's event mask
    // changes, so this last step asks the server until the redirect is there.
    waitFor(options_.program + " to redirect the root window", [&] {
        auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, control_.root()), nullptr);
        const bool redirected = a && (a->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
        free(a);
        checkRunning("it to redirect the root window");
        return redirected;
    }, waitLimit(), std::chrono::milliseconds(1));
    if (options_.confirmWithSync) {
        const auto deadline = std::chrono::steady_clock::now() + waitLimit();
        while (!trySync(std::chrono::milliseconds(100)))
            if (std::chrono::steady_clock::now() > deadline)
                throw HarnessError(options_.program + " never answered a sync after it started");
    }
}

ManagerProcess::Exit ManagerProcess::startExpectingExit() {
    launch();
    return waitForExit("it to quit by itself");
}

void ManagerProcess::sync() {
    if (options_.syncAtom.empty()) throw HarnessError(options_.program + " has no sync protocol");
    if (!trySync(waitLimit()))
        throw HarnessError("timed out after " + std::to_string(waitLimit().count()) + " ms waiting for " +
                           options_.program + "'s answer to " + options_.syncAtom);
}

bool ManagerProcess::trySync(std::chrono::milliseconds limit) {
    checkRunning("a sync");
    roundTripAll();
    static std::mt19937 random{std::random_device{}()};
    const uint32_t cookie = random();
    const xcb_atom_t type = control_.atom(options_.syncAtom);
    control_.sendToRoot(syncWindow_, options_.syncAtom, {syncWindow_, cookie});
    return waitUntil([&] {
        Event answer = control_.take([&](const xcb_generic_event_t& e) {
            if (eventType(e) != XCB_CLIENT_MESSAGE) return false;
            auto& m = reinterpret_cast<const xcb_client_message_event_t&>(e);
            return m.type == type && m.data.data32[1] == cookie;
        });
        if (!answer) checkRunning("a sync answer");
        return answer != nullptr;
    }, limit);
}

ManagerProcess::Exit ManagerProcess::waitForExit(std::string_view what) {
    waitFor(options_.program + " " + std::string(what), [&] { return exited_; });
    return exit_;
}

ManagerProcess::Exit ManagerProcess::stop() { return end(SIGTERM, "to quit after SIGTERM"); }

ManagerProcess::Exit ManagerProcess::kill() { return end(SIGKILL, "to die of SIGKILL"); }

ManagerProcess::Exit ManagerProcess::end(int signal, std::string_view what) {
    if (pid_ <= 0) throw HarnessError(options_.program + " is not running");
    ::kill(pid_, signal);
    return waitForExit(what);
}

void ManagerProcess::restart() {
    Exit e = stop();
    if (e != Exit{0, 0}) throw HarnessError(options_.program + " stopped with " + describe(e));
    start();
}

ManagerProcess::Ran ManagerProcess::run(std::vector<std::string> arguments) {
    const fs::path output = home_ / "command.out";
    fs::remove(output);  // the child appends to it
    arguments.insert(arguments.begin(), ManagerOptions::tessalineExecutable());
    const pid_t pid = spawn({.argv = arguments,
                             .environment = environmentWith({{"DISPLAY", server_.display()},
                                                             {"XDG_RUNTIME_DIR", (home_ / "runtime").string()}}),
                             .output = output.string()});
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(output)};
}

std::string ManagerProcess::command(const std::string& word) {
    const Ran ran = run({word});
    if (ran.status != 0) throw HarnessError("tessaline " + word + " failed: " + ran.output);
    sync();
    return ran.output;
}

std::string ManagerProcess::stderrText() const { return readFile(home_ / "stderr.log"); }

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace tessaline::xtest
