// The compiled step and the write-back must not allocate: they run for every frame and every mouse
// event on boards of up to a million devices.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "model/Catalogue.h"
#include "model/SimEnvironment.h"
#include "sim/FastSimulator.h"
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

TEST(CompiledStepAllocation, NoAllocationPerStepOrSync) {
    auto env = std::make_shared<gw::SimulatedEnvironment>(0, 3);
    auto old = gw::setSimEnvironment(env);
    gwtest::Circuit c;
    // Every built-in kind, each reading the previous device's net and driving its own, closed into
    // a loop so values keep moving.
    for (const auto& e : gw::makeBuiltinCatalogue()) {
        gw::TDevice& d = c.add(e.draft);
        for (size_t i = 0; i < d.inputs.size(); ++i)
            if (!c.nets.empty()) gwtest::Circuit::in(d, static_cast<int>(i), *c.nets.back());
        for (size_t i = 0; i < d.outputs.size(); ++i) gwtest::Circuit::out(d, static_cast<int>(i), c.net());
    }
    gw::FastSimulator fs;
    fs.step(c.devices, 1);  // compiling allocates; stepping must not
    const long before = allocations.load();
    for (int i = 0; i < 200; ++i) {
        env->advance(7);
        c.devices[1]->data ^= 1;  // a toggle switch flipped by the mouse
        fs.step(c.devices, 1);
    }
    EXPECT_EQ(allocations.load() - before, 0);
    gw::setSimEnvironment(old);
}
