#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "core/StripJSON.h"

using namespace tessaline;
using nlohmann::json;

namespace {

Strip sampleStrip() {
    Column stacked({10, 11}, 0.333, true, std::vector<double>{0.25, 0.75});
    stacked.active = 1;
    Column wide({4294967295u}, 1.0);
    wide.savedWidth = 0.5;
    Strip strip({Column({7}, 0.5), stacked, wide}, 1, -12.5);
    strip.previous = 2;
    return strip;
}

json validStrip() {
    return json::parse(R"({"columns":[
        {"windows":[1,2],"weights":[1,3],"width":0.5,"active":1,"tabbed":false},
        {"windows":[3],"weights":[1],"width":0.75,"active":0,"tabbed":true,"savedWidth":0.4}],
        "focused":1,"scroll":20})");
}

}  // namespace

TEST(StripJSONTest, RoundTripsEveryField) {
    const Strip strip = sampleStrip();
    EXPECT_EQ(decodeStrip(encodeStrip(strip)), strip);
    EXPECT_EQ(stripFromJSON(toJSON(strip)), strip);

    // Fractions that have no short decimal form come back bit for bit.
    Strip odd({Column({1, 2}, 1.0 / 3, false, std::vector<double>{0.1 + 0.2, 2.0 / 3})}, 0, 1e-7);
    EXPECT_EQ(decodeStrip(encodeStrip(odd)), odd);

    const Strip empty;
    EXPECT_EQ(decodeStrip(encodeStrip(empty)), empty);
}

TEST(StripJSONTest, OptionalKeysWrittenOnlyWhenPresent) {
    const json j = toJSON(sampleStrip());
    EXPECT_EQ(j.at("previous"), 2);
    EXPECT_EQ(j.at("scroll"), -12.5);
    EXPECT_FALSE(j.at("columns")[0].contains("savedWidth"));
    EXPECT_EQ(j.at("columns")[2].at("savedWidth"), 0.5);
    EXPECT_EQ(j.at("columns")[1].at("windows"), json({10, 11}));
    EXPECT_EQ(j.at("columns")[1].at("tabbed"), true);

    Strip plain = sampleStrip();
    plain.previous.reset();
    EXPECT_FALSE(toJSON(plain).contains("previous"));
}

TEST(StripJSONTest, OptionalKeysMayBeMissingOrNull) {
    const auto strip = stripFromJSON(validStrip());
    ASSERT_TRUE(strip);
    EXPECT_FALSE(strip->previous);
    EXPECT_FALSE(strip->columns[0].savedWidth);
    EXPECT_EQ(strip->columns[1].savedWidth, 0.4);
    EXPECT_EQ(strip->columns[0].weights, (std::vector<double>{1, 3}));

    json j = validStrip();
    j["previous"] = nullptr;
    j["columns"][1]["savedWidth"] = nullptr;
    const auto nulls = stripFromJSON(j);
    ASSERT_TRUE(nulls);
    EXPECT_FALSE(nulls->previous);
    EXPECT_FALSE(nulls->columns[1].savedWidth);
    j["previous"] = 0;
    EXPECT_EQ(stripFromJSON(j)->previous, 0);
}

TEST(StripJSONTest, AnyMissingRequiredKeyFailsTheRead) {
    for (const char* key : {"columns", "focused", "scroll"}) {
        json j = validStrip();
        j.erase(key);
        EXPECT_FALSE(stripFromJSON(j)) << key;
    }
    for (const char* key : {"windows", "weights", "width", "active", "tabbed"}) {
        json j = validStrip();
        j["columns"][1].erase(key);
        EXPECT_FALSE(stripFromJSON(j)) << key;
        EXPECT_FALSE(columnFromJSON(j["columns"][1])) << key;
    }
}

TEST(StripJSONTest, MistypedValuesFailTheRead) {
    const std::vector<std::pair<std::string, json>> stripCases{
        {"columns", json::object()}, {"focused", 1.0},      {"focused", "1"},
        {"scroll", "20"},            {"scroll", nullptr},   {"previous", 0.0},
        {"previous", "0"},           {"focused", nullptr},
    };
    for (const auto& [key, value] : stripCases) {
        json j = validStrip();
        j[key] = value;
        EXPECT_FALSE(stripFromJSON(j)) << key << " = " << value.dump();
    }
    const std::vector<std::pair<std::string, json>> columnCases{
        {"windows", json::array({1.0})}, {"windows", json::array({"1"})}, {"windows", 1},
        {"weights", json::array({"1"})}, {"weights", nullptr},            {"width", "0.5"},
        {"width", true},                 {"active", 0.0},                 {"tabbed", 0},
        {"savedWidth", "wide"},          {"windows", json::array({json::array({1})})},
    };
    for (const auto& [key, value] : columnCases) {
        json j = validStrip();
        j["columns"][1][key] = value;
        EXPECT_FALSE(stripFromJSON(j)) << key << " = " << value.dump();
    }
    EXPECT_FALSE(stripFromJSON(json::array()));
    EXPECT_FALSE(stripFromJSON(json(3)));
    json j = validStrip();
    j["columns"][0] = "column";
    EXPECT_FALSE(stripFromJSON(j));
}

