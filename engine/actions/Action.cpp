#include "engine/actions/Action.h"

#include <charconv>
#include <utility>

namespace tessaline {

namespace {

constexpr std::array<std::string_view, actionCount> names = {
    "focusLeft", "focusRight", "focusUp", "focusDown", "focusFirst", "focusLast",
    "focus1", "focus2", "focus3", "focus4", "focus5", "focus6", "focus7", "focus8", "focus9",
    "moveLeft", "moveRight", "moveUp", "moveDown", "moveFirst", "moveLast",
    "moveTo1", "moveTo2", "moveTo3", "moveTo4", "moveTo5", "moveTo6", "moveTo7", "moveTo8",
    "moveTo9",
    "cycleWidth", "fullWidth", "centre", "wider", "narrower", "taller", "shorter",
    "equalizeHeights",
    "stackLeft", "stackRight", "popOutRight", "popOutLeft", "toggleTabbed", "toggleFloat",
    "sendToNextDisplay", "toggleTiling", "toggleTimeline",
    "overview",
};

std::size_t indexOf(Action a) { return static_cast<std::size_t>(a); }

std::string_view nameOf(Action a) {
    std::size_t i = indexOf(a);
    return i < names.size() ? names[i] : std::string_view{};
}

// The number after `prefix` in the action's name, when all of the rest is one.
std::optional<int> numberAfter(Action a, std::string_view prefix) {
    std::string_view name = nameOf(a);
    if (!name.starts_with(prefix)) return std::nullopt;
    std::string_view rest = name.substr(prefix.size());
    if (rest.empty()) return std::nullopt;
    int value = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (ec != std::errc{} || end != rest.data() + rest.size()) return std::nullopt;
    return value;
}

std::string lowerWithoutHyphens(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '-') continue;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

Bindings buildDefaults() {
    constexpr auto co = KeyCombo::ctrlOpt;
    constexpr auto cos = KeyCombo::ctrlOptShift;
    constexpr auto coc = KeyCombo::ctrlOptCmd;
    constexpr auto cosc = KeyCombo::ctrlOptShiftCmd;
    constexpr std::uint32_t left = 123, right = 124, down = 125, up = 126;

    std::vector<std::pair<Action, std::vector<KeyCombo>>> table = {
        {Action::focusLeft, {{left, co}, {4, co}}},
        {Action::focusRight, {{right, co}, {37, co}}},
        {Action::focusUp, {{up, co}, {40, co}}},
        {Action::focusDown, {{down, co}, {38, co}}},
        {Action::focusFirst, {{left, coc}}},
        {Action::focusLast, {{right, coc}}},
        {Action::moveLeft, {{left, cos}, {4, cos}}},
        {Action::moveRight, {{right, cos}, {37, cos}}},
        {Action::moveUp, {{up, cos}, {40, cos}}},
        {Action::moveDown, {{down, cos}, {38, cos}}},
        {Action::moveFirst, {{left, cosc}}},
        {Action::moveLast, {{right, cosc}}},
        {Action::cycleWidth, {{15, co}}},
        {Action::fullWidth, {{3, co}}},
        {Action::centre, {{8, co}}},
        {Action::wider, {{13, co}}},
        {Action::narrower, {{1, co}}},
        {Action::taller, {{13, cos}}},
        {Action::shorter, {{1, cos}}},
        {Action::equalizeHeights, {{29, co}}},
        {Action::stackLeft, {{0, co}}},
        {Action::stackRight, {{2, co}}},
        {Action::popOutLeft, {{0, cos}}},
        {Action::popOutRight, {{2, cos}}},
        {Action::toggleTabbed, {{17, cos}}},
        {Action::toggleFloat, {{17, co}}},
        {Action::sendToNextDisplay, {{45, co}}},
        {Action::toggleTiling, {{12, co}}},
        {Action::overview, {{31, co}}},
    };
    // The digit row 1-9; the key codes follow the physical keys, not the digits.
    constexpr std::uint32_t digitKeys[9] = {18, 19, 20, 21, 23, 22, 26, 28, 25};
    for (int n = 0; n < 9; ++n) {
        table.push_back({static_cast<Action>(indexOf(Action::focus1) + n), {{digitKeys[n], co}}});
        table.push_back({static_cast<Action>(indexOf(Action::moveTo1) + n), {{digitKeys[n], cos}}});
    }

    Bindings out;
    for (auto& [action, combos] : table) out.emplace(toString(action), std::move(combos));
    return out;
}

}  // namespace

const std::array<Action, actionCount>& allActions() {
    static const auto all = [] {
        std::array<Action, actionCount> a{};
        for (std::size_t i = 0; i < actionCount; ++i) a[i] = static_cast<Action>(i);
        return a;
    }();
    return all;
}

std::string toString(ActionSection section) {
    switch (section) {
        case ActionSection::navigate: return "Navigate";
        case ActionSection::move: return "Move";
        case ActionSection::size: return "Size";
        case ActionSection::stacks: return "Stacks";
        case ActionSection::system: return "System";
    }
    return {};
}

std::string toString(Action action) { return std::string(nameOf(action)); }

std::optional<Action> actionFromString(std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return static_cast<Action>(i);
    }
    return std::nullopt;
}

