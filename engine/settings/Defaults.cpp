#include "engine/settings/Defaults.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "engine/settings/AtomicFile.h"

namespace tessaline {

namespace fs = std::filesystem;
using json = nlohmann::json;

struct MemoryDefaults::Values {
    std::map<std::string, json, std::less<>> map;
};

MemoryDefaults::MemoryDefaults() : values_(std::make_unique<Values>()) {}
MemoryDefaults::~MemoryDefaults() = default;

std::optional<json> MemoryDefaults::value(std::string_view key) const {
    auto it = values_->map.find(key);
    if (it == values_->map.end()) return std::nullopt;
    return it->second;
}

bool MemoryDefaults::setValue(std::string_view key, const json& value) {
    values_->map.insert_or_assign(std::string(key), value);
    ++writes_;
    return true;
}

bool MemoryDefaults::removeValue(std::string_view key) {
    auto it = values_->map.find(key);
    if (it != values_->map.end()) values_->map.erase(it);
    ++writes_;
    return true;
}

namespace {

enum class ReadOutcome { missing, object, unreadable };

ReadOutcome readObject(const fs::path& path, json& out, std::optional<std::string>& read) {
    std::error_code ec;
    if (!fs::exists(path, ec) && !ec) return ReadOutcome::missing;
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReadOutcome::unreadable;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return ReadOutcome::unreadable;
    read = text.str();
    json parsed = json::parse(*read, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded() || !parsed.is_object()) return ReadOutcome::unreadable;
    out = std::move(parsed);
    return ReadOutcome::object;
}

}  // namespace

FileDefaults::FileDefaults(fs::path file)
    : path_(std::move(file)), object_(std::make_unique<json>(json::object())) {
    unreadable_ = readObject(path_, *object_, text_) == ReadOutcome::unreadable;
}

FileDefaults::~FileDefaults() = default;

std::optional<fs::path> FileDefaults::locationFor(const char* xdgConfigHome, const char* home) {
    // Relative values of the variable are to be ignored, as the base-directory
    // convention says; they would depend on the folder the program started in.
    if (xdgConfigHome && *xdgConfigHome && fs::path(xdgConfigHome).is_absolute()) {
        return fs::path(xdgConfigHome) / "tessaline" / "settings.json";
    }
    if (home && *home) return fs::path(home) / ".config" / "tessaline" / "settings.json";
    return std::nullopt;
}

std::optional<fs::path> FileDefaults::defaultLocation() {
    return locationFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

std::optional<json> FileDefaults::value(std::string_view key) const {
    auto it = object_->find(key);
    if (it == object_->end()) return std::nullopt;
    return *it;
}

bool FileDefaults::setValue(std::string_view key, const json& value) {
    // A value that cannot be written (a string that is not UTF-8) is refused
    // up front; once in the object it would make every later write fail.
    try {
        (void)value.dump();
    } catch (const json::exception&) {
        return false;
    }
    (*object_)[std::string(key)] = value;
    return save();
}

bool FileDefaults::removeValue(std::string_view key) {
    auto it = object_->find(key);
    if (it == object_->end()) return true;
    object_->erase(it);
    return save();
}

// The in-memory object stays changed when the write fails, so the value is
// still in effect for this run and reaches the disk with the next write.
bool FileDefaults::save() {
    std::string text;
    try {
        text = object_->dump(2) + "\n";
    } catch (const json::exception&) {
        return false;
    }
    if (!writeFileAtomically(path_, text)) return false;
    unreadable_ = false;
    text_ = std::move(text);
    return true;
}

}  // namespace tessaline
