// Random edit sequences on small boards: placing, wiring (with merges, Control polylines, refused
// presses and now and then a long diagonal segment), removing devices and nets, cutting segments,
// moving unconnected devices and stepping, mostly through the editing modes' own frames. After
// every edit the board must pass its consistency check, and the indexed hit tests and view queries
// must agree with the plain list scans and with the rules written out point by point. The index
// lives through the whole sequence, updated in place by each edit, so a missed update shows up as
// a wrong answer some edits later.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>

#include "BoardFixture.h"
#include "ic/ICDescription.h"
#include "model/Catalogue.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"

using namespace gw;
using namespace gwtest;

namespace {

// A small IC: an AND of its two inputs and the first input inverted, on two outputs.
DraftPtr smallIC() {
    static const DraftPtr ic = [] {
        registerBuiltinDrafts();
        auto d = TICDescription::Create();
        d->id = "$fuzzic";
        d->cap = "F";
        d->width = 2;
        d->Height = 2;
        d->deviceID = {"$logic0|2", "$logic2|1"};
        d->invertedInputs = {{0, 0}, {0}};
        d->invertedOutputs = {{0}, {0}};
        d->wireBelongs = {{{0, 0, 0}, {0, 0, 1}}, {{0, 1, 0}}, {{1, 0, 0}}, {{1, 0, 1}}};
        d->inputWires = {0, 1};
        d->input_cap = {"a", "b"};
        d->input_xpos = {-1, -1};
        d->input_ypos = {-1, 0};
        d->outputWires = {2, 3};
        d->output_cap = {"x", "y"};
        d->output_xpos = {1, 1};
        d->output_ypos = {-1, 0};
        return TLoadedDraft::Create(d);
    }();
    return ic;
}

std::vector<DraftPtr> drafts() {
    return {smallIC(),
            TCounter::Create(1),
            TSwich::Create(1),
            source(),
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
    // One frame of the current mode with the mouse on grid point (x, y), as Update runs it but
    // without the simulation step.
    void modeFrame(int x, int y, int press, int held) {
        b->mx = 20 * x;
        b->my = 20 * y;
        b->tx = x;
        b->ty = y;
        b->mh = press;
        b->md = held;
        b->ctrl = 0;
        b->mark_x.clear();
        b->mark_y.clear();
        b->mark_color.clear();
        TBoardEngine::FrameScope scope(*b);
        switch (b->currentMode) {
            case TBoardEngine::modeDevice: b->updateDeviceMode(); break;
            case TBoardEngine::modeRemove: b->updateRemoveMode(); break;
            case TBoardEngine::modeMove: b->updateMoveMode(); break;
            default: break;
        }
    }
    void wireFrames() {
        if (b->currentMode != TBoardEngine::modeWire || chance(10)) b->startWireMode();
        const int frames = 1 + pick(4);
        for (int i = 0; i < frames; ++i) {
            if (b->modeWire_state == 1 && chance(4)) {
                // A long diagonal: one segment (the steps are coprime), far beyond the small board.
                const int far = 300 + pick(6000);
                // No Control: drawing on from out there would lay thousands of one-cell segments.
                b.frame(b->modeWire_sx + (chance(50) ? far : -far), b->modeWire_sy + (chance(50) ? 1 : -1), 1, 0);
            } else {
                b.frame(coord(), coord(), chance(70), chance(25));
            }
        }
    }
    void placeByMode() {
        b->startDeviceMode(types[pick(static_cast<int>(types.size()))]);
        modeFrame(coord(), coord(), 1, 1);
    }
    // Remove mode: a press over a device takes it; held over a wire point it cuts every segment
    // ending there.
    void removeByMode() {
        b->startRemoveMode();
        const int x = coord(), y = coord();
        const int held = chance(50);
        modeFrame(x, y, chance(50), held);
        if (held && chance(50)) modeFrame(x + pick(3) - 1, y + pick(3) - 1, 0, 1);
    }
    // Invert mode: a press on some device's pin toggles its inversion.
    void invertByMode() {
        if (b->deviceList.empty()) return;
        const DevicePtr d = b->deviceList[pick(static_cast<int>(b->deviceList.size()))];
        const TDraft& dr = *d->draft;
        const int ni = dr.countInputs(), no = dr.countOutputs();
        if (ni + no == 0) return;
        const int k = pick(ni + no);
        const int x = d->xPos + (k < ni ? dr.getInputXPos(k) : dr.getOutputXPos(k - ni));
        const int y = d->yPos + (k < ni ? dr.getInputYPos(k) : dr.getOutputYPos(k - ni));
        b->startInvertMode();
        modeFrame(x, y, 1, 1);
        modeFrame(x, y, 0, 0);
    }
    // Move mode: hover, press to pick up, drag, release to drop where the device may stand.
    void moveByMode() {
        if (b->deviceList.empty()) return;
        const DevicePtr d = b->deviceList[pick(static_cast<int>(b->deviceList.size()))];
        b->startMoveMode();
        modeFrame(d->xPos, d->yPos, 0, 0);
        modeFrame(d->xPos, d->yPos, 1, 1);
        const int x = coord(), y = coord();
        modeFrame(x, y, 0, 1);
        modeFrame(x, y, 0, 0);
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
            erase_if(w->lineList, [&](const TLine& l) {
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
        // Merging is only ever done where the nets meet; make them meet first, mostly by drawing
        // a wire that passes through a point of the other net (crossings do not connect), now
        // and then by writing a segment straight into the list as an outside tool would.
        const TLine la = a->lineList[0], lc = c->lineList[0];
        if (chance(80)) {
            const int dx = lc.sx - la.ex, dy = lc.sy - la.ey;
            if ((dx == 0 && dy == 0) || std::abs(dx) > 12 || std::abs(dy) > 12 || b->countWiresAt(la.ex, la.ey) > 1)
                return;
            b->startWireMode();
            b.press(la.ex - dx, la.ey - dy);
            b.press(la.ex + dx, la.ey + dy);
            const auto here = b->getWiresAt(la.ex, la.ey);
            if (here.size() < 2) return;
            int drivers = 0;
            for (const WirePtr& w : here) drivers += w->Input != nullptr;
            if (drivers > 1) return;
            TBoardEngine::FrameScope scope(*b);
            for (size_t k = 1; k < here.size(); ++k) b->_connectWires(here[k].get(), here[0].get());
            return;
        }
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
        for (const TWireComplex* p : d->inputs)
            if (p) return;
        for (const TWireComplex* p : d->outputs)
            if (p) return;
        const int x = coord(), y = coord();
        if (b->posAbleForDraft(d->draft, x, y, d.get())) {
            d->xPos = x;
            d->yPos = y;
            b->invalidateIndex();
        }
    }

    void edit() {
        switch (pick(20)) {
            case 0: case 14: place(); break;
            case 1: placeByMode(); break;
            case 2: case 3: case 4: case 5: case 16: case 17: wireFrames(); break;
            case 6: removeDevice(); break;
            case 7: removeByMode(); break;
            case 8: cutAtPoint(); break;
            case 9: cutOneSegment(); break;
            case 10: if (chance(30)) removeNet(); else mergeNets(); break;
            case 11: mergeNets(); break;
            case 12: if (chance(20)) moveDevice(); else moveByMode(); break;
            case 13: moveByMode(); break;
            case 18: invertByMode(); break;
            default: b->updateDevices(); break;
        }
    }

    // The view queries against their definitions: a device is in a rectangle when some grid point
    // of the rectangle lies in its closed body; a net when some segment's box meets it.
    std::string compareRects() {
        int l, t, r, bt;
        if (chance(10)) {
            l = -1000 - pick(5000), t = -1000 - pick(5000), r = 1000 + pick(5000), bt = 1000 + pick(5000);
        } else if (chance(30) && !b->wireComplexList.empty()) {
            // Somewhere inside a segment's box, which for the long ones is far from either end.
            const auto& w = *b->wireComplexList[pick(static_cast<int>(b->wireComplexList.size()))];
            const TLine& s = w.lineList[pick(static_cast<int>(w.lineList.size()))];
            l = std::min(s.sx, s.ex) + pick(std::abs(s.ex - s.sx) + 1) - pick(3);
            t = std::min(s.sy, s.ey) + pick(std::abs(s.ey - s.sy) + 1) - pick(3);
            r = l + pick(4) - 1;
            bt = t + pick(4) - 1;
        } else {
            l = coord(), t = coord(), r = l + pick(9) - 1, bt = t + pick(9) - 1;
        }
        std::vector<TDevice*> wantDevs, devs;
        std::vector<TWireComplex*> wantNets, nets;
        const bool small = static_cast<long long>(r - l + 1) * (bt - t + 1) <= 400;
        for (const auto& d : b->deviceList) {
            bool in = false;
            if (small) {
                for (int x = l; x <= r && !in; ++x)
                    for (int y = t; y <= bt && !in; ++y) in = d->pointIn(x, y, 0);
            } else {
                in = d->pointIn(std::clamp(d->xPos, l, r), std::clamp(d->yPos, t, bt), 0);
            }
            if (in) wantDevs.push_back(d.get());
        }
        for (const auto& w : b->wireComplexList) {
            for (const TLine& s : w->lineList) {
                if (l <= r && t <= bt && std::max(s.sx, s.ex) >= l && std::min(s.sx, s.ex) <= r && std::max(s.sy, s.ey) >= t &&
                    std::min(s.sy, s.ey) <= bt) {
                    wantNets.push_back(w.get());
                    break;
                }
            }
        }
        b->devicesInRect(l, t, r, bt, devs);
        b->netsInRect(l, t, r, bt, nets);
        const std::string rect = " [" + std::to_string(l) + ", " + std::to_string(r) + "] x [" + std::to_string(t) +
                                 ", " + std::to_string(bt) + "]";
        if (devs != wantDevs) return "devicesInRect" + rect;
        if (nets != wantNets)
            return "netsInRect" + rect + ": " + std::to_string(nets.size()) + " nets, want " +
                   std::to_string(wantNets.size());
        return "";
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
    size_t nets = 0, devices = 0, merges = 0, rebuilds = 0, edits = 0;
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
            ASSERT_EQ(f.compareRects(), "") << "seed " << seed << " edit " << step;
        }
        rebuilds += f.b->indexRebuilds();
        edits += kEdits;
        nets += f.b->wireComplexList.size();
        devices += f.b->deviceList.size();
        for (const auto& w : f.b->wireComplexList) merges += w->Input && !w->outputList.empty();
    }
    // The sequences must actually build something, or the checks above prove little.
    EXPECT_GT(nets, kSequences);
    EXPECT_GT(devices, kSequences);
    EXPECT_GT(merges, kSequences / 10);
    // The index must follow the edits in place: only the outside edits (a tenth of the merges and
    // a fifth of the moves) and the first query of each sequence may rebuild it.
    EXPECT_LT(rebuilds, edits / 4) << rebuilds << " rebuilds in " << edits << " edits";
}

// The board steps through a compiled form of its device list. Whatever the editing did to the
// board, a step must leave exactly what stepping each device would: the same edit sequence run on
// a board that steps the plain way must show the same net values and device data after every edit.
TEST(BoardRandom, CompiledStepMatchesThePlainStepThroughEdits) {
    constexpr unsigned kSequences = 600;
    constexpr int kEdits = 60;
    long compared = 0;
    uint64_t appends = 0, removals = 0, patches = 0;
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
        appends += fast.b->simulationAppends();
        removals += fast.b->simulationRemovals();
        patches += fast.b->simulationPatches();
    }
    EXPECT_GT(compared, 10000);
    // Placed devices were compiled onto the form the board had, removed ones forgotten by it
    // without compiling, and those paths agreed too.
    EXPECT_GT(appends, kSequences);
    EXPECT_GT(removals, kSequences / 4);
    EXPECT_GT(patches, kSequences / 12) << "pins joined by wires, taken in place";
}
