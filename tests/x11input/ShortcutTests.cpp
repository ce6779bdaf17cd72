// The global shortcuts on the real manager: every default binding does what
// its action does to real windows, under NumLock and CapsLock too; a
// shortcut another program holds is reported and the others still work; a
// keyboard mapping change grabs them again.

#include <set>

#include "WithInput.h"
#include "engine/actions/Action.h"
#include "platform/input/KeyTable.h"

using namespace tessaline;
using namespace tessaline::xtest;

namespace {

struct Step {
    std::string action;
    int combo;            // which of the action's default combos
    std::string after;    // layout() once it is done
    uint8_t lock = 0;     // a lock key toggled just before
};

// From nine windows "a b c d e f g h i*". Every step changes the layout, so a
// shortcut that did nothing or the wrong thing shows.
const std::vector<Step> walk = {
    {"focusLeft", 0, "a b c d e f g h* i"},
    {"focusLeft", 1, "a b c d e f g* h i"},
    {"focusRight", 0, "a b c d e f g h* i"},
    {"focusRight", 1, "a b c d e f g h i*"},
    {"focusFirst", 0, "a* b c d e f g h i"},
    {"focusLast", 0, "a b c d e f g h i*"},
    {"focus1", 0, "a* b c d e f g h i", keys::numLock},
    {"focus2", 0, "a b* c d e f g h i"},
    {"focus3", 0, "a b c* d e f g h i"},
    {"focus4", 0, "a b c d* e f g h i"},
    {"focus5", 0, "a b c d e* f g h i"},
    {"focus6", 0, "a b c d e f* g h i"},
    {"focus7", 0, "a b c d e f g* h i"},
    {"focus8", 0, "a b c d e f g h* i"},
    {"focus9", 0, "a b c d e f g h i*"},
    {"moveTo1", 0, "i* a b c d e f g h", keys::capsLock},
    {"moveTo2", 0, "a i* b c d e f g h"},
    {"moveTo3", 0, "a b i* c d e f g h"},
    {"moveTo4", 0, "a b c i* d e f g h"},
    {"moveTo5", 0, "a b c d i* e f g h"},
    {"moveTo6", 0, "a b c d e i* f g h"},
    {"moveTo7", 0, "a b c d e f i* g h"},
    {"moveTo8", 0, "a b c d e f g i* h"},
    {"moveTo9", 0, "a b c d e f g h i*"},
    {"moveLeft", 0, "a b c d e f g i* h", keys::numLock},
    {"moveLeft", 1, "a b c d e f i* g h"},
    {"moveRight", 0, "a b c d e f g i* h"},
    {"moveRight", 1, "a b c d e f g h i*"},
    {"moveFirst", 0, "i* a b c d e f g h"},
    {"moveLast", 0, "a b c d e f g h i*", keys::capsLock},
    {"stackLeft", 0, "a b c d e f g (h/525 i*/525)"},
    {"focusUp", 0, "a b c d e f g (h*/525 i/525)"},
    {"focusDown", 0, "a b c d e f g (h/525 i*/525)"},
    {"focusUp", 1, "a b c d e f g (h*/525 i/525)"},
    {"focusDown", 1, "a b c d e f g (h/525 i*/525)"},
    {"moveUp", 0, "a b c d e f g (i*/525 h/525)"},
    {"moveDown", 0, "a b c d e f g (h/525 i*/525)"},
    {"moveUp", 1, "a b c d e f g (i*/525 h/525)"},
    {"moveDown", 1, "a b c d e f g (h/525 i*/525)"},
    {"taller", 0, "a b c d e f g (h/420 i*/630)"},
    {"equalizeHeights", 0, "a b c d e f g (h/525 i*/525)"},
    {"shorter", 0, "a b c d e f g (h/630 i*/420)"},
    {"toggleTabbed", 0, "a b c d e f g (h i*)t"},
    {"popOutRight", 0, "a b c d e f g ht i*"},
    {"focusLeft", 0, "a b c d e f g h*t i"},
    {"stackRight", 0, "a b c d e f g (i/525 h*/525)"},
    {"popOutLeft", 0, "a b c d e f g h* i"},
    {"cycleWidth", 0, "a b c d e f g h*:67 i"},
    {"fullWidth", 0, "a b c d e f g h*:100 i"},
    {"narrower", 0, "a b c d e f g h*:90 i"},
    {"wider", 0, "a b c d e f g h*:100 i"},
};

}  // namespace

