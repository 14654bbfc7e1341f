// Hit tests, the placement rule and whole mode frames on a large board: 10,000 devices and
// 10,000 nets. Each query runs twice: as a plain list scan (outside a frame) and inside a frame,
// where the board may answer from its spatial index. Both must give the same answers; the test
// suite checks that, this program only times them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>

#include "board/BoardEngine.h"
#include "board/Consistency.h"
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
                auto w = std::make_shared<TWireComplex>();
                for (int s = 0; s < 4; ++s) w->addWire(6 * i + 1 + s, 6 * j, 6 * i + 2 + s, 6 * j);
                TDevice* from = b->deviceList[j * cols + i].get();
                TDevice* to = b->deviceList[j * cols + i + 1].get();
                from->outputs[0] = w.get();
                w->Input = from;
                to->inputs[0] = w.get();
                w->outputList.push_back(to);
                b->wireComplexList.push_back(w);
            }
            auto spare = std::make_shared<TWireComplex>();
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

// What opening a frame costs: the index is checked against both lists (nothing changed here).
void BM_frameOpen(benchmark::State& st) {
    BigBoard& big = board();
    for (auto _ : st) {
        TBoardEngine::FrameScope scope(*big.b);
        benchmark::DoNotOptimize(big.b->getDeviceAt(3, 3, 0));
    }
}

// What a frame that edits the board pays on its next query: a full rebuild of the index.
void BM_indexRebuild(benchmark::State& st) {
    BigBoard& big = board();
    for (auto _ : st) {
        big.b->invalidateIndex();
        TBoardEngine::FrameScope scope(*big.b);
        benchmark::DoNotOptimize(big.b->getDeviceAt(3, 3, 0));
        benchmark::DoNotOptimize(big.b->countWiresAt(3, 3));
    }
}

// The simulation step the frame ends with, for scale.
void BM_updateDevices(benchmark::State& st) {
    BigBoard& big = board();
    for (auto _ : st) big.b->updateDevices();
}

}  // namespace

BENCHMARK(BM_getWiresAt)->Arg(0)->Arg(1);
BENCHMARK(BM_getDeviceAt)->Arg(0)->Arg(1);
BENCHMARK(BM_getDeviceAtPixPos)->Arg(0)->Arg(1);
BENCHMARK(BM_posInputConnectableTo)->Arg(0)->Arg(1);
BENCHMARK(BM_posAbleForDraft_gate)->Arg(0)->Arg(1);
BENCHMARK(BM_posAbleForDraft_counter10)->Arg(0)->Arg(1);
BENCHMARK(BM_frame_deviceMode_counter10)->Arg(0)->Arg(1);
BENCHMARK(BM_frame_wireMode)->Arg(0)->Arg(1);
BENCHMARK(BM_frameOpen);
BENCHMARK(BM_indexRebuild);
BENCHMARK(BM_updateDevices);

BENCHMARK_MAIN();
