// The status icon over a private session bus: the test plays the panel (the
// tray host reading the icon and its menu) and, later, the watcher the icon
// registers with.

#include "BusPanel.h"
#include "TestLoop.h"

#include "app/shell/StatusItem.h"
#include "app/shell/StatusWire.h"
#include "engine/log/Log.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tessaline::shell {
namespace {

using namespace bustest;

int logged(std::string_view text) {
    int count = 0;
    for (const auto& record : LogStore::shared().records()) count += record.message.find(text) != std::string::npos;
    return count;
}

StatusModel model(bool running, int tiled) {
    // Arrow keys have fixed names; letters would need a keyboard layout.
    const Bindings bindings{{"toggleTiling", {{123, KeyCombo::ctrlOpt}}}, {"overview", {{126, KeyCombo::ctrlOpt}}}};
    return statusModel({.managesDisplay = true, .running = running, .tiledCount = tiled, .bindings = bindings});
}

// The rest of the menu is read over the bus below.
TEST(StatusModel, TheIconAndTheFirstEntriesSayWhetherTilingRunsAndWhetherTheDisplayIsManaged) {
    struct Case {
        bool managesDisplay, running;
        StatusIcon icon;
        const char* first;
        const char* toggle;
    };
    const Case cases[] = {
        {true, true, StatusIcon::tiling, "Tiling 1 window", "Pause Tiling"},
        {true, false, StatusIcon::paused, "Paused", "Resume Tiling"},
        {false, true, StatusIcon::needsDisplay, "Not managing the display", "How to Start Tessaline…"},
    };
    for (const Case& c : cases) {
        const StatusModel model =
            statusModel({.managesDisplay = c.managesDisplay, .running = c.running, .tiledCount = 1});
        EXPECT_EQ(model.icon, c.icon) << c.first;
        EXPECT_EQ(model.menu[0].title, c.first);
        EXPECT_FALSE(model.menu[0].enabled) << c.first;
        EXPECT_EQ(model.menu[2].title, c.toggle);
    }
}

class StatusIcon : public ::testing::Test {
protected:
    StatusIcon() {
        LogStore::shared().clear();
        LogStore::shared().setCollectsDebug(true);
    }

    // Builds the item on the loop thread, where it lives.
    std::unique_ptr<StatusItem> makeItem(StatusModel first, StatusItem::Current current = {}) {
        return loop.call([&] {
            return std::make_unique<StatusItem>(
                loop, std::move(first), [this](const std::string& id) { chosen.push_back(id); }, std::move(current));
        });
    }
    // The choices so far: a click is answered once its choice is posted to the loop.
    std::vector<std::string> choices() { return loop.call([&] { return chosen; }); }
    void destroy(std::unique_ptr<StatusItem>& item) { loop.call([&] { item.reset(); }); }

