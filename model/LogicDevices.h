// The built-in kinds that compute: gates, inverter and constant source (TLogic), half and full
// adder (TAdder), one-bit memory cell (TRam) and up/down counter with load and reset (TCounter).
#pragma once

#include <memory>

#include "model/Device.h"
#include "model/Draft.h"

namespace gw {

class TLogic : public TFeatureDraft {
public:
    int inCons = 0;
    int kind = 0;  // 0 AND, 1 OR, 2 inverter, 3 constant source

    static std::shared_ptr<TLogic> Create(int inCons, int kind);
    void generate(int inCons, int kind);

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 0; }
    std::string GetName() const override;
    std::string getID() const override { return "$logic" + num(kind) + "|" + num(inCons); }
};

class TAdder : public TFeatureDraft {
public:
    int bFull = 0;

    static std::shared_ptr<TAdder> Create(int bFull);
    void generate(int bFull);

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 0; }
    std::string GetName() const override { return bFull ? "VA" : "HA"; }
    std::string getID() const override { return "$adder" + num(bFull); }
};

// Set/reset memory cell; reset wins. Outputs "1" = data and "0" = its negation.
class TRam : public TFeatureDraft {
public:
    static std::shared_ptr<TRam> Create();
    void generate();

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 0; }
    std::string GetName() const override { return "------"; }
    std::string getID() const override { return "$ram"; }
};

// Edge memory of one counter: the "+"/"-" input was counted and has not yet gone back to 0.
class TCounterData : public TDeviceObj {
public:
    // 0 or 1 each; words of DeviceDataStore (like a device's data), so the compiled step keeps
    // them in place.
    DeviceData addSignal;
    DeviceData subSignal;
};

// n-bit counter: inputs "+", "-", "S" (parallel load), "R" (reset), data a..; outputs 1..n (LSB
// first). Reset, then load, then count up, then count down: the first that applies wins. Counting
// happens once per rising edge.
class TCounter : public TFeatureDraft {
public:
    int ports = 0;

    static std::shared_ptr<TCounter> Create(int ports);
    void generate(int ports);

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 0; }
    std::string GetName() const override { return ""; }
    std::string getID() const override { return "$counter" + num(ports); }
    void Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
              const TDevice* device) const override;
    bool drawsEveryDeviceAlike() const override { return false; }
};

}  // namespace gw
