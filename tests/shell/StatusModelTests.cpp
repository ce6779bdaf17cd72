#include "app/shell/StatusModel.h"

#include <gtest/gtest.h>

namespace tessaline::shell {
namespace {

TEST(StatusModel, TheMenuSaysWhatTilingDoesAndOffersWhatFits) {
    auto titles = [](const StatusModel& model) {
        std::vector<std::string> out;
        for (const auto& entry : model.menu) {
            out.push_back(entry.kind == MenuEntry::Kind::separator ? "—"
                                                                    : entry.title + (entry.enabled ? "" : " (off)"));
        }
        return out;
    };
    StatusInputs inputs{.managesDisplay = true, .running = true, .tiledCount = 3,
                        .bindings = {{"toggleTiling", {{123, KeyCombo::ctrlOpt}}}}};
    StatusModel model = statusModel(inputs);
    EXPECT_EQ(model.icon, StatusIcon::tiling);
    EXPECT_EQ(titles(model),
              (std::vector<std::string>{"Tiling 3 windows (off)", "—", "Pause Tiling  (⌃⌥←)", "Retile Windows",
                                        "Overview", "—", "Settings…", "Welcome & Setup…", "About Tessaline",
                                        "Check for Updates… (off)", "—", "Quit Tessaline"}));
    EXPECT_EQ(model.menu[2].id, "stop");
    EXPECT_EQ(model.menu.back().keyEquivalent, "q");

    inputs.tiledCount = 1;
    EXPECT_EQ(statusModel(inputs).menu[0].title, "Tiling 1 window");

    inputs.running = false;
    model = statusModel(inputs);
    EXPECT_EQ(model.icon, StatusIcon::paused);
    EXPECT_EQ(titles(model)[0], "Paused (off)");
    EXPECT_EQ(model.menu[2].id, "start");
    EXPECT_EQ(titles(model)[3], "Retile Windows (off)");
    EXPECT_EQ(titles(model)[4], "Overview (off)");

    inputs.managesDisplay = false;
    model = statusModel(inputs);
    EXPECT_EQ(model.icon, StatusIcon::needsDisplay);
    EXPECT_EQ(titles(model)[0], "Not managing the display (off)");
    EXPECT_EQ(titles(model)[2], "How to Start Tessaline…");
}

}  // namespace
}  // namespace tessaline::shell
