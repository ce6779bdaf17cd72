#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "engine/settings/AtomicFile.h"
#include "engine/settings/Defaults.h"
#include "engine/settings/Settings.h"

using namespace tessaline;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "tessaline-settings-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
}

}  // namespace

TEST(SettingsTest, NothingStoredMeansDefaultsAndNoWrite) {
    MemoryDefaults defaults;
    Settings settings(defaults);
    EXPECT_EQ(settings.origin(), Settings::Origin::missing);
    EXPECT_EQ(settings.config(), Config{});
    EXPECT_EQ(defaults.writeCount(), 0u);
}

TEST(SettingsTest, StoredValueIsMigratedAndWrittenBackAtOnce) {
    MemoryDefaults defaults;
    defaults.setValue("config", json::parse(R"({"gap": 4, "minimap": false, "floatingApps": ["com.a"]})"));
    Settings settings(defaults);

    EXPECT_EQ(settings.origin(), Settings::Origin::stored);
    EXPECT_EQ(settings.lastWrite(), Settings::WriteResult::written);
    EXPECT_EQ(settings.config().gap, 4);
    EXPECT_EQ(settings.config().stripIndicator, StripIndicator::off);

    const json stored = defaults.value("config").value();
    EXPECT_FALSE(stored.contains("minimap"));
    EXPECT_FALSE(stored.contains("floatingApps"));
    EXPECT_EQ(stored["bindingsVersion"], 3);
    EXPECT_EQ(stored["appRules"][0]["bundleID"], "com.a");
    EXPECT_EQ(configFromJSON(stored), settings.config());
}

TEST(SettingsTest, UndecodableDataIsLeftUntilTheNextChange) {
    for (const json& bad : {json("not json at all"), json::array({1, 2}), json(42)}) {
        MemoryDefaults defaults;
        defaults.setValue("config", bad);
        Settings settings(defaults);
        EXPECT_EQ(settings.origin(), Settings::Origin::undecodable);
        EXPECT_EQ(settings.config(), Config{});
        EXPECT_EQ(defaults.value("config"), bad);

        EXPECT_EQ(settings.setConfig(Config{}), Settings::WriteResult::unchanged);
        EXPECT_EQ(defaults.value("config"), bad);

        Config changed;
        changed.animate = false;
        EXPECT_EQ(settings.setConfig(changed), Settings::WriteResult::written);
        EXPECT_EQ(configFromJSON(defaults.value("config").value()), changed);
    }
}

TEST(SettingsTest, WritesAndNotifiesOnlyRealChanges) {
    MemoryDefaults defaults;
    Settings settings(defaults);
    std::vector<double> seenGaps;
    auto token = settings.addObserver([&](const Config& c) { seenGaps.push_back(c.gap); });

    Config c = settings.config();
    EXPECT_EQ(settings.setConfig(c), Settings::WriteResult::unchanged);
    EXPECT_EQ(defaults.writeCount(), 0u);

    c.gap = 20;
    EXPECT_EQ(settings.setConfig(c), Settings::WriteResult::written);
    EXPECT_EQ(settings.setConfig(c), Settings::WriteResult::unchanged);
    c.bindings["focusLeft"].push_back({5, KeyCombo::ctrlOpt});  // a deep change counts too
    EXPECT_EQ(settings.setConfig(c), Settings::WriteResult::written);
    EXPECT_EQ(defaults.writeCount(), 2u);
    EXPECT_EQ(seenGaps, (std::vector<double>{20, 20}));

    settings.removeObserver(token);
    c.gap = 30;
    settings.setConfig(c);
    EXPECT_EQ(seenGaps.size(), 2u);
}

TEST(SettingsTest, UnencodableValueBecomesCurrentButIsNotWritten) {
    MemoryDefaults defaults;
    Settings settings(defaults);
    Config c;
    c.dimAmount = std::numeric_limits<double>::infinity();
    EXPECT_EQ(settings.setConfig(c), Settings::WriteResult::failed);
    EXPECT_EQ(settings.config().dimAmount, c.dimAmount);
    EXPECT_EQ(defaults.writeCount(), 0u);
}

TEST(SettingsTest, ObserversChangingSettingsSeeTheNewestValueLast) {
    MemoryDefaults defaults;
    Settings settings(defaults);
    std::vector<double> first, second;
    Settings::ObserverToken secondToken = 0;
    settings.addObserver([&](const Config& c) {
        first.push_back(c.gap);
        if (c.gap < 0) {
            Config fixed = c;
            fixed.gap = 0;
            settings.setConfig(fixed);
        }
    });
    secondToken = settings.addObserver([&](const Config& c) { second.push_back(c.gap); });
    settings.addObserver([&](const Config&) { settings.removeObserver(secondToken); });

    Config c;
    c.gap = -1;
    settings.setConfig(c);
    EXPECT_EQ(settings.config().gap, 0);
    EXPECT_EQ(first, (std::vector<double>{-1, 0}));
    EXPECT_EQ(second, (std::vector<double>{0}));  // never handed the stale -1 after 0

    c.gap = 5;
    settings.setConfig(c);
    EXPECT_EQ(second, (std::vector<double>{0}));
}

