#include "engine/log/Log.h"
#include "engine/log/RecentLog.h"
#include "engine/settings/AtomicFile.h"
#include "engine/settings/UserFiles.h"
#include "tests/settings/Files.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using prefs::testing::readFile;
using namespace std::chrono_literals;
using std::chrono::system_clock;

// 2024-03-05 09:07:03.045 UTC
const system_clock::time_point kMorning = system_clock::from_time_t(1709629623) + std::chrono::milliseconds(45);

// Sets an environment variable for the test's length.
class EnvironmentVariable {
public:
    explicit EnvironmentVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) saved_ = value;
    }
    ~EnvironmentVariable() { set(saved_ ? saved_->c_str() : nullptr); }
    void set(const char* value) {
        if (value) setenv(name_, value, 1);
        else unsetenv(name_);
        tzset();
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

int entries(const fs::path& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
    return n;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        timeZone_.set("UTC");
        TearDown();
        store().setClock([this] { return now_; });
    }
    void TearDown() override {
        store().clear();
        store().setCollectsDebug(false);
        store().setCapacity(LogStore::defaultCapacity);
        store().setClock({});
        Log::detailed = false;
    }
    static LogStore& store() { return LogStore::shared(); }
    const fs::path& tempFolder() { return folder_.path; }

    system_clock::time_point now_ = kMorning;
    EnvironmentVariable timeZone_{"TZ"};
    prefs::testing::TempFolder folder_;
};

TEST_F(LogTest, MessagesAreBuiltOnlyForALevelSomeoneCollects) {
    int built = 0;
    const auto message = [&] { return ++built, std::string("focus is on Mail#4711"); };
    Log::focus(message);  // nobody listens: never built, never kept
    EXPECT_EQ(built, 0);
    EXPECT_TRUE(store().records().empty());
    store().setCollectsDebug(true);  // collected at debug level
    Log::focus(message);
    EXPECT_EQ(store().records(), (std::vector<LogRecord>{{kMorning, "focus", LogLevel::debug, "focus is on Mail#4711"}}));
    // Detailed logging raises ordinary messages to the default level at once,
    // even while debug is collected.
    Log::detailed = true;
    Log::lifecycle("tiling stopped");
    EXPECT_EQ(store().records().back().level, LogLevel::defaultLevel);
    // Errors are always recorded.
    store().clear();
    store().setCollectsDebug(false);
    Log::detailed = false;
    Log::windows.error([&] { return windowTag("Mail", 4711) + " isn't answering"; });
    EXPECT_EQ(store().records(), (std::vector<LogRecord>{{kMorning, "windows", LogLevel::error, "Mail#4711 isn't answering"}}));

    // A category made from a temporary string outlives it.
    Log custom(std::string("custom") + "-category");
    Log::detailed = true;
    custom("hello");
    EXPECT_EQ(store().records().back().category, "custom-category");
    EXPECT_EQ(Log(std::string("focus")), Log::focus);
}

TEST_F(LogTest, LoggingNeverFailsOutwardNorDeadlocksWhenAMessageLogs) {
    Log::detailed = true;
    EXPECT_NO_THROW(Log::layout([]() -> std::string { throw std::runtime_error("no"); }));
    EXPECT_NO_THROW(Log::layout.error([]() -> std::string { throw std::runtime_error("no"); }));
    EXPECT_TRUE(store().records().empty());
    Log::layout([] { return Log::focus("inner"), "outer"; });
    const auto records = store().records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, "inner");
    EXPECT_EQ(records[1].message, "outer");
}

