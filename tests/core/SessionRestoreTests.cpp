#include "core/SessionRestore.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_set>

#include "tests/core/StripText.h"

using namespace tessaline;
using SessionRestore::Matches;

namespace {

SavedColumn column(std::vector<SavedWindow> windows, double width = 0.5, std::vector<double> weights = {},
                   bool tabbed = false) {
    return {width, tabbed, std::move(weights), std::move(windows)};
}
SavedStrip savedStrip(std::vector<SavedColumn> columns) { return {"DISPLAY", 1, std::move(columns), std::nullopt}; }

// The matching exactly as it reads: walk the whole candidate list for every
// live window in every pass. Quadratic, and therefore obviously right.
Matches referenceMatch(const std::vector<LiveWindow>& live, const std::vector<SavedStrip>& session) {
    std::vector<std::pair<SavedRef, SavedWindow>> candidates;
    for (int s = 0; s < static_cast<int>(session.size()); ++s)
        for (int c = 0; c < static_cast<int>(session[s].columns.size()); ++c)
            for (int r = 0; r < static_cast<int>(session[s].columns[c].windows.size()); ++r)
                candidates.push_back({{s, c, r}, session[s].columns[c].windows[r]});
    using Predicate = bool (*)(const LiveWindow&, const SavedWindow&);
    const Predicate passes[] = {
        [](const LiveWindow& l, const SavedWindow& w) { return l.id == w.id && l.bundleID == w.bundleID; },
        [](const LiveWindow& l, const SavedWindow& w) {
            return l.bundleID == w.bundleID && !l.title.empty() && l.title == w.title;
        },
        [](const LiveWindow& l, const SavedWindow& w) { return l.bundleID == w.bundleID; },
    };
    Matches result;
    std::unordered_set<SavedRef> used;
    for (const Predicate predicate : passes) {
        for (const auto& l : live) {
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

struct MatchCase {
    const char* what;
    std::vector<SavedStrip> session;
    std::vector<LiveWindow> live;
    Matches expected;
};

TEST(SessionRestoreMatch, NumbersThenTitlesThenSavedOrderPlaceEachWindowOnce) {
    const MatchCase cases[] = {
        {"surviving numbers win their own place first",
         {savedStrip({column({{1, "a"}, {2, "a"}})})},
         {{2, "a"}, {1, "a"}},
         {{2, {0, 0, 1}}, {1, {0, 0, 0}}}},
        {"the same number from another application is no match",
         {savedStrip({column({{5, "a"}}), column({{8, "b"}}), column({{9, "b"}})})},
         {{9, "a"}, {5, "b"}},
         {{9, {0, 0, 0}}, {5, {0, 1, 0}}}},
        {"titles beat saved order",
         {savedStrip({column({{1, "mail", "Inbox"}, {2, "mail", "Drafts"}})})},
         {{10, "mail", "Drafts"}, {11, "mail", "Inbox"}},
         {{10, {0, 0, 1}}, {11, {0, 0, 0}}}},
        {"every title is tried before any application fallback",
         {savedStrip({column({{1, "a", "One"}}), column({{2, "a", "Two"}})})},
         {{30, "a", "Changed"}, {31, "a", "One"}},
         {{30, {0, 1, 0}}, {31, {0, 0, 0}}}},
        {"an empty title identifies nothing",
         {savedStrip({column({{1, "a", "Named"}}), column({{2, "a", ""}})})},
         {{20, "a", ""}, {21, "a", ""}},
         {{20, {0, 0, 0}}, {21, {0, 1, 0}}}},
        {"candidates run strip, then column, then row",
         {savedStrip({column({{1, "b"}, {2, "a"}}), column({{3, "a"}})}), savedStrip({column({{4, "a"}})})},
         {{40, "a"}, {41, "a"}, {42, "a"}},
         {{40, {0, 0, 1}}, {41, {0, 1, 0}}, {42, {1, 0, 0}}}},
        {"a repeated number is one window",
         {savedStrip({column({{1, "a", "T"}}), column({{2, "a", "T"}})})},
         {{7, "a", "T"}, {7, "a", "T"}, {8, "a", "T"}, {9, "a", "T"}},
         {{7, {0, 0, 0}}, {8, {0, 1, 0}}}},
        {"no live windows", {savedStrip({column({{1, "a"}})})}, {}, {}},
        {"nothing saved", {}, {{1, "a"}}, {}},
    };
    for (const MatchCase& c : cases) EXPECT_EQ(SessionRestore::match(c.live, c.session), c.expected) << c.what;
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
        const int ids = large ? 400 : 10;
        std::vector<SavedStrip> session(pick(large ? 20 : 4));
        for (auto& strip : session) {
            strip.columns.resize(pick(large ? 12 : 4));
            for (auto& col : strip.columns) {
                for (int r = pick(3) + 1; r > 0; --r)
                    col.windows.push_back({static_cast<WindowID>(pick(ids)), bundles[pick(4)], titles[pick(4)]});
            }
        }
        std::vector<LiveWindow> live(pick(large ? 300 : 12));
        for (auto& l : live) l = {static_cast<WindowID>(pick(ids)), bundles[pick(4)], titles[pick(4)]};
        ASSERT_EQ(SessionRestore::match(live, session), referenceMatch(live, session)) << "round " << round;
    }
}

TEST(SessionRestoreMatch, TheDominantStripHasMostMatchesAndTiesGoToTheSmallestIndex) {
    const Matches m = {{1, {3, 0, 0}}, {2, {3, 1, 0}}, {3, {0, 0, 0}}, {4, {0, 2, 1}},
                       {5, {2, 0, 0}}, {6, {2, 0, 1}}, {7, {2, 0, 2}}};
    EXPECT_EQ(SessionRestore::dominantStrip({1, 2, 3, 4}, m), 0);
    EXPECT_EQ(SessionRestore::dominantStrip({4, 1, 2}, m), 3);
    EXPECT_EQ(SessionRestore::dominantStrip({1, 2, 3, 4, 5, 6, 7}, m), 2);
    EXPECT_EQ(SessionRestore::dominantStrip({99, 1}, m), 3);
    EXPECT_EQ(SessionRestore::dominantStrip({99, 100}, m), std::nullopt);
    EXPECT_EQ(SessionRestore::dominantStrip({}, m), std::nullopt);
}

struct RebuildCase {
    const char* what;
    std::vector<SavedStrip> session;
    const char* live;
    Matches matches;
    const char* expected;
};

TEST(SessionRestoreRebuild, TheStripTakesTheShapeOfItsDominantSavedStrip) {
    const SavedStrip three = savedStrip({
        column({{1, "a"}, {2, "a"}}, 0.4, {1, 2}),
        column({{3, "b"}}, 0.6, {1}),  // nothing of it is live: closes up
        column({{4, "c"}, {5, "c"}, {6, "c"}}, 0.8, {0.5, 0.7}, true),
    });
    std::vector<SavedStrip> split(4);
    split[0] = savedStrip({column({{1, "a"}, {2, "a"}}, 0.6, {1, 3})});
    split[3] = savedStrip({column({{3, "b"}}, 0.9, {1}), column({{4, "b"}}, 0.9, {1})});
    const SavedStrip pair = savedStrip({column({{1, "a"}}, 0.4, {1}), column({{2, "a"}}, 0.6, {1})});
    const RebuildCase cases[] = {
        {"no dominant saved strip", {savedStrip({column({{9, "a"}})})}, "[1 2^]p:0.3 [3*]:0.7", {{42, {0, 0, 0}}},
         "[1 2^]p:0.3 [3*]:0.7"},
        {"a dominant index the list lacks", {savedStrip({column({{9, "a"}})})}, "[1 2^]p:0.3 [3*]:0.7",
         {{1, {5, 0, 0}}}, "[1 2^]p:0.3 [3*]:0.7"},
        {"an empty strip", {savedStrip({column({{9, "a"}})})}, "", {{1, {0, 0, 0}}}, ""},
        // Row 2 of the tabbed column lies past the saved weights and gets 1; the
        // unmatched window keeps a column of its own, at the end, at its width.
        {"stacks, order, widths and focus", {three}, "[70]:0.25 [20 60*]:0.3~0.9 [10 50]p",
         {{10, {0, 0, 0}}, {20, {0, 0, 1}}, {50, {0, 2, 1}}, {60, {0, 2, 2}}},
         "[10/1 20/2]:0.4 [50/0.7 60/1*]t:0.8 [70]:0.25"},
        {"only the bottom of a saved stack is live",
         {savedStrip({column({{1, "a"}, {2, "a"}, {3, "a"}}, 0.7, {0.5, 0.3, 0.2}, true)})}, "[33*]",
         {{33, {0, 0, 2}}}, "[33/0.2*]t:0.7"},
        // Focus sits on a window that becomes a leftover; it follows the window.
        {"an even split follows the first saved strip", split, "[30]:0.35 [10]:0.2 [40*]:0.45 [20]:0.3",
         {{10, {0, 0, 0}}, {20, {0, 0, 1}}, {30, {3, 0, 0}}, {40, {3, 1, 0}}},
         "[10/1 20/3]:0.6 [30]:0.35 [40*]:0.45"},
        {"an unusable focus falls back to the first column", {pair}, "[10] [20] focus=7",
         {{10, {0, 1, 0}}, {20, {0, 0, 0}}}, "[20*]:0.4 [10]:0.6"},
        {"a match into a missing saved column keeps the window", {pair}, "[10] [20*]:0.3",
         {{10, {0, 0, 0}}, {20, {0, 5, 0}}}, "[10]:0.4 [20*]:0.3"},
    };
    for (const RebuildCase& c : cases) {
        Strip live = parseStrip(c.live);
        live.scroll = 250;
        const Strip rebuilt = SessionRestore::rebuild(live, c.matches, c.session);
        EXPECT_EQ(stripText(rebuilt), c.expected) << c.what;
        EXPECT_EQ(rebuilt.scroll, rebuilt == live ? 250 : 0) << c.what;
    }
}

TEST(SessionRestoreRebuild, EndToEndAfterARestart) {
    const std::vector<SavedStrip> session = {savedStrip({
        column({{101, "term", "build"}, {102, "term", "logs"}}, 0.5, {0.6, 0.4}),
        column({{103, "editor", "main.cpp"}}, 0.75, {1}),
    })};
    // New numbers; one title changed, one window is new.
    const std::vector<LiveWindow> live = {
        {7, "editor", "main.cpp — edited"}, {8, "term", "logs"}, {9, "term", "build"}, {10, "chat", ""}};
    const Strip strip = parseStrip("[7] [8*] [9] [10]:0.33");
    EXPECT_EQ(stripText(SessionRestore::rebuild(strip, SessionRestore::match(live, session), session)),
              "[9/0.6 8/0.4*] [7]:0.75 [10]:0.33");
}

}  // namespace
