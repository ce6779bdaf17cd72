#include <gtest/gtest.h>

#include "Files.h"
#include "settings/model/SharedSettings.h"

using namespace tessaline;
using namespace tessaline::prefs;
using namespace tessaline::prefs::testing;
using Result = SharedSettings::EditResult;

TEST(SharedSettingsTest, TheWindowAndTheManagerEditOneFileWithoutLosingEachOthersChanges) {
    TempFolder folder;
    const fs::path file = folder.path / "tessaline" / "settings.json";
    SharedSettings window(file);
    int changes = 0;
    window.setOnChange([&] { ++changes; });
    EXPECT_FALSE(fs::exists(file)) << "opening the window writes nothing";

    EXPECT_EQ(window.edit([](Config& c) { c.gap = 16; }), Result::saved);
    const std::string written = readFile(file);
    EXPECT_EQ(window.edit([](Config& c) { c.gap = 16; }), Result::unchanged);
    EXPECT_EQ(readFile(file), written) << "an equal value is not written again";

    // The manager (another reader of the same file) changes something else.
    {
        SharedSettings manager(file);
        EXPECT_EQ(manager.config().gap, 16);
        manager.edit([](Config& c) { c.animate = false; });
    }
    EXPECT_EQ(window.edit([](Config& c) { c.dimInactive = true; }), Result::saved);
    SharedSettings reader(file);
    EXPECT_EQ(reader.config().gap, 16);
    EXPECT_FALSE(reader.config().animate) << "the window's edit starts from the newest file";
    EXPECT_TRUE(reader.config().dimInactive);
    EXPECT_EQ(changes, 3);

    // A hand edit that breaks the file is shown, and never written over; the
    // last good settings stay.
    const Config good = window.config();
    writeFile(file, "{\"config\": {\"gap\": 8,");
    EXPECT_TRUE(window.reloadIfChanged());
    ASSERT_TRUE(window.problem());
    EXPECT_EQ(window.config(), good);
    EXPECT_EQ(window.edit([](Config& c) { c.gap = 30; }), Result::refused);
    EXPECT_EQ(readFile(file), "{\"config\": {\"gap\": 8,");
    EXPECT_FALSE(window.reloadIfChanged()) << "the same broken text is read once";

    // Repaired by hand: followed.
    writeFile(file, "{\"config\": {\"gap\": 8}}");
    EXPECT_TRUE(window.reloadIfChanged());
    EXPECT_FALSE(window.problem());
    EXPECT_EQ(window.config().gap, 8);

    // Broken again, then set aside on request: the broken text is kept beside.
    writeFile(file, "{\"config\": [1, 2]}");
    window.reloadIfChanged();
    EXPECT_TRUE(window.problem());
    const auto aside = window.setAside();
    ASSERT_TRUE(aside);
    EXPECT_EQ(aside->filename(), "settings.json.broken");
    EXPECT_EQ(readFile(*aside), "{\"config\": [1, 2]}");
    EXPECT_FALSE(window.problem());
    EXPECT_EQ(window.config(), Config()) << "starting over means the defaults";
    EXPECT_EQ(window.edit([](Config& c) { c.gap = 30; }), Result::saved);
    EXPECT_FALSE(window.setAside()) << "a readable file stays where it is";
}