std::optional<Action> actionNamed(std::string_view text) {
    const std::string wanted = lowerWithoutHyphens(text);
    for (Action a : allActions()) {
        if (lowerWithoutHyphens(nameOf(a)) == wanted) return a;
    }
    return std::nullopt;
}

ActionSection section(Action action) {
    if (action == Action::overview || jumpIndex(action)) return ActionSection::navigate;
    if (moveIndex(action)) return ActionSection::move;
    std::size_t i = indexOf(action);
    if (i <= indexOf(Action::focusLast)) return ActionSection::navigate;
    if (i <= indexOf(Action::moveLast)) return ActionSection::move;
    if (i >= indexOf(Action::cycleWidth) && i <= indexOf(Action::equalizeHeights)) {
        return ActionSection::size;
    }
    if (i >= indexOf(Action::stackLeft) && i <= indexOf(Action::toggleFloat)) {
        return ActionSection::stacks;
    }
    return ActionSection::system;
}

std::string title(Action action) {
    if (auto n = jumpIndex(action)) return "Jump to column " + std::to_string(*n);
    if (auto n = moveIndex(action)) return "Move column to position " + std::to_string(*n);
    switch (action) {
        case Action::focusLeft: return "Focus left";
        case Action::focusRight: return "Focus right";
        case Action::focusUp: return "Focus up in stack";
        case Action::focusDown: return "Focus down in stack";
        case Action::focusFirst: return "Focus first column";
        case Action::focusLast: return "Focus last column";
        case Action::moveLeft: return "Move column left";
        case Action::moveRight: return "Move column right";
        case Action::moveUp: return "Move window up in stack";
        case Action::moveDown: return "Move window down in stack";
        case Action::moveFirst: return "Move column to start";
        case Action::moveLast: return "Move column to end";
        case Action::cycleWidth: return "Cycle preset widths";
        case Action::fullWidth: return "Toggle full width";
        case Action::centre: return "Centre the column";
        case Action::wider: return "Wider";
        case Action::narrower: return "Narrower";
        case Action::taller: return "Taller";
        case Action::shorter: return "Shorter";
        case Action::equalizeHeights: return "Equalize heights";
        case Action::stackLeft: return "Stack into left column";
        case Action::stackRight: return "Stack into right column";
        case Action::popOutRight: return "Pop out to the right";
        case Action::popOutLeft: return "Pop out to the left";
        case Action::toggleTabbed: return "Toggle tabbed column";
        case Action::toggleFloat: return "Float / unfloat window";
        case Action::sendToNextDisplay: return "Send to next display";
        case Action::toggleTiling: return "Pause / resume tiling";
        case Action::toggleTimeline: return "Open / close the timeline";
        case Action::overview: return "Overview of the whole strip";
        default: return toString(action);
    }
}

bool showsStrip(Action action) {
    switch (action) {
        case Action::centre:
        case Action::wider:
        case Action::narrower:
        case Action::taller:
        case Action::shorter:
        case Action::equalizeHeights:
        case Action::toggleTabbed:
        case Action::toggleFloat:
        case Action::sendToNextDisplay:
        case Action::toggleTiling:
        case Action::toggleTimeline:
            return false;
        default:
            return true;
    }
}

std::optional<int> jumpIndex(Action action) { return numberAfter(action, "focus"); }
std::optional<int> moveIndex(Action action) { return numberAfter(action, "moveTo"); }

const Bindings& defaultBindings() {
    static const Bindings table = buildDefaults();
    return table;
}

const Bindings& punctuationDefaults() {
    static const Bindings table = [] {
        constexpr auto co = KeyCombo::ctrlOpt;
        constexpr auto cos = KeyCombo::ctrlOptShift;
        return Bindings{
            {"wider", {{24, co}}},     {"narrower", {{27, co}}},
            {"taller", {{24, cos}}},   {"shorter", {{27, cos}}},
            {"stackLeft", {{30, co}}}, {"stackRight", {{33, co}}},
            {"popOutRight", {{30, cos}}}, {"popOutLeft", {{33, cos}}},
        };
    }();
    return table;
}

const Bindings& version2SizeDefaults() {
    static const Bindings table = {
        {"narrower", {{13, KeyCombo::ctrlOptShift}}},
        {"taller", {{9, KeyCombo::ctrlOpt}}},
        {"shorter", {{9, KeyCombo::ctrlOptShift}}},
    };
    return table;
}

}  // namespace tessaline
