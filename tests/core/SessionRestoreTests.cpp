#include "core/SessionRestore.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_set>

using namespace tessaline;
using SessionRestore::Matches;

namespace {

SavedWindow saved(WindowID id, std::string bundleID, std::string title = "") {
    return {id, std::move(bundleID), std::move(title)};
}

LiveWindow live(WindowID id, std::string bundleID, std::string title = "") {
    return {id, std::move(bundleID), std::move(title)};
}

SavedColumn savedColumn(std::vector<SavedWindow> windows, double width = 0.5,
                        std::vector<double> weights = {}, bool tabbed = false) {
    return {width, tabbed, std::move(weights), std::move(windows)};
}

SavedStrip savedStrip(std::vector<SavedColumn> columns) {
    return {"DISPLAY", 1, std::move(columns), std::nullopt};
}

Column column(std::vector<WindowID> windows, double width, std::vector<double> weights,
              bool tabbed = false, int active = 0) {
    Column c;
    c.windows = std::move(windows);
    c.weights = std::move(weights);
    c.width = width;
    c.tabbed = tabbed;
    c.active = active;
    return c;
}

// The matching exactly as it reads: walk the whole candidate list for every
// live window in every pass. Quadratic, and therefore obviously right.
Matches referenceMatch(const std::vector<LiveWindow>& liveWindows,
                       const std::vector<SavedStrip>& session) {
    std::vector<std::pair<SavedRef, SavedWindow>> candidates;
    for (int s = 0; s < static_cast<int>(session.size()); ++s)
        for (int c = 0; c < static_cast<int>(session[s].columns.size()); ++c)
            for (int r = 0; r < static_cast<int>(session[s].columns[c].windows.size()); ++r)
                candidates.push_back({{s, c, r}, session[s].columns[c].windows[r]});
    using Predicate = bool (*)(const LiveWindow&, const SavedWindow&);
    const Predicate passes[] = {
        [](const LiveWindow& l, const SavedWindow& w) {
            return l.id == w.id && l.bundleID == w.bundleID;
        },
        [](const LiveWindow& l, const SavedWindow& w) {
            return l.bundleID == w.bundleID && !l.title.empty() && l.title == w.title;
        },
        [](const LiveWindow& l, const SavedWindow& w) { return l.bundleID == w.bundleID; },
    };
    Matches result;
    std::unordered_set<SavedRef> used;
    for (const Predicate predicate : passes) {
        for (const auto& l : liveWindows) {
            if (result.contains(l.id)) continue;
            for (const auto& [ref, w] : candidates) {
                if (used.contains(ref) || !predicate(l, w)) continue;
                result[l.id] = ref;
                used.insert(ref);
                break;
            }
        }
    }
    return result;
}

}  // namespace

TEST(SessionRestoreMatch, SurvivingNumbersWinTheirOwnPlaceFirst) {
    const std::vector<SavedStrip> session = {
        savedStrip({savedColumn({saved(1, "a"), saved(2, "a")})})};
    const auto m = SessionRestore::match({live(2, "a"), live(1, "a")}, session);
    EXPECT_EQ(m, (Matches{{2, {0, 0, 1}}, {1, {0, 0, 0}}}));
}

TEST(SessionRestoreMatch, SameNumberFromAnotherApplicationIsNoMatch) {
    const std::vector<SavedStrip> session = {savedStrip(
        {savedColumn({saved(5, "a")}), savedColumn({saved(8, "b")}), savedColumn({saved(9, "b")})})};
    // 9 was a "b" window and 5 an "a" window; each live window falls back to
    // the first free place of its own application.
    const auto m = SessionRestore::match({live(9, "a"), live(5, "b")}, session);
    EXPECT_EQ(m, (Matches{{9, {0, 0, 0}}, {5, {0, 1, 0}}}));
}

