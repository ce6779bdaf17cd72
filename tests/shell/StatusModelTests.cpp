#include "app/shell/StatusModel.h"

#include <gtest/gtest.h>

namespace tessaline::shell {
namespace {

// The menu itself is read over the bus in the status icon's test.
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

}  // namespace
}  // namespace tessaline::shell
