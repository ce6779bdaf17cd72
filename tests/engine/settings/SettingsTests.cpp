#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/settings/AtomicFile.h"
#include "engine/settings/Defaults.h"
#include "engine/settings/Settings.h"
#include "tests/settings/Files.h"

using namespace tessaline;
using nlohmann::json;
namespace fs = std::filesystem;
using Write = Settings::WriteResult;
using prefs::testing::readFile;
using prefs::testing::writeFile;

namespace {

class FileDefaultsTest : public ::testing::Test {
protected:
    static std::vector<std::string> entries(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        return names;
    }
    prefs::testing::TempFolder temp;
    const fs::path folder = temp.path;
};

}  // namespace

TEST(SettingsTest, StoredValuesAreMigratedAndWrittenBackAtOnceAndNothingStoredWritesNothing) {
    MemoryDefaults none;
    Settings fresh(none);
    EXPECT_EQ(fresh.origin(), Settings::Origin::missing);
    EXPECT_EQ(fresh.config(), Config{});
    EXPECT_EQ(none.writeCount(), 0u);

    MemoryDefaults defaults;
    defaults.setValue("config", json::parse(R"({"gap": 4, "minimap": false, "floatingApps": ["com.a"]})"));
    Settings settings(defaults);
    EXPECT_EQ(settings.origin(), Settings::Origin::stored);
    EXPECT_EQ(settings.lastWrite(), Write::written);
    EXPECT_EQ(settings.config().gap, 4);
    EXPECT_EQ(settings.config().stripIndicator, StripIndicator::off);
    const json stored = defaults.value("config").value();
    EXPECT_FALSE(stored.contains("minimap") || stored.contains("floatingApps"));
    EXPECT_EQ(stored["bindingsVersion"], 3);
    EXPECT_EQ(stored["appRules"][0]["bundleID"], "com.a");
    EXPECT_EQ(configFromJSON(stored), settings.config());
}

TEST(SettingsTest, UndecodableDataIsLeftUntilTheNextRealChange) {
    for (const json& bad : {json("not json at all"), json::array({1, 2}), json(42)}) {
        MemoryDefaults defaults;
        defaults.setValue("config", bad);
        Settings settings(defaults);
        EXPECT_EQ(settings.origin(), Settings::Origin::undecodable);
        EXPECT_EQ(settings.config(), Config{});
        EXPECT_EQ(settings.setConfig(Config{}), Write::unchanged);
        EXPECT_EQ(defaults.value("config"), bad);
        const Config changed{.animate = false};
        EXPECT_EQ(settings.setConfig(changed), Write::written);
        EXPECT_EQ(configFromJSON(defaults.value("config").value()), changed);
    }
}

TEST(SettingsTest, OnlyRealChangesAreWrittenAndObserversSeeTheNewestValueLast) {
    MemoryDefaults defaults;
    Settings settings(defaults);
    std::vector<double> seen;
    const auto token = settings.addObserver([&](const Config& c) { seen.push_back(c.gap); });
    Config c = settings.config();
    EXPECT_EQ(settings.setConfig(c), Write::unchanged);
    c.gap = 20;
    EXPECT_EQ(settings.setConfig(c), Write::written);
    EXPECT_EQ(settings.setConfig(c), Write::unchanged);
    c.bindings["focusLeft"].push_back({5, KeyCombo::ctrlOpt});  // a deep change counts too
    EXPECT_EQ(settings.setConfig(c), Write::written);
    EXPECT_EQ(defaults.writeCount(), 2u);
    EXPECT_EQ(seen, (std::vector<double>{20, 20}));
    settings.removeObserver(token);
    c.dimAmount = std::numeric_limits<double>::infinity();  // unencodable: current, but not written
    EXPECT_EQ(settings.setConfig(c), Write::failed);
    EXPECT_EQ(settings.config().dimAmount, c.dimAmount);
    EXPECT_EQ(defaults.writeCount(), 2u);
    EXPECT_EQ(seen.size(), 2u);

    // An observer that corrects a value: the others never get the stale one after the new.
    Settings corrected(defaults);
    std::vector<double> first, second;
    corrected.addObserver([&](const Config& value) {
        first.push_back(value.gap);
        if (value.gap < 0) {
            Config fixed = value;
            fixed.gap = 0;
            corrected.setConfig(fixed);
        }
    });
    const auto secondToken = corrected.addObserver([&](const Config& value) { second.push_back(value.gap); });
    corrected.addObserver([&](const Config&) { corrected.removeObserver(secondToken); });
    c.gap = -1;
    c.dimAmount = 0.5;
    corrected.setConfig(c);
    EXPECT_EQ(corrected.config().gap, 0);
    EXPECT_EQ(first, (std::vector<double>{-1, 0}));
    EXPECT_EQ(second, (std::vector<double>{0}));
    c.gap = 5;
    corrected.setConfig(c);
    EXPECT_EQ(second, (std::vector<double>{0}));
}

