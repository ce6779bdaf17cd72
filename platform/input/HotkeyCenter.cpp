#include "platform/input/HotkeyCenter.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "engine/log/Log.h"
#include "platform/input/KeyTable.h"

namespace tessaline {

namespace {

constexpr std::uint32_t escapeKeyCode = 53;
// Only the real modifiers; the pointer-button bits of a key event's state are no part of a combo.
constexpr std::uint16_t modifierBits = 0xff;

std::optional<KeyGrab> translate(const KeyCombo& combo) {
    auto keycode = KeyTable::xKeycode(combo.keyCode);
    auto modifiers = KeyTable::xModifiers(combo.modifiers);
    if (!keycode || !modifiers) return std::nullopt;
    return KeyGrab{*keycode, *modifiers};
}

const KeyGrab escapeKey = *translate({escapeKeyCode, 0});

}  // namespace

HotkeyCenter::HotkeyCenter(KeyGrabber& grabber)
    : grabber_(grabber), numLock_(KeyTable::mod2Mask), capsLock_(KeyTable::lockMask) {}

void HotkeyCenter::registerBindings(const Bindings& bindings) {
    bindings_ = bindings;
    releaseShortcuts();
    conflicts_.clear();

    struct Candidate {
        KeyCombo combo;
        KeyGrab key;
        Registered registered;
    };
    std::vector<Candidate> candidates;
    std::vector<std::pair<std::uint32_t, KeyCombo>> refused;
    std::set<KeyGrab> claimed;
    if (escapeHeld_) claimed.insert(escapeKey);

    std::uint32_t number = 1;
    for (Action action : allActions()) {
        auto entry = bindings.find(toString(action));
        if (entry == bindings.end()) continue;
        for (const KeyCombo& combo : entry->second) {
            auto key = translate(combo);
            if (!key) {
                Log::input([&] { return "shortcut " + combo.display() + " has no key on this keyboard"; });
                refused.emplace_back(number, combo);
            } else if (!claimed.insert(*key).second) {
                Log::input([&] { return "shortcut " + combo.display() + " is used twice"; });
                refused.emplace_back(number, combo);
            } else {
                candidates.push_back({combo, *key, {number, action}});
            }
            ++number;
        }
    }

    std::vector<KeyGrab> keys;
    for (const Candidate& c : candidates) keys.push_back(c.key);
    std::vector<bool> held = grabAll(keys);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Candidate& c = candidates[i];
        if (held[i]) {
            shortcuts_.emplace(c.key, c.registered);
        } else {
            Log::input([&] { return "shortcut " + c.combo.display() + " is taken by another program"; });
            refused.emplace_back(c.registered.number, c.combo);
        }
    }

    std::stable_sort(refused.begin(), refused.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& r : refused) conflicts_.push_back(r.second);
    if (onConflicts) onConflicts(conflicts_);
}

void HotkeyCenter::registerEscape(std::function<void()> handler) {
    escapeHandler_ = std::move(handler);
    if (escapeHeld_) return;
    // A shortcut on bare Escape already has the key; it stays that shortcut's.
    if (shortcuts_.contains(escapeKey)) return;
    escapeHeld_ = grabAll({escapeKey}).front();
}

void HotkeyCenter::releaseEscape() {
    if (escapeHeld_) grabber_.release(variants(escapeKey));
    escapeHeld_ = false;
    escapeHandler_ = nullptr;
}

void HotkeyCenter::regrab(std::uint16_t numLockMask) {
    bool lendEscape = escapeHeld_;
    auto escapeHandler = escapeHandler_;
    releaseAll();
    numLock_ = numLockMask;
    if (lendEscape) registerEscape(std::move(escapeHandler));
    registerBindings(Bindings(bindings_));
}

void HotkeyCenter::releaseAll() {
    releaseShortcuts();
    releaseEscape();
}

bool HotkeyCenter::keyPressed(std::uint8_t keycode, std::uint16_t state) {
    KeyGrab key{keycode, static_cast<std::uint16_t>(state & modifierBits & ~lockMasks())};
    if (escapeHeld_ && key == escapeKey) {
        fire(escapeNumber);
        return true;
    }
    auto found = shortcuts_.find(key);
    if (found == shortcuts_.end()) return false;
    fire(found->second.number);
    return true;
}

void HotkeyCenter::fire(std::uint32_t number) {
    if (number == escapeNumber) {
        // The handler may release Escape, which drops the stored one.
        if (auto escape = escapeHandler_) escape();
        return;
    }
    for (const auto& [key, registered] : shortcuts_) {
        if (registered.number != number) continue;
        if (handler) handler(registered.action);
        return;
    }
}

std::vector<KeyGrab> HotkeyCenter::variants(KeyGrab key) const {
    std::vector<KeyGrab> all;
    for (std::uint16_t locks : {0, int(numLock_), int(capsLock_), numLock_ | capsLock_}) {
        KeyGrab variant{key.keycode, static_cast<std::uint16_t>(key.modifiers | locks)};
        if (std::find(all.begin(), all.end(), variant) == all.end()) all.push_back(variant);
    }
    return all;
}

std::vector<bool> HotkeyCenter::grabAll(const std::vector<KeyGrab>& keys) {
    std::vector<std::vector<KeyGrab>> perKey;
    std::vector<KeyGrab> requests;
    for (const KeyGrab& key : keys) {
        perKey.push_back(variants(key));
        requests.insert(requests.end(), perKey.back().begin(), perKey.back().end());
    }
    std::vector<bool> answers = requests.empty() ? std::vector<bool>{} : grabber_.grab(requests);
    answers.resize(requests.size(), false);  // a grabber that answered short held nothing more

    std::vector<bool> held;
    std::vector<KeyGrab> undo;
    std::size_t at = 0;
    for (const auto& group : perKey) {
        bool all = std::all_of(answers.begin() + at, answers.begin() + at + group.size(),
                               [](bool ok) { return ok; });
        if (!all) {
            for (std::size_t i = 0; i < group.size(); ++i) {
                if (answers[at + i]) undo.push_back(group[i]);
            }
        }
        held.push_back(all);
        at += group.size();
    }
    if (!undo.empty()) grabber_.release(undo);
    return held;
}

void HotkeyCenter::releaseShortcuts() {
    std::vector<KeyGrab> keys;
    for (const auto& [key, registered] : shortcuts_) {
        auto all = variants(key);
        keys.insert(keys.end(), all.begin(), all.end());
    }
    shortcuts_.clear();
    if (!keys.empty()) grabber_.release(keys);
}

}  // namespace tessaline
