// The simulation step must not allocate: a board of thousands of devices is stepped 60 times a
// second, and the step is the program's hot loop.
#include <gtest/gtest.h>

#include "model/Catalogue.h"
#include "model/SimEnvironment.h"
#include "support/Circuit.h"
#include "support/CountingNew.h"

TEST(StepAllocation, NoAllocationPerDeviceAndStep) {
    auto env = std::make_shared<gw::SimulatedEnvironment>(0, 7);
    auto old = gw::setSimEnvironment(env);
    gwtest::Circuit c;
    // Every built-in kind, each output on its own net and each input reading the previous net.
    c.chainEveryBuiltinKind();
    c.step(2);  // first steps may create per-device state (counter edge flags)
    const long before = gwtest::allocations.load();
    for (int i = 0; i < 100; ++i) {
        env->advance(37);
        c.step();
    }
    EXPECT_EQ(gwtest::allocations.load() - before, 0);
    gw::setSimEnvironment(old);
}
