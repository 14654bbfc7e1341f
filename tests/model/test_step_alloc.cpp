// The simulation step must not allocate: a board of thousands of devices is stepped 60 times a
// second, and the step is the program's hot loop.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "model/Catalogue.h"
#include "model/SimEnvironment.h"
#include "support/Circuit.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t n) {
    ++allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(StepAllocation, NoAllocationPerDeviceAndStep) {
    auto env = std::make_shared<gw::SimulatedEnvironment>(0, 7);
    auto old = gw::setSimEnvironment(env);
    gwtest::Circuit c;
    // Every built-in kind, each output on its own net and each input reading the previous net.
    for (const auto& e : gw::makeBuiltinCatalogue()) {
        gw::TDevice& d = c.add(e.draft);
        for (size_t i = 0; i < d.inputs.size(); ++i)
            if (!c.nets.empty()) gwtest::Circuit::in(d, static_cast<int>(i), *c.nets.back());
        for (size_t i = 0; i < d.outputs.size(); ++i) gwtest::Circuit::out(d, static_cast<int>(i), c.net());
    }
    c.step(2);  // first steps may create per-device state (counter edge flags)
    const long before = allocations.load();
    for (int i = 0; i < 100; ++i) {
        env->advance(37);
        c.step();
    }
    EXPECT_EQ(allocations.load() - before, 0);
    gw::setSimEnvironment(old);
}