TEST(FileDefaultsTest, LocationFollowsTheBaseDirectoryConvention) {
    EXPECT_EQ(FileDefaults::locationFor("/x/conf", "/home/u"), fs::path("/x/conf/tessaline/settings.json"));
    EXPECT_EQ(FileDefaults::locationFor("", "/home/u"), fs::path("/home/u/.config/tessaline/settings.json"));
    EXPECT_EQ(FileDefaults::locationFor("relative", "/home/u"),
              fs::path("/home/u/.config/tessaline/settings.json"));
    EXPECT_EQ(FileDefaults::locationFor(nullptr, "/home/u"),
              fs::path("/home/u/.config/tessaline/settings.json"));
    EXPECT_EQ(FileDefaults::locationFor(nullptr, nullptr), std::nullopt);
}

TEST(FileDefaultsTest, ValuesSurviveARestartAndOtherKeysAreKept) {
    TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    const fs::path file = temp.path() / "nested" / "tessaline" / "settings.json";
    {
        FileDefaults defaults(file);
        EXPECT_FALSE(defaults.unreadable());
        EXPECT_EQ(defaults.value("config"), std::nullopt);
        EXPECT_TRUE(defaults.setValue("slowToActivate", json::array({"com.slow"})));
        EXPECT_TRUE(defaults.setValue("config", json{{"gap", 3}}));
        EXPECT_TRUE(defaults.removeValue("missing"));
    }
    FileDefaults reopened(file);
    EXPECT_EQ(reopened.value("slowToActivate"), json::array({"com.slow"}));
    EXPECT_EQ(reopened.value("config"), (json{{"gap", 3}}));
    EXPECT_TRUE(reopened.removeValue("slowToActivate"));
    EXPECT_EQ(FileDefaults(file).value("slowToActivate"), std::nullopt);
    // Only the file itself: no temporary files are left beside it.
    EXPECT_EQ(folderEntries(file.parent_path()), std::vector<std::string>{"settings.json"});
}

TEST(FileDefaultsTest, GarbageFileIsUntouchedUntilASettingChanges) {
    TempFolder temp;
    const fs::path file = temp.path() / "tessaline" / "settings.json";
    const std::string garbage = "{\"config\": {\"gap\": 4,,, \x01 oops";
    writeFile(file, garbage);

    {
        FileDefaults defaults(file);
        EXPECT_TRUE(defaults.unreadable());
        Settings settings(defaults);
        EXPECT_EQ(settings.origin(), Settings::Origin::missing);
        EXPECT_EQ(settings.config(), Config{});
        EXPECT_EQ(settings.setConfig(Config{}), Settings::WriteResult::unchanged);
        EXPECT_EQ(readFile(file), garbage);
    }
    {
        FileDefaults defaults(file);
        Settings settings(defaults);
        Config c;
        c.focusBorder = true;
        EXPECT_EQ(settings.setConfig(c), Settings::WriteResult::written);
        EXPECT_FALSE(defaults.unreadable());
    }
    FileDefaults reopened(file);
    Settings settings(reopened);
    EXPECT_EQ(settings.origin(), Settings::Origin::stored);
    EXPECT_TRUE(settings.config().focusBorder);
}

TEST(FileDefaultsTest, UndecodableConfigSurvivesWritesOfOtherKeys) {
    TempFolder temp;
    const fs::path file = temp.path() / "settings.json";
    writeFile(file, R"({"config": "written by something else", "other": 1})");
    FileDefaults defaults(file);
    EXPECT_FALSE(defaults.unreadable());
    Settings settings(defaults);
    EXPECT_EQ(settings.origin(), Settings::Origin::undecodable);

    EXPECT_TRUE(defaults.setValue("slowToActivate", json::array()));
    EXPECT_EQ(FileDefaults(file).value("config"), json("written by something else"));
}

TEST(FileDefaultsTest, FailedWriteKeepsTheOldFile) {
    TempFolder temp;
    // The settings path is a folder, so the rename over it must fail.
    const fs::path file = temp.path() / "settings.json";
    fs::create_directories(file / "inside");
    FileDefaults defaults(file);
    EXPECT_TRUE(defaults.unreadable());
    EXPECT_FALSE(defaults.setValue("config", json::object()));
    EXPECT_TRUE(fs::is_directory(file / "inside"));
    EXPECT_EQ(folderEntries(temp.path()), std::vector<std::string>{"settings.json"});

    // A string that is not UTF-8 cannot be written and is refused outright.
    const fs::path good = temp.path() / "good.json";
    FileDefaults other(good);
    EXPECT_FALSE(other.setValue("name", json("\xff")));
    EXPECT_EQ(other.value("name"), std::nullopt);
    EXPECT_TRUE(other.setValue("name", json("ok")));
}

TEST(AtomicFileTest, WritesThroughASymbolicLink) {
    TempFolder temp;
    const fs::path target = temp.path() / "dotfiles" / "settings.json";
    const fs::path link = temp.path() / "settings.json";
    writeFile(target, "{}");
    fs::create_symlink(target, link);

    ASSERT_TRUE(writeFileAtomically(link, "{\"a\": 1}"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "{\"a\": 1}");
}
