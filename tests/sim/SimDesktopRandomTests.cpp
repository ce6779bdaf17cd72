// Random sequences of user actions and engine requests, interleaved with
// time: the desktop must never crash, and its answers must keep their shape.

#include <random>

#include "SimTestSupport.h"

using namespace tessaline;
using tessaline::testing::SimDesktopTest;

namespace {

class RandomDesktop : public SimDesktopTest {
protected:
    std::mt19937 rng{20240611};
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    double coord() { return std::uniform_real_distribution<double>(-2000, 4000)(rng); }
    double length() { return std::uniform_real_distribution<double>(-50, 2000)(rng); }

    ProcessID anyPid() {
        auto pids = desk.apps();
        return pids.empty() || pick(8) == 0 ? 999 : pids[pick(static_cast<int>(pids.size()))];
    }
    WindowID anyWindow() {
        auto ids = desk.windowOrder();
        return ids.empty() || pick(8) == 0 ? 12345 : ids[pick(static_cast<int>(ids.size()))];
    }
    WindowHandle anyHandle(WindowID id) { return pick(10) == 0 ? WindowHandle{} : desk.handleOf(id); }
};

}  // namespace

TEST_F(RandomDesktop, AnySequenceOfOperationsIsSafe) {
    int answers = 0, asked = 0;
    writer->onResize = [&](WindowID, Size, Size) {};
    writer->onApplied = [] {};
    for (int step = 0; step < 4000; ++step) {
        const ProcessID pid = anyPid();
        const WindowID id = anyWindow();
        const WindowHandle handle = anyHandle(id);
        const Rect frame{coord(), coord(), length(), length()};
        switch (pick(34)) {
            case 0: case 1: {
                AppSpec desc;
                desc.latency = pick(4) * 0.05;
                desc.launchTime = pick(3) == 0 ? 0.4 : 0;
                desk.launchApp(desc);
                break;
            }
            case 2: desk.quitApp(pid); break;
            case 3: case 4: case 5:
                desk.openWindow({.pid = pid, .frame = frame, .kind = static_cast<WindowKind>(pick(3)),
                                 .minSize = {static_cast<double>(pick(3) * 300), 0}});
                break;
            case 6: desk.closeWindow(id); break;
            case 7: desk.minimize(id); break;
            case 8: desk.restore(id); break;
            case 9: desk.setFullScreen(id, pick(2) == 0); break;
            case 10: desk.setFrame(id, frame); break;
            case 11: desk.setHung(pid, pick(3) == 0); break;
            case 12: desk.hideApp(pid); break;
            case 13: desk.showApp(pid); break;
            case 14: desk.focusWindow(id); break;
            case 15: {
                auto displays = desk.displays();
                if (pick(3) == 0 && !displays.empty()) desk.removeDisplay(displays[pick(static_cast<int>(displays.size()))].uuid);
                else if (displays.size() < 3) desk.addDisplay({coord(), coord(), 1200, 800});
                break;
            }
            case 16: {
                auto displays = desk.displays();
                if (displays.empty()) break;
                const std::string uuid = displays[pick(static_cast<int>(displays.size()))].uuid;
                auto spaces = desk.spacesOn(uuid);
                if (pick(2) == 0) desk.addSpace(uuid);
                else desk.switchSpace(uuid, spaces[pick(static_cast<int>(spaces.size()))]);
                if (pick(2) == 0) desk.moveToSpace(id, spaces[pick(static_cast<int>(spaces.size()))]);
                break;
            }
            case 17: ++asked, system->connect(pid, [&](auto) { ++answers; }); break;
            case 18: system->disconnect(pid); break;
            case 19: ++asked, system->windows(pid, [&](auto) { ++answers; }); break;
            case 20: system->watch(handle, pid); break;
            case 21: ++asked, system->facts(handle, pid, [&](auto) { ++answers; }); break;
            case 22: ++asked, system->frame(handle, pid, [&](auto) { ++answers; }); break;
            case 23: ++asked, system->focusedWindow(pid, [&](auto, auto) { ++answers; }); break;
            case 24: system->raise(handle, pid); break;
            case 25: system->setFrame(handle, pid, frame); break;
            case 26: system->focus(id, pid); break;
            case 27: case 28: writer->write(id, pid, handle, frame, pick(2) == 0); break;
            case 29: writer->drain(); break;
            case 30: system->releaseAll({{handle, pid, frame}}, 1.5); break;
            case 31: input->pressButton(pick(2)); break;
            case 32: input->releaseButton(pick(2)); break;
            default: desk.advance(pick(4) * 0.07); break;
        }
        if (step % 500 == 0) {
            system->stop();
            system->start([this](const SystemEvent& e) { events.push_back(e); });
        }
        if (events.size() > 1000) events.clear();
    }
    // Give every question time to be answered: each is answered exactly once.
    for (ProcessID pid : desk.apps()) desk.setHung(pid, false);
    desk.advance(600);
    EXPECT_EQ(answers, asked);
    for (WindowID id : desk.windowOrder()) {
        const SimWindow* w = desk.window(id);
        ASSERT_TRUE(w);
        EXPECT_TRUE(w->frame.width >= w->minSize.width && w->frame.height >= 1);
        EXPECT_TRUE(desk.app(w->pid));  // no window outlives its application
    }
}
