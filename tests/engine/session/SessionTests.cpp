#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/session/SessionController.h"
#include "engine/session/SessionStore.h"
#include "engine/settings/AtomicFile.h"
#include "tests/engine/Scenario.h"
#include "tests/settings/Files.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

constexpr Rect kSecondFrame{1440, 0, 1920, 1080};
constexpr double kDay = 86'400;

using prefs::testing::readFile;
using prefs::testing::TempFolder;
using prefs::testing::writeFile;

// The base fixture keeps a store without a file; these scenarios give the
// manager a store that writes a real session.json, and can quit and relaunch
// the program around it.
class SessionScenario : public Scenario {
protected:
    SessionScenario() { relaunch(); }
    ~SessionScenario() override { destroyManager(); }  // before the store it writes to
    WindowManager& wm() {
        WindowManager& manager = this->manager();
        manager.session().clock = [this] { return wallClock; };
        return manager;
    }
    SessionController& session() { return wm().session(); }
    void startTiling() {
        wm().start();
        settle();
    }
    // The program stops tiling and exits.
    void quit() {
        wm().stop();
        destroyManager();
        fileStore.reset();
    }
    // A new process: a store of its own on the same file, written inline.
    void relaunch() {
        fileStore = std::make_unique<SessionStore>(file, scheduler(), makeInlineWorker());
        store = fileStore.get();
        store->beforeRename = [this](const fs::path&) {
            writeTimes.push_back(desk.now());
            return true;
        };
    }
    void relayoutEverything() { wm().relayout(wm().activeKeys(), false, WindowManager::ScrollPolicy::reveal, true, false); }
    void arrange(const StripKey& key, const char* text) {
        wm().strips[key] = parseStrip(text);
        relayoutEverything();
        settle();
    }
    // The first saved window of the strip saved for `display`, if any.
    std::optional<SavedStrip> savedFor(const std::string& display) const {
        const auto saved = decodeSession(readFile(file));
        if (saved) {
            for (const SavedStrip& strip : saved->strips)
                if (strip.display == display) return strip;
        }
        return std::nullopt;
    }

    TempFolder folder;
    const fs::path file = folder.path / "Tessaline" / "session.json";
    Timestamp wallClock = 760'000'000;  // a day in 2025, in the file's epoch
    std::vector<double> writeTimes;     // virtual time of every completed write
    std::unique_ptr<SessionStore> fileStore;
};

TEST_F(SessionScenario, TheLayoutComesBackAfterARestartWithNewNumbersAndTitles) {
    for (const auto& [app, title] : {std::pair{"Mail", "Inbox"}, {"Mail", "Draft"}, {"Editor", "main.cpp"},
                                     {"Terminal", "zsh"}, {"Browser", "Docs"}}) {
        openWindow(app, title);
    }
    startTiling();
    arrange(primaryKey(), "[4]:0.3 [1/2* 2/1]t:0.6 [3/1 5/3]:0.4");
    quit();
    // The applications come back with new windows, some under new titles.
    for (WindowID id = 1; id <= 5; ++id) desk.closeWindow(id);
    for (const auto& [app, title] : {std::pair{"Browser", "Docs — Wiki"}, {"Editor", "main.cpp (edited)"},
                                     {"Mail", "Draft"}, {"Terminal", "zsh"}, {"Mail", "Inbox (2 unread)"}}) {
        openWindow(app, title);  // 6 to 10
    }
    relaunch();
    LogStore::shared().clear();
    startTiling();
    EXPECT_EQ(text(primaryKey()), "[9]:0.3 [10/2* 8/1]t:0.6 [7/1 6/3]:0.4");
    EXPECT_TRUE(logged("layout", "restored 5 windows' saved layout"));
    EXPECT_TRUE(session().unseen.empty());  // claimed, so not offered again
}

