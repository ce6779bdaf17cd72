#include "settings/model/ChannelStatus.h"

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/shell/CommandClient.h"
#include "app/shell/CommandWords.h"

namespace tessaline::prefs {

namespace fs = std::filesystem;
using shell::Exchange;

namespace {

// Two answers in a row are enough to see the newest state after a command.
constexpr int maxStatesAsked = 2;

std::optional<std::string> readFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ChannelStatusProvider::ChannelStatusProvider(std::vector<fs::path> sockets, Post post, Open open)
    : sockets_(std::move(sockets)),
      post_(std::move(post)),
      open_(std::move(open)),
      self_(std::make_shared<ChannelStatusProvider*>(this)) {}

ChannelStatusProvider::~ChannelStatusProvider() {
    if (held_) send("releaseshortcuts");
}

void ChannelStatusProvider::send(std::string word) {
    worker_.submit([sockets = sockets_, word = std::move(word)] {
        shell::exchange(word, sockets, shell::replyDeadline(word));
    });
}

void ChannelStatusProvider::refresh() {
    if (held_) send("holdshortcuts");
    if (statesAsked_ >= maxStatesAsked) return;
    ++statesAsked_;
    std::weak_ptr<ChannelStatusProvider*> self = self_;
    worker_.submit([sockets = sockets_, post = post_, self] {
        const Exchange answer = shell::exchange("state", sockets, shell::replyDeadline("state"));
        std::optional<ManagerStatus> status;
        if (answer.outcome == Exchange::Outcome::replied) {
            status = statusFromJSON(nlohmann::json::parse(answer.reply, nullptr, false));
        }
        post([self, outcome = answer.outcome, status = std::move(status)] {
            auto alive = self.lock();
            if (!alive) return;
            ChannelStatusProvider& provider = **alive;
            --provider.statesAsked_;
            if (status) return provider.take(*status);
            // A manager that is busy, or sent something unreadable, is still
            // there: its last answer stands.
            if (outcome == Exchange::Outcome::notRunning ||
                provider.status_.reach != ManagerStatus::Reach::running) {
                provider.take(ManagerStatus{.reach = ManagerStatus::Reach::notRunning});
            }
        });
    });
}

void ChannelStatusProvider::take(const ManagerStatus& status) {
    if (status == status_) return;
    status_ = status;
    changed();
}

void ChannelStatusProvider::setTiling(bool on) {
    if (status_.reach != ManagerStatus::Reach::running) return;
    send(on ? "start" : "stop");
    refresh();
}

void ChannelStatusProvider::runFix(const std::string& checkID) {
    for (const SetupCheck& check : status_.checks) {
        if (check.id == checkID && !check.fixOpens.empty() && open_) open_(check.fixOpens);
    }
}

void ChannelStatusProvider::holdShortcuts(bool held) {
    if (held == held_) return;
    held_ = held;
    send(held ? "holdshortcuts" : "releaseshortcuts");
}

void ChannelStatusProvider::diagnostics(std::function<void(std::optional<std::string>)> done) {
    std::weak_ptr<ChannelStatusProvider*> self = self_;
    worker_.submit([sockets = sockets_, post = post_, self, done = std::move(done)] {
        const Exchange answer = shell::exchange("diagnostics", sockets, shell::replyDeadline("diagnostics"));
        std::optional<std::string> report;
        if (answer.outcome == Exchange::Outcome::replied) report = readFile(answer.reply);
        post([self, done, report = std::move(report)] {
            if (self.lock()) done(report);
        });
    });
}

}  // namespace tessaline::prefs