TEST(SessionRestoreMatch, TitlesBeatSavedOrder) {
    const std::vector<SavedStrip> session = {savedStrip(
        {savedColumn({saved(1, "mail", "Inbox"), saved(2, "mail", "Drafts")})})};
    const auto m =
        SessionRestore::match({live(10, "mail", "Drafts"), live(11, "mail", "Inbox")}, session);
    EXPECT_EQ(m, (Matches{{10, {0, 0, 1}}, {11, {0, 0, 0}}}));
}

TEST(SessionRestoreMatch, EveryTitleIsTriedBeforeAnyApplicationFallback) {
    const std::vector<SavedStrip> session = {savedStrip(
        {savedColumn({saved(1, "a", "One")}), savedColumn({saved(2, "a", "Two")})})};
    // The first live window's title changed; it must not take the place the
    // second one is recognised by.
    const auto m = SessionRestore::match({live(30, "a", "Changed"), live(31, "a", "One")}, session);
    EXPECT_EQ(m, (Matches{{30, {0, 1, 0}}, {31, {0, 0, 0}}}));
}

TEST(SessionRestoreMatch, EmptyTitlesFillPlacesInSavedOrder) {
    const std::vector<SavedStrip> session = {
        savedStrip({savedColumn({saved(1, "a", "Named")}), savedColumn({saved(2, "a", "")})})};
    // An empty title identifies nothing, so it does not pair with the empty
    // saved title; both windows go by saved order, first live window first.
    const auto m = SessionRestore::match({live(20, "a", ""), live(21, "a", "")}, session);
    EXPECT_EQ(m, (Matches{{20, {0, 0, 0}}, {21, {0, 1, 0}}}));
}

TEST(SessionRestoreMatch, CandidatesRunStripThenColumnThenRow) {
    const std::vector<SavedStrip> session = {
        savedStrip({savedColumn({saved(1, "b"), saved(2, "a")}), savedColumn({saved(3, "a")})}),
        savedStrip({savedColumn({saved(4, "a")})})};
    const auto m = SessionRestore::match({live(40, "a"), live(41, "a"), live(42, "a")}, session);
    EXPECT_EQ(m, (Matches{{40, {0, 0, 1}}, {41, {0, 1, 0}}, {42, {1, 0, 0}}}));
}

TEST(SessionRestoreMatch, PlacesAndWindowsAreUsedAtMostOnce) {
    const std::vector<SavedStrip> session = {
        savedStrip({savedColumn({saved(1, "a", "T")}), savedColumn({saved(2, "a", "T")})})};
    // The repeated number 7 is one window: its second listing is skipped.
    const auto m = SessionRestore::match(
        {live(7, "a", "T"), live(7, "a", "T"), live(8, "a", "T"), live(9, "a", "T")}, session);
    EXPECT_EQ(m, (Matches{{7, {0, 0, 0}}, {8, {0, 1, 0}}}));
    EXPECT_TRUE(SessionRestore::match({}, session).empty());
    EXPECT_TRUE(SessionRestore::match({live(1, "a")}, {}).empty());
}

// The indexed matcher must agree with the plain scan on every input, including
// repeated numbers, empty titles and empty application identifiers.
TEST(SessionRestoreMatch, AgreesWithThePlainScanOnRandomInputs) {
    std::mt19937 rng(20240611);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* bundles[] = {"a", "b", "c", ""};
    const char* titles[] = {"", "x", "y", "z"};
    for (int round = 0; round < 1500; ++round) {
        const bool large = round % 75 == 0;
        const int idRange = large ? 400 : 10;
        std::vector<SavedStrip> session(pick(large ? 20 : 4));
        for (auto& strip : session) {
            strip.columns.resize(pick(large ? 12 : 4));
            for (auto& col : strip.columns) {
                for (int r = pick(3) + 1; r > 0; --r) {
                    col.windows.push_back(saved(static_cast<WindowID>(pick(idRange)),
                                                bundles[pick(4)], titles[pick(4)]));
                }
            }
        }
        std::vector<LiveWindow> liveWindows(pick(large ? 300 : 12));
        for (auto& l : liveWindows) {
            l = live(static_cast<WindowID>(pick(idRange)), bundles[pick(4)], titles[pick(4)]);
        }
        ASSERT_EQ(SessionRestore::match(liveWindows, session), referenceMatch(liveWindows, session))
            << "round " << round;
    }
}