// A discovery answered after its time-out adopts windows and offers the saved
// layout to every strip seen for the first time, also to strips none of the
// late windows joined; such a strip was rebuilt but never laid out.
TEST_F(SessionScenario, AStripRestoredByALateDiscoveryIsLaidOut) {
    openWindow("Mail", "Inbox");
    openWindow("Mail", "Draft");
    startTiling();
    arrange(primaryKey(), "[1*]:0.3 [2]:0.6");
    quit();
    desk.closeWindow(1);
    desk.closeWindow(2);
    // An application slower than the discovery's time-out, with only a
    // floating window, and the mail windows back in between.
    desk.openWindow(WindowSpec{.pid = app("Slow"), .fixedSize = true});
    desk.setLatency(app("Slow"), 3.0);
    relaunch();
    wm().start();
    desk.advance(2.0);  // the discovery has timed out and laid out what it had
    openWindow("Mail", "Inbox");
    openWindow("Mail", "Draft");
    desk.advance(0.5);
    ASSERT_FALSE(logged("layout", "restored 2 windows' saved layout"));
    settle(5);
    ASSERT_TRUE(logged("layout", "restored 2 windows' saved layout"));
    ASSERT_EQ(text(primaryKey()), "[4]:0.3 [5*]:0.6");
    const auto targets = std::pair{wm().animator.target(4), wm().animator.target(5)};
    relayoutEverything();
    EXPECT_EQ(std::pair(wm().animator.target(4), wm().animator.target(5)), targets);
}

TEST_F(SessionScenario, OldStripsAndSetupsAreDroppedAndUnclaimedOnesKeptUntilALiveStripTakesTheirPlace) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    const SavedColumn browser{0.5, false, {1.0}, {{40, "com.example.Browser", "Docs"}}};
    const auto strip = [&](std::string display, std::optional<Timestamp> seen) {
        return SavedStrip{std::move(display), 1, {browser}, seen};
    };
    const auto setup = [](std::string display, std::optional<Timestamp> seen) {
        return SavedSetup{{std::move(display)}, {}, seen};
    };
    writeFile(file, encodeSession({{strip("MONTH-OLD", wallClock - 31 * kDay), strip("RECENT", wallClock - 29 * kDay),
                                    strip("UNSTAMPED", std::nullopt), {second, desk.currentSpace(second), {browser}, wallClock - kDay}},
                                   {setup("MONTH-OLD", wallClock - 31 * kDay), setup("SEASON-OLD", wallClock - 91 * kDay),
                                    setup("UNSTAMPED", std::nullopt)}}));
    openWindow("Mail", "Inbox");
    startTiling();
    std::vector<std::string> strips, setups;
    for (const SavedStrip& saved : session().unseen) strips.push_back(saved.display);
    for (const SavedSetup& saved : session().setups) setups.push_back(saved.displays.front());
    EXPECT_EQ(strips, (std::vector<std::string>{"RECENT", "UNSTAMPED", second}));
    EXPECT_EQ(setups, (std::vector<std::string>{"MONTH-OLD", "UNSTAMPED"}));

    relayoutEverything();
    settle();
    EXPECT_EQ(savedFor(primary)->columns.front().windows.front().id, 1u);
    EXPECT_EQ(savedFor(second)->columns, std::vector<SavedColumn>{browser});
    EXPECT_TRUE(savedFor("RECENT"));
    // A window now lives on the studio strip: the live strip is written instead.
    openWindow("Terminal", "zsh", {1600, 100, 800, 600});
    settle();
    EXPECT_EQ(savedFor(second)->columns.size(), 1u);
    EXPECT_EQ(savedFor(second)->columns.front().windows.front(), (SavedWindow{2, "com.example.Terminal", "zsh"}));
    EXPECT_TRUE(savedFor("RECENT"));

    // A window without a record is saved with empty names.
    wm().windows.erase(1);
    const SavedSession saved = session().snapshot();
    wm().windows.clear();
    wm().strips.clear();
    EXPECT_EQ(saved.strips.front().columns.front().windows.front(), (SavedWindow{1, "", ""}));
    EXPECT_EQ(saved.strips.front().seen, wallClock);
}

