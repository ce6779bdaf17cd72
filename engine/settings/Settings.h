#pragma once
// The settings store: owns the current Config, reads it once from the
// preferences store and writes it back whenever it really changes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "engine/settings/Config.h"
#include "engine/settings/Defaults.h"

namespace tessaline {

class Settings {
public:
    // The preferences key of the settings record.
    static constexpr const char* key = "config";

    // Where the current value came from at creation.
    enum class Origin {
        stored,       // decoded from the store (and written back at once)
        missing,      // nothing stored: defaults
        undecodable,  // stored data is no JSON object: defaults, the data left alone
    };

    enum class WriteResult {
        unchanged,  // equal to the current value: nothing written
        written,
        failed,     // not encodable, or the store could not keep it
    };

    using Observer = std::function<void(const Config&)>;
    using ObserverToken = std::size_t;

    // Reads the stored value; `defaults` must outlive the settings.
    explicit Settings(Defaults& defaults);
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    const Config& config() const { return config_; }
    Origin origin() const { return origin_; }
    // The outcome of the latest write: the write-back at creation, or the last change.
    WriteResult lastWrite() const { return lastWrite_; }

    // Replaces the current value. Only a value that differs from the current
    // one is written and shown to the observers.
    WriteResult setConfig(const Config& value);

    // Takes a value that is already stored because someone else wrote it (the
    // settings window, a person with an editor): the observers see it like any
    // change, and nothing is written back, so the stored text stays as it was
    // written. A value equal to the current one changes nothing.
    void adopt(const Config& value);

    // Observers see every change, in the order they were added.
    ObserverToken addObserver(Observer observer);
    void removeObserver(ObserverToken token);

private:
    WriteResult write();
    void publish(std::uint64_t generation);

    Defaults& defaults_;
    Config config_;
    Origin origin_ = Origin::missing;
    WriteResult lastWrite_ = WriteResult::unchanged;
    std::map<ObserverToken, std::shared_ptr<Observer>> observers_;
    ObserverToken nextToken_ = 1;
    std::uint64_t generation_ = 0;  // counts changes
};

std::string toString(Settings::Origin origin);

}  // namespace tessaline
