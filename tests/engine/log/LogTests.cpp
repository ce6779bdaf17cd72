#include "engine/log/Log.h"
#include "engine/log/RecentLog.h"
#include "engine/settings/AtomicFile.h"
#include "engine/settings/UserFiles.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using std::chrono::system_clock;

// 2024-03-05 09:07:03.045 UTC
const system_clock::time_point kMorning =
    system_clock::from_time_t(1709629623) + std::chrono::milliseconds(45);

class EnvironmentVariable {
public:
    explicit EnvironmentVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) saved_ = value;
    }
    ~EnvironmentVariable() {
        if (saved_) setenv(name_, saved_->c_str(), 1);
        else unsetenv(name_);
        tzset();
    }
    void set(const char* value) {
        setenv(name_, value, 1);
        tzset();
    }
    void unset() { unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        timeZone_.set("UTC");
        store().clear();
        store().setCollectsDebug(false);
        store().setCapacity(LogStore::defaultCapacity);
        store().setClock([this] { return now_; });
        Log::detailed = false;
    }
    void TearDown() override {
        store().clear();
        store().setCollectsDebug(false);
        store().setCapacity(LogStore::defaultCapacity);
        store().setClock({});
        Log::detailed = false;
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    static LogStore& store() { return LogStore::shared(); }

    const fs::path& tempFolder() {
        if (folder_.empty()) {
            std::string pattern = (fs::temp_directory_path() / "tessaline-log-XXXXXX").string();
            folder_ = mkdtemp(pattern.data());
        }
        return folder_;
    }

    system_clock::time_point now_ = kMorning;
    EnvironmentVariable timeZone_{"TZ"};
    fs::path folder_;
};

// ---- categories

TEST_F(LogTest, SevenCategoriesCarryTheirNames) {
    EXPECT_EQ(Log::lifecycle.category(), "lifecycle");
    EXPECT_EQ(Log::windows.category(), "windows");
    EXPECT_EQ(Log::focus.category(), "focus");
    EXPECT_EQ(Log::layout.category(), "layout");
    EXPECT_EQ(Log::drag.category(), "drag");
    EXPECT_EQ(Log::spaces.category(), "spaces");
    EXPECT_EQ(Log::input.category(), "input");

    // A category made from a temporary string must outlive it.
    Log custom(std::string("custom") + "-category");
    Log::detailed = true;
    custom("hello");
    ASSERT_EQ(store().records().size(), 1u);
    EXPECT_EQ(store().records()[0].category, "custom-category");
    EXPECT_EQ(Log(std::string("focus")), Log::focus);
}

// ---- lazy messages and levels

TEST_F(LogTest, MessageIsNeverBuiltWhenNobodyListens) {
    int built = 0;
    Log::focus([&] { ++built; return std::string("focus is on Mail#4711"); });
    Log::layout("cycleWidth");
    EXPECT_EQ(built, 0);
    EXPECT_TRUE(store().records().empty());
}

TEST_F(LogTest, DebugCollectionKeepsOrdinaryMessagesAtDebugLevel) {
    store().setCollectsDebug(true);
    int built = 0;
    Log::focus([&] { ++built; return "focus is on Mail#4711"; });
    EXPECT_EQ(built, 1);
    auto records = store().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (LogRecord{kMorning, "focus", LogLevel::debug, "focus is on Mail#4711"}));
}

TEST_F(LogTest, DetailedLoggingRaisesToDefaultLevelAndTakesEffectAtOnce) {
    int built = 0;
    auto message = [&] { ++built; return std::string("tiling started"); };
    Log::lifecycle(message);
    Log::detailed = true;  // what apply(config) does
    Log::lifecycle(message);
    EXPECT_EQ(built, 1);

    // Detailed wins even while debug is collected: the line must survive.
    store().setCollectsDebug(true);
    Log::lifecycle("tiling stopped");
    auto records = store().records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].level, LogLevel::defaultLevel);
    EXPECT_EQ(records[1].level, LogLevel::defaultLevel);
    EXPECT_EQ(records[1].message, "tiling stopped");
}

TEST_F(LogTest, ErrorsAreAlwaysRecorded) {
    int built = 0;
    Log::windows.error([&] { ++built; return windowTag("Mail", 4711) + " isn't answering"; });
    Log::detailed = true;
    Log::input.error("couldn't listen to the scroll wheel");
    EXPECT_EQ(built, 1);
    auto records = store().records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (LogRecord{kMorning, "windows", LogLevel::error, "Mail#4711 isn't answering"}));
    EXPECT_EQ(records[1].level, LogLevel::error);
    EXPECT_EQ(records[1].category, "input");
}

TEST_F(LogTest, LoggingNeverFailsOutward) {
    Log::detailed = true;
    EXPECT_NO_THROW(Log::layout([]() -> std::string { throw std::runtime_error("no"); }));
    EXPECT_NO_THROW(Log::layout.error([]() -> std::string { throw std::runtime_error("no"); }));
    EXPECT_TRUE(store().records().empty());
}

TEST_F(LogTest, MessageThatLogsWhileBeingBuiltDoesNotDeadlock) {
    Log::detailed = true;
    Log::layout([] {
        Log::focus("inner");
        return "outer";
    });
    auto records = store().records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, "inner");
    EXPECT_EQ(records[1].message, "outer");
}

// ---- the store

