// The pieces of the X11 backend that need no X server: size hints, struts,
// the choice of monitors, and the loop with its scheduler.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/x11/EventLoop.h"
#include "platform/x11/X11Client.h"
#include "platform/x11/X11Monitors.h"
#include "platform/x11/X11Scheduler.h"

using namespace tessaline;

namespace {

// WM_NORMAL_HINTS as a client writes them: flags, then the eighteen fields.
std::vector<std::uint32_t> hints(std::uint32_t flags, Size min, Size max, Size inc, Size base) {
    std::vector<std::uint32_t> v(18, 0);
    v[0] = flags;
    v[5] = static_cast<std::uint32_t>(min.width), v[6] = static_cast<std::uint32_t>(min.height);
    v[7] = static_cast<std::uint32_t>(max.width), v[8] = static_cast<std::uint32_t>(max.height);
    v[9] = static_cast<std::uint32_t>(inc.width), v[10] = static_cast<std::uint32_t>(inc.height);
    v[15] = static_cast<std::uint32_t>(base.width), v[16] = static_cast<std::uint32_t>(base.height);
    return v;
}

constexpr std::uint32_t kMin = 16, kMax = 32, kInc = 64, kBase = 256;

MonitorInfo monitor(std::string name, Rect frame, std::string uuid = {}) {
    MonitorInfo m;
    m.uuid = uuid.empty() ? "monitor-" + name : uuid;
    m.name = std::move(name);
    m.frame = frame;
    return m;
}

}  // namespace

TEST(SizeHints, BendSizesTheWayTheClientAsked) {
    struct Case {
        const char* what;
        std::vector<std::uint32_t> hints;
        Size asked;
        Size got;
        bool fixed;
    };
    const Case cases[] = {
        {"no hints", {}, {785, 880}, {785, 880}, false},
        {"minimum", hints(kMin, {500, 400}, {}, {}, {}), {300, 880}, {500, 880}, false},
        {"maximum", hints(kMax, {}, {600, 500}, {}, {}), {785, 880}, {600, 500}, false},
        {"cells from the base", hints(kInc | kBase, {}, {}, {6, 13}, {4, 4}), {785, 880}, {784, 875}, false},
        {"cells from the minimum", hints(kInc | kMin, {10, 10}, {}, {6, 13}, {}), {785, 880}, {784, 868}, false},
        {"min equal to max", hints(kMin | kMax, {400, 300}, {400, 300}, {}, {}), {785, 880}, {400, 300}, true},
        {"absurd maximum below minimum", hints(kMin | kMax, {400, 300}, {10, 10}, {}, {}), {785, 880}, {400, 300},
         true},
        {"negative minimum", hints(kMin, {static_cast<double>(0xFFFFFF00u), 0}, {}, {}, {}), {785, 880},
         {785, 880}, false},
    };
    for (const Case& c : cases) {
        const SizeHints parsed = SizeHints::parse(c.hints);
        EXPECT_EQ(parsed.constrain(c.asked), c.got) << c.what;
        EXPECT_EQ(parsed.fixed(), c.fixed) << c.what;
    }
}

