#include "model/SimEnvironment.h"

#include <chrono>

namespace gw {

namespace {
const auto programStart = std::chrono::steady_clock::now();

std::shared_ptr<SimEnvironment>& current() {
    static std::shared_ptr<SimEnvironment> env = std::make_shared<SystemEnvironment>();
    return env;
}
}  // namespace

SystemEnvironment::SystemEnvironment() : rng_(std::random_device{}()) {}

int64_t SystemEnvironment::millis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 programStart)
        .count();
}

int SystemEnvironment::randomBit() { return static_cast<int>(rng_() >> 31); }

int SimulatedEnvironment::randomBit() { return static_cast<int>(rng_() >> 31); }

SimEnvironment& simEnvironment() { return *current(); }

std::shared_ptr<SimEnvironment> setSimEnvironment(std::shared_ptr<SimEnvironment> env) {
    auto old = current();
    current() = env ? std::move(env) : std::make_shared<SystemEnvironment>();
    return old;
}

}  // namespace gw
