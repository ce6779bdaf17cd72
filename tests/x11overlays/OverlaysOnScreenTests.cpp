// The overlays as a user meets them on a real X server: probed on the
// screen's pixels where their geometry puts them, clicked with XTest, with
// and without a compositor (picom), and gone when tiling stops.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "ManagedScreen.h"
#include "Spawn.h"
#include "UserInput.h"
#include "overlays/model/StripBarModel.h"

using namespace tessaline::xtest;

namespace {

struct Colour {
    int r = 0, g = 0, b = 0;
    uint32_t pixel() const { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }
    bool near(const Colour& o, int tolerance = 40) const {
        return std::abs(r - o.r) <= tolerance && std::abs(g - o.g) <= tolerance && std::abs(b - o.b) <= tolerance;
    }
    Colour dimmed(double amount) const {
        const auto d = [amount](int v) { return int(std::lround(v * (1 - amount))); };
        return {d(r), d(g), d(b)};
    }
};
std::ostream& operator<<(std::ostream& out, const Colour& c) {
    return out << "rgb(" << c.r << "," << c.g << "," << c.b << ")";
}

constexpr Colour kRed{200, 60, 60}, kGreen{60, 170, 60};
constexpr Colour kAccent{64, 143, 255};  // the default border colour and the selection accent
constexpr double kDim = 0.5;

// A picom on the test's server, for the transparent look.
class Compositor {
public:
    explicit Compositor(Connection& c) : c_(c) {
        pid_ = spawn({.argv = {"picom", "--backend", "xrender", "--config", "/dev/null"},
                      .environment = environmentWith({{"DISPLAY", XServer::shared().display()}})});
        running_ = waitUntil([&] { return owner() != XCB_NONE; }, waitLimit(), std::chrono::milliseconds(20));
    }
    ~Compositor() { stop(); }
    bool running() const { return running_; }
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        waitFor("the compositor to let go of the screen", [&] { return owner() == XCB_NONE; });
    }

private:
    xcb_window_t owner() {
        auto reply = xcb_get_selection_owner_reply(
            c_.get(), xcb_get_selection_owner(c_.get(), c_.atom("_NET_WM_CM_S0")), nullptr);
        const xcb_window_t window = reply ? reply->owner : XCB_NONE;
        free(reply);
        return window;
    }
    Connection& c_;
    pid_t pid_ = -1;
    bool running_ = false;
};

class OverlaysOnScreen : public ManagedScreen {
protected:
    OverlaysOnScreen()
        : ManagedScreen(ManagerOptions::tessaline(
              R"({"animate":false,"focusBorder":true,"dimInactive":true,"dimAmount":0.5,"overviewPreviews":true})")) {}

    TestClient& open(Colour colour) {
        return ManagedScreen::open(ClientBuilder().beforeMap([colour](TestClient& client) {
            const uint32_t pixel = colour.pixel();
            xcb_change_window_attributes(client.connection().get(), client.window(), XCB_CW_BACK_PIXEL, &pixel);
        }));
    }

    Connection& x() { return wm.control(); }

    Colour pixel(Point at) {
        auto reply = xcb_get_image_reply(
            x().get(), xcb_get_image(x().get(), XCB_IMAGE_FORMAT_Z_PIXMAP, x().root(), int16_t(at.x), int16_t(at.y), 1, 1, ~0u),
            nullptr);
        uint32_t value = 0;
        if (reply && xcb_get_image_data_length(reply) >= 4) value = *reinterpret_cast<uint32_t*>(xcb_get_image_data(reply));
        free(reply);
        return {int(value >> 16 & 0xff), int(value >> 8 & 0xff), int(value & 0xff)};
    }

    // A compositor paints a moment after the manager answered: the screen is
    // read until it shows the colour, and the test fails if it never does.
    void expectColour(Point at, Colour wanted, const std::string& what, int tolerance = 40) {
        const bool shown = waitUntil([&] { return pixel(at).near(wanted, tolerance); }, waitLimit(),
                                     std::chrono::milliseconds(10));
        EXPECT_TRUE(shown) << what << ": " << pixel(at) << " at " << at.x << "," << at.y << ", wanted " << wanted;
    }

