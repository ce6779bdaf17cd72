#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "core/StripJSON.h"
#include "tests/core/StripText.h"

using namespace tessaline;
using nlohmann::json;

namespace {

json validStrip() {
    return json::parse(R"({"columns":[
        {"windows":[1,2],"weights":[1,3],"width":0.5,"active":1,"tabbed":false},
        {"windows":[3],"weights":[1],"width":0.75,"active":0,"tabbed":true,"savedWidth":0.4}],
        "focused":1,"scroll":20})");
}

std::string readText(const json& j) {
    const auto strip = stripFromJSON(j);
    return strip ? stripText(*strip) : "unreadable";
}

TEST(StripJSON, EveryFieldRoundTripsAndOptionalKeysAreWrittenOnlyWhenPresent) {
    Strip strip = parseStrip("[7] [10/0.25 11/0.75*]t:0.333 [4294967295]p:1~0.5");
    strip.scroll = -12.5;
    EXPECT_EQ(decodeStrip(encodeStrip(strip)), strip);
    EXPECT_EQ(stripFromJSON(toJSON(strip)), strip);
    // Fractions without a short decimal form come back bit for bit.
    Strip odd({Column({1, 2}, 1.0 / 3, false, std::vector<double>{0.1 + 0.2, 2.0 / 3})}, 0, 1e-7);
    EXPECT_EQ(decodeStrip(encodeStrip(odd)), odd);
    EXPECT_EQ(decodeStrip(encodeStrip(Strip())), Strip());

    const json j = toJSON(strip);
    EXPECT_EQ(j.at("previous"), 2);
    EXPECT_EQ(j.at("scroll"), -12.5);
    EXPECT_FALSE(j.at("columns")[0].contains("savedWidth"));
    EXPECT_EQ(j.at("columns")[2].at("savedWidth"), 0.5);
    EXPECT_EQ(j.at("columns")[1].at("windows"), json({10, 11}));
    EXPECT_EQ(j.at("columns")[1].at("tabbed"), true);
    strip.previous.reset();
    EXPECT_FALSE(toJSON(strip).contains("previous"));

    // Optional keys may be missing or null.
    EXPECT_EQ(readText(validStrip()), "[1/1 2/3^] [3*]t:0.75~0.4");
    json nulls = validStrip();
    nulls["previous"] = nullptr;
    nulls["columns"][1]["savedWidth"] = nullptr;
    EXPECT_EQ(readText(nulls), "[1/1 2/3^] [3*]t:0.75");
    nulls["previous"] = 0;
    EXPECT_EQ(readText(nulls), "[1/1 2/3^]p [3*]t:0.75");
}

struct Damage {
    const char* what;
    std::function<void(json&)> edit;
};