TEST_F(LogTest, TheStoreKeepsOnlyTheNewestRecordsFromAnyThread) {
    LogStore small(3);
    for (int i = 1; i <= 5; ++i) small.add("layout", LogLevel::defaultLevel, std::to_string(i));
    ASSERT_EQ(small.records().size(), 3u);
    EXPECT_EQ(small.records()[0].message, "3");
    EXPECT_EQ(small.records()[2].message, "5");
    small.setCapacity(1);
    ASSERT_EQ(small.records().size(), 1u);
    EXPECT_EQ(small.records()[0].message, "5");
    small.setCapacity(0);
    small.add("layout", LogLevel::error, "dropped");
    EXPECT_TRUE(small.records().empty());

    LogStore shared(100'000);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared, t] {
            for (int i = 0; i < 2'000; ++i) shared.add("input", LogLevel::debug, std::to_string(t));
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(shared.records().size(), 8'000u);
}

TEST_F(LogTest, WindowsAreNamedByAppAndNumberAndSizesInWholePoints) {
    EXPECT_EQ(windowTag("Mail", 4711), "Mail#4711");
    EXPECT_EQ(windowTag("", 7), "#7");
    EXPECT_EQ(windowTag("Mail", 4294967295u), "Mail#4294967295");
    EXPECT_EQ(sizeText({1279.9, 799.5}), "1279\u00D7799");
    EXPECT_EQ(sizeText({1280, 800}), "1280\xC3\x97" "800");  // UTF-8 multiplication sign
    EXPECT_EQ(wholePoints(-0.4), "0");
    EXPECT_EQ(wholePoints(-12.7), "-12");
    EXPECT_EQ(wholePoints(5e9), "5000000000");
    EXPECT_FALSE(wholePoints(std::nan("")).empty());
}

TEST_F(LogTest, TheRecentLogIsLocalTimeCategoryAndMessageForTheLastMinutes) {
    LogRecord record{kMorning, "focus", LogLevel::debug, "focus is on Mail#4711"};
    EXPECT_EQ(RecentLog::line(record), "09:07:03.045 [focus] focus is on Mail#4711");
    timeZone_.set("XYZ-2");  // POSIX zone names count west-positive: this is UTC+2
    EXPECT_EQ(RecentLog::line(record), "11:07:03.045 [focus] focus is on Mail#4711");
    record.time = system_clock::from_time_t(1709629623) + std::chrono::microseconds(999'999);
    timeZone_.set("UTC");
    EXPECT_EQ(RecentLog::line(record).substr(0, 12), "09:07:03.999");  // truncated, not rounded

    EXPECT_EQ(RecentLog::text(10), "Nothing logged in the last 10 minutes. "
                                   "Turn on Detailed logging in Settings \xE2\x80\xBA About to record more.");
    Log::detailed = true;
    for (const auto& [ago, message] : {std::pair{10min + 1ms, "too old"}, {10min, "tiling started"},
                                       {5min, "focus is on Mail#4711"}}) {
        now_ = kMorning - std::chrono::duration_cast<system_clock::duration>(ago);
        Log::lifecycle([m = message] { return std::string(m); });
    }
    now_ = kMorning;
    Log::windows.error("Mail#4711 isn't answering");
    EXPECT_EQ(RecentLog::text(10), "08:57:03.045 [lifecycle] tiling started\n"
                                   "09:02:03.045 [lifecycle] focus is on Mail#4711\n"
                                   "09:07:03.045 [windows] Mail#4711 isn't answering");
    EXPECT_EQ(RecentLog::text(1), "09:07:03.045 [windows] Mail#4711 isn't answering");
    EXPECT_NE(RecentLog::text(INT_MAX).find("too old"), std::string::npos);
    // With detailed logging on there is no hint.
    now_ = kMorning + 20min;
    EXPECT_EQ(RecentLog::text(10), "Nothing logged in the last 10 minutes.");
    EXPECT_EQ(RecentLog::text(-5), "Nothing logged in the last -5 minutes.");
    EXPECT_NE(RecentLog::text(INT_MIN).find("Nothing logged"), std::string::npos);
}

TEST_F(LogTest, WritingReplacesTheLogFileInTheUserCachesFolder) {
    Log::detailed = true;
    Log::lifecycle("tiling started");
    const auto caches = tempFolder() / "deep" / "caches";
    const auto written = RecentLog::write(10, caches);
    ASSERT_EQ(written, caches / "Tessaline" / "tessaline.log");
    EXPECT_EQ(readFile(*written), "09:07:03.045 [lifecycle] tiling started");
    now_ += 1s;
    Log::lifecycle("tiling stopped");
    ASSERT_TRUE(RecentLog::write(10, caches));
    EXPECT_EQ(readFile(*written), "09:07:03.045 [lifecycle] tiling started\n09:07:04.045 [lifecycle] tiling stopped");
    EXPECT_EQ(entries(caches / "Tessaline"), 1);  // no temporary file is left beside the log

    EnvironmentVariable xdg("XDG_CACHE_HOME"), home("HOME");
    xdg.set((tempFolder() / "xdg").c_str());
    home.set((tempFolder() / "home").c_str());
    EXPECT_EQ(RecentLog::write(10), tempFolder() / "xdg" / "Tessaline" / "tessaline.log");
    xdg.set("relative/caches");  // would depend on the working folder: ignored
    EXPECT_EQ(userCachesDirectory(), tempFolder() / "home" / ".cache");
    xdg.set(nullptr);
    EXPECT_EQ(RecentLog::write(10), tempFolder() / "home" / ".cache" / "Tessaline" / "tessaline.log");
    EXPECT_TRUE(fs::exists(tempFolder() / "home" / ".cache" / "Tessaline" / "tessaline.log"));
    home.set(nullptr);
    EXPECT_EQ(userCachesDirectory(), std::nullopt);
    EXPECT_EQ(RecentLog::write(10), std::nullopt);
}

TEST_F(LogTest, WritingAnswersAbsentWhenTheFileCannotBeMade) {
    const auto blocker = tempFolder() / "file";
    ASSERT_TRUE(writeFileAtomically(blocker, "not a folder"));
    EXPECT_EQ(RecentLog::write(10, blocker), std::nullopt);
    // A folder standing where the file should go: the rename fails, the
    // folder stays and no temporary file is left behind.
    const auto caches = tempFolder() / "caches";
    fs::create_directories(caches / "Tessaline" / "tessaline.log");
    EXPECT_EQ(RecentLog::write(10, caches), std::nullopt);
    EXPECT_EQ(entries(caches / "Tessaline"), 1);
    EXPECT_TRUE(fs::is_directory(caches / "Tessaline" / "tessaline.log"));
}

}  // namespace
}  // namespace tessaline
