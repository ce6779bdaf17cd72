#include "engine/wm/Animator.h"

#include <cmath>
#include <utility>

namespace tessaline {

namespace {

// A critically damped spring: starts gently, overshoots nothing and has
// practically settled when the duration is over.
double ease(double t) {
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    return 1 - (1 + 7 * t) * std::exp(-7 * t);
}

bool sameOrigin(const Rect& a, const Rect& b) { return a.x == b.x && a.y == b.y; }
bool sameSize(const Rect& a, const Rect& b) { return a.width == b.width && a.height == b.height; }

// `origin`'s position with `size`'s size.
Rect placedWithSize(const Rect& origin, const Rect& size) {
    return Rect{origin.x, origin.y, size.width, size.height};
}

// Distances under this are not worth another tick: the follower lands.
constexpr double landingDistance = 0.75;
// The factor at dt = 0.05: after a long gap (a stalled display link) the
// follower still moves as if 50 ms had passed rather than snapping over.
constexpr double longGapFactor = 0.9378234759778837;

// One axis of a follower's step. Positions are whole points, so a small
// factor on a short distance would round back to where the window already
// is and the follower would stall short of its target; it steps one point.
double stepTowards(double from, double distance, double k) {
    double to = roundHalfAway(from + k * distance);
    if (to == from && std::abs(distance) >= landingDistance) to = from + (distance > 0 ? 1 : -1);
    return to;
}

}  // namespace

Animator::Animator(Scheduler& scheduler)
    : scheduler_(scheduler), self_(std::make_shared<Animator*>(this)) {}

Animator::~Animator() {
    // A tick or a batch in progress may still hold the token: clearing it
    // tells them the animator is gone.
    *self_ = nullptr;
    if (ticking_) ticking_->cancel();
}

Rect Animator::frameAt(const Flight& flight, double now) {
    const double t = flight.duration > 0 ? (now - flight.start) / flight.duration : 1;
    const double e = ease(t);
    const Rect& from = flight.from;
    const Rect& to = flight.to;
    return Rect{roundHalfAway(from.x + e * (to.x - from.x)), roundHalfAway(from.y + e * (to.y - from.y)),
                to.width, to.height};
}

double Animator::followFactor(double dt) {
    if (!(dt > 0)) return 0;
    if (dt <= 0.05) return 1 - std::exp(-dt / followTime);
    return longGapFactor;
}

void Animator::move(const FrameMap& frames, bool animated, double duration) {
    const double now = scheduler_.now();
    const bool animate = animated && duration > 0;
    std::vector<Write> writes;

    for (const auto& [id, target] : frames) {
        const auto flight = flights_.find(id);
        const bool inFlight = flight != flights_.end();
        const auto last = sent_.find(id);
        if (!inFlight && last == sent_.end()) {
            // A new window has no position worth gliding from.
            followers_.erase(id);
            sent_[id] = target;
            writes.push_back({id, target, true});
            continue;
        }
        const Rect current = inFlight ? frameAt(flight->second, now) : last->second;
        followers_.erase(id);
        if (inFlight && flight->second.to == target) continue;
        if (!inFlight && current == target) continue;

        if (animate && !sameOrigin(current, target)) {
            flights_[id] = Flight{current, target, now, duration};
            // Applications resize slowly, so the size is written once, up
            // front, and only the position glides.
            if (!sameSize(current, target)) {
                const Rect resized = placedWithSize(current, target);
                sent_[id] = resized;
                writes.push_back({id, resized, true});
            }
        } else {
            // A window cut off mid-flight may not have received its size yet.
            const bool writeSize = inFlight || !sameSize(current, target);
            if (inFlight) flights_.erase(flight);
            sent_[id] = target;
            writes.push_back({id, target, writeSize});
        }
    }

    if (!deliver(writes)) return;
    if (hasMotion()) {
        startTicking();
    } else if (onFrame) {
        onFrame();
    }
}

void Animator::follow(const FrameMap& frames) {
    const double now = scheduler_.now();
    std::vector<Write> writes;

    for (const auto& [id, target] : frames) {
        const auto flight = flights_.find(id);
        const bool inFlight = flight != flights_.end();
        const auto last = sent_.find(id);
        if (!inFlight && last == sent_.end()) {
            sent_[id] = target;
            writes.push_back({id, target, true});
            continue;
        }
        const Rect current = inFlight ? frameAt(flight->second, now) : last->second;
        // The flight's frame at this instant was never handed out; the window
        // still stands at the last one that was.
        const bool unsent = inFlight && (last == sent_.end() || !sameOrigin(last->second, current));
        if (inFlight) flights_.erase(flight);

        // Sizes are never chased, only jumped: a window resized a little on
        // every tick would keep its application redrawing for nothing.
        if (sameSize(current, target)) {
            sent_[id] = current;
            // With no follower to carry it on, nothing else would move it there.
            if (unsent && sameOrigin(current, target)) writes.push_back({id, current, false});
        } else {
            const Rect resized = placedWithSize(current, target);
            sent_[id] = resized;
            writes.push_back({id, resized, true});
        }
        if (sameOrigin(current, target)) followers_.erase(id);
        else followers_[id] = target;
    }

    if (!deliver(writes)) return;
    if (!followers_.empty()) startTicking();
}

std::optional<Rect> Animator::current(WindowID id) const {
    if (const auto flight = flights_.find(id); flight != flights_.end())
        return frameAt(flight->second, scheduler_.now());
    if (const auto last = sent_.find(id); last != sent_.end()) return last->second;
    return std::nullopt;
}

std::optional<Rect> Animator::target(WindowID id) const {
    if (const auto flight = flights_.find(id); flight != flights_.end()) return flight->second.to;
    if (const auto follower = followers_.find(id); follower != followers_.end()) return follower->second;
    if (const auto last = sent_.find(id); last != sent_.end()) return last->second;
    return std::nullopt;
}

bool Animator::isMoving(WindowID id) const { return flights_.contains(id) || followers_.contains(id); }

void Animator::invalidate(WindowID id) {
    sent_.erase(id);
    flights_.erase(id);
    followers_.erase(id);
}

void Animator::assume(WindowID id, Rect frame) {
    flights_.erase(id);
    followers_.erase(id);
    sent_[id] = frame;
}

void Animator::reset() {
    sent_.clear();
    flights_.clear();
    followers_.clear();
    if (ticking_) {
        ticking_->cancel();
        ticking_.reset();
    }
}

void Animator::startTicking() {
    if (ticking_) return;
    lastTick_ = scheduler_.now();
    ticking_ = scheduler_.frames([weak = std::weak_ptr<Animator*>(self_)] {
        const auto self = weak.lock();
        if (self && *self) (*self)->tick();
    });
    // The first frame goes out now rather than one refresh later, so a
    // gesture's first step is not a frame behind the fingers.
    tick();
}

void Animator::tick() {
    const auto token = self_;
    const double now = scheduler_.now();
    const double dt = now - lastTick_;
    lastTick_ = now;
    std::vector<Write> writes;
    writes.reserve(flights_.size() + followers_.size());

    for (auto it = flights_.begin(); it != flights_.end();) {
        const auto& [id, flight] = *it;
        if (now - flight.start < flight.duration) {
            const Rect frame = frameAt(flight, now);
            Rect& last = sent_[id];
            // Whole-point positions repeat near both ends of the curve; a
            // repeated frame is not worth a write.
            if (last != frame) {
                last = frame;
                writes.push_back({id, frame, false});
            }
            ++it;
        } else {
            sent_[id] = flight.to;
            writes.push_back({id, flight.to, !sameSize(flight.from, flight.to)});
            it = flights_.erase(it);
        }
    }

    const double k = followFactor(dt);
    for (auto it = followers_.begin(); it != followers_.end();) {
        const auto& [id, target] = *it;
        const auto last = sent_.find(id);
        if (last == sent_.end()) {
            it = followers_.erase(it);
            continue;
        }
        Rect& sent = last->second;
        const double dx = target.x - sent.x;
        const double dy = target.y - sent.y;
        if (std::abs(dx) < landingDistance && std::abs(dy) < landingDistance) {
            sent = target;
            writes.push_back({id, target, false});
            it = followers_.erase(it);
            continue;
        }
        sent = Rect{stepTowards(sent.x, dx, k), stepTowards(sent.y, dy, k), target.width, target.height};
        writes.push_back({id, sent, false});
        ++it;
    }

    if (!deliver(writes)) return;
    if (onFrame) {
        onFrame();
        if (!*token) return;
    }
    if (!hasMotion() && ticking_) {
        ticking_->cancel();
        ticking_.reset();
    }
}

bool Animator::deliver(const std::vector<Write>& writes) {
    if (writes.empty() || !send) return true;
    // The maps are already up to date, so a callback that calls back into
    // the animator (or resets it) sees the whole batch and breaks no loop.
    const auto token = self_;
    for (const Write& write : writes) {
        if (!send) return true;
        send(write.id, write.frame, write.writeSize);
        if (!*token) return false;
    }
    return true;
}

}  // namespace tessaline