TEST(StripJSONTest, WindowIDsMustFitUnsigned32Bits) {
    auto withID = [](const std::string& text) {
        return decodeStrip(R"({"columns":[{"windows":[)" + text +
                           R"(],"weights":[1],"width":0.5,"active":0,"tabbed":false}],"focused":0,"scroll":0})");
    };
    ASSERT_TRUE(withID("4294967295"));
    EXPECT_EQ(withID("4294967295")->columns[0].windows[0], 4294967295u);
    EXPECT_FALSE(withID("4294967296"));
    EXPECT_FALSE(withID("-1"));
    EXPECT_FALSE(withID("-4294967295"));
    EXPECT_FALSE(withID("18446744073709551615"));
    EXPECT_FALSE(withID("1e30"));
    EXPECT_FALSE(withID("99999999999999999999999999"));

    // A signed value built in code takes the same checks as a parsed one.
    EXPECT_FALSE(columnFromJSON(json{{"windows", {std::int64_t{-5}}}, {"weights", {1}}, {"width", 0.5},
                                     {"active", 0}, {"tabbed", false}}));
    EXPECT_TRUE(columnFromJSON(json{{"windows", {std::int64_t{5}}}, {"weights", {1}}, {"width", 0.5},
                                    {"active", 0}, {"tabbed", false}}));
}

TEST(StripJSONTest, HugeAndNonFiniteNumbersFail) {
    json j = validStrip();
    j["focused"] = 2147483648LL;
    EXPECT_FALSE(stripFromJSON(j));
    j = validStrip();
    j["columns"][0]["active"] = -2147483649LL;
    EXPECT_FALSE(stripFromJSON(j));
    j = validStrip();
    j["previous"] = std::numeric_limits<std::uint64_t>::max();
    EXPECT_FALSE(stripFromJSON(j));
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        j = validStrip();
        j["scroll"] = bad;
        EXPECT_FALSE(stripFromJSON(j));
        j = validStrip();
        j["columns"][0]["weights"][0] = bad;
        EXPECT_FALSE(stripFromJSON(j));
        j = validStrip();
        j["columns"][1]["savedWidth"] = bad;
        EXPECT_FALSE(stripFromJSON(j));
    }
    // Text overflowing a double must not sneak in as infinity.
    EXPECT_FALSE(decodeStrip(R"({"columns":[],"focused":0,"scroll":1e999})"));
}

// Values of the right type that no editing could produce would break the
// model's invariants further on, so they make the text unreadable.
TEST(StripJSONTest, ContentsThatBreakInvariantsFail) {
    auto failsWith = [](auto edit) {
        json j = validStrip();
        edit(j);
        return !stripFromJSON(j).has_value();
    };
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][0]["weights"] = {1}; }));
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][0]["weights"] = {1, 2, 3}; }));
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][0]["weights"] = {0, 0}; }));
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][0]["weights"] = {-1, 2}; }));
    EXPECT_TRUE(failsWith([](json& j) {
        j["columns"][0]["windows"] = json::array();
        j["columns"][0]["weights"] = json::array();
        j["columns"][0]["active"] = 0;
    }));
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][0]["active"] = 2; }));
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][0]["active"] = -1; }));
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][0]["width"] = 0; }));
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][1]["savedWidth"] = -0.5; }));
    EXPECT_TRUE(failsWith([](json& j) { j["focused"] = 2; }));
    EXPECT_TRUE(failsWith([](json& j) { j["focused"] = -1; }));
    EXPECT_TRUE(failsWith([](json& j) { j["previous"] = 2; }));
    EXPECT_TRUE(failsWith([](json& j) { j["previous"] = 1; }));  // the focused column itself
    EXPECT_TRUE(failsWith([](json& j) { j["columns"][1]["windows"] = {2}; }));  // window 2 twice
    EXPECT_FALSE(failsWith([](json& j) { j["previous"] = 0; }));

    EXPECT_FALSE(decodeStrip(R"({"columns":[],"focused":1,"scroll":0})"));
    EXPECT_TRUE(decodeStrip(R"({"columns":[],"focused":0,"scroll":0})"));
}

TEST(StripJSONTest, TruncatedAndGarbageTextFails) {
    const std::string text = encodeStrip(sampleStrip());
    for (std::size_t n = 0; n < text.size(); ++n) {
        EXPECT_FALSE(decodeStrip(std::string_view(text).substr(0, n))) << n;
    }
    EXPECT_TRUE(decodeStrip(text));
    EXPECT_FALSE(decodeStrip(text + "}"));
    EXPECT_FALSE(decodeStrip("\xff\xfe{}"));
    EXPECT_FALSE(decodeStrip("null"));
    // Invalid UTF-8 inside a string.
    EXPECT_FALSE(decodeStrip(std::string(R"({"columns":[],"focused":0,"scroll":0,"x":")") + "\xc3\x28" + "\"}"));
}

TEST(StripJSONTest, DeeplyNestedInputFailsQuietly) {
    const std::size_t depth = 20000;
    EXPECT_FALSE(decodeStrip(std::string(depth, '[') + std::string(depth, ']')));
    EXPECT_FALSE(decodeStrip(std::string(depth, '[')));
    const std::string nested = R"({"columns":)" + std::string(depth, '[') + std::string(depth, ']') +
                               R"(,"focused":0,"scroll":0})";
    EXPECT_FALSE(decodeStrip(nested));
}