TEST_F(LogTest, StoreKeepsOnlyTheNewestRecords) {
    LogStore small(3);
    for (int i = 1; i <= 5; ++i) small.add("layout", LogLevel::defaultLevel, std::to_string(i));
    auto records = small.records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].message, "3");
    EXPECT_EQ(records[2].message, "5");

    small.setCapacity(1);
    ASSERT_EQ(small.records().size(), 1u);
    EXPECT_EQ(small.records()[0].message, "5");

    small.setCapacity(0);
    small.add("layout", LogLevel::error, "dropped");
    EXPECT_TRUE(small.records().empty());
}

TEST_F(LogTest, StoreTakesRecordsFromSeveralThreads) {
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

// ---- message pieces

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

// ---- reading back

TEST_F(LogTest, LineIsLocalTimeCategoryAndMessage) {
    LogRecord record{kMorning, "focus", LogLevel::debug, "focus is on Mail#4711"};
    EXPECT_EQ(RecentLog::line(record), "09:07:03.045 [focus] focus is on Mail#4711");

    // POSIX zone names count west-positive: this is UTC+2.
    timeZone_.set("XYZ-2");
    EXPECT_EQ(RecentLog::line(record), "11:07:03.045 [focus] focus is on Mail#4711");

    record.time = system_clock::from_time_t(1709629623) + std::chrono::microseconds(999'999);
    timeZone_.set("UTC");
    EXPECT_EQ(RecentLog::line(record).substr(0, 12), "09:07:03.999");  // truncated, not rounded
}

TEST_F(LogTest, TextHoldsTheLastMinutesInOrder) {
    Log::detailed = true;
    now_ = kMorning - 10min - 1ms;
    Log::lifecycle("too old");
    now_ = kMorning - 10min;
    Log::lifecycle("tiling started");
    now_ = kMorning - 5min;
    Log::focus("focus is on Mail#4711");
    now_ = kMorning;
    Log::windows.error("Mail#4711 isn't answering");

    EXPECT_EQ(RecentLog::text(10),
              "08:57:03.045 [lifecycle] tiling started\n"
              "09:02:03.045 [focus] focus is on Mail#4711\n"
              "09:07:03.045 [windows] Mail#4711 isn't answering");
    EXPECT_EQ(RecentLog::text(1), "09:07:03.045 [windows] Mail#4711 isn't answering");
    EXPECT_NE(RecentLog::text(INT_MAX).find("too old"), std::string::npos);
}

TEST_F(LogTest, EmptyPeriodGivesTheSentenceWithHintOnlyWhileDetailedIsOff) {
    EXPECT_EQ(RecentLog::text(10),
              "Nothing logged in the last 10 minutes. "
              "Turn on Detailed logging in Settings \xE2\x80\xBA About to record more.");

    now_ = kMorning - 11min;
    Log::lifecycle.error("long ago");
    now_ = kMorning;
    Log::detailed = true;
    EXPECT_EQ(RecentLog::text(10), "Nothing logged in the last 10 minutes.");
    EXPECT_EQ(RecentLog::text(-5), "Nothing logged in the last -5 minutes.");
    EXPECT_NE(RecentLog::text(INT_MIN).find("Nothing logged"), std::string::npos);
}

// ---- the log file

TEST_F(LogTest, WriteReplacesTheLogFileUnderTheCachesFolder) {
    Log::detailed = true;
    Log::lifecycle("tiling started");
    auto caches = tempFolder() / "deep" / "caches";

    auto written = RecentLog::write(10, caches);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, caches / "Tessaline" / "tessaline.log");
    EXPECT_EQ(readFile(*written), "09:07:03.045 [lifecycle] tiling started");

    now_ += 1s;
    Log::lifecycle("tiling stopped");
    ASSERT_TRUE(RecentLog::write(10, caches));
    EXPECT_EQ(readFile(*written),
              "09:07:03.045 [lifecycle] tiling started\n09:07:04.045 [lifecycle] tiling stopped");

    // No temporary file is left beside the log.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(caches / "Tessaline")) ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(LogTest, WriteFindsTheUserCachesFolder) {
    EnvironmentVariable xdg("XDG_CACHE_HOME");
    EnvironmentVariable home("HOME");
    xdg.set((tempFolder() / "xdg").c_str());
    home.set((tempFolder() / "home").c_str());
    EXPECT_EQ(RecentLog::write(10), tempFolder() / "xdg" / "Tessaline" / "tessaline.log");

    // A relative XDG_CACHE_HOME would depend on the working folder; it is ignored.
    xdg.set("relative/caches");
    EXPECT_EQ(userCachesDirectory(), tempFolder() / "home" / ".cache");
    xdg.unset();
    auto written = RecentLog::write(10);
    EXPECT_EQ(written, tempFolder() / "home" / ".cache" / "Tessaline" / "tessaline.log");
    EXPECT_TRUE(written && fs::exists(*written));

    home.unset();
    EXPECT_EQ(userCachesDirectory(), std::nullopt);
    EXPECT_EQ(RecentLog::write(10), std::nullopt);
}

TEST_F(LogTest, WriteAnswersAbsentWhenTheFolderCannotBeMade) {
    auto blocker = tempFolder() / "file";
    ASSERT_TRUE(writeFileAtomically(blocker, "not a folder"));
    EXPECT_EQ(RecentLog::write(10, blocker), std::nullopt);

    // A folder standing where the file should go: the rename fails, the old
    // folder stays and no temporary file is left behind.
    auto caches = tempFolder() / "caches";
    fs::create_directories(caches / "Tessaline" / "tessaline.log");
    EXPECT_EQ(RecentLog::write(10, caches), std::nullopt);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(caches / "Tessaline")) ++files;
    EXPECT_EQ(files, 1);
    EXPECT_TRUE(fs::is_directory(caches / "Tessaline" / "tessaline.log"));
}

}  // namespace
}  // namespace tessaline