TEST_F(SessionScenario, ABurstOfRelayoutsWritesOnceASecondAfterTheLastAndStoppingWritesAtOnce) {
    openWindow("Mail", "Inbox");
    openWindow("Editor", "notes");
    startTiling();
    settle(3);
    writeTimes.clear();
    for (int i = 0; i < 10; ++i) {
        if (i > 0) desk.advance(0.05);
        relayoutEverything();
    }
    const double last = desk.now();
    desk.advance(0.99);
    EXPECT_TRUE(writeTimes.empty());
    desk.advance(0.02);
    EXPECT_EQ(writeTimes, std::vector<double>{last + SessionStore::saveDelay});
    settle(5);
    EXPECT_EQ(writeTimes.size(), 1u);
    wm().relayout({primaryKey()}, true, WindowManager::ScrollPolicy::keep, false, true);
    EXPECT_FALSE(store->hasPendingSave()) << "following the fingers saves nothing";

    wm().strips[primaryKey()].columns.front().width = 0.75;
    relayoutEverything();
    ASSERT_TRUE(store->hasPendingSave());
    wm().stop();
    EXPECT_EQ(writeTimes.size(), 2u);
    EXPECT_FALSE(store->hasPendingSave());
    EXPECT_DOUBLE_EQ(savedFor(primary)->columns.front().width, 0.75);
    settle(5);
    EXPECT_EQ(writeTimes.size(), 2u);

    // A save that fires after its manager is gone must not write an empty
    // layout over the good one.
    startTiling();
    const std::string before = readFile(file);
    relayoutEverything();
    ASSERT_TRUE(store->hasPendingSave());
    quit();  // drops the store's pending save with it
    relaunch();
    settle(5);
    EXPECT_EQ(readFile(file), before);
}

TEST_F(SessionScenario, ReplugPutsWindowsBackInTheirColumnsOnTheirDisplay) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    for (double x : {100, 300, 1600, 1700, 1800}) openWindow("Editor", "", {x, 100, 600, 600});
    startTiling();
    arrange(keyOf(second), "[3*]:0.7 [4/1 5/2]:0.4");
    const std::string home = text(primaryKey());
    desk.removeDisplay(second);
    settle();
    ASSERT_EQ(wm().strips[primaryKey()].windows().size(), 5u);
    DisplaySpec studio;
    studio.name = "Studio";
    studio.frame = kSecondFrame;
    studio.uuid = second;
    desk.addDisplay(studio);
    settle();
    EXPECT_EQ(text(keyOf(second)), "[3*]:0.7 [4/1 5/2]:0.4");
    EXPECT_EQ(text(primaryKey()), home);
    for (const WindowID id : {3, 4, 5}) {
        EXPECT_EQ(wm().windows.at(id)->key, keyOf(second));
        EXPECT_GE(frameOf(id)->minX(), kSecondFrame.minX());
    }
    EXPECT_TRUE(logged("spaces", "put windows back the way they were with Built-in, Studio"));
}

TEST_F(SessionScenario, ADamagedOrUnreadableFileStartsEmptyAndIsReplacedByTheNextSave) {
    const WindowID mail = openWindow("Mail", "Inbox");
    const std::string good =
        encodeSession({{{primary, 1, {{0.5, false, {1.0}, {{mail, "com.example.Mail", "Inbox"}}}}, wallClock}}, {}});
    for (const std::string& damaged : {std::string(), good.substr(0, good.size() / 2), std::string("session? what session"),
                                    std::string("\x00\xff\xfe{\x01", 5), std::string("[1, 2, 3]"),
                                    std::string(R"({"strips": [{"display": "X"}]})")}) {
        writeFile(file, damaged);
        startTiling();
        EXPECT_TRUE(session().unseen.empty() && session().setups.empty()) << damaged;
        EXPECT_EQ(text(primaryKey()), "[1*]");
        relayoutEverything();
        settle();
        EXPECT_EQ(savedFor(primary)->columns.front().windows.front().id, mail) << damaged;
        quit();
        relaunch();
    }
    fs::remove(file);
    fs::create_directories(file);  // a folder where the file should be: saves fail quietly
    startTiling();
    EXPECT_TRUE(session().unseen.empty());
    relayoutEverything();
    settle();
    quit();
    EXPECT_TRUE(fs::is_directory(file));
}

