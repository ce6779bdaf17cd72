#include "core/Parking.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessaline {
namespace {

using Parking::Side;

const Rect display{0, 0, 1440, 900};
const Rect rightDisplay{1440, 0, 1920, 1080};
const Rect leftDisplay{-1440, 0, 1440, 900};
const std::vector<Rect> alone;

TEST(ParkingResolve, AloneOnItsDisplay) {
    // Wholly outside: a one-point sliver stays at the nearer edge.
    EXPECT_EQ(Parking::resolve({1500, 25, 700, 850}, display, alone), (Rect{1439, 25, 700, 850}));
    EXPECT_EQ(Parking::resolve({-800, 25, 700, 850}, display, alone), (Rect{-699, 25, 700, 850}));
    // Partly outside with nothing beyond the edge: left where the layout put it.
    EXPECT_EQ(Parking::resolve({1000, 25, 700, 850}, display, alone), (Rect{1000, 25, 700, 850}));
    EXPECT_EQ(Parking::resolve({-698, 25, 700, 850}, display, alone), (Rect{-698, 25, 700, 850}));
    EXPECT_EQ(Parking::resolve({-300, 0, 2000, 900}, display, alone), (Rect{-300, 0, 2000, 900}));
    // Only the horizontal position counts.
    EXPECT_EQ(Parking::resolve({100, 2000, 700, 850}, display, alone), (Rect{100, 2000, 700, 850}));
}

TEST(ParkingResolve, NeverSpillsOntoANeighbouringDisplay) {
    const std::vector<Rect> others{rightDisplay};
    EXPECT_EQ(Parking::resolve({1000, 25, 700, 850}, display, others), (Rect{-699, 25, 700, 850}));
    EXPECT_EQ(Parking::resolve({1500, 25, 700, 850}, display, others), (Rect{-699, 25, 700, 850}));
    // Straddling the free edge is fine.
    EXPECT_EQ(Parking::resolve({-300, 25, 700, 850}, display, others), (Rect{-300, 25, 700, 850}));
    // A frame wholly on its display stays, even where a mirrored display overlaps it.
    EXPECT_EQ(Parking::resolve({740, 25, 700, 850}, display, std::vector<Rect>{{0, 0, 1440, 900}}),
              (Rect{740, 25, 700, 850}));
    // A display that only touches the frame's edge is no overlap.
    EXPECT_EQ(Parking::resolve({1000, 25, 700, 850}, display, std::vector<Rect>{{1700, 0, 500, 900}}),
              (Rect{1000, 25, 700, 850}));
}

TEST(ParkingResolve, ParkedFramesStayParked) {
    // The window manager resolves every frame on every relayout; a parked
    // window must not be moved again.
    const std::vector<std::vector<Rect>> layouts{
        {}, {rightDisplay}, {leftDisplay}, {leftDisplay, rightDisplay, Rect{0, 900, 1440, 900}}};
    for (const auto& others : layouts) {
        for (Rect frame : {Rect{1500, 25, 700, 850}, Rect{-800, 25, 700, 850}}) {
            const Rect parked = Parking::resolve(frame, display, others);
            EXPECT_EQ(Parking::resolve(parked, display, others), parked);
        }
    }
}

TEST(ParkingPark, CandidatesInOrder) {
    const Rect frame{1500, 25, 700, 850};
    EXPECT_EQ(Parking::park(frame, Side::right, display, alone), (Rect{1439, 25, 700, 850}));
    EXPECT_EQ(Parking::park(frame, Side::left, display, alone), (Rect{-699, 25, 700, 850}));
    // Both sides taken at the frame's height, room below the short neighbours.
    const std::vector<Rect> shortSides{{1440, 0, 1920, 800}, {-1440, 0, 1440, 800}};
    EXPECT_EQ(Parking::park(frame, Side::right, display, shortSides), (Rect{1439, 899, 700, 850}));
    // Tall neighbour on the chosen side: the other side's bottom corner.
    const std::vector<Rect> tallRight{{1440, 0, 1920, 2000}, {-1440, 0, 1440, 800}};
    EXPECT_EQ(Parking::park(frame, Side::right, display, tallRight), (Rect{-699, 899, 700, 850}));
    // Surrounded: the chosen side at the bottom edge.
    const std::vector<Rect> surrounded{leftDisplay, rightDisplay, {0, 900, 1440, 900}};
    EXPECT_EQ(Parking::park(frame, Side::right, display, surrounded), (Rect{1439, 899, 700, 850}));
    EXPECT_EQ(Parking::park(frame, Side::left, display, surrounded), (Rect{-699, 899, 700, 850}));
}

TEST(ParkingFit, BringsFramesInsideTheArea) {
    const Rect area{0, 25, 1440, 875};
    EXPECT_EQ(Parking::fit({-300, 100, 2000, 500}, area), (Rect{0, 100, 1440, 500}));
    EXPECT_EQ(Parking::fit({200, 100, 700, 500}, area), (Rect{200, 100, 700, 500}));
    EXPECT_EQ(Parking::fit({1439, 0, 700, 2000}, area), (Rect{740, 25, 700, 875}));
    EXPECT_EQ(Parking::fit({-699, 850, 700, 500}, area), (Rect{0, 400, 700, 500}));
}

}  // namespace
}  // namespace tessaline