TEST(SessionRestoreDominantStrip, MostMatchesWinsAndTiesGoToTheSmallestIndex) {
    const Matches m = {{1, {3, 0, 0}}, {2, {3, 1, 0}}, {3, {0, 0, 0}}, {4, {0, 2, 1}},
                       {5, {2, 0, 0}}, {6, {2, 0, 1}}, {7, {2, 0, 2}}};
    EXPECT_EQ(SessionRestore::dominantStrip({1, 2, 3, 4}, m), 0);
    EXPECT_EQ(SessionRestore::dominantStrip({4, 1, 2}, m), 3);
    EXPECT_EQ(SessionRestore::dominantStrip({1, 2, 3, 4, 5, 6, 7}, m), 2);
    EXPECT_EQ(SessionRestore::dominantStrip({99, 1}, m), 3);
    EXPECT_EQ(SessionRestore::dominantStrip({99, 100}, m), std::nullopt);
    EXPECT_EQ(SessionRestore::dominantStrip({}, m), std::nullopt);
}

TEST(SessionRestoreRebuild, LeavesAStripWithoutADominantSavedStripAlone) {
    Strip strip({column({1, 2}, 0.3, {1, 1}, false, 1), column({3}, 0.7, {1})}, 1, 250);
    strip.previous = 0;
    const std::vector<SavedStrip> session = {savedStrip({savedColumn({saved(9, "a")})})};
    EXPECT_EQ(SessionRestore::rebuild(strip, {{42, {0, 0, 0}}}, session), strip);
    // A dominant index the saved list does not have changes nothing either.
    EXPECT_EQ(SessionRestore::rebuild(strip, {{1, {5, 0, 0}}}, session), strip);
    EXPECT_EQ(SessionRestore::rebuild(Strip{}, {{1, {0, 0, 0}}}, session), Strip{});
}

TEST(SessionRestoreRebuild, RestoresStacksOrderWidthsAndFocus) {
    const std::vector<SavedStrip> session = {savedStrip({
        savedColumn({saved(1, "a"), saved(2, "a")}, 0.4, {1, 2}),
        savedColumn({saved(3, "b")}, 0.6, {1}),  // nothing of it is live: closes up
        savedColumn({saved(4, "c"), saved(5, "c"), saved(6, "c")}, 0.8, {0.5, 0.7}, true),
    })};
    Strip strip({column({70}, 0.25, {1}), column({20, 60}, 0.3, {1, 1}, false, 1),
                 column({10, 50}, 0.5, {1, 1})},
                1, 500);
    strip.previous = 2;
    strip.columns[1].savedWidth = 0.9;
    const Matches m = {{10, {0, 0, 0}}, {20, {0, 0, 1}}, {50, {0, 2, 1}}, {60, {0, 2, 2}}};

    Strip expected({column({10, 20}, 0.4, {1, 2}),
                    // Row 2 lies past the saved weights and gets 1.0.
                    column({50, 60}, 0.8, {0.7, 1.0}, true, 1),
                    // Unmatched: a column of its own at the end, old width kept.
                    column({70}, 0.25, {1})},
                   1, 0);
    EXPECT_EQ(SessionRestore::rebuild(strip, m, session), expected);
}

TEST(SessionRestoreRebuild, OnlyTheBottomWindowOfASavedStackIsLive) {
    const std::vector<SavedStrip> session = {savedStrip(
        {savedColumn({saved(1, "a"), saved(2, "a"), saved(3, "a")}, 0.7, {0.5, 0.3, 0.2}, true)})};
    const Strip strip({column({33}, 0.5, {1})}, 0, 0);
    const Strip rebuilt = SessionRestore::rebuild(strip, {{33, {0, 0, 2}}}, session);
    EXPECT_EQ(rebuilt, Strip({column({33}, 0.7, {0.2}, true)}, 0, 0));
}