    TestLoop loop;
    std::vector<std::string> chosen;  // on the loop thread
};

TEST(StatusWire, ModelsChoicesAndLogLinesCrossIntactAndAnythingElseIsDropped) {
    StatusModel paused = model(false, 3);
    paused.notice = "the settings file isn't valid JSON: \"line 2\"";
    EXPECT_EQ(decodeStatusModel(encodeStatusModel(paused)), paused);
    for (const StatusReport& report : {StatusReport{StatusChoice{"quit"}},
                                       StatusReport{StatusLogLine{"lifecycle", LogLevel::error, "lost the bus"}}}) {
        EXPECT_EQ(decodeStatusReport(encodeStatusReport(report)), report);
    }
    for (std::string_view bad : {"", "[]", "not json", R"({"icon":7,"menu":[],"notice":""})",
                                 R"({"icon":0,"menu":[{"id":"quit"}],"notice":""})", R"({"icon":0,"notice":""})"}) {
        EXPECT_FALSE(decodeStatusModel(bad)) << bad;
    }
    for (std::string_view bad : {"{}", R"({"choose":3})", R"({"log":"x","category":"c","level":"loud"})"}) {
        EXPECT_FALSE(decodeStatusReport(bad)) << bad;
    }
}

TEST_F(StatusIcon, ShowsTheModelToThePanelReportsChoicesFindsALateTrayHostAndOutlivesTheBus) {
    PrivateBus daemon;
    setenv("DBUS_SESSION_BUS_ADDRESS", daemon.address().c_str(), 1);
    Panel panel(daemon.address());
    std::mutex currentMutex;
    StatusModel current = model(true, 3);
    auto item = makeItem(model(true, 3), [&] {
        std::lock_guard lock(currentMutex);
        return current;
    });
    const std::string service = loop.call([&] { return item->serviceName(); });
    ASSERT_TRUE(panel.seen("NameOwnerChanged " + service));

    for (auto [property, value] : {std::pair{"Category", "ApplicationStatus"}, {"Id", "tessaline"},
                                   {"Title", "Tessaline"}, {"Status", "Active"}}) {
        EXPECT_EQ(panel.text(service, property), value) << property;
    }
    EXPECT_EQ(panel.text(service, "Menu", "o"), "/MenuBar");
    EXPECT_EQ(panel.pixmaps(service), (std::vector<std::string>{"16x16", "22x22", "32x32", "48x48"}));

    auto menu = panel.layout(service);
    EXPECT_EQ(texts(menu), (std::vector<std::string>{
                               "Tiling 3 windows (off)", "—", "Pause Tiling  (⌃⌥←)", "Retile Windows",
                               "Overview  (⌃⌥↑)", "—", "Settings…", "Welcome & Setup…", "About Tessaline",
                               "Check for Updates… (off)", "—", "Quit Tessaline"}));
    EXPECT_EQ(menu[6].shortcut, "Control+comma");
    EXPECT_EQ(menu.back().shortcut, "Control+q");

    // A disabled entry does nothing; an enabled one reaches the manager.
    panel.click(service, idOf(menu, "Check for Updates"));
    panel.click(service, idOf(menu, "Retile Windows"));
    EXPECT_EQ(choices(), std::vector<std::string>{"retile"});

    // No host so far, said once; the host that starts now is told of the icon.
    EXPECT_EQ(logged("no tray host"), 1);
    panel.becomeWatcher();
    ASSERT_TRUE(panel.until([&] { return !panel.items.empty(); }));
    EXPECT_EQ(panel.items, std::vector<std::string>{service});

    // Pausing changes the icon and the menu; a click from the menu drawn
    // before the change lands nowhere rather than on the entry now there.
    loop.call([&] { item->update(model(false, 3)); });
    ASSERT_TRUE(panel.seen("LayoutUpdated") && panel.seen("NewIcon") && panel.seen("NewToolTip"));
    const auto paused = panel.layout(service);
    EXPECT_EQ(paused[0].text, "Paused (off)");
    EXPECT_EQ(paused[2].text, "Resume Tiling  (⌃⌥←)");
    EXPECT_EQ(paused[3].text, "Retile Windows (off)");
    EXPECT_EQ(paused[4].text, "Overview  (⌃⌥↑) (off)");
    panel.click(service, idOf(menu, "Pause Tiling"));
    panel.click(service, idOf(paused, "Resume Tiling"));
    EXPECT_EQ(choices(), (std::vector<std::string>{"retile", "start"}));

    // The menu is read afresh when it opens.
    {
        std::lock_guard lock(currentMutex);
        current = model(true, 1);
    }
    EXPECT_TRUE(panel.aboutToShow(service));
    EXPECT_EQ(panel.layout(service)[0].text, "Tiling 1 window (off)");
    EXPECT_FALSE(panel.aboutToShow(service));

    // The bus going away costs the icon, not the loop.
    daemon.stop();
    loop.call([] {});
    loop.call([&] { item->update(model(true, 2)); });
    EXPECT_EQ(logged("lost the session bus"), 1);
    destroy(item);

    // Without a session bus at all it says so once and carries on.
    LogStore::shared().clear();
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tessaline-bus", 1);
    item = makeItem(model(true, 3));
    loop.call([&] { item->update(model(false, 3)); });
    EXPECT_EQ(logged("no session bus"), 1);
    EXPECT_EQ(logged("status icon"), 1);
    destroy(item);
}

}  // namespace
}  // namespace tessaline::shell
