// The compiled step must not allocate: it runs for every frame and every mouse
// event on boards of up to a million devices.
#include <gtest/gtest.h>

#include "model/Catalogue.h"
#include "model/SimEnvironment.h"
#include "sim/FastSimulator.h"
#include "support/Circuit.h"
#include "support/CountingNew.h"

TEST(CompiledStepAllocation, NoAllocationPerStep) {
    auto env = std::make_shared<gw::SimulatedEnvironment>(0, 3);
    auto old = gw::setSimEnvironment(env);
    gwtest::Circuit c;
    // Every built-in kind, each reading the previous device's net and driving its own.
    c.chainEveryBuiltinKind();
    gw::FastSimulator fs;
    fs.step(c.devices, 1);  // compiling allocates; stepping must not
    const long before = gwtest::allocations.load();
    for (int i = 0; i < 200; ++i) {
        env->advance(7);
        c.devices[1]->data ^= 1;  // a toggle switch flipped by the mouse
        fs.step(c.devices, 1);
    }
    EXPECT_EQ(gwtest::allocations.load() - before, 0);
    gw::setSimEnvironment(old);
}
