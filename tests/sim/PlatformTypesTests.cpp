#include <gtest/gtest.h>

#include <unordered_map>

#include "engine/platform/Platform.h"
#include "platform/sim/SimDesktop.h"

using namespace tessaline;

namespace {

// An element of some other backend, to check that handles never mix.
class ForeignElement final : public PlatformElement {
public:
    explicit ForeignElement(std::uint64_t value) : value_(value) {}
    bool equals(const PlatformElement& other) const override {
        const auto* foreign = dynamic_cast<const ForeignElement*>(&other);
        return foreign && foreign->value_ == value_;
    }
    std::size_t hash() const override { return value_; }

private:
    std::uint64_t value_;
};

}  // namespace

TEST(WindowHandle, ReferencesToOneElementAreEqualAndHashEquallyAndNeverMatchAnotherBackends) {
    SimDesktop desk;
    desk.addDisplay();
    const ProcessID pid = desk.launchApp("Editor");
    const WindowID a = desk.openWindow(pid, "a");
    const WindowID b = desk.openWindow(pid, "b");

    const WindowHandle first = desk.handleOf(a);
    const WindowHandle second = desk.handleOf(a);
    ASSERT_NE(first.object, second.object);  // two separate objects...
    EXPECT_EQ(first, second);                // ...for the same element
    EXPECT_EQ(std::hash<WindowHandle>{}(first), std::hash<WindowHandle>{}(second));
    EXPECT_NE(first, desk.handleOf(b));

    std::unordered_map<WindowHandle, WindowID> handles;
    handles[first] = a;
    handles[desk.handleOf(b)] = b;
    handles[second] = a;
    EXPECT_EQ(handles.size(), 2u);
    EXPECT_EQ(handles.at(desk.handleOf(a)), a);

    const WindowHandle foreign{std::make_shared<ForeignElement>(first.hash())};
    EXPECT_EQ(WindowHandle{}, WindowHandle{});
    EXPECT_NE(WindowHandle{}, first);
    EXPECT_NE(first, WindowHandle{});
    EXPECT_NE(first, foreign);  // same hash, other backend: never equal
    EXPECT_NE(foreign, first);
    EXPECT_TRUE(desk.handleOf(9999).empty());
}
