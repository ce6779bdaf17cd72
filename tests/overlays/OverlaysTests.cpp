// The overlay coordinator on the simulated desktop: what the user would see
// on screen (which panels, where) as the window manager works, and what the
// clicks and keys in them do.

#include <gtest/gtest.h>

#include "overlays/FocusOverlay.h"
#include "overlays/OverviewController.h"
#include "overlays/StripOverlay.h"
#include "tests/overlays/OverlayScenario.h"

namespace tessaline {
namespace {

Rect grown(const Rect& r, double by) { return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; }

class Overlaid : public OverlayScenario {
protected:
    Rect shownFrame(WindowID id) { return manager().shownFrame(id).value_or(Rect{}); }
    const StripBarPanel* bar() { return overlays.indicator().bar(primary); }
};

TEST_F(Overlaid, BorderAndDimFollowTheFocusedWindowGlidingWithoutRepaints) {
    config.focusBorder = true;
    config.dimInactive = true;
    const auto ids = tile(3);
    const WindowID focused = *manager().focusedTiledWindow();
    RecordingPanel* border = panel(PanelKind::border);
    RecordingPanel* dim = panel(PanelKind::dim);
    ASSERT_TRUE(border && dim);
    EXPECT_TRUE(border->isShown());
    EXPECT_EQ(border->frame(), grown(shownFrame(focused), 13));
    EXPECT_EQ(dim->frame(), (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(dim->hole(), (RoundedRect{shownFrame(focused), 10}));

    // Focusing the last window scrolls the strip: the border glides along,
    // one move per frame, and nothing is painted again.
    const RecordingPanel::Counts before = border->counts();
    const int dimPaints = dim->counts().paints;
    perform(Action::focusLast);
    EXPECT_EQ(*manager().focusedTiledWindow(), ids[2]);
    EXPECT_EQ(border->frame(), grown(shownFrame(ids[2]), 13));
    EXPECT_EQ(dim->hole()->rect, shownFrame(ids[2]));
    EXPECT_GT(border->counts().moves - before.moves, 3);
    EXPECT_EQ(border->counts().paints, before.paints);
    EXPECT_EQ(dim->counts().paints, dimPaints);

    // A window being dragged is neither outlined nor spared by the shade.
    const Rect frame = shownFrame(ids[2]);
    const Point grab{frame.midX(), frame.y + 10};
    input().movePointer(grab);
    input().pressButton();
    settle(0.05);
    for (double dx : {1.0, 200.0}) {
        input().movePointer({grab.x + dx, grab.y});
        desk.setFrame(ids[2], {frame.x + dx, frame.y, frame.width, frame.height});
        settle(0.1);
    }
    ASSERT_EQ(manager().dragging(), ids[2]);
    EXPECT_FALSE(border->isShown());
    EXPECT_FALSE(dim->isShown());
    EXPECT_TRUE(shown(PanelKind::drop));
    input().releaseButton();
    settle();
    EXPECT_TRUE(border->isShown());
    EXPECT_FALSE(shown(PanelKind::drop));

    // (That there is no shade without a compositor is seen on the X server's screen.)
    Config off = manager().config;
    off.focusBorder = false;
    off.dimInactive = false;
    manager().apply(off);
    EXPECT_TRUE(panels.shown().empty());
}

TEST_F(Overlaid, TabBarsSitAboveTheActiveTabUntilAStopAndNothingShowsOnceTheManagerIsGone) {
    config.focusBorder = true;
    tile(2);
    perform(Action::focusLast);
    perform(Action::stackLeft);
    perform(Action::toggleTabbed);
    ASSERT_EQ(strip().count(), 1);
    RecordingPanel* bar = panel(PanelKind::tabBar);
    ASSERT_TRUE(bar && bar->isShown());
    const Strip stack = strip();
    const Column& column = stack.columns[0];
    const Rect window = shownFrame(column.windows[column.active]);
    EXPECT_EQ(bar->frame(), (Rect{window.x, window.y - 26, window.width, 22}));

    // Clicks on tabs are made on the X server's screen. A stop leaves nothing on screen.
    manager().stop();
    EXPECT_TRUE(panels.shown().empty());

    // Nor does anything show once the window manager is gone.
    start();
    const StripKey key = primaryKey();
    destroyManager();
    overlays.refresh();
    overlays.showStrip(key, false);
    overlays.beginTimelinePeek(key);
    overlays.showOverview(key);
    settle();
    EXPECT_TRUE(panels.shown().empty());
    EXPECT_FALSE(overlays.timelineOpen());
    EXPECT_EQ(overlays.reservedHeight(3, *desk.display(primary)), 0);
}

TEST_F(Overlaid, TheStripBarFadesAfterAMomentUnlessHeldOrUnderThePointer) {
    tile(3);
    const StripKey key = primaryKey();
    const auto showing = [&] { return overlays.indicator().isShowing(primary); };

    // The bar paints when what it shows changes, not at every refresh.
    overlays.showStrip(key, false);
    const int paints = panel(PanelKind::stripBar)->counts().paints;
    overlays.refresh();
    overlays.showStrip(key, false);
    EXPECT_EQ(panel(PanelKind::stripBar)->counts().paints, paints);
    manager().perform(Action::focusRight);
    EXPECT_EQ(panel(PanelKind::stripBar)->counts().paints, paints + 1);

    settle(1.1);
    EXPECT_TRUE(showing());
    settle(0.2);
    EXPECT_TRUE(overlays.indicator().isFading(primary));
    overlays.refresh();  // a refresh does not bring a fading bar back
    settle(0.5);
    EXPECT_FALSE(showing());
    EXPECT_FALSE(bar()->panel().isShown());

    overlays.showStrip(key, true);
    settle(2.4);
    EXPECT_TRUE(showing());
    settle(0.6);
    EXPECT_FALSE(showing());

    overlays.showStrip(key, false);
    const Rect frame = bar()->panel().frame();
    input().movePointer({frame.midX(), frame.midY()});
    settle(5);
    EXPECT_TRUE(showing());
    input().movePointer({10, 10});
    settle(1.7);
    EXPECT_FALSE(showing());
}

TEST_F(Overlaid, AnAlwaysShownIconBarKeepsRoomBelowTheWindows) {
    config.stripIndicatorAlways = true;
    const auto ids = tile(3);
    const Display display = *manager().displayByUUID(primary);
    // 60 points of classic bar for 3 columns, and 14 to spare.
    EXPECT_EQ(overlays.reservedHeight(3, display), 74);
    EXPECT_EQ(shownFrame(ids[0]).maxY(), 900 - 74 - 10);
    settle(5);
    ASSERT_TRUE(bar());
    EXPECT_TRUE(bar()->panel().isShown());
    EXPECT_EQ(bar()->panel().frame(), (Rect{640, 828, 160, 60}));

    for (const auto& [indicator, always] : {std::pair{StripIndicator::minimap, true},
                                            std::pair{StripIndicator::icons, false}}) {
        Config changed = manager().config;
        changed.stripIndicator = indicator;
        changed.stripIndicatorAlways = always;
        manager().apply(changed);
        EXPECT_EQ(overlays.reservedHeight(3, display), 0);
    }
}

TEST_F(Overlaid, TheTimelinePeeksPinsClosesAndTakesDrops) {
    // [1] [2 3 4 5] [6]
    const auto ids = tile(6);
    for (int step = 0; step < 3; ++step) {
        perform(Action::focus3);
        perform(Action::stackLeft);
    }
    ASSERT_EQ(strip().count(), 3);
    ASSERT_EQ(strip().columns[1].windows.size(), 4u);
    const StripKey key = primaryKey();

    overlays.beginTimelinePeek(key);
    ASSERT_TRUE(overlays.timelineOpen());
    EXPECT_TRUE(bar()->model.expanded);
    EXPECT_EQ(bar()->panel().frame().height, 236);  // four rows
    overlays.clickedElsewhere();
    EXPECT_TRUE(overlays.timelineOpen());  // a peek ends with the chord, not a click
    overlays.endTimelinePeek(true);
    EXPECT_TRUE(panels.escapeLent());
    overlays.endTimelinePeek(false);
    EXPECT_TRUE(overlays.timelineOpen());
    overlays.clickedElsewhere();
    EXPECT_FALSE(overlays.timelineOpen());
    EXPECT_FALSE(panels.escapeLent());
    EXPECT_FALSE(bar()->model.expanded);

    perform(Action::toggleTimeline);
    ASSERT_TRUE(panels.pressEscape());
    EXPECT_FALSE(overlays.timelineOpen());

    // Dragging the last window's chip into the stack, below its first chip.
    perform(Action::toggleTimeline);
    RecordingPanel& p = *panel(PanelKind::stripBar);
    EXPECT_EQ(overlays.panelAt({p.frame().midX(), p.frame().midY()}), &p);
    EXPECT_EQ(overlays.panelAt({p.frame().midX(), p.frame().y - 1}), nullptr);
    const Metrics& m = bar()->model.metrics;
    const Rect from = m.chipRect(2, 0);
    const Rect to = m.chipRect(1, 1);
    p.press({from.midX(), from.midY()});
    p.moveTo({to.midX(), to.midY() - 10});
    p.moveTo({to.midX(), to.midY() - 8});
    ASSERT_TRUE(bar()->drag());
    EXPECT_EQ(bar()->drag()->target, (DropTarget{Stack{1, 1}}));
    p.release({to.midX(), to.midY() - 8});
    settle();
    ASSERT_EQ(strip().count(), 2);
    EXPECT_EQ(strip().columns[1].windows[1], ids[5]);
    EXPECT_TRUE(overlays.timelineOpen());

    // (A click on a chip is made on the X server's screen.) The overview and the timeline never show together.
    perform(Action::overview);
    overlays.beginTimelinePeek(key);
    EXPECT_FALSE(overlays.timelineOpen());
}

TEST_F(Overlaid, APeekNeverOutlivesTheChordThatOpenedIt) {
    const std::string side = desk.addDisplay(Rect{1440, 0, 1440, 900}, "Side");
    openWindow("Mail");
    desk.openWindow(app("Notes"), "", {1600, 100, 800, 600});
    start();
    const StripKey sideKey{side, desk.currentSpace(side)};
    // The side bar's fade, due while the peek is open, checks the chord.
    panels.held = Modifiers::control | Modifiers::option;
    overlays.showStrip(sideKey, false);
    overlays.beginTimelinePeek(primaryKey());
    settle(2);
    EXPECT_TRUE(overlays.timelineOpen());
    EXPECT_FALSE(overlays.indicator().isShowing(side));
    overlays.closeTimeline();

    overlays.showStrip(sideKey, false);
    overlays.beginTimelinePeek(primaryKey());
    settle(0.5);
    panels.held = {};
    EXPECT_TRUE(overlays.timelineOpen());
    settle(1);
    EXPECT_FALSE(overlays.timelineOpen());
}

TEST_F(Overlaid, TheMinimapShowsInsteadOfTheBarAndComesBackAfterTheTimeline) {
    config.stripIndicator = StripIndicator::minimap;
    tile(3);
    overlays.showStrip(primaryKey(), false);
    RecordingPanel* minimap = panel(PanelKind::minimap);
    ASSERT_TRUE(minimap && minimap->isShown());
    // Three 705-point columns: 2155 points of strip at 7.5 %, plus 24.
    EXPECT_EQ(minimap->frame(), (Rect{627, 816, 186, 56}));

    overlays.beginTimelinePeek(primaryKey());
    EXPECT_FALSE(minimap->isShown());
    EXPECT_TRUE(bar()->panel().isShown());
    overlays.closeTimeline();
    EXPECT_TRUE(minimap->isShown());
    EXPECT_FALSE(bar()->panel().isShown());
}

TEST_F(Overlaid, TheOverviewTakesTheKeyboardChoosesByKeyAndClosesOnItsBackground) {
    tile(3);
    const WindowID focused = *manager().focusedTiledWindow();
    perform(Action::overview);
    RecordingPanel* p = panel(PanelKind::overview);
    ASSERT_TRUE(p && p->isShown());
    EXPECT_TRUE(p->hasKeyboard());
    EXPECT_TRUE(panels.escapeLent());
    EXPECT_EQ(p->frame(), (Rect{0, 0, 1440, 900}));
    const OverviewModel& model = overlays.overview().model();
    EXPECT_EQ(model.cards.size(), 3u);
    EXPECT_EQ(model.selected, focused);

    EXPECT_TRUE(p->type(OverlayKey::right));
    const WindowID chosen = *model.selected;
    EXPECT_NE(chosen, focused);
    EXPECT_FALSE(p->type(OverlayKey::other));
    EXPECT_TRUE(p->type(OverlayKey::returnKey));
    EXPECT_FALSE(overlays.overviewOpen());
    EXPECT_FALSE(p->hasKeyboard());
    EXPECT_FALSE(panels.escapeLent());
    settle();
    EXPECT_FALSE(p->isShown());
    EXPECT_EQ(manager().focusedTiledWindow(), chosen);

    // A click on the background only closes (clicks on cards, and Escape,
    // are made on the X server's screen).
    perform(Action::overview);
    p->click({2, 2});
    settle();
    EXPECT_FALSE(overlays.overviewOpen());
    EXPECT_EQ(manager().focusedTiledWindow(), chosen);
}

}  // namespace
}  // namespace tessaline
