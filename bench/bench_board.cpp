// Hit tests, the placement rule and whole mode frames on a large board: 10,000 devices and
// 10,000 nets. Each query runs twice: as a plain list scan (outside a frame) and inside a frame,
// where the board may answer from its spatial index. Both must give the same answers; the test
// suite checks that, this program only times them. Then the frames that edit (the index follows
// each edit in place), opening a frame, the view queries, and frame opening and view queries on a
// generated board of 1,000,000 devices.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <typeinfo>

#include "board/BoardEngine.h"
#include "board/Consistency.h"
#include "generators.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"

using namespace gw;

namespace {

// 100 rows of 100 two-input AND gates, 6 cells apart; in each row the output of every gate is
// wired to input 0 of the next one (99 nets of 4 segments), plus one spare net per row running
// below it (10,000 nets in all).
struct BigBoard {
    std::shared_ptr<TBoardEngine> b = TBoardEngine::Create();
    DraftPtr gate = TLogic::Create(2, 0);
    DraftPtr counter = TCounter::Create(10);
    int cols = 100, rows = 100;

    BigBoard() {
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < cols; ++i) b->addDevice(gate, 6 * i, 6 * j);
        for (int j = 0; j < rows; ++j) {
            for (int i = 0; i + 1 < cols; ++i) {
                auto w = makePooled<TWireComplex>();
                for (int s = 0; s < 4; ++s) w->addWire(6 * i + 1 + s, 6 * j, 6 * i + 2 + s, 6 * j);
                TDevice* from = b->deviceList[j * cols + i].get();
                TDevice* to = b->deviceList[j * cols + i + 1].get();
                from->outputs[0] = w.get();
                w->Input = from;
                to->inputs[0] = w.get();
                w->outputList.push_back(to);
                b->wireComplexList.push_back(w);
            }
            auto spare = makePooled<TWireComplex>();
            spare->addWire(0, 6 * j + 4, 1, 6 * j + 4);
            b->wireComplexList.push_back(spare);
        }
        b->invalidateIndex();
        const auto problems = checkBoard(*b);
        if (!problems.empty()) std::fprintf(stderr, "bench board unsound: %s\n", problems[0].c_str());
    }
};

BigBoard& board() {
    static BigBoard big;
    return big;
}

// Random grid points over the whole board (and a little beyond).
struct Points {
    std::vector<std::pair<int, int>> p;
    Points() {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> x(-5, 6 * 100 + 5), y(-5, 6 * 100 + 5);
        for (int i = 0; i < 4096; ++i) p.emplace_back(x(rng), y(rng));
    }
    const std::pair<int, int>& operator[](size_t i) const { return p[i & 4095]; }
};
const Points pts;

template <class F>
void run(benchmark::State& st, F f) {
    BigBoard& big = board();
    std::unique_ptr<TBoardEngine::FrameScope> scope;
    if (st.range(0)) scope = std::make_unique<TBoardEngine::FrameScope>(*big.b);
    size_t i = 0;
    for (auto _ : st) {
        const auto& [x, y] = pts[i++];
        f(*big.b, x, y);
    }
}

void BM_getWiresAt(benchmark::State& st) {
    run(st, [](TBoardEngine& b, int x, int y) { benchmark::DoNotOptimize(b.getWiresAt(x, y)); });
}
void BM_getDeviceAt(benchmark::State& st) {
    run(st, [](TBoardEngine& b, int x, int y) { benchmark::DoNotOptimize(b.getDeviceAt(x, y, 0)); });
}
void BM_getDeviceAtPixPos(benchmark::State& st) {
    run(st, [](TBoardEngine& b, int x, int y) {
        benchmark::DoNotOptimize(b.getDeviceAtPixPos(20 * x + 7, 20 * y - 3));
    });
}
void BM_posInputConnectableTo(benchmark::State& st) {
    run(st, [](TBoardEngine& b, int x, int y) {
        int k;
        benchmark::DoNotOptimize(b.posInputConnectableTo(x, y, k));
    });
}
void BM_posAbleForDraft_gate(benchmark::State& st) {
    run(st, [g = board().gate](TBoardEngine& b, int x, int y) {
        benchmark::DoNotOptimize(b.posAbleForDraft(g, x, y, nullptr));
    });
}
void BM_posAbleForDraft_counter10(benchmark::State& st) {
    run(st, [c = board().counter](TBoardEngine& b, int x, int y) {
        benchmark::DoNotOptimize(b.posAbleForDraft(c, x, y, nullptr));
    });
}

