#include "core/SavedSession.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

using namespace tessaline;
using nlohmann::json;

namespace {

SavedSession sampleSession() {
    SavedWindow editor{4294967295u, "com.example.editor", "notes.txt — Editor"};
    SavedWindow term{12, "com.example.term", ""};
    SavedColumn stacked{0.333, true, {0.25, 1.75}, {editor, term}};
    SavedColumn single{1.0, false, {1.0}, {SavedWindow{0, "", ""}}};
    SavedStrip first{"DISPLAY-A", std::numeric_limits<SpaceID>::max(), {stacked, single}, 7.5};
    SavedStrip second{"DISPLAY-B", 0, {}, std::nullopt};
    SavedSetup setup{{"DISPLAY-A", "DISPLAY-B"}, {first, second}, -12345.125};
    return SavedSession{{first, second}, {setup, SavedSetup{{}, {}, std::nullopt}}};
}

json sampleJSON() { return json::parse(encodeSession(sampleSession())); }
std::optional<SavedSession> decodeJSON(const json& j) { return decodeSession(j.dump()); }

TEST(SavedSessionFile, RoundTripsOnOneLineUnderTheFieldNames) {
    const std::string text = encodeSession(sampleSession());
    EXPECT_EQ(decodeSession(text), sampleSession());
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);

    const json j = sampleJSON();
    const json& strip = j.at("strips").at(0);
    EXPECT_EQ(strip.at("display"), "DISPLAY-A");
    EXPECT_EQ(strip.at("space").get<std::uint64_t>(), std::numeric_limits<SpaceID>::max());
    EXPECT_DOUBLE_EQ(strip.at("seen").get<double>(), 7.5);
    const json& column = strip.at("columns").at(0);
    EXPECT_EQ(column.at("tabbed"), true);
    EXPECT_EQ(column.at("weights"), json::array({0.25, 1.75}));
    EXPECT_EQ(column.at("windows").at(0).at("id").get<std::uint64_t>(), 4294967295u);
    EXPECT_EQ(column.at("windows").at(0).at("bundleID"), "com.example.editor");
    EXPECT_FALSE(j.at("strips").at(1).contains("seen"));
    EXPECT_EQ(j.at("setups").at(0).at("displays"), json::array({"DISPLAY-A", "DISPLAY-B"}));
    EXPECT_FALSE(j.at("setups").at(1).contains("seen"));

    // Titles that are not UTF-8 are written mended rather than thrown on.
    SavedSession broken;
    broken.strips.push_back(SavedStrip{"D", 1, {SavedColumn{0.5, false, {1}, {{3, "app", "bad \xff\xfe title"}}}}, {}});
    std::string brokenText;
    ASSERT_NO_THROW(brokenText = encodeSession(broken));
    const auto back = decodeSession(brokenText);
    ASSERT_TRUE(back);
    const std::string& title = back->strips[0].columns[0].windows[0].title;
    EXPECT_EQ(title.rfind("bad ", 0), 0u);
    EXPECT_NE(title.find(" title"), std::string::npos);
}