// A missing or mistyped key, a number out of range, and values of the right
// type that no editing could produce (they would break the model further on)
// all make the text unreadable.
TEST(StripJSON, AnyDamageFailsTheWholeRead) {
    const auto set = [](std::string key, json value) {
        return [=](json& j) { j[key] = value; };
    };
    const auto setColumn = [](int c, std::string key, json value) {
        return [=](json& j) { j["columns"][c][key] = value; };
    };
    std::vector<Damage> damages = {
        {"columns missing", [](json& j) { j.erase("columns"); }},
        {"focused missing", [](json& j) { j.erase("focused"); }},
        {"scroll missing", [](json& j) { j.erase("scroll"); }},
        {"columns an object", set("columns", json::object())},
        {"focused a float", set("focused", 1.0)},
        {"focused a string", set("focused", "1")},
        {"focused null", set("focused", nullptr)},
        {"scroll a string", set("scroll", "20")},
        {"scroll null", set("scroll", nullptr)},
        {"previous a float", set("previous", 0.0)},
        {"previous a string", set("previous", "0")},
        {"focused past int", set("focused", 2147483648LL)},
        {"previous huge", set("previous", std::numeric_limits<std::uint64_t>::max())},
        {"active below int", setColumn(0, "active", -2147483649LL)},
        {"not an object", [](json& j) { j = json::array(); }},
        {"a number", [](json& j) { j = 3; }},
        {"a column that is text", [](json& j) { j["columns"][0] = "column"; }},
        {"windows of floats", setColumn(1, "windows", json::array({1.0}))},
        {"windows of text", setColumn(1, "windows", json::array({"1"}))},
        {"windows a number", setColumn(1, "windows", 1)},
        {"windows nested", setColumn(1, "windows", json::array({json::array({1})}))},
        {"weights of text", setColumn(1, "weights", json::array({"1"}))},
        {"weights null", setColumn(1, "weights", nullptr)},
        {"width text", setColumn(1, "width", "0.5")},
        {"width boolean", setColumn(1, "width", true)},
        {"active a float", setColumn(1, "active", 0.0)},
        {"tabbed a number", setColumn(1, "tabbed", 0)},
        {"saved width text", setColumn(1, "savedWidth", "wide")},
        {"too few weights", setColumn(0, "weights", {1})},
        {"too many weights", setColumn(0, "weights", {1, 2, 3})},
        {"weights adding to nothing", setColumn(0, "weights", {0, 0})},
        {"a negative weight", setColumn(0, "weights", {-1, 2})},
        {"an empty column", [](json& j) {
             j["columns"][0]["windows"] = json::array();
             j["columns"][0]["weights"] = json::array();
             j["columns"][0]["active"] = 0;
         }},
        {"active past the rows", setColumn(0, "active", 2)},
        {"active negative", setColumn(0, "active", -1)},
        {"active past a lone row", setColumn(1, "active", 1)},
        {"no width", setColumn(0, "width", 0)},
        {"a negative saved width", setColumn(1, "savedWidth", -0.5)},
        {"focus past the columns", set("focused", 2)},
        {"focus negative", set("focused", -1)},
        {"previous past the columns", set("previous", 2)},
        {"previous the focused column itself", set("previous", 1)},
        {"window 2 twice", setColumn(1, "windows", {2})},
    };
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        damages.push_back({"scroll not finite", set("scroll", bad)});
        damages.push_back({"weight not finite", [bad](json& j) { j["columns"][0]["weights"][0] = bad; }});
        damages.push_back({"saved width not finite", setColumn(1, "savedWidth", bad)});
    }
    ASSERT_TRUE(stripFromJSON(validStrip()));
    for (const Damage& damage : damages) {
        json j = validStrip();
        damage.edit(j);
        EXPECT_FALSE(stripFromJSON(j)) << damage.what;
    }
    for (const char* key : {"windows", "weights", "width", "active", "tabbed"}) {
        json j = validStrip();
        j["columns"][1].erase(key);
        EXPECT_FALSE(stripFromJSON(j)) << key;
        EXPECT_FALSE(columnFromJSON(j["columns"][1])) << key;
    }
    EXPECT_FALSE(decodeStrip(R"({"columns":[],"focused":1,"scroll":0})"));
    EXPECT_TRUE(decodeStrip(R"({"columns":[],"focused":0,"scroll":0})"));
}

TEST(StripJSON, WindowNumbersMustFitUnsigned32Bits) {
    auto withID = [](const std::string& text) {
        return decodeStrip(R"({"columns":[{"windows":[)" + text +
                           R"(],"weights":[1],"width":0.5,"active":0,"tabbed":false}],"focused":0,"scroll":0})");
    };
    ASSERT_TRUE(withID("4294967295"));
    EXPECT_EQ(withID("4294967295")->columns[0].windows[0], 4294967295u);
    for (const char* bad : {"4294967296", "-1", "-4294967295", "18446744073709551615", "1e30",
                            "99999999999999999999999999"}) {
        EXPECT_FALSE(withID(bad)) << bad;
    }
    // A signed value built in code takes the same checks as a parsed one.
    const auto column = [](std::int64_t id) {
        return columnFromJSON(json{{"windows", {id}}, {"weights", {1}}, {"width", 0.5}, {"active", 0}, {"tabbed", false}});
    };
    EXPECT_FALSE(column(-5));
    EXPECT_TRUE(column(5));
}

TEST(StripJSON, TruncatedGarbageAndDeeplyNestedTextFailsQuietly) {
    const std::string text = encodeStrip(parseStrip("[7] [10/0.25 11/0.75*]t:0.333 [4294967295]p:1~0.5"));
    for (std::size_t n = 0; n < text.size(); ++n) {
        EXPECT_FALSE(decodeStrip(std::string_view(text).substr(0, n))) << n;
    }
    EXPECT_TRUE(decodeStrip(text));
    const std::size_t depth = 20000;
    for (const std::string& bad : {text + "}", std::string("\xff\xfe{}"), std::string("null"),
                                   std::string(R"({"columns":[],"focused":0,"scroll":0,"x":")") + "\xc3\x28" + "\"}",
                                   std::string(R"({"columns":[],"focused":0,"scroll":1e999})"),
                                   std::string(depth, '[') + std::string(depth, ']'), std::string(depth, '['),
                                   R"({"columns":)" + std::string(depth, '[') + std::string(depth, ']') +
                                       R"(,"focused":0,"scroll":0})"}) {
        EXPECT_FALSE(decodeStrip(bad)) << bad.substr(0, 40);
    }
}

}  // namespace