// One frame of device mode with the ten-bit counter (the type with the most pins): the placement
// test and the mark of every pin, as the mode does it.
void BM_frame_deviceMode_counter10(benchmark::State& st) {
    run(st, [c = board().counter](TBoardEngine& b, int x, int y) {
        b.mark_x.clear();
        b.mark_y.clear();
        b.mark_color.clear();
        benchmark::DoNotOptimize(b.posAbleForDraft(c, x, y, nullptr));
        for (int i = 0; i < c->countInputs(); ++i) {
            const int px = x + c->getInputXPos(i), py = y + c->getInputYPos(i);
            if (b.inputAddable(x, y, *c, i))
                b.markPos(px, py, 0);
            else
                b.markPos(px, py, b.countWiresAt(px, py) == 0 ? 2 : 1);
        }
        for (int i = 0; i < c->countOutputs(); ++i) {
            const int px = x + c->getOutputXPos(i), py = y + c->getOutputYPos(i);
            if (b.outputAddable(x, y, *c, i))
                b.markPos(px, py, 4);
            else
                b.markPos(px, py, b.countWiresAt(px, py) == 0 ? 2 : 1);
        }
    });
}

// One hover frame of wire mode with a wire started (every query of the second press but the
// commit).
void BM_frame_wireMode(benchmark::State& st) {
    run(st, [](TBoardEngine& b, int x, int y) {
        b.mark_x.clear();
        b.mark_y.clear();
        b.mark_color.clear();
        b.currentMode = TBoardEngine::modeWire;
        b.modeWire_state = 1;
        b.modeWire_sx = 1;
        b.modeWire_sy = 0;
        b.modeWire_wire = b.wireComplexList[0];
        b.tx = x;
        b.ty = y;
        b.mh = 0;
        b.updateWireMode();
    });
}

// What opening a frame costs: the cheap check for edits made behind the board's back.
void BM_frameOpen(benchmark::State& st) {
    BigBoard& big = board();
    for (auto _ : st) {
        TBoardEngine::FrameScope scope(*big.b);
        benchmark::DoNotOptimize(big.b->getDeviceAt(3, 3, 0));
    }
}

// A full rebuild of the index, as after invalidateIndex() (reading a file); edits no longer pay it.
void BM_indexRebuild(benchmark::State& st) {
    BigBoard& big = board();
    for (auto _ : st) {
        big.b->invalidateIndex();
        TBoardEngine::FrameScope scope(*big.b);
        benchmark::DoNotOptimize(big.b->getDeviceAt(3, 3, 0));
        benchmark::DoNotOptimize(big.b->countWiresAt(3, 3));
    }
}

// --- frames that edit ---
// Each runs one frame in the mode that makes the edit, with the mouse on grid point (x, y): with
// Arg 0 the frame's mode handling as Update runs it (frame opened, mode updated), with Arg 1 the
// whole Update, including the simulation step, which recompiles after an edit. The board is put
// back between iterations with the timer stopped.
void editFrame(TBoardEngine& b, int x, int y, int press, int held, bool whole) {
    if (whole) {
        b.Update(20 * x, 20 * y, press, held, 0);
        return;
    }
    TBoardEngine::FrameScope frame(b);
    b.mx = 20 * x;
    b.my = 20 * y;
    b.mh = press;
    b.md = held;
    b.ctrl = 0;
    b.tx = x;
    b.ty = y;
    b.mark_x.clear();
    b.mark_y.clear();
    b.mark_color.clear();
    switch (b.currentMode) {
        case TBoardEngine::modeDevice: b.updateDeviceMode(); break;
        case TBoardEngine::modeWire: b.updateWireMode(); break;
        case TBoardEngine::modeRemove: b.updateRemoveMode(); break;
        default: break;
    }
}

// Between the gate rows of row 50: a gate at (303, 304) stands clear of every body, net and pin.
constexpr int kFreeX = 303, kFreeY = 304;

