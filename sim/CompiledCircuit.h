// CompiledCircuit: a device list compiled into flat arrays and stepped without touching the object
// model. One step gives exactly what stepping every device's Update in list order gives: the same
// net values, device data, counter edge flags, the same clock phases and the same draws from the
// random source of the simulation environment, in the same order.
//
// Layout. Each device becomes one fixed 8-byte op (kind, input count, output count, a small
// parameter and an aux word) followed, in one shared pin array, by its input pins and then its
// output pins. A pin is a net slot index with the pin's inversion flag in the top bit. Net values
// are bytes. Slot 0 always reads 0 (unwired inputs point there, their inversion dropped, since an
// unwired input reads 0 inverted or not) and slot 1 swallows the writes of unwired outputs.
// Devices with their own value (lamp, display, memory cell, counter) keep it in a data array;
// counters keep their two edge flags beside it. Switches read their data word live from the model
// each step, because the board's mouse handling changes it between steps. Types this form does not
// know (and built-in types with odd parameters) are stepped through their draft's own Update with
// input and output values taken from and given to the flat arrays.
//
// The model and the flat form. Building reads net State, device data and counter flags from the
// model. run() then changes only the flat form; syncToModel() writes back exactly what changed
// since the last sync (steps record every net and device whose value changed), so calling it after
// each step keeps the model current at the cost of the step's own activity, not of the board's size.
// Until syncToModel() runs, net State and device data in the model are stale.
//
// The compiled form holds plain pointers to the devices, nets and state objects it was built from.
// Any structural change of the circuit (devices added or removed, pins connected or disconnected,
// inversion flags toggled, nets merged or split, counter state objects replaced) and any change of
// net State or of a non-switch device's data made outside a step calls for a rebuild; using a stale
// compiled form after such a change is a programming error. FastSimulator (FastSimulator.h) ties
// the rebuild to a version counter that the board bumps.
//
// No allocation happens in run() or syncToModel(): every buffer is sized when building.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "model/Device.h"

namespace gw {

class TCounterData;
class SimEnvironment;

class CompiledCircuit {
public:
    CompiledCircuit();
    ~CompiledCircuit();
    CompiledCircuit(const CompiledCircuit&) = delete;
    CompiledCircuit& operator=(const CompiledCircuit&) = delete;

    // Compiles the devices in step order. Counters that have no counter state object yet get one
    // (flags 0), as their first step would give them.
    void build(const std::vector<DevicePtr>& devices);
    // The same from plain pointers (none may be null).
    void build(const std::vector<TDevice*>& devices);
    void clear();

    // Runs `steps` steps on the flat form.
    void run(int steps = 1);
    // Writes every net value, device data word and counter flag pair that changed since the last
    // sync (or since building) back into the model.
    void syncToModel();

    // Sizes, for tests and benchmarks.
    size_t deviceCount() const { return deviceCount_; }
    // Inner devices of IC devices, expanded into the flat form.
    size_t innerDeviceCount() const { return innerCount_; }
    size_t netCount() const { return netRef_.size() - kFirstNet; }
    // Devices stepped through their draft's Update because the flat form has no kind for them.
    size_t fallbackCount() const { return fallbacks_.size(); }
    // Bytes held by the flat form (capacities of its arrays).
    size_t memoryBytes() const;

    // Internal kinds of the flat form.
    enum Kind : uint8_t {
        kGate,     // threshold gate: 1 when at least `param` inputs are 1 (AND, OR, constant)
        kGateNot,  // the negation of kGate (the inverter)
        kGate2,    // kGate with 2, 3 or 4 inputs and one output, unrolled
        kGate3,
        kGate4,
        kNot1,  // kGateNot with one input and one output
        kAdder,
        kRam,
        kCounter,  // param = bits
        kSwitch,   // aux = index into live_
        kClock,    // aux = half period in ms
        kRandom,
        kLed,
        kDigit4,
        kDigit7,
        kFallback,  // aux = index into fallbacks_; its pins live in fallbackPins_
        kKindCount
    };

private:
    struct Op {
        uint8_t kind;
        uint8_t nIn;
        uint8_t nOut;
        uint8_t param;
        uint32_t aux;
    };
    static_assert(sizeof(Op) == 8);

    struct Fallback {
        TDraft* draft;
        TDevice* device;
        uint32_t pinStart;  // into fallbackPins_: nIn input pins, then nOut output pins
        uint32_t nIn;
        uint32_t nOut;  // outputs the model device has (results beyond are dropped)
    };

    static constexpr uint32_t kInvBit = 0x80000000u;
    static constexpr uint32_t kSlotMask = 0x7fffffffu;
    static constexpr uint32_t kZeroNet = 0;
    static constexpr uint32_t kSinkNet = 1;
    static constexpr uint32_t kFirstNet = 2;

    void begin();
    void addDevice(TDevice& d);
    void finish();
    uint32_t slotOf(int* state);
    uint32_t inPin(TDevice& d, size_t i);
    uint32_t outPin(TDevice& d, size_t i);
    uint32_t newData(int* ref, int value, TCounterData* flags);
    // One device of `draft` whose state lives in `state`, its pins given by in(i) and out(i).
    // Compiles it to a flat kind when there is one, else to a fallback.
    template <class In, class Out>
    void addOp(TDraft* draft, TDevice& state, size_t nIn, size_t nOut, In in, Out out);
    template <class In, class Out>
    void addFallback(TDraft* draft, TDevice& state, size_t nIn, size_t nOut, In in, Out out);
    // An IC device: its inner circuit expanded in place (input copies, inner devices, output
    // copies). Answers false when it has no inner circuit to expand.
    bool addIC(TDevice& d);

    template <bool Track>
    void step(SimEnvironment& env);

    std::vector<Op> ops_;
    std::vector<uint32_t> pins_;
    std::vector<uint8_t> net_;    // value per slot
    std::vector<int*> netRef_;    // the model's State per slot (null for slots 0 and 1)
    std::vector<int32_t> data_;   // per stateful device
    std::vector<uint8_t> flags_;  // counters: bit 0 addSignal, bit 1 subSignal
    std::vector<int*> dataRef_;   // the model's data word per stateful device
    std::vector<TCounterData*> flagRef_;
    std::vector<TDevice*> live_;  // switches
    std::vector<Fallback> fallbacks_;
    std::vector<uint32_t> fallbackPins_;
    std::vector<int> fbIns_, fbOuts_;  // scratch values for fallbacks

    // Changes since the last sync. When a step starts with unsynced changes the lists might
    // overflow, so tracking stops and the next sync writes everything.
    std::vector<uint32_t> dirtyNets_, dirtyData_;
    size_t nDirtyNets_ = 0, nDirtyData_ = 0;
    bool allDirty_ = false;

    size_t deviceCount_ = 0;
    size_t innerCount_ = 0;
    std::unordered_map<int*, uint32_t> slotIndex_;  // only while building
};

}  // namespace gw
