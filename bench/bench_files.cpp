// Saving and loading a board of 1,000,000 devices and 1,000,000 nets: to and from memory (the
// encoding alone) and to and from a file (with the temporary file, fsync and rename of a real save).
// The peak resident memory of the process is reported as a counter (peak_rss_mb).
//
// The board: rows of 1,000 device slots with a repeating mix of gates, inverters, adders, memory
// cells, counters, switches and LEDs; every net runs from one device's first output to the next
// device's first input (two segments each, split the way the editor lays short wires), every fifth
// net also reaches the input of the device after that, one pin in eight is inverted, and a thousand
// captions sit on the board.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "board/BoardEngine.h"
#include "board/BoardIndex.h"
#include "generators.h"
#include "io/BoardFile.h"
#include "model/ObjectPool.h"
#include "io/ByteStream.h"
#include "model/Catalogue.h"
#include "model/Registry.h"

namespace {

constexpr std::size_t kDevices = 1000000;

double peakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void registerTypes() {
    static const bool registered = [] {
        gw::registerBuiltinDrafts();
        return true;
    }();
    (void)registered;
}

std::shared_ptr<gw::TBoardEngine> makeBoard(std::size_t n) {
    registerTypes();
    const char* mix[] = {"$logic0|2", "$logic1|3", "$logic2|1", "$adder1",   "$ram",
                         "$counter4", "$logic0|4", "$swich1",   "$logic1|2", "$led255|100|100"};
    std::vector<gw::DraftPtr> types;
    for (const char* id : mix) types.push_back(gw::getDraft(id));

    auto b = gw::TBoardEngine::Create();
    b->deviceList.reserve(n);
    b->wireComplexList.reserve(n);
    uint32_t rng = 12345;
    auto next = [&] { return rng = rng * 1664525u + 1013904223u; };
    for (std::size_t i = 0; i < n; ++i) {
        auto d = gw::makePooled<gw::TDevice>(types[i % types.size()], static_cast<int>(i % 1000) * 6,
                                               static_cast<int>(i / 1000) * 14);
        for (auto f : d->invertedInputs) f = (next() >> 13) % 8 == 0;
        for (auto f : d->invertedOutputs) f = (next() >> 13) % 8 == 0;
        if (d->draft->getID() == "$swich1") d->data = static_cast<int>(next() >> 31);
        b->deviceList.push_back(std::move(d));
    }
    // One net per device: its first output to the next device that has an input.
    for (std::size_t i = 0; i < n; ++i) {
        auto net = gw::makePooled<gw::TWireComplex>();
        gw::TDevice& from = *b->deviceList[i];
        if (!from.outputs.empty() && !from.outputs[0]) {
            from.outputs[0] = net.get();
            net->Input = &from;
        }
        for (std::size_t k = 1; k <= (i % 5 == 0 ? 2u : 1u); ++k) {
            gw::TDevice& to = *b->deviceList[(i + k) % n];
            for (std::size_t p = 0; p < to.inputs.size(); ++p)
                if (!to.inputs[p]) {
                    to.inputs[p] = net.get();
                    net->outputList.push_back(&to);
                    break;
                }
        }
        const int x = from.xPos + 1, y = from.yPos;
        net->lineList.push_back({x, y, x + 1, y});
        net->lineList.push_back({x + 1, y, x + 2, y});
        b->wireComplexList.push_back(std::move(net));
    }
    for (int c = 0; c < 1000; ++c) {
        auto cap = gw::TCaption::Create();
        cap->txt = "caption " + std::to_string(c);
        cap->xPos = c * 7;
        cap->yPos = -3;
        b->captionList.push_back(cap);
    }
    return b;
}

gw::TBoardEngine& board() {
    static auto b = makeBoard(kDevices);
    return *b;
}

std::string tempPath() { return "/tmp/gw-bench-files-" + std::to_string(getpid()) + ".gwb"; }

void BM_SaveToMemory(benchmark::State& state) {
    auto& b = board();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out;
        gw::WriteToStream(b, out);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["file_mb"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
    state.counters["peak_rss_mb"] = peakRssMb();
}

void BM_SaveToFile(benchmark::State& state) {
    auto& b = board();
    const std::string path = tempPath();
    for (auto _ : state) {
        std::string why;
        if (!gw::writeToFile(b, path, &why)) state.SkipWithError(why.c_str());
    }
    std::remove(path.c_str());
    state.counters["peak_rss_mb"] = peakRssMb();
}

void BM_LoadFromMemory(benchmark::State& state) {
    std::string file;
    gw::WriteToStream(board(), file);
    for (auto _ : state) {
        auto b = gw::TBoardEngine::Create();
        gw::ByteReader in(file);
        gw::BoardLoadReport rep;
        if (!gw::ReadFromStream(*b, in, &rep)) state.SkipWithError(rep.error.c_str());
        benchmark::DoNotOptimize(b->deviceList.size());
        state.PauseTiming();  // taking the board down is not part of loading it
        b.reset();
        state.ResumeTiming();
    }
    state.counters["peak_rss_mb"] = peakRssMb();
}

void BM_LoadFromFile(benchmark::State& state) {
    const std::string path = tempPath();
    std::string why;
    if (!gw::writeToFile(board(), path, &why)) state.SkipWithError(why.c_str());
    for (auto _ : state) {
        auto b = gw::TBoardEngine::Create();
        gw::BoardLoadReport rep;
        if (!gw::readFromFile(*b, path, &rep)) state.SkipWithError(rep.error.c_str());
        if (b->deviceList.size() != kDevices || b->wireComplexList.size() != kDevices)
            state.SkipWithError("the board did not load completely");
        state.PauseTiming();
        b.reset();
        state.ResumeTiming();
    }
    std::remove(path.c_str());
    state.counters["peak_rss_mb"] = peakRssMb();
}

// Heap in use, less the slots the object pools hold free for later objects.
size_t heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd + gw::SlotPool::arenaBytes() - gw::SlotPool::sharedIdleBytes();
}

// Heap bytes of the random 1,000,000-device board of the simulation benchmark as the editor holds
// it after opening the file: the board read back from its saved form (lists, devices with their pin
// arrays, nets with readers and segments; allocator headers and rounding included), and apart from
// it the spatial index that the first frame builds. Reading appends segments one by one, so this is
// where room left over by growing lists would show.
void BM_LoadedRandomBoardMemory(benchmark::State& state) {
    registerTypes();
    std::string file;
    size_t devices = 0, nets = 0, segments = 0;
    {
        auto gen = gwbench::makeRandomBoard(kDevices, 42);
        gw::WriteToStream(*gen, file);
    }
    for (auto _ : state) {
        const size_t h0 = heapInUse();
        auto b = gw::TBoardEngine::Create();
        gw::ByteReader in(file);
        gw::BoardLoadReport rep;
        if (!gw::ReadFromStream(*b, in, &rep)) {
            state.SkipWithError(rep.error.c_str());
            break;
        }
        const size_t h1 = heapInUse();
        devices = b->deviceList.size();
        nets = b->wireComplexList.size();
        segments = 0;
        for (const auto& w : b->wireComplexList) segments += w->lineList.size();
        std::vector<gw::TDevice*> found;
        std::vector<gw::TWireComplex*> foundNets;
        {
            gw::TBoardEngine::FrameScope frame(*b);
            b->devicesInRect(0, 0, 64, 40, found);
            b->netsInRect(0, 0, 64, 40, foundNets);
        }
        const size_t h2 = heapInUse();
        state.counters["board_B_per_dev"] = static_cast<double>(h1 - h0) / static_cast<double>(devices);
        state.counters["index_B_per_dev"] = static_cast<double>(h2 - h1) / static_cast<double>(devices);
        // The index's parts, per device.
        const gw::BoardIndex::Memory m = b->spatialIndex().memoryBytes();
        auto per = [&](size_t bytes) { return static_cast<double>(bytes) / static_cast<double>(devices); };
        state.counters["ix_dev_records"] = per(m.deviceRecords);
        state.counters["ix_dev_slots"] = per(m.deviceSlots);
        state.counters["ix_dev_cells"] = per(m.deviceCells);
        state.counters["ix_net_records"] = per(m.netRecords);
        state.counters["ix_net_slots"] = per(m.netSlots);
        state.counters["ix_runs"] = per(m.runs);
        state.counters["ix_run_cells"] = per(m.runCells);
        state.PauseTiming();
        b.reset();
        state.ResumeTiming();
    }
    state.counters["devices"] = static_cast<double>(devices);
    state.counters["nets"] = static_cast<double>(nets);
    state.counters["segments_per_net"] = static_cast<double>(segments) / static_cast<double>(nets);
}

}  // namespace

BENCHMARK(BM_LoadedRandomBoardMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SaveToMemory)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadFromMemory)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