TEST(SessionRestoreRebuild, EvenSplitFollowsTheFirstSavedStrip) {
    std::vector<SavedStrip> session(4);
    session[0] = savedStrip({savedColumn({saved(1, "a"), saved(2, "a")}, 0.6, {1, 3})});
    session[3] = savedStrip({savedColumn({saved(3, "b")}, 0.9, {1}),
                             savedColumn({saved(4, "b")}, 0.9, {1})});
    // Focus sits on a window that becomes a leftover; it follows the window.
    const Strip strip({column({30}, 0.35, {1}), column({10}, 0.2, {1}), column({40}, 0.45, {1}),
                       column({20}, 0.3, {1})},
                      2, 100);
    const Matches m = {{10, {0, 0, 0}}, {20, {0, 0, 1}}, {30, {3, 0, 0}}, {40, {3, 1, 0}}};
    const Strip expected({column({10, 20}, 0.6, {1, 3}), column({30}, 0.35, {1}),
                          column({40}, 0.45, {1})},
                         2, 0);
    EXPECT_EQ(SessionRestore::rebuild(strip, m, session), expected);
}

TEST(SessionRestoreRebuild, AnUnusableFocusFallsBackToTheFirstColumn) {
    const std::vector<SavedStrip> session = {
        savedStrip({savedColumn({saved(1, "a")}, 0.4, {1}), savedColumn({saved(2, "a")}, 0.6, {1})})};
    Strip strip({column({10}, 0.5, {1}), column({20}, 0.5, {1})}, 7, 0);
    const Matches m = {{10, {0, 1, 0}}, {20, {0, 0, 0}}};
    const Strip rebuilt = SessionRestore::rebuild(strip, m, session);
    EXPECT_EQ(rebuilt.focused, 0);
    EXPECT_EQ(rebuilt.windows(), (std::vector<WindowID>{20, 10}));
}

TEST(SessionRestoreRebuild, MatchIntoAMissingSavedColumnKeepsTheWindow) {
    const std::vector<SavedStrip> session = {savedStrip({savedColumn({saved(1, "a")}, 0.4, {1})})};
    const Strip strip({column({10}, 0.5, {1}), column({20}, 0.3, {1})}, 1, 0);
    // Matches made against other saved data point past this strip's columns.
    const Matches m = {{10, {0, 0, 0}}, {20, {0, 5, 0}}};
    const Strip expected({column({10}, 0.4, {1}), column({20}, 0.3, {1})}, 1, 0);
    EXPECT_EQ(SessionRestore::rebuild(strip, m, session), expected);
}

TEST(SessionRestoreRebuild, EndToEndAfterARestart) {
    const std::vector<SavedStrip> session = {savedStrip({
        savedColumn({saved(101, "term", "build"), saved(102, "term", "logs")}, 0.5, {0.6, 0.4}),
        savedColumn({saved(103, "editor", "main.cpp")}, 0.75, {1}),
    })};
    // New numbers; one title changed, one window is new.
    const std::vector<LiveWindow> liveWindows = {live(7, "editor", "main.cpp — edited"),
                                                 live(8, "term", "logs"), live(9, "term", "build"),
                                                 live(10, "chat", "")};
    const Strip strip({column({7}, 0.5, {1}), column({8}, 0.5, {1}), column({9}, 0.5, {1}),
                       column({10}, 0.33, {1})},
                      1, 40);
    const Strip rebuilt =
        SessionRestore::rebuild(strip, SessionRestore::match(liveWindows, session), session);
    const Strip expected({column({9, 8}, 0.5, {0.6, 0.4}, false, 1), column({7}, 0.75, {1}),
                          column({10}, 0.33, {1})},
                         0, 0);
    EXPECT_EQ(rebuilt, expected);
}
