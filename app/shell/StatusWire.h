#pragma once
// What the window manager and its status icon's process say to each other:
// the manager sends each StatusModel to show, the icon's process sends back
// the entries the user chooses and its own log records. One message a
// datagram (a SOCK_SEQPACKET pair), JSON inside.
//
// The icon lives in a process of its own so that the session bus, its
// library and a tray host that misbehaves stay out of the window manager:
// the manager's memory holds no D-Bus at all, and a fault on the bus side
// costs the icon, never the session.

#include "app/shell/StatusModel.h"
#include "engine/log/Log.h"

#include <optional>
#include <string>
#include <variant>

namespace tessaline::shell {

// The largest message either side sends; a model is a few hundred bytes.
inline constexpr std::size_t statusWireLimit = 64 * 1024;

std::string encodeStatusModel(const StatusModel& model);
// nullopt for anything that isn't a model: the icon keeps what it shows.
std::optional<StatusModel> decodeStatusModel(std::string_view text);

struct StatusChoice {
    std::string entryId;
    friend bool operator==(const StatusChoice&, const StatusChoice&) = default;
};
struct StatusLogLine {
    std::string category;
    LogLevel level = LogLevel::defaultLevel;
    std::string message;
    friend bool operator==(const StatusLogLine&, const StatusLogLine&) = default;
};
using StatusReport = std::variant<StatusChoice, StatusLogLine>;

std::string encodeStatusReport(const StatusReport& report);
std::optional<StatusReport> decodeStatusReport(std::string_view text);

}  // namespace tessaline::shell