TEST(Struts, TakeTheirBandOffOnlyTheMonitorsTheyReach) {
    const Size screen{3840, 1080};
    const Rect left{0, 0, 1920, 1080}, right{1920, 0, 1920, 1080};
    const auto top = [](std::uint32_t height, std::uint32_t from, std::uint32_t to) {
        Strut s;
        s.values = {0, 0, height, 0, 0, 0, 0, 0, from, to, 0, 0};
        return s;
    };
    Strut bottomEverywhere;
    bottomEverywhere.values = {0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 3839};
    Strut swallowing;  // a left band wider than the left monitor: meant for the right one
    swallowing.values = {1950, 0, 0, 0, 0, 1079, 0, 0, 0, 0, 0, 0};
    struct Case {
        const char* what;
        std::vector<Strut> struts;
        Rect monitor;
        Rect visible;
    };
    const Case cases[] = {
        {"none", {}, left, left},
        {"top bar on the left monitor", {top(30, 0, 1919)}, left, {0, 30, 1920, 1050}},
        {"top bar on the left monitor, seen from the right", {top(30, 0, 1919)}, right, right},
        {"bottom bar across both", {bottomEverywhere}, right, {1920, 0, 1920, 1040}},
        {"two bars", {top(30, 0, 1919), bottomEverywhere}, left, {0, 30, 1920, 1010}},
        {"band swallowing a monitor", {swallowing}, left, left},
        {"band swallowing a monitor, seen from the next", {swallowing}, right, {1950, 0, 1890, 1080}},
    };
    for (const Case& c : cases) EXPECT_EQ(visibleArea(c.monitor, screen, c.struts), c.visible) << c.what;
}

TEST(Monitors, PrimaryComesFirstAndContainersClonesAndSharedNamesAreSortedOut) {
    MonitorInfo automatic = monitor("screen", {0, 0, 3840, 1080}, "output-screen");
    MonitorInfo a = monitor("A", {0, 0, 1920, 1080}, "output-screen");
    MonitorInfo b = monitor("B", {1920, 0, 1920, 1080});
    b.primary = true;
    MonitorInfo clone = monitor("clone", {1920, 0, 1920, 1080}, "edid-1");
    const std::vector<MonitorInfo> kept = arrangeMonitors({automatic, a, clone, b});
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].name, "B") << "the primary first; the clone behind it is left out";
    EXPECT_EQ(kept[1].name, "A") << "the automatic monitor around A and B is left out";
    EXPECT_TRUE(kept[0].primary && !kept[1].primary);
    EXPECT_EQ(kept[1].uuid, "output-screen") << "unique once the container is gone";

    const std::vector<MonitorInfo> split = arrangeMonitors({a, monitor("A2", {1920, 0, 1920, 1080}, "output-screen")});
    EXPECT_EQ(split[0].uuid, "monitor-A");
    EXPECT_EQ(split[1].uuid, "monitor-A2");
    EXPECT_NE(edidIdentifier(std::vector<std::uint8_t>(128, 1)), edidIdentifier(std::vector<std::uint8_t>(128, 2)));
}

TEST(EventLoop, RunsTimersInOrderPostsFromOtherThreadsAndFramesOnlyWhileAsked) {
    EventLoop loop;
    X11Scheduler scheduler(loop);
    std::vector<std::string> order;
    int ticks = 0, repeats = 0;
    // Ends once everything has run, and a little later still, so that a tick or
    // a repeat that should have stopped shows; a busy machine only delays it.
    bool ending = false;
    const auto endWhenDone = [&] {
        if (ending || order.size() < 3 || ticks < 3 || repeats < 2) return;
        ending = true;
        scheduler.after(0.05, [&] { loop.quit(); });
    };
    scheduler.after(0.02, [&] {
        order.push_back("late");
        endWhenDone();
    });
    scheduler.after(0.01, [&] { order.push_back("early"); });
    auto cancelled = scheduler.after(0.005, [&] { order.push_back("cancelled"); });
    cancelled->cancel();
    std::thread worker([&] { loop.post([&] { order.push_back("posted"); }); });
    worker.join();

    std::shared_ptr<ScheduledTask> frames;
    frames = scheduler.frames([&] {
        // Cancelled from inside its own run: no further tick.
        if (++ticks == 3) frames->cancel();
        endWhenDone();
    });
    std::shared_ptr<ScheduledTask> every;
    every = scheduler.every(0.001, [&] {
        if (++repeats == 2) every->cancel();
        endWhenDone();
    });
    scheduler.after(10, [&] { loop.quit(); });  // only when something never ran
    loop.run();

    EXPECT_EQ(order, (std::vector<std::string>{"posted", "early", "late"}));
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(repeats, 2);
}