    // The border's rim runs just outside the window's edge.
    void expectBorderAround(TestClient& window, const std::string& what) {
        const Rect g = *window.geometry();
        expectColour({g.x - 3, g.y + g.h / 2}, kAccent, what);
    }

    void click(Point at) {
        hands.moveTo(at.x, at.y);
        hands.buttonDown(1);
        hands.buttonUp(1);
        wm.sync();
    }

    void pressEscape() {
        hands.chord({keys::escape});
        wm.sync();
    }

    // The mapped panels, by kind ("border", "stripBar"...), with their frames.
    std::vector<std::pair<std::string, Rect>> panels() {
        std::vector<std::pair<std::string, Rect>> found;
        auto tree = xcb_query_tree_reply(x().get(), xcb_query_tree(x().get(), x().root()), nullptr);
        if (!tree) return found;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            const std::string name = x().propertyText(children[i], x().atom("_NET_WM_NAME")).value_or("");
            if (name.rfind("Tessaline ", 0) != 0 || x().mapState(children[i]) != XCB_MAP_STATE_VIEWABLE) continue;
            found.emplace_back(name.substr(10), x().rootGeometry(children[i]).value_or(Rect{}));
        }
        free(tree);
        return found;
    }

    std::optional<Rect> panel(const std::string& kind) {
        for (const auto& [name, frame] : panels()) {
            if (name == kind) return frame;
        }
        return std::nullopt;
    }

    // An action's command returns before the manager performed it: the
    // test goes on once its effect shows.
    void act(const std::string& action, const std::string& what, const std::function<bool()>& done) {
        wm.command(action);
        waitFor(what, done, waitLimit(), std::chrono::milliseconds(10));
    }

    nlohmann::json state() { return nlohmann::json::parse(wm.command("state"), nullptr, false); }

    // The overview's selected card as its `state` line tells: the window and
    // where the card is on the screen.
    std::pair<xcb_window_t, Rect> selectedCard() {
        const std::string overview = state().value("overview", "");
        const auto at = overview.find("selected #");
        unsigned window = 0;
        Rect card;
        if (at == std::string::npos ||
            std::sscanf(overview.c_str() + at, "selected #%u at %d,%d %dx%d", &window, &card.x, &card.y, &card.w,
                        &card.h) != 5) {
            ADD_FAILURE() << "no selected card in " << overview;
        }
        return {window, card};
    }

    UserInput hands;
};

// ---------------------------------------------------------------------------

class OverlayLooks : public OverlaysOnScreen, public ::testing::WithParamInterface<bool> {};

TEST_P(OverlayLooks, BorderFollowsFocusDimmingNeedsACompositorClicksReachTheWindowsBelowAndCardsShowPreviews) {
    const bool composited = GetParam();
    TestClient& a = open(kRed);
    TestClient& b = open(kGreen);
    std::optional<Compositor> compositor;
    if (composited) {
        // Started after the manager: the panels change their look as it comes.
        compositor.emplace(x());
        if (!compositor->running()) GTEST_SKIP() << "picom could not start on this server";
        wm.sync();
    }
    const Point insideA = a.geometry()->centre(), insideB = b.geometry()->centre();
    expectBorderAround(b, "the focused window's rim");
    expectColour(insideB, kGreen, "the focused window shows at full brightness", 4);
    expectColour(insideA, composited ? kRed.dimmed(kDim) : kRed,
                 composited ? "the other window is dimmed" : "nothing is dimmed without a compositor", 8);

    // The border and the shade let the click through to the window under them.
    click(insideA);
    EXPECT_EQ(active(), a.window());
    expectBorderAround(a, "the border follows the focus");
    expectColour(insideA, kRed, "the hole follows the focus", 4);

    // The overview's cards show the windows themselves.
    act("overview", "the overview", [&] { return panel("overview").has_value(); });
    const auto [selected, card] = selectedCard();
    EXPECT_EQ(selected, a.window());
    expectColour(card.centre(), kRed, "the focused window's live preview", 8);
    pressEscape();
    // With a compositor it fades out first.
    waitFor("Escape to close the overview", [&] { return !panel("overview"); }, waitLimit(),
            std::chrono::milliseconds(10));

    if (!composited) return;
    expectColour(insideB, kGreen.dimmed(kDim), "the window that lost focus is dimmed", 8);

    // The compositor goes: opaque panels, and no shade hiding the screen.
    compositor->stop();
    wm.sync();
    expectColour(insideB, kGreen, "no dimming once the compositor is gone", 4);
    expectBorderAround(a, "the border, cut to shape");
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutCompositor, OverlayLooks, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "picom" : "noCompositor"; });

