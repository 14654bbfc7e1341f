// Where the simulation gets wall-clock time and randomness from. Clocks read millis(), random
// generators randomBit(). The program uses the system environment; tests and the batch simulator
// install a simulated one so clocks run on a chosen time and the random source on a fixed seed.
#pragma once

#include <cstdint>
#include <memory>
#include <random>

namespace gw {

class SimEnvironment {
public:
    virtual ~SimEnvironment() = default;
    // Milliseconds since an arbitrary start; never negative.
    virtual int64_t millis() = 0;
    // 0 or 1 with equal chance, drawn anew on every call.
    virtual int randomBit() = 0;
};

// The real clock (steady, since program start) and a randomly seeded generator.
class SystemEnvironment : public SimEnvironment {
public:
    SystemEnvironment();
    int64_t millis() override;
    int randomBit() override;

private:
    std::mt19937 rng_;
};

// A clock that shows whatever the caller sets, and a generator with a fixed seed.
class SimulatedEnvironment : public SimEnvironment {
public:
    explicit SimulatedEnvironment(int64_t startMs = 0, uint32_t seed = 1) : now_(startMs), rng_(seed) {}
    int64_t millis() override { return now_; }
    int randomBit() override;
    void setMillis(int64_t ms) { now_ = ms; }
    void advance(int64_t ms) { now_ += ms; }

private:
    int64_t now_;
    std::mt19937 rng_;
};

// The environment in force (the system one unless another was installed).
SimEnvironment& simEnvironment();
// Installs `env` (nullptr goes back to the system environment). Answers the previous one.
std::shared_ptr<SimEnvironment> setSimEnvironment(std::shared_ptr<SimEnvironment> env);

}  // namespace gw