TEST_F(FileDefaultsTest, ValuesSurviveARestartInTheBaseDirectoryConventionsPlace) {
    EXPECT_EQ(FileDefaults::locationFor("/x/conf", "/home/u"), fs::path("/x/conf/tessaline/settings.json"));
    for (const char* odd : {"", "relative", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(FileDefaults::locationFor(odd, "/home/u"), fs::path("/home/u/.config/tessaline/settings.json"));
    }
    EXPECT_EQ(FileDefaults::locationFor(nullptr, nullptr), std::nullopt);

    const fs::path file = folder / "nested" / "tessaline" / "settings.json";
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
    EXPECT_EQ(entries(file.parent_path()), std::vector<std::string>{"settings.json"});  // no temporary files
}

TEST_F(FileDefaultsTest, AGarbageOrForeignFileIsLeftAloneUntilASettingChanges) {
    const fs::path file = folder / "tessaline" / "settings.json";
    const std::string garbage = "{\"config\": {\"gap\": 4,,, \x01 oops";
    writeFile(file, garbage);
    {
        FileDefaults defaults(file);
        EXPECT_TRUE(defaults.unreadable());
        Settings settings(defaults);
        EXPECT_EQ(settings.origin(), Settings::Origin::missing);
        EXPECT_EQ(settings.setConfig(Config{}), Write::unchanged);
        EXPECT_EQ(readFile(file), garbage);
        EXPECT_EQ(settings.setConfig(Config{.focusBorder = true}), Write::written);
        EXPECT_FALSE(defaults.unreadable());
    }
    FileDefaults reopened(file);
    Settings settings(reopened);
    EXPECT_EQ(settings.origin(), Settings::Origin::stored);
    EXPECT_TRUE(settings.config().focusBorder);

    // An undecodable config survives writes of other keys.
    const fs::path other = folder / "other.json";
    writeFile(other, R"({"config": "written by something else", "other": 1})");
    FileDefaults foreign(other);
    EXPECT_FALSE(foreign.unreadable());
    EXPECT_EQ(Settings(foreign).origin(), Settings::Origin::undecodable);
    EXPECT_TRUE(foreign.setValue("slowToActivate", json::array()));
    EXPECT_EQ(FileDefaults(other).value("config"), json("written by something else"));
}

TEST_F(FileDefaultsTest, AFailedWriteKeepsTheOldFileAndLinksAreWrittenThrough) {
    const fs::path file = folder / "settings.json";
    fs::create_directories(file / "inside");  // a folder, so the rename over it must fail
    FileDefaults defaults(file);
    EXPECT_TRUE(defaults.unreadable());
    EXPECT_FALSE(defaults.setValue("config", json::object()));
    EXPECT_TRUE(fs::is_directory(file / "inside"));
    EXPECT_EQ(entries(folder), std::vector<std::string>{"settings.json"});
    // A string that is not UTF-8 cannot be written and is refused outright.
    FileDefaults good(folder / "good.json");
    EXPECT_FALSE(good.setValue("name", json("\xff")));
    EXPECT_EQ(good.value("name"), std::nullopt);
    EXPECT_TRUE(good.setValue("name", json("ok")));

    const fs::path target = folder / "dotfiles" / "linked.json";
    const fs::path link = folder / "linked.json";
    writeFile(target, "{}");
    fs::create_symlink(target, link);
    ASSERT_TRUE(writeFileAtomically(link, "{\"a\": 1}"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "{\"a\": 1}");
}
