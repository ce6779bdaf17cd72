#include "app/ManagerApp.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "app/InputWiring.h"
#include "app/OverlayWiring.h"
#include "app/SettingsLink.h"
#include "app/LoopBridge.h"
#include "app/StatusWiring.h"
#include "app/X11Machine.h"
#include "app/shell/CommandCenter.h"
#include "app/shell/CommandServer.h"
#include "app/shell/MachineFacts.h"
#include "app/shell/ManagerSide.h"
#include "engine/log/Log.h"
#include "engine/session/SessionStore.h"
#include "engine/settings/Defaults.h"
#include "engine/settings/Settings.h"
#include "engine/settings/UserFiles.h"
#include "engine/wm/WindowManager.h"
#include "platform/x11/EventLoop.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FrameWriter.h"
#include "platform/x11/X11Scheduler.h"
#include "platform/x11/X11WindowSystem.h"

namespace tessaline {

namespace {

// What a session's ~/.xsession-errors shows: everything above debug level.
void copyLogToStandardError() {
    LogStore::shared().setSink([](const LogRecord& record) {
        if (record.level == LogLevel::debug) return;
        std::fprintf(stderr, "tessaline: %s%s: %s\n", record.level == LogLevel::error ? "error: " : "",
                     record.category.c_str(), record.message.c_str());
    });
}

void notice(std::string_view message) {
    LogStore::shared().add(Log::lifecycle.category(), LogLevel::defaultLevel, std::string(message));
}

// The stop signals arrive through a descriptor the loop watches, so that
// stopping runs on the loop thread like everything else. Blocked before any
// thread starts, so that no thread takes them the old way.
int blockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

}  // namespace

int runManager(const ManagerOptions& options) {
    copyLogToStandardError();
    const int stopSignals = blockStopSignals();

    std::string problem;
    std::unique_ptr<X11Connection> x = X11Connection::open(options.display, problem);
    if (!x) {
        std::fprintf(stderr, "tessaline: %s\n", problem.c_str());
        return 1;
    }
    x->setExitOnError(options.exitOnXError);

    EventLoop loop;
    X11Scheduler scheduler(loop);
    X11WindowSystem system(*x, loop, scheduler);
    X11FrameWriter writer(system, loop);
    if (auto refused = system.manageScreen(options.replace)) {
        std::fprintf(stderr, "tessaline: %s\n", refused->c_str());
        return 1;
    }

    // The settings file, watched: every change reaches the manager (connected below).
    SettingsLink settingsLink(loop, scheduler);
    Settings& settings = settingsLink.settings();
    SessionStore session(SessionStore::defaultURL(), scheduler);
    InputWiring input(*x, system, scheduler);
    OverlayWiring overlays(*x, loop, scheduler);
    std::shared_ptr<WindowManager> manager = WindowManager::create(settings.config(), system, writer, input.source(),
                                                                   scheduler, overlays.presenter(), session,
                                                                   settingsLink.defaults());
    input.attach(manager, settingsLink);
    // The panels hold Escape and read the modifiers through the input, and
    // their own clicks are no MouseDown for the engine.
    overlays.useInput([&input] { return input.modifiers(); },
                      [&input](std::function<void()> handler) { input.registerEscape(std::move(handler)); },
                      [&input] { input.releaseEscape(); });
    input.ignoreClicksWhere([&overlays](Point point) { return overlays.takesClick(point); });
    overlays.attach(manager);

    // The command line reaches the manager through a private socket.
    LoopBridge loopAccess(loop);
    shell::WindowManagerSide managerSide(manager);
    shell::ShellSide baseShell;
    InputShellSide inputSide(baseShell, input);
    OverlayShellSide shellSide(overlays, inputSide);
    X11Machine machine(*x, system, [&input] { return input.gestureTouchpad(); });
    shell::CommandCenter commands(managerSide, shellSide, machine, loopAccess, userCachesDirectory());
    std::string channelProblem;
    std::unique_ptr<shell::CommandServer> channel =
        shell::CommandServer::open(shell::ChannelEnvironment::current(), loopAccess, commands.handler(), channelProblem);
    if (!channel) Log::lifecycle.error([&] { return "no command channel: " + channelProblem; });
    settingsLink.connect(manager, commands, machine, *x);

    bool lost = false;
    system.onReplaced = [&] {
        notice("another window manager takes over the screen");
        loop.quit();
    };
    system.onConnectionLost = [&] {
        lost = true;
        loop.quit();
    };
    if (stopSignals >= 0) {
        loop.watch(stopSignals, [&] {
            signalfd_siginfo info{};
            if (::read(stopSignals, &info, sizeof info) != sizeof info) return;
            notice(std::string("stopping on ") + strsignal(static_cast<int>(info.ssi_signo)));
            loop.quit();
        });
    }

    manager->start();
    // The status icon, its menu and the welcome window of a first launch.
    auto status = std::make_unique<StatusWiring>(StatusWiring::Parts{
        loop, loopAccess, *manager, managerSide, commands, settings, [&loop] { loop.quit(); }});
    // A settings file that can't be read is said under the icon's status.
    settingsLink.onProblemChanged([&status](const std::optional<std::string>& problem) {
        if (status) status->setNotice(problem.value_or(""));
    });
    loop.run();

    status.reset();
    channel.reset();  // before the command center it calls
    // Saves the session and brings every tiled window back on screen.
    manager->stop();
    overlays.withdraw();
    if (!lost) system.releaseScreen();
    if (stopSignals >= 0) {
        loop.unwatch(stopSignals);
        ::close(stopSignals);
    }
    return lost ? 1 : 0;
}

}  // namespace tessaline
