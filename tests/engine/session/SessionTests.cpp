#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "engine/settings/AtomicFile.h"
#include "engine/session/SessionController.h"
#include "engine/session/SessionStore.h"
#include "tests/engine/Scenario.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

constexpr Rect kSecondFrame{1440, 0, 1920, 1080};
constexpr double kDay = 86'400;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A folder of its own under the system's temporary folder, removed afterwards.
struct TempFolder {
    fs::path path;
    TempFolder() {
        std::random_device random;
        path = fs::temp_directory_path() / ("tessaline-session-" + std::to_string(random()));
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// The base fixture's manager() keeps a store without a file; these scenarios
// run a manager of their own on a store that writes a real session.json, and
// can quit and relaunch the program around it.
class SessionScenario : public Scenario {
protected:
    SessionScenario() { relaunch(); }

    WindowManager& wm() {
        if (!wm_) {
            wm_ = WindowManager::create(config, system(), writer(), input(), scheduler(), overlays(),
                                        *store, defaults);
            wm_->session().clock = [this] { return wallClock; };
        }
        return *wm_;
    }
    SessionController& session() { return wm().session(); }
    void startTiling() {
        wm().start();
        settle();
    }
    // The program stops tiling and exits.
    void quit() {
        if (wm_) wm_->stop();
        wm_.reset();
        store.reset();
    }
    // A new process: a store of its own on the same file, written inline.
    void relaunch() {
        store = std::make_unique<SessionStore>(file, scheduler(), makeInlineWorker());
        store->beforeRename = [this](const fs::path&) {
            writeTimes.push_back(desk.now());
            return true;
        };
    }

    Strip stripAt(const StripKey& key) {
        auto found = wm().strips.find(key);
        return found == wm().strips.end() ? Strip{} : found->second;
    }
    void relayoutEverything() {
        wm().relayout(wm().activeKeys(), false, WindowManager::ScrollPolicy::reveal, true, false);
    }
    std::optional<SavedSession> onDisk() const { return decodeSession(readFile(file)); }
    static const SavedStrip* find(const SavedSession& session, const std::string& display) {
        for (const SavedStrip& strip : session.strips) {
            if (strip.display == display) return &strip;
        }
        return nullptr;
    }

    TempFolder folder;
    const fs::path file = folder.path / "Tessaline" / "session.json";
    Timestamp wallClock = 760'000'000;  // a day in 2025, in the file's epoch
    std::vector<double> writeTimes;     // virtual time of every completed write
    std::unique_ptr<SessionStore> store;

private:
    std::shared_ptr<WindowManager> wm_;  // after the store: goes first
};

// ---------------------------------------------------------------------------
// Restoring after a restart

TEST_F(SessionScenario, LayoutComesBackAfterARestartWithNewNumbersAndTitles) {
    const WindowID inbox = openWindow("Mail", "Inbox");
    const WindowID draft = openWindow("Mail", "Draft");
    const WindowID code = openWindow("Editor", "main.cpp");
    const WindowID shell = openWindow("Terminal", "zsh");
    const WindowID docs = openWindow("Browser", "Docs");
    startTiling();
    wm().strips[primaryKey()] = Strip({Column({shell}, 0.3),
                                       Column({inbox, draft}, 0.6, true, {{2.0, 1.0}}),
                                       Column({code, docs}, 0.4, false, {{1.0, 3.0}})},
                                      1, 0);
    relayoutEverything();
    settle();
    quit();

    // The applications come back with new windows, some under new titles.
    for (const WindowID id : {inbox, draft, code, shell, docs}) desk.closeWindow(id);
    const WindowID newDocs = openWindow("Browser", "Docs — Wiki");
    const WindowID newCode = openWindow("Editor", "main.cpp (edited)");
    const WindowID newDraft = openWindow("Mail", "Draft");
    const WindowID newShell = openWindow("Terminal", "zsh");
    const WindowID newInbox = openWindow("Mail", "Inbox (2 unread)");
    relaunch();
    LogStore::shared().clear();
    startTiling();

    const Strip strip = stripAt(primaryKey());
    ASSERT_EQ(strip.count(), 3);
    EXPECT_EQ(strip.columns[0].windows, (std::vector<WindowID>{newShell}));
    EXPECT_EQ(strip.columns[1].windows, (std::vector<WindowID>{newInbox, newDraft}));
    EXPECT_EQ(strip.columns[2].windows, (std::vector<WindowID>{newCode, newDocs}));
    EXPECT_DOUBLE_EQ(strip.columns[0].width, 0.3);
    EXPECT_DOUBLE_EQ(strip.columns[1].width, 0.6);
    EXPECT_DOUBLE_EQ(strip.columns[2].width, 0.4);
    EXPECT_TRUE(strip.columns[1].tabbed);
    EXPECT_FALSE(strip.columns[2].tabbed);
    EXPECT_EQ(strip.columns[1].weights, (std::vector<double>{2.0, 1.0}));
    EXPECT_EQ(strip.columns[2].weights, (std::vector<double>{1.0, 3.0}));
    EXPECT_TRUE(logged("layout", "restored 5 windows' saved layout"));
    // Claimed, so not offered again.
    EXPECT_TRUE(session().unseen.empty());
}

// A discovery answered after its time-out adopts windows and offers the saved
// layout to every strip seen for the first time, also to strips none of the
// late windows joined; such a strip was rebuilt but never laid out, so its
// windows stayed where the old arrangement had put them.
TEST_F(SessionScenario, AStripRestoredByALateDiscoveryIsLaidOut) {
    const WindowID inbox = openWindow("Mail", "Inbox");
    const WindowID draft = openWindow("Mail", "Draft");
    startTiling();
    wm().strips[primaryKey()] = Strip({Column({inbox}, 0.3), Column({draft}, 0.6)}, 0, 0);
    relayoutEverything();
    settle();
    quit();
    desk.closeWindow(inbox);
    desk.closeWindow(draft);

    // An application slower than the discovery's time-out, with only a
    // floating window, and the mail windows back between the time-out and
    // its answer.
    const ProcessID slow = app("Slow");
    WindowSpec palette;
    palette.pid = slow;
    palette.title = "Palette";
    palette.fixedSize = true;
    desk.openWindow(palette);
    desk.setLatency(slow, 3.0);
    relaunch();
    wm().start();
    desk.advance(2.0);  // the discovery has timed out and laid out what it had
    const WindowID newInbox = openWindow("Mail", "Inbox");
    const WindowID newDraft = openWindow("Mail", "Draft");
    desk.advance(0.5);
    ASSERT_FALSE(logged("layout", "restored 2 windows' saved layout"));
    settle(5);
    ASSERT_TRUE(logged("layout", "restored 2 windows' saved layout"));
    ASSERT_DOUBLE_EQ(stripAt(primaryKey()).columns.at(0).width, 0.3);

    const auto inboxTarget = wm().animator.target(newInbox);
    const auto draftTarget = wm().animator.target(newDraft);
    relayoutEverything();
    EXPECT_EQ(wm().animator.target(newInbox), inboxTarget);
    EXPECT_EQ(wm().animator.target(newDraft), draftTarget);
}

TEST_F(SessionScenario, OldStripsAndVeryOldSetupsAreDroppedAtStart) {
    const auto strip = [](std::string display, std::optional<Timestamp> seen) {
        return SavedStrip{std::move(display), 1, {{0.5, false, {1.0}, {{7, "com.example.App", "x"}}}}, seen};
    };
    const auto setup = [](std::string display, std::optional<Timestamp> seen) {
        return SavedSetup{{std::move(display)}, {}, seen};
    };
    writeFile(file, encodeSession({{strip("MONTH-OLD", wallClock - 31 * kDay),
                                    strip("RECENT", wallClock - 29 * kDay),
                                    strip("UNSTAMPED", std::nullopt)},
                                   {setup("MONTH-OLD", wallClock - 31 * kDay),
                                    setup("SEASON-OLD", wallClock - 91 * kDay),
                                    setup("UNSTAMPED", std::nullopt)}}));
    startTiling();

    std::vector<std::string> strips, setups;
    for (const SavedStrip& saved : session().unseen) strips.push_back(saved.display);
    for (const SavedSetup& saved : session().setups) setups.push_back(saved.displays.front());
    EXPECT_EQ(strips, (std::vector<std::string>{"RECENT", "UNSTAMPED"}));
    EXPECT_EQ(setups, (std::vector<std::string>{"MONTH-OLD", "UNSTAMPED"}));
}

TEST_F(SessionScenario, UnclaimedSavedStripsSurviveUntilALiveStripTakesTheirPlace) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    const SavedColumn browser{0.5, false, {1.0}, {{40, "com.example.Browser", "Docs"}}};
    writeFile(file, encodeSession({{{second, desk.currentSpace(second), {browser}, wallClock - kDay},
                                    {"GONE-DISPLAY", 9, {browser}, wallClock - kDay}},
                                   {}}));
    const WindowID mail = openWindow("Mail", "Inbox");
    startTiling();
    relayoutEverything();
    settle();

    auto saved = onDisk();
    ASSERT_TRUE(saved);
    ASSERT_TRUE(find(*saved, primary));
    EXPECT_EQ(find(*saved, primary)->columns.front().windows.front().id, mail);
    ASSERT_TRUE(find(*saved, second));
    EXPECT_EQ(find(*saved, second)->columns, (std::vector<SavedColumn>{browser}));
    EXPECT_TRUE(find(*saved, "GONE-DISPLAY"));

    // A window now lives on the studio strip: the live strip is written instead.
    const WindowID shell = openWindow("Terminal", "zsh", {1600, 100, 800, 600});
    settle();
    saved = onDisk();
    ASSERT_TRUE(saved);
    ASSERT_TRUE(find(*saved, second));
    EXPECT_EQ(find(*saved, second)->columns.front().windows.front().id, shell);
    EXPECT_EQ(find(*saved, second)->columns.size(), 1u);
    EXPECT_TRUE(find(*saved, "GONE-DISPLAY"));
}

TEST_F(SessionScenario, WindowWithoutARecordIsSavedWithEmptyNames) {
    const WindowID mail = openWindow("Mail", "Inbox");
    startTiling();
    wm().windows.erase(mail);
    const SavedSession saved = session().snapshot();
    ASSERT_FALSE(saved.strips.empty());
    EXPECT_EQ(saved.strips.front().columns.front().windows.front(), (SavedWindow{mail, "", ""}));
    EXPECT_EQ(saved.strips.front().seen, wallClock);
}

// ---------------------------------------------------------------------------
// When the file is written

TEST_F(SessionScenario, BurstOfRelayoutsWritesOnceASecondAfterTheLast) {
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
    ASSERT_EQ(writeTimes.size(), 1u);
    EXPECT_NEAR(writeTimes.front(), last + SessionStore::saveDelay, 1e-9);
    settle(5);
    EXPECT_EQ(writeTimes.size(), 1u);
}

TEST_F(SessionScenario, StoppingWritesAtOnceEvenWithASavePending) {
    openWindow("Mail", "Inbox");
    openWindow("Editor", "notes");
    startTiling();
    writeTimes.clear();
    wm().strips[primaryKey()].columns.front().width = 0.75;
    relayoutEverything();
    ASSERT_TRUE(store->hasPendingSave());

    wm().stop();
    EXPECT_EQ(writeTimes.size(), 1u);
    EXPECT_FALSE(store->hasPendingSave());
    const auto saved = onDisk();
    ASSERT_TRUE(saved && find(*saved, primary));
    EXPECT_DOUBLE_EQ(find(*saved, primary)->columns.front().width, 0.75);
    settle(5);
    EXPECT_EQ(writeTimes.size(), 1u);
}

// A save that fires after its window manager is gone must not write an empty
// layout over the good one.
TEST_F(SessionScenario, SaveOutlivingTheManagerWritesNothing) {
    openWindow("Mail", "Inbox");
    startTiling();
    const std::string before = readFile(file);
    ASSERT_TRUE(decodeSession(before));
    relayoutEverything();
    ASSERT_TRUE(store->hasPendingSave());
    writeTimes.clear();
    quit();  // drops the store's pending save with it
    relaunch();
    EXPECT_EQ(readFile(file), before);
}

// ---------------------------------------------------------------------------
// Displays coming and going

TEST_F(SessionScenario, ReplugPutsWindowsBackInTheirColumnsOnTheirDisplay) {
    const std::string second = desk.addDisplay(kSecondFrame, "Studio");
    const WindowID mail = openWindow("Mail", "Inbox", {100, 100, 600, 600});
    const WindowID notes = openWindow("Editor", "notes", {100, 100, 600, 600});
    const WindowID docs = openWindow("Browser", "Docs", {1600, 100, 600, 600});
    const WindowID shell = openWindow("Terminal", "zsh", {1600, 100, 600, 600});
    const WindowID code = openWindow("Editor", "main.cpp", {1600, 100, 600, 600});
    startTiling();
    wm().strips[keyOf(second)] =
        Strip({Column({docs}, 0.7), Column({shell, code}, 0.4, false, {{1.0, 2.0}})}, 0, 0);
    relayoutEverything();
    settle();
    const Strip home = stripAt(primaryKey());
    ASSERT_EQ(home.windows(), (std::vector<WindowID>{mail, notes}));

    desk.removeDisplay(second);
    settle();
    ASSERT_EQ(stripAt(primaryKey()).windows().size(), 5u);
    DisplaySpec studio;
    studio.name = "Studio";
    studio.frame = kSecondFrame;
    studio.uuid = second;
    desk.addDisplay(studio);
    settle();

    const Strip away = stripAt(keyOf(second));
    ASSERT_EQ(away.count(), 2);
    EXPECT_EQ(away.columns[0].windows, (std::vector<WindowID>{docs}));
    EXPECT_EQ(away.columns[1].windows, (std::vector<WindowID>{shell, code}));
    EXPECT_DOUBLE_EQ(away.columns[0].width, 0.7);
    EXPECT_DOUBLE_EQ(away.columns[1].width, 0.4);
    EXPECT_EQ(away.columns[1].weights, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(stripAt(primaryKey()).columns, home.columns);
    for (const WindowID id : {docs, shell, code}) {
        EXPECT_EQ(wm().windows.at(id)->key, keyOf(second));
        EXPECT_GE(frameOf(id)->minX(), kSecondFrame.minX());
    }
    EXPECT_TRUE(logged("spaces", "put windows back the way they were with Built-in, Studio"));
}

// ---------------------------------------------------------------------------
// Damaged files

TEST_F(SessionScenario, DamagedFileStartsEmptyAndIsReplacedByTheNextSave) {
    const WindowID mail = openWindow("Mail", "Inbox");
    const std::string good = encodeSession(
        {{{primary, 1, {{0.5, false, {1.0}, {{mail, "com.example.Mail", "Inbox"}}}}, wallClock}}, {}});
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"empty", ""},
        {"truncated", good.substr(0, good.size() / 2)},
        {"not JSON", "session? what session"},
        {"binary", std::string("\x00\xff\xfe{\x01", 5)},
        {"wrong shape", "[1, 2, 3]"},
        {"missing keys", R"({"strips": [{"display": "X"}]})"},
    };
    for (const auto& [name, text] : damaged) {
        SCOPED_TRACE(name);
        writeFile(file, text);
        startTiling();
        EXPECT_TRUE(session().unseen.empty());
        EXPECT_TRUE(session().setups.empty());
        EXPECT_EQ(stripAt(primaryKey()).windows(), (std::vector<WindowID>{mail}));
        relayoutEverything();
        settle();
        const auto saved = onDisk();
        ASSERT_TRUE(saved);
        ASSERT_TRUE(find(*saved, primary));
        EXPECT_EQ(find(*saved, primary)->columns.front().windows.front().id, mail);
        quit();
        relaunch();
    }
}