void BM_frameEdit_placeDevice(benchmark::State& st) {
    TBoardEngine& b = *board().b;
    if (!b.posAbleForDraft(board().gate, kFreeX, kFreeY, nullptr)) st.SkipWithError("spot not free");
    b.startDeviceMode(board().gate);
    for (auto _ : st) {
        editFrame(b, kFreeX, kFreeY, 1, 1, st.range(0));
        st.PauseTiming();
        b._removeDevice(b.deviceList.back().get());
        // A step after the removal belongs to the putting back: the next placing then meets a
        // current compiled form, as it would after any frame.
        if (st.range(0)) b.updateDevices();
        st.ResumeTiming();
    }
}

// The second press of a wire over empty ground: a new net of two segments.
void BM_frameEdit_commitWire(benchmark::State& st) {
    TBoardEngine& b = *board().b;
    b.startWireMode();
    for (auto _ : st) {
        st.PauseTiming();
        editFrame(b, kFreeX - 1, kFreeY - 1, 1, 1, false);
        st.ResumeTiming();
        editFrame(b, kFreeX + 1, kFreeY - 1, 1, 1, st.range(0));
        st.PauseTiming();
        b._removeWire(b.wireComplexList.back().get());
        st.ResumeTiming();
    }
}

// A press on a gate in remove mode; it is put back (at the end of the list) afterwards.
void BM_frameEdit_removeDevice(benchmark::State& st) {
    TBoardEngine& b = *board().b;
    b.startRemoveMode();
    for (auto _ : st) {
        editFrame(b, 300, 300, 1, 1, st.range(0));
        st.PauseTiming();
        b.addDevice(board().gate, 300, 300);
        st.ResumeTiming();
    }
}

// A press where two nets meet: a wire drawn through the end of row 50's spare net (crossings do
// not connect), then merged into it in wire mode; afterwards the wire's segments are cut off again.
void BM_frameEdit_mergeNets(benchmark::State& st) {
    TBoardEngine& b = *board().b;
    const int y = 6 * 50 + 4;
    b.startWireMode();
    for (auto _ : st) {
        st.PauseTiming();
        editFrame(b, 1, y - 1, 1, 1, false);
        editFrame(b, 1, y + 1, 1, 1, false);
        if (b.countWiresAt(1, y) != 2) st.SkipWithError("the nets do not meet");
        st.ResumeTiming();
        editFrame(b, 1, y, 1, 1, st.range(0));
        st.PauseTiming();
        const WirePtr merged = b.getWiresAt(1, y).at(0);
        erase_if(merged->lineList, [](const TLine& l) { return l.sx == 1 && l.ex == 1; });
        b._repairWireAfterSplit(merged.get());
        st.ResumeTiming();
    }
}

// The view queries on a screenful: 64 x 36 grid cells (a 1280 x 720 canvas at zoom 1) at random
// places over the board.
void BM_devicesInRect_view(benchmark::State& st) {
    TBoardEngine& b = *board().b;
    std::vector<TDevice*> out;
    size_t i = 0, found = 0;
    for (auto _ : st) {
        const auto& [x, y] = pts[i++];
        b.devicesInRect(x, y, x + 64, y + 36, out);
        found += out.size();
    }
    st.counters["found"] = benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
}
void BM_netsInRect_view(benchmark::State& st) {
    TBoardEngine& b = *board().b;
    std::vector<TWireComplex*> out;
    size_t i = 0, found = 0;
    for (auto _ : st) {
        const auto& [x, y] = pts[i++];
        b.netsInRect(x, y, x + 64, y + 36, out);
        found += out.size();
    }
    st.counters["found"] = benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
}

// --- a board of 1,000,000 devices (generated straight into the lists) ---
std::shared_ptr<TBoardEngine>& millionBoard() {
    static std::shared_ptr<TBoardEngine> b = [] {
        auto m = gwbench::makeRandomBoard(1000000, 3);
        m->invalidateIndex();
        return m;
    }();
    return b;
}

