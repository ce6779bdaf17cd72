// Random real clients around a running manager. CTest runs a short sequence;
// scripts/x11-soak runs long ones (TESSALINE_X11_STRESS_STEPS, _SEED).

#include "RandomClients.h"

#include <gtest/gtest.h>

using namespace tessaline::xtest;

TEST(RandomClients, LeaveTessalineRunningAndEveryWindowOnScreenAfterStop) {
    if (ManagerOptions::tessalineExecutable().empty()) GTEST_SKIP() << "no tessaline executable in this build";
    ManagerProcess tessaline;
    tessaline.start();
    RandomClients driver(tessaline, RandomClients::seedFromEnvironment(1));
    driver.run(RandomClients::stepsFromEnvironment(300));
    driver.finish(true);
}

// The driver itself, against a manager that exists today. i3 leaves windows
// where they are when it stops, so only its survival is checked, without the
// requests and checks that trip over i3's own faults (see Options).
TEST(RandomClients, LeaveI3Running) {
    ManagerProcess i3{ManagerOptions::i3()};
    i3.start();
    RandomClients driver(i3, RandomClients::seedFromEnvironment(1), {.strictClientList = false, .fullscreen = false});
    driver.run(RandomClients::stepsFromEnvironment(300));
    driver.finish(false);
}