TEST_F(SessionScenario, UnreadableFileStartsEmptyAndSavesFailQuietly) {
    fs::create_directories(file);  // a folder where the file should be
    openWindow("Mail", "Inbox");
    startTiling();
    EXPECT_TRUE(session().unseen.empty());
    relayoutEverything();
    settle();
    quit();
    EXPECT_TRUE(fs::is_directory(file));
}

// The writer is stopped between the finished temporary file and the rename,
// as a crash at that moment would stop it.
TEST_F(SessionScenario, WriteInterruptedBeforeTheRenameLeavesTheOldFileWhole) {
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
    EXPECT_EQ(stripAt(primaryKey()).count(), 2);
    wallClock += 60;
    relayoutEverything();
    settle();
    const auto saved = onDisk();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->strips.front().seen, wallClock);
}

TEST(SessionFile, ProcessKilledBeforeTheRenameLeavesTheOldFile) {
    // Forked, so the child writes into this very folder.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "fast");
    TempFolder folder;
    const fs::path file = folder.path / "session.json";
    const std::string old = encodeSession({{{"A", 1, {}, 1.0}}, {}});
    ASSERT_TRUE(writeFileAtomically(file, old));
    const std::string next = encodeSession({{{"B", 2, {}, 2.0}}, {}});
    EXPECT_EXIT(writeFileAtomically(file, next,
                                    [](const fs::path&) {
                                        std::raise(SIGKILL);
                                        return true;
                                    }),
                ::testing::KilledBySignal(SIGKILL), "");
    GTEST_FLAG_SET(death_test_style, style);
    EXPECT_EQ(readFile(file), old);
    // The dead writer got as far as its complete temporary file.
    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(folder.path)) {
        if (entry.path() == file) continue;
        ++leftovers;
        EXPECT_EQ(readFile(entry.path()), next);
    }
    EXPECT_EQ(leftovers, 1);
}