// Building the index from the lists, as after reading a board file (one iteration: the first
// query after invalidateIndex()).
void BM_million_indexRebuild(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    std::vector<TDevice*> devs;
    std::vector<TWireComplex*> nets;
    for (auto _ : st) {
        b.invalidateIndex();
        b.devicesInRect(0, 0, 64, 36, devs);
        b.netsInRect(0, 0, 64, 36, nets);
    }
}
void BM_million_frameOpen(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    b.getDeviceAt(0, 0, 0);
    for (auto _ : st) {
        TBoardEngine::FrameScope scope(b);
        benchmark::DoNotOptimize(b.getDeviceAt(3, 3, 0));
    }
}
// A screenful of the million-device board (it is 6,000 grid cells wide), both view queries.
void BM_million_viewQueries(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    std::vector<TDevice*> devs;
    std::vector<TWireComplex*> nets;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> x(0, 6000 - 64), y(0, 16000 - 36);
    size_t found = 0;
    // The index is built by the first query, outside the measured loop.
    b.devicesInRect(0, 0, 64, 36, devs);
    b.netsInRect(0, 0, 64, 36, nets);
    for (auto _ : st) {
        const int l = x(rng), t = y(rng);
        b.devicesInRect(l, t, l + 64, t + 36, devs);
        b.netsInRect(l, t, l + 64, t + 36, nets);
        found += devs.size() + nets.size();
    }
    st.counters["found"] = benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
}

// Reports, per iteration, how often the simulation compiled the device list and how often it
// followed the edit another way (`how`: appends, in-place updates, removals).
void perEdit(benchmark::State& st, const char* how, uint64_t followed, uint64_t compiles) {
    const double n = static_cast<double>(st.iterations());
    st.counters[how] = static_cast<double>(followed) / n;
    st.counters["compiles"] = static_cast<double>(compiles) / n;
}

// Clicking a toggle switch on the million-device board: a frame pressing it and a frame releasing
// it, each ending with the simulation step. The switch's data is read live by the compiled step,
// so no click should make the board compile its million devices again (`compiles`: per pair).
void BM_million_switchClicks(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    // Right of the generated rows (6,000 cells wide), on empty ground.
    static const DevicePtr sw = b.addDevice(TSwich::Create(1), 6100, 100);
    b.startDefaultMode();
    const int px = 20 * 6100, py = 20 * 100;
    if (b.getDeviceAtPixPos(px, py) != sw) {
        st.SkipWithError("the switch is not under the pointer");
        return;
    }
    b.Update(px, py, 0, 0, 0);  // compiles after the placement, outside the measured loop
    const uint64_t compiles = b.simulationCompiles();
    for (auto _ : st) {
        b.Update(px, py, 1, 1, 0);
        b.Update(px, py, 0, 0, 0);
    }
    st.counters["compiles"] = benchmark::Counter(static_cast<double>(b.simulationCompiles() - compiles),
                                                 benchmark::Counter::kAvgIterations);
}

// Placing a gate beside the million-device board's rows in the device mode: the frame's mode
// handling, the placement and the simulation step, which compiles the one new device onto the
// form it has (`appends`, `compiles`: per placement, the removals included). The gate is removed
// again, and a step run, with the timer stopped.
void BM_million_placeDevice(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    static const DraftPtr gate = TLogic::Create(2, 0);
    const int x = 6200, y = 300;
    if (!b.posAbleForDraft(gate, x, y, nullptr)) {
        st.SkipWithError("spot not free");
        return;
    }
    b.startDeviceMode(gate);
    b.updateDevices();
    const uint64_t compiles = b.simulationCompiles(), appends = b.simulationAppends();
    for (auto _ : st) {
        b.Update(20 * x, 20 * y, 1, 1, 0);
        st.PauseTiming();
        b._removeDevice(b.deviceList.back().get());
        b.updateDevices();
        st.ResumeTiming();
    }
    perEdit(st, "appends", b.simulationAppends() - appends, b.simulationCompiles() - compiles);
    b.startDefaultMode();
}

// Drawing a wire over empty ground beside the million-device board's rows: the two presses of the
// wire mode, each a whole frame with its step. The wire reaches no pin, so the simulation has
// nothing to compile (`compiles` per wire). The net is taken off again with the timer stopped.
void BM_million_wireOnEmptyGround(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    const int x = 6300, y = 300;
    b.startWireMode();
    b.updateDevices();
    const uint64_t compiles = b.simulationCompiles();
    for (auto _ : st) {
        b.Update(20 * x, 20 * y, 1, 1, 0);
        b.Update(20 * x, 20 * y, 0, 0, 0);
        b.Update(20 * (x + 5), 20 * y, 1, 1, 0);
        b.Update(20 * (x + 5), 20 * y, 0, 0, 0);
        st.PauseTiming();
        b._removeWire(b.wireComplexList.back().get());
        b.updateDevices();
        st.ResumeTiming();
    }
    st.counters["compiles"] = benchmark::Counter(static_cast<double>(b.simulationCompiles() - compiles),
                                                 benchmark::Counter::kAvgIterations);
    b.startDefaultMode();
}