TEST(SavedSessionFile, TimestampsCountSecondsFrom2001AndClampInsteadOfOverflowing) {
    using namespace std::chrono;
    const system_clock::time_point reference{seconds(978307200)};
    EXPECT_DOUBLE_EQ(toTimestamp(reference), 0.0);
    EXPECT_DOUBLE_EQ(toTimestamp(system_clock::time_point{}), -978307200.0);
    EXPECT_DOUBLE_EQ(toTimestamp(reference + milliseconds(1500)), 1.5);
    EXPECT_EQ(toTimePoint(0), reference);
    EXPECT_EQ(toTimePoint(-978307200.0), system_clock::time_point{});
    const auto now = system_clock::time_point{seconds(1'700'000'000) + milliseconds(250)};
    EXPECT_NEAR(duration<double>(toTimePoint(toTimestamp(now)) - now).count(), 0.0, 1e-6);
    EXPECT_EQ(toTimePoint(1e300), system_clock::time_point::max());
    EXPECT_EQ(toTimePoint(-1e300), system_clock::time_point::min());
    EXPECT_EQ(toTimePoint(std::numeric_limits<double>::quiet_NaN()), toTimePoint(0));
}

TEST(SavedSessionFile, BrokenSetupsCostOnlyTheSetups) {
    const json setupCases[] = {
        nullptr, "garbage", 3, json::object(), json::array({1, 2}),
        json::array({json{{"displays", json::array()}}}),
        json::array({json{{"displays", json::array()}, {"strips", json::array()}, {"seen", "today"}}}),
    };
    json j = sampleJSON();
    j.erase("setups");
    auto read = decodeJSON(j);
    ASSERT_TRUE(read) << "missing";
    EXPECT_EQ(read->strips, sampleSession().strips);
    EXPECT_TRUE(read->setups.empty());
    for (const json& value : setupCases) {
        j["setups"] = value;
        read = decodeJSON(j);
        ASSERT_TRUE(read) << value.dump();
        EXPECT_EQ(read->strips, sampleSession().strips) << value.dump();
        EXPECT_TRUE(read->setups.empty()) << value.dump();
    }
    // One broken setup costs them all.
    j = sampleJSON();
    j["setups"][0]["strips"][0]["columns"][0].erase("tabbed");
    read = decodeJSON(j);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->strips.size(), 2u);
    EXPECT_TRUE(read->setups.empty());
}

// Every required key, deleted or given the wrong type, makes the whole file
// unreadable; so do numbers outside their ranges.
TEST(SavedSessionFile, AnyMissingOrMistypedRequiredValueFailsTheFile) {
    const json base = sampleJSON();
    for (const char* path : {"/strips", "/strips/0/display", "/strips/0/space", "/strips/0/columns",
                             "/strips/0/columns/0/width", "/strips/0/columns/0/tabbed", "/strips/0/columns/0/weights",
                             "/strips/0/columns/0/windows", "/strips/0/columns/0/windows/1/id",
                             "/strips/0/columns/0/windows/1/bundleID", "/strips/0/columns/0/windows/1/title"}) {
        const json::json_pointer pointer(path);
        json missing = base;
        missing[pointer.parent_pointer()].erase(pointer.back());
        EXPECT_FALSE(decodeJSON(missing)) << "missing " << path;
        for (const json& wrong : {json(nullptr), json("1"), json(json::object())}) {
            if (wrong.is_string() && base[pointer].is_string()) continue;  // not a wrong type
            json mistyped = base;
            mistyped[pointer] = wrong;
            EXPECT_FALSE(decodeJSON(mistyped)) << "mistyped " << path << " = " << wrong.dump();
        }
    }
    for (const auto& [path, value] : std::vector<std::pair<std::string, json>>{
             {"/strips/1", 5}, {"/strips/0/columns/1", "column"}, {"/strips/0/columns/0/weights/0", "heavy"},
             {"/strips/0/columns/0/windows/0", json::array()}, {"/strips/0/columns/0/tabbed", 1},
             {"/strips/0/seen", "yesterday"}}) {
        json j = base;
        j[json::json_pointer(path)] = value;
        EXPECT_FALSE(decodeJSON(j)) << path;
    }

    const auto idOf = [](const std::string& literal) -> std::optional<WindowID> {
        const auto s = decodeSession(R"({"strips":[{"display":"D","space":1,"columns":[{"width":0.5,"tabbed":false,)"
                                     R"("weights":[1],"windows":[{"id":)" + literal + R"(,"bundleID":"a","title":"t"}]}]}]})");
        if (!s) return std::nullopt;
        return s->strips[0].columns[0].windows[0].id;
    };
    const auto spaceOf = [](const std::string& literal) -> std::optional<SpaceID> {
        const auto s = decodeSession(R"({"strips":[{"display":"D","space":)" + literal + R"(,"columns":[]}]})");
        if (!s) return std::nullopt;
        return s->strips[0].space;
    };
    for (const char* bad : {"-1", "-1.0", "4294967296", "1.5", "\"7\"", "true", "1e400", "-0.5"}) EXPECT_FALSE(idOf(bad)) << bad;
    EXPECT_EQ(idOf("4294967295"), 4294967295u);
    EXPECT_EQ(idOf("0"), 0u);
    EXPECT_EQ(idOf("7.0"), 7u);  // whole numbers written as floats are still whole
    EXPECT_EQ(idOf("1e3"), 1000u);
    for (const char* bad : {"-1", "-1.0", "18446744073709551616", "1e20", "2.5", "null"}) EXPECT_FALSE(spaceOf(bad)) << bad;
    EXPECT_EQ(spaceOf("18446744073709551615"), std::numeric_limits<SpaceID>::max());
}

TEST(SavedSessionFile, AcceptsWhatTheRestoreCanUse) {
    json j = sampleJSON();
    // The rebuild falls back to 1.0 for rows without a weight.
    j["strips"][0]["columns"][0]["weights"] = json::array({0.5});
    j["strips"][0]["columns"][1]["weights"] = json::array({1, 2, 3});
    j["strips"][0]["seen"] = nullptr;
    j["strips"][0]["columns"][0]["width"] = 1;  // an integer is a number too
    j["futureKey"] = json::object({{"x", 1}});
    j["strips"][0]["columns"][0]["windows"][0]["pid"] = 77;
    const auto read = decodeJSON(j);
    ASSERT_TRUE(read);
    const SavedStrip& strip = read->strips[0];
    EXPECT_EQ(strip.columns[0].weights, std::vector<double>{0.5});
    EXPECT_EQ(strip.columns[1].weights, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(strip.columns[0].windows.size(), 2u);
    EXPECT_EQ(strip.columns[0].width, 1.0);
    EXPECT_FALSE(strip.seen);
    EXPECT_EQ(decodeSession(R"({"strips":[]})"), SavedSession{});
}

// The parser keeps its nesting on the heap: a hundred thousand levels must
// neither overflow the stack nor, inside "setups", cost the strips.
TEST(SavedSessionFile, MalformedTextYieldsNothingWithoutThrowing) {
    for (const char* text : {"", " ", "null", "[]", "42", "\"strips\"", "{", "{}", R"({"strips":null})",
                             R"({"strips":{}})", "{\"strips\":[]}garbage", "{\"strips\":[],\"setups\":NaN}",
                             "{\"strips\":[\"\xff\"]}"}) {
        std::optional<SavedSession> read;
        ASSERT_NO_THROW(read = decodeSession(text)) << text;
        EXPECT_FALSE(read) << text;
    }
    const std::string full = encodeSession(sampleSession());
    for (std::size_t n = 0; n < full.size(); ++n) EXPECT_FALSE(decodeSession(std::string_view(full).substr(0, n))) << n;

    constexpr int depth = 100000;
    const std::string open(depth, '['), close(depth, ']');
    EXPECT_FALSE(decodeSession("{\"strips\":" + open));
    const auto read = decodeSession("{\"strips\":[],\"setups\":" + open + close + "}");
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->setups.empty());
}

}  // namespace
