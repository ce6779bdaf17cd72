#include "settings/model/SharedSettings.h"

#include <fstream>
#include <sstream>

namespace tessaline::prefs {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

SharedSettings::SharedSettings(fs::path file) : path_(std::move(file)) {
    load();
    current_ = settings_->config();
}

SharedSettings::~SharedSettings() = default;

const Config& SharedSettings::config() const { return current_; }

void SharedSettings::load() {
    // The store must go before the preferences it refers to.
    settings_.reset();
    defaults_ = std::make_unique<FileDefaults>(path_);
    settings_ = std::make_unique<Settings>(*defaults_);
    if (defaults_->unreadable()) {
        problem_ = path_.string() + " is not a JSON object.";
    } else if (settings_->origin() == Settings::Origin::undecodable) {
        problem_ = std::string("The \"") + Settings::key + "\" entry of " + path_.string() +
                   " is not a JSON object.";
    } else {
        problem_.reset();
        current_ = settings_->config();
    }
    // What was read, or what the store wrote back in its current form just now.
    lastSeen_ = defaults_->text();
}

bool SharedSettings::reloadIfChanged() {
    if (readBytes(path_) == lastSeen_) return false;
    const Config before = config();
    const std::optional<std::string> problemBefore = problem_;
    load();
    const bool changed = config() != before || problem_ != problemBefore;
    if (changed && onChange_) onChange_();
    return changed;
}

SharedSettings::EditResult SharedSettings::edit(const std::function<void(Config&)>& change) {
    reloadIfChanged();
    if (problem_) return EditResult::refused;
    Config next = config();
    change(next);
    const Settings::WriteResult result = settings_->setConfig(next);
    current_ = settings_->config();
    // The text written, not the file read again: an editor may save the
    // moment the rename lands, and taking its text for ours would leave the
    // window showing, and its next edit writing, settings without it.
    lastSeen_ = defaults_->text();
    if (result == Settings::WriteResult::unchanged) return EditResult::unchanged;
    if (onChange_) onChange_();
    return result == Settings::WriteResult::written ? EditResult::saved : EditResult::failed;
}

std::optional<fs::path> SharedSettings::setAside() {
    if (!problem_) return std::nullopt;
    fs::path target = path_;
    target += ".broken";
    std::error_code ec;
    for (int n = 2; fs::exists(target, ec) || ec; ++n) {
        if (ec || n > 1000) return std::nullopt;
        target = path_;
        target += ".broken-" + std::to_string(n);
    }
    fs::rename(path_, target, ec);
    if (ec) return std::nullopt;
    load();
    current_ = settings_->config();
    if (onChange_) onChange_();
    return target;
}

}  // namespace tessaline::prefs
