// The simulation step on random boards of 10,000 to 1,000,000 devices: the reference step (each
// device's Update in list order) against the compiled step, in the same run on the same boards;
// the compile time; and the memory the board and the compiled form take per device and per net.
//
// Per-device figures are the counter "per_dev" (time of one step divided by the device count).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <map>

#include "generators.h"
#include "model/ObjectPool.h"
#include "model/SimEnvironment.h"
#include "model/Wire.h"
#include "sim/CompiledCircuit.h"
#include "sim/FastSimulator.h"

using namespace gw;

namespace {

// Boards are generated once per size and shared by the benchmarks of that size.
TBoardEngine& board(size_t n) {
    static std::map<size_t, std::shared_ptr<TBoardEngine>> cache;
    auto& b = cache[n];
    if (!b) b = gwbench::makeRandomBoard(n, 42);
    return *b;
}

void perDevice(benchmark::State& st, size_t devices) {
    st.counters["per_dev"] =
        benchmark::Counter(static_cast<double>(devices),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_StepReference(benchmark::State& st) {
    TBoardEngine& b = board(static_cast<size_t>(st.range(0)));
    // Compiled once, untimed, so that both steps run on the board as compiling leaves it (data
    // words packed in step order), whichever benchmark runs first.
    CompiledCircuit().build(b.deviceList);
    for (auto _ : st) stepDevices(b.deviceList);
    perDevice(st, b.deviceList.size());
}

// The board's step through the compiled form (the model is current after each step).
void BM_StepCompiled(benchmark::State& st) {
    TBoardEngine& b = board(static_cast<size_t>(st.range(0)));
    FastSimulator fs;
    fs.step(b.deviceList, 1);
    for (auto _ : st) fs.step(b.deviceList, 1);
    perDevice(st, b.deviceList.size());
    st.counters["fallbacks"] = static_cast<double>(fs.compiled().fallbackCount());
    // Share of devices on the table op (an op two devices share counts for both), and such ops.
    st.counters["table_share"] = static_cast<double>(fs.compiled().tableCount() + fs.compiled().fusedPairs()) /
                                 static_cast<double>(fs.compiled().deviceCount());
    st.counters["shared_ops"] = static_cast<double>(fs.compiled().fusedPairs());
    st.counters["pooled_tables"] = static_cast<double>(fs.compiled().pooledTables());
}

// The flat step alone, without the simulator's check for a changed circuit.
void BM_StepCompiledNoSync(benchmark::State& st) {
    TBoardEngine& b = board(static_cast<size_t>(st.range(0)));
    CompiledCircuit cc;
    cc.build(b.deviceList);
    for (auto _ : st) cc.run(1);
    perDevice(st, b.deviceList.size());
}

// Compiling after an edit.
void BM_Compile(benchmark::State& st) {
    TBoardEngine& b = board(static_cast<size_t>(st.range(0)));
    CompiledCircuit cc;
    for (auto _ : st) cc.build(b.deviceList);
    perDevice(st, b.deviceList.size());
}

// 1,000 IC devices of 100 inner devices each; per_inner is one step divided by the inner devices.
TBoardEngine& icBoard() {
    static std::shared_ptr<TBoardEngine> b = gwbench::makeICBoard(1000, 100, 7);
    return *b;
}

void perInner(benchmark::State& st) {
    st.counters["per_inner"] = benchmark::Counter(
        1000.0 * 100.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_StepICReference(benchmark::State& st) {
    TBoardEngine& b = icBoard();
    stepDevices(b.deviceList);  // builds every inner circuit
    for (auto _ : st) stepDevices(b.deviceList);
    perInner(st);
}

void BM_StepICCompiled(benchmark::State& st) {
    TBoardEngine& b = icBoard();
    FastSimulator fs;
    fs.step(b.deviceList, 1);
    for (auto _ : st) fs.step(b.deviceList, 1);
    perInner(st);
    st.counters["inner"] = static_cast<double>(fs.compiled().innerDeviceCount());
}

// Heap in use, less the slots the object pools hold free for later objects, plus what lives outside
// the heap: the object pools' blocks in their arena, the slots of the stores of net values and
// device data words in use and the compiled form's streams mapped on their own.
size_t heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd + SlotPool::arenaBytes() - SlotPool::sharedIdleBytes() + NetValueStore::inUse() * sizeof(NetCell) +
           DeviceDataStore::inUse() * sizeof(int) + largepages::mappedBytes();
}

// Heap bytes of a freshly generated board (devices with their pin arrays, nets with their readers
// and segments, the lists, the nets' values), split into devices and nets, and of its compiled
// form. Allocator headers and rounding are included, as the program pays them.
void BM_Memory(benchmark::State& st) {
    const size_t n = static_cast<size_t>(st.range(0));
    for (auto _ : st) {
        const size_t h0 = heapInUse();
        auto b = gwbench::makeRandomBoard(n, 42);
        const size_t h1 = heapInUse();
        const size_t devices = b->deviceList.size(), nets = b->wireComplexList.size();
        size_t segments = 0, segmentBytes = 0, wide = 0;
        for (const auto& w : b->wireComplexList) {
            segments += w->lineList.size();
            segmentBytes += w->lineList.heapBytes();
            wide += w->lineList.wideCount();
        }
        // How many devices have more than 3 inputs, and nets more than 1 or 2 readers: the pin
        // lists keep that many inside the object.
        size_t wideIn = 0, readers2 = 0, readers3 = 0;
        for (const auto& d : b->deviceList) wideIn += d->inputs.size() > 3;
        for (const auto& w : b->wireComplexList) {
            readers2 += w->outputList.size() >= 2;
            readers3 += w->outputList.size() >= 3;
        }
        st.counters["dev_4plus_inputs_pct"] = 100.0 * static_cast<double>(wideIn) / static_cast<double>(devices);
        st.counters["net_2plus_readers_pct"] = 100.0 * static_cast<double>(readers2) / static_cast<double>(nets);
        st.counters["net_3plus_readers_pct"] = 100.0 * static_cast<double>(readers3) / static_cast<double>(nets);
        // What drawing every net once adds: each net finds its junctions.
        const size_t hk = heapInUse();
        for (const auto& w : b->wireComplexList) w->recalcKnots();
        st.counters["drawn_knots_B_per_net"] =
            static_cast<double>(heapInUse() - hk) / static_cast<double>(b->wireComplexList.size());
        for (const auto& w : b->wireComplexList) w->dropKnots();
        CompiledCircuit cc;
        cc.build(b->deviceList);
        const size_t h2 = heapInUse();
        const size_t compiled = h2 - h1;
        // Free the nets first (nothing is stepped or drawn afterwards), then the devices.
        b->wireComplexList.clear();
        b->wireComplexList.shrink_to_fit();
        const size_t h3 = heapInUse();
        const size_t netBytes = h2 - h3;
        const size_t boardBytes = h1 - h0;
        st.counters["devices"] = static_cast<double>(devices);
        st.counters["nets"] = static_cast<double>(nets);
        st.counters["segments_per_net"] = static_cast<double>(segments) / static_cast<double>(nets);
        // The segment lists' own bytes (without allocator headers), and the share of segments
        // kept whole because they do not fit a short record.
        st.counters["segment_B_per_dev"] = static_cast<double>(segmentBytes) / static_cast<double>(devices);
        st.counters["wide_segments_pct"] = 100.0 * static_cast<double>(wide) / static_cast<double>(segments);
        st.counters["net_object_B"] = static_cast<double>(sizeof(TWireComplex));
        st.counters["board_B_per_dev"] = static_cast<double>(boardBytes) / static_cast<double>(devices);
        st.counters["dev_B_per_dev"] =
            static_cast<double>(boardBytes - netBytes) / static_cast<double>(devices);
        st.counters["net_B_per_net"] = static_cast<double>(netBytes) / static_cast<double>(nets);
        st.counters["compiled_B_per_dev"] = static_cast<double>(compiled) / static_cast<double>(devices);
        st.counters["compiled_own_B_per_dev"] =
            static_cast<double>(cc.memoryBytes()) / static_cast<double>(devices);
        st.counters["net_values_B"] = static_cast<double>(NetValueStore::committedBytes());
        st.counters["device_data_B"] = static_cast<double>(DeviceDataStore::committedBytes());
        b->deviceList.clear();
        cc.clear();
    }
}

}  // namespace

BENCHMARK(BM_StepReference)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepCompiled)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepCompiledNoSync)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepICReference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepICCompiled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Compile)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory)->Arg(10000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