// Toggling an input inversion of a gate in the middle of the million-device board with the invert
// mode: a frame pressing on the pin and a frame releasing, each with its step. A gate's inversions
// are folded into its tables, which the compiled form takes in place (`patches`, `compiles`: per
// toggle).
void BM_million_invertPin(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    TDevice* gate = nullptr;
    for (size_t i = b.deviceList.size() / 2; i < b.deviceList.size() && !gate; ++i) {
        TDevice& d = *b.deviceList[i];
        if (d.draft && typeid(*d.draft) == typeid(TLogic) && d.inputs.size() == 2) gate = &d;
    }
    if (!gate) {
        st.SkipWithError("no two-input gate");
        return;
    }
    const int x = gate->xPos + gate->draft->getInputXPos(0), y = gate->yPos + gate->draft->getInputYPos(0);
    b.startInvertMode();
    b.updateDevices();
    const uint64_t compiles = b.simulationCompiles(), patches = b.simulationPatches();
    for (auto _ : st) {
        b.Update(20 * x, 20 * y, 1, 1, 0);
        b.Update(20 * x, 20 * y, 0, 0, 0);
    }
    perEdit(st, "patches", b.simulationPatches() - patches, b.simulationCompiles() - compiles);
    b.startDefaultMode();
}

// Removing a gate with the remove mode beside the million-device board's rows: a press frame and a
// release frame with their steps. The compiled form lets the gate's op idle rather than compiling
// the list again (`removals`, `compiles`: per removal). The gate is placed again (compiled onto the
// form) with the timer stopped.
void BM_million_removeDevice(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    static const DraftPtr gate = TLogic::Create(2, 0);
    const int x = 6400, y = 300;
    b.startRemoveMode();
    b.updateDevices();
    const uint64_t compiles = b.simulationCompiles(), removals = b.simulationRemovals();
    for (auto _ : st) {
        st.PauseTiming();
        b.addDevice(gate, x, y);
        b.updateDevices();
        b.Update(20 * (x + 50), 20 * y, 0, 0, 0);  // the pointer elsewhere first
        st.ResumeTiming();
        b.Update(20 * x, 20 * y, 1, 1, 0);
        b.Update(20 * x, 20 * y, 0, 0, 0);
    }
    perEdit(st, "removals", b.simulationRemovals() - removals, b.simulationCompiles() - compiles);
    b.startDefaultMode();
}

// Drawing a wire from empty ground to a gate's input beside the million-device board's rows: the
// two presses of the wire mode, four whole frames with their steps. Joining the pin changes the
// gate's op only, which the compiled form takes in place (`patches`, `compiles`: per wire). The
// net is taken off again, and the list compiled, with the timer stopped.
void BM_million_wireToPin(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    static const DraftPtr gate = TLogic::Create(2, 0);
    const int x = 6500, y = 300;
    static const DevicePtr g = b.addDevice(gate, x, y);
    const int px = x + gate->getInputXPos(0), py = y + gate->getInputYPos(0);
    b.startWireMode();
    b.updateDevices();
    const uint64_t compiles = b.simulationCompiles(), patches = b.simulationPatches();
    uint64_t untimed = 0;
    for (auto _ : st) {
        b.Update(20 * (px - 4), 20 * py, 1, 1, 0);
        b.Update(20 * (px - 4), 20 * py, 0, 0, 0);
        b.Update(20 * px, 20 * py, 1, 1, 0);
        b.Update(20 * px, 20 * py, 0, 0, 0);
        st.PauseTiming();
        const uint64_t c0 = b.simulationCompiles();
        b._removeWire(b.wireComplexList.back().get());
        b.updateDevices();
        untimed += b.simulationCompiles() - c0;
        st.ResumeTiming();
    }
    perEdit(st, "patches", b.simulationPatches() - patches, b.simulationCompiles() - compiles - untimed);
    b.startDefaultMode();
}