// The writer is stopped between the finished temporary file and the rename,
// as a crash at that moment would stop it.
TEST_F(SessionScenario, AWriteInterruptedBeforeTheRenameLeavesTheOldFileWhole) {
    openWindow("Mail", "Inbox");
    openWindow("Editor", "notes");
    startTiling();
    const std::string before = readFile(file);
    ASSERT_TRUE(decodeSession(before));
    int interrupted = 0;
    store->beforeRename = [&](const fs::path& temporary) {
        ++interrupted;
        EXPECT_EQ(temporary.parent_path(), file.parent_path());
        EXPECT_TRUE(decodeSession(readFile(temporary)));  // the new file is whole...
        EXPECT_EQ(readFile(file), before);                // ...and the old one untouched
        fs::copy_file(temporary, file.parent_path() / ".session.json.stray");
        return false;
    };
    wm().strips[primaryKey()].columns.front().width = 0.8;
    wm().stop();
    ASSERT_EQ(interrupted, 1);
    EXPECT_EQ(readFile(file), before);
    // The next run reads the old layout, ignores the stray temporary file,
    // and its first save goes through.
    quit();
    relaunch();
    startTiling();
    EXPECT_EQ(text(primaryKey()), "[1*] [2]");
    wallClock += 60;
    relayoutEverything();
    settle();
    EXPECT_EQ(savedFor(primary)->seen, wallClock);
}

TEST(SessionFile, TheThreadedStoreWritesInOrderAndASaveNowLandsAfterAQueuedSave) {
    auto worker = makeThreadWorker();
    std::vector<int> done;
    for (int i = 0; i < 200; ++i) worker->submit([&done, i] { done.push_back(i); });
    worker->submit([] { throw std::runtime_error("a failed write"); });
    worker->submit([&done] { done.push_back(200); });
    worker->wait();
    ASSERT_EQ(done.size(), 201u);
    for (int i = 0; i <= 200; ++i) EXPECT_EQ(done[static_cast<std::size_t>(i)], i);

    TempFolder folder;
    SimScheduler scheduler;
    const fs::path file = folder.path / "deep" / "Tessaline" / "session.json";
    SessionStore store(file, scheduler, makeThreadWorker());
    EXPECT_TRUE(fs::is_directory(file.parent_path()));
    EXPECT_FALSE(store.read());
    const SavedSession first{{{"A", 1, {}, 1.0}}, {}};
    const SavedSession second{{{"B", 2, {}, 2.0}}, {}};
    store.scheduleSave([&] { return first; });
    scheduler.advance(SessionStore::saveDelay);
    EXPECT_FALSE(store.hasPendingSave());
    store.saveNow(second);
    EXPECT_EQ(store.read(), second);
}

TEST(SessionFile, TheDefaultLocationFollowsTheDataHome) {
    const auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto data = saved("XDG_DATA_HOME"), home = saved("HOME");
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(SessionStore::defaultURL(), fs::path("/data/home/Tessaline/session.json"));
    // A relative data home would depend on where the program was started.
    ::setenv("XDG_DATA_HOME", "relative/path", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(SessionStore::defaultURL(), fs::path("/home/someone/.local/share/Tessaline/session.json"));
    for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", data}, {"HOME", home}}) {
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
}

}  // namespace
}  // namespace tessaline
