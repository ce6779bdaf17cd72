#pragma once
// A small key-value preferences store: the settings record lives under
// "config", other state of the application under keys of its own. Values are
// JSON values, kept exactly as they were read so that data this program cannot
// make sense of survives until it is replaced.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace tessaline {

class Defaults {
public:
    virtual ~Defaults() = default;

    // The value stored under `key`, or absent.
    virtual std::optional<nlohmann::json> value(std::string_view key) const = 0;
    // Stores `value` under `key`; false when it could not be made to last.
    virtual bool setValue(std::string_view key, const nlohmann::json& value) = 0;
    // Removes `key`; false when the removal could not be made to last.
    virtual bool removeValue(std::string_view key) = 0;
};

// Kept in memory only; for tests and for runs that must not touch the disk.
class MemoryDefaults final : public Defaults {
public:
    MemoryDefaults();
    ~MemoryDefaults() override;

    std::optional<nlohmann::json> value(std::string_view key) const override;
    bool setValue(std::string_view key, const nlohmann::json& value) override;
    bool removeValue(std::string_view key) override;

    // How many times a value was set or removed.
    std::size_t writeCount() const { return writes_; }

private:
    struct Values;
    std::unique_ptr<Values> values_;
    std::size_t writes_ = 0;
};

// One JSON object in a file, read once at creation and rewritten whole, and
// atomically, on every change.
class FileDefaults final : public Defaults {
public:
    explicit FileDefaults(std::filesystem::path file);
    ~FileDefaults() override;
    FileDefaults(const FileDefaults&) = delete;
    FileDefaults& operator=(const FileDefaults&) = delete;

    // "$XDG_CONFIG_HOME/tessaline/settings.json", or "~/.config/tessaline/settings.json"
    // when that variable is unset, empty or relative; absent without a home folder.
    static std::optional<std::filesystem::path> defaultLocation();
    static std::optional<std::filesystem::path> locationFor(const char* xdgConfigHome,
                                                            const char* home);

    const std::filesystem::path& path() const { return path_; }
    // The file exists but holds no JSON object. It is left as it is, and every
    // key reads as absent, until the first value is set.
    bool unreadable() const { return unreadable_; }
    // The file's text as this object last read or wrote it; absent when there
    // was no file to read. Another reader of the file compares it with what
    // is on disk now to tell whether someone else has written since: reading
    // the file again after a write could already see their text instead.
    const std::optional<std::string>& text() const { return text_; }

    std::optional<nlohmann::json> value(std::string_view key) const override;
    bool setValue(std::string_view key, const nlohmann::json& value) override;
    bool removeValue(std::string_view key) override;

private:
    bool save();

    std::filesystem::path path_;
    std::unique_ptr<nlohmann::json> object_;
    bool unreadable_ = false;
    std::optional<std::string> text_;
};

}  // namespace tessaline