// Joining two nets of gates beside the million-device board's rows and cutting them apart again:
// a wire from the end of one gate's output net to the end of another gate's input net (the two
// presses of the wire mode: a merge of nets with pins), then a press of the remove mode in the
// middle of that wire (a split of a net with pins); six whole frames with their steps. Both edits
// move pins of table-op gates only, which the compiled form takes in place (`patches`,
// `compiles`: per join and cut).
void BM_million_joinAndCutNets(benchmark::State& st) {
    TBoardEngine& b = *millionBoard();
    static const DraftPtr inv = TLogic::Create(1, 2);
    const int x = 6700, y = 300;
    static const DevicePtr g1 = b.addDevice(inv, x, y);        // output at (x + 1, y)
    static const DevicePtr g2 = b.addDevice(inv, x + 5, y + 10);  // input at (x + 4, y + 10)
    const int jx = x + inv->getOutputXPos(0) + 3;
    auto press = [&](int gx, int gy) {
        b.Update(20 * gx, 20 * gy, 1, 1, 0);
        b.Update(20 * gx, 20 * gy, 0, 0, 0);
    };
    b.startWireMode();
    if (g1->outputs[0] == nullptr) {
        press(x + inv->getOutputXPos(0), y);
        press(jx, y);
        press(x + 5 + inv->getInputXPos(0), y + 10);
        press(jx, y + 6);
    }
    b.updateDevices();
    if (!g1->outputs[0] || !g2->inputs[0] || g1->outputs[0] == g2->inputs[0]) {
        st.SkipWithError("the two nets are not as planned");
        return;
    }
    const uint64_t compiles = b.simulationCompiles(), patches = b.simulationPatches();
    for (auto _ : st) {
        b.startWireMode();
        press(jx, y);
        press(jx, y + 6);
        b.startRemoveMode();
        press(jx, y + 3);
    }
    if (g1->outputs[0] == g2->inputs[0]) st.SkipWithError("the nets were not cut apart");
    perEdit(st, "patches", b.simulationPatches() - patches, b.simulationCompiles() - compiles);
    b.startDefaultMode();
}

// The simulation step the frame ends with, for scale.
void BM_updateDevices(benchmark::State& st) {
    BigBoard& big = board();
    for (auto _ : st) big.b->updateDevices();
}

// Finding a net's junctions (what its first drawing after an edit does): a comb of `n` teeth, 3n
// segments and n - 1 junctions, like a long bus with a branch at every cell.
void BM_netJunctions(benchmark::State& st) {
    TWireComplex comb;
    for (int x = 0; x < st.range(0); ++x) {
        comb.lineList.push_back(TLine{x, 0, x + 1, 0});
        comb.lineList.push_back(TLine{x, 0, x, 1});
        comb.lineList.push_back(TLine{x, 1, x, 2});
    }
    for (auto _ : st) {
        comb.recalcKnots();
        benchmark::DoNotOptimize(comb.knots().size());
    }
    st.counters["junctions"] = static_cast<double>(comb.knots().size());
}

}  // namespace

BENCHMARK(BM_netJunctions)->Arg(10)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_getWiresAt)->Arg(0)->Arg(1);
BENCHMARK(BM_getDeviceAt)->Arg(0)->Arg(1);
BENCHMARK(BM_getDeviceAtPixPos)->Arg(0)->Arg(1);
BENCHMARK(BM_posInputConnectableTo)->Arg(0)->Arg(1);
BENCHMARK(BM_posAbleForDraft_gate)->Arg(0)->Arg(1);
BENCHMARK(BM_posAbleForDraft_counter10)->Arg(0)->Arg(1);
BENCHMARK(BM_frame_deviceMode_counter10)->Arg(0)->Arg(1);
BENCHMARK(BM_frame_wireMode)->Arg(0)->Arg(1);
BENCHMARK(BM_frameEdit_placeDevice)->Arg(0)->Arg(1);
BENCHMARK(BM_frameEdit_commitWire)->Arg(0)->Arg(1);
BENCHMARK(BM_frameEdit_removeDevice)->Arg(0)->Arg(1);
BENCHMARK(BM_frameEdit_mergeNets)->Arg(0)->Arg(1);
BENCHMARK(BM_devicesInRect_view);
BENCHMARK(BM_netsInRect_view);
BENCHMARK(BM_frameOpen);
BENCHMARK(BM_indexRebuild);
BENCHMARK(BM_updateDevices);
BENCHMARK(BM_million_indexRebuild)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_million_frameOpen);
BENCHMARK(BM_million_viewQueries)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_million_switchClicks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_million_placeDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_million_wireOnEmptyGround)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_million_invertPin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_million_removeDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_million_wireToPin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_million_joinAndCutNets)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
