#include "engine/settings/Settings.h"

#include <nlohmann/json.hpp>
#include <cstdint>
#include <vector>

namespace tessaline {

Settings::Settings(Defaults& defaults) : defaults_(defaults) {
    std::optional<nlohmann::json> stored = defaults_.value(key);
    if (!stored) return;
    std::optional<Config> decoded = configFromJSON(*stored);
    if (!decoded) {
        // Left on disk as it is: the user may still repair it by hand, and it
        // is replaced only when a setting is changed.
        origin_ = Origin::undecodable;
        return;
    }
    config_ = std::move(*decoded);
    origin_ = Origin::stored;
    // Migrated legacy keys and upgraded shortcuts reach the disk on the first
    // start of a new version, not only after the next change.
    lastWrite_ = write();
}

Settings::WriteResult Settings::setConfig(const Config& value) {
    if (value == config_) return WriteResult::unchanged;
    config_ = value;
    const std::uint64_t generation = ++generation_;
    lastWrite_ = write();
    publish(generation);
    return lastWrite_;
}

void Settings::adopt(const Config& value) {
    if (value == config_) return;
    config_ = value;
    publish(++generation_);
}

void Settings::publish(std::uint64_t generation) {
    // Observers may add or remove observers, or change the settings again;
    // one removed during this round is not called any more, and once another
    // change has told everyone the newer value this older one is not passed on.
    std::vector<ObserverToken> tokens;
    tokens.reserve(observers_.size());
    for (const auto& entry : observers_) tokens.push_back(entry.first);
    const Config current = config_;
    for (ObserverToken token : tokens) {
        if (generation_ != generation) break;
        auto it = observers_.find(token);
        if (it == observers_.end()) continue;
        std::shared_ptr<Observer> observer = it->second;
        (*observer)(current);
    }
}

Settings::ObserverToken Settings::addObserver(Observer observer) {
    ObserverToken token = nextToken_++;
    observers_.emplace(token, std::make_shared<Observer>(std::move(observer)));
    return token;
}

void Settings::removeObserver(ObserverToken token) { observers_.erase(token); }

Settings::WriteResult Settings::write() {
    std::optional<nlohmann::json> encoded = toJSON(config_);
    if (!encoded) return WriteResult::failed;
    return defaults_.setValue(key, *encoded) ? WriteResult::written : WriteResult::failed;
}

std::string toString(Settings::Origin origin) {
    switch (origin) {
        case Settings::Origin::stored: return "stored";
        case Settings::Origin::missing: return "missing";
        case Settings::Origin::undecodable: return "undecodable";
    }
    return {};
}

}  // namespace tessaline