// ---------------------------------------------------------------------------
// The store on its own

TEST(SessionWorker, ThreadRunsWorkInOrderAndWaitsForIt) {
    auto worker = makeThreadWorker();
    std::vector<int> done;
    for (int i = 0; i < 200; ++i) worker->submit([&done, i] { done.push_back(i); });
    worker->submit([] { throw std::runtime_error("a failed write"); });
    worker->submit([&done] { done.push_back(200); });
    worker->wait();
    ASSERT_EQ(done.size(), 201u);
    for (int i = 0; i <= 200; ++i) EXPECT_EQ(done[static_cast<std::size_t>(i)], i);
}

TEST(SessionStoreFile, ThreadedSaveNowLandsAfterAQueuedSave) {
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

// Puts an environment variable back as it was.
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) old_ = value;
    }
    ~EnvironmentGuard() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SessionStoreFile, DefaultLocationFollowsTheDataHome) {
    EnvironmentGuard data("XDG_DATA_HOME"), home("HOME");
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(SessionStore::defaultURL(), fs::path("/data/home/Tessaline/session.json"));
    // A relative data home would depend on where the program was started.
    ::setenv("XDG_DATA_HOME", "relative/path", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(SessionStore::defaultURL(), fs::path("/home/someone/.local/share/Tessaline/session.json"));
}

}  // namespace
}  // namespace tessaline
