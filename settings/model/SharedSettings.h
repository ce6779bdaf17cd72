#pragma once
// The settings file that the settings window shares with the running window
// manager. The window keeps no settings of its own: every edit reads the file
// again, changes one thing and writes it back through the engine's settings
// store, so a change made meanwhile by the manager or by hand is built upon
// rather than overwritten.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/settings/Config.h"
#include "engine/settings/Defaults.h"
#include "engine/settings/Settings.h"

namespace tessaline::prefs {

class SharedSettings {
public:
    enum class EditResult {
        unchanged,  // the edit changed nothing: nothing written
        saved,
        failed,     // the file could not be written; the change is kept for this run
        refused,    // the file holds something unreadable, which an edit would replace
    };

    explicit SharedSettings(std::filesystem::path file);
    ~SharedSettings();
    SharedSettings(const SharedSettings&) = delete;
    SharedSettings& operator=(const SharedSettings&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const Config& config() const;

    // Why the file cannot be used, when it holds no settings this program can
    // read (not JSON, or a "config" entry that is no object). The last good
    // settings stay in force meanwhile (the defaults when there never were
    // any), and every edit is refused until the file is repaired or set aside:
    // writing would throw away what the user wrote.
    const std::optional<std::string>& problem() const { return problem_; }

    // Reads the file again when its contents changed since this object last
    // read or wrote it. True when the settings or the problem changed.
    bool reloadIfChanged();

    // Applies `change` to the newest settings and saves the result when it differs.
    EditResult edit(const std::function<void(Config&)>& change);

    // Renames an unreadable file out of the way ("settings.json.broken", or
    // with a number when that exists) and starts again from the defaults.
    // Answers the new name of the old file; absent when there was nothing to
    // set aside or the rename failed.
    std::optional<std::filesystem::path> setAside();

    // Called after every change of the settings or of the problem, whoever made it.
    void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

private:
    void load();

    std::filesystem::path path_;
    std::unique_ptr<FileDefaults> defaults_;
    std::unique_ptr<Settings> settings_;
    Config current_;  // what config() answers
    std::optional<std::string> problem_;
    std::optional<std::string> lastSeen_;  // the file's text behind current_ and settings_; absent: no file
    std::function<void()> onChange_;
};

}  // namespace tessaline::prefs