TEST_F(WithInput, EveryDefaultShortcutDoesItsActionToRealWindowsWhateverTheLocks) {
    wm.start();
    for (const char* title : {"a", "b", "c", "d", "e", "f", "g", "h", "i"}) open(title);
    ASSERT_EQ(layout(), "a b c d e f g h i*");
    std::set<std::pair<std::string, int>> pressed;
    const auto pressAction = [&](const std::string& action, int combo) {
        press(defaultBindings().at(action).at(static_cast<std::size_t>(combo)));
        pressed.emplace(action, combo);
    };

    for (const Step& step : walk) {
        if (step.lock) user.chord({step.lock});
        pressAction(step.action, step.combo);
        EXPECT_EQ(layout(), step.after) << step.action << " #" << step.combo;
    }

    // Centring shows on screen only.
    pressAction("cycleWidth", 0);
    pressAction("centre", 0);
    const xtest::Rect centred = *client("h").geometry();
    EXPECT_NEAR(centred.x + centred.w / 2, 960, 1);

    // A floated window places itself; a tiled one keeps its column.
    pressAction("toggleFloat", 0);
    EXPECT_EQ(layout(), "a b c d e f g i ~h*");
    client("h").requestGeometry({100, 120, 640, 480});
    client("i").requestGeometry({300, 300, 200, 200});
    wm.sync();
    EXPECT_EQ(client("h").geometry(), (xtest::Rect{100, 120, 640, 480}));
    EXPECT_NE(client("i").geometry()->w, 200);
    pressAction("toggleFloat", 0);
    EXPECT_EQ(layout().find("~"), std::string::npos);

    XServer::shared().setMonitors({{"left", kLeftMonitor, true}, {"right", kRightMonitor}});
    wm.sync();
    pressAction("sendToNextDisplay", 0);
    EXPECT_EQ(layout().substr(layout().find('|')), "| h*");

    pressAction("toggleTiling", 0);
    EXPECT_EQ(layout(), "paused");
    pressAction("toggleTiling", 0);
    EXPECT_NE(layout(), "paused");
    // The overview is drawn by the overlays; the shortcut only has to reach them.
    pressAction("overview", 0);

    for (const auto& [action, combos] : defaultBindings()) {
        for (std::size_t i = 0; i < combos.size(); ++i)
            EXPECT_TRUE(pressed.count({action, int(i)})) << action << " " << combos[i].display() << " untried";
    }
    EXPECT_NE(wm.stderrText().find("shortcut: overview"), std::string::npos);
}

TEST_F(WithInput, AShortcutAnotherProgramHoldsIsReportedTheOthersWorkAndAKeymapChangeGrabsAgain) {
    const KeyCombo taken = defaultBindings().at("focusLeft").at(1);
    Connection other(XServer::shared().display());
    const uint8_t h = *KeyTable::xKeycode(taken.keyCode);
    const uint16_t ctrlAlt = KeyTable::controlMask | KeyTable::mod1Mask;
    xcb_grab_key(other.get(), 1, other.root(), ctrlAlt, h, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    other.roundTrip();

    wm.start();
    open("a");
    open("b");
    const nlohmann::json reported = state();
    EXPECT_EQ(reported["conflicts"], nlohmann::json::array({toJSON(taken)}));
    EXPECT_EQ(reported["swipe"], false);
    EXPECT_NE(reported["swipeProblem"], "") << "Xvfb has no touchpad, and the state says so";
    EXPECT_NE(wm.stderrText().find("shortcuts another program holds: ⌃⌥H\n"), std::string::npos);
    press(taken);
    EXPECT_EQ(layout(), "a b*");
    press(defaultBindings().at("focusLeft").at(0));
    EXPECT_EQ(layout(), "a* b");

    // While the settings window records a shortcut, every key is the user's.
    command("holdShortcuts");
    waitFor("the hold", [&] { return state()["shortcutsHeld"] == true; });
    press(defaultBindings().at("focusRight").at(0));
    EXPECT_EQ(layout(), "a* b");
    EXPECT_EQ(state()["conflicts"], nlohmann::json::array({toJSON(taken)}));
    command("releaseShortcuts");
    waitFor("the shortcuts back", [&] { return state()["shortcutsHeld"] == false; });

    // The other program lets go; a change of the keyboard mapping (here one
    // spare key) makes the manager grab its table again.
    xcb_ungrab_key(other.get(), h, other.root(), ctrlAlt);
    const xcb_keysym_t f13 = 0xffca;
    xcb_change_keyboard_mapping(other.get(), 1, 200, 1, &f13);
    other.roundTrip();
    wm.sync();
    EXPECT_TRUE(state()["conflicts"].empty());
    press(defaultBindings().at("focusRight").at(0));
    press(taken);
    EXPECT_EQ(layout(), "a* b");
}
