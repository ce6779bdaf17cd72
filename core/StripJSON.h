#pragma once
// JSON form of strips and columns. Reading is strict: a missing or mistyped
// required key fails the whole read (absent result); nothing is thrown.

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/Strip.h"

namespace tessaline {

nlohmann::json toJSON(const Column& column);
nlohmann::json toJSON(const Strip& strip);
std::optional<Column> columnFromJSON(const nlohmann::json& j);
std::optional<Strip> stripFromJSON(const nlohmann::json& j);

std::string encodeStrip(const Strip& strip);
std::optional<Strip> decodeStrip(std::string_view text);

}  // namespace tessaline