TEST_F(OverlaysOnScreen, ChipsCardsAndTabsActWhenClickedTheOverviewHoldsTheKeyboardOnlyWhileOpenAndStopLeavesNothing) {
    TestClient& a = open(kRed);
    TestClient& b = open(kGreen);
    using tessaline::StripBarModel;

    // An icon an application sets once it is on screen: read without
    // holding up anything else, and shown on its chip.
    constexpr Colour kIcon{60, 60, 200};
    std::vector<std::uint32_t> icon(2 + 16 * 16, 0xff000000u | kIcon.pixel());
    icon[0] = icon[1] = 16;
    xcb_change_property(x().get(), XCB_PROP_MODE_REPLACE, a.window(), x().atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL,
                        32, icon.size(), icon.data());

    // The timeline: the focused window's chip is ringed, and clicking
    // another chip focuses its window and closes the timeline.
    const tessaline::Metrics m = StripBarModel::metricsFor(2, 1, true, false, tessaline::TimelineLook::classic,
                                                             kMonitor.w - 80);
    const tessaline::Rect frame = tessaline::stripBarFrame(m, {0, 0, double(kMonitor.w), double(kMonitor.h)});
    const Rect timeline{int(std::lround(frame.x)), int(std::lround(frame.y)), int(std::lround(frame.width)),
                        int(std::lround(frame.height))};
    const auto chip = [&](int column) {
        const tessaline::Rect r = m.chipRect(column, 0);
        return Rect{timeline.x + int(r.x), timeline.y + int(r.y), int(r.width), int(r.height)};
    };
    act("toggleTimeline", "the timeline at its place", [&] { return panel("stripBar") == timeline; });
    expectColour({chip(1).x - 2, chip(1).centre().y}, kAccent, "the focused window's chip is ringed");
    expectColour(chip(0).centre(), kIcon, "the application's icon on its chip", 8);
    click(chip(0).centre());
    EXPECT_EQ(active(), a.window());
    EXPECT_EQ(state()["timeline"]["mode"], "off");
    // Escape is lent to a pinned timeline.
    act("toggleTimeline", "the timeline again", [&] { return panel("stripBar") == timeline; });
    pressEscape();
    EXPECT_EQ(state()["timeline"]["mode"], "off");

    // The overview takes the keyboard, not the focus; its focused card is
    // ringed; a click on another card focuses that window and gives the keyboard back.
    ASSERT_TRUE(inputIsFree());
    act("overview", "the overview", [&] { return panel("overview").has_value(); });
    EXPECT_FALSE(inputIsFree()) << "the open overview holds the keyboard";
    auto* focus = xcb_get_input_focus_reply(x().get(), xcb_get_input_focus(x().get()), nullptr);
    EXPECT_TRUE(focus && focus->focus == a.window()) << "the focused window keeps the focus";
    free(focus);
    const auto [selected, card] = selectedCard();
    EXPECT_EQ(selected, a.window());
    expectColour({card.x - 5, card.centre().y}, kAccent, "the focused window's card is ringed");
    click({card.x + card.w + card.w / 2, card.centre().y});
    EXPECT_EQ(active(), b.window()) << "the card right of the focused one";
    EXPECT_FALSE(panel("overview"));
    EXPECT_TRUE(inputIsFree());

    // A tabbed column: clicking a tab brings its window forward.
    act("stackLeft", "b in a's column", [&] { return b.geometry()->x == a.geometry()->x; });
    act("toggleTabbed", "the tab bar", [&] { return panel("tabBar").has_value(); });
    const Rect tabs = *panel("tabBar");
    click({tabs.x + tabs.w / 4, tabs.centre().y});
    EXPECT_EQ(active(), a.window()) << "the first tab's window";

    act("stop", "every panel off screen", [&] { return panels().empty(); });
    EXPECT_TRUE(inputIsFree());
}

}  // namespace
