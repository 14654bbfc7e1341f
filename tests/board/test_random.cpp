// Random edit sequences on small boards: placing, wiring (with merges, Control polylines and
// refused presses), removing devices and nets, cutting segments as remove mode does, moving
// unconnected devices and stepping. After every edit the board must pass its consistency check,
// and the indexed hit tests must agree with the plain list scans and with the rules written out
// point by point.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "BoardFixture.h"
#include "model/LogicDevices.h"

using namespace gw;
using namespace gwtest;

namespace {

std::vector<DraftPtr> drafts() {
    return {source(),
            sink(),
            draft(2, 2, {{-1, 0}}, {{1, 0}}),                    // buffer
            draft(2, 3, {{-1, -1}, {-1, 0}}, {{1, 0}}),          // odd height: inputs reported lower
            draft(3, 2, {{-1, 0}}, {{1, 0}, {2, 1}}),            // odd width
            draft(1, 1, {{0, 0}}, {{1, 1}}),                     // no interior
            draft(2, 2, {{-1, 0}, {-1, 0}}, {{1, 0}, {1, 0}}),   // two pins on one point each
            TLogic::Create(2, 0),
            TRam::Create()};
}

// posAbleForDraft written the long way: every interior point, both scans.
int placementByPoints(const TBoardEngine& b, const TDraft& d, int x, int y, const TDevice* ignore) {
    const int l = x - static_cast<int>(0.5 * d.width), t = y - static_cast<int>(0.5 * d.Height);
    for (int px = l + 1; px <= l + d.width - 1; ++px) {
        for (int py = t + 1; py <= t + d.Height - 1; ++py) {
            for (const auto& w : b.wireComplexList)
                if (w->isAt(px, py)) return 0;
            for (const auto& o : b.deviceList)
                if (o.get() != ignore && o->pointIn(px, py, 0)) return 0;
        }
    }
    return 1;
}

struct Fuzz {
    std::mt19937 rng;
    Board b;
    std::vector<DraftPtr> types = drafts();
    int lo = -6, hi = 6;

    explicit Fuzz(unsigned seed) : rng(seed) {}
    int coord() { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    bool chance(int percent) { return pick(100) < percent; }

    void place() {
        const DraftPtr& d = types[pick(static_cast<int>(types.size()))];
        const int x = coord(), y = coord();
        if (b->posAbleForDraft(d, x, y, nullptr) || chance(10)) b->addDevice(d, x, y);
    }
    void wireFrames() {
        if (b->currentMode != TBoardEngine::modeWire || chance(10)) b->startWireMode();
        const int frames = 1 + pick(4);
        for (int i = 0; i < frames; ++i) b.frame(coord(), coord(), chance(70), chance(25));
    }
    void removeDevice() {
        if (b->deviceList.empty()) return;
        b->_removeDevice(b->deviceList[pick(static_cast<int>(b->deviceList.size()))].get());
    }
    void removeNet() {
        if (b->wireComplexList.empty()) return;
        b->_removeWire(b->wireComplexList[pick(static_cast<int>(b->wireComplexList.size()))].get());
    }
    // What remove mode does while the button is held over a grid point.
    void cutAtPoint() {
        const int x = coord(), y = coord();
        for (const WirePtr& w : b->getWiresAt(x, y)) {
            std::erase_if(w->lineList, [&](const TLine& l) {
                return (l.sx == x && l.sy == y) || (l.ex == x && l.ey == y);
            });
            b->_repairWireAfterSplit(w.get());
        }
    }
    void cutOneSegment() {
        if (b->wireComplexList.empty()) return;
        const WirePtr w = b->wireComplexList[pick(static_cast<int>(b->wireComplexList.size()))];
        w->lineList.erase(w->lineList.begin() + pick(static_cast<int>(w->lineList.size())));
        b->_repairWireAfterSplit(w.get());
    }
    void mergeNets() {
        const int n = static_cast<int>(b->wireComplexList.size());
        if (n < 2) return;
        const WirePtr a = b->wireComplexList[pick(n)], c = b->wireComplexList[pick(n)];
        if (a == c || (a->Input && c->Input)) return;
        // Merging is only ever done where the nets meet; make them meet first.
        const TLine la = a->lineList[0], lc = c->lineList[0];
        if (!c->containsLine(la.ex, la.ey, lc.sx, lc.sy) && (la.ex != lc.sx || la.ey != lc.sy)) {
            const int dx = lc.sx - la.ex, dy = lc.sy - la.ey;
            if (std::gcd(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy) != 1) return;
            c->addWire(la.ex, la.ey, lc.sx, lc.sy);
            b->invalidateIndex();
        }
        b->_connectWires(a.get(), c.get());
    }
    // What move mode does: only a device with no connected pin, only where it may stand.
    void moveDevice() {
        if (b->deviceList.empty()) return;
        const DevicePtr d = b->deviceList[pick(static_cast<int>(b->deviceList.size()))];
        for (auto* p : d->inputs)
            if (p) return;
        for (auto* p : d->outputs)
            if (p) return;
        const int x = coord(), y = coord();
        if (b->posAbleForDraft(d->draft, x, y, d.get())) {
            d->xPos = x;
            d->yPos = y;
            b->invalidateIndex();
        }
    }

    void edit() {
        switch (pick(12)) {
            case 0: case 1: place(); break;
            case 2: case 3: case 4: case 5: wireFrames(); break;
            case 6: removeDevice(); break;
            case 7: cutAtPoint(); break;
            case 8: cutOneSegment(); break;
            case 9: if (chance(30)) removeNet(); else mergeNets(); break;
            case 10: moveDevice(); break;
            default: b->updateDevices(); break;
        }
    }

    // Every hit test against its definition written out here, asked both as a plain call and
    // inside a frame (where the index answers). With `inFrame` the edit itself ran inside the
    // frame, so the index must have followed the board's own edits.
    std::string compareQueries(bool inFrame) {
        const int x = coord(), y = coord();
        const DraftPtr& d = types[pick(static_cast<int>(types.size()))];
        const TDevice* ignore = b->deviceList.empty() || chance(50)
                                    ? nullptr
                                    : b->deviceList[pick(static_cast<int>(b->deviceList.size()))].get();
        std::vector<WirePtr> wires;
        for (const auto& w : b->wireComplexList)
            if (w->isAt(x, y)) wires.push_back(w);
        auto firstAt = [&](int inner) -> DevicePtr {
            for (const auto& dv : b->deviceList)
                if (dv->pointIn(x, y, inner)) return dv;
            return nullptr;
        };
        const DevicePtr dev0 = firstAt(0), dev1 = firstAt(1);
        // A board pixel near (x, y), on cell borders a quarter of the time.
        const int px = 20 * x + (chance(25) ? 0 : pick(39) - 19), py = 20 * y + (chance(25) ? 0 : pick(39) - 19);
        DevicePtr devPix;
        for (const auto& dv : b->deviceList) {
            const int w = dv->draft->width, h = dv->draft->Height;
            const int left = 20 * (dv->xPos - w / 2), top = 20 * (dv->yPos - h / 2);
            if (left <= px && px <= left + 20 * w && top <= py && py <= top + 20 * h) {
                devPix = dv;
                break;
            }
        }
        int wantIn = -1, wantOut = -1;
        if (dev0) {
            const TDraft& t = *dev0->draft;
            for (int i = t.countInputs() - 1; i >= 0; --i)
                if (dev0->xPos + t.getInputXPos(i) == x && dev0->yPos + t.getInputYPos(i) == y) wantIn = i;
            for (int i = t.countOutputs() - 1; i >= 0; --i)
                if (dev0->xPos + t.getOutputXPos(i) == x && dev0->yPos + t.getOutputYPos(i) == y) wantOut = i;
        }
        const int able = placementByPoints(*b, *d, x, y, ignore);
        for (int pass = 0; pass < 2; ++pass) {
            std::optional<TBoardEngine::FrameScope> scope;
            if (pass == 1) scope.emplace(*b);
            const std::string where = inFrame ? " (edited in a frame)" : pass ? " (in a frame)" : "";
            int k1 = -1, k2 = -1;
            if (b->getWiresAt(x, y) != wires) return "getWiresAt" + where;
            if (b->countWiresAt(x, y) != static_cast<int>(wires.size())) return "countWiresAt" + where;
            if (b->getDeviceAt(x, y, 0) != dev0 || b->getDeviceAt(x, y, 1) != dev1) return "getDeviceAt" + where;
            if (b->getDeviceAtPixPos(px, py) != devPix) return "getDeviceAtPixPos" + where;
            const DevicePtr in = b->posInputConnectableTo(x, y, k1), out = b->posOutputConnectableTo(x, y, k2);
            if (in != (wantIn >= 0 ? dev0 : nullptr) || (in && k1 != wantIn)) return "input pin" + where;
            if (out != (wantOut >= 0 ? dev0 : nullptr) || (out && k2 != wantOut)) return "output pin" + where;
            if (b->posAbleForDraft(d, x, y, ignore) != able) return "posAbleForDraft" + where;
        }
        return "";
    }
};

}  // namespace

TEST(BoardRandom, EditSequencesKeepTheBoardConsistent) {
    constexpr unsigned kSequences = 2500;
    constexpr int kEdits = 60;
    size_t nets = 0, devices = 0, merges = 0;
    for (unsigned seed = 1; seed <= kSequences; ++seed) {
        Fuzz f(seed);
        for (int step = 0; step < kEdits; ++step) {
            // Edits run inside a frame half of the time, as the editing modes run them.
            const bool inFrame = f.chance(50);
            std::optional<TBoardEngine::FrameScope> frame;
            if (inFrame) frame.emplace(*f.b);
            f.edit();
            const auto problems = checkBoard(*f.b);
            ASSERT_TRUE(problems.empty()) << "seed " << seed << " edit " << step << ": " << problems[0];
            const std::string q = f.compareQueries(inFrame);
            ASSERT_EQ(q, "") << "seed " << seed << " edit " << step;
        }
        nets += f.b->wireComplexList.size();
        devices += f.b->deviceList.size();
        for (const auto& w : f.b->wireComplexList) merges += w->Input && !w->outputList.empty();
    }
    // The sequences must actually build something, or the checks above prove little.
    EXPECT_GT(nets, kSequences);
    EXPECT_GT(devices, kSequences);
    EXPECT_GT(merges, kSequences / 10);
}

// The board steps through a compiled form of its device list. Whatever the editing did to the
// board, a step must leave exactly what stepping each device would: the same edit sequence run on
// a board that steps the plain way must show the same net values and device data after every edit.
TEST(BoardRandom, CompiledStepMatchesThePlainStepThroughEdits) {
    constexpr unsigned kSequences = 600;
    constexpr int kEdits = 60;
    long compared = 0;
    for (unsigned seed = 1; seed <= kSequences; ++seed) {
        Fuzz fast(seed), plain(seed);
        plain.b->fastStep = 0;
        for (int step = 0; step < kEdits; ++step) {
            fast.edit();
            plain.edit();
            fast.b->updateDevices();
            plain.b->updateDevices();
            const auto& fd = fast.b->deviceList;
            const auto& pd = plain.b->deviceList;
            ASSERT_EQ(fd.size(), pd.size()) << "seed " << seed;
            ASSERT_EQ(fast.b->wireComplexList.size(), plain.b->wireComplexList.size()) << "seed " << seed;
            for (size_t i = 0; i < fd.size(); ++i)
                ASSERT_EQ(fd[i]->data, pd[i]->data) << "seed " << seed << " edit " << step << " device " << i;
            for (size_t i = 0; i < fast.b->wireComplexList.size(); ++i) {
                ASSERT_EQ(fast.b->wireComplexList[i]->State, plain.b->wireComplexList[i]->State)
                    << "seed " << seed << " edit " << step << " net " << i;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 10000);
}
